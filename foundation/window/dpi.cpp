// The DPI state, computed once per process on first need and again after a
// DPI change, and the test for DPI-virtualised windows of other threads.
#include "window/dpi.h"
#include <shellscalingapi.h>
#include <stdlib.h>
#include "runtime/module_state.h"
#include "window/monitors.h"
#include "files/registry.h"
#include "window/window_utils.h"

namespace {
constexpr DWORD kWindows8 = 0x602;
constexpr const char* kDwmKey = "Software\\Microsoft\\Windows\\DWM";
constexpr const char* kUseDpiScaling = "UseDpiScaling";
constexpr const char* kDesktopKey = "Control Panel\\Desktop";
constexpr const char* kWin8DpiScaling = "Win8DpiScaling";

struct DpiState {
    int systemDpi;        // 0: not yet computed
    BYTE dpiVirtualized;  // windows of other processes may be DPI-virtualised
};
constinit DpiState g_dpi = {};

using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, MONITOR_DPI_TYPE, UINT*, UINT*);

// Bound once, on Windows 8.1 and later only.
GetDpiForMonitorFn DpiForMonitorEntry() {
    static const GetDpiForMonitorFn entry = [] {
        GetDpiForMonitorFn bound = nullptr;
        if (g_module.windowsVersion >= kWindows81) BindProcs(kBindSilent, "shcore", {{"GetDpiForMonitor", &bound}});
        return bound;
    }();
    return entry;
}

bool UsesDpiScaling() {
    const RegistryHive hive(g_module.windowsVersion < kWindows7 ? HKEY_LOCAL_MACHINE : nullptr);
    return ReadRegistryDword(kDwmKey, kUseDpiScaling, hive) != 0;
}

class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

DpiState ComputeDpiState() {
    DpiState state = {kDefaultDpi, 0};
    const GetDpiForMonitorFn dpiForMonitor = DpiForMonitorEntry();
    if (!dpiForMonitor) {
        const ScreenDc screen;
        const int dpi = screen.Get() ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 0;
        // A failed query must not scale everything to nothing.
        if (dpi > 0) state.systemDpi = dpi;
        if (state.systemDpi > kDefaultDpi && g_api.LogicalToPhysicalPoint) state.dpiVirtualized = UsesDpiScaling();
        return state;
    }
    MonitorList monitors;
    const int primary = ListMonitors(monitors);
    bool someMonitorScaled = false;
    for (size_t i = 0; i < monitors.size(); ++i) {
        UINT x = 0;
        UINT y = 0;
        if (FAILED(dpiForMonitor(monitors[i], MDT_EFFECTIVE_DPI, &x, &y)) || y == 0) continue;
        if (int(i) == primary) state.systemDpi = int(y);
        if (y != kDefaultDpi) someMonitorScaled = true;
    }
    if (someMonitorScaled)
        state.dpiVirtualized = ReadRegistryDword(kDesktopKey, kWin8DpiScaling) != 0 ? UsesDpiScaling() : 1;
    return state;
}

const DpiState& CurrentDpiState() {
    if (!g_dpi.systemDpi) g_dpi = ComputeDpiState();
    return g_dpi;
}

// Whether the system moves the window's bottom-right point when converting it
// from logical to physical coordinates.
bool BottomRightIsScaled(HWND hwnd) {
    RECT rect;
    if (!GetWindowRect(hwnd, &rect) || !g_api.LogicalToPhysicalPoint) return false;
    HWND asked = hwnd;
    for (;;) {
        const POINT logical = {rect.right - 1, rect.bottom - 1};
        POINT point = logical;
        if (g_api.LogicalToPhysicalPoint(asked, &point)) return point.x != logical.x || point.y != logical.y;
        const HWND root = GetRootWindow(hwnd);
        if (asked == hwnd && root && root != hwnd) {
            asked = root;
            continue;
        }
        RECT again;
        if (!GetWindowRect(hwnd, &again) || EqualRect(&again, &rect)) return false;
        rect = again;  // moved meanwhile: ask again at the new place
        asked = hwnd;
    }
}
}  // namespace

int GetSystemDpi() { return CurrentDpiState().systemDpi; }

void ScaleByDpi(LONG* values, int pairs) {
    const int dpi = GetSystemDpi();
    const int count = 2 * abs(pairs);
    for (int i = 0; i < count; ++i)
        values[i] = pairs > 0 ? MulDiv(values[i], dpi, kDefaultDpi) : MulDiv(values[i], kDefaultDpi, dpi);
}

bool IsDpiVirtualized(HWND hwnd) {
    if (hwnd == kDpiRecomputeAndAsk) {
        g_dpi = {};
        hwnd = kDpiAskActive;
    }
    if (g_module.windowsVersion < kWindowsVista || g_module.windowsVersion > kWindows8) return false;
    if (!CurrentDpiState().dpiVirtualized) return false;
    if (hwnd == kDpiAskActive) return true;
    if (IsWindowOfThisThread(hwnd)) return false;
    return BottomRightIsScaled(hwnd);
}
