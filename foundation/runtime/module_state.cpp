// Library start-up and teardown, the default hooks, and the host's exports.
#include "runtime/module_state.h"
#include "runtime/host_boundary.h"
#include <stdlib.h>
#include <string.h>
#include <new>
#include "text/char_tables.h"
#include "runtime/errors.h"
#include "runtime/host_alloc.h"
#include "regex/regex_tables.h"
#include "runtime/thread_state.h"
#include "runtime/timer_table.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

constinit ModuleState g_module;
constinit OptionalApi g_api = {};

namespace {
constexpr UINT kFatalBindingBox = MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND;
constexpr DWORD kHostPathChars = MAX_PATH;
const wchar_t kPoliciesKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

class DefaultAppHooks final : public AppHooks {};

// Names below this value are ordinals, as GetProcAddress reads them.
constexpr ULONG_PTR kOrdinalLimit = 0x10000;

bool IsOrdinal(const char* name) { return reinterpret_cast<ULONG_PTR>(name) < kOrdinalLimit; }

[[noreturn]] void FailBinding(const char* format, const char* name) {
    if (IsOrdinal(name) && name)
        ShowMessageBox(nullptr, kFatalBindingBox, "Missing function %i.", int(reinterpret_cast<ULONG_PTR>(name)));
    else
        ShowMessageBox(nullptr, kFatalBindingBox, format, name);
    exit(kExitMissingEntryPoint);
}

HMODULE BindIn(unsigned flags, HMODULE module, const char* libraryName, std::initializer_list<ProcBinding> procs) {
    if (!module) {
        if (flags & kBindSilent) return nullptr;
        FailBinding("Missing dll %s.", libraryName);
    }
    for (const ProcBinding& proc : procs) {
        if (!proc.target) continue;
        *proc.target = reinterpret_cast<void*>(GetProcAddress(module, proc.name));
        if (*proc.target || (flags & kBindSkipMissing)) continue;
        if (flags & kBindSilent) return nullptr;
        FailBinding("Missing function %s.", proc.name);
    }
    return module;
}

DWORD ReadWindowsVersion() {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    RtlGetVersionFn rtlGetVersion = nullptr;
    BindProcs(kBindSilent, "ntdll", {{"RtlGetVersion", &rtlGetVersion}});
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!rtlGetVersion || rtlGetVersion(&info) != 0) {
        info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (!GetVersionExW(&info)) return 0;
#pragma GCC diagnostic pop
    }
    return (info.dwMajorVersion << 8) | (info.dwMinorVersion & 0xFF);
}

void BindOptionalApi(DWORD windowsVersion) {
    HMODULE kernel = BindProcs(kBindSkipMissing, "kernel32",
                               {{"GetNativeSystemInfo", &g_api.GetNativeSystemInfo},
                                {"IsWow64Process", &g_api.IsWow64Process},
                                {"GetSystemTimes", &g_api.GetSystemTimes}});
    if (windowsVersion >= kWindowsVista && kernel) {
        BindProcs(kBindSkipMissing, kernel,
                  {{"QueryFullProcessImageNameW", &g_api.QueryFullProcessImageNameW},
                   {"Wow64DisableWow64FsRedirection", &g_api.Wow64DisableWow64FsRedirection},
                   {"Wow64RevertWow64FsRedirection", &g_api.Wow64RevertWow64FsRedirection},
                   {"SetThreadStackGuarantee", &g_api.SetThreadStackGuarantee}});
    }
    const bool perMonitor = windowsVersion >= kWindows81;
    BindProcs(kBindSkipMissing, "user32",
              {{"ChangeWindowMessageFilter", &g_api.ChangeWindowMessageFilter},
               {"GetPhysicalCursorPos", &g_api.GetPhysicalCursorPos},
               {"WindowFromPhysicalPoint", &g_api.WindowFromPhysicalPoint},
               {perMonitor ? "LogicalToPhysicalPointForPerMonitorDPI" : "LogicalToPhysicalPoint",
                &g_api.LogicalToPhysicalPoint},
               {perMonitor ? "PhysicalToLogicalPointForPerMonitorDPI" : "PhysicalToLogicalPoint",
                &g_api.PhysicalToLogicalPoint},
               {"IsProcessDPIAware", &g_api.IsProcessDPIAware},
               {"SetProcessDPIAware", &g_api.SetProcessDPIAware}});
    BindProcs(0, "msvcrt",
              {{"setlocale", &g_api.setlocale},
               {"_strerror", &g_api._strerror},
               {"strerror", &g_api.strerror},
               {"_vsnprintf", &g_api._vsnprintf},
               {"wcsftime", &g_api.wcsftime}});
}

