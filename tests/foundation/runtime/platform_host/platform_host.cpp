// A host application built with the platform's own C++ compiler and its
// exception model (clang in its MSVC mode, linked by lld-link against the
// platform runtime's vcruntime140.dll, no C runtime start-up), as most hosts
// of the libraries are. It loads jxplus.dll, jxgrid.dll and the test library
// jxprobe.dll, makes them fail and catches what they let out by type.
//
//   platform_host              every case; prints "N passed, N failed"
//   platform_host unexpected   a failure of a library's own: the process ends
//                              after the error block reaches the host window
#include <windows.h>
#include "jx/errors.h"
#include "jx/grid.h"
#include "jx/host_interface.h"
#include "jx/text_functions.h"

namespace {

// ---- Output, without a C runtime

void Print(const char* text) {
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, DWORD(lstrlenA(text)), &written, nullptr);
}

LONG g_passed = 0;
LONG g_failed = 0;

void Check(bool ok, const char* what) {
    char line[256];
    wsprintfA(line, "%s: %s\r\n", ok ? "ok" : "FAILED", what);
    Print(line);
    InterlockedIncrement(ok ? &g_passed : &g_failed);
}

bool SameText(const char* a, const char* b) { return a && b && lstrcmpA(a, b) == 0; }

// ---- The host allocator: counts live blocks and fails on demand, for one
// thread at a time (a library gives up only after its retries, so the cases
// of the two libraries run side by side)

LONG g_liveBlocks = 0;
DWORD g_failingSlot = TLS_OUT_OF_INDEXES;

bool Failing() { return TlsGetValue(g_failingSlot) != nullptr; }
void SetFailing(bool failing) { TlsSetValue(g_failingSlot, failing ? &g_failingSlot : nullptr); }

void* __cdecl Alloc(size_t size) {
    if (Failing()) return nullptr;
    void* block = HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
    if (block) InterlockedIncrement(&g_liveBlocks);
    return block;
}
void* __cdecl Realloc(void* block, size_t size) {
    return Failing() ? nullptr : HeapReAlloc(GetProcessHeap(), 0, block, size ? size : 1);
}
void* __cdecl Calloc(size_t count, size_t size) {
    if (Failing()) return nullptr;
    void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * size ? count * size : 1);
    if (block) InterlockedIncrement(&g_liveBlocks);
    return block;
}
void __cdecl Free(void* block) {
    HeapFree(GetProcessHeap(), 0, block);
    InterlockedDecrement(&g_liveBlocks);
}
size_t __cdecl MSize(void* block) { return HeapSize(GetProcessHeap(), 0, block); }

HostAllocTable g_table = {Alloc, Realloc, Calloc, Free, MSize, JX_DEFAULT_CODE_PAGE, nullptr};

// ---- The host window: receives the error blocks

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if ((data->dwData & 0xFFFF) == JX_COPYDATA_ERROR_BLOCK) {
            const auto* header = static_cast<const JxErrorBlockHeader*>(data->lpData);
            const auto* offsets = reinterpret_cast<const uint32_t*>(header + 1);
            const char* texts = reinterpret_cast<const char*>(offsets + header->count);
            for (uint32_t i = 0; i < header->count; ++i) {
                Print("error block: ");
                Print(texts + offsets[i]);
                Print("\r\n");
            }
            return TRUE;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateHostWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PlatformHostWindow";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, windowClass.lpszClassName, L"platform host", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                           nullptr, windowClass.hInstance, nullptr);
}

