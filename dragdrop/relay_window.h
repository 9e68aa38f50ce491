// The relay's window, class JX_VistaDD: popup, disabled, nearly transparent,
// never activated, registered as the OLE drop target. The host shows it over
// the area where it wants drops. Its timer ends the program when the host
// window is gone or when it has stayed hidden for about a minute.
#pragma once
#include <windows.h>
#include <optional>
#include "drop_target.h"
#include "idle_timer.h"
#include "owners.h"

namespace jxdd {

// Lives on the thread that creates it, which must have OLE initialised; its
// destruction posts WM_QUIT to that thread.
class RelayWindow {
public:
    explicit RelayWindow(HWND hostWindow);
    ~RelayWindow();
    RelayWindow(const RelayWindow&) = delete;
    RelayWindow& operator=(const RelayWindow&) = delete;

    // Created, registered as the drop target and ticking.
    bool Ready() const { return timer_ && timer_->Running(); }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnIdleTick();
    void OnDestroy();

    HWND hostWindow_;
    WindowClass class_;
    HWND window_ = nullptr;  // destroyed by the timer or with this object
    IdleTimer idle_;
    std::optional<DropTarget> target_;
    DropTargetRegistration registration_;
    std::optional<WindowTimer> timer_;
};

// The whole program: finds the host window, runs the relay window's thread
// until the window is destroyed, and returns the exit code.
int RunRelay();

}  // namespace jxdd