bool ReadEnableLua() {
    DWORD value = 0;
    DWORD size = sizeof value;
    return RegGetValueW(HKEY_LOCAL_MACHINE, kPoliciesKey, L"EnableLUA", RRF_RT_REG_DWORD, nullptr, &value, &size) ==
               ERROR_SUCCESS &&
           value != 0;
}

}  // namespace

const wchar_t* CommandLineArguments(const wchar_t* line) {
    if (!line) return L"";
    const wchar_t* rest = nullptr;
    if (line[0] == L'"') {
        if (const wchar_t* close = wcschr(line + 1, L'"')) rest = close + 1;
    } else {
        for (const wchar_t* p = line; *p; ++p) {
            if (_wcsnicmp(p, L".exe", 4) == 0) {
                rest = p + 4;
                break;
            }
        }
    }
    if (!rest) return line;
    while (*rest == L' ' || *rest == L'\t') ++rest;
    return rest;
}

namespace {

void ReadHostPath(ModuleState& module) {
    str wide;
    const DWORD n = GetModuleFileNameW(nullptr, wide.GetWideBuffer(kHostPathChars), kHostPathChars);
    module.hostPath.FromWide(wide.Wide(), int(n));
    if (strchr(module.hostPath.Text(), '~')) {
        str longPath;
        const DWORD m = GetLongPathNameW(wide.Wide(), longPath.GetWideBuffer(kHostPathChars), kHostPathChars);
        if (m > 0 && m < kHostPathChars) module.hostPath.FromWide(longPath.Wide(), int(m));
    }
    module.hostFolder.GetFolder(module.hostPath.Text());
    module.hostFileName.Assign(module.hostPath.Text() + module.hostFolder.len);
    if (module.commandLineArgs.IsEmpty()) module.commandLineArgs.FromWide(CommandLineArguments(GetCommandLineW()));
}

template <class Fn>
Fn LookupHostExport(const char* name) {
    return reinterpret_cast<Fn>(GetProcAddress(GetModuleHandleA(nullptr), name));
}

HICON LoadLibraryIcon(WORD id) {
    return static_cast<HICON>(LoadImageA(g_module.moduleInstance, MAKEINTRESOURCEA(id), IMAGE_ICON, 0, 0, LR_SHARED));
}

// Runs start-up when the library's static objects are built, before any other
// static object of the library, and teardown when they are destroyed.
// A start-up that runs out of memory has no caller to report to: the library
// then refuses to load instead of ending the process.
struct ModuleLifetime {
    ModuleLifetime() {
        try {
            g_module.Startup();
        } catch (...) {
            g_module.startupFailed = true;
        }
    }
    ~ModuleLifetime() { g_module.Teardown(); }
};
__attribute__((init_priority(101))) ModuleLifetime g_lifetime;
}  // namespace

void ModuleState::Startup() {
    moduleInstance = resourceInstance = reinterpret_cast<HINSTANCE>(&__ImageBase);
    isLibrary = moduleInstance != GetModuleHandleA(nullptr);
    SetHostExceptionModel(DetectHostExceptionModel(GetModuleHandleA(nullptr)));
    windowsVersion = ReadWindowsVersion();
    codePage = JX_DEFAULT_CODE_PAGE;
    ResetHostTableToFallback();
    Hooks().Init();
    hasSse = IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) ? 1 : 0;
    BuildCharTables(codePage);
    BuildRegexCharTables();
    BindOptionalApi(windowsVersion);

    const DWORD elevationCode = GetProcessElevation(0, kTargetIsProcessId | kWithRawElevationType);
    elevation = BYTE(elevationCode);
    elevationType = BYTE(elevationCode >> 16);
    isElevated = (elevation == kElevationFull || elevation == kElevationUiAccess) ? 1 : 0;
    if (elevation == kElevationNone)
        uacEnabled = ReadEnableLua() ? 1 : 0;
    else
        uacEnabled = elevation >= kElevationFull ? 1 : 0;

    BOOL wow64 = FALSE;
    isWow64 = (g_api.IsWow64Process && g_api.IsWow64Process(GetCurrentProcess(), &wow64) && wow64) ? 1 : 0;
    if (isWow64 && g_api.GetNativeSystemInfo)
        g_api.GetNativeSystemInfo(&systemInfo);
    else
        GetSystemInfo(&systemInfo);

    timerTable = new (std::nothrow) TimerTable;
    atomWinObj = GlobalAddAtomA(JX_ATOM_WIN_OBJ);
    atomWinFlags = GlobalAddAtomA(JX_ATOM_WIN_FLAGS);
    ReadHostPath(*this);
    AllocThreadSlot();
    GetThreadState();
    Hooks().AfterInit();
}

