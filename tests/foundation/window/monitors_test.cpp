#include <gtest/gtest.h>
#include <memory>
#include <type_traits>
#include "window/dpi.h"
#include "window/monitors.h"
#include "window/window_utils.h"

namespace {

struct WindowDeleter {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using ScopedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

HMONITOR FakeMonitor(int n) { return reinterpret_cast<HMONITOR>(static_cast<ULONG_PTR>(0x1000 + n)); }

// Four enumerated monitors: A, a mirror of A, C, and one whose information
// could not be read.
MonitorEntries MirroredSetup() {
    const HMONITOR a = FakeMonitor(1), mirror = FakeMonitor(2), c = FakeMonitor(3), unreadable = FakeMonitor(4);
    return MonitorEntries{{a, a}, {mirror, a}, {c, c}, {unreadable, nullptr}};
}

TEST(MonitorNumbering, MirrorsAndUnreadableMonitorsAreNotCounted) {
    const MonitorEntries entries = MirroredSetup();
    struct Case {
        int n;
        HMONITOR expected;
    };
    for (const Case& c : {Case{1, FakeMonitor(1)}, Case{2, FakeMonitor(3)}, Case{3, nullptr}, Case{30, nullptr}})
        EXPECT_EQ(NthCountedMonitor(entries, c.n), c.expected) << c.n;
}

TEST(MonitorNumbering, ListHoldsCountedMonitorsOrOnlyThePrimary) {
    const MonitorEntries entries = MirroredSetup();
    MonitorList list;
    EXPECT_EQ(CountedMonitorList(entries, FakeMonitor(3), list), 1);
    EXPECT_EQ(list, (MonitorList{FakeMonitor(1), FakeMonitor(3)}));
    EXPECT_EQ(CountedMonitorList(entries, FakeMonitor(2), list), 0) << "a mirror as primary is not in the list";
    EXPECT_EQ(list, MonitorList{FakeMonitor(2)});
    EXPECT_EQ(CountedMonitorList(MonitorEntries{}, FakeMonitor(9), list), 0);
    EXPECT_EQ(list, MonitorList{FakeMonitor(9)});
}

TEST(GetMonitor, EveryMonitorValueFallsBackToThePrimaryMonitor) {
    const HMONITOR primary = MonitorFromWindow(nullptr, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetMonitorInfoW(primary, &info));
    ScopedWindow window(CreateUtilityWindow(0, nullptr, 0, nullptr, nullptr));
    SetWindowPos(window.get(), nullptr, info.rcMonitor.left + 10, info.rcMonitor.top + 10, 50, 50,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    struct Case {
        LONG_PTR monitor;
        unsigned flags;
    };
    for (const Case& c : {Case{JX_MONITOR_PRIMARY, 0}, Case{1, 0}, Case{2, 0}, Case{JX_MONITOR_NUMBERED_LAST, 0},
                          Case{JX_MONITOR_OF_MOUSE, 0}, Case{JX_MONITOR_OF_FOREGROUND, 0}, Case{-3, 0},
                          Case{-JX_MONITOR_NUMBERED_LAST, 0}, Case{reinterpret_cast<LONG_PTR>(window.get()), 0},
                          Case{reinterpret_cast<LONG_PTR>(primary), kMonitorIsHandle},
                          Case{0x12345, kMonitorIsHandle}}) {
        RECT rect = {};
        EXPECT_EQ(GetMonitor(c.monitor, c.flags, &rect), primary) << c.monitor;
        EXPECT_TRUE(EqualRect(&rect, &info.rcMonitor)) << c.monitor;
    }
    RECT work = {};
    EXPECT_EQ(GetMonitor(1, kMonitorWorkArea, &work), primary);
    EXPECT_TRUE(EqualRect(&work, &info.rcWork));

    MonitorList list;
    EXPECT_EQ(ListMonitors(list), 0);
    EXPECT_EQ(list, MonitorList{primary});
}

class PlaceRectTest : public ::testing::Test {
protected:
    void SetUp() override { GetMonitor(JX_MONITOR_PRIMARY, kMonitorWorkArea, &work_); }
    int WorkWidth() const { return work_.right - work_.left; }
    int WorkHeight() const { return work_.bottom - work_.top; }
    RECT work_ = {};
};

TEST_F(PlaceRectTest, RequestedPositionsInTheWorkArea) {
    const RECT& w = work_;
    struct Case {
        const char* name;
        RECT requested;
        unsigned flags;
        RECT expected;
    };
    const int centredX = (w.left + w.right - 200) / 2, centredY = (w.top + w.bottom - 100) / 2;
    const Case cases[] = {
        {"centred", {0, 0, 200, 100}, kPlaceWorkArea, {centredX, centredY, centredX + 200, centredY + 100}},
        {"from the right and bottom edges", {-10, -20, 190, 80}, kPlaceWorkArea,
         {w.right - 210, w.bottom - 120, w.right - 10, w.bottom - 20}},
        {"from the left and top edges", {30, 40, 230, 140}, kPlaceWorkArea,
         {w.left + 30, w.top + 40, w.left + 230, w.top + 140}},
        {"clamped inside", {w.right, 5, w.right + 200, 105}, kPlaceWorkArea,
         {w.right - 200, w.top + 5, w.right, w.top + 105}},
        {"oversize: aligned left and top", {0, 0, WorkWidth() + 100, WorkHeight() + 50}, kPlaceWorkArea,
         {w.left, w.top, w.right + 100, w.bottom + 50}},
        {"oversize clipped", {0, 0, WorkWidth() + 100, WorkHeight() + 50}, kPlaceWorkArea | kPlaceClip, w},
        {"offset only: not clamped", {-10, 5, 190, 105}, kPlaceWorkArea | kPlaceOffsetOnly,
         {w.left - 10, w.top + 5, w.left + 190, w.top + 105}},
        {"screen rectangle pulled in", {w.right - 50, w.bottom - 30, w.right + 150, w.bottom + 70},
         kPlaceWorkArea | kPlaceScreenRect | kPlaceOffsetOnly, {w.right - 200, w.bottom - 100, w.right, w.bottom}},
        {"screen rectangle inside stays", {w.left + 7, w.top + 9, w.left + 107, w.top + 59},
         kPlaceWorkArea | kPlaceScreenRect, {w.left + 7, w.top + 9, w.left + 107, w.top + 59}},
    };
    for (const Case& c : cases) {
        RECT rect = c.requested;
        EXPECT_TRUE(PlaceRect(nullptr, &rect, c.flags, JX_MONITOR_PRIMARY)) << c.name;
        EXPECT_TRUE(EqualRect(&rect, &c.expected))
            << c.name << ": " << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom;
    }
}

TEST_F(PlaceRectTest, MovesWindowsKeepingTheirSizeAndOwner) {
    ScopedWindow owner(CreateUtilityWindow(0, nullptr, 0, nullptr, nullptr));
    ScopedWindow window(CreateUtilityWindow(0, nullptr, 0, owner.get(), nullptr));
    ASSERT_EQ(GetWindow(window.get(), GW_OWNER), owner.get());
    SetWindowPos(window.get(), nullptr, work_.right - 40, work_.bottom - 30, 120, 90, SWP_NOZORDER | SWP_NOACTIVATE);

    EXPECT_TRUE(EnsureWindowOnScreen(window.get()));
    RECT placed = {};
    GetWindowRect(window.get(), &placed);
    const RECT pulledIn = {work_.right - 120, work_.bottom - 90, work_.right, work_.bottom};
    EXPECT_TRUE(EqualRect(&placed, &pulledIn)) << placed.left << "," << placed.top;
    EXPECT_EQ(GetWindow(window.get(), GW_OWNER), owner.get()) << "the owner is given back";
    EXPECT_FALSE(IsWindowVisible(window.get()));

    RECT requested = {-5, 0, 0, 0};  // only the position counts with a window
    EXPECT_TRUE(PlaceRect(window.get(), &requested, kPlaceWorkArea | kPlaceMoveWindow, JX_MONITOR_PRIMARY));
    GetWindowRect(window.get(), &placed);
    EXPECT_EQ(placed.right, work_.right - 5);
    EXPECT_EQ(placed.bottom - placed.top, 90);
    EXPECT_EQ(placed.top, (work_.top + work_.bottom - 90) / 2) << "centred";
    EXPECT_TRUE(EqualRect(&placed, &requested));

    const HWND gone = window.get();
    window.reset();
    RECT untouched = {1, 2, 3, 4};
    EXPECT_FALSE(PlaceRect(gone, &untouched, kPlaceMoveWindow, JX_MONITOR_PRIMARY));
    EXPECT_EQ(untouched.left, 1);
}

TEST(Dpi, ScalingRoundTripsAtTheSystemDpi) {
    const int dpi = GetSystemDpi();
    LONG values[4] = {96, -192, 0, 48};
    ScaleByDpi(values, 2);
    EXPECT_EQ(values[0], dpi);
    EXPECT_EQ(values[1], -2 * dpi);
    ScaleByDpi(values, -2);
    EXPECT_EQ(values[0], 96);
    EXPECT_EQ(values[3], 48);
    EXPECT_FALSE(IsDpiVirtualized(kDpiRecomputeAndAsk));
    EXPECT_EQ(GetSystemDpi(), dpi) << "recomputed the same";
}

}  // namespace
