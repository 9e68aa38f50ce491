// In-place editing of JX_Grid cells: editors opened by messages, clicks and
// keys, driven by keys posted to the focused editor as a user types them.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>
#include "grid_test_support.h"

namespace {

using grid_test::Grid;
using grid_test::GridTest;
using grid_test::Parent;
using grid_test::Pump;

// Text, dropdown, check box, date and read-only columns.
constexpr wchar_t kKinds[] = L"\r\nText,60\r\nList,60,1\r\nCheck,60,2\r\nDate,60,3\r\nFixed,60,7\r\n";

HWND Editor(const Grid& grid) { return reinterpret_cast<HWND>(grid.Send(LVM_GETEDITCONTROL)); }

// A key as the user presses it in the window that has the focus.
void Press(WPARAM key, bool shift = false) {
    BYTE keys[256] = {};
    if (shift) {
        GetKeyboardState(keys);
        keys[VK_SHIFT] = 0x80;
        SetKeyboardState(keys);
    }
    HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, key, 1);
    PostMessageW(focus, WM_KEYUP, key, 0xC0000001);
    Pump();
    if (shift) {
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
    }
}

HWND EditCell(const Grid& grid, int row, int column) {
    HWND editor = reinterpret_cast<HWND>(grid.Send(LVM_EDITLABELW, row, column));
    Pump();
    return editor;
}

void Type(HWND editor, const wchar_t* text) {
    SetWindowTextW(editor, text);
    Pump();
}

std::vector<int> Reasons(const Parent& parent) {
    std::vector<int> reasons;
    for (const auto& notice : parent.notices)
        if (int(notice.code) == JX_GRID_CHANGED) reasons.push_back(notice.reason);
    return reasons;
}

// A dropdown cell's list filled with `items` when it opens.
void FillListOnOpening(Parent& parent, std::vector<const wchar_t*> items, HWND* list,
                       std::function<LRESULT(const NMHDR&)> also = nullptr) {
    parent.answer = [=](const NMHDR& header) -> LRESULT {
        if (int(header.code) == JX_GRID_LIST_OPENING) {
            *list = reinterpret_cast<const GridNotify&>(header).list;
            for (const wchar_t* item : items) SendMessageW(*list, CB_ADDSTRING, 0, LPARAM(item));
        }
        return also ? also(header) : 0;
    };
}

class GridEditorTest : public GridTest {
protected:
    void SetUp() override {
        GridTest::SetUp();
        ShowWindow(parent_.Handle(), SW_SHOW);
        SetForegroundWindow(parent_.Handle());
    }
    Parent parent_;
};

TEST_F(GridEditorTest, EscapeStoresAndEnterOnTheLastRowAddsOne) {
    Grid grid(parent_.Handle(), kKinds);
    ASSERT_TRUE(grid.SetCsv("a,,,,x\r\nb,,,,y\r\n"));
    HWND editor = EditCell(grid, 1, 0);
    ASSERT_TRUE(editor);
    EXPECT_EQ(GetFocus(), editor);
    EXPECT_EQ(GetDlgCtrlID(editor), 100);
    Type(editor, L"changed");
    parent_.notices.clear();
    Press(VK_ESCAPE);
    EXPECT_FALSE(Editor(grid)) << "Escape closes the editor";
    EXPECT_EQ(grid.Csv(), "a,,,,x\r\nchanged,,,,y\r\n") << "and keeps what was typed";
    EXPECT_EQ(Reasons(parent_), std::vector<int>{JX_GRID_REASON_CELL_STORED});

    // Enter in the last row: a new row, edited at its first cell.
    Type(EditCell(grid, 1, 1), L"list");
    Press(VK_RETURN);
    ASSERT_EQ(grid.Rows(), 3);
    ASSERT_TRUE(Editor(grid));
    Type(Editor(grid), L"third");
    Press(VK_ESCAPE);
    EXPECT_EQ(grid.Csv(), "a,,,,x\r\nchanged,list,,,y\r\nthird,,,,\r\n");
}

