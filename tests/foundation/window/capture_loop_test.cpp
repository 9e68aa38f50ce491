#include <gtest/gtest.h>
#include <memory>
#include <type_traits>
#include <vector>
#include "window/capture_loop.h"
#include "window/window_utils.h"

namespace {

struct WindowDeleter {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using ScopedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

constexpr UINT kCountMe = WM_APP;         // dispatched by the loop: counted
constexpr UINT kDropCapture = WM_APP + 1;  // dispatched by the loop: the capture is lost

int g_dispatched = 0;
LRESULT CALLBACK TrackedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCountMe) ++g_dispatched;
    if (message == kDropCapture) ReleaseCapture();
    return DefWindowProcW(window, message, wParam, lParam);
}

// A shown popup whose procedure counts and drops the capture on request.
ScopedWindow CreateTrackedWindow() {
    ScopedWindow window(CreateUtilityWindow(WS_EX_TOOLWINDOW, nullptr, 0, nullptr, nullptr));
    SetWindowLongPtrW(window.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TrackedProc));
    SetWindowPos(window.get(), nullptr, 100, 100, 200, 150, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    return window;
}

void DrainMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) DispatchMessageW(&msg);
    }
}

struct Posted {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct Event {
    UINT message;
    POINT point;
    DWORD keys;
};

// Posts `messages` to `window`, then runs a loop over them to its end.
std::vector<Event> RunLoop(CaptureLoop& loop, const std::vector<Posted>& messages) {
    for (const Posted& p : messages) PostMessageW(loop.window, p.message, p.wParam, p.lParam);
    std::vector<Event> events;
    while (loop.Next()) events.push_back({loop.msg.message, loop.point, loop.keys});
    return events;
}

TEST(CaptureLoop, ButtonReleaseOrEscapeEndsTheLoop) {
    ScopedWindow window = CreateTrackedWindow();
    DrainMessages();
    const Posted move = {WM_MOUSEMOVE, MK_SHIFT | MK_LBUTTON, MAKELPARAM(-5, 7)};
    const Posted leftUp = {WM_LBUTTONUP, 0, 0}, rightUp = {WM_RBUTTONUP, MK_CONTROL, MAKELPARAM(1, 2)};
    const Posted keyA = {WM_KEYDOWN, 'A', 0}, escape = {WM_KEYDOWN, VK_ESCAPE, 0}, counted = {kCountMe, 0, 0};
    struct Case {
        const char* name;
        DWORD stopButtons;
        std::vector<Posted> posted;
        size_t events;
        BYTE endedByButton;
        int dispatched;
    };
    const Case cases[] = {
        {"left release ends, right release is an event", kStopOnLeftUp, {move, rightUp, counted, leftUp, move}, 2,
         kStopOnLeftUp, 1},
        {"right release ends", kStopOnRightUp, {leftUp, rightUp}, 1, kStopOnRightUp, 0},
        {"escape cancels", kStopOnLeftUp | kStopOnRightUp, {keyA, counted, escape, leftUp}, 1, 0, 1},
    };
    for (const Case& c : cases) {
        g_dispatched = 0;
        CaptureLoop loop(window.get(), c.stopButtons);
        const std::vector<Event> events = RunLoop(loop, c.posted);
        EXPECT_EQ(events.size(), c.events) << c.name;
        EXPECT_EQ(loop.endedByButton, c.endedByButton) << c.name;
        EXPECT_EQ(loop.captured, 0) << c.name;
        EXPECT_NE(GetCapture(), window.get()) << c.name << ": the capture is released";
        EXPECT_EQ(g_dispatched, c.dispatched) << c.name << ": other messages are dispatched";
        DrainMessages();
    }
}

TEST(CaptureLoop, EventsCarryClientPointAndKeys) {
    ScopedWindow window = CreateTrackedWindow();
    DrainMessages();
    POINT origin = {0, 0};
    ClientToScreen(window.get(), &origin);
    CaptureLoop loop(window.get(), kStopOnLeftUp);
    const std::vector<Event> events =
        RunLoop(loop, {{WM_MOUSEMOVE, MK_SHIFT | MK_LBUTTON, MAKELPARAM(-5, 7)},
                       {WM_RBUTTONUP, MK_CONTROL | MK_RBUTTON, MAKELPARAM(1, 2)},
                       {WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, WHEEL_DELTA), MAKELPARAM(origin.x + 3, origin.y + 4)},
                       {WM_LBUTTONUP, 0, 0}});
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].point.x, -5) << "signed coordinates";
    EXPECT_EQ(events[0].point.y, 7);
    EXPECT_EQ(events[0].keys, DWORD(MK_SHIFT)) << "only Shift and Ctrl are kept";
    EXPECT_EQ(events[1].keys, DWORD(MK_CONTROL));
    EXPECT_EQ(events[2].point.x, 3) << "wheel positions are converted to client coordinates";
    EXPECT_EQ(events[2].point.y, 4);
}

TEST(CaptureLoop, LostCaptureAndQuitEndTheLoop) {
    ScopedWindow window = CreateTrackedWindow();
    DrainMessages();
    {
        CaptureLoop loop(window.get(), kStopOnLeftUp);
        EXPECT_TRUE(RunLoop(loop, {{kDropCapture, 0, 0}}).empty());
        EXPECT_EQ(loop.captured, 0);
    }
    {
        CaptureLoop loop(window.get(), kStopOnLeftUp);
        PostQuitMessage(7);
        EXPECT_TRUE(RunLoop(loop, {}).empty());
        EXPECT_NE(GetCapture(), window.get());
        MSG quit = {};
        ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the quit message is posted again";
        EXPECT_EQ(quit.wParam, 7u);
    }
}

TEST(CaptureLoop, LeavingTheScopeReleasesTheCaptureAndCursorsAreSet) {
    ScopedWindow window = CreateTrackedWindow();
    DrainMessages();
    {
        CaptureLoop loop(window.get(), kStopOnLeftUp);
        loop.cursor = kDragCursorMove;
        PostMessageW(window.get(), WM_MOUSEMOVE, 0, 0);
        ASSERT_TRUE(loop.Next());
        EXPECT_EQ(loop.cursor, 0u) << "cleared after use";
        EXPECT_EQ(GetCapture(), window.get());
    }
    EXPECT_NE(GetCapture(), window.get());
    for (int number : {kDragCursorMove, kDragCursorCopy, kDragCursorNoDrop, kDragCursorLink})
        EXPECT_NE(GetDragCursor(number), nullptr) << number;
    EXPECT_EQ(GetDragCursor(kDragCursorHidden), nullptr);
    EXPECT_EQ(GetDragCursor(kDragCursorHiddenToo), nullptr);
}

}  // namespace
