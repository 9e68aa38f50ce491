// The mouse-capture loop and the drag cursors of the system's "ole32".
#include "window/capture_loop.h"
#include <windowsx.h>
#include "window/window_utils.h"

namespace {
constexpr DWORD kKeyModifiers = MK_SHIFT | MK_CONTROL;
// The whole mouse range, whatever the headers' target version says.
constexpr UINT kMouseMessageLast = WM_MOUSEHWHEEL;
constexpr ULONG_PTR kDragCursorNumberLast = kDragCursorHiddenToo;
// The resource numbers in "ole32" of drag cursors kDragCursorMove to kDragCursorLink.
constexpr WORD kOle32DragCursorIds[] = {2, 3, 1, 4};
constexpr int kLoadedDragCursors = sizeof kOle32DragCursorIds / sizeof kOle32DragCursorIds[0];

struct DragCursors {
    HCURSOR cursors[kLoadedDragCursors] = {};
    DragCursors() {
        // ole32 is an import of this library, so it is loaded; shared
        // cursors from a module are never destroyed.
        const HMODULE ole32 = GetModuleHandleW(L"ole32.dll");
        for (int i = 0; i < kLoadedDragCursors; ++i)
            cursors[i] = ole32 ? LoadCursorW(ole32, MAKEINTRESOURCEW(kOle32DragCursorIds[i])) : nullptr;
    }
};

bool IsKeyMessage(UINT message) {
    return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN || message == WM_SYSKEYUP;
}

bool IsWheelMessage(UINT message) { return message == WM_MOUSEWHEEL || message == WM_MOUSEHWHEEL; }

// The stop-button bit a release message stands for, 0 for other messages.
DWORD ReleasedButton(UINT message) {
    if (message == WM_LBUTTONUP) return kStopOnLeftUp;
    if (message == WM_RBUTTONUP) return kStopOnRightUp;
    return 0;
}
}  // namespace

HCURSOR GetDragCursor(int number) {
    static const DragCursors drag;
    return number >= kDragCursorMove && number <= kDragCursorLink ? drag.cursors[number - kDragCursorMove] : nullptr;
}

CaptureLoop::~CaptureLoop() {
    if (captured && GetCapture() == window) ReleaseCapture();
}

bool CaptureLoop::End() {
    ReleaseCapture();
    captured = 0;
    return false;
}

bool CaptureLoop::Next() {
    if (cursor) {
        SetCursor(cursor <= kDragCursorNumberLast ? GetDragCursor(int(cursor)) : reinterpret_cast<HCURSOR>(cursor));
        cursor = 0;
    }
    endedByButton = 0;
    if (!captured) {
        captured = 1;
        SetCapture(window);
    }
    for (;;) {
        if (GetCapture() != window) {
            captured = 0;
            return false;
        }
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
            if (msg.message == WM_QUIT) PostQuitMessage(int(msg.wParam));
            return End();
        }
        if (IsKeyMessage(msg.message)) {
            if (msg.wParam == VK_ESCAPE) return End();
            keys = (GetKeyState(VK_SHIFT) < 0 ? MK_SHIFT : 0) | (GetKeyState(VK_CONTROL) < 0 ? MK_CONTROL : 0);
            GetCursorClientPos(window, &point);
            return true;
        }
        if (msg.message >= WM_MOUSEFIRST && msg.message <= kMouseMessageLast) {
            const DWORD button = ReleasedButton(msg.message) & stopButtons;
            if (button) {
                endedByButton = BYTE(button);
                return End();
            }
            keys = DWORD(msg.wParam) & kKeyModifiers;
            point = {GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
            // Wheel messages carry screen coordinates.
            if (IsWheelMessage(msg.message)) ScreenToClient(window, &point);
            return true;
        }
        DispatchMessageW(&msg);
    }
}
