#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string>
#include "window/dialog_items.h"
#include "window/fonts.h"
#include "window/list_view_helpers.h"
#include "runtime/module_state.h"
#include "window/tooltip.h"
#include "ui_test_window.h"
#include "window/window_class.h"
#include "window/window_utils.h"

namespace {

using ui_test::ScopedWindow;

constexpr UINT kAskExtra = WM_APP + 1;
constexpr LONG_PTR kExtraValue = 0x5A5A;
SuperclassInfo g_testEdit;

// Answers kAskExtra from its own extra bytes; everything else is the edit's.
LRESULT CALLBACK TestEditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) SetWindowLongPtrW(window, g_testEdit.baseExtra, kExtraValue);
    if (message == kAskExtra) return GetWindowLongPtrW(window, g_testEdit.baseExtra);
    return g_testEdit.CallBase(window, message, wParam, lParam);
}

bool ClassExists(const wchar_t* name) {
    WNDCLASSEXW info = {};
    info.cbSize = sizeof(info);
    return GetClassInfoExW(g_module.moduleInstance, name, &info) != FALSE;
}

TEST(Superclass, EditSuperclassHandlesItsOwnMessagesAndPassesTheRest) {
    g_testEdit.Register("Edit", "JX_TestEdit", TestEditProc, sizeof(LONG_PTR), CS_GLOBALCLASS);
    ASSERT_NE(g_testEdit.atom, 0);
    EXPECT_GT(g_testEdit.baseExtra, 0) << "the system edit keeps its own extra bytes first";
    {
        ScopedWindow parent = ui_test::MakeWindow(L"Static", WS_POPUP);
        ScopedWindow edit(CreateChildControl(0, "JX_TestEdit", 0, 0, 0, 100, 20, parent.get(), 0, 0, "start"));
        ASSERT_TRUE(edit);
        EXPECT_EQ(SendMessageW(edit.get(), kAskExtra, 0, 0), kExtraValue);
        SendMessageW(edit.get(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"ed"));
        wchar_t text[32];
        GetWindowTextW(edit.get(), text, 32);
        EXPECT_STREQ(text, L"edstart") << "the edit's own procedure did the replacement";
    }
    const ATOM atom = g_testEdit.atom;
    g_testEdit.Register("Edit", "JX_TestEdit", TestEditProc, 4, 0);
    EXPECT_EQ(g_testEdit.atom, atom) << "registered once";
    g_testEdit.Unregister();
    EXPECT_FALSE(ClassExists(L"JX_TestEdit"));
    EXPECT_EQ(g_testEdit.baseProc, nullptr);

    SuperclassInfo unknown;
    unknown.Register("NoSuchSystemClass", "JX_TestUnknown", TestEditProc, 4, 0);
    EXPECT_EQ(unknown.atom, 0);
}

TEST(WindowClass, DefaultsAndUnregistrationAtScopeEnd) {
    struct Case {
        unsigned flags;
        bool cursor;
        bool background;
    };
    for (const Case& c : {Case{0, true, true}, Case{kClassNoDefaultBackground, true, false},
                          Case{kClassNoDefaultCursor | kClassNoDefaultBackground, false, false}}) {
        {
            RegisteredWindowClass registered;
            ASSERT_NE(registered.Register("JX_TestPlain", DefWindowProcW, 4, nullptr, c.flags, CS_DBLCLKS), 0);
            WNDCLASSEXW info = {};
            info.cbSize = sizeof(info);
            ASSERT_TRUE(GetClassInfoExW(g_module.moduleInstance, L"JX_TestPlain", &info));
            EXPECT_EQ(info.hCursor != nullptr, c.cursor) << c.flags;
            EXPECT_EQ(info.hbrBackground, c.background ? reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1) : nullptr);
            EXPECT_EQ(info.cbWndExtra, 4);
            EXPECT_EQ(info.style, UINT(CS_DBLCLKS));
        }
        EXPECT_FALSE(ClassExists(L"JX_TestPlain"));
    }
}

