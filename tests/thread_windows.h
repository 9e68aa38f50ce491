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

inline void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace test_support
