// The relay's end of one session's pipe. Each read and write must complete
// within the I/O budget; while it waits, the thread keeps dispatching its own
// messages (the idle timer, OLE's messages).
#pragma once
#include <windows.h>
#include "jx/relay_protocol.h"
#include "owners.h"

namespace jxdd {

class SessionPipe {
public:
    // Created() is false when the pipe cannot be made, including when
    // another process already owns a pipe of that name.
    explicit SessionPipe(DWORD ioBudgetMs);
    ~SessionPipe() = default;  // cancels what is left and closes
    SessionPipe(const SessionPipe&) = delete;
    SessionPipe& operator=(const SessionPipe&) = delete;

    bool Created() const { return pipe_ && event_; }
    // True when every byte went.
    bool Write(const void* bytes, DWORD size);
    // True for exactly one whole request; false for anything shorter or
    // longer, a broken pipe, or the budget running out.
    bool ReadRequest(JxRelayFormat& request);

private:
    static void CancelAndClose(HANDLE pipe);
    using PipeHandle = UniqueHandle<HANDLE, CancelAndClose>;

    OVERLAPPED& StartOperation();
    bool Complete(BOOL completedAtOnce, DWORD expected);
    bool AwaitEvent() const;
    void CancelOperation();

    DWORD ioBudgetMs_;
    PipeHandle pipe_;
    UniqueKernelHandle event_;  // manual-reset, signalled by each operation
    OVERLAPPED io_{};
};

}  // namespace jxdd
