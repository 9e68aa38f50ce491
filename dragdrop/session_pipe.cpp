#include "session_pipe.h"

namespace jxdd {
namespace {

constexpr DWORD kPipeOpenMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE;
constexpr DWORD kPipeMode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE;
constexpr DWORD kPipeInstances = 1;
constexpr DWORD kPipeDefaultTimeoutMs = 2000;
// With less of the budget left than this, the operation is taken as it stands.
constexpr ULONGLONG kShortestWaitMs = 10;
constexpr DWORD kWakeForAnyInput = QS_ALLINPUT | QS_ALLPOSTMESSAGE;

// False when the thread was told to quit: the quit is posted again for the
// thread's own loop, and the operation waiting here gives up.
bool DispatchWaitingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return false;
        }
        DispatchMessageW(&message);
    }
    return true;
}

HANDLE NullWhenInvalid(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? nullptr : handle; }

}  // namespace

void SessionPipe::CancelAndClose(HANDLE pipe) {
    CancelIo(pipe);
    CloseHandle(pipe);
}

SessionPipe::SessionPipe(DWORD ioBudgetMs)
    : ioBudgetMs_(ioBudgetMs),
      pipe_(NullWhenInvalid(CreateNamedPipeA(JX_RELAY_PIPE_NAME, kPipeOpenMode, kPipeMode, kPipeInstances,
                                             JX_RELAY_PIPE_BUFFER_SIZE, JX_RELAY_PIPE_BUFFER_SIZE,
                                             kPipeDefaultTimeoutMs, nullptr))),
      event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

bool SessionPipe::Write(const void* bytes, DWORD size) {
    BOOL completedAtOnce = WriteFile(pipe_.get(), bytes, size, nullptr, &StartOperation());
    return Complete(completedAtOnce, size);
}

bool SessionPipe::ReadRequest(JxRelayFormat& request) {
    Sleep(0);  // a host woken by the last reply often has its request written by the time this reads
    BOOL completedAtOnce = ReadFile(pipe_.get(), &request, sizeof request, nullptr, &StartOperation());
    return Complete(completedAtOnce, sizeof request);
}

OVERLAPPED& SessionPipe::StartOperation() {
    ResetEvent(event_.get());
    io_ = {};
    io_.hEvent = event_.get();
    return io_;
}

// No operation is left running on return, so its buffer may go at once.
bool SessionPipe::Complete(BOOL completedAtOnce, DWORD expected) {
    if (!completedAtOnce) {
        if (GetLastError() != ERROR_IO_PENDING) return false;
        if (!AwaitEvent()) {
            CancelOperation();
            return false;
        }
    }
    DWORD transferred = 0;
    if (GetOverlappedResult(pipe_.get(), &io_, &transferred, FALSE)) return transferred == expected;
    if (GetLastError() == ERROR_IO_INCOMPLETE) CancelOperation();
    return false;
}

// True when the operation's event is set or too little budget is left to
// wait again; false for a time-out, a failed wait or a quit request.
bool SessionPipe::AwaitEvent() const {
    const ULONGLONG start = GetTickCount64();
    HANDLE event = event_.get();
    for (;;) {
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed + kShortestWaitMs > ioBudgetMs_) return true;
        DWORD wait = MsgWaitForMultipleObjectsEx(1, &event, static_cast<DWORD>(ioBudgetMs_ - elapsed),
                                                 kWakeForAnyInput, MWMO_INPUTAVAILABLE);
        if (wait == WAIT_OBJECT_0) return true;
        if (wait != WAIT_OBJECT_0 + 1 || !DispatchWaitingMessages()) return false;
    }
}

void SessionPipe::CancelOperation() {
    CancelIo(pipe_.get());
    DWORD transferred = 0;
    GetOverlappedResult(pipe_.get(), &io_, &transferred, TRUE);  // the cancellation itself completes
}

}  // namespace jxdd
