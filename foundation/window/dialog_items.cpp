// Button, edit and combo-box helpers.
#include "window/dialog_items.h"
#include <algorithm>
#include "window/monitors.h"
#include "window/window_utils.h"

namespace {
// ComboSetDroppedWidth: shorter items never widen the list.
constexpr int kShortItemUnits = 9;
// Room beside an item's text: the list's scroll bar plus this margin.
constexpr int kItemMargin = 20;
// The list stays this much narrower than the screen, unless the control is wider.
constexpr int kScreenMargin = 100;
// A list that would pass the work area's right edge is cut there when the
// control itself ends at most this far beyond it.
constexpr int kWorkAreaTolerance = 10;

// A window DC with a font selected, both undone at scope end.
class WindowFontDC {
public:
    WindowFontDC(HWND window, HFONT font) : window_(window), dc_(GetDC(window)) {
        if (dc_ && font) previous_ = SelectObject(dc_, font);
    }
    ~WindowFontDC() {
        if (!dc_) return;
        if (previous_) SelectObject(dc_, previous_);
        ReleaseDC(window_, dc_);
    }
    WindowFontDC(const WindowFontDC&) = delete;
    WindowFontDC& operator=(const WindowFontDC&) = delete;

    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
    HGDIOBJ previous_ = nullptr;
};

// The width a list needs for its longest item, at most `limit`.
int WidestItemNeed(HWND combo, int count, int minimum, int limit) {
    const auto font = reinterpret_cast<HFONT>(CallWindowProcDirect(combo, WM_GETFONT, 0, 0));
    WindowFontDC dc(combo, font);
    const int extra = GetSystemMetrics(SM_CXVSCROLL) + kItemMargin;
    int width = minimum;
    str text;
    for (int index = 0; index < count; ++index) {
        const int units = int(CallWindowProcDirect(combo, CB_GETLBTEXTLEN, WPARAM(index), 0));
        if (units <= kShortItemUnits) continue;
        wchar_t* wide = text.GetWideBuffer(units + 1);
        const int got = int(CallWindowProcDirect(combo, CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(wide)));
        SIZE size;
        if (got <= 0 || !dc.Get() || !GetTextExtentPoint32W(dc.Get(), wide, std::min(got, units), &size)) continue;
        const int need = size.cx + extra;
        if (need > limit) return limit;
        width = std::max(width, need);
    }
    return width;
}
}  // namespace

HWND GetItem(HWND dialog, int id) { return id ? GetDlgItem(dialog, id) : dialog; }

UINT IsButtonChecked(HWND dialog, int id) {
    return id ? IsDlgButtonChecked(dialog, id) : UINT(CallWindowProcDirect(dialog, BM_GETCHECK, 0, 0));
}

void SetButtonCheck(HWND dialog, int id, UINT state) {
    CallWindowProcDirect(GetItem(dialog, id), BM_SETCHECK, state, 0);
}

LRESULT SetItemText(HWND dialog, int id, const char* text) {
    return SetControlText(GetItem(dialog, id), text ? text : "");
}

void SetItemTextSelectAll(HWND dialog, int id, const char* text) {
    HWND edit = GetItem(dialog, id);
    SetControlText(edit, text ? text : "");
    CallWindowProcDirect(edit, EM_SETSEL, 0, -1);
}

void ReplaceEditText(HWND dialog, int id, const char* text, unsigned flags) {
    HWND edit = GetItem(dialog, id);
    if (flags & kReplaceFocusFirst) SetFocus(edit);
    if (flags & kReplaceUnlessEqual) {
        str current;
        GetControlText(current, edit);
        if (current.Equals(text, kEqualsNullAsEmpty)) return;
    }
    if (flags & kReplaceAll) CallWindowProcDirect(edit, EM_SETSEL, 0, -1);
    SendTextMessage(edit, EM_REPLACESEL, TRUE, text ? text : "");
    if ((flags & kReplaceAll) && !(flags & kReplaceKeepSelection) && text && *text) {
        CallWindowProcDirect(edit, EM_SETSEL, 0, 0);
        if (GetStyle(edit) & ES_MULTILINE) CallWindowProcDirect(edit, EM_SCROLLCARET, 0, 0);
    }
}

int ComboGetCurSel(HWND dialog, int id) { return int(CallWindowProcDirect(GetItem(dialog, id), CB_GETCURSEL, 0, 0)); }

int ComboSetCurSel(HWND dialog, int id, int index) {
    return int(CallWindowProcDirect(GetItem(dialog, id), CB_SETCURSEL, WPARAM(index), 0));
}

int ComboGetItemText(HWND dialog, int id, str& out, int index) {
    out.Empty();
    HWND combo = GetItem(dialog, id);
    if (index < 0) index = int(CallWindowProcDirect(combo, CB_GETCURSEL, 0, 0));
    if (index < 0) return -1;
    const int units = int(CallWindowProcDirect(combo, CB_GETLBTEXTLEN, WPARAM(index), 0));
    if (units < 0) return -1;
    SendMessageGetText(combo, CB_GETLBTEXT, WPARAM(index), out, units + 1);
    return index;
}

int ComboFind(HWND dialog, int id, const char* text, bool exact) {
    return int(SendTextMessage(GetItem(dialog, id), exact ? CB_FINDSTRINGEXACT : CB_FINDSTRING, WPARAM(-1), text));
}

void ComboSetDroppedWidth(HWND dialog, int id, double factor) {
    HWND combo = GetItem(dialog, id);
    RECT bounds;
    if (!GetWindowRect(combo, &bounds)) return;
    const int controlWidth = bounds.right - bounds.left;
    int width;
    if (factor != 0) {
        width = int(factor * controlWidth);
    } else {
        const int count = int(CallWindowProcDirect(combo, CB_GETCOUNT, 0, 0));
        if (count <= 0) return;
        const int limit = std::max(controlWidth, GetSystemMetrics(SM_CXSCREEN) - kScreenMargin);
        width = WidestItemNeed(combo, count, controlWidth, limit);
        if (width > controlWidth) {
            RECT work;
            GetMonitorRectFromWindow(&work, combo, true);
            if (work.right < bounds.left + width && work.right >= bounds.right - kWorkAreaTolerance)
                width = work.right - bounds.left;
        }
    }
    CallWindowProcDirect(combo, CB_SETDROPPEDWIDTH, WPARAM(width), 0);
}
