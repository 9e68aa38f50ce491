// Elevation and integrity level of a process, from its access token.
#include "runtime/module_state.h"
#include "runtime/scoped_handle.h"

namespace {
// Rights enough to read another process's token.
constexpr DWORD kQueryLimited = PROCESS_QUERY_LIMITED_INFORMATION;

// The process named by `target`: a process id with kTargetIsProcessId (0 for
// this process), otherwise a window whose process is meant. Only a foreign
// process is opened, and then owned.
struct TargetProcess {
    HANDLE process = nullptr;
    ScopedHandle owned;
};

TargetProcess OpenTargetProcess(ULONG_PTR target, unsigned flags) {
    TargetProcess result;
    DWORD processId = 0;
    if (flags & kTargetIsProcessId) {
        processId = DWORD(target);
    } else {
        if (!target) return result;
        GetWindowThreadProcessId(reinterpret_cast<HWND>(target), &processId);
        if (!processId) return result;
    }
    if (processId == 0 || processId == GetCurrentProcessId()) {
        result.process = GetCurrentProcess();
    } else {
        result.owned.Reset(OpenProcess(kQueryLimited, FALSE, processId));
        result.process = result.owned.Get();
    }
    return result;
}

ScopedHandle OpenToken(ULONG_PTR target, unsigned flags, DWORD access) {
    TargetProcess targetProcess = OpenTargetProcess(target, flags);
    ScopedHandle token;
    if (targetProcess.process) OpenProcessToken(targetProcess.process, access, token.Receive());
    return token;
}

// Sub-authority ceilings of the integrity levels 1 to 3; above is 4.
constexpr DWORD kLowCeiling = 0x1FFF;
constexpr DWORD kMediumCeiling = 0x2FFF;
constexpr DWORD kHighCeiling = 0x3FFF;
}  // namespace

DWORD GetProcessElevation(ULONG_PTR target, unsigned flags) {
    if (g_module.windowsVersion < kWindowsVista) return kElevationUnknown;
    ScopedHandle token = OpenToken(target, flags, TOKEN_QUERY);
    if (!token) return kElevationUnknown;
    TOKEN_ELEVATION_TYPE type;
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenElevationType, &type, sizeof type, &size)) return kElevationUnknown;
    DWORD code = DWORD(type);
    if (type == TokenElevationTypeDefault || type == TokenElevationTypeLimited) {
        DWORD uiAccess = 0;
        if (GetTokenInformation(token.Get(), TokenUIAccess, &uiAccess, sizeof uiAccess, &size) && uiAccess)
            code = kElevationUiAccess;
        else if (type == TokenElevationTypeLimited)
            code = kElevationLimited;
    }
    if (flags & kWithRawElevationType) code |= DWORD(type) << 16;
    return code;
}

DWORD GetProcessIntegrityLevel(ULONG_PTR target, unsigned flags) {
    if (g_module.windowsVersion < kWindowsVista) return 0;
    ScopedHandle token = OpenToken(target, flags, TOKEN_QUERY | TOKEN_QUERY_SOURCE);
    if (!token) return 0;
    DWORD size = 0;
    if (GetTokenInformation(token.Get(), TokenIntegrityLevel, nullptr, 0, &size) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return 0;
    UniqueLocal buffer(LocalAlloc(LMEM_FIXED, size));
    if (!buffer || !GetTokenInformation(token.Get(), TokenIntegrityLevel, buffer.get(), size, &size)) return 0;
    PSID sid = static_cast<TOKEN_MANDATORY_LABEL*>(buffer.get())->Label.Sid;
    const UCHAR count = *GetSidSubAuthorityCount(sid);
    if (count == 0) return 0;
    const DWORD level = *GetSidSubAuthority(sid, count - 1u);
    if (level <= kLowCeiling) return 1;
    if (level <= kMediumCeiling) return 2;
    if (level <= kHighCeiling) return 3;
    return 4;
}

DWORD ModuleIntegrityLevel() {
    if (!g_module.uacEnabled) return 0;
    if (!g_module.integrityLevel) g_module.integrityLevel = GetProcessIntegrityLevel(0, kTargetIsProcessId);
    return g_module.integrityLevel;
}