TEST_F(GridEditorTest, TabMovesOverReadOnlyCellsAndAddsRowsUnlessFixed) {
    Grid grid(parent_.Handle(), kKinds);
    ASSERT_TRUE(grid.SetCsv("a,b,,1/2/2020,x\r\n"));
    EditCell(grid, 0, 3);
    // Tab from the date column passes over the read-only one into a new row.
    Press(VK_TAB);
    ASSERT_EQ(grid.Rows(), 2);
    ASSERT_TRUE(Editor(grid));
    EXPECT_EQ(GetDlgCtrlID(Editor(grid)), 100);
    // Shift+Tab goes back to the date cell of row 0.
    Press(VK_TAB, true);
    ASSERT_TRUE(Editor(grid));
    EXPECT_EQ(GetDlgCtrlID(Editor(grid)), 103);
    Press(VK_ESCAPE);

    grid.Send(JX_GRID_SETSTYLE, JX_GRID_FIXED_ROWS, JX_GRID_FIXED_ROWS);
    EditCell(grid, 1, 3);
    Press(VK_TAB);
    EXPECT_EQ(grid.Rows(), 2) << "fixed rows: Tab from the last cell only closes";
    EXPECT_FALSE(Editor(grid));
    EXPECT_EQ(EditCell(grid, 2, 0), nullptr) << "and LVM_EDITLABEL adds no row";
}

TEST_F(GridEditorTest, DateEditorDefaultsAndDeleteEmptiesTheCell) {
    Grid grid(parent_.Handle(), kKinds);
    ASSERT_TRUE(grid.SetCsv("a,,,not a date,\r\nb,,,2021-03-04,\r\n"));
    HWND editor = EditCell(grid, 0, 3);
    ASSERT_TRUE(editor);
    SYSTEMTIME today, shown;
    GetLocalTime(&today);
    ASSERT_EQ(SendMessageW(editor, DTM_GETSYSTEMTIME, 0, LPARAM(&shown)), GDT_VALID);
    EXPECT_EQ(shown.wYear, today.wYear) << "a text that is no date opens on the default date";
    Press(VK_DELETE);
    EXPECT_FALSE(Editor(grid));
    EXPECT_EQ(grid.Csv(), "a,,,,\r\nb,,,2021-03-04,\r\n");

    editor = EditCell(grid, 1, 3);
    ASSERT_EQ(SendMessageW(editor, DTM_GETSYSTEMTIME, 0, LPARAM(&shown)), GDT_VALID);
    EXPECT_EQ(shown.wYear, 2021);
    EXPECT_EQ(shown.wMonth, 3);
    EXPECT_EQ(shown.wDay, 4);
    parent_.notices.clear();
    Press(VK_ESCAPE);
    EXPECT_EQ(grid.Csv(), "a,,,,\r\nb,,,2021-03-04,\r\n") << "an unchanged date keeps its text";
    EXPECT_TRUE(Reasons(parent_).empty());
}

TEST_F(GridEditorTest, CheckBoxCellsToggleOnClickAndEditOnSpace) {
    Grid grid(parent_.Handle(), kKinds);
    ASSERT_TRUE(grid.SetCsv("a,,yes,,\r\n"));
    RECT cell = {};
    cell.top = 2;
    cell.left = LVIR_LABEL;
    grid.Send(LVM_GETSUBITEMRECT, 0, LPARAM(&cell));
    const LPARAM middle = MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
    parent_.notices.clear();
    SendMessageW(grid.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, middle);
    SendMessageW(grid.Handle(), WM_LBUTTONUP, 0, middle);
    Pump();
    EXPECT_FALSE(Editor(grid)) << "a click toggles without an editor";
    EXPECT_EQ(grid.Csv(), "a,,,,\r\n");
    EXPECT_EQ(Reasons(parent_), std::vector<int>{JX_GRID_REASON_CELL_STORED});
    SendMessageW(grid.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, middle);
    Pump();
    EXPECT_EQ(grid.Csv(), "a,,Yes,,\r\n");

    // Space edits the first selected row from its first editable cell; the
    // check-box editor opens when moved into.
    SetFocus(grid.Handle());
    Press(VK_SPACE);
    ASSERT_TRUE(Editor(grid));
    Press(VK_TAB);
    Press(VK_TAB);
    HWND box = Editor(grid);
    ASSERT_TRUE(box);
    EXPECT_EQ(GetDlgCtrlID(box), 102);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageW(box, BM_CLICK, 0, 0);
    Pump();
    Press(VK_ESCAPE);
    EXPECT_EQ(grid.Csv(), "a,,,,\r\n");
}

