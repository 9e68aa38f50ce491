// The host's allocator: every block the libraries take comes from here, and
// the counts tell whether a library gave everything back. Faults can be
// injected so tests can drive the libraries' out-of-memory paths.
#pragma once
#include <stddef.h>
#include <limits.h>
#include "jx/host_interface.h"

namespace jxhost {

struct AllocStats {
    size_t liveBlocks = 0;    // blocks handed out and not yet freed
    size_t liveBytes = 0;     // their usable sizes added up
    size_t totalAllocs = 0;   // alloc, calloc and realloc requests, failed ones included
    size_t failedAllocs = 0;  // requests that returned null
};

// Trivially destructible on purpose: libraries may still free blocks while
// the process exits, after the host's static destructors have run.
class CountingAllocator {
public:
    // A size rule with this count never runs out.
    static constexpr unsigned kAlways = UINT_MAX;

    CountingAllocator();
    CountingAllocator(const CountingAllocator&) = delete;
    CountingAllocator& operator=(const CountingAllocator&) = delete;

    AllocStats Stats() const;

    // The next `count` requests fail, whatever their size.
    void FailNext(unsigned count);
    // Requests of exactly `size` bytes fail, `count` times or kAlways.
    void FailSize(size_t size, unsigned count = kAlways);
    void ResetFaults();

    // What "InterfaceForDll" hands out. A library copies it at load time, so
    // changes reach only libraries loaded afterwards; unguarded, so set it
    // while no library is loading.
    const HostAllocTable& Table() const { return table_; }
    void SetCodePage(UINT codePage);
    void SetHostWindow(HWND window);
    // Takes the msize function out of the table (null) or puts it back, so
    // that tests can hand out an incomplete table.
    void SetMSizeMissing(bool missing);

    void* Alloc(size_t size);
    void* Realloc(void* block, size_t size);
    void* Calloc(size_t count, size_t size);
    void Free(void* block);
    size_t MSize(void* block) const;

private:
    bool ShouldFail(size_t size);  // counts the request; caller holds lock_
    void* Allocate(size_t size, DWORD heapFlags);

    mutable SRWLOCK lock_ = SRWLOCK_INIT;
    AllocStats stats_;
    unsigned failNext_ = 0;
    size_t failSize_ = 0;
    unsigned failSizeCount_ = 0;
    HostAllocTable table_;
};

// The process-wide allocator behind the host's table.
CountingAllocator& Allocator();

}  // namespace jxhost
