#include "drop_target.h"

namespace jxdd {
namespace {

constexpr ULONG kNotCounted = 1;

}  // namespace

DropTarget::DropTarget(HWND hostWindow, HWND relayWindow, DWORD ioBudgetMs)
    : hostWindow_(hostWindow), relayWindow_(relayWindow), ioBudgetMs_(ioBudgetMs) {}

STDMETHODIMP DropTarget::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
        *object = static_cast<IDropTarget*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) DropTarget::AddRef() { return kNotCounted; }

STDMETHODIMP_(ULONG) DropTarget::Release() { return kNotCounted; }

STDMETHODIMP DropTarget::DragEnter(IDataObject* data, DWORD keys, POINTL, DWORD* effect) {
    if (!data || !effect) return E_INVALIDARG;
    const DWORD allowedEffects = *effect;
    *effect = lastEffect_ = 0;
    OfferedFormats formats = OfferedFormats::Of(*data);
    if (formats.Empty()) return S_OK;
    SessionOutcome outcome =
        RunSession(hostWindow_, JX_RELAY_DRAG_ENTER, keys, allowedEffects, *data, formats, ioBudgetMs_);
    if (outcome.end == SessionEnd::Ended) *effect = lastEffect_ = outcome.effect;
    return S_OK;
}

STDMETHODIMP DropTarget::DragOver(DWORD keys, POINTL, DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    // A host that does not answer keeps the effect it last gave.
    const int32_t answer =
        SendRelayMessage(hostWindow_, JX_RELAY_DRAG_OVER, keys, *effect, ioBudgetMs_).value_or(JX_RELAY_KEEP_EFFECT);
    *effect = answer == JX_RELAY_KEEP_EFFECT ? lastEffect_ : static_cast<DWORD>(answer);
    return S_OK;
}

STDMETHODIMP DropTarget::DragLeave() {
    ShowWindow(relayWindow_, SW_HIDE);
    SendRelayMessage(hostWindow_, JX_RELAY_DRAG_LEAVE, 0, 0, ioBudgetMs_);
    lastEffect_ = 0;
    return S_OK;
}

STDMETHODIMP DropTarget::Drop(IDataObject* data, DWORD keys, POINTL, DWORD* effect) {
    if (!data || !effect) return E_INVALIDARG;
    const DWORD allowedEffects = *effect;
    *effect = lastEffect_ = 0;
    OfferedFormats formats = OfferedFormats::Of(*data);
    // Without a session the host still learns that the drag is over.
    if (formats.Empty()) return DragLeave();
    ShowWindow(relayWindow_, SW_HIDE);
    SessionOutcome outcome = RunSession(hostWindow_, JX_RELAY_DROP, keys, allowedEffects, *data, formats, ioBudgetMs_);
    if (outcome.end == SessionEnd::Refused) return DragLeave();
    if (outcome.end == SessionEnd::Ended) *effect = lastEffect_ = outcome.effect;
    return S_OK;
}

}  // namespace jxdd
