// BSTR helpers and the per-thread ring of temporary BSTRs.
#include <string.h>
#include <memory>
#include "runtime/errors.h"
#include "runtime/host_alloc.h"
#include "text/str.h"
#include "runtime/thread_state.h"

namespace {
constexpr UINT kCodePageMask = 0xFFFF;
constexpr unsigned kTempBstrSlots = 4;

struct BstrFree {
    void operator()(OLECHAR* bstr) const { FreeBstr(bstr); }
};
using BstrOwner = std::unique_ptr<OLECHAR, BstrFree>;

// Restores the thread's last error when the scope ends.
class LastErrorKeeper {
public:
    LastErrorKeeper() : error_(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(error_); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    DWORD error_;
};

BSTR AllocBstrOrRaise(const OLECHAR* text, int n) {
    BSTR bstr = SysAllocStringLen(text, UINT(n));
    if (!bstr) RaiseOutOfMemory();
    return bstr;
}

struct TempBstrRing {
    BSTR slots[kTempBstrSlots];
    unsigned next;
};

// The address is the key of the ring among the thread's objects.
const char kTempBstrRingKey = 0;

void DestroyTempBstrRing(void* object) {
    auto* ring = static_cast<TempBstrRing*>(object);
    for (BSTR bstr : ring->slots) FreeBstr(bstr);
    HostFree(ring);
}

BSTR& NextTempBstrSlot() {
    ThreadState* thread = GetThreadState();
    auto* ring = static_cast<TempBstrRing*>(thread->FindPerThreadObject(&kTempBstrRingKey));
    if (!ring) {
        HostBlock block(HostCallocOrRaise(1, sizeof(TempBstrRing)));
        thread->AddPerThreadObject(&kTempBstrRingKey, block.block, DestroyTempBstrRing);
        ring = static_cast<TempBstrRing*>(block.Release());
    }
    BSTR& slot = ring->slots[ring->next];
    ring->next = (ring->next + 1) % kTempBstrSlots;
    return slot;
}
}  // namespace

BSTR ToBstr(const char* text, UINT codePage, int n) {
    if (!text) return nullptr;
    if (n < 0) n = int(strlen(text));
    BstrOwner bstr(AllocBstrOrRaise(nullptr, n));
    const int chars = n ? MultiByteToWideChar(codePage & kCodePageMask, 0, text, n, bstr.get(), n) : 0;
    bstr.get()[chars] = 0;
    if ((codePage & kBstrShrink) && chars < n) {
        BSTR shrunk = bstr.release();
        SysReAllocStringLen(&shrunk, shrunk, UINT(chars));  // keeps the old one on failure
        bstr.reset(shrunk);
    }
    return bstr.release();
}

BSTR ToBstr(const char* text) { return ToBstr(text, CurrentCodePage()); }

void FreeBstr(BSTR bstr) {
    if (!bstr) return;
    LastErrorKeeper keeper;
    SysFreeString(bstr);
}

void DestroySafeArray(SAFEARRAY* array) {
    if (!array) return;
    LastErrorKeeper keeper;
    SafeArrayDestroy(array);
}

void AssignBstr(BSTR* target, const char* text, UINT codePage, int n) {
    FreeBstr(*target);
    *target = nullptr;
    *target = ToBstr(text, codePage, n);
}

void SetBstr(BSTR* target, const wchar_t* wide) {
    if (*target == wide) return;
    if (!wide) {
        FreeBstr(*target);
        *target = nullptr;
    } else if (*target) {
        if (!SysReAllocString(target, wide)) RaiseOutOfMemory();
    } else {
        *target = AllocBstrOrRaise(wide, lstrlenW(wide));
    }
}

void AllocBstr(BSTR* target, int n) {
    FreeBstr(*target);
    *target = nullptr;
    *target = AllocBstrOrRaise(nullptr, n);
    (*target)[0] = 0;
}

BSTR TempBstr(const char* text) {
    BSTR& slot = NextTempBstrSlot();
    AssignBstr(&slot, text, CurrentCodePage());
    return slot;
}

BSTR TempBstrW(const wchar_t* wide) {
    BSTR& slot = NextTempBstrSlot();
    SetBstr(&slot, wide);
    return slot;
}
