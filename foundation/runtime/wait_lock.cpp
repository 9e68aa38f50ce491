#include "runtime/wait_lock.h"
#include "jx/errors.h"
#include "runtime/thread_state.h"

namespace {
constexpr LONG kSemaphoreMaximum = 0x7FFFFFFF;
constexpr DWORD kRetryWithoutSemaphoreMs = 1;

// Marks the thread as waiting for as long as the wait lasts, also while an
// abort exception passes.
class WaitingMark {
public:
    explicit WaitingMark(ThreadState* state) : state_(state) {
        if (state_) state_->status |= kThreadInWait;
    }
    ~WaitingMark() {
        if (state_) state_->status &= ~kThreadInWait;
    }
    WaitingMark(const WaitingMark&) = delete;
    WaitingMark& operator=(const WaitingMark&) = delete;

private:
    ThreadState* state_;
};
}  // namespace

// A thread without a state has no abort request to honour; the wait must not
// make one, as it may be the wait for the lock that guards making one.
int WaitAbortable(DWORD timeoutMs, HANDLE handle) {
    ThreadState* state = PeekThreadState();
    WaitingMark mark(state);
    DWORD start = GetTickCount();
    DWORD remaining = timeoutMs;
    for (;;) {
        const DWORD result = handle ? WaitForSingleObjectEx(handle, remaining, TRUE) : SleepEx(remaining, TRUE);
        if (state && (state->status & kThreadAbortRequested)) throw JxExceptionScriptEnd{};
        switch (result) {
            case WAIT_OBJECT_0:
            case WAIT_ABANDONED:
                SetLastError(result);
                return kWaitDone;
            case WAIT_IO_COMPLETION: {
                if (remaining == INFINITE) continue;
                const DWORD now = GetTickCount();
                const DWORD elapsed = now - start;
                start = now;
                if (elapsed < remaining) {
                    remaining -= elapsed;
                    continue;
                }
                return handle ? kWaitTimedOut : kWaitDone;
            }
            case WAIT_TIMEOUT:
                return kWaitTimedOut;
            default:
                return kWaitFailed;
        }
    }
}

RecursiveLock::~RecursiveLock() {
    if (semaphore_) CloseHandle(semaphore_);
}

HANDLE RecursiveLock::Semaphore() {
    if (!semaphore_) {
        HANDLE created = CreateSemaphoreA(nullptr, 0, kSemaphoreMaximum, nullptr);
        if (InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile*>(&semaphore_), created, nullptr))
            CloseHandle(created);  // another thread installed its semaphore first
    }
    return semaphore_;
}

bool RecursiveLock::Lock(DWORD timeoutMs) {
    const LONG self = static_cast<LONG>(GetCurrentThreadId());
    if (owner_ == self || InterlockedCompareExchange(&owner_, self, 0) == 0) {
        ++recursion_;
        return true;
    }
    // Each waiter is counted while it may sleep on the semaphore; a release
    // uncounts one sleeper, so a waiter that was woken counts itself again. A
    // waiter that ends on an abort request leaves its count: that only costs a
    // spurious wake-up later, while an uncounted sleeper could miss its
    // release. While the system refuses a semaphore nobody could wake a
    // waiter: it stays uncounted and tries again after a short sleep.
    const DWORD start = GetTickCount();
    bool counted = false;
    for (;;) {
        HANDLE semaphore = Semaphore();
        if (semaphore && !counted) {
            InterlockedIncrement(&waiters_);
            counted = true;
        }
        if (InterlockedCompareExchange(&owner_, self, 0) == 0) break;
        DWORD wait = INFINITE;
        if (timeoutMs != INFINITE) {
            const DWORD elapsed = GetTickCount() - start;
            if (elapsed >= timeoutMs) {
                if (counted) InterlockedDecrement(&waiters_);
                return false;
            }
            wait = timeoutMs - elapsed;
        }
        if (!semaphore)
            WaitAbortable(wait < kRetryWithoutSemaphoreMs ? wait : kRetryWithoutSemaphoreMs, nullptr);
        else if (WaitAbortable(wait, semaphore) == kWaitDone)
            counted = false;
    }
    if (counted) InterlockedDecrement(&waiters_);
    ++recursion_;
    return true;
}

void RecursiveLock::Unlock() {
    if (--recursion_ > 0) return;
    InterlockedExchange(&owner_, 0);
    if (waiters_ > 0) {
        InterlockedDecrement(&waiters_);
        ReleaseSemaphore(Semaphore(), 1, nullptr);
    }
}

RecursiveLock& GlobalLock() {
    static RecursiveLock lock;
    return lock;
}
