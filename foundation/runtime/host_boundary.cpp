#include "runtime/host_boundary.h"
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include "runtime/errors.h"
#include "runtime/module_state.h"
#include "runtime/thread_state.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// GNU ld writes its own major version (2) as the linker version; the
// platform's linker and lld-link write theirs (6 to 14).
constexpr BYTE kGnuLinkerMajorVersion = 2;
// Runtime DLLs that only GNU-model programs import (lower case prefixes).
constexpr const char* kGnuRuntimePrefixes[] = {"libgcc_s_", "libstdc++", "libc++", "libunwind"};

// The platform's C++ exception: code, magic number and parameter count.
constexpr DWORD kPlatformCxxException = 0xE06D7363;
constexpr ULONG_PTR kPlatformCxxMagic = 0x19930520;
#ifdef _WIN64
constexpr DWORD kPlatformCxxParameters = 4;  // the last: the image base of the records' offsets
using RecordRef = int32_t;                   // an offset from this module's image base
#else
constexpr DWORD kPlatformCxxParameters = 3;
using RecordRef = const void*;
#endif
constexpr uint32_t kCatchableClass = 0;  // a class with no virtual bases
constexpr int32_t kNoVirtualBase = -1;

// The records of the platform's throw information, as its runtime reads them.
struct TypeDescriptor {
    const void* typeInfoTable;  // type_info's vtable: catch clauses match by name alone
    void* spare;
    char name[32];  // decorated name
};
struct CatchableType {
    uint32_t properties;
    RecordRef type;
    int32_t memberDisplacement;
    int32_t virtualBaseDisplacement;
    int32_t virtualDisplacement;
    int32_t size;
    RecordRef copyFunction;  // none: the catch copies the object as plain bytes
};
struct CatchableTypeArray {
    int32_t count;
    RecordRef types[1];
};
struct ThrowInfo {
    uint32_t attributes;
    RecordRef unwind;  // no destructor
    RecordRef forwardCompat;
    RecordRef catchableTypes;
};

RecordRef Ref(const void* record) {
#ifdef _WIN64
    return RecordRef(static_cast<const BYTE*>(record) - reinterpret_cast<const BYTE*>(&__ImageBase));
#else
    return record;
#endif
}

// One thrown type's records, in this module's image (x64 offsets must fit).
struct PlatformType {
    TypeDescriptor descriptor{};
    CatchableType catchable{};
    CatchableTypeArray catchables{};
    ThrowInfo info{};

    PlatformType(const char* decoratedName, int32_t size) {
        strncpy(descriptor.name, decoratedName, sizeof descriptor.name - 1);
        catchable = {kCatchableClass, Ref(&descriptor), 0, kNoVirtualBase, 0, size, {}};
        catchables.count = 1;
        catchables.types[0] = Ref(&catchable);
        info.catchableTypes = Ref(&catchables);
    }
};

const PlatformType& ExceptionType() {
    static const PlatformType type(".?AUJxException@@", int32_t(sizeof(JxException)));
    return type;
}
const PlatformType& ScriptEndType() {
    static const PlatformType type(".?AUJxExceptionScriptEnd@@", int32_t(sizeof(JxExceptionScriptEnd)));
    return type;
}

[[noreturn]] void RaisePlatform(const PlatformType& type, void* object) {
    const ULONG_PTR parameters[kPlatformCxxParameters] = {
        kPlatformCxxMagic, reinterpret_cast<ULONG_PTR>(object), reinterpret_cast<ULONG_PTR>(&type.info),
#ifdef _WIN64
        reinterpret_cast<ULONG_PTR>(&__ImageBase),
#endif
    };
    RaiseException(kPlatformCxxException, EXCEPTION_NONCONTINUABLE, kPlatformCxxParameters, parameters);
    abort();  // a noncontinuable exception does not come back
}

// The raised objects: the host's catch refers to them until it ends, so they
// outlive the raising frame, one per thread (a thread without a state shares
// the fallback).
JxException g_fallbackException;
JxExceptionScriptEnd g_scriptEnd;

HostExceptionModel g_model = HostExceptionModel::kPlatform;

bool StartsWithNoCase(const char* text, const char* prefix) { return _strnicmp(text, prefix, strlen(prefix)) == 0; }

#ifdef _WIN64
constexpr int kMaxWalkedFrames = 256;

