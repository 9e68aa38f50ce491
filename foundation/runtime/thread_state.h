// One object per thread that calls into the library, found through a
// thread-local slot, created on first use with OLE initialised.
#pragma once
#include <windows.h>
#include <vector>
#include "jx/errors.h"
#include "runtime/host_alloc.h"
#include "text/str.h"

// ThreadState::flags
enum ThreadStateFlag : BYTE {
    kThreadDetachByHook = 1,  // detach calls OnDetach instead of deleting the object
    kThreadNoOle = 2,         // do not initialise OLE for this thread
};

// ThreadState::status
enum ThreadStatus : BYTE {
    kThreadAttached = 1,
    kThreadOleInitialized = 2,  // OleInitialize succeeded and must be balanced
    kThreadInWait = 4,          // inside an abortable wait
    kThreadAbortRequested = 8,  // the running macro must end
};

using PerThreadDestroy = void (*)(void* object);

class ThreadState : public HostObject {
public:
    static constexpr int kScratchStrings = 8;

    ThreadState() = default;
    ThreadState(const ThreadState&) = delete;
    ThreadState& operator=(const ThreadState&) = delete;
    virtual void OnAttach() {}
    virtual void OnDetach() {}
    virtual ~ThreadState();

    BYTE flags = 0;
    BYTE status = 0;
    BYTE detaching = 0;
    HANDLE threadHandle = nullptr;
    DWORD threadId = 0;

    // The next of a ring of 8 strings for short-lived copies.
    str& NextScratchString();

    // Objects kept per thread and per key, destroyed last first at detach.
    void* FindPerThreadObject(const void* key) const;
    void AddPerThreadObject(const void* key, void* object, PerThreadDestroy destroy);
    void DestroyPerThreadObjects();

    // The error functions' text and re-entrancy flag.
    str errorText;
    bool inErrorCall = false;

    // The stack position of the innermost host entry into the library, and
    // the exception last let out to a host of the platform's model (the
    // host's catch refers to it).
    ULONG_PTR innermostEntry = 0;
    JxException raisedException{};

private:
    struct ScratchRing;
    struct PerThreadEntry {
        const void* key;
        void* object;
        PerThreadDestroy destroy;
    };
    ScratchRing* scratch_ = nullptr;
    std::vector<PerThreadEntry, HostAllocator<PerThreadEntry>> perThread_;
};

// The calling thread's object, created and attached when it has none.
ThreadState* GetThreadState();
// The calling thread's object, or null; never creates one.
ThreadState* PeekThreadState();
// Thread detach: ends the calling thread's object.
void DetachCurrentThreadState();
// Library teardown: ends every thread's object; when the process ends,
// without the list's lock and without OLE.
void DetachAllThreadStates(bool processEnding);
// Number of live thread objects (for diagnostics and tests).
int ThreadStateCount();
// The lock of the thread list, held while an object is added or removed.
class RecursiveLock& ThreadListLock();

// Thread-local slot set up at start-up and freed at teardown.
bool AllocThreadSlot();
void FreeThreadSlot();