TEST_F(GridEditorTest, TheOwnerVetoesOpeningAndStoring) {
    Grid grid(parent_.Handle(), kKinds);
    ASSERT_TRUE(grid.SetCsv("old,,,,\r\n"));
    const int windows = grid_test::ThreadWindows();
    parent_.answer = [](const NMHDR& header) -> LRESULT { return header.code == LVN_BEGINLABELEDITA; };
    EXPECT_EQ(EditCell(grid, 0, 0), nullptr);
    EXPECT_EQ(grid_test::ThreadWindows(), windows) << "a refused editor is destroyed";

    parent_.answer = [](const NMHDR& header) -> LRESULT { return header.code == LVN_ENDLABELEDITA; };
    Type(EditCell(grid, 0, 0), L"new");
    parent_.notices.clear();
    Press(VK_ESCAPE);
    EXPECT_EQ(grid.Csv(), "old,,,,\r\n");
    EXPECT_TRUE(Reasons(parent_).empty());
    EXPECT_EQ(parent_.labelEdits.back(), UINT(LVN_ENDLABELEDITA));
}

TEST_F(GridEditorTest, DropdownCellsTakeTheOwnersList) {
    Grid grid(parent_.Handle(), kKinds);
    ASSERT_TRUE(grid.SetCsv("a,green,,,\r\n"));
    HWND filled = nullptr;
    parent_.answer = [&](const NMHDR& header) -> LRESULT {
        if (int(header.code) == JX_GRID_LIST_OPENING) {
            filled = reinterpret_cast<const GridNotify&>(header).list;
            for (const wchar_t* item : {L"red", L"green", L"blue"})
                SendMessageW(filled, CB_ADDSTRING, 0, LPARAM(item));
        }
        return 0;
    };
    HWND editor = EditCell(grid, 0, 1);
    ASSERT_TRUE(editor);
    EXPECT_EQ(GetDlgCtrlID(editor), 101);
    Press(VK_NEXT);  // the edit field asks for its list
    ASSERT_TRUE(filled);
    EXPECT_EQ(SendMessageW(filled, CB_GETCURSEL, 0, 0), 1) << "the cell's text is selected";
    Press(VK_DOWN);
    parent_.notices.clear();
    Press(VK_RETURN);
    EXPECT_FALSE(IsWindow(filled));
    ASSERT_EQ(Editor(grid), editor);
    wchar_t text[16] = {};
    GetWindowTextW(editor, text, 16);
    EXPECT_STREQ(text, L"blue");
    ASSERT_FALSE(parent_.notices.empty());
    EXPECT_EQ(int(parent_.notices[0].code), JX_GRID_LIST_CHOSEN);
    Press(VK_ESCAPE);
    EXPECT_EQ(grid.Csv(), "a,blue,,,\r\n");
}

TEST_F(GridEditorTest, TheGridGoesWithItsEditorOpen) {
    auto grid = std::make_unique<Grid>(parent_.Handle(), kKinds);
    ASSERT_TRUE(grid->SetCsv("a,b,,,\r\n"));
    ASSERT_TRUE(EditCell(*grid, 0, 1));
    Press(VK_NEXT);
    grid.reset();
    Pump();
    // The fixture checks that every window and block is gone.
}

}  // namespace