template <typename Function>
Function Export(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// The block of a host string with `text`, from the host allocator.
JxString HostString(const char* text) {
    const int length = lstrlenA(text);
    JxString s = {};
    s.cap = (length + 3 + 7) / 8 * 8 - 3;
    s.buf = static_cast<char*>(Alloc(size_t(s.cap) + 3));
    lstrcpyA(s.buf, text);
    s.buf[length + 1] = 0;
    s.len = length;
    return s;
}

bool IsOutOfMemory(const JxException& e) {
    return e.kind == JX_EXCEPTION_LIBRARY && e.code == JX_ERROR_OUT_OF_MEMORY &&
           SameText(e.message, "failed to allocate memory");
}

// ---- The cases

using WrapFn = int(__cdecl*)(JxString*, int, const char*, const char*, int, unsigned);
using ShowListSimpleFn = int(__cdecl*)(const char*, int*, void*, unsigned, HWND, RECT*);

constexpr char kLongText[] = "one two three four five six seven eight nine ten eleven twelve";

DWORD WINAPI OutOfMemoryFromTheTextFunctions(void* jxplus) {
    auto wrap = Export<WrapFn>(static_cast<HMODULE>(jxplus), "jxplus_str_wrap");
    JxString s = HostString(kLongText);
    wrap(&s, 200, "\r\n", nullptr, 0, 0);  // this thread's first call: the library's state for it
    bool caught = false;
    SetFailing(true);
    try {
        wrap(&s, 8, "\r\n", nullptr, 0, 0);
    } catch (const JxException& e) {
        caught = IsOutOfMemory(e);
    } catch (...) {
    }
    SetFailing(false);
    Check(caught, "jxplus_str_wrap out of memory: caught as JxException with its fields");
    Check(wrap(&s, 8, "\r\n", nullptr, 0, 0) > lstrlenA(kLongText), "jxplus_str_wrap works again");
    Free(s.buf);
    return 0;
}

void OutOfMemoryFromTheControls(HMODULE jxgrid, HWND parent) {
    auto showList = Export<ShowListSimpleFn>(jxgrid, "ShowDropdownListSimple");
    bool caught = false;
    SetFailing(true);
    try {
        showList("a\r\nb\r\nc\r\n", nullptr, nullptr, 0, parent, nullptr);
    } catch (const JxException& e) {
        caught = IsOutOfMemory(e);
    } catch (...) {
    }
    SetFailing(false);
    Check(caught, "ShowDropdownListSimple out of memory: caught as JxException with its fields");

    HWND grid = CreateWindowExW(0, L"" JX_GRID_CLASS, L"\r\nName,100\r\nValue,100\r\n", WS_CHILD | WS_VISIBLE, 0, 0,
                                300, 200, parent, nullptr, nullptr, nullptr);
    Check(grid != nullptr, "a grid is created");
    caught = false;
    SetFailing(true);
    try {
        SendMessageW(grid, JX_GRID_CSV, JX_GRID_CSV_SET, LPARAM("a,1\r\nb,2\r\n"));
    } catch (const JxException& e) {
        caught = IsOutOfMemory(e);
    } catch (...) {
    }
    SetFailing(false);
    Check(caught, "a grid message out of memory: caught as JxException through SendMessage");
    caught = false;
    PostMessageW(grid, JX_GRID_CSV, JX_GRID_CSV_SET, LPARAM("a,1\r\nb,2\r\n"));
    MSG message;
    if (PeekMessageW(&message, grid, JX_GRID_CSV, JX_GRID_CSV, PM_REMOVE)) {
        SetFailing(true);
        try {
            DispatchMessageW(&message);
        } catch (const JxException& e) {
            caught = IsOutOfMemory(e);
        } catch (...) {
        }
        SetFailing(false);
    }
    Check(caught, "a posted grid message out of memory: caught as JxException through DispatchMessage");
    Check(SendMessageW(grid, JX_GRID_CSV, JX_GRID_CSV_SET, LPARAM("a,1\r\nb,2\r\nc,3\r\n")) != FALSE &&
              SendMessageW(grid, JX_GRID_QUERY, JX_GRID_QUERY_ROWS, 0) == 3,
          "the grid works again");
    DestroyWindow(grid);
}

using RequestAbortFn = void(__cdecl*)(int);
using AbortableWaitFn = int(__cdecl*)(DWORD);
using RaiseFn = void(__cdecl*)(int, const char*);
using ModelFn = int(__cdecl*)();

void ScriptEndFromAnAbortableWait(HMODULE probe) {
    auto requestAbort = Export<RequestAbortFn>(probe, "probe_request_abort");
    auto wait = Export<AbortableWaitFn>(probe, "probe_abortable_wait");
    auto raise = Export<RaiseFn>(probe, "probe_raise");
    Check(Export<ModelFn>(probe, "probe_host_exception_model")() == 0, "the library took this host for the platform's model");
    bool caught = false;
    requestAbort(1);
    try {
        wait(50);
    } catch (const JxExceptionScriptEnd&) {
        caught = true;
    } catch (...) {
    }
    requestAbort(0);
    Check(caught, "an abort request during an abortable wait: caught as JxExceptionScriptEnd");
    Check(wait(0) == 1, "the next wait returns as usual");

    caught = false;
    try {
        raise(7, "raised by the probe");
    } catch (const JxException& e) {
        caught = e.kind == JX_EXCEPTION_LIBRARY && e.code == 7 && SameText(e.message, "raised by the probe");
    }
    Check(caught, "a library error with a heap message: caught with its code and a copy of the text");
}

// A library call inside a callback of the library: the host catches its
// exception at the inner call, or around the outer one.
struct NestedCall {
    RaiseFn raise;
    bool catchInside;
    bool caughtInside;
};

void __cdecl RaiseInsideTheCallback(void* context) {
    auto* call = static_cast<NestedCall*>(context);
    if (!call->catchInside) {
        call->raise(11, "nested");
        return;
    }
    try {
        call->raise(11, "nested");
    } catch (const JxException& e) {
        call->caughtInside = e.code == 11;
    }
}

void NestedCalls(HMODULE probe) {
    using HoldAndCallFn = void(__cdecl*)(void(__cdecl*)(void*), void*);
    auto holdAndCall = Export<HoldAndCallFn>(probe, "probe_hold_and_call");
    NestedCall call = {Export<RaiseFn>(probe, "probe_raise"), true, false};
    bool caughtOutside = false;
    try {
        holdAndCall(RaiseInsideTheCallback, &call);
    } catch (...) {
        caughtOutside = true;
    }
    Check(call.caughtInside && !caughtOutside, "a nested library call: caught by type inside the host's callback");

    // Let pass, it reaches the host's catch around the outer call; the outer
    // call's own frames do not release what they hold (the platform's
    // unwinder does not run their cleanups).
    call.catchInside = false;
    try {
        holdAndCall(RaiseInsideTheCallback, &call);
    } catch (const JxException& e) {
        caughtOutside = e.code == 11;
    }
    Check(caughtOutside, "a nested library call: caught by type around the outer call");
}

void UnexpectedFailure(HMODULE probe) {
    using FailFn = void(__cdecl*)();
    auto fail = Export<FailFn>(probe, "probe_fail_unexpectedly");
    try {
        fail();
    } catch (...) {
        Print("caught the unexpected failure\r\n");
    }
    Print("continued after the unexpected failure\r\n");
}

bool IsArgument(const wchar_t* commandLine, const wchar_t* word) {
    const int length = lstrlenW(commandLine), wordLength = lstrlenW(word);
    return length >= wordLength && lstrcmpW(commandLine + length - wordLength, word) == 0;
}

}  // namespace

