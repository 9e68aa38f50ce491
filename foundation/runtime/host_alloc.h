// Every heap block of the libraries comes from the host's allocator table, so
// the host may free what a library allocates and the reverse.
#pragma once
#include <stddef.h>
#include <new>
#include "jx/host_interface.h"

// The table in force: the library's own C-runtime functions until start-up
// copies the host's table over it.
extern HostAllocTable g_hostTable;
void ResetHostTableToFallback();

void* HostAlloc(size_t size);  // null on failure
void* HostRealloc(void* block, size_t size);
void* HostCalloc(size_t count, size_t size);
inline void* HostCallocOne(size_t size) { return HostCalloc(1, size); }
void HostFree(void* block);
size_t HostMSize(void* block);
char* HostStrDup(const char* text);

// The same, but a failure goes through the allocation-failure handler: the
// request is retried with growing pauses and, when failures of the same size
// keep coming, "failed to allocate memory" is thrown. Never null.
void* HostAllocOrRaise(size_t size);
void* HostReallocOrRaise(void* block, size_t size);
void* HostCallocOrRaise(size_t count, size_t size);

// Decides, for one failed request, whether to retry after a pause or give up.
// A failure repeats the previous one when it asks for the same size less than
// kRepeatWindowMs after it; the pause grows with the number of repeats.
class AllocationFailurePacer {
public:
    static constexpr int kLimit = 30;
    static constexpr DWORD kRepeatWindowMs = 5000;
    static constexpr DWORD kPauseStepMs = 100;

    // The pause before the next try in ms, or -1 when the caller must give up.
    long OnFailure(size_t size, DWORD nowTicks);
    int RepeatCount() const { return count_; }
    void SetPauseStep(DWORD ms) { pauseStepMs_ = ms; }

private:
    DWORD lastTicks_ = 0;
    size_t lastSize_ = 0;
    int count_ = 0;
    DWORD pauseStepMs_ = kPauseStepMs;
};

// The process-wide pacer used by the *OrRaise functions.
AllocationFailurePacer& AllocationPacer();

// Called after a failed allocation of `size`: returns to retry, or throws.
void OnAllocationFailure(size_t size);

// Objects of the libraries are created from and freed to the host allocator.
struct HostObject {
    static void* operator new(size_t size) { return HostAllocOrRaise(size); }
    static void* operator new(size_t size, const std::nothrow_t&) noexcept { return HostAlloc(size); }
    static void operator delete(void* block) noexcept { HostFree(block); }
    static void operator delete(void* block, const std::nothrow_t&) noexcept { HostFree(block); }
};

// Standard containers over the host allocator.
template <class T>
struct HostAllocator {
    using value_type = T;
    HostAllocator() = default;
    template <class U>
    HostAllocator(const HostAllocator<U>&) noexcept {}
    T* allocate(size_t n) { return static_cast<T*>(HostAllocOrRaise(n * sizeof(T))); }
    void deallocate(T* p, size_t) noexcept { HostFree(p); }
    template <class U>
    bool operator==(const HostAllocator<U>&) const noexcept { return true; }
};

// Owns one block of the host allocator.
struct HostBlock {
    void* block = nullptr;
    HostBlock() = default;
    explicit HostBlock(void* b) : block(b) {}
    ~HostBlock() { HostFree(block); }
    HostBlock(const HostBlock&) = delete;
    HostBlock& operator=(const HostBlock&) = delete;
    void* Release() { void* b = block; block = nullptr; return b; }
};
