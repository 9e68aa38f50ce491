#include "relay_window.h"
#include "jx/host_interface.h"

namespace jxdd {
namespace {

constexpr DWORD kExStyle = WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TOOLWINDOW;
constexpr DWORD kStyle = WS_POPUP | WS_DISABLED;
// Nearly transparent, but a layered window with some alpha still receives drops.
constexpr BYTE kAlpha = 10;
constexpr UINT_PTR kIdleTimer = 1;
constexpr UINT kIdleTickMs = 1000;

constexpr int kExitOk = 0;
constexpr int kExitStartFailed = 1;

WNDCLASSEXA RelayClassInfo(WNDPROC procedure) {
    WNDCLASSEXA info{};
    info.cbSize = sizeof info;
    info.lpfnWndProc = procedure;
    info.hInstance = GetModuleHandleA(nullptr);
    info.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    info.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    info.lpszClassName = JX_RELAY_WINDOW_CLASS;
    return info;
}

// The buttons as they are now: a drag from another program sends this
// thread no input, so the thread's own key state would never see them down.
bool MouseButtonDown() { return GetAsyncKeyState(VK_LBUTTON) < 0 || GetAsyncKeyState(VK_RBUTTON) < 0; }

}  // namespace

RelayWindow::RelayWindow(HWND hostWindow) : hostWindow_(hostWindow), class_(RelayClassInfo(Procedure)) {
    if (!class_.Registered()) return;
    // WM_NCCREATE stores `this` and the handle.
    CreateWindowExA(kExStyle, JX_RELAY_WINDOW_CLASS, "", kStyle, 0, 0, 0, 0, nullptr, nullptr,
                    GetModuleHandleA(nullptr), this);
    if (!window_) return;
    SetLayeredWindowAttributes(window_, 0, kAlpha, LWA_ALPHA);
    target_.emplace(hostWindow_, window_);
    if (!registration_.Register(window_, &*target_)) return;
    timer_.emplace(window_, kIdleTimer, kIdleTickMs);
}

RelayWindow::~RelayWindow() {
    if (window_) DestroyWindow(window_);
}

LRESULT CALLBACK RelayWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        auto* self = static_cast<RelayWindow*>(create->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
    }
    auto* self = reinterpret_cast<RelayWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self) return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return self->OnMessage(message, wParam, lParam);
}

LRESULT RelayWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        if (wParam != kIdleTimer) break;
        OnIdleTick();
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

void RelayWindow::OnIdleTick() {
    switch (idle_.Tick(IsWindow(hostWindow_) != FALSE, IsWindowVisible(window_) != FALSE, MouseButtonDown())) {
    case TickAction::None:
        break;
    case TickAction::HideWindow:
        ShowWindow(window_, SW_HIDE);
        break;
    case TickAction::EndRelay:
        DestroyWindow(window_);
        break;
    }
}

void RelayWindow::OnDestroy() {
    registration_.Revoke();
    PostQuitMessage(kExitOk);
}

int RunRelay() {
    HWND hostWindow = FindWindowA(JX_HOST_WINDOW_CLASS, nullptr);
    OleSession ole;
    if (!ole.Initialized()) return kExitStartFailed;
    RelayWindow window(hostWindow);
    if (!window.Ready()) return kExitStartFailed;

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return kExitOk;
}

}  // namespace jxdd
