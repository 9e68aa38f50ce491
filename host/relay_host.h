// The reference host's side of the drag-and-drop relay: it starts jxdd.exe
// when asked, shows the relay's window over the editor while a drag from
// another window is over it, answers the relay message, takes the text and
// file lists it understands, and lists each drop in the editor window.
#pragma once
#include <windows.h>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>
#include "editor_window.h"
#include "handles.h"
#include "jx/relay_protocol.h"
#include "relay_client.h"

namespace jxhost {

// What one drop brought that the reference host understands.
struct RelayDrop {
    size_t formatsOffered = 0;
    std::wstring text;                // empty when no text came
    std::vector<std::wstring> files;
};

// Created on the editor window's thread, which must pump messages; it
// attaches to that window until either is gone, and starts the relay.
class RelayHost {
public:
    RelayHost(EditorWindow& editor, std::wstring relayProgram);
    ~RelayHost();
    RelayHost(const RelayHost&) = delete;
    RelayHost& operator=(const RelayHost&) = delete;

    // Starts the relay program unless a relay is running; false when it cannot.
    bool StartRelay();
    // Safe from any thread.
    std::vector<RelayDrop> Drops() const;

private:
    static LRESULT CALLBACK Subclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR self);
    LRESULT OnRelayMessage(WPARAM wParam, LPARAM lParam);
    void OnDragWatch();
    void OnDropsChanged();
    // A session on a thread of its own, so that the window stays responsive;
    // a drag entering only learns whether anything is understood.
    void RunSession(bool isDrop, DWORD allowedEffects, RelaySession session);
    void ShowStatus();

    EditorWindow& editor_;
    const HWND window_;
    bool attached_ = false;  // until the window is destroyed
    std::wstring relayProgram_;
    std::wstring relayState_;  // of the last start
    UniqueKernelHandle relayProcess_;
    std::thread session_;
    mutable SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<RelayDrop> drops_;
};

// `jxhost dragdrop [--exit-after SECONDS]`: the editor window with the relay
// started beside it.
int RunDragDropCommand(std::span<const std::wstring_view> args);

}  // namespace jxhost
