#include <gtest/gtest.h>
#include <errno.h>
#include <string>
#include <thread>
#include <vector>
#include "editor_window.h"
#include "runtime/errors.h"
#include "runtime/host_alloc.h"
#include "runtime/scoped_handle.h"
#include "runtime/thread_state.h"

namespace {

TEST(ErrorText, SetAndFormatReturnFalseAndKeepTheText) {
    EXPECT_FALSE(SetErrorText("first"));
    EXPECT_STREQ(GetErrorText(), "first");
    EXPECT_FALSE(FormatErrorText("%d: %s", 3, GetErrorText()));
    EXPECT_STREQ(GetErrorText(), "3: first") << "the old text may be an argument";
}

TEST(HResultFromLastError, MapsTheThreadsLastError) {
    struct Case {
        DWORD error;
        HRESULT expected;
    };
    for (const Case& c : {Case{0, E_FAIL}, Case{ERROR_ACCESS_DENIED, HRESULT(0x80070005)},
                          Case{0x80040069, HRESULT(0x80040069)}, Case{0x12345, HRESULT(0x80072345)}}) {
        SetLastError(c.error);
        EXPECT_EQ(HResultFromLastError(), c.expected) << c.error;
    }
}

TEST(FormatSystemError, JoinsThePrefixAsASentence) {
    str system;
    FormatSystemError(system, "", nullptr, ERROR_ACCESS_DENIED);
    ASSERT_FALSE(system.IsEmpty());
    ASSERT_TRUE(system.EndsWith('.'));
    const std::string text = system.Text();
    struct Case {
        const char* prefix;
        std::string expected;
    };
    for (const Case& c : {Case{"Cannot open", "Cannot open. " + text}, Case{"Cannot open:", "Cannot open: " + text},
                          Case{"Cannot open ", "Cannot open " + text}, Case{"Really?", "Really? " + text}}) {
        str out;
        FormatSystemError(out, c.prefix, nullptr, ERROR_ACCESS_DENIED);
        EXPECT_EQ(out.Text(), c.expected) << c.prefix;
    }
    str selfPrefixed("Failed");
    FormatSystemError(selfPrefixed, selfPrefixed.buf, nullptr, ERROR_ACCESS_DENIED);
    EXPECT_EQ(selfPrefixed.Text(), "Failed. " + text);
}

TEST(FormatSystemError, EmptyWhenThereIsNoError) {
    str out("stale");
    SetLastError(0);
    FormatSystemError(out, "", nullptr, 0);
    EXPECT_STREQ(out.Text(), "");
    errno = 0;
    FormatSystemError(out, "", "c", 0);
    EXPECT_STREQ(out.Text(), "") << "the runtime reports no error";
    FormatSystemError(out, "", "C", ENOENT);
    EXPECT_TRUE(out.EndsWith('.')) << out.Text();
    FormatSystemError(out, "", "no-such-library.dll", ERROR_ACCESS_DENIED);
    EXPECT_STREQ(out.Text(), "");
}

class ReportErrorTest : public ::testing::Test {
protected:
    void TearDown() override { g_hostTable.hostWindow = nullptr; }
};

TEST_F(ReportErrorTest, EachMessageReachesTheHostAsOneBlock) {
    jxhost::EditorWindow window;
    g_hostTable.hostWindow = window.Handle();
    ReportError("Invalid CSV string:\r\n%s", "a,\"b");
    ReportError("second");
    const auto blocks = window.ReceivedBlocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].dwData, 0xFDE90003u);
    EXPECT_EQ(blocks[0].messages, std::vector<std::string>{"Invalid CSV string:\r\na,\"b"});
    EXPECT_EQ(blocks[1].messages, std::vector<std::string>{"second"});
}

TEST_F(ReportErrorTest, WithoutAHostWindowTheMessageIsDropped) {
    g_hostTable.hostWindow = nullptr;
    ReportError("nobody listens");
    jxhost::EditorWindow window;
    g_hostTable.hostWindow = window.Handle();
    ReportError("later");
    const auto blocks = window.ReceivedBlocks();
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].messages, std::vector<std::string>{"later"});
}

void CALLBACK WakeUp(ULONG_PTR) {}

// Ends the calling thread's waits in the library with an abort request when
// the test has not finished by then, so that a deadlock fails the test
// instead of hanging it.
class DeadlockBreaker {
public:
    DeadlockBreaker() : finished_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), state_(GetThreadState()) {
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), thread_.Receive(), 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        watcher_ = std::thread([this] {
            if (WaitForSingleObject(finished_.Get(), kSafetyMs) == WAIT_OBJECT_0) return;
            state_->status |= kThreadAbortRequested;
            QueueUserAPC(WakeUp, thread_.Get(), 0);
        });
    }
    ~DeadlockBreaker() {
        SetEvent(finished_.Get());
        watcher_.join();
        state_->status &= ~kThreadAbortRequested;
    }
    DeadlockBreaker(const DeadlockBreaker&) = delete;
    DeadlockBreaker& operator=(const DeadlockBreaker&) = delete;

private:
    static constexpr DWORD kSafetyMs = 10000;
    ScopedHandle finished_, thread_;
    ThreadState* state_;
    std::thread watcher_;
};

// Dispatches the calling thread's messages until `done` is set.
void PumpUntil(HANDLE done) {
    while (MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
}

TEST_F(ReportErrorTest, TheHostWindowsThreadReportsWhileAnotherSendsToIt) {
    jxhost::EditorWindow window;
    g_hostTable.hostWindow = window.Handle();
    ScopedHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread worker([&] {
        ReportError("from a worker");
        SetEvent(done.Get());
    });
    // The worker's block waits for this thread to take it.
    while (!(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)) Sleep(1);
    bool deadlocked = false;
    {
        DeadlockBreaker breaker;
        try {
            ReportError("from the host's thread");
        } catch (const JxExceptionScriptEnd&) {
            deadlocked = true;
        }
    }
    PumpUntil(done.Get());
    worker.join();
    EXPECT_FALSE(deadlocked);
    const auto blocks = window.ReceivedBlocks();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].messages, std::vector<std::string>{"from a worker"});
    EXPECT_EQ(blocks[1].messages, std::vector<std::string>{"from the host's thread"});
}

}  // namespace