TEST(WindowClass, ClassNameReadInUtf8) {
    RegisteredWindowClass registered;
    ASSERT_NE(registered.Register("JX_Größe_日本", DefWindowProcW, 0, nullptr, 0, 0), 0);
    ScopedWindow window(CreateWindowExW(0, L"JX_Größe_日本", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                        g_module.moduleInstance, nullptr));
    ASSERT_TRUE(window);
    str name;
    EXPECT_EQ(GetClassNameText(window.get(), name), int(strlen("JX_Größe_日本")));
    EXPECT_STREQ(name.Text(), "JX_Größe_日本");
    EXPECT_EQ(GetClassNameText(nullptr, name), 0);
    EXPECT_TRUE(name.IsEmpty());
}

TEST(ChildControl, CreatedWithIdTextAndDefaultFont) {
    ScopedWindow parent = ui_test::MakeWindow(L"Static", WS_POPUP);
    HWND button = CreateChildControl(0, "Button", BS_PUSHBUTTON, 1, 2, 50, 20, parent.get(), 77, kChildDefaultFont,
                                     "Ünïcode");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(GetDlgCtrlID(button), 77);
    EXPECT_TRUE(GetWindowLongW(button, GWL_STYLE) & WS_CHILD);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0)), GetDefaultDialogFont());
    wchar_t text[16];
    GetWindowTextW(button, text, 16);
    EXPECT_STREQ(text, L"Ünïcode");
}

std::wstring FaceOf(HFONT font, LOGFONTW& description) {
    GetObjectW(font, sizeof(description), &description);
    return description.lfFaceName;
}

TEST(Fonts, DescriptionFromZeroFromAFontAndFromSystemFonts) {
    FontHandle font;
    LOGFONTW description;
    ASSERT_NE(CreateFontFromDescription(font, nullptr, 0, 0, 0, kFontBaseZero, 0), nullptr);
    EXPECT_EQ(FaceOf(font.Get(), description), L"MS Shell Dlg 2");
    EXPECT_EQ(description.lfHeight, 0);

    ASSERT_NE(CreateFontFromDescription(font, "Arial", 12, kFontItalic, 90, kFontBaseZero, 0), nullptr);
    FontHandle bold;
    ASSERT_NE(CreateFontFromDescription(bold, nullptr, 0, kFontBold, 0, UINT_PTR(font.Get()), kFontStyle), nullptr);
    EXPECT_EQ(FaceOf(bold.Get(), description), L"Arial") << "only the style changed";
    EXPECT_EQ(description.lfWeight, FW_BOLD);
    EXPECT_FALSE(description.lfItalic);
    EXPECT_EQ(description.lfEscapement, 900);
    EXPECT_LT(description.lfHeight, 0);

    for (UINT_PTR base : {kFontBaseDialog, kFontBaseIconTitle, kFontBaseMenu, kFontBaseMessage}) {
        FontHandle system;
        EXPECT_NE(CreateFontFromDescription(system, "Courier New", 0, 0, 0, base, kFontFace), nullptr) << base;
        EXPECT_EQ(FaceOf(system.Get(), description), L"Courier New");
    }
}

TEST(Fonts, DialogUnitsOfAFontAndOfTheSystem) {
    int cx = 0;
    const int cy = GetDialogUnits(GetDefaultDialogFont(), &cx);
    EXPECT_GT(cx, 0);
    EXPECT_GT(cy, cx);
    const LONG system = GetDialogBaseUnits();
    EXPECT_EQ(GetDialogUnits(nullptr, &cx), HIWORD(system));
    EXPECT_EQ(cx, LOWORD(system));
}


