// Monitors by their number or handle, the list of monitors that count, and fitting
// rectangles and windows into a monitor.
#include "window/monitors.h"
#include "window/dpi.h"
#include "window/window_utils.h"

namespace {
constexpr UINT kPlaceWindowPosFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;

HMONITOR PrimaryMonitor() { return MonitorFromWindow(nullptr, MONITOR_DEFAULTTOPRIMARY); }

bool ReadMonitorInfo(HMONITOR monitor, MONITORINFO& info) {
    info = {};
    info.cbSize = sizeof info;
    return GetMonitorInfoW(monitor, &info) != FALSE;
}

BOOL CALLBACK AddMonitorEntry(HMONITOR monitor, HDC, RECT*, LPARAM context) {
    MONITORINFO info;
    const HMONITOR owner = ReadMonitorInfo(monitor, info) ? MonitorFromRect(&info.rcMonitor, MONITOR_DEFAULTTONULL)
                                                          : nullptr;
    reinterpret_cast<MonitorEntries*>(context)->push_back({monitor, owner});
    return TRUE;
}

bool IsCounted(const MonitorEntry& entry) { return entry.ownerOfRect == entry.handle; }

HMONITOR NumberedMonitor(int n) {
    MonitorEntries entries;
    return EnumerateMonitors(entries) ? NthCountedMonitor(entries, n) : nullptr;
}

// The monitor a monitor value names, or null when it names none.
HMONITOR ResolveMonitorValue(LONG_PTR monitor, unsigned flags) {
    if (flags & kMonitorIsHandle) {
        const auto handle = reinterpret_cast<HMONITOR>(monitor);
        MONITORINFO info;
        return ReadMonitorInfo(handle, info) ? handle : nullptr;
    }
    if (monitor > JX_MONITOR_NUMBERED_LAST || monitor < -JX_MONITOR_NUMBERED_LAST)
        return MonitorFromWindow(reinterpret_cast<HWND>(monitor), MONITOR_DEFAULTTONULL);
    switch (monitor) {
    case JX_MONITOR_PRIMARY: return PrimaryMonitor();
    case JX_MONITOR_OF_MOUSE: {
        POINT point = {};
        GetCursorPosEx(&point);
        return MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST);
    }
    case JX_MONITOR_OF_FOREGROUND: return MonitorFromWindow(GetForegroundWindow(), MONITOR_DEFAULTTONULL);
    default: return monitor >= JX_MONITOR_NUMBERED_FIRST ? NumberedMonitor(int(monitor)) : nullptr;
    }
}

HMONITOR WithMonitorRect(HMONITOR monitor, RECT* rect, bool workArea) {
    MONITORINFO info;
    if (rect) *rect = ReadMonitorInfo(monitor, info) ? (workArea ? info.rcWork : info.rcMonitor) : RECT{};
    return monitor;
}

// Takes a hidden window's owner away while its placement is set, and gives it back.
class OwnerDetach {
public:
    explicit OwnerDetach(HWND hwnd) : window_(hwnd) {
        if (IsWindowVisible(hwnd)) return;
        owner_ = GetWindow(hwnd, GW_OWNER);
        if (owner_) SetWindowLongPtrW(hwnd, GWLP_HWNDPARENT, 0);
    }
    ~OwnerDetach() {
        if (owner_) SetWindowLongPtrW(window_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner_));
    }
    OwnerDetach(const OwnerDetach&) = delete;
    OwnerDetach& operator=(const OwnerDetach&) = delete;

private:
    HWND window_;
    HWND owner_ = nullptr;
};

// Coordinate of the left-top edge: negative from the far edge, positive from
// the near edge, 0 centred.
int RequestedEdge(int requested, int low, int high) {
    if (requested < 0) return high + requested;
    if (requested > 0) return low + requested;
    return (low + high) / 2;
}

void MoveWindowTo(HWND hwnd, RECT rect, HMONITOR monitor, bool scaled) {
    const OwnerDetach detach(hwnd);
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(hwnd, &placement)) return;
    if (scaled) ScaleRectByDpi(&rect, false);
    const bool maximized = placement.showCmd == SW_SHOWMAXIMIZED;
    placement.rcNormalPosition = rect;
    placement.showCmd = IsWindowVisible(hwnd) ? SW_SHOWNA : SW_HIDE;
    SetWindowPlacement(hwnd, &placement);
    if (!maximized || MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST) == monitor) return;
    MONITORINFO info;
    if (!ReadMonitorInfo(monitor, info)) return;
    RECT work = info.rcWork;
    if (scaled) ScaleRectByDpi(&work, false);
    SetWindowPos(hwnd, nullptr, work.left, work.top, 0, 0, SWP_NOSIZE | kPlaceWindowPosFlags);
    SetWindowPos(hwnd, nullptr, 0, 0, work.right - work.left, work.bottom - work.top,
                 SWP_NOMOVE | kPlaceWindowPosFlags);
}
}  // namespace

