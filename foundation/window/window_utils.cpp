// Window utilities: cursor and point queries, styles, direct procedure calls,
// utility windows, text messages and window text.
#include "window/window_utils.h"
#include <limits.h>
#include <string.h>
#include <uxtheme.h>
#include "runtime/module_state.h"
#include "text/wide_text.h"

namespace {
constexpr UINT kFrameChangedOnly =
    SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED | SWP_NOOWNERZORDER;
constexpr UINT kMenuTypesWithoutText = MFT_BITMAP | MFT_OWNERDRAW | MFT_SEPARATOR;
constexpr int kFirstTextUnits = 512;
// Keeps a unit count's byte size (and the string's terminators) inside an int,
// whatever length another process reports.
constexpr int kMaxTextUnits = INT_MAX / 4;
constexpr UINT kOtherThreadTextTimeoutMs = 1000;
// Room for the largest record a SystemParametersInfo query writes without a size.
constexpr int kSystemParameterScratchBytes = 1024;

// Registers JX_DEFAULT_WINDOW_CLASS on first use and unregisters it when the
// library's static objects are destroyed, so that unloading leaves no class.
class DefaultClassRegistration {
public:
    DefaultClassRegistration() {
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = g_module.moduleInstance;
        windowClass.lpszClassName = JX_DEFAULT_WINDOW_CLASS;
        atom_ = RegisterClassExW(&windowClass);
    }
    ~DefaultClassRegistration() {
        if (atom_) UnregisterClassW(JX_DEFAULT_WINDOW_CLASS, g_module.moduleInstance);
    }
    DefaultClassRegistration(const DefaultClassRegistration&) = delete;
    DefaultClassRegistration& operator=(const DefaultClassRegistration&) = delete;

private:
    ATOM atom_ = 0;
};

void EnsureDefaultClass() { static DefaultClassRegistration registration; }

// Asks a window of another thread; a message that times out counts as 0.
LRESULT SendWithTimeout(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, kOtherThreadTextTimeoutMs, &result))
        return 0;
    return LRESULT(result);
}

// The window manager's copy of the text, in a buffer that doubles while the
// text fills it.
int StoredWindowText(str& wide, HWND hwnd) {
    for (int units = kFirstTextUnits;; units *= 2) {
        const int length = InternalGetWindowText(hwnd, wide.GetWideBuffer(units), units);
        if (length < units - 1 || units > kMaxTextUnits / 2) return length;
    }
}

// A buffer for a reported length and its terminator; a negative length
// counts as 0.
int UnitsForLength(int length) {
    if (length < 0) return 1;
    return (length < kMaxTextUnits ? length : kMaxTextUnits) + 1;
}

// The text the window reports through its messages.
int AskedWindowText(str& wide, HWND hwnd) {
    int units;
    int length;
    if (IsWindowOfThisThread(hwnd)) {
        units = UnitsForLength(GetWindowTextLengthW(hwnd));
        length = GetWindowTextW(hwnd, wide.GetWideBuffer(units), units);
    } else {
        units = UnitsForLength(int(SendWithTimeout(hwnd, WM_GETTEXTLENGTH, 0, 0)));
        const LPARAM buffer = reinterpret_cast<LPARAM>(wide.GetWideBuffer(units));
        length = int(SendWithTimeout(hwnd, WM_GETTEXT, WPARAM(units), buffer));
    }
    if (length < 0) return 0;
    if (length >= units) {
        // A length beyond the buffer is not believed: up to the first NUL.
        wchar_t* text = reinterpret_cast<wchar_t*>(wide.buf);
        text[units - 1] = 0;
        return int(wcslen(text));
    }
    return length;
}
}  // namespace

HWND GetRootWindow(HWND hwnd) { return GetAncestor(hwnd, GA_ROOT); }

HWND GetParentIfChild(HWND hwnd) {
    HWND parent = GetParent(hwnd);
    if (!parent || parent == GetWindow(hwnd, GW_OWNER) || parent == GetDesktopWindow()) return nullptr;
    return parent;
}

BOOL GetCursorPosEx(POINT* point) {
    return g_api.GetPhysicalCursorPos ? g_api.GetPhysicalCursorPos(point) : GetCursorPos(point);
}

HWND WindowFromPointEx(int x, int y) {
    const POINT point = {x, y};
    return g_api.WindowFromPhysicalPoint ? g_api.WindowFromPhysicalPoint(point) : WindowFromPoint(point);
}

BOOL GetCursorClientPos(HWND hwnd, POINT* point) { return GetCursorPosEx(point) && ScreenToClient(hwnd, point); }

HWND WindowFromCursor(unsigned flags) {
    POINT point;
    if (!GetCursorPosEx(&point)) return nullptr;
    HWND window = WindowFromPointEx(point.x, point.y);
    if ((flags & kCursorWindowChildOnly) && !GetParentIfChild(window)) return nullptr;
    if (flags & kCursorWindowRoot) window = GetRootWindow(window);
    return window;
}

LONG GetStyle(HWND hwnd) { return GetWindowLongW(hwnd, GWL_STYLE); }
LONG GetExStyle(HWND hwnd) { return GetWindowLongW(hwnd, GWL_EXSTYLE); }

LONG ModifyStyle(HWND hwnd, DWORD bits, unsigned flags) {
    const int index = (flags & kStyleExtended) ? GWL_EXSTYLE : GWL_STYLE;
    const DWORD old = DWORD(GetWindowLongW(hwnd, index));
    DWORD style = bits;
    switch (flags & kStyleOperationMask) {
    case kStyleAdd: style = old | bits; break;
    case kStyleRemove: style = old & ~bits; break;
    case kStyleToggle: style = old ^ bits; break;
    default: break;
    }
    const LONG previous = SetWindowLongW(hwnd, index, LONG(style));
    if (flags & kStyleFrameChanged) SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, kFrameChangedOnly);
    if (flags & kStyleRepaint) InvalidateRect(hwnd, nullptr, TRUE);
    return previous;
}

