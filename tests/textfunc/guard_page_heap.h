// A host allocator whose blocks end right where an inaccessible page begins,
// so that reading one byte past a block faults at once.
#pragma once
#include <string_view>
#include "runtime/host_alloc.h"
#include "text/str.h"

// Puts the allocator in force for the life of the object; every block it
// hands out must be freed before the object dies.
class GuardPageHeap {
public:
    GuardPageHeap();
    ~GuardPageHeap();
    GuardPageHeap(const GuardPageHeap&) = delete;
    GuardPageHeap& operator=(const GuardPageHeap&) = delete;

    // A str holding `text` in the smallest block its layout allows: the text,
    // its two NULs and one byte (cap == len).
    static str Holding(std::string_view text);

private:
    HostAllocTable saved_;
};
