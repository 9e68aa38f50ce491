// Driving the dropdown list of jxgrid.dll from a test: windows and blocks
// counted, the queue pumped, and steps played into an open popup by a timer
// on the calling thread, with a safety timer so that no call can hang.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <vector>
#include "counting_allocator.h"
#include "thread_windows.h"
#include "jx/dropdown.h"

namespace control_test {

constexpr UINT kStepMs = 30;
constexpr UINT kSafetyMs = 5000;

using test_support::LiveBlocks;
using test_support::Pump;
using test_support::ThreadWindows;

// The open popup of this thread, or null.
inline HWND OpenPopup() {
    HWND popup = FindWindowW(JX_DROPDOWN_CLASS_W, nullptr);
    return popup && IsWindowVisible(popup) ? popup : nullptr;
}
inline HWND ListOf(HWND popup) { return GetDlgItem(popup, JX_DROPDOWN_LIST_ID); }

inline RECT ItemRect(HWND popup, int item) {
    RECT rect = {};
    rect.left = LVIR_BOUNDS;
    SendMessageW(ListOf(popup), LVM_GETITEMRECT, WPARAM(item), LPARAM(&rect));
    return rect;
}

// Posts a click at the middle of an item, in the list's client coordinates.
inline void ClickItem(HWND popup, int item, int x = -1) {
    const RECT rect = ItemRect(popup, item);
    const LPARAM point = MAKELPARAM(x >= 0 ? x : (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    PostMessageW(ListOf(popup), WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageW(ListOf(popup), WM_LBUTTONUP, 0, point);
}

// One step runs on a timer tick once the popup is shown.
using Step = std::function<void(HWND popup)>;

// Runs `call` while a timer plays `steps` into the open popup, one per tick;
// a safety timer destroys a popup that is still open after kSafetyMs.
class Driver {
public:
    explicit Driver(std::vector<Step> steps) : steps_(std::move(steps)) {}

    int Run(const std::function<int()>& call) {
        current_ = this;
        const UINT_PTR stepTimer = SetTimer(nullptr, 0, kStepMs, OnStep);
        const UINT_PTR safetyTimer = SetTimer(nullptr, 0, kSafetyMs, OnSafety);
        struct Disarm {
            UINT_PTR a, b;
            ~Disarm() {
                KillTimer(nullptr, a);
                KillTimer(nullptr, b);
                current_ = nullptr;
            }
        } disarm{stepTimer, safetyTimer};
        return call();
    }
    bool TimedOut() const { return timedOut_; }
    size_t StepsDone() const { return next_; }
    bool SawPopup() const { return sawPopup_; }

private:
    static void CALLBACK OnStep(HWND, UINT, UINT_PTR, DWORD) {
        Driver* driver = current_;
        HWND popup = OpenPopup();
        if (!driver || !popup) return;
        driver->sawPopup_ = true;
        if (driver->next_ < driver->steps_.size()) driver->steps_[driver->next_++](popup);
    }
    static void CALLBACK OnSafety(HWND, UINT, UINT_PTR, DWORD) {
        if (!current_) return;
        current_->timedOut_ = true;
        if (HWND popup = FindWindowW(JX_DROPDOWN_CLASS_W, nullptr)) DestroyWindow(popup);
        EndMenu();
    }

    static inline Driver* current_ = nullptr;
    std::vector<Step> steps_;
    size_t next_ = 0;
    bool timedOut_ = false;
    bool sawPopup_ = false;
};

inline Step Key(WPARAM key) {
    return [key](HWND) {
        HWND focus = GetFocus();
        PostMessageW(focus, WM_KEYDOWN, key, 1);
        PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
    };
}

}  // namespace control_test