BOOL ShowWindowActive(HWND hwnd) { return ShowWindow(hwnd, SW_SHOW); }
BOOL ShowWindowNoActivate(HWND hwnd) { return ShowWindow(hwnd, SW_SHOWNA); }

int GetZOrderDistance(HWND from, HWND to) {
    if (!to) return 0;
    int steps = 0;
    for (HWND window = from; window; window = GetWindow(window, GW_HWNDNEXT), ++steps)
        if (window == to) return steps;
    return 0;
}

bool IsWindowOfThisThread(HWND hwnd) { return GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId(); }

LRESULT CallWindowProcDirect(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsWindowOfThisThread(hwnd)) {
        if (const auto procedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)))
            return CallWindowProcW(procedure, hwnd, message, wParam, lParam);
    }
    return SendMessageW(hwnd, message, wParam, lParam);
}

HRESULT DisableVisualStyles(HWND hwnd) { return SetWindowTheme(hwnd, L"", L""); }

HWND CreateUtilityWindow(DWORD exStyle, const wchar_t* className, DWORD style, HWND parent, void* param) {
    if (!className) {
        EnsureDefaultClass();
        className = JX_DEFAULT_WINDOW_CLASS;
    }
    if (!(style & WS_CHILD)) style |= WS_POPUP;
    return CreateWindowExW(exStyle, className, nullptr, style, 0, 0, 0, 0, parent, nullptr, g_module.moduleInstance,
                           param);
}

unsigned GetModifierKeys() {
    unsigned keys = 0;
    if (GetKeyState(VK_SHIFT) < 0) keys |= kModifierShift;
    if (GetKeyState(VK_CONTROL) < 0) keys |= kModifierCtrl;
    if (GetKeyState(VK_MENU) < 0) keys |= kModifierAlt;
    return keys;
}

LRESULT SendTextMessage(HWND hwnd, UINT message, WPARAM wParam, const char* text) {
    const WideText wide(text);
    return CallWindowProcDirect(hwnd, message, wParam, reinterpret_cast<LPARAM>(wide.Get()));
}

LRESULT SetControlText(HWND hwnd, const char* text) { return SendTextMessage(hwnd, WM_SETTEXT, 0, text); }

LRESULT SendMessageGetText(HWND hwnd, UINT message, WPARAM wParam, str& out, int units) {
    if (units < 0) units = 0;
    str wide;
    wchar_t* buffer = wide.GetWideBuffer(units);
    memset(buffer, 0, size_t(units) * sizeof(wchar_t));
    const LRESULT result = CallWindowProcDirect(hwnd, message, wParam, reinterpret_cast<LPARAM>(buffer));
    out.FromWide(buffer, int(wcsnlen(buffer, size_t(units))));
    return result;
}

LRESULT SendMessageTextField(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, const wchar_t** field,
                             const char* text) {
    const WideText wide(text);
    // The record outlives the copy: the field must not keep pointing at it.
    struct FieldRestore {
        const wchar_t** field;
        const wchar_t* old;
        ~FieldRestore() { *field = old; }
    } restore{field, *field};
    *field = wide.Get();
    return CallWindowProcDirect(hwnd, message, wParam, lParam);
}

BOOL InsertMenuItemText(HMENU menu, UINT item, BOOL byPosition, const MENUITEMINFOA* info) {
    MENUITEMINFOW wideInfo;
    static_assert(sizeof wideInfo == sizeof *info, "the two records differ only in the text's type");
    memcpy(&wideInfo, info, sizeof wideInfo);
    const bool typeText = (info->fMask & MIIM_TYPE) && !(info->fType & kMenuTypesWithoutText);
    const WideText text(typeText || (info->fMask & MIIM_STRING) ? info->dwTypeData : nullptr);
    if (text.Get()) wideInfo.dwTypeData = const_cast<wchar_t*>(text.Get());
    return InsertMenuItemW(menu, item, byPosition, &wideInfo);
}

BOOL GetTextExtentText(HDC dc, const char* text, int length, SIZE* size) {
    str wide;
    wide.FromMultiByte(text, CurrentCodePage(), length);
    return GetTextExtentPoint32W(dc, wide.Wide(), wide.WideLength(), size);
}

int GetWindowTextEx(str& out, HWND hwnd, unsigned flags) {
    str wide;
    int length = 0;
    bool ask = true;
    if (!(flags & kWindowTextByMessage)) {
        length = StoredWindowText(wide, hwnd);
        ask = length <= 0 && !(flags & kWindowTextStoredOnly) && (GetStyle(hwnd) & WS_CHILD);
    }
    if (ask) length = AskedWindowText(wide, hwnd);
    out.FromWide(wide.Wide(), length > 0 ? length : 0);
    return out.len;
}

int PointInRect(const RECT* rect, int x, int y) { return PtInRect(rect, POINT{x, y}) ? 1 : 0; }

int GetScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }

DWORD GetSystemParameter(UINT action) {
    DWORD scratch[kSystemParameterScratchBytes / sizeof(DWORD)] = {};
    return SystemParametersInfoW(action, 0, scratch, 0) ? scratch[0] : 0;
}

int Clamp(int value, int low, int high) {
    const int upper = value < high ? value : high;
    return upper > low ? upper : low;
}
