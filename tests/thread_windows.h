// What every control suite checks when its windows are gone: the host
// allocator's live blocks and the thread's windows; and the pump between steps.
#pragma once
#include <windows.h>
#include "counting_allocator.h"

namespace test_support {

inline size_t LiveBlocks() { return jxhost::Allocator().Stats().liveBlocks; }

inline BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

inline BOOL CALLBACK CountWindowAndChildren(HWND window, LPARAM counter) {
    ++*reinterpret_cast<int*>(counter);
    EnumChildWindows(window, CountWindow, counter);
    return TRUE;
}

// Windows of this thread, top-level and children.
inline int ThreadWindows() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindowAndChildren, reinterpret_cast<LPARAM>(&count));
    return count;
}

// A window class of the test program: arrow cursor, window background.
inline ATOM RegisterTestClass(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW info = {};
    info.cbSize = sizeof info;
    info.lpfnWndProc = procedure;
    info.hInstance = GetModuleHandleW(nullptr);
    info.hCursor = LoadCursorW(nullptr, reinterpret_cast<const wchar_t*>(IDC_ARROW));
    info.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    info.lpszClassName = name;
    return RegisterClassExW(&info);
}

inline void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace test_support
