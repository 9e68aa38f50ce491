#include "guard_page_heap.h"
#include <string.h>

namespace {

constexpr size_t kPageSize = 4096;
constexpr size_t kTerminators = 2;
constexpr size_t kBlockOverhead = 3;  // cap is the block size minus 3

// Kept at the start of a block's pages.
struct RegionHeader {
    size_t blockSize;
};

void* RegionBase(void* block) {
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(block, &info, sizeof info);
    return info.AllocationBase;
}

void* __cdecl GuardAlloc(size_t size) {
    const size_t dataBytes = (sizeof(RegionHeader) + size + kPageSize - 1) / kPageSize * kPageSize;
    BYTE* base = static_cast<BYTE*>(VirtualAlloc(nullptr, dataBytes + kPageSize, MEM_RESERVE | MEM_COMMIT,
                                                 PAGE_READWRITE));
    if (!base) return nullptr;
    DWORD previous;
    VirtualProtect(base + dataBytes, kPageSize, PAGE_NOACCESS, &previous);
    reinterpret_cast<RegionHeader*>(base)->blockSize = size;
    return base + dataBytes - size;
}

size_t __cdecl GuardMSize(void* block) { return static_cast<RegionHeader*>(RegionBase(block))->blockSize; }

void __cdecl GuardFree(void* block) { VirtualFree(RegionBase(block), 0, MEM_RELEASE); }

void* __cdecl GuardRealloc(void* block, size_t size) {
    void* moved = GuardAlloc(size);
    if (!moved) return nullptr;
    const size_t old = GuardMSize(block);
    memcpy(moved, block, old < size ? old : size);
    GuardFree(block);
    return moved;
}

void* __cdecl GuardCalloc(size_t count, size_t size) { return GuardAlloc(count * size); }  // pages come zeroed

}  // namespace

GuardPageHeap::GuardPageHeap() : saved_(g_hostTable) {
    g_hostTable.alloc = GuardAlloc;
    g_hostTable.realloc = GuardRealloc;
    g_hostTable.calloc = GuardCalloc;
    g_hostTable.free = GuardFree;
    g_hostTable.msize = GuardMSize;
}

GuardPageHeap::~GuardPageHeap() { g_hostTable = saved_; }

str GuardPageHeap::Holding(std::string_view text) {
    str s;
    s.buf = static_cast<char*>(HostAllocOrRaise(text.size() + kBlockOverhead));
    memcpy(s.buf, text.data(), text.size());
    memset(s.buf + text.size(), 0, kTerminators);
    s.len = s.cap = int(text.size());
    return s;
}
