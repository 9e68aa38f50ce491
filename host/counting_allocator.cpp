#include "counting_allocator.h"
#include <type_traits>
#include "handles.h"

namespace jxhost {
namespace {

// The table's entry points: plain C calling convention, as the libraries
// call them through function pointers.
void* __cdecl TableAlloc(size_t size) { return Allocator().Alloc(size); }
void* __cdecl TableRealloc(void* block, size_t size) { return Allocator().Realloc(block, size); }
void* __cdecl TableCalloc(size_t count, size_t size) { return Allocator().Calloc(count, size); }
void __cdecl TableFree(void* block) { Allocator().Free(block); }
size_t __cdecl TableMSize(void* block) { return Allocator().MSize(block); }

HANDLE Heap() { return GetProcessHeap(); }

}  // namespace

CountingAllocator::CountingAllocator()
    : table_{TableAlloc, TableRealloc, TableCalloc, TableFree, TableMSize, JX_DEFAULT_CODE_PAGE, nullptr} {}

AllocStats CountingAllocator::Stats() const {
    ExclusiveLock lock(lock_);
    return stats_;
}

void CountingAllocator::FailNext(unsigned count) {
    ExclusiveLock lock(lock_);
    failNext_ = count;
}

void CountingAllocator::FailSize(size_t size, unsigned count) {
    ExclusiveLock lock(lock_);
    failSize_ = size;
    failSizeCount_ = count;
}

void CountingAllocator::ResetFaults() {
    ExclusiveLock lock(lock_);
    failNext_ = 0;
    failSizeCount_ = 0;
}

void CountingAllocator::SetCodePage(UINT codePage) { table_.codePage = codePage; }

void CountingAllocator::SetHostWindow(HWND window) { table_.hostWindow = window; }

void CountingAllocator::SetMSizeMissing(bool missing) { table_.msize = missing ? nullptr : TableMSize; }

bool CountingAllocator::ShouldFail(size_t size) {
    ++stats_.totalAllocs;
    bool fail = false;
    if (failNext_ > 0) {
        --failNext_;
        fail = true;
    } else if (failSizeCount_ > 0 && size == failSize_) {
        if (failSizeCount_ != kAlways) --failSizeCount_;
        fail = true;
    }
    if (fail) ++stats_.failedAllocs;
    return fail;
}

void* CountingAllocator::Allocate(size_t size, DWORD heapFlags) {
    ExclusiveLock lock(lock_);
    if (ShouldFail(size)) return nullptr;
    void* block = HeapAlloc(Heap(), heapFlags, size);
    if (!block) {
        ++stats_.failedAllocs;
        return nullptr;
    }
    ++stats_.liveBlocks;
    stats_.liveBytes += HeapSize(Heap(), 0, block);
    return block;
}

void* CountingAllocator::Alloc(size_t size) { return Allocate(size, 0); }

void* CountingAllocator::Calloc(size_t count, size_t size) {
    size_t total = 0;
    if (__builtin_mul_overflow(count, size, &total)) {
        ExclusiveLock lock(lock_);
        ++stats_.totalAllocs;
        ++stats_.failedAllocs;
        return nullptr;
    }
    return Allocate(total, HEAP_ZERO_MEMORY);
}

void* CountingAllocator::Realloc(void* block, size_t size) {
    if (!block) return Alloc(size);
    ExclusiveLock lock(lock_);
    if (ShouldFail(size)) return nullptr;
    size_t oldSize = HeapSize(Heap(), 0, block);
    // On failure the old block stays valid and stays counted.
    void* moved = HeapReAlloc(Heap(), 0, block, size);
    if (!moved) {
        ++stats_.failedAllocs;
        return nullptr;
    }
    stats_.liveBytes = stats_.liveBytes - oldSize + HeapSize(Heap(), 0, moved);
    return moved;
}

void CountingAllocator::Free(void* block) {
    if (!block) return;
    ExclusiveLock lock(lock_);
    size_t size = HeapSize(Heap(), 0, block);
    if (HeapFree(Heap(), 0, block)) {
        --stats_.liveBlocks;
        stats_.liveBytes -= size;
    }
}

size_t CountingAllocator::MSize(void* block) const { return block ? HeapSize(Heap(), 0, block) : 0; }

static_assert(std::is_trivially_destructible_v<CountingAllocator>);

CountingAllocator& Allocator() {
    static CountingAllocator allocator;
    return allocator;
}

}  // namespace jxhost
