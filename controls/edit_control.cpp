// The edit field with buttons: layout, hit testing and painting of the
// buttons in the non-client area, their presses and keys, and the
// notifications to the parent.
#include "edit_control.h"
#include <windowsx.h>
#include <commctrl.h>
#include <uxtheme.h>
#include <algorithm>
#include <new>
#include "runtime/host_boundary.h"
#include "runtime/module_state.h"
#include "window/capture_loop.h"
#include "window/window_class.h"
#include "window/window_utils.h"

namespace controls {
namespace {

constexpr int kDropdownButtonWidth = 16;
constexpr int kActionButtonWidth = 19;
constexpr int kIconSize = 16;
// The action button's icon sits this far into its wider button.
constexpr int kActionIconOffset = 2;
// A right frame this wide under a visual style is drawn 1 pixel wide beside
// the buttons, and top and bottom frames this wide count as 1 for them.
constexpr int kThemedFrameWidth = 2;
// Set-button wParam bits 8-9 hold the button flags inverted.
constexpr int kButtonSelectionShift = 8;
constexpr int kAllButtonFlags = kDropdownHidden | kActionShown;

constexpr COLORREF kButtonBackground = RGB(255, 255, 255);
constexpr COLORREF kHotBackground = 0xFBF1E5;
constexpr COLORREF kPressedBackground = 0xF7E4CC;
constexpr COLORREF kButtonEdge = 0xE09060;

// The class, registered with the library and unregistered before the
// module state is torn down; the host is told of it.
struct EditClassRegistrar {
    SuperclassInfo superclass;
    EditClassRegistrar() {
        if (g_module.startupFailed) return;
        superclass.Register("Edit", JX_EDIT_CLASS, EditControl::Procedure, sizeof(LONG_PTR), CS_GLOBALCLASS);
        if (!superclass.atom) return;
        if (const JxSetWindowClassFlagsFn announce = HostSetWindowClassFlags())
            announce(JX_EDIT_CLASS, JX_EDIT_CLASS_FLAGS);
    }
};
EditClassRegistrar g_editClass;

const SuperclassInfo& EditClass() { return g_editClass.superclass; }

class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetWindowDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

using UniqueRegion = jx::UniqueHandle<HRGN, DeleteObject>;

POINT PointFromLParam(LPARAM lParam) { return {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

int ButtonAreaWidth(int buttonFlags) {
    return (buttonFlags & kDropdownHidden ? 0 : kDropdownButtonWidth) +
           (buttonFlags & kActionShown ? kActionButtonWidth : 0);
}

// The DC brush needs no object of its own.
void FillSolid(HDC dc, const RECT& rect, COLORREF color) {
    SetDCBrushColor(dc, color);
    FillRect(dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

// The icon a set-button source yields, owned by the caller; null when none.
HICON IconFromSource(WPARAM wParam, LPARAM lParam) {
    if (!lParam) return nullptr;
    switch (wParam & JX_EDIT_ICON_SOURCE_MASK) {
    case JX_EDIT_ICON_FILE: {
        const JxGetFileIconFn getFileIcon = HostGetFileIcon();
        return getFileIcon ? getFileIcon(reinterpret_cast<const char*>(lParam), 0, 0) : nullptr;
    }
    case JX_EDIT_ICON_HANDLE:
        return CopyIcon(reinterpret_cast<HICON>(lParam));
    case JX_EDIT_ICON_IMAGELIST:
        return ImageList_GetIcon(reinterpret_cast<HIMAGELIST>(lParam), int(HIWORD(wParam)), ILD_NORMAL);
    default:
        return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), reinterpret_cast<const char*>(lParam),
                                             IMAGE_ICON, kIconSize, kIconSize, LR_DEFAULTCOLOR));
    }
}

}  // namespace

// Counts a message being handled, and frees the object after the outermost
// one once its window is gone.
struct EditControl::MessageScope {
    EditControl* edit;
    explicit MessageScope(EditControl* handled) : edit(handled) { ++edit->activeMessages_; }
    ~MessageScope() {
        if (--edit->activeMessages_ == 0 && edit->windowGone_) delete edit;
    }
    MessageScope(const MessageScope&) = delete;
    MessageScope& operator=(const MessageScope&) = delete;
};

// A button shown pressed for the life of this object.
class EditControl::PressedButton {
public:
    PressedButton(EditControl& edit, EditButton button) : edit_(edit) {
        edit_.pressed_ = button;
        edit_.PaintButtons();
    }
    ~PressedButton() {
        edit_.pressed_ = kNoButton;
        edit_.PaintButtons();
    }
    PressedButton(const PressedButton&) = delete;
    PressedButton& operator=(const PressedButton&) = delete;

private:
    EditControl& edit_;
};

EditControl::EditControl(HWND window, LONG style)
    : window_(window), style_(style), buttonAreaWidth_(ButtonAreaWidth(0)) {}

EditControl* EditControl::From(HWND window) {
    return reinterpret_cast<EditControl*>(GetWindowLongPtrW(window, EditClass().baseExtra));
}

LRESULT CALLBACK EditControl::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return AtHostBoundary([&]() -> LRESULT {
        const SuperclassInfo& base = EditClass();
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            auto* edit = new (std::nothrow) EditControl(window, create->style);
            if (!edit) return FALSE;
            SetWindowLongPtrW(window, base.baseExtra, reinterpret_cast<LONG_PTR>(edit));
            const LRESULT created = base.CallBase(window, message, wParam, lParam);
            if (!created && From(window) == edit) {
                SetWindowLongPtrW(window, base.baseExtra, 0);
                delete edit;
            }
            return created;
        }
        EditControl* edit = From(window);
        if (!edit) return base.CallBase(window, message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(window, base.baseExtra, 0);
            edit->windowGone_ = true;
            edit->customIcon_.reset();
            if (!edit->activeMessages_) delete edit;
            return base.CallBase(window, message, wParam, lParam);
        }
        MessageScope scope(edit);
        return edit->OnMessage(message, wParam, lParam);
    });
}

