#include <gtest/gtest.h>
#include <atomic>
#include <thread>
#include <vector>
#include "import_patch.h"
#include "jx/errors.h"
#include "runtime/scoped_handle.h"
#include "runtime/thread_state.h"
#include "runtime/wait_lock.h"

namespace {

void CALLBACK WakeUp(ULONG_PTR) {}

// Runs `body` on a thread of its own and lets the test reach its state.
class WaitingThread {
public:
    template <class Body>
    explicit WaitingThread(Body body) {
        thread_ = std::thread([this, body] {
            state_ = GetThreadState();
            HANDLE self = nullptr;
            DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                            DUPLICATE_SAME_ACCESS);
            handle_.Reset(self);
            ready_ = true;
            body(state_);
        });
        while (!ready_) Sleep(1);
    }
    ~WaitingThread() {
        if (thread_.joinable()) thread_.join();
    }
    void AwaitWaiting() const {
        while (!(state_->status & kThreadInWait)) Sleep(1);
    }
    void RequestAbort() {
        state_->status |= kThreadAbortRequested;
        QueueUserAPC(WakeUp, handle_.Get(), 0);
    }
    void Interrupt() { QueueUserAPC(WakeUp, handle_.Get(), 0); }
    void Join() { thread_.join(); }

private:
    std::thread thread_;
    ThreadState* volatile state_ = nullptr;
    ScopedHandle handle_;
    std::atomic<bool> ready_{false};
};

TEST(WaitAbortable, ResultsOfSleepsAndHandles) {
    ScopedHandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ScopedHandle signalled(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    EXPECT_EQ(WaitAbortable(0, nullptr), kWaitDone);
    EXPECT_EQ(WaitAbortable(100, never.Get()), kWaitTimedOut);
    EXPECT_EQ(WaitAbortable(INFINITE, signalled.Get()), kWaitDone);
    HANDLE closed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(closed);
    EXPECT_EQ(WaitAbortable(100, closed), kWaitFailed);
    EXPECT_FALSE(GetThreadState()->status & kThreadInWait);
}

TEST(WaitAbortable, AnAsynchronousCallDoesNotEndATimedWait) {
    ScopedHandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    int result = -2;
    WaitingThread waiter([&](ThreadState*) { result = WaitAbortable(300, never.Get()); });
    waiter.AwaitWaiting();
    waiter.Interrupt();
    waiter.Join();
    EXPECT_EQ(result, kWaitTimedOut);
}

TEST(WaitAbortable, AbortRequestEndsTheWaitWithScriptEnd) {
    ScopedHandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bool ended = false;
    BYTE statusAfter = 0xFF;
    WaitingThread waiter([&](ThreadState* state) {
        try {
            WaitAbortable(INFINITE, never.Get());
        } catch (const JxExceptionScriptEnd&) {
            ended = true;
        }
        statusAfter = state->status;
    });
    waiter.AwaitWaiting();
    waiter.RequestAbort();
    waiter.Join();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(statusAfter & kThreadInWait);
}

TEST(RecursiveLock, ReentryNeedsAsManyUnlocks) {
    RecursiveLock lock;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(lock.Lock());
    auto otherGets = [&lock] {
        bool got = false;
        std::thread([&] {
            got = lock.Lock(50);
            if (got) lock.Unlock();
        }).join();
        return got;
    };
    EXPECT_FALSE(otherGets());
    lock.Unlock();
    lock.Unlock();
    EXPECT_FALSE(otherGets());
    lock.Unlock();
    EXPECT_TRUE(otherGets());
    EXPECT_EQ(lock.Owner(), 0u);
}

TEST(RecursiveLock, ExcludesUnderContention) {
    RecursiveLock lock;
    constexpr int kThreads = 4;
    constexpr int kRounds = 3000;
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                LockGuard outer(lock);
                LockGuard inner(lock);
                const int seen = counter;
                if (i % 64 == 0) SwitchToThread();
                counter = seen + 1;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(counter, kThreads * kRounds);
}

TEST(RecursiveLock, AbortRequestEndsAWaitForTheLock) {
    RecursiveLock lock;
    lock.Lock();
    bool ended = false;
    WaitingThread waiter([&](ThreadState*) {
        try {
            lock.Lock();
            lock.Unlock();
        } catch (const JxExceptionScriptEnd&) {
            ended = true;
        }
    });
    waiter.AwaitWaiting();
    waiter.RequestAbort();
    waiter.Join();
    EXPECT_TRUE(ended);
    lock.Unlock();
    bool got = false;
    std::thread([&] {
        got = lock.Lock(1000);
        if (got) lock.Unlock();
    }).join();
    EXPECT_TRUE(got) << "the aborted waiter left the lock usable";
}

std::atomic<int> g_refusedSemaphores{0};

HANDLE WINAPI RefuseSemaphore(SECURITY_ATTRIBUTES*, LONG, LONG, LPCSTR) {
    ++g_refusedSemaphores;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

TEST(RecursiveLock, AWaiterGetsTheLockWhenNoSemaphoreCanBeMade) {
    const ImportPatch refuse("CreateSemaphoreA", RefuseSemaphore);
    ASSERT_TRUE(refuse.Installed());
    RecursiveLock lock;
    lock.Lock();
    ScopedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bool got = false;
    WaitingThread waiter([&](ThreadState*) {
        try {
            LockGuard guard(lock);
            got = true;
        } catch (const JxExceptionScriptEnd&) {
        }
        SetEvent(done.Get());
    });
    while (g_refusedSemaphores == 0) Sleep(1);
    lock.Unlock();
    constexpr DWORD kSafetyMs = 10000;  // then a sleeper that nobody wakes is ended
    if (WaitForSingleObject(done.Get(), kSafetyMs) != WAIT_OBJECT_0) waiter.RequestAbort();
    waiter.Join();
    EXPECT_TRUE(got);
}

}  // namespace
