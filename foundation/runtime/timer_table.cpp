#include "runtime/timer_table.h"

TimerTable::~TimerTable() {
    for (int i = 0; i < kEntries; ++i) Stop(i);
}

bool TimerTable::Start(HWND window, int index, UINT elapseMs, Callback callback, void* context) {
    if (index < 0 || index >= kEntries || !callback) return false;
    if (!window_) window_ = window;
    if (window != window_ || !SetTimer(window_, TimerId(index), elapseMs, nullptr)) return false;
    entries_[index] = {callback, context};
    return true;
}

void TimerTable::Stop(int index) {
    if (index < 0 || index >= kEntries || !entries_[index].callback) return;
    KillTimer(window_, TimerId(index));
    entries_[index] = {};
}

bool TimerTable::OnTimer(UINT_PTR timerId) {
    if (timerId < kFirstTimerId || (timerId - kFirstTimerId) % kTimerIdStep) return false;
    const UINT_PTR index = (timerId - kFirstTimerId) / kTimerIdStep;
    if (index >= kEntries || !entries_[index].callback) return false;
    entries_[index].callback(entries_[index].context);
    return true;
}
