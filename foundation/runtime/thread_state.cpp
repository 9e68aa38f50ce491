#include "runtime/thread_state.h"
#include <new>
#include <optional>
#include "runtime/module_state.h"
#include "runtime/wait_lock.h"

namespace {
DWORD g_tlsSlot = TLS_OUT_OF_INDEXES;

using ThreadList = std::vector<ThreadState*, HostAllocator<ThreadState*>>;

ThreadList& Threads() {
    static ThreadList list;
    return list;
}

void AddThread(ThreadState* state) {
    LockGuard guard(ThreadListLock());
    Threads().push_back(state);
}

void RemoveThread(ThreadState* state) {
    LockGuard guard(ThreadListLock());
    ThreadList& list = Threads();
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (*it == state) {
            list.erase(it);
            return;
        }
    }
}

void SetSlot(ThreadState* state) {
    if (g_tlsSlot != TLS_OUT_OF_INDEXES) TlsSetValue(g_tlsSlot, state);
}

// The first half of ending one thread's object: its per-thread objects and
// OLE. False when a hook keeps the object. Only the owning thread
// uninitialises OLE; `forceDelete` is library teardown, where every object goes.
bool FinishThreadState(ThreadState* state, bool ownThread, bool forceDelete) {
    state->DestroyPerThreadObjects();
    if (ownThread && (state->status & kThreadOleInitialized)) {
        state->status &= ~kThreadOleInitialized;
        OleUninitialize();
    }
    if (state->flags & kThreadDetachByHook) {
        state->detaching = 1;
        state->OnDetach();
        return forceDelete;
    }
    return true;
}
}  // namespace

RecursiveLock& ThreadListLock() {
    static RecursiveLock lock;
    return lock;
}

struct ThreadState::ScratchRing : HostObject {
    str strings[kScratchStrings];
    unsigned index = 0;
};

ThreadState::~ThreadState() {
    if (threadHandle) {
        SetHandleInformation(threadHandle, HANDLE_FLAG_PROTECT_FROM_CLOSE, 0);
        CloseHandle(threadHandle);
    }
    delete scratch_;
}

str& ThreadState::NextScratchString() {
    if (!scratch_) scratch_ = new ScratchRing;
    scratch_->index = (scratch_->index + 1) % kScratchStrings;
    return scratch_->strings[scratch_->index];
}

void* ThreadState::FindPerThreadObject(const void* key) const {
    for (const PerThreadEntry& entry : perThread_)
        if (entry.key == key) return entry.object;
    return nullptr;
}

void ThreadState::AddPerThreadObject(const void* key, void* object, PerThreadDestroy destroy) {
    try {
        perThread_.push_back({key, object, destroy});
    } catch (...) {
        destroy(object);  // the object was handed over; do not lose it
        throw;
    }
}

void ThreadState::DestroyPerThreadObjects() {
    while (!perThread_.empty()) {
        PerThreadEntry entry = perThread_.back();
        perThread_.pop_back();
        entry.destroy(entry.object);
    }
    perThread_.shrink_to_fit();
}

bool AllocThreadSlot() {
    g_tlsSlot = TlsAlloc();
    return g_tlsSlot != TLS_OUT_OF_INDEXES;
}

void FreeThreadSlot() {
    if (g_tlsSlot != TLS_OUT_OF_INDEXES) TlsFree(g_tlsSlot);
    g_tlsSlot = TLS_OUT_OF_INDEXES;
}

// TlsGetValue reads the thread's slot without a system call, but it clears
// the last error, which may be an error being reported.
ThreadState* PeekThreadState() {
    if (g_tlsSlot == TLS_OUT_OF_INDEXES) return nullptr;
    const DWORD lastError = GetLastError();
    void* value = TlsGetValue(g_tlsSlot);
    SetLastError(lastError);
    return static_cast<ThreadState*>(value);
}

ThreadState* GetThreadState() {
    if (ThreadState* state = PeekThreadState()) return state;
    if (g_tlsSlot == TLS_OUT_OF_INDEXES) return nullptr;
    ThreadState* state = Hooks().CreateThreadState();
    if (!state) return nullptr;
    const DWORD lastError = GetLastError();
    if (!state->threadHandle) {
        HANDLE self = GetCurrentProcess();
        if (DuplicateHandle(self, GetCurrentThread(), self, &state->threadHandle, 0, FALSE, DUPLICATE_SAME_ACCESS))
            SetHandleInformation(state->threadHandle, HANDLE_FLAG_PROTECT_FROM_CLOSE, HANDLE_FLAG_PROTECT_FROM_CLOSE);
        else
            state->threadHandle = nullptr;
        state->threadId = GetCurrentThreadId();
    }
    // In the slot before the list's lock is taken: a wait for that lock then
    // finds this object instead of making another.
    SetSlot(state);
    try {
        AddThread(state);
    } catch (...) {
        SetSlot(nullptr);
        delete state;
        throw;
    }
    // A thread whose COM apartment is already of another kind keeps it, and
    // then must not uninitialise what it did not initialise.
    if (!(state->flags & kThreadNoOle) && SUCCEEDED(OleInitialize(nullptr))) state->status |= kThreadOleInitialized;
    state->OnAttach();
    state->status |= kThreadAttached;
    SetLastError(lastError);
    return state;
}

void DetachCurrentThreadState() {
    ThreadState* state = PeekThreadState();
    if (!state || !FinishThreadState(state, true, false)) return;
    // Off the list before the slot is cleared, for the same reason as above.
    RemoveThread(state);
    SetSlot(nullptr);
    delete state;
}

void DetachAllThreadStates(bool processEnding) {
    // A process that ends has stopped its other threads wherever they were,
    // maybe holding the list's lock, and takes OLE down itself.
    std::optional<LockGuard> guard;
    if (!processEnding) guard.emplace(ThreadListLock());
    const DWORD self = GetCurrentThreadId();
    ThreadList& list = Threads();
    while (!list.empty()) {
        ThreadState* state = list.back();
        const bool ownThread = state->threadId == self;
        FinishThreadState(state, ownThread && !processEnding, true);
        list.pop_back();
        if (ownThread) SetSlot(nullptr);
        delete state;
    }
    list.shrink_to_fit();
}

int ThreadStateCount() {
    LockGuard guard(ThreadListLock());
    return int(Threads().size());
}
