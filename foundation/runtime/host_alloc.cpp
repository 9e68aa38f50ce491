#include "runtime/host_alloc.h"
#include <malloc.h>
#include <string.h>
#include "runtime/errors.h"
#include "runtime/wait_lock.h"

namespace {
// The C runtime's functions behind the calling convention of the table.
void* __cdecl FallbackAlloc(size_t size) { return malloc(size); }
void* __cdecl FallbackRealloc(void* block, size_t size) { return realloc(block, size); }
void* __cdecl FallbackCalloc(size_t count, size_t size) { return calloc(count, size); }
void __cdecl FallbackFree(void* block) { free(block); }
size_t __cdecl FallbackMSize(void* block) { return _msize(block); }

constexpr HostAllocTable kFallbackTable = {FallbackAlloc, FallbackRealloc, FallbackCalloc, FallbackFree,
                                           FallbackMSize, 0, nullptr};
}  // namespace

constinit HostAllocTable g_hostTable = kFallbackTable;

void ResetHostTableToFallback() { g_hostTable = kFallbackTable; }

void* HostAlloc(size_t size) { return g_hostTable.alloc(size); }

void* HostRealloc(void* block, size_t size) {
    return block ? g_hostTable.realloc(block, size) : g_hostTable.alloc(size);
}

void* HostCalloc(size_t count, size_t size) { return g_hostTable.calloc(count, size); }

void HostFree(void* block) {
    if (block) g_hostTable.free(block);
}

size_t HostMSize(void* block) { return block ? g_hostTable.msize(block) : 0; }

char* HostStrDup(const char* text) {
    if (!text) return nullptr;
    size_t n = strlen(text) + 1;
    char* copy = static_cast<char*>(HostAlloc(n));
    if (copy) memcpy(copy, text, n);
    return copy;
}

long AllocationFailurePacer::OnFailure(size_t size, DWORD nowTicks) {
    if (size != lastSize_ || nowTicks - lastTicks_ >= kRepeatWindowMs) count_ = 0;
    ++count_;
    lastTicks_ = nowTicks;
    lastSize_ = size;
    if (count_ > kLimit) {
        count_ = 0;
        return -1;
    }
    return static_cast<long>(count_ * pauseStepMs_);
}

AllocationFailurePacer& AllocationPacer() {
    static AllocationFailurePacer pacer;
    return pacer;
}

void OnAllocationFailure(size_t size) {
    long pause = AllocationPacer().OnFailure(size, GetTickCount());
    if (pause < 0) RaiseOutOfMemory();
    WaitAbortable(static_cast<DWORD>(pause), nullptr);
}

namespace {
// Repeats `allocate` until it gives a block; each failure goes through the
// failure handler, which pauses or throws.
template <class Allocate>
void* AllocateOrRaise(size_t size, Allocate allocate) {
    for (;;) {
        if (void* block = allocate()) return block;
        OnAllocationFailure(size);
    }
}
}  // namespace

void* HostAllocOrRaise(size_t size) {
    return AllocateOrRaise(size, [=] { return HostAlloc(size); });
}

void* HostReallocOrRaise(void* block, size_t size) {
    return AllocateOrRaise(size, [=] { return HostRealloc(block, size); });
}

void* HostCallocOrRaise(size_t count, size_t size) {
    return AllocateOrRaise(count * size, [=] { return HostCalloc(count, size); });
}
