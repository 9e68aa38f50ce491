// The abortable wait and the re-entrant lock built on it.
#pragma once
#include <windows.h>

// Results of WaitAbortable
enum WaitResult : int { kWaitFailed = -1, kWaitTimedOut = 0, kWaitDone = 1 };

// Waits for `handle` (or sleeps when it is null), alertably. Throws
// JxExceptionScriptEnd when the thread's abort bit is set after any return.
int WaitAbortable(DWORD timeoutMs, HANDLE handle);

class RecursiveLock {
public:
    constexpr RecursiveLock() = default;
    ~RecursiveLock();
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

    // True once held; false only when a timed wait ran out.
    bool Lock(DWORD timeoutMs = INFINITE);
    void Unlock();
    DWORD Owner() const { return owner_; }

private:
    HANDLE Semaphore();

    volatile LONG owner_ = 0;
    HANDLE volatile semaphore_ = nullptr;
    volatile LONG waiters_ = 0;
    LONG recursion_ = 0;
};

class LockGuard {
public:
    explicit LockGuard(RecursiveLock& lock) : lock_(lock) { lock_.Lock(); }
    ~LockGuard() { lock_.Unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    RecursiveLock& lock_;
};

// The foundation's global lock.
RecursiveLock& GlobalLock();
