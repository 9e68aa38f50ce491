// Tooltips of the controls.
#include "window/tooltip.h"
#include <commctrl.h>
#include "runtime/module_state.h"
#include "text/numbers.h"
#include "text/str.h"

namespace {
constexpr char kToolOptionsMark = '.';
constexpr DWORD kTrackingTipStyle = WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | TTS_ALWAYSTIP;

// The tool record in the size every comctl32 version accepts.
TOOLINFOW ToolInfo(UINT flags, HWND window, UINT_PTR id, const wchar_t* text) {
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = flags;
    tool.hwnd = window;
    tool.uId = id;
    tool.lpszText = const_cast<wchar_t*>(text);
    return tool;
}

HWND CreateTooltipWindow(DWORD exStyle, DWORD style, HWND owner) {
    return CreateWindowExW(exStyle, TOOLTIPS_CLASSW, nullptr, style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, owner, nullptr, g_module.moduleInstance, nullptr);
}

}  // namespace

struct TooltipHolder::ChildToolRequest {
    TooltipHolder* holder;
    UINT flags;
    const wchar_t* text;
};

TooltipHolder::~TooltipHolder() { Destroy(); }

void TooltipHolder::Destroy() {
    if (tooltip_ && IsWindow(tooltip_)) DestroyWindow(tooltip_);
    tooltip_ = nullptr;
    flags_ = 0;
}

bool TooltipHolder::Create(HWND owner, DWORD style, int autoPopTimeMs) {
    Destroy();
    owner_ = owner;
    tooltip_ = CreateTooltipWindow(WS_EX_TRANSPARENT, WS_POPUP | style | TTS_NOPREFIX, owner);
    if (!tooltip_) return false;
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, kMaxTipWidth);
    if (autoPopTimeMs) SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(autoPopTimeMs, 0));
    SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);
    return true;
}

void TooltipHolder::AddOneTool(UINT flags, HWND toolWindow, HWND control, const RECT* rect, const wchar_t* text) {
    TOOLINFOW tool = ToolInfo(flags, toolWindow, reinterpret_cast<UINT_PTR>(control), text);
    if (rect) tool.rect = *rect;
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

BOOL CALLBACK TooltipHolder::AddChildTool(HWND child, LPARAM parameter) {
    auto* request = reinterpret_cast<ChildToolRequest*>(parameter);
    request->holder->AddOneTool(request->flags, GetParent(child), child, nullptr, request->text);
    return TRUE;
}

void TooltipHolder::AddTool(UINT flags, HWND control, const char* text) {
    unsigned options = 0;
    if (text && *text == kToolOptionsMark) {
        const char* end;
        options = unsigned(ParseIntEnd(text + 1, &end));
        text = *end == ' ' ? end + 1 : end;
    }
    const wchar_t* tipText = TempBstr(text ? text : "");

    if (g_module.windowsVersion < kWindowsVista && (flags & TTF_SUBCLASS) && !(flags_ & kSubclassToolAdded)) {
        // Old tooltips relay the owner's mouse messages only through a tool
        // that subclasses it.
        flags_ |= kSubclassToolAdded;
        if (!(options & kToolIsRect)) {
            TOOLINFOW tool = ToolInfo(TTF_SUBCLASS, owner_, 0, nullptr);
            SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }

    if (options & kToolIsRect) {
        RECT rect;
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, owner_, reinterpret_cast<POINT*>(&rect), 2);
        AddOneTool(flags, owner_, control, &rect, tipText);
    } else {
        AddOneTool(TTF_IDISHWND | flags, owner_, control, nullptr, tipText);
    }

    if (options & kToolAddToChildren) {
        ChildToolRequest request{this, TTF_IDISHWND | flags, tipText};
        EnumChildWindows(control, AddChildTool, reinterpret_cast<LPARAM>(&request));
    }
}

void TooltipHolder::ShowTip(const char* text, int x, int y, HWND clientOf, UINT toolFlags) {
    if (!tooltip_) {
        tooltip_ = CreateTooltipWindow(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kTrackingTipStyle, owner_);
        if (!tooltip_) return;
        SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, kMaxTrackingTipWidth);
    }
    TOOLINFOW tool = ToolInfo(toolFlags | TTF_TRACK, owner_, 0, TempBstr(text ? text : ""));
    if (flags_ & kTrackingToolAdded) {
        SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    } else if (SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool))) {
        flags_ |= kTrackingToolAdded;
    }
    POINT point = {x, y};
    if (clientOf) ClientToScreen(clientOf, &point);
    SendMessageW(tooltip_, TTM_TRACKPOSITION, 0, MAKELPARAM(point.x, point.y));
    SendMessageW(tooltip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
    flags_ |= kTipShowing;
}

void TooltipHolder::HideTip() {
    if (!(flags_ & kTipShowing)) return;
    flags_ &= ~unsigned(kTipShowing);
    TOOLINFOW tool = ToolInfo(0, owner_, 0, nullptr);
    SendMessageW(tooltip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}
