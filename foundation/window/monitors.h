// Monitors named by the monitor values of jx/window_utils.h, and fitting
// rectangles and windows into them.
#pragma once
#include <windows.h>
#include <vector>
#include "runtime/host_alloc.h"
#include "jx/window_utils.h"

// Flags of GetMonitor
enum MonitorFlag : unsigned {
    kMonitorWorkArea = 0x01,  // the work area instead of the whole rectangle
    kMonitorIsHandle = 0x20,  // the monitor value is a monitor handle
};
// The monitor named by `monitor`, never null: every failure gives the
// primary monitor. Its rectangle or work area goes to `rect` when given.
HMONITOR GetMonitor(LONG_PTR monitor, unsigned flags, RECT* rect);

// The monitor nearest to a point or a window, with its rectangle or work area.
HMONITOR GetMonitorRectFromPoint(int x, int y, RECT* rect, bool workArea);
HMONITOR GetMonitorRectFromWindow(RECT* rect, HWND hwnd, bool workArea);

using MonitorList = std::vector<HMONITOR, HostAllocator<HMONITOR>>;
// The monitors that count (mirrors skipped) in enumeration order; returns the
// primary monitor's index. With one monitor, or when the primary monitor is
// not found, the list holds only the primary monitor.
int ListMonitors(MonitorList& list);

// One enumerated monitor and the monitor that MonitorFromRect names for its
// rectangle (null when its information could not be read). A monitor counts
// only when that is itself; a mirror shares its rectangle with another.
struct MonitorEntry {
    HMONITOR handle;
    HMONITOR ownerOfRect;
};
using MonitorEntries = std::vector<MonitorEntry, HostAllocator<MonitorEntry>>;
// Every monitor of EnumDisplayMonitors; false when the enumeration fails.
bool EnumerateMonitors(MonitorEntries& entries);
// The n-th (from 1) monitor that counts; null when there are fewer.
HMONITOR NthCountedMonitor(const MonitorEntries& entries, int n);
// The monitors that count into `list`; returns the index of `primary`, or
// resets the list to hold only `primary` and returns 0 when it is not there.
int CountedMonitorList(const MonitorEntries& entries, HMONITOR primary, MonitorList& list);

// Flags of PlaceRect
enum PlaceRectFlag : unsigned {
    kPlaceWorkArea = 0x01,       // fit into the work area
    kPlaceMoveWindow = 0x02,     // move the window to the result
    kPlaceOffsetOnly = 0x04,     // no centring or clamping: left-top is an offset from the monitor's
    kPlaceScreenRect = 0x08,     // the rectangle is in screen coordinates and only pulled in
    kPlaceClip = 0x10,           // clip right and bottom to the monitor
    kPlaceMonitorHandle = 0x20,  // `monitor` is a monitor handle
};
// Fits `rect` (or, with `hwnd`, the window's restored rectangle placed at
// rect's left-top) into a monitor. Without kPlaceScreenRect a negative left
// or top is measured from the right or bottom edge, a positive one from the
// left or top edge, and 0 centres. False when the window's placement cannot
// be read (nothing is changed then).
bool PlaceRect(HWND hwnd, RECT* rect, unsigned flags, LONG_PTR monitor);
// Pulls a window fully into the work area of the monitor nearest to it.
bool EnsureWindowOnScreen(HWND hwnd);
