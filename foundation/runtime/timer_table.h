// Thirty timers on one window, each with its own callback; deleting the
// table kills the timers that still run.
#pragma once
#include <windows.h>
#include "runtime/host_alloc.h"

class TimerTable : public HostObject {
public:
    static constexpr int kEntries = 30;
    using Callback = void (*)(void* context);

    TimerTable() = default;
    ~TimerTable();
    TimerTable(const TimerTable&) = delete;
    TimerTable& operator=(const TimerTable&) = delete;

    // Timer id of an entry: 8 + 4 * index.
    static UINT_PTR TimerId(int index) { return kFirstTimerId + kTimerIdStep * UINT_PTR(index); }

    // Starts entry `index` on `window`; all entries share the first window.
    bool Start(HWND window, int index, UINT elapseMs, Callback callback, void* context);
    void Stop(int index);
    // Call from the window's WM_TIMER: runs the entry's callback; false when
    // the id is not one of the table's.
    bool OnTimer(UINT_PTR timerId);

private:
    static constexpr UINT_PTR kFirstTimerId = 8;
    static constexpr UINT_PTR kTimerIdStep = 4;
    struct Entry {
        Callback callback = nullptr;
        void* context = nullptr;
    };
    HWND window_ = nullptr;
    Entry entries_[kEntries];
};
