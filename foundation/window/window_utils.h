// Window utilities the controls share: cursor and point queries that follow
// DPI virtualisation, style changes, direct calls of window procedures, the
// library's utility windows, and messages that carry 8-bit text.
#pragma once
#include <windows.h>
#include "jx/window_utils.h"
#include "text/str.h"

HWND GetRootWindow(HWND hwnd);
// The parent when it is neither the owner nor the desktop window, else null.
HWND GetParentIfChild(HWND hwnd);

// Physical cursor position and window under a physical point where the
// system has the entry points; every cursor query of the controls uses these.
BOOL GetCursorPosEx(POINT* point);
HWND WindowFromPointEx(int x, int y);
// The cursor position in client coordinates of `hwnd`.
BOOL GetCursorClientPos(HWND hwnd, POINT* point);

// Flags of WindowFromCursor
enum CursorWindowFlag : unsigned {
    kCursorWindowRoot = 1,       // the root window of the window under the cursor
    kCursorWindowChildOnly = 2,  // null unless the window under the cursor is a child
};
HWND WindowFromCursor(unsigned flags);

LONG GetStyle(HWND hwnd);
LONG GetExStyle(HWND hwnd);

// Flags of ModifyStyle: the operation in the low two bits, then options.
enum ModifyStyleFlag : unsigned {
    kStyleSet = 0,
    kStyleAdd = 1,
    kStyleRemove = 2,
    kStyleToggle = 3,
    kStyleOperationMask = 3,
    kStyleExtended = 4,      // work on the extended style
    kStyleFrameChanged = 8,  // then recompute the frame (SetWindowPos, nothing else changes)
    kStyleRepaint = 0x10,    // then invalidate the whole window with erase
};
// Returns the previous style.
LONG ModifyStyle(HWND hwnd, DWORD bits, unsigned flags);

BOOL ShowWindowActive(HWND hwnd);
BOOL ShowWindowNoActivate(HWND hwnd);

// GW_HWNDNEXT steps from `from` to `to`; 0 when `to` is null or not found.
int GetZOrderDistance(HWND from, HWND to);
bool IsWindowOfThisThread(HWND hwnd);

// Calls the window procedure directly for a window of the calling thread
// (no hooks, no queue); SendMessageW otherwise.
LRESULT CallWindowProcDirect(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

HRESULT DisableVisualStyles(HWND hwnd);

// A window without title, at 0,0 with size 0, of this library's instance. A
// null class is JX_DEFAULT_WINDOW_CLASS; WS_POPUP is added unless `style`
// has WS_CHILD.
HWND CreateUtilityWindow(DWORD exStyle, const wchar_t* className, DWORD style, HWND parent, void* param);

// Bits of GetModifierKeys
enum ModifierKey : unsigned {
    kModifierShift = 1,
    kModifierCtrl = 2,
    kModifierAlt = 4,
};
unsigned GetModifierKeys();

// Messages with 8-bit text, converted to UTF-16 for the call and sent with
// CallWindowProcDirect.
LRESULT SendTextMessage(HWND hwnd, UINT message, WPARAM wParam, const char* text);
LRESULT SetControlText(HWND hwnd, const char* text);
// Sends a zeroed UTF-16 buffer of `units` units as lParam and converts what
// the window wrote into `out`.
LRESULT SendMessageGetText(HWND hwnd, UINT message, WPARAM wParam, str& out, int units);
// Stores the UTF-16 copy of `text` into `field`, a member of the record that
// lParam points to, for the call; the field gets its old value back after it.
LRESULT SendMessageTextField(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, const wchar_t** field,
                             const char* text);
inline LRESULT SendMessageTextField(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, wchar_t** field,
                                    const char* text) {
    return SendMessageTextField(hwnd, message, wParam, lParam, const_cast<const wchar_t**>(field), text);
}
// InsertMenuItemW with the item's 8-bit text converted when the item has text.
BOOL InsertMenuItemText(HMENU menu, UINT item, BOOL byPosition, const MENUITEMINFOA* info);
// `length` in bytes, -1 for NUL-terminated text.
BOOL GetTextExtentText(HDC dc, const char* text, int length, SIZE* size);

// Flags of GetWindowTextEx
enum WindowTextFlag : unsigned {
    kWindowTextByMessage = 1,   // skip the window manager's copy; ask the window
    kWindowTextStoredOnly = 2,  // never ask a child window whose stored text is empty
};
// The window's text as 8-bit text in `out`; returns its length. Windows of
// other threads are asked with time-outs.
int GetWindowTextEx(str& out, HWND hwnd, unsigned flags);
// What the controls use for the text of an edit or combo box.
inline int GetControlText(str& out, HWND hwnd) { return GetWindowTextEx(out, hwnd, kWindowTextByMessage); }

int PointInRect(const RECT* rect, int x, int y);
int GetScreenWidth();
// The 32-bit value SystemParametersInfo stores for `action`; 0 on failure.
DWORD GetSystemParameter(UINT action);
// max(low, min(value, high)): `low` wins when high < low.
int Clamp(int value, int low, int high);
