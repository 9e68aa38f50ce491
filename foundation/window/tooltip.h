// A tooltip window owned by one control: tools for child controls and a
// tracking tip shown at a point.
#pragma once
#include <windows.h>

// Tool options written at the start of AddTool's text: "." + number + " ".
enum TooltipToolOption : unsigned {
    kToolIsRect = 1,         // the tool is the control's rectangle in the owner's client area
    kToolAddToChildren = 2,  // every descendant of the control gets the same tool
};

class TooltipHolder {
public:
    static constexpr int kMaxTipWidth = 550;
    static constexpr int kMaxTrackingTipWidth = 500;

    TooltipHolder() = default;
    ~TooltipHolder();  // destroys the tooltip window
    TooltipHolder(const TooltipHolder&) = delete;
    TooltipHolder& operator=(const TooltipHolder&) = delete;

    // A tooltip owned by `owner`, with TTS_NOPREFIX added to `style`; an
    // `autoPopTimeMs` of 0 keeps the default display time.
    bool Create(HWND owner, DWORD style, int autoPopTimeMs);
    // A tool for `control` with TTF_* `flags`; `text` may start with the
    // options ".N ", the rest is the tip text.
    void AddTool(UINT flags, HWND control, const char* text);
    // Shows a tracking balloon with `text` at (x, y): client coordinates of
    // `clientOf`, or screen coordinates without it.
    void ShowTip(const char* text, int x, int y, HWND clientOf, UINT toolFlags);
    void HideTip();
    // The window the tracking tip belongs to, for a holder never Created.
    void SetOwner(HWND owner) { owner_ = owner; }
    // Destroys the tooltip window; a later tip makes a new one.
    void Destroy();

    HWND Tooltip() const { return tooltip_; }
    HWND Owner() const { return owner_; }
    bool TipShowing() const { return flags_ & kTipShowing; }

private:
    enum HolderFlag : unsigned {
        kTipShowing = 1,          // a tracking tip is shown
        kTrackingToolAdded = 2,   // the tracking tool exists
        kSubclassToolAdded = 4,   // before Vista: the owner's subclassing-only tool exists
    };
    struct ChildToolRequest;
    void AddOneTool(UINT flags, HWND toolWindow, HWND control, const RECT* rect, const wchar_t* text);
    static BOOL CALLBACK AddChildTool(HWND child, LPARAM request);

    HWND tooltip_ = nullptr;
    HWND owner_ = nullptr;
    unsigned flags_ = 0;
};
