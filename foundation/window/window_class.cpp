// Window classes and superclasses of this library, child controls and window
// queries.
#include "window/window_class.h"
#include "window/fonts.h"
#include "runtime/module_state.h"
#include "files/wide_call.h"

namespace {
// The system cursor and background a class gets unless told otherwise.
const HBRUSH kDefaultBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
// Longest class name the system accepts, plus the terminator.
constexpr int kClassNameUnits = 257;

const wchar_t* AtomName(ATOM atom) { return reinterpret_cast<const wchar_t*>(ULONG_PTR(atom)); }
}  // namespace

void SuperclassInfo::Register(const char* baseClass, const char* newClass, WNDPROC wndProc, int extraBytes,
                              UINT style) {
    if (atom) return;
    WNDCLASSEXW info = {};
    info.cbSize = sizeof(info);
    if (!GetClassInfoExW(nullptr, WideText(baseClass).Get(), &info)) return;
    const WideText name(newClass);
    info.style = (info.style & ~UINT(CS_GLOBALCLASS)) | (style & CS_GLOBALCLASS);
    info.hInstance = g_module.moduleInstance;
    info.lpszClassName = name.Get();
    info.lpszMenuName = nullptr;
    const WNDPROC base = info.lpfnWndProc;
    const int baseBytes = info.cbWndExtra;
    info.lpfnWndProc = wndProc;
    info.cbWndExtra = baseBytes + extraBytes;
    // The procedure and offset are in place before the first window can exist.
    baseProc = base;
    baseExtra = baseBytes;
    atom = RegisterClassExW(&info);
    if (!atom) {
        baseProc = nullptr;
        baseExtra = 0;
    }
}

void SuperclassInfo::Unregister() {
    if (atom) UnregisterClassW(AtomName(atom), g_module.moduleInstance);
    atom = 0;
    baseProc = nullptr;
    baseExtra = 0;
}

ATOM RegisterWindowClass(const char* className, WNDPROC wndProc, int extraBytes, const WNDCLASSEXW* classTemplate,
                         unsigned flags, UINT style) {
    WNDCLASSEXW info = classTemplate ? *classTemplate : WNDCLASSEXW{};
    const WideText name(className);
    info.cbSize = sizeof(info);
    info.hInstance = g_module.moduleInstance;
    info.lpszClassName = name.Get();
    info.lpfnWndProc = wndProc;
    info.cbWndExtra = extraBytes;
    info.style = style;
    if (!(flags & kClassNoDefaultCursor) && !info.hCursor) info.hCursor = LoadCursorW(nullptr, reinterpret_cast<const wchar_t*>(IDC_ARROW));
    if (!(flags & kClassNoDefaultBackground) && !info.hbrBackground) info.hbrBackground = kDefaultBackground;
    return RegisterClassExW(&info);
}

ATOM RegisteredWindowClass::Register(const char* className, WNDPROC wndProc, int extraBytes,
                                     const WNDCLASSEXW* classTemplate, unsigned flags, UINT style) {
    if (!atom_) atom_ = RegisterWindowClass(className, wndProc, extraBytes, classTemplate, flags, style);
    return atom_;
}

void RegisteredWindowClass::Unregister() {
    if (atom_) UnregisterClassW(AtomName(atom_), g_module.moduleInstance);
    atom_ = 0;
}

HWND CreateChildControl(DWORD exStyle, const char* className, DWORD style, int x, int y, int width, int height,
                        HWND parent, int id, unsigned flags, const char* text) {
    HWND window = CreateWindowExU(exStyle, className, text, style | WS_CHILD, x, y, width, height, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_module.moduleInstance, nullptr);
    if (window && (flags & kChildDefaultFont)) SetDefaultFont(window);
    return window;
}

WNDPROC SetWindowProc(HWND window, WNDPROC proc) {
    const LONG_PTR value = reinterpret_cast<LONG_PTR>(proc);
    const LONG_PTR previous = IsWindowUnicode(window) ? SetWindowLongPtrW(window, GWLP_WNDPROC, value)
                                                      : SetWindowLongPtrA(window, GWLP_WNDPROC, value);
    return reinterpret_cast<WNDPROC>(previous);
}

// Read as UTF-16, so a name the ANSI code page cannot hold still arrives
// whole in UTF-8 mode.
int GetClassNameText(HWND window, str& out) {
    wchar_t name[kClassNameUnits];
    const int units = GetClassNameW(window, name, kClassNameUnits);
    if (units <= 0) {
        out.Empty();
        return 0;
    }
    out.FromWide(name, units);
    return out.len;
}

UINT GetNormalPlacement(HWND window, RECT* rect) {
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    if (!GetWindowPlacement(window, &placement)) return 0;
    *rect = placement.rcNormalPosition;
    return placement.showCmd;
}

LRESULT SendMessageTimeoutEx(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs,
                             DWORD_PTR* result, bool block) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG | (block ? SMTO_BLOCK : 0),
                               timeoutMs, result ? result : &ignored);
}