extern "C" __declspec(dllexport) const HostAllocTable* __cdecl InterfaceForDll() { return &g_table; }

// The catch clauses' type descriptors refer to type_info's vtable, a data
// export of the runtime that an import library does not give; the runtime
// matches catch clauses by the descriptors' names.
extern "C" const void* const type_info_vtable_standin[4] = {};

extern "C" void __cdecl HostMain() {
    g_failingSlot = TlsAlloc();
    HWND window = CreateHostWindow();
    g_table.hostWindow = window;
    HMODULE probe = LoadLibraryW(L"jxprobe.dll");
    HMODULE jxplus = LoadLibraryW(L"jxplus.dll");
    HMODULE jxgrid = LoadLibraryW(L"jxgrid.dll");
    if (!window || !probe || !jxplus || !jxgrid) {
        Print("cannot create the host window or load the libraries\r\n");
        ExitProcess(2);
    }
    if (IsArgument(GetCommandLineW(), L"unexpected")) {
        UnexpectedFailure(probe);
        ExitProcess(0);
    }
    ScriptEndFromAnAbortableWait(probe);
    NestedCalls(probe);
    const LONG blocksBefore = g_liveBlocks;
    HANDLE textCase = CreateThread(nullptr, 0, OutOfMemoryFromTheTextFunctions, jxplus, 0, nullptr);
    OutOfMemoryFromTheControls(jxgrid, window);
    WaitForSingleObject(textCase, INFINITE);
    CloseHandle(textCase);
    Check(g_liveBlocks == blocksBefore, "every block the libraries took is back, the other thread's state too");
    DestroyWindow(window);
    char line[64];
    wsprintfA(line, "%d passed, %d failed\r\n", g_passed, g_failed);
    Print(line);
    ExitProcess(g_failed ? 1 : 0);
}