namespace {

TEST_F(GridEditorTest, TheCellButtonTellsTheOwner) {
    {
        // A tip's text passes through the thread's scratch strings, which stay
        // with the thread until the library goes: made before the count starts.
        Grid warm(parent_.Handle(), L"\r\nPath,150,16\r\n");
        ASSERT_TRUE(warm.SetCsv("x\r\n"));
        EditCell(warm, 0, 0);
        warm.Send(JX_GRID_SETCELLBUTTON, JX_GRID_ICON_UNCHANGED, LPARAM("tip"));
    }
    Pump();
    blocksBefore_ = grid_test::LiveBlocks();
    Grid grid(parent_.Handle(), L"\r\nPath,150,16\r\nFixed,150,23\r\n");
    ASSERT_TRUE(grid.SetCsv("c:\\file,stays\r\n"));
    EXPECT_EQ(grid.Send(JX_GRID_SETCELLBUTTON, JX_GRID_ICON_LIBRARY, 0), FALSE) << "no button without an editor";
    HWND editor = EditCell(grid, 0, 0);
    ASSERT_TRUE(editor);
    HWND button = GetDlgItem(grid.Handle(), 200);
    ASSERT_TRUE(button);
    RECT editorRect, buttonRect;
    GetWindowRect(editor, &editorRect);
    GetWindowRect(button, &buttonRect);
    EXPECT_EQ(buttonRect.left, editorRect.right) << "the button ends the cell";
    EXPECT_EQ(buttonRect.right - buttonRect.left, 22);
    EXPECT_EQ(grid.Send(JX_GRID_SETCELLBUTTON, JX_GRID_ICON_LIBRARY, LPARAM("Browse")), TRUE);
    std::string told;
    parent_.answer = [&](const NMHDR& header) -> LRESULT {
        if (int(header.code) == JX_GRID_BUTTON_CLICKED) told = reinterpret_cast<const GridNotify&>(header).text;
        return 0;
    };
    SendMessageW(button, BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(told, "c:\\file");
    EXPECT_EQ(GetFocus(), editor) << "the focus goes back to the editor";
    Press(VK_ESCAPE);
    // A read-only cell with a button gives the button the focus.
    ASSERT_TRUE(EditCell(grid, 0, 1));
    EXPECT_EQ(GetFocus(), GetDlgItem(grid.Handle(), 200));
    EXPECT_EQ(GetWindowLongW(Editor(grid), GWL_STYLE) & ES_READONLY, ES_READONLY);
    Press(VK_ESCAPE);
    EXPECT_EQ(grid.Csv(), "c:\\file,stays\r\n");
}

}  // namespace

namespace {

TEST_F(GridEditorTest, EnterMakesANewLineInAMultiLineEditor) {
    Grid grid(parent_.Handle(), L"\r\nNotes,150,8\r\n");
    ASSERT_TRUE(grid.SetCsv("first\r\n"));
    HWND editor = EditCell(grid, 0, 0);
    ASSERT_TRUE(editor);
    SendMessageW(editor, EM_SETSEL, 5, 5);
    Press(VK_RETURN);
    EXPECT_EQ(Editor(grid), editor) << "the editor stays";
    EXPECT_EQ(grid.Rows(), 1) << "and no row is added";
    wchar_t text[32] = {};
    GetWindowTextW(editor, text, 32);
    EXPECT_STREQ(text, L"first\r\n");
    Press(VK_ESCAPE);
}

}  // namespace

namespace {

TEST_F(GridEditorTest, MovingPastTheLastRowAddsOneRowAtMost) {
    // New rows get the columns' read-only kind: nothing in them to edit.
    for (const WPARAM key : {VK_TAB, VK_DOWN, VK_RIGHT}) {
        SCOPED_TRACE(key);
        Grid grid(parent_.Handle(), L"\r\nA,60,7\r\nB,60,7\r\n");
        ASSERT_TRUE(grid.SetCsv(",b\r\n"));
        ASSERT_TRUE(grid.Send(JX_GRID_SETCELLKIND, 0, MAKELPARAM(0, JX_GRID_CELL_TEXT)));
        ASSERT_TRUE(EditCell(grid, 0, 0));
        parent_.notices.clear();
        Press(key);
        EXPECT_EQ(grid.Rows(), 2);
        EXPECT_EQ(grid.ItemCount(), 2);
        EXPECT_EQ(Reasons(parent_), std::vector<int>{JX_GRID_REASON_ROW_ADDED});
        EXPECT_FALSE(Editor(grid));
    }
}

}  // namespace

namespace {

// Whether a dropdown cell's list was still a window each time one of its
// closing notifications returned to it.
HWND g_watchedList = nullptr;
std::vector<bool> g_listAliveAfterClosing;
LRESULT CALLBACK WatchListClosing(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_COMMAND && g_watchedList &&
        reinterpret_cast<HWND>(call->lParam) == g_watchedList &&
        (HIWORD(call->wParam) == CBN_SELENDOK || HIWORD(call->wParam) == CBN_SELENDCANCEL))
        g_listAliveAfterClosing.push_back(IsWindow(g_watchedList) != FALSE);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct HookRemover {
    void operator()(HHOOK hook) const { UnhookWindowsHookEx(hook); }
};

TEST_F(GridEditorTest, ADropdownCellsListClosedByTheMouseOutlivesItsNotification) {
    struct Case {
        const char* name;
        bool onItem;  // on the item "blue", else beside the list
        const wchar_t* text;
    };
    const Case cases[] = {{"a click on an item", true, L"blue"}, {"a click beside the list", false, L"green"}};
    std::unique_ptr<std::remove_pointer_t<HHOOK>, HookRemover> hook(
        SetWindowsHookExW(WH_CALLWNDPROCRET, WatchListClosing, nullptr, GetCurrentThreadId()));
    ASSERT_TRUE(hook);
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Grid grid(parent_.Handle(), kKinds);
        ASSERT_TRUE(grid.SetCsv("a,green,,,\r\n"));
        HWND list = nullptr;
        FillListOnOpening(parent_, {L"red", L"green", L"blue"}, &list);
        HWND editor = EditCell(grid, 0, 1);
        ASSERT_TRUE(editor);
        Press(VK_NEXT);
        ASSERT_TRUE(list);
        COMBOBOXINFO info = {};
        info.cbSize = sizeof info;
        ASSERT_TRUE(GetComboBoxInfo(list, &info));
        RECT item = {};
        SendMessageW(info.hwndList, LB_GETITEMRECT, 2, LPARAM(&item));
        const LPARAM at = test.onItem ? MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2)
                                      : MAKELPARAM(-20, -20);
        g_watchedList = list;
        g_listAliveAfterClosing.clear();
        PostMessageW(info.hwndList, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(info.hwndList, WM_LBUTTONUP, 0, at);
        Pump();
        g_watchedList = nullptr;
        ASSERT_FALSE(g_listAliveAfterClosing.empty());
        EXPECT_EQ(std::count(g_listAliveAfterClosing.begin(), g_listAliveAfterClosing.end(), false), 0)
            << "the list lives until its notifications are over";
        EXPECT_FALSE(IsWindow(list)) << "and goes then";
        ASSERT_EQ(Editor(grid), editor);
        wchar_t text[16] = {};
        GetWindowTextW(editor, text, 16);
        EXPECT_STREQ(text, test.text);
        grid.Send(LVM_EDITLABELW, WPARAM(-1), 0);
        parent_.answer = nullptr;
    }
}

}  // namespace