TEST(ListViewHelpers, SortArrowReportsAndReplacesTheDirection) {
    ScopedWindow parent = ui_test::MakeWindow(L"Static", WS_POPUP);
    HWND listView = CreateChildControl(0, WC_LISTVIEWA, LVS_REPORT, 0, 0, 300, 200, parent.get(), 1, 0, nullptr);
    ASSERT_NE(listView, nullptr);
    for (int column = 0; column < 3; ++column) ListViewInsertColumn(listView, column, "c", 50, false);
    ASSERT_EQ(ListViewColumnCount(listView), 3);

    EXPECT_EQ(ListViewSortArrow(listView, 0, kSortAscending, 0), kSortNone);
    EXPECT_EQ(ListViewSortArrow(listView, 1, kSortDescending, 0), kSortNone);
    EXPECT_EQ(ListViewSortArrow(listView, 0, kSortNone, kSortArrowQuery), kSortAscending) << "a query changes nothing";
    EXPECT_EQ(ListViewSortArrow(listView, 0, kSortNone, 0), kSortAscending);
    EXPECT_EQ(ListViewSortArrow(listView, 0, kSortNone, kSortArrowQuery), kSortNone);
    EXPECT_EQ(ListViewSortArrow(listView, 2, kSortAscending, kSortArrowClearOthers), kSortNone);
    EXPECT_EQ(ListViewSortArrow(listView, 1, kSortNone, kSortArrowQuery), kSortNone) << "cleared by column 2";
    EXPECT_EQ(ListViewSortArrow(listView, 2, kSortNone, kSortArrowQuery), kSortAscending);
    EXPECT_EQ(ListViewSortArrow(listView, 9, kSortAscending, 0), kSortNone) << "no such column";
}

TEST(ListViewHelpers, ColumnsFitTheClientWidthAndSelectionFollowsSelectOnly) {
    ScopedWindow parent = ui_test::MakeWindow(L"Static", WS_POPUP);
    HWND listView = CreateChildControl(0, WC_LISTVIEWA, LVS_REPORT, 0, 0, 300, 200, parent.get(), 1, 0, nullptr);
    ListViewInsertColumn(listView, 0, "a", -50, false);
    ListViewInsertColumn(listView, 1, "b", 50, false);
    RECT client;
    GetClientRect(listView, &client);
    EXPECT_EQ(ListView_GetColumnWidth(listView, 0), client.right / 2) << "half of the client width";
    ListViewFitColumns(listView, 2);
    const int total = ListView_GetColumnWidth(listView, 0) + ListView_GetColumnWidth(listView, 1);
    EXPECT_LE(client.right - total, 2) << "only truncation is lost";
    EXPECT_GT(ListView_GetColumnWidth(listView, 0), ListView_GetColumnWidth(listView, 1));

    for (const char* text : {"x", "y", "z"}) ListViewInsertItem(listView, -1, text, 0, -1, 0, nullptr);
    ListViewSetItemState(listView, -1, LVIS_SELECTED, LVIS_SELECTED);
    ItemIndexList selection;
    ListViewGetSelection(listView, selection);
    EXPECT_EQ(selection.size(), 3u);
    ListViewSelectOnly(listView, 2, true);
    ListViewGetSelection(listView, selection);
    EXPECT_EQ(selection, ItemIndexList{2});
    EXPECT_EQ(ListViewGetFocusedSelected(listView), 2);
    EXPECT_EQ(ListViewColumnFromX(listView, 2, ListView_GetColumnWidth(listView, 0) + 1), 1);
    EXPECT_EQ(ListViewColumnFromX(listView, 2, total + 5), -1);
}

TEST(DialogItems, DroppedWidthGrowsOnlyForLongItems) {
    ScopedWindow dialog = ui_test::MakeWindow(L"Static", WS_POPUP);
    HWND combo = CreateChildControl(0, "ComboBox", CBS_DROPDOWNLIST, 0, 0, 60, 200, dialog.get(), 9,
                                    kChildDefaultFont, nullptr);
    ASSERT_NE(combo, nullptr);
    RECT bounds;
    GetWindowRect(combo, &bounds);
    const int controlWidth = bounds.right - bounds.left;

    ComboSetDroppedWidth(dialog.get(), 9, 1.5);
    EXPECT_EQ(SendMessageW(combo, CB_GETDROPPEDWIDTH, 0, 0), controlWidth * 3 / 2);
    ComboSetDroppedWidth(dialog.get(), 9, 0);
    EXPECT_EQ(SendMessageW(combo, CB_GETDROPPEDWIDTH, 0, 0), controlWidth * 3 / 2) << "an empty list is left alone";
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"WWWWWWWWW"));
    ComboSetDroppedWidth(dialog.get(), 9, 0);
    EXPECT_EQ(SendMessageW(combo, CB_GETDROPPEDWIDTH, 0, 0), controlWidth) << "9 characters never widen";
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"WWWWWWWWWWWWWWWWWWWW"));
    ComboSetDroppedWidth(dialog.get(), 9, 0);
    EXPECT_GT(SendMessageW(combo, CB_GETDROPPEDWIDTH, 0, 0), controlWidth);

    str text;
    EXPECT_EQ(ComboGetItemText(dialog.get(), 9, text, -1), -1) << "nothing selected";
    EXPECT_EQ(ComboFind(dialog.get(), 9, "wwwwwwwwww", false), 1);
    ComboSetCurSel(dialog.get(), 9, 1);
    EXPECT_EQ(ComboGetItemText(dialog.get(), 9, text, -1), 1);
    EXPECT_STREQ(text.Text(), "WWWWWWWWWWWWWWWWWWWW");
}

