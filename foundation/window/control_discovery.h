// Finding the controls inside a window by class, id, parent, visibility and
// programmatic name ("WM_GETCONTROLNAME", see jx/controls.h).
#pragma once
#include <windows.h>
#include <vector>
#include "runtime/host_alloc.h"
#include "jx/controls.h"
#include "runtime/scoped_handle.h"
#include "text/str.h"

// The number of the registered message "WM_GETCONTROLNAME".
UINT GetControlNameMessage();

// A buffer for control names in the process that owns a window. Only that
// process's controls are asked: to a window of another process (one
// reparented or embedded below) the address means nothing.
class RemoteBuffer {
public:
    static constexpr int kUnits = JX_CONTROL_NAME_UNITS;

    RemoteBuffer() = default;
    ~RemoteBuffer();
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    // Opens the process of `window` and allocates the buffer there.
    bool Open(HWND window);
    LPARAM Address() const { return reinterpret_cast<LPARAM>(address_); }
    // Whether `window` belongs to the buffer's process.
    bool Serves(HWND window) const;
    // Copies the first `units` UTF-16 units (at most kUnits) into `local`.
    bool Read(wchar_t* local, int units) const;

private:
    ScopedHandle process_;
    DWORD processId_ = 0;
    void* address_ = nullptr;
};

// Asks `control` for its name; true when it answered with a non-empty one,
// which is then in `out` (8-bit text).
bool GetControlName(const RemoteBuffer& buffer, HWND control, str& out);

// Flags of EnumChildControls and FindChildControls
enum ControlSearchFlag : unsigned {
    kFindVisibleFirst = 0x1,         // hidden matches are offered after all visible ones (and not counted)
    kFindVisibleOnly = 0x2,          // hidden windows are skipped
    kFindParentFirst = 0x4,          // test the parent itself before its descendants
    kFindById = 0x8,                 // the control id must equal `id`
    kFindDirectChildren = 0x10,      // only windows whose parent is `parent`
    kFindSelfOnly = 0x20,            // test `parent` alone
    kFindWildcard = 0x10000,         // the class name has "*" or "?" (set automatically)
    kFindRegex = 0x20000,            // the class name is a regular expression (case-insensitive)
    kFindClassList = 0x1000000,      // the class name is a list of NUL-terminated names ended by ""
};

// Non-zero to go on, 0 to stop the search.
using ControlCallback = int (*)(HWND window, void* userData);

// Offers every descendant of `parent` that matches to `callback`. A null
// `className` is any class; a null `name` means no name test (a name is
// compared as a wildcard pattern, ignoring case). Returns the number of
// candidates that passed the id, parent, class and visibility tests; with
// kFindSelfOnly 1 when `parent` matched, else 0. A search with a name whose
// buffer cannot be set up, or with an invalid pattern, returns 0.
int EnumChildControls(HWND parent, ControlCallback callback, void* userData, unsigned flags, const char* className,
                      int id, const char* name);

using WindowList = std::vector<HWND, HostAllocator<HWND>>;
// Every match into `list` (emptied first); returns EnumChildControls' count.
int FindChildControls(HWND parent, WindowList& list, unsigned flags, const char* className, int id);