namespace {

int __cdecl GiveOneRow(GridRowExchange* exchange) {
    exchange->fields = static_cast<const char*>(exchange->context);
    return 0;
}

// Rows set while an editor is open close it first; its owner, told of the
// stored text, may give the grid other columns, which the rows then fill.
TEST_F(GridEditorTest, RowsSetWhileTheEditorsOwnerReshapesTheGridTakeTheNewShape) {
    enum Message { kCsv, kPacked, kExchange };
    struct Case {
        Message message;
        const char* columns;  // the owner's new column definition
        const char* rows;     // read back
    };
    const Case cases[] = {
        {kCsv, "W\r\nX\r\nY\r\nZ\r\n", "p,q,r,s\r\n"},
        {kPacked, "W\r\nX\r\nY\r\nZ\r\n", "p,q,r,s\r\n"},
        {kExchange, "W\r\nX\r\nY\r\nZ\r\n", "p,q,r,s\r\n"},
        {kCsv, "W\r\n", "p\r\n"},
        {kPacked, "W\r\n", "p\r\nq\r\nr\r\ns\r\n"},
        {kExchange, "W\r\n", "p\r\n"},
    };
    static const char kFields[] = "p\0q\0r\0s";  // with the literal's NUL: four fields
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << test.message << " " << test.columns);
        Grid grid(parent_.Handle(), L"\r\nA\r\nB\r\n");
        ASSERT_TRUE(grid.SetCsv("a,b\r\n"));
        parent_.answer = [&](const NMHDR& header) -> LRESULT {
            if (header.code == LVN_ENDLABELEDITA) {
                grid.Send(LVM_DELETEALLITEMS);
                grid.Send(JX_GRID_SETCOLUMNS, 0, LPARAM(test.columns));
            }
            return 0;
        };
        ASSERT_TRUE(EditCell(grid, 0, 0));
        LRESULT result = FALSE;
        if (test.message == kCsv) {
            result = grid.SetCsv("p,q,r,s\r\n");
        } else if (test.message == kPacked) {
            GridPackedFields packed = {kFields, int(sizeof kFields)};
            result = grid.Send(JX_GRID_SETPACKED, 0, LPARAM(&packed));
        } else {
            GridRowExchange exchange = {};
            exchange.context = const_cast<char*>(kFields);
            exchange.callback = GiveOneRow;
            exchange.direction = JX_GRID_EXCHANGE_IN;
            exchange.rowCount = 1;
            exchange.columnCount = 4;
            result = grid.Send(JX_GRID_EXCHANGEROWS, 0, LPARAM(&exchange));
        }
        parent_.answer = nullptr;
        EXPECT_TRUE(result);
        EXPECT_FALSE(Editor(grid));
        EXPECT_EQ(grid.Csv(), test.rows);
        EXPECT_EQ(grid.ItemCount(), grid.Rows());
    }
}

}  // namespace

