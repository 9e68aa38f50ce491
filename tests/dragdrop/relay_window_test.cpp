// The relay window's idle tick during a drag that another program runs: the
// button is held at the display, where the relay's thread sees no input.
#include <gtest/gtest.h>
#include <windows.h>
#include "relay_window.h"

namespace {

using jxdd::OleSession;
using jxdd::RelayWindow;

void PumpFor(DWORD milliseconds) {
    const DWORD end = GetTickCount() + milliseconds;
    while (int(end - GetTickCount()) > 0) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return;
            DispatchMessageW(&message);
        }
    }
}

void SendButton(DWORD flag) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flag;
    SendInput(1, &input, sizeof input);
}

TEST(RelayWindow, StaysShownWhileAButtonIsHeldOutsideItsThread) {
    constexpr DWORD kTickMs = 1000;  // the relay's idle tick
    OleSession ole;
    ASSERT_TRUE(ole.Initialized());
    const HWND host = CreateWindowExW(0, L"Static", L"host", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(host);
    {
        RelayWindow relay(host);
        ASSERT_TRUE(relay.Ready());
        const HWND window = FindWindowA(JX_RELAY_WINDOW_CLASS, nullptr);
        ASSERT_TRUE(window);
        ShowWindow(window, SW_SHOWNA);
        // The press goes to whatever lies at the corner: no window of this thread.
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 2, GetSystemMetrics(SM_CYSCREEN) - 2);
        SendButton(MOUSEEVENTF_LEFTDOWN);
        PumpFor(kTickMs * 5 / 2);
        EXPECT_TRUE(IsWindowVisible(window)) << "hidden during the drag";
        SendButton(MOUSEEVENTF_LEFTUP);
        PumpFor(kTickMs * 3 / 2);
        EXPECT_FALSE(IsWindowVisible(window)) << "a window left shown without a drag is hidden";
    }
    // The window's end posts the relay's quit.
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    DestroyWindow(host);
}

}  // namespace
