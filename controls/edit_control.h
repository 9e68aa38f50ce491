// The edit field with buttons, class JX_Edit (messages and codes in
// jx/edit_control.h). The class is registered when the library loads and
// unregistered when it unloads; each window's state lives in an EditControl
// found through the window extra bytes that follow the system edit's.
#pragma once
#include <windows.h>
#include "jx/edit_control.h"
#include "jx/unique_handle.h"
#include "runtime/host_alloc.h"

namespace controls {

using UniqueIcon = jx::UniqueHandle<HICON, DestroyIcon>;

// The buttons of one field.
enum EditButton : BYTE {
    kNoButton = 0,
    kDropdownButton = 1,
    kActionButton = 2,
};

// Bits of EditControl::buttonFlags
enum EditButtonFlag : int {
    kDropdownHidden = 1,
    kActionShown = 2,
};

class EditControl : public HostObject {
public:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    explicit EditControl(HWND window, LONG style);
    static EditControl* From(HWND window);

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT CallBase(UINT message, WPARAM wParam, LPARAM lParam) const;

    LRESULT OnNcCalcSize(WPARAM wParam, LPARAM lParam);
    LRESULT OnNcHitTest(WPARAM wParam, LPARAM lParam);
    LRESULT OnNcPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnNcMouseMove(WPARAM wParam, LPARAM lParam);
    LRESULT OnNcMouseLeave(WPARAM wParam, LPARAM lParam);
    LRESULT OnNcLButtonDown(WPARAM wParam, LPARAM lParam);
    LRESULT OnKeyDown(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnGetDlgCode(WPARAM wParam, LPARAM lParam);
    LRESULT OnMButtonDown(WPARAM wParam, LPARAM lParam);
    LRESULT OnEnable(WPARAM wParam, LPARAM lParam);
    LRESULT OnThemeChanged(WPARAM wParam, LPARAM lParam);
    LRESULT OnStyleChanging(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetButton(WPARAM wParam, LPARAM lParam);

    void RunDropdownAction();
    void RunActionPress();
    void RunEnter();
    void Notify(WORD code);

    // The button area and one button's part of it, relative to the window's
    // top-left corner.
    RECT ButtonArea() const;
    RECT ButtonRect(EditButton button) const;
    // The button under a point in screen coordinates.
    EditButton HitButton(POINT screen) const;
    bool HasButton(EditButton button) const;
    void PaintButtons() const;
    void PaintButton(HDC dc, EditButton button) const;

    void SetButtonFlags(int flags);

    class PressedButton;
    struct MessageScope;

    HWND window_;
    int buttonFlags_ = 0;
    LONG style_;
    int buttonAreaWidth_ = 0;
    RECT frame_ = {};  // frame widths left, top, right, bottom, as the buttons see them
    UniqueIcon customIcon_;
    EditButton pressed_ = kNoButton;
    EditButton hot_ = kNoButton;
    // Messages being handled; the window may be destroyed inside one (by a
    // parent's notification handler), and the object then outlives it until
    // the outermost handler returns.
    int activeMessages_ = 0;
    bool windowGone_ = false;
};

}  // namespace controls
