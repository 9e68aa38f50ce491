// The relay's OLE drop target: each event goes to the host window as the
// relay message, and a drag entering or a drop runs a pipe session.
#pragma once
#include <windows.h>
#include <ole2.h>
#include "jx/relay_protocol.h"
#include "relay_session.h"

namespace jxdd {

// Not reference counted: its owner keeps it alive for as long as it is
// registered or called.
class DropTarget final : public IDropTarget {
public:
    // relayWindow is hidden by a drag leaving and by a drop; ioBudgetMs is
    // the time each pipe record may take.
    DropTarget(HWND hostWindow, HWND relayWindow, DWORD ioBudgetMs = JX_RELAY_IO_TIMEOUT_MS);
    DropTarget(const DropTarget&) = delete;
    DropTarget& operator=(const DropTarget&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragOver(DWORD keys, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragLeave() override;
    STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

private:
    HWND hostWindow_;
    HWND relayWindow_;
    DWORD ioBudgetMs_;
    DWORD lastEffect_ = 0;  // shown when the host answers a drag-over with JX_RELAY_KEEP_EFFECT
};

}  // namespace jxdd