namespace {

void Click(const Grid& grid, POINT at) {
    PostMessageW(grid.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    PostMessageW(grid.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    Pump();
}

TEST_F(GridEditorTest, AClickOpensAReadOnlyCellWithAButtonAndSelectsARowWithoutAnEditor) {
    struct Case {
        int column;
        bool edits;
    };
    // Kinds 0x17, 4, 5, 6 and 7 by column.
    const Case cases[] = {{0, true}, {1, false}, {2, false}, {3, false}, {4, false}};
    Grid grid(parent_.Handle(), L"\r\nButton,60,23\r\nK4,60,4\r\nK5,60,5\r\nK6,60,6\r\nK7,60,7\r\n");
    ASSERT_TRUE(grid.SetCsv("a,b,c,d,e\r\nf,g,h,i,j\r\n"));
    for (const Case& test : cases) {
        SCOPED_TRACE(test.column);
        LVITEMW none = {};
        none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        grid.Send(LVM_SETITEMSTATE, WPARAM(-1), LPARAM(&none));
        Click(grid, grid_test::MiddleOf(grid.Handle(), 1, test.column));
        EXPECT_EQ(grid.Send(LVM_GETITEMSTATE, 1, LVIS_SELECTED), LVIS_SELECTED) << "the row is selected";
        if (test.edits) {
            ASSERT_TRUE(Editor(grid));
            EXPECT_EQ(GetFocus(), GetDlgItem(grid.Handle(), 200)) << "the cell button has the focus";
            grid.Send(LVM_EDITLABELW, WPARAM(-1), 0);
        } else {
            EXPECT_FALSE(Editor(grid));
        }
    }
    EXPECT_EQ(grid.Csv(), "a,b,c,d,e\r\nf,g,h,i,j\r\n");
}

}  // namespace

namespace {

TEST_F(GridEditorTest, TheFocusGoesBackToTheEditorAfterTheListNotifications) {
    for (const int code : {JX_GRID_LIST_OPENING, JX_GRID_LIST_CHOSEN}) {
        SCOPED_TRACE(code);
        Grid grid(parent_.Handle(), kKinds);
        ASSERT_TRUE(grid.SetCsv("a,green,,,\r\n"));
        HWND list = nullptr;
        // The owner takes the focus while it is told, and keeps the editor's text.
        FillListOnOpening(parent_, {L"red", L"green"}, &list, [&](const NMHDR& header) -> LRESULT {
            if (int(header.code) == code) SetFocus(parent_.Handle());
            return int(header.code) == JX_GRID_LIST_CHOSEN;
        });
        HWND editor = EditCell(grid, 0, 1);
        ASSERT_TRUE(editor);
        Press(VK_NEXT);
        ASSERT_TRUE(list);
        EXPECT_EQ(GetFocus(), editor) << "after the list opened";
        Press(VK_RETURN);
        EXPECT_EQ(GetFocus(), editor) << "after an item was chosen";
        EXPECT_EQ(Editor(grid), editor);
        grid.Send(LVM_EDITLABELW, WPARAM(-1), 0);
        parent_.answer = nullptr;
    }
}

TEST_F(GridEditorTest, TheDropdownListPreselectsTheCellsTextExactly) {
    struct Case {
        const char* rows;
        LRESULT selected;
    };
    const Case cases[] = {{"a,green,,,\r\n", 1}, {"a,GREEN,,,\r\n", 2}, {"a,gREEN,,,\r\n", CB_ERR}};
    for (const Case& test : cases) {
        SCOPED_TRACE(test.rows);
        Grid grid(parent_.Handle(), kKinds);
        ASSERT_TRUE(grid.SetCsv(test.rows));
        HWND list = nullptr;
        FillListOnOpening(parent_, {L"Green", L"green", L"GREEN"}, &list);
        ASSERT_TRUE(EditCell(grid, 0, 1));
        Press(VK_NEXT);
        ASSERT_TRUE(list);
        EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), test.selected);
        grid.Send(LVM_EDITLABELW, WPARAM(-1), 0);
        parent_.answer = nullptr;
    }
}

TEST_F(GridEditorTest, InsertRowWhileEditingGoesBelowTheEditedRow) {
    struct Case {
        bool fixed;
        const char* rows;
    };
    const Case cases[] = {{false, "a,,,,\r\n,,,,\r\nb,,,,\r\nc,,,,\r\n"}, {true, "a,,,,\r\nb,,,,\r\nc,,,,\r\n"}};
    for (const Case& test : cases) {
        SCOPED_TRACE(test.fixed);
        Grid grid(parent_.Handle(), kKinds);
        grid.Send(JX_GRID_SETSTYLE, test.fixed ? JX_GRID_FIXED_ROWS : 0, JX_GRID_FIXED_ROWS);
        ASSERT_TRUE(grid.SetCsv("a,,,,\r\nb,,,,\r\nc,,,,\r\n"));
        ASSERT_TRUE(EditCell(grid, 0, 0));
        int edited = -1;
        parent_.answer = [&](const NMHDR& header) -> LRESULT {
            if (header.code == LVN_BEGINLABELEDITA) edited = reinterpret_cast<const NMLVDISPINFOA&>(header).item.iItem;
            return 0;
        };
        PostMessageW(grid.Handle(), WM_COMMAND, JX_GRID_CMD_INSERT_ROW, 0);
        Pump();
        parent_.answer = nullptr;
        EXPECT_EQ(edited, 1) << "the editor opens in the row below";
        EXPECT_TRUE(Editor(grid));
        grid.Send(LVM_EDITLABELW, WPARAM(-1), 0);
        EXPECT_EQ(grid.Csv(), test.rows);
    }
}

}  // namespace