LRESULT EditControl::CallBase(UINT message, WPARAM wParam, LPARAM lParam) const {
    return EditClass().CallBase(window_, message, wParam, lParam);
}

LRESULT EditControl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCALCSIZE:
        return OnNcCalcSize(wParam, lParam);
    case WM_NCHITTEST:
        return OnNcHitTest(wParam, lParam);
    case WM_NCPAINT:
        return OnNcPaint(wParam, lParam);
    case WM_NCMOUSEMOVE:
        return OnNcMouseMove(wParam, lParam);
    case WM_NCMOUSELEAVE:
        return OnNcMouseLeave(wParam, lParam);
    case WM_NCLBUTTONDOWN:
        return OnNcLButtonDown(wParam, lParam);
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        return OnKeyDown(message, wParam, lParam);
    case WM_GETDLGCODE:
        return OnGetDlgCode(wParam, lParam);
    case WM_MBUTTONDOWN:
        return OnMButtonDown(wParam, lParam);
    case WM_ENABLE:
        return OnEnable(wParam, lParam);
    case WM_THEMECHANGED:
        return OnThemeChanged(wParam, lParam);
    case WM_STYLECHANGING:
        return OnStyleChanging(wParam, lParam);
    case JX_EDIT_SETBUTTON:
        return OnSetButton(wParam, lParam);
    }
    return CallBase(message, wParam, lParam);
}

// The base computes the client rectangle; what it leaves around it is the
// frame, and the buttons then take their width from the client's right.
LRESULT EditControl::OnNcCalcSize(WPARAM wParam, LPARAM lParam) {
    RECT& client = wParam ? reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0] : *reinterpret_cast<RECT*>(lParam);
    const RECT given = client;
    CallBase(WM_NCCALCSIZE, wParam, lParam);
    frame_ = {client.left - given.left, client.top - given.top, given.right - client.right,
              given.bottom - client.bottom};
    frame_.right = std::min(frame_.right, frame_.left);
    buttonAreaWidth_ = ButtonAreaWidth(buttonFlags_);
    if (!buttonAreaWidth_) return 0;
    if (frame_.right == kThemedFrameWidth && GetWindowTheme(window_)) {
        frame_.right = 1;
        client.right += 1;
        if (frame_.top == kThemedFrameWidth) frame_.top = 1;
        if (frame_.bottom == kThemedFrameWidth) frame_.bottom = 1;
    }
    client.right = std::max(client.left, client.right - buttonAreaWidth_);
    return 0;
}

LRESULT EditControl::OnNcHitTest(WPARAM wParam, LPARAM lParam) {
    if (HitButton(PointFromLParam(lParam))) return HTMENU;
    return CallBase(WM_NCHITTEST, wParam, lParam);
}

// The base paints the frame without the buttons, which are drawn here.
LRESULT EditControl::OnNcPaint(WPARAM wParam, LPARAM lParam) {
    if (!buttonAreaWidth_) return CallBase(WM_NCPAINT, wParam, lParam);
    RECT windowRect;
    GetWindowRect(window_, &windowRect);
    RECT buttons = ButtonArea();
    OffsetRect(&buttons, windowRect.left, windowRect.top);
    // wParam 1 stands for the whole window.
    const HRGN update = wParam == 1 ? nullptr : reinterpret_cast<HRGN>(wParam);
    UniqueRegion whole(update ? nullptr : CreateRectRgnIndirect(&windowRect));
    UniqueRegion buttonRegion(CreateRectRgnIndirect(&buttons));
    UniqueRegion rest(CreateRectRgn(0, 0, 0, 0));
    if (!buttonRegion || !rest || (!update && !whole)) return CallBase(WM_NCPAINT, wParam, lParam);
    const int remains = CombineRgn(rest.get(), update ? update : whole.get(), buttonRegion.get(), RGN_DIFF);
    if (remains != NULLREGION && remains != ERROR) CallBase(WM_NCPAINT, reinterpret_cast<WPARAM>(rest.get()), lParam);
    if (update && !RectInRegion(update, &buttons)) return 0;
    PaintButtons();
    return 0;
}