TEST(DialogItems, ReplaceEditTextFlags) {
    ScopedWindow dialog = ui_test::MakeWindow(L"Static", WS_POPUP);
    HWND edit = CreateChildControl(0, "Edit", ES_AUTOHSCROLL, 0, 0, 100, 20, dialog.get(), 3, 0, "abc");
    ASSERT_NE(edit, nullptr);
    str text;
    const auto textOf = [&] {
        GetWindowTextEx(text, edit, kWindowTextByMessage);
        return std::string(text.Text());
    };
    SendMessageW(edit, EM_SETSEL, 3, 3);
    ReplaceEditText(dialog.get(), 3, "dé", 0);
    EXPECT_EQ(textOf(), "abcdé");
    ReplaceEditText(dialog.get(), 3, "new", kReplaceAll);
    EXPECT_EQ(textOf(), "new");
    DWORD start = 1, end = 1;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 0u) << "caret back at the start";
    SendMessageW(edit, EM_EMPTYUNDOBUFFER, 0, 0);
    ReplaceEditText(dialog.get(), 3, "new", kReplaceAll | kReplaceUnlessEqual);
    EXPECT_FALSE(SendMessageW(edit, EM_CANUNDO, 0, 0)) << "equal text is not replaced";
    ReplaceEditText(dialog.get(), 3, "other", kReplaceAll | kReplaceUnlessEqual);
    EXPECT_EQ(textOf(), "other");
    EXPECT_TRUE(SendMessageW(edit, EM_CANUNDO, 0, 0)) << "undoable";
}


int ToolCount(const TooltipHolder& holder) {
    return int(SendMessageW(holder.Tooltip(), TTM_GETTOOLCOUNT, 0, 0));
}

TEST(Tooltips, ToolOptionsAndTrackingTip) {
    ScopedWindow owner = ui_test::MakeWindow(L"Static", WS_POPUP);
    ScopedWindow panel = ui_test::MakeWindow(L"Static", 0, owner.get(), 1);
    ui_test::MakeWindow(L"Button", 0, panel.get(), 2).release();  // destroyed with its parent
    TooltipHolder holder;
    ASSERT_TRUE(holder.Create(owner.get(), 0, 5000));
    EXPECT_EQ(SendMessageW(holder.Tooltip(), TTM_GETMAXTIPWIDTH, 0, 0), TooltipHolder::kMaxTipWidth);

    holder.AddTool(0, panel.get(), ".2 Panel and its button");
    EXPECT_EQ(ToolCount(holder), 2) << "the panel and its child";
    holder.AddTool(0, panel.get(), ".1 As a rectangle");
    ASSERT_EQ(ToolCount(holder), 3);
    wchar_t text[64] = {};
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.lpszText = text;
    ASSERT_TRUE(SendMessageW(holder.Tooltip(), TTM_ENUMTOOLSW, 2, reinterpret_cast<LPARAM>(&tool)));
    EXPECT_STREQ(text, L"As a rectangle");
    EXPECT_FALSE(tool.uFlags & TTF_IDISHWND);
    EXPECT_EQ(tool.hwnd, owner.get());

    TooltipHolder tracking;
    tracking.ShowTip("first", 5, 5, owner.get(), TTF_ABSOLUTE);
    ASSERT_NE(tracking.Tooltip(), nullptr);
    EXPECT_TRUE(tracking.TipShowing());
    tracking.ShowTip("second", 5, 5, nullptr, TTF_ABSOLUTE);
    EXPECT_EQ(ToolCount(tracking), 1) << "one tool, its text replaced";
    tracking.HideTip();
    EXPECT_FALSE(tracking.TipShowing());
}

}  // namespace
