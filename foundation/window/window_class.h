// Window classes and superclasses of system controls registered by the
// library, child-control creation and a few window queries.
//
// Every class the library registers is owned by a static object whose
// destruction at library unload unregisters it.
#pragma once
#include <windows.h>
#include "text/str.h"

// A superclass of a system control class. The control's own window extra
// bytes start at `baseExtra`; messages it does not handle go to `baseProc`.
struct SuperclassInfo {
    ATOM atom = 0;
    WNDPROC baseProc = nullptr;
    int baseExtra = 0;

    SuperclassInfo() = default;
    ~SuperclassInfo() { Unregister(); }
    SuperclassInfo(const SuperclassInfo&) = delete;
    SuperclassInfo& operator=(const SuperclassInfo&) = delete;

    // Registers `newClass` from the system class `baseClass` with `wndProc`
    // and `extraBytes` more window extra bytes; only CS_GLOBALCLASS is taken
    // from `style`. Does nothing when already registered; leaves `atom` 0
    // when the base class is unknown.
    void Register(const char* baseClass, const char* newClass, WNDPROC wndProc, int extraBytes, UINT style);
    void Unregister();
    // The base class's procedure for a message the control does not handle.
    LRESULT CallBase(HWND window, UINT message, WPARAM wParam, LPARAM lParam) const {
        return CallWindowProcW(baseProc, window, message, wParam, lParam);
    }
};

// Flags of RegisterWindowClass
enum WindowClassFlag : unsigned {
    kClassNoDefaultCursor = 1,      // leave a missing cursor missing instead of IDC_ARROW
    kClassNoDefaultBackground = 2,  // leave a missing brush missing instead of COLOR_BTNFACE
};

// Registers a class of this library's instance from `classTemplate` (or
// zeros) with the given name, procedure, window extra bytes and class style.
// Returns the atom, 0 on failure. Callers keep the class in a
// RegisteredWindowClass so that it is unregistered.
ATOM RegisterWindowClass(const char* className, WNDPROC wndProc, int extraBytes, const WNDCLASSEXW* classTemplate,
                         unsigned flags, UINT style);

// Owns a class registered with RegisterWindowClass.
class RegisteredWindowClass {
public:
    RegisteredWindowClass() = default;
    ~RegisteredWindowClass() { Unregister(); }
    RegisteredWindowClass(const RegisteredWindowClass&) = delete;
    RegisteredWindowClass& operator=(const RegisteredWindowClass&) = delete;

    // Registers once; later calls return the atom of the first success.
    ATOM Register(const char* className, WNDPROC wndProc, int extraBytes, const WNDCLASSEXW* classTemplate,
                  unsigned flags, UINT style);
    void Unregister();
    ATOM Atom() const { return atom_; }

private:
    ATOM atom_ = 0;
};

// Flags of CreateChildControl
enum ChildControlFlag : unsigned {
    kChildDefaultFont = 1,  // give the control the default dialog font
};

// A child window of `parent` with `id`, created with this library's instance;
// WS_CHILD is added to `style`. Null on failure.
HWND CreateChildControl(DWORD exStyle, const char* className, DWORD style, int x, int y, int width, int height,
                        HWND parent, int id, unsigned flags, const char* text);

// Replaces the window procedure through the function matching the window's
// character set; returns the previous procedure.
WNDPROC SetWindowProc(HWND window, WNDPROC proc);

// The window's class name in the library code page into `out`; its length,
// 0 (and `out` empty) on failure.
int GetClassNameText(HWND window, str& out);

// The window's restored rectangle into `rect` and its show command; 0 on
// failure.
UINT GetNormalPlacement(HWND window, RECT* rect);

// SendMessageTimeoutW with SMTO_ABORTIFHUNG (and SMTO_BLOCK when `block`);
// `result` may be null. Non-zero when the message was answered in time.
LRESULT SendMessageTimeoutEx(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs,
                             DWORD_PTR* result, bool block);