LRESULT EditControl::OnNcMouseMove(WPARAM wParam, LPARAM lParam) {
    const EditButton over = HitButton(PointFromLParam(lParam));
    if (over != hot_) {
        if (over && !hot_) {
            TRACKMOUSEEVENT leave = {sizeof leave, TME_LEAVE | TME_NONCLIENT, window_, 0};
            TrackMouseEvent(&leave);
        }
        hot_ = over;
        PaintButtons();
    }
    if (over) return 0;
    return CallBase(WM_NCMOUSEMOVE, wParam, lParam);
}

LRESULT EditControl::OnNcMouseLeave(WPARAM wParam, LPARAM lParam) {
    hot_ = kNoButton;
    PaintButtons();
    return CallBase(WM_NCMOUSELEAVE, wParam, lParam);
}

LRESULT EditControl::OnNcLButtonDown(WPARAM wParam, LPARAM lParam) {
    switch (HitButton(PointFromLParam(lParam))) {
    case kDropdownButton:
        RunDropdownAction();
        return 0;
    case kActionButton:
        RunActionPress();
        return 0;
    case kNoButton:
        break;
    }
    return CallBase(WM_NCLBUTTONDOWN, wParam, lParam);
}

// A multi-line field keeps its keys (Enter breaks the line) but gains
// Ctrl+A; a single-line field, and Alt with any field, reports Enter and
// turns the paging and arrow keys into the dropdown action.
LRESULT EditControl::OnKeyDown(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && (style_ & ES_MULTILINE)) {
        if (wParam == 'A' && GetModifierKeys() == kModifierCtrl) {
            CallBase(EM_SETSEL, 0, -1);
            return 0;
        }
        return CallBase(message, wParam, lParam);
    }
    switch (wParam) {
    case VK_RETURN:
        RunEnter();
        return 0;
    case VK_PRIOR:
    case VK_NEXT:
    case VK_UP:
    case VK_DOWN:
        RunDropdownAction();
        return 0;
    }
    return CallBase(message, wParam, lParam);
}

// In a dialog, Enter in a single-line field is the field's (it reports it)
// rather than the default button's; the arrow keys the base already takes.
LRESULT EditControl::OnGetDlgCode(WPARAM wParam, LPARAM lParam) {
    LRESULT code = CallBase(WM_GETDLGCODE, wParam, lParam);
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (!(style_ & ES_MULTILINE) && message && (message->message == WM_KEYDOWN || message->message == WM_CHAR) &&
        message->wParam == VK_RETURN)
        code |= DLGC_WANTMESSAGE;
    return code;
}