void ModuleState::Teardown() {
    Hooks().BeforeExit();
    DetachAllThreadStates(processEnding);
    FreeThreadSlot();
    if (atomWinObj) GlobalDeleteAtom(atomWinObj);
    if (atomWinFlags) GlobalDeleteAtom(atomWinFlags);
    atomWinObj = atomWinFlags = 0;
    delete timerTable;
    timerTable = nullptr;
    commandLineArgs.Clear();
    hostFileName.Clear();
    hostPath.Clear();
    hostFolder.Clear();
}

UINT CurrentCodePage() { return g_module.codePage; }

BOOL AppHooks::OnDllMain(DWORD) { return TRUE; }

ThreadState* AppHooks::CreateThreadState() { return new (std::nothrow) ThreadState; }

bool AppHooks::Init() {
    JxInterfaceForDllFn interfaceForDll = nullptr;
    BindProcs(kBindSilent, GetModuleHandleA(nullptr),
              {{JX_HOST_EXPORT_INTERFACE, &interfaceForDll}});
    if (!interfaceForDll) return false;
    const HostAllocTable* table = interfaceForDll();
    // A table with a function missing would fail at its first use: the
    // library keeps its own heap, as without a table.
    if (!table || !table->alloc || !table->realloc || !table->calloc || !table->free || !table->msize) return false;
    g_hostTable = *table;
    g_module.codePage = g_hostTable.codePage;
    return true;
}

void AppHooks::AfterInit() {}
void AppHooks::BeforeExit() {}
HWND AppHooks::GetHostWindow() { return ::GetHostWindow(); }
void* AppHooks::Reserved6() { return nullptr; }
void* AppHooks::Reserved7() { return nullptr; }
bool AppHooks::Reserved8(void*) { return false; }
int AppHooks::ResolveSpecialFileName(const char*) { return 0; }
int AppHooks::Reserved10(void*, void*, void*, void*) { return 0; }
bool AppHooks::LoadSpecialFile(const char*, str&, unsigned) { return false; }
void AppHooks::FlushErrorQueue(unsigned) { SendErrorQueue(); }
bool AppHooks::Reserved13(void*, void*) { return false; }
int AppHooks::Reserved14(void*, void*, void*) { return -1; }
const char* AppHooks::Reserved15() { return ""; }
void AppHooks::OnSystemException(EXCEPTION_POINTERS*) {}
void AppHooks::Reserved17(void*, void*, void*) {}
void AppHooks::Reserved18(void*, void*, void*) {}
bool AppHooks::Reserved19(void*, void*, void*) { return false; }

HMODULE AppHooks::LoadLibraryByName(const char* name) {
    str wide;
    wide.ToWide(name);
    return LoadLibraryExW(wide.Wide(), nullptr, 0);
}

AppHooks& Hooks() {
    static DefaultAppHooks hooks;
    return hooks;
}

HMODULE BindProcs(unsigned flags, HMODULE module, std::initializer_list<ProcBinding> procs) {
    return BindIn(flags, module, nullptr, procs);
}

HMODULE BindProcs(unsigned flags, const char* libraryName, std::initializer_list<ProcBinding> procs) {
    str wide;
    wide.ToWide(libraryName);
    HMODULE module = GetModuleHandleW(wide.Wide());
    if (!module)
        module = (flags & kBindThroughHooks) ? Hooks().LoadLibraryByName(libraryName)
                                             : LoadLibraryExW(wide.Wide(), nullptr, 0);
    return BindIn(flags, module, libraryName, procs);
}

HWND GetHostWindow() {
    if (!g_hostTable.hostWindow) g_hostTable.hostWindow = FindWindowA(JX_HOST_WINDOW_CLASS, nullptr);
    return g_hostTable.hostWindow;
}

JxSetWindowClassFlagsFn HostSetWindowClassFlags() {
    static const auto fn = LookupHostExport<JxSetWindowClassFlagsFn>(JX_HOST_EXPORT_SET_CLASS_FLAGS);
    return fn;
}

JxImageListLoadFn HostImageListLoad() {
    static const auto fn = LookupHostExport<JxImageListLoadFn>(JX_HOST_EXPORT_IMAGE_LIST_LOAD);
    return fn;
}

JxGetFileIconFn HostGetFileIcon() {
    static const auto fn = LookupHostExport<JxGetFileIconFn>(JX_HOST_EXPORT_GET_FILE_ICON);
    return fn;
}

HICON GetLibraryIcon1() {
    static const HICON icon = LoadLibraryIcon(kLibraryIcon1);
    return icon;
}

HICON GetLibraryIcon2() {
    static const HICON icon = LoadLibraryIcon(kLibraryIcon2);
    return icon;
}