bool EnumerateMonitors(MonitorEntries& entries) {
    entries.clear();
    return EnumDisplayMonitors(nullptr, nullptr, AddMonitorEntry, reinterpret_cast<LPARAM>(&entries)) != FALSE;
}

HMONITOR NthCountedMonitor(const MonitorEntries& entries, int n) {
    for (const MonitorEntry& entry : entries)
        if (IsCounted(entry) && --n == 0) return entry.handle;
    return nullptr;
}

int CountedMonitorList(const MonitorEntries& entries, HMONITOR primary, MonitorList& list) {
    list.clear();
    int primaryIndex = -1;
    for (const MonitorEntry& entry : entries) {
        if (!IsCounted(entry)) continue;
        if (entry.handle == primary) primaryIndex = int(list.size());
        list.push_back(entry.handle);
    }
    if (primaryIndex >= 0) return primaryIndex;
    list.assign(1, primary);
    return 0;
}

int ListMonitors(MonitorList& list) {
    list.clear();
    const HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    MonitorEntries entries;
    if (GetSystemMetrics(SM_CMONITORS) != 1 && EnumerateMonitors(entries))
        return CountedMonitorList(entries, primary, list);
    list.assign(1, primary);
    return 0;
}

HMONITOR GetMonitor(LONG_PTR monitor, unsigned flags, RECT* rect) {
    HMONITOR handle = ResolveMonitorValue(monitor, flags);
    if (!handle) handle = PrimaryMonitor();
    return WithMonitorRect(handle, rect, flags & kMonitorWorkArea);
}

HMONITOR GetMonitorRectFromPoint(int x, int y, RECT* rect, bool workArea) {
    return WithMonitorRect(MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTONEAREST), rect, workArea);
}

HMONITOR GetMonitorRectFromWindow(RECT* rect, HWND hwnd, bool workArea) {
    return WithMonitorRect(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), rect, workArea);
}

bool PlaceRect(HWND hwnd, RECT* rect, unsigned flags, LONG_PTR monitor) {
    RECT placed = rect ? *rect : RECT{};
    const POINT requested = {placed.left, placed.top};

    if ((flags & kPlaceScreenRect) && !(flags & kPlaceMonitorHandle) && monitor == JX_MONITOR_PRIMARY) {
        const HMONITOR nearest = hwnd ? MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST)
                                      : MonitorFromRect(&placed, MONITOR_DEFAULTTONEAREST);
        monitor = reinterpret_cast<LONG_PTR>(nearest);
        flags |= kPlaceMonitorHandle;
    }
    if (flags & kPlaceScreenRect) flags &= ~kPlaceOffsetOnly;
    RECT area;
    const HMONITOR areaMonitor = GetMonitor(monitor, flags & (kMonitorWorkArea | kMonitorIsHandle), &area);

    bool scaled = false;
    if (hwnd) {
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof placement;
        if (!GetWindowPlacement(hwnd, &placement)) return false;
        placed = placement.rcNormalPosition;
        if (IsDpiVirtualized(hwnd)) {
            ScaleRectByDpi(&placed, true);
            scaled = true;
        }
    }

    const int width = placed.right - placed.left;
    const int height = placed.bottom - placed.top;
    POINT leftTop = {area.left + requested.x, area.top + requested.y};
    if (!(flags & kPlaceOffsetOnly)) {
        const int maxX = area.right - width;
        const int maxY = area.bottom - height;
        POINT candidate = {placed.left, placed.top};
        if (!(flags & kPlaceScreenRect))
            candidate = {RequestedEdge(requested.x, area.left, maxX), RequestedEdge(requested.y, area.top, maxY)};
        leftTop = {Clamp(candidate.x, area.left, maxX), Clamp(candidate.y, area.top, maxY)};
    }
    placed = {leftTop.x, leftTop.y, leftTop.x + width, leftTop.y + height};
    if (flags & kPlaceClip) {
        if (placed.right > area.right) placed.right = area.right;
        if (placed.bottom > area.bottom) placed.bottom = area.bottom;
    }
    if (rect) *rect = placed;
    if ((flags & kPlaceMoveWindow) && hwnd) MoveWindowTo(hwnd, placed, areaMonitor, scaled);
    return true;
}

bool EnsureWindowOnScreen(HWND hwnd) {
    return PlaceRect(hwnd, nullptr, kPlaceWorkArea | kPlaceMoveWindow | kPlaceScreenRect, JX_MONITOR_PRIMARY);
}