// A middle click empties a writable field, as one undoable replacement.
LRESULT EditControl::OnMButtonDown(WPARAM, LPARAM) {
    if (style_ & ES_READONLY) return 0;
    SetFocus(window_);
    if (windowGone_) return 0;
    CallBase(EM_SETSEL, 0, -1);
    CallBase(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
    return 0;
}

// The base repaints only the client area; the buttons show the state too.
LRESULT EditControl::OnEnable(WPARAM wParam, LPARAM lParam) {
    const LRESULT result = CallBase(WM_ENABLE, wParam, lParam);
    PaintButtons();
    return result;
}

LRESULT EditControl::OnThemeChanged(WPARAM wParam, LPARAM lParam) {
    RedrawWindow(window_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
    return CallBase(WM_THEMECHANGED, wParam, lParam);
}

LRESULT EditControl::OnStyleChanging(WPARAM wParam, LPARAM lParam) {
    if (LONG(wParam) == GWL_STYLE) style_ = LONG(reinterpret_cast<const STYLESTRUCT*>(lParam)->styleNew);
    return CallBase(WM_STYLECHANGING, wParam, lParam);
}

LRESULT EditControl::OnSetButton(WPARAM wParam, LPARAM lParam) {
    customIcon_.reset();
    customIcon_.reset(IconFromSource(wParam, lParam));
    const int flags = kAllButtonFlags - int((wParam & JX_EDIT_BUTTONS_MASK) >> kButtonSelectionShift);
    if (flags != buttonFlags_)
        SetButtonFlags(flags);
    else
        RedrawWindow(window_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
    return 0;
}

void EditControl::SetButtonFlags(int flags) {
    buttonFlags_ = flags;
    buttonAreaWidth_ = ButtonAreaWidth(flags);
    if (!HasButton(hot_)) hot_ = kNoButton;
    SetWindowPos(window_, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void EditControl::RunDropdownAction() {
    SetFocus(window_);
    if (windowGone_ || pressed_) return;
    PressedButton press(*this, kDropdownButton);
    Notify(JX_EDIT_NOTIFY_DROPDOWN);
}

// Tracks the mouse until the button is released; a release over the
// action button is a click.
void EditControl::RunActionPress() {
    SetFocus(window_);
    if (windowGone_ || pressed_) return;
    bool released = false;
    POINT releasePoint = {};
    {
        PressedButton press(*this, kActionButton);
        CaptureLoop loop(window_, kStopOnLeftUp);
        while (loop.Next()) {
        }
        released = loop.endedByButton == kStopOnLeftUp;
        releasePoint = PointFromLParam(loop.msg.lParam);
    }
    if (windowGone_ || !released) return;
    ClientToScreen(window_, &releasePoint);
    if (HitButton(releasePoint) == kActionButton) Notify(JX_EDIT_NOTIFY_ACTION);
}

void EditControl::RunEnter() {
    SetFocus(window_);
    if (!windowGone_ && !pressed_) Notify(JX_EDIT_NOTIFY_ACTION);
}

void EditControl::Notify(WORD code) {
    const HWND parent = GetParent(window_);
    if (!parent) return;
    SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window_), code), reinterpret_cast<LPARAM>(window_));
}

RECT EditControl::ButtonArea() const {
    RECT windowRect;
    GetWindowRect(window_, &windowRect);
    RECT area;
    area.right = windowRect.right - windowRect.left - frame_.right;
    area.left = area.right - buttonAreaWidth_;
    area.top = frame_.top;
    area.bottom = windowRect.bottom - windowRect.top - frame_.bottom;
    return area;
}

RECT EditControl::ButtonRect(EditButton button) const {
    RECT rect = ButtonArea();
    if (button == kActionButton)
        rect.left = rect.right - kActionButtonWidth;
    else if (HasButton(kActionButton))
        rect.right -= kActionButtonWidth;
    return rect;
}

EditButton EditControl::HitButton(POINT screen) const {
    if (!buttonAreaWidth_) return kNoButton;
    RECT windowRect;
    GetWindowRect(window_, &windowRect);
    const POINT point = {screen.x - windowRect.left, screen.y - windowRect.top};
    const RECT area = ButtonArea();
    if (!PtInRect(&area, point)) return kNoButton;
    if (HasButton(kActionButton) && point.x >= area.right - kActionButtonWidth) return kActionButton;
    return kDropdownButton;
}

bool EditControl::HasButton(EditButton button) const {
    switch (button) {
    case kDropdownButton:
        return !(buttonFlags_ & kDropdownHidden);
    case kActionButton:
        return (buttonFlags_ & kActionShown) != 0;
    case kNoButton:
        break;
    }
    return false;
}

void EditControl::PaintButtons() const {
    if (windowGone_ || !buttonAreaWidth_) return;
    const WindowDc dc(window_);
    if (!dc.Get()) return;
    const RECT area = ButtonArea();
    IntersectClipRect(dc.Get(), area.left, area.top, area.right, area.bottom);
    if (!IsWindowEnabled(window_)) {
        FillRect(dc.Get(), &area, GetSysColorBrush(COLOR_BTNFACE));
        return;
    }
    for (const EditButton button : {kDropdownButton, kActionButton})
        if (HasButton(button)) PaintButton(dc.Get(), button);
}

void EditControl::PaintButton(HDC dc, EditButton button) const {
    const RECT rect = ButtonRect(button);
    const bool pressed = pressed_ == button, hot = hot_ == button;
    FillSolid(dc, rect, pressed ? kPressedBackground : hot ? kHotBackground : kButtonBackground);
    const HICON icon = button == kDropdownButton ? GetLibraryIcon2()
                       : customIcon_             ? customIcon_.get()
                                                 : GetLibraryIcon1();
    const int x = rect.left + (button == kActionButton ? kActionIconOffset : 0);
    const int y = (rect.top + rect.bottom + 1) / 2 - kIconSize / 2;
    if (icon) DrawIconEx(dc, x, y, icon, kIconSize, kIconSize, 0, nullptr, DI_NORMAL);
    if (!pressed && !hot) return;
    FillSolid(dc, {rect.left, rect.top, rect.left + 1, rect.bottom}, kButtonEdge);
    if (button == kDropdownButton && HasButton(kActionButton))
        FillSolid(dc, {rect.right - 1, rect.top, rect.right, rect.bottom}, kButtonEdge);
}

}  // namespace controls