// Code of the host: a module that is neither this library nor the system's
// (the Windows folder holds the system's DLLs and the common controls).
bool IsHostCode(ULONG_PTR imageBase) {
    if (imageBase == reinterpret_cast<ULONG_PTR>(&__ImageBase)) return false;
    wchar_t path[MAX_PATH], windows[MAX_PATH];
    const UINT windowsLength = GetWindowsDirectoryW(windows, MAX_PATH);
    if (!GetModuleFileNameW(reinterpret_cast<HMODULE>(imageBase), path, MAX_PATH) || !windowsLength ||
        windowsLength >= MAX_PATH)
        return true;
    return _wcsnicmp(path, windows, windowsLength) != 0 || (path[windowsLength] != L'\\' && path[windowsLength]);
}

// Whether a frame of the host's code lies between the caller and the stack
// position `enclosing` of the library's enclosing entry.
bool HostCodeBelow(ULONG_PTR enclosing) {
    CONTEXT context;
    RtlCaptureContext(&context);
    for (int frame = 0; frame < kMaxWalkedFrames && context.Rip; ++frame) {
        DWORD64 imageBase = 0;
        PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
        if (function) {
            void* handlerData;
            DWORD64 establisher;
            RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData,
                             &establisher, nullptr);
        } else {  // a leaf function: the return address is on top of the stack
            context.Rip = *reinterpret_cast<DWORD64*>(context.Rsp);
            context.Rsp += sizeof(DWORD64);
        }
        if (context.Rsp >= enclosing) return false;
        if (context.Rip && RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr) && IsHostCode(imageBase))
            return true;
    }
    return true;  // a stack it cannot read to the end: the host's catch is the safer guess
}
#endif

}  // namespace

HostExceptionModel DetectHostExceptionModel(HMODULE mainModule) {
    const BYTE* base = reinterpret_cast<const BYTE*>(mainModule);
    if (!base) return HostExceptionModel::kPlatform;
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->OptionalHeader.MajorLinkerVersion == kGnuLinkerMajorVersion) return HostExceptionModel::kGnu;
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return HostExceptionModel::kPlatform;
    for (auto entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name;
         ++entry) {
        const char* name = reinterpret_cast<const char*>(base + entry->Name);
        for (const char* prefix : kGnuRuntimePrefixes)
            if (StartsWithNoCase(name, prefix)) return HostExceptionModel::kGnu;
    }
    return HostExceptionModel::kPlatform;
}

HostExceptionModel GetHostExceptionModel() { return g_model; }
void SetHostExceptionModel(HostExceptionModel model) { g_model = model; }

namespace host_boundary {

void Entry::Enter() noexcept {
    // A thread without a state yet has no entry of the library on its stack
    // that could enclose this one; none is made for it here.
    ThreadState* state = PeekThreadState();
    if (!state) return;
    const ULONG_PTR here = reinterpret_cast<ULONG_PTR>(__builtin_frame_address(0));
    // An entry left by a foreign exception (the host's own, thrown through the
    // library from a callback) ran no cleanup: its position is below this one.
    enclosing_ = state->innermostEntry > here ? state->innermostEntry : 0;
    state->innermostEntry = here;
    entered_ = true;
}

void Entry::Leave() noexcept {
    if (!entered_) return;
    entered_ = false;
    if (ThreadState* state = PeekThreadState()) state->innermostEntry = enclosing_;
}

bool Entry::CalledByHost() const {
    if (!enclosing_) return true;
#ifdef _WIN64
    return HostCodeBelow(enclosing_);
#else
    // The stack of x86 cannot be read reliably, and a GCC exception cannot
    // pass the system's frames between two entries in any case.
    return true;
#endif
}

void PendingException::Take(const JxException& error) noexcept { error_ = error; }

void PendingException::Raise() const {
    if (scriptEnd_) RaisePlatform(ScriptEndType(), &g_scriptEnd);
    ThreadState* state = PeekThreadState();
    JxException& raised = state ? state->raisedException : g_fallbackException;
    raised = error_;
    RaisePlatform(ExceptionType(), &raised);
}

void EndOnUnexpected(const char* what) noexcept {
    try {
        ReportError("Unexpected failure: %s", what ? what : "an exception of an unknown type");
    } catch (...) {
        // The process ends in any case.
    }
    exit(kExitUnexpectedFailure);
}

}  // namespace host_boundary
