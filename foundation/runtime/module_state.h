// Process-wide facts fixed at load, the replaceable hooks, the optional system
// entry points, and the host's exports.
#pragma once
#include <windows.h>
#include <initializer_list>
#include "jx/host_interface.h"
#include "text/str.h"

class TimerTable;

struct ModuleState {
    DWORD windowsVersion = 0;  // major * 256 + minor
    BYTE elevation = 0;        // kElevation* code, 0 when not determined
    BYTE isWow64 = 0;
    BYTE uacEnabled = 0;
    BYTE elevationType = 0;    // raw token elevation type
    BYTE isElevated = 0;
    BYTE hasSse = 0;
    BYTE isLibrary = 0;
    HINSTANCE moduleInstance = nullptr;
    HINSTANCE resourceInstance = nullptr;
    SYSTEM_INFO systemInfo = {};
    str hostFolder;
    str hostPath;
    str hostFileName;
    str commandLineArgs;
    TimerTable* timerTable = nullptr;
    DWORD integrityLevel = 0;
    ATOM atomWinObj = 0;
    ATOM atomWinFlags = 0;
    UINT codePage = JX_DEFAULT_CODE_PAGE;
    bool startupFailed = false;  // the library then refuses to load
    bool processEnding = false;  // unloaded by the end of the process, not by FreeLibrary

    void Startup();
    void Teardown();
};

extern ModuleState g_module;

// Windows versions as major * 256 + minor
constexpr DWORD kWindowsVista = 0x600;
constexpr DWORD kWindows7 = 0x601;
constexpr DWORD kWindows81 = 0x603;

// Codes of GetProcessElevation (low byte)
enum ElevationCode : DWORD {
    kElevationUnknown = 0,
    kElevationNone = 1,
    kElevationFull = 2,
    kElevationUiAccess = 3,
    kElevationLimited = 4,
};
// Flags of GetProcessElevation and GetProcessIntegrityLevel
enum ProcessQueryFlag : unsigned {
    kTargetIsProcessId = 1,
    kWithRawElevationType = 0x8000,  // raw token elevation type in bits 16-23
};
DWORD GetProcessElevation(ULONG_PTR target, unsigned flags);
// 0 on failure, else 1 low/untrusted, 2 medium, 3 high, 4 system
DWORD GetProcessIntegrityLevel(ULONG_PTR target, unsigned flags);
// The current process's level, asked once and only when UAC is on.
DWORD ModuleIntegrityLevel();

// Behaviour a program may replace. The slots without a caller in the
// libraries keep their default results.
class AppHooks {
public:
    virtual BOOL OnDllMain(DWORD reason);
    virtual class ThreadState* CreateThreadState();
    virtual bool Init();
    virtual void AfterInit();
    virtual void BeforeExit();
    virtual HWND GetHostWindow();
    virtual void* Reserved6();
    virtual void* Reserved7();
    virtual bool Reserved8(void* argument);
    virtual int ResolveSpecialFileName(const char* name);
    virtual int Reserved10(void* a, void* b, void* c, void* d);
    virtual bool LoadSpecialFile(const char* name, str& out, unsigned flags);
    virtual void FlushErrorQueue(unsigned flags);
    virtual bool Reserved13(void* a, void* b);
    virtual int Reserved14(void* a, void* b, void* c);
    virtual const char* Reserved15();
    virtual void OnSystemException(EXCEPTION_POINTERS* exception);
    virtual void Reserved17(void* a, void* b, void* c);
    virtual void Reserved18(void* a, void* b, void* c);
    virtual bool Reserved19(void* a, void* b, void* c);
    virtual HMODULE LoadLibraryByName(const char* name);

protected:
    ~AppHooks() = default;
};

AppHooks& Hooks();

// System entry points that only some Windows versions have; null when missing.
struct OptionalApi {
    void(WINAPI* GetNativeSystemInfo)(LPSYSTEM_INFO);
    BOOL(WINAPI* IsWow64Process)(HANDLE, PBOOL);
    BOOL(WINAPI* GetSystemTimes)(PFILETIME, PFILETIME, PFILETIME);
    BOOL(WINAPI* QueryFullProcessImageNameW)(HANDLE, DWORD, LPWSTR, PDWORD);
    BOOL(WINAPI* Wow64DisableWow64FsRedirection)(PVOID*);
    BOOL(WINAPI* Wow64RevertWow64FsRedirection)(PVOID);
    BOOL(WINAPI* SetThreadStackGuarantee)(PULONG);
    BOOL(WINAPI* ChangeWindowMessageFilter)(UINT, DWORD);
    BOOL(WINAPI* GetPhysicalCursorPos)(LPPOINT);
    HWND(WINAPI* WindowFromPhysicalPoint)(POINT);
    BOOL(WINAPI* LogicalToPhysicalPoint)(HWND, LPPOINT);
    BOOL(WINAPI* PhysicalToLogicalPoint)(HWND, LPPOINT);
    BOOL(WINAPI* IsProcessDPIAware)();
    BOOL(WINAPI* SetProcessDPIAware)();
    char*(__cdecl* setlocale)(int, const char*);
    char*(__cdecl* _strerror)(const char*);
    char*(__cdecl* strerror)(int);
    int(__cdecl* _vsnprintf)(char*, size_t, const char*, va_list);
    size_t(__cdecl* wcsftime)(wchar_t*, size_t, const wchar_t*, const struct tm*);
};
extern OptionalApi g_api;

// BindProcs flags (whether the module is a handle or a name is told by the
// overload)
enum BindProcsFlag : unsigned {
    kBindSilent = 1,         // any failure returns 0 quietly
    kBindSkipMissing = 4,    // a missing function leaves its pointer null
    kBindThroughHooks = 8,   // load a library through AppHooks::LoadLibraryByName
};
// Exit code of the process after a fatal binding failure.
constexpr int kExitMissingEntryPoint = -4;
// Exit code after a failure of the library's own reached the host's call.
constexpr int kExitUnexpectedFailure = -5;

// One entry point to bind: its name (or an ordinal below 0x10000) and where
// its address goes.
struct ProcBinding {
    const char* name;
    void** target;
    template <class F>
    ProcBinding(const char* n, F** t) : name(n), target(reinterpret_cast<void**>(t)) {}
    ProcBinding(const char* n, std::nullptr_t) : name(n), target(nullptr) {}
};
HMODULE BindProcs(unsigned flags, const char* libraryName, std::initializer_list<ProcBinding> procs);
HMODULE BindProcs(unsigned flags, HMODULE module, std::initializer_list<ProcBinding> procs);

// The arguments part of a command line: after the quoted program path, or
// after the first ".exe" of an unquoted one; the whole line otherwise.
const wchar_t* CommandLineArguments(const wchar_t* line);

// The host's main window: the table's, else the "JX_Editor" window (cached
// once found).
HWND GetHostWindow();

// The host's optional exports, looked up once per process; null when missing.
JxSetWindowClassFlagsFn HostSetWindowClassFlags();
JxImageListLoadFn HostImageListLoad();
JxGetFileIconFn HostGetFileIcon();

// The library's two icons, loaded once and kept.
constexpr WORD kLibraryIcon1 = 101;
constexpr WORD kLibraryIcon2 = 103;
HICON GetLibraryIcon1();
HICON GetLibraryIcon2();

// Global atom names kept registered while the library is loaded.
#define JX_ATOM_WIN_OBJ "jx_win_obj"
#define JX_ATOM_WIN_FLAGS "jx_win_flags"
