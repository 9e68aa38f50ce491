// The dropdown popup's modal loop: the keys and clicks it takes out of the
// thread's message stream, hot tracking, and the poll that closes the list
// when its anchor goes or the mouse leaves.
#include <windowsx.h>
#include <algorithm>
#include "dropdown_popup.h"
#include "window/list_view_helpers.h"
#include "window/window_utils.h"

namespace controls {
namespace {

constexpr unsigned kAcceptClose = JX_DROPDOWN_CLOSE_ACCEPT | JX_DROPDOWN_CLOSE_NO_WAKE;
constexpr unsigned kCancelClose = JX_DROPDOWN_CLOSE_NO_WAKE;
// The class atom of menu windows.
constexpr ATOM kMenuClassAtom = 0x8000;
// Leaving the popup by this much closes it.
constexpr int kLeaveDistance = 100;
// Once the pointer has been elsewhere than on the menu, any return to the menu closes.
constexpr LONG kLeftTheMenu = 1000000000;

bool IsMouseMessage(UINT message) {
    return (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

}  // namespace

bool PointerReturnedToMenu(POINT cursor, POINT& reference) {
    HWND under = WindowFromPointEx(cursor.x, cursor.y);
    if (!under || GetClassLongPtrW(under, GCW_ATOM) != kMenuClassAtom) {
        reference.y = kLeftTheMenu;
        return false;
    }
    const LONG down = cursor.y - reference.y;
    const LONG right = cursor.x - reference.x;
    // Down and to the right at once is the way to a list beside the item.
    return down < 0 || down >= right;
}

bool DropdownPopup::RunLoop(int& quitCode) {
    MSG message;
    while (!closed_) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            Close(kCancelClose);
            if (got == 0) {
                quitCode = int(message.wParam);
                return false;
            }
            return true;
        }
        if (FilterMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return true;
}

bool DropdownPopup::FilterMessage(MSG& message) {
    if (message.message == WM_TIMER && message.hwnd == popup_ && message.wParam == kPollTimer) {
        Poll();
        return true;
    }
    if (IsMouseMessage(message.message)) RetargetCapturedMouse(message);
    switch (message.message) {
    case WM_KEYDOWN:
        return OnLoopKeyDown(message);
    case WM_KEYUP:
        switch (message.wParam) {
        case VK_RETURN:
        case VK_ESCAPE:
        case VK_PRIOR:
        case VK_NEXT:
        case VK_UP:
        case VK_DOWN:
            return true;
        }
        return false;
    case WM_SYSKEYDOWN:
        Close(kCancelClose);
        return true;
    case WM_MOUSEMOVE:
        return OnLoopMouseMove(message);
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
        OnLoopButtonDown(message);
        return true;
    case WM_LBUTTONUP:
        if (message.hwnd == list_ && buttonPressedOnItem_) Close(kAcceptClose);
        return true;
    case WM_LBUTTONDBLCLK:
        if (message.hwnd == list_ && checkMode_) Close(kAcceptClose);
        return true;
    }
    return false;
}

bool DropdownPopup::OnLoopKeyDown(const MSG& message) {
    switch (message.wParam) {
    case VK_TAB:
        Close(kAcceptClose);
        // The key goes on to its window, which moves the focus on.
        PostMessageW(message.hwnd, message.message, message.wParam, message.lParam);
        return true;
    case VK_RETURN:
        Close(kAcceptClose);
        return true;
    case VK_ESCAPE:
        Close(kCancelClose);
        return true;
    case VK_SPACE:
        if (!checkMode_) return false;
        if (current_ >= 0) SetCheck(current_, JX_DROPDOWN_CHECK_TOGGLE | JX_DROPDOWN_CHECK_BY_USER);
        return true;
    case VK_PRIOR:
    case VK_NEXT:
    case VK_UP:
    case VK_DOWN:
        MoveCurrentByKey(message.wParam);
        return true;
    }
    return false;
}

void DropdownPopup::MoveCurrentByKey(WPARAM key) {
    const int last = itemCount_ - 1;
    switch (key) {
    case VK_PRIOR:
        SetCurrent(std::max(current_ - pageSize_, 0), JX_DROPDOWN_CURRENT_UP, nullptr);
        break;
    case VK_NEXT:
        SetCurrent(std::min(current_ + pageSize_, last), JX_DROPDOWN_CURRENT_DOWN, nullptr);
        break;
    case VK_UP:
        SetCurrent(std::max(current_ - 1, 0), JX_DROPDOWN_CURRENT_UP, nullptr);
        break;
    case VK_DOWN:
        SetCurrent(std::min(current_ + 1, last), JX_DROPDOWN_CURRENT_DOWN, nullptr);
        break;
    }
}

bool DropdownPopup::OnLoopMouseMove(const MSG& message) {
    if (message.hwnd == list_) {
        const POINT client = {GET_X_LPARAM(message.lParam), GET_Y_LPARAM(message.lParam)};
        // A list opened under a resting pointer does not take its item.
        if (client.x == cursorInList_.x && client.y == cursorInList_.y) return true;
        cursorInList_ = {LONG_MIN, LONG_MIN};
        TrackHotItem(client);
    }
    if ((callFlags_ & JX_DROPDOWN_MOUSE_EVENTS) && callback_) CallBack(JX_DROPDOWN_EVENT_MOUSE, 0, 0);
    return false;
}

void DropdownPopup::TrackHotItem(POINT client) {
    UINT flags = 0;
    const int item = ListViewHitTest(list_, client.x, client.y, &flags);
    if (item >= 0) SetCurrent(item, JX_DROPDOWN_CURRENT_NO_SCROLL, nullptr);
}

void DropdownPopup::RetargetCapturedMouse(MSG& message) const {
    if (!message.hwnd || message.hwnd == popup_ || message.hwnd == list_ || GetCapture() != message.hwnd) return;
    POINT cursor;
    if (!GetCursorPosEx(&cursor)) return;
    HWND under = WindowFromPointEx(cursor.x, cursor.y);
    if (under != popup_ && under != list_) return;
    const bool nonClient = message.message >= WM_NCMOUSEMOVE && message.message <= WM_NCXBUTTONDBLCLK;
    if (!nonClient) ScreenToClient(under, &cursor);
    message.hwnd = under;
    message.lParam = MAKELPARAM(cursor.x, cursor.y);
}

void DropdownPopup::OnLoopButtonDown(const MSG& message) {
    if (message.hwnd == popup_) return;  // the frame
    if (message.hwnd == list_) {
        if (message.message == WM_NCLBUTTONDOWN) {
            // The scroll bar works; its button changes no snapshot.
            DispatchMessageW(&message);
            buttonSnapshot_ = kNoSnapshot;
            return;
        }
        if (message.message != WM_LBUTTONDOWN) return;
        buttonPressedOnItem_ = false;
        UINT flags = 0;
        const int item = ListViewHitTest(list_, GET_X_LPARAM(message.lParam), GET_Y_LPARAM(message.lParam), &flags);
        // Clicks on a disabled item do nothing.
        if (!IsItem(item) || IsDisabled(item)) return;
        bool toggled = false;
        if (checkMode_) {
            const unsigned toggle = JX_DROPDOWN_CHECK_TOGGLE | JX_DROPDOWN_CHECK_BY_USER;
            toggled = SetCheck(item, flags & LVHT_ONITEMSTATEICON ? toggle : toggle | JX_DROPDOWN_CHECK_NOT_COMMAND) == S_OK;
        }
        if (!toggled) {
            buttonPressedOnItem_ = true;
            SetCurrent(item, JX_DROPDOWN_CURRENT_NO_SCROLL, nullptr);
        }
        return;
    }
    POINT cursor = {};
    GetCursorPosEx(&cursor);
    if ((callFlags_ & JX_DROPDOWN_EXCLUDE_RECT) && PtInRect(&exclusion_, cursor)) return;
    Close(kCancelClose);
    // The click goes on to its target; on the anchor it only closes the list.
    if (message.hwnd != anchor_) PostMessageW(message.hwnd, message.message, message.wParam, message.lParam);
}

void DropdownPopup::Poll() {
    if (anchor_ && !IsWindow(anchor_)) {
        Close(kCancelClose);
        return;
    }
    if (topmostRoot_ && IsWindow(topmostRoot_) && !GetZOrderDistance(popup_, topmostRoot_))
        SetWindowPos(popup_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    POINT cursor = {};
    GetCursorPosEx(&cursor);
    RECT popupRect = {};
    GetWindowRect(popup_, &popupRect);
    const bool inPopup = PtInRect(&popupRect, cursor);
    if (!inPopup) tip_.HideTip();

    const bool excluding = callFlags_ & JX_DROPDOWN_EXCLUDE_RECT;
    if (excluding && !PtInRect(&exclusion_, cursor) && PointerReturnedToMenu(cursor, cursorAtShow_)) {
        Close(kCancelClose);
        return;
    }

    if (!(headerFlags_ & JX_DROPDOWN_HEADER_STAY_OPEN)) {
        RECT inner = popupRect;
        RECT anchorRect;
        if (reference_ == Reference::kAnchor && GetWindowRect(anchor_, &anchorRect))
            UnionRect(&inner, &popupRect, &anchorRect);
        RECT outer = inner;
        InflateRect(&outer, kLeaveDistance, kLeaveDistance);
        if (PtInRect(&inner, cursor)) {
            mouseEntered_ = true;
        } else if (mouseEntered_ && !PtInRect(&outer, cursor) && GetCapture() != list_) {
            Close(kCancelClose);
            return;
        }
    }

    const int snapshot = ((GetKeyState(VK_RBUTTON) & 1) << 16) | (GetKeyState(VK_LBUTTON) & 1);
    if (buttonSnapshot_ != kNoSnapshot && snapshot != buttonSnapshot_ && !inPopup &&
        !(excluding && PtInRect(&exclusion_, cursor))) {
        Close(kCancelClose);
        return;
    }
    buttonSnapshot_ = snapshot;
}

}  // namespace controls
