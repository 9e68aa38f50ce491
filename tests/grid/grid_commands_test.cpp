// Row commands of JX_Grid: the row menu, command keys, the clipboard, row
// drags and check boxes by mouse, in a real parent under the virtual display.
#include <string>
#include <vector>
#include "grid_test_support.h"

namespace {

using grid_test::Grid;
using grid_test::kHighItemData;
using grid_test::kNegativeItemData;
using grid_test::GridTest;
using grid_test::Parent;
using grid_test::DragWhileOwnerActs;
using grid_test::MiddleOf;
using grid_test::Pump;

constexpr wchar_t kTwoColumns[] = L"\r\nName,100\r\nValue,100\r\n";

std::vector<int> Reasons(const Parent& parent) {
    std::vector<int> reasons;
    for (const auto& notice : parent.notices)
        if (int(notice.code) == JX_GRID_CHANGED) reasons.push_back(notice.reason);
    return reasons;
}

void Select(const Grid& grid, std::initializer_list<int> rows) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    grid.Send(LVM_SETITEMSTATE, WPARAM(-1), LPARAM(&item));
    for (const int row : rows) {
        item.state = LVIS_SELECTED;
        item.stateMask = LVIS_SELECTED;
        grid.Send(LVM_SETITEMSTATE, WPARAM(row), LPARAM(&item));
    }
}

std::vector<int> Selected(const Grid& grid) {
    std::vector<int> rows;
    int row = -1;
    while ((row = int(grid.Send(LVM_GETNEXTITEM, WPARAM(row), MAKELPARAM(LVNI_SELECTED, 0)))) >= 0) rows.push_back(row);
    return rows;
}

void Command(const Grid& grid, int id) {
    grid.Send(WM_COMMAND, WPARAM(id), 0);
    Pump();
}

// A key with modifiers held, as the grid reads them.
void Press(const Grid& grid, WPARAM key, std::initializer_list<BYTE> held = {}) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    for (const BYTE modifier : held) keys[modifier] = 0x80;
    SetKeyboardState(keys);
    grid.Send(WM_KEYDOWN, key, 1);
    for (const BYTE modifier : held) keys[modifier] = 0;
    SetKeyboardState(keys);
    Pump();
}

bool SetClipboard(HWND owner, const wchar_t* text) {
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(block), text, bytes);
    GlobalUnlock(block);
    SetClipboardData(CF_UNICODETEXT, block);
    CloseClipboard();
    return true;
}

std::wstring Clipboard(HWND owner) {
    std::wstring text;
    if (!OpenClipboard(owner)) return text;
    if (HANDLE block = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(GlobalLock(block));
        GlobalUnlock(block);
    }
    CloseClipboard();
    return text;
}

class GridCommandsTest : public GridTest {
protected:
    void SetUp() override {
        GridTest::SetUp();
        ShowWindow(parent_.Handle(), SW_SHOW);
    }
    Parent parent_;
};

TEST_F(GridCommandsTest, DeleteAndMoveWorkOnTheSelection) {
    Grid grid(parent_.Handle(), kTwoColumns);
    ASSERT_TRUE(grid.SetCsv("a,1\r\nb,2\r\nc,3\r\n"));
    Select(grid, {0});
    Command(grid, JX_GRID_CMD_MOVE_UP);
    EXPECT_EQ(grid.Csv(), "a,1\r\nb,2\r\nc,3\r\n") << "nothing is above row 0";
    EXPECT_TRUE(Reasons(parent_).empty());
    Select(grid, {0, 1});
    Press(grid, VK_DOWN, {VK_CONTROL});
    EXPECT_EQ(grid.Csv(), "c,3\r\na,1\r\nb,2\r\n");
    EXPECT_EQ(Selected(grid), (std::vector<int>{1, 2}));
    EXPECT_EQ(Reasons(parent_), std::vector<int>{JX_GRID_REASON_ROWS_MOVED});

    parent_.notices.clear();
    Command(grid, JX_GRID_CMD_SELECT_ALL);
    Press(grid, VK_DELETE);
    EXPECT_EQ(grid.Rows(), 0);
    EXPECT_EQ(grid.ItemCount(), 0);
    EXPECT_EQ(Reasons(parent_), std::vector<int>{JX_GRID_REASON_ROWS_DELETED}) << "one notification";

    grid.Send(JX_GRID_SETSTYLE, JX_GRID_FIXED_ROWS, JX_GRID_FIXED_ROWS);
    ASSERT_TRUE(grid.SetCsv("a,1\r\nb,2\r\n"));
    Select(grid, {0});
    Press(grid, VK_DELETE);
    Press(grid, VK_DOWN, {VK_CONTROL});
    EXPECT_EQ(grid.Csv(), "a,1\r\nb,2\r\n") << "fixed rows stay";
}

TEST_F(GridCommandsTest, TreeRowsMoveAndGoWithTheirChildren) {
    Grid grid(parent_.Handle(), kTwoColumns);
    grid.Send(JX_GRID_SETSTYLE, JX_GRID_TREE | JX_GRID_ROW_PROPERTIES, JX_GRID_TREE | JX_GRID_ROW_PROPERTIES);
    // Indents from the row prefix: a, its child a1, then b.
    ASSERT_TRUE(grid.SetCsv("a,1\r\n</////1>a1,2\r\nb,3\r\n"));
    LVITEMW item = {};
    item.mask = LVIF_INDENT;
    item.iItem = 1;
    grid.Send(LVM_GETITEMW, 0, LPARAM(&item));
    ASSERT_EQ(item.iIndent, 1);
    Select(grid, {0});
    Command(grid, JX_GRID_CMD_MOVE_DOWN);
    EXPECT_EQ(grid.Csv(), "b,3\r\na,1\r\na1,2\r\n") << "the child goes with its row";
    EXPECT_EQ(Selected(grid), (std::vector<int>{1, 2}));
    Command(grid, JX_GRID_CMD_DELETE_ROWS);
    EXPECT_EQ(grid.Csv(), "b,3\r\n");
}

TEST_F(GridCommandsTest, CopyCutAndPasteThroughTheClipboard) {
    Grid grid(parent_.Handle(), kTwoColumns);
    ASSERT_TRUE(grid.SetCsv("a,1\r\nb,2\r\nc,3\r\n"));
    Select(grid, {1});
    Press(grid, 'C', {VK_CONTROL});
    EXPECT_EQ(Clipboard(parent_.Handle()), L"b,2\r\n");
    // Pasting inserts at the first selected row.
    Select(grid, {0});
    Press(grid, 'V', {VK_CONTROL});
    EXPECT_EQ(grid.Csv(), "b,2\r\na,1\r\nb,2\r\nc,3\r\n");
    EXPECT_EQ(Reasons(parent_), std::vector<int>{JX_GRID_REASON_ROWS_PASTED});
    // Invalid CSV pastes nothing.
    parent_.notices.clear();
    ASSERT_TRUE(SetClipboard(parent_.Handle(), L"x,\"y"));
    Press(grid, 'V', {VK_CONTROL});
    Press(grid, 'V', {VK_CONTROL, VK_SHIFT});
    EXPECT_EQ(grid.Rows(), 4);
    EXPECT_TRUE(Reasons(parent_).empty());
    // Replacing takes the selected rows' place.
    ASSERT_TRUE(SetClipboard(parent_.Handle(), L"new,9,extra\r\n"));
    Select(grid, {0, 1});
    Press(grid, 'V', {VK_CONTROL, VK_SHIFT});
    EXPECT_EQ(grid.Csv(), "new,9\r\nb,2\r\nc,3\r\n");
    EXPECT_EQ(Reasons(parent_), std::vector<int>{JX_GRID_REASON_ROWS_REPLACED});
    // Cut copies, then deletes.
    parent_.notices.clear();
    Select(grid, {2});
    Press(grid, 'X', {VK_CONTROL});
    EXPECT_EQ(Clipboard(parent_.Handle()), L"c,3\r\n");
    EXPECT_EQ(grid.Csv(), "new,9\r\nb,2\r\n");
    EXPECT_EQ(Reasons(parent_), std::vector<int>{JX_GRID_REASON_ROWS_CUT});
}

TEST_F(GridCommandsTest, ItemDataGoesWithMovedCopiedAndPastedRows) {
    // Get flags with the item data: the clipboard text carries it in the prefix.
    Grid grid(parent_.Handle(), L"0,0,0,0x20000\r\nName,100\r\nValue,100\r\n");
    grid.Send(JX_GRID_SETSTYLE, JX_GRID_ROW_PROPERTIES, JX_GRID_ROW_PROPERTIES);
    const std::string high = std::to_string(int64_t(kHighItemData));
    ASSERT_TRUE(grid.SetCsv(("</" + high + ">a,1\r\n</" + std::to_string(int64_t(kNegativeItemData)) + ">b,2\r\nc,3\r\n").c_str()));
    Select(grid, {0});
    Command(grid, JX_GRID_CMD_MOVE_DOWN);
    EXPECT_EQ(grid.ItemData(0), kNegativeItemData);
    EXPECT_EQ(grid.ItemData(1), kHighItemData);
    Select(grid, {1});
    Press(grid, 'C', {VK_CONTROL});
    EXPECT_EQ(Clipboard(parent_.Handle()), std::wstring(L"</") + std::wstring(high.begin(), high.end()) + L">a,1\r\n");
    Select(grid, {2});
    Press(grid, 'V', {VK_CONTROL});
    EXPECT_EQ(grid.Rows(), 4);
    EXPECT_EQ(grid.ItemData(2), kHighItemData) << "the pasted row";
    EXPECT_EQ(grid.ItemData(3), 0);
}

TEST_F(GridCommandsTest, FixedRowsCutAndPasteCellsButNotReadOnlyOnes) {
    Grid grid(parent_.Handle(), L"2\r\nName,100\r\nValue,100,7\r\nNote,100\r\n");
    ASSERT_TRUE(grid.SetCsv("a,1,x\r\nb,2,y\r\n"));
    Select(grid, {0});
    Press(grid, 'X', {VK_CONTROL});
    EXPECT_EQ(grid.Rows(), 2);
    EXPECT_EQ(grid.Csv(), ",1,\r\nb,2,y\r\n") << "the read-only cell keeps its text";
    ASSERT_TRUE(SetClipboard(parent_.Handle(), L"p,q,r\r\ns,t,u\r\nignored\r\n"));
    Select(grid, {0, 1});
    Press(grid, 'V', {VK_CONTROL});
    EXPECT_EQ(grid.Csv(), "p,1,r\r\ns,2,u\r\n");
    EXPECT_EQ(Reasons(parent_).back(), JX_GRID_REASON_ROWS_REPLACED);
}

TEST_F(GridCommandsTest, CheckBoxesToggleByMouse) {
    Grid grid(parent_.Handle(), kTwoColumns);
    grid.Send(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | JX_GRID_EX_CHECKBOX_CLICK,
              LVS_EX_CHECKBOXES | JX_GRID_EX_CHECKBOX_CLICK);
    ASSERT_TRUE(grid.SetCsv("a,1\r\nb,2\r\nc,3\r\n"));
    RECT row = {};
    row.left = LVIR_BOUNDS;
    grid.Send(LVM_GETITEMRECT, 1, LPARAM(&row));
    const LPARAM onRow = MAKELPARAM(60, (row.top + row.bottom) / 2);
    std::vector<UINT> codes;
    parent_.answer = [&](const NMHDR& header) -> LRESULT {
        if (header.code == UINT(NM_CLICK) || header.code == UINT(LVN_ITEMCHANGED)) codes.push_back(header.code);
        return 0;
    };
    grid.Send(WM_LBUTTONDOWN, MK_LBUTTON, onRow);
    EXPECT_EQ(grid.StateImage(1), 2u) << "a click on the row checks it";
    EXPECT_EQ(grid.StateImage(0), 1u);
    EXPECT_EQ(codes, (std::vector<UINT>{UINT(NM_CLICK), UINT(LVN_ITEMCHANGED)}));
    // Ctrl+click on an unchecked row's check box checks every row.
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    RECT box = {};
    box.left = LVIR_ICON;
    grid.Send(LVM_GETITEMRECT, 0, LPARAM(&box));
    LVHITTESTINFO hit = {};
    hit.pt = {box.left - 8, (box.top + box.bottom) / 2};
    grid.Send(LVM_HITTEST, 0, LPARAM(&hit));
    ASSERT_TRUE(hit.flags & LVHT_ONITEMSTATEICON) << "the state icon is left of the icon";
    grid.Send(WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MAKELPARAM(hit.pt.x, hit.pt.y));
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    for (int each = 0; each < 3; ++each) EXPECT_EQ(grid.StateImage(each), 2u) << each;
}

TEST_F(GridCommandsTest, ACheckBoxGridStillEditsItsCells) {
    Grid grid(parent_.Handle(), kTwoColumns);
    grid.Send(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
    ASSERT_TRUE(grid.SetCsv("a,1\r\n"));
    RECT cell = {};
    cell.top = 1;
    cell.left = LVIR_LABEL;
    grid.Send(LVM_GETSUBITEMRECT, 0, LPARAM(&cell));
    grid.Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2));
    EXPECT_TRUE(grid.Send(LVM_GETEDITCONTROL)) << "a click in another column edits the cell";
    EXPECT_EQ(grid.StateImage(0), 1u) << "and leaves the check box alone";
    grid.Send(LVM_EDITLABELW, WPARAM(-1), 0);
}

TEST_F(GridCommandsTest, ARowDragMovesTheRowWithItsChildren) {
    Grid grid(parent_.Handle(), kTwoColumns);
    grid.Send(JX_GRID_SETSTYLE, JX_GRID_TREE | JX_GRID_ROW_DRAG | JX_GRID_ROW_PROPERTIES,
              JX_GRID_TREE | JX_GRID_ROW_DRAG | JX_GRID_ROW_PROPERTIES);
    ASSERT_TRUE(grid.SetCsv("a,1\r\n</////1>a1,2\r\nb,3\r\nc,4\r\n"));
    RECT first = {}, last = {};
    first.left = last.left = LVIR_BOUNDS;
    grid.Send(LVM_GETITEMRECT, 0, LPARAM(&first));
    grid.Send(LVM_GETITEMRECT, 3, LPARAM(&last));
    const int x = 20;
    bool began = false;
    parent_.answer = [&](const NMHDR& header) -> LRESULT {
        began |= header.code == UINT(LVN_BEGINDRAG);
        return 0;
    };
    // The moves and the release wait in the queue for the drag's loop.
    PostMessageW(grid.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, first.top + 10));
    PostMessageW(grid.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, last.bottom + 10));
    PostMessageW(grid.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(x, last.bottom + 10));
    grid.Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, first.top + 2));
    Pump();
    EXPECT_TRUE(began);
    EXPECT_EQ(grid.Csv(), "b,3\r\nc,4\r\na,1\r\na1,2\r\n");
    EXPECT_EQ(Reasons(parent_), std::vector<int>{JX_GRID_REASON_ROWS_MOVED});
}

// The menu's items, read while it is open; then it closes.
std::vector<std::wstring> g_menuItems;
void CALLBACK ReadMenu(HWND, UINT, UINT_PTR id, DWORD) {
    HWND menuWindow = FindWindowW(L"#32768", nullptr);
    if (!menuWindow) return;
    KillTimer(nullptr, id);
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, UINT(i), text, 64, MF_BYPOSITION);
        g_menuItems.push_back(text);
    }
    EndMenu();
}

TEST_F(GridCommandsTest, TheRowMenuFollowsTheStyle) {
    Grid grid(parent_.Handle(), kTwoColumns);
    SetForegroundWindow(parent_.Handle());
    struct Case {
        unsigned style;
        size_t items;
        const wchar_t* first;
        const wchar_t* last;
    };
    const Case cases[] = {
        {0, 14, L"Cut Row\tCtrl+X", L"Edit Selected\tSpacebar"},
        {JX_GRID_FIXED_ROWS, 8, L"Cut Row Text\tCtrl+X", L"Edit Selected\tSpacebar"},
        {JX_GRID_FIXED_ROWS | JX_GRID_READ_ONLY, 4, L"Copy Row Text\tCtrl+C", L"Select None\tMiddle-click"},
    };
    for (const Case& test : cases) {
        grid.Send(JX_GRID_SETSTYLE, test.style, JX_GRID_FIXED_ROWS | JX_GRID_READ_ONLY);
        g_menuItems.clear();
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, ReadMenu);
        grid.Send(WM_CONTEXTMENU, WPARAM(grid.Handle()), MAKELPARAM(200, 200));
        KillTimer(nullptr, timer);
        ASSERT_EQ(g_menuItems.size(), test.items) << test.style;
        EXPECT_EQ(g_menuItems.front(), test.first);
        EXPECT_EQ(g_menuItems.back(), test.last);
    }
}

}  // namespace

namespace {

TEST_F(GridCommandsTest, AHeldClipboardLosesNoRows) {
    Grid grid(parent_.Handle(), kTwoColumns);
    ASSERT_TRUE(grid.SetCsv("a,1\r\nb,2\r\n"));
    // Another window keeps the clipboard open.
    HWND other = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(OpenClipboard(other));
    Select(grid, {0});
    Press(grid, 'X', {VK_CONTROL});
    Press(grid, 'V', {VK_CONTROL});
    CloseClipboard();
    DestroyWindow(other);
    EXPECT_EQ(grid.Csv(), "a,1\r\nb,2\r\n") << "a cut that could not copy removes nothing";
    EXPECT_TRUE(Reasons(parent_).empty());
}

TEST_F(GridCommandsTest, TheDialogClosesDuringARowDrag) {
    {
        Parent parent;
        Grid grid(parent.Handle(), kTwoColumns);
        grid.Send(JX_GRID_SETSTYLE, JX_GRID_ROW_DRAG, JX_GRID_ROW_DRAG);
        ASSERT_TRUE(grid.SetCsv("a,1\r\nb,2\r\n"));
        PostMessageW(grid.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, 40));
        PostMessageW(parent.Handle(), WM_CLOSE, 0, 0);
        PostMessageW(grid.Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(20, 60));
        grid.Send(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 8));
        Pump();
        EXPECT_FALSE(IsWindow(grid.Handle()));
    }
}

TEST_F(GridCommandsTest, KeysComeWhileTheOwnerDestroysTheGrid) {
    {
        Parent parent;
        Grid grid(parent.Handle(), kTwoColumns);
        ASSERT_TRUE(grid.SetCsv("a,1\r\nb,2\r\n"));
        parent.onChange = [](const GridNotify& note) {
            if (note.reason == JX_GRID_REASON_ROWS_DELETED) DestroyWindow(note.header.hwndFrom);
        };
        Select(grid, {0});
        for (const WPARAM key : {VK_DELETE, VK_DELETE, VK_INSERT}) PostMessageW(grid.Handle(), WM_KEYDOWN, key, 1);
        Pump();
        EXPECT_FALSE(IsWindow(grid.Handle()));
    }
}

TEST_F(GridCommandsTest, TheOwnerDestroysTheGridWhenTextIsStored) {
    {
        Parent parent;
        Grid grid(parent.Handle(), kTwoColumns);
        ASSERT_TRUE(grid.SetCsv("a,1\r\n"));
        parent.answer = [](const NMHDR& header) -> LRESULT {
            if (header.code == LVN_ENDLABELEDITA) DestroyWindow(header.hwndFrom);
            return 0;
        };
        HWND editor = reinterpret_cast<HWND>(grid.Send(LVM_EDITLABELW, 0, 0));
        ASSERT_TRUE(editor);
        PostMessageW(editor, WM_KEYDOWN, VK_RETURN, 1);
        PostMessageW(editor, WM_KEYDOWN, VK_TAB, 1);
        Pump();
        EXPECT_FALSE(IsWindow(grid.Handle()));
    }
}

}  // namespace

namespace {

constexpr char kTenRows[] = "r0,0\r\nr1,1\r\nr2,2\r\nr3,3\r\nr4,4\r\nr5,5\r\nr6,6\r\nr7,7\r\nr8,8\r\nr9,9\r\n";
// The same rows in tree form: r5 has the children r6 and r7.
constexpr char kTenTreeRows[] =
    "r0,0\r\nr1,1\r\nr2,2\r\nr3,3\r\nr4,4\r\nr5,5\r\n</////1>r6,6\r\n</////1>r7,7\r\nr8,8\r\nr9,9\r\n";
constexpr unsigned kTreeDrag = JX_GRID_TREE | JX_GRID_ROW_DRAG | JX_GRID_ROW_PROPERTIES;

TEST_F(GridCommandsTest, RowsTheOwnerChangesDuringARowDragAreNotMoved) {
    enum Release { kOverRow1, kBelowRows };
    struct Case {
        const char* name;
        bool tree;
        const char* ownerRows;  // null: the owner clears the rows
        Release release;
    };
    const Case cases[] = {
        {"two new rows, released over row 1", false, "new0,a\r\nnew1,b\r\n", kOverRow1},
        {"two new rows, released below them", false, "new0,a\r\nnew1,b\r\n", kBelowRows},
        {"rows cleared", false, nullptr, kOverRow1},
        {"tree emptied", true, nullptr, kOverRow1},
        {"tree given new rows", true, "new0,a\r\n</////1>new1,b\r\n", kBelowRows},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Grid grid(parent_.Handle(), kTwoColumns);
        grid.Send(JX_GRID_SETSTYLE, test.tree ? kTreeDrag : JX_GRID_ROW_DRAG, kTreeDrag);
        ASSERT_TRUE(grid.SetCsv(test.tree ? kTenTreeRows : kTenRows));
        test.tree ? Select(grid, {5}) : Select(grid, {5, 6, 7});
        const POINT press = MiddleOf(grid.Handle(), 5, 0);
        const POINT release = test.release == kOverRow1 ? MiddleOf(grid.Handle(), 1, 0) : POINT{press.x, 380};
        parent_.notices.clear();
        DragWhileOwnerActs(grid.Handle(), press, release, [&] {
            if (test.ownerRows)
                grid.SetCsv(test.ownerRows);
            else
                grid.Send(LVM_DELETEALLITEMS);
        });
        EXPECT_EQ(grid.Csv(), test.ownerRows ? "new0,a\r\nnew1,b\r\n" : "") << "the owner's rows stay as it set them";
        EXPECT_EQ(grid.ItemCount(), grid.Rows());
        EXPECT_TRUE(Reasons(parent_).empty()) << "no rows moved";
    }
}

// The children of a dragged or moved row are selected one by one, and the
// owner hears of each: rows it changes then are not moved either.
TEST_F(GridCommandsTest, RowsTheOwnerChangesWhileChildrenAreSelectedAreNotMoved) {
    struct Case {
        const char* name;
        bool drag;  // else Ctrl+Down
        bool clear;  // else new rows
    };
    const Case cases[] = {
        {"drag, rows cleared", true, true},
        {"drag, new rows", true, false},
        {"Ctrl+Down, rows cleared", false, true},
        {"Ctrl+Down, new rows", false, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Grid grid(parent_.Handle(), kTwoColumns);
        grid.Send(JX_GRID_SETSTYLE, kTreeDrag, kTreeDrag);
        ASSERT_TRUE(grid.SetCsv(kTenTreeRows));
        Select(grid, {5});
        const POINT press = MiddleOf(grid.Handle(), 5, 0);
        const POINT release = MiddleOf(grid.Handle(), 1, 0);
        bool changed = false;
        parent_.answer = [&](const NMHDR& header) -> LRESULT {
            const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
            if (header.code == UINT(LVN_ITEMCHANGED) && change.iItem == 6 && !changed) {
                changed = true;
                if (test.clear)
                    grid.Send(LVM_DELETEALLITEMS);
                else
                    grid.SetCsv(kTenRows);
            }
            return 0;
        };
        parent_.notices.clear();
        if (test.drag) {
            DragWhileOwnerActs(grid.Handle(), press, release, [] {});
        } else {
            SetFocus(grid.Handle());
            Press(grid, VK_DOWN, {VK_CONTROL});
        }
        parent_.answer = nullptr;
        EXPECT_TRUE(changed);
        EXPECT_EQ(grid.Csv(), test.clear ? "" : kTenRows);
        EXPECT_TRUE(Reasons(parent_).empty()) << "no rows moved";
    }
}

}  // namespace

namespace {

// The middle of the header strip above the rows, in the grid's client coordinates.
POINT OverTheHeader(const Grid& grid) {
    RECT header;
    GetWindowRect(HWND(grid.Send(LVM_GETHEADER)), &header);
    MapWindowPoints(nullptr, grid.Handle(), reinterpret_cast<POINT*>(&header), 2);
    return {40, (header.top + header.bottom) / 2};
}

TEST_F(GridCommandsTest, DraggingAboveTheFirstRowReachesRowZero) {
    enum Target { kRow0, kHeader };
    struct Case {
        const char* name;
        int column;  // 0 drags rows, 1 selects
        Target target;
    };
    const Case cases[] = {
        {"row drag up to row 0", 0, kRow0},
        {"row drag over the header", 0, kHeader},
        {"drag selection up to row 0", 1, kRow0},
        {"drag selection over the header", 1, kHeader},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Grid grid(parent_.Handle(), kTwoColumns);
        grid.Send(JX_GRID_SETSTYLE, JX_GRID_ROW_DRAG, JX_GRID_ROW_DRAG);
        ASSERT_TRUE(grid.SetCsv("a,1\r\nb,2\r\nc,3\r\nd,4\r\n"));
        const POINT press = MiddleOf(grid.Handle(), 2, test.column);
        POINT release = test.target == kRow0 ? MiddleOf(grid.Handle(), 0, test.column) : OverTheHeader(grid);
        release.x = press.x;
        DragWhileOwnerActs(grid.Handle(), press, release, [] {});
        if (test.column == 0) {
            EXPECT_EQ(grid.Csv(), "c,3\r\na,1\r\nb,2\r\nd,4\r\n");
        } else {
            EXPECT_EQ(grid.Csv(), "a,1\r\nb,2\r\nc,3\r\nd,4\r\n");
            EXPECT_EQ(Selected(grid), (std::vector<int>{0, 1, 2}));
        }
    }
}

TEST_F(GridCommandsTest, TheColumnUnderThePointerFollowsScrollingAndTheColumnOrder) {
    struct Case {
        const char* name;
        bool swapped;  // column 1 shown first
        int scrolled;  // pixels to the right
        int x;
        int column;
    };
    const Case cases[] = {
        {"in place", false, 0, 20, 0},
        {"column 1 shown first", true, 0, 20, 1},
        {"scrolled into column 1", false, 150, 20, 1},
        {"column 1 shown first, scrolled into column 0", true, 150, 460, 0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Grid grid(parent_.Handle(), L"\r\nName,150\r\nValue,600\r\n");
        ASSERT_TRUE(grid.SetCsv("a,1\r\n"));
        if (test.swapped) {
            int order[] = {1, 0};
            ASSERT_TRUE(grid.Send(LVM_SETCOLUMNORDERARRAY, 2, LPARAM(order)));
        }
        if (test.scrolled) grid.Send(LVM_SCROLL, test.scrolled, 0);
        int edited = -1;
        parent_.answer = [&](const NMHDR& header) -> LRESULT {
            if (header.code == LVN_BEGINLABELEDITA) edited = reinterpret_cast<const NMLVDISPINFOA&>(header).item.iSubItem;
            return 0;
        };
        // A click below the last row adds a row and edits the cell under the pointer.
        PostMessageW(grid.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(test.x, 300));
        PostMessageW(grid.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(test.x, 300));
        Pump();
        parent_.answer = nullptr;
        EXPECT_EQ(grid.Rows(), 2);
        EXPECT_EQ(edited, test.column);
        grid.Send(LVM_EDITLABELW, WPARAM(-1), 0);
    }
}

}  // namespace

namespace {

// The platform's ListView_SetExtendedListViewStyle sends a mask of 0.
TEST_F(GridCommandsTest, AnExtendedStyleMaskOfZeroIsEveryBit) {
    struct Case {
        WPARAM mask;
        LPARAM style;
        bool checkBoxes;
        bool clickToggles;
    };
    const Case cases[] = {
        {0, LVS_EX_CHECKBOXES, true, false},
        {0, LVS_EX_CHECKBOXES | JX_GRID_EX_CHECKBOX_CLICK, true, true},
        {JX_GRID_EX_CHECKBOX_CLICK, JX_GRID_EX_CHECKBOX_CLICK, false, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << test.mask << " " << test.style);
        Grid grid(parent_.Handle(), kTwoColumns);
        ASSERT_TRUE(grid.SetCsv("a,1\r\nb,2\r\n"));
        const LRESULT before = grid.Send(LVM_GETEXTENDEDLISTVIEWSTYLE);
        grid.Send(LVM_SETEXTENDEDLISTVIEWSTYLE, test.mask, test.style);
        const LRESULT after = grid.Send(LVM_GETEXTENDEDLISTVIEWSTYLE);
        EXPECT_EQ((after & LVS_EX_CHECKBOXES) != 0, test.checkBoxes);
        EXPECT_EQ(after & LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT) << "the grid's own styles stay";
        EXPECT_EQ((grid.Send(JX_GRID_QUERY, JX_GRID_QUERY_STYLE) & JX_GRID_CHECK_BOXES) != 0, test.checkBoxes);
        EXPECT_EQ(grid.StateImage(0), test.checkBoxes ? 1u : 0u);
        if (test.mask) {
            EXPECT_EQ(after, before) << "the grid's own bit alone is not passed on";
        }
        const POINT cell = MiddleOf(grid.Handle(), 1, 1);
        PostMessageW(grid.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(cell.x, cell.y));
        PostMessageW(grid.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(cell.x, cell.y));
        Pump();
        EXPECT_EQ(grid.StateImage(1), test.clickToggles ? 2u : test.checkBoxes ? 1u : 0u);
        grid.Send(LVM_EDITLABELW, WPARAM(-1), 0);
    }
}

}  // namespace

namespace {

TEST_F(GridCommandsTest, ACheckBoxClickTellsItsKeysAndColumn) {
    struct Case {
        BYTE held;  // 0: none
        bool onBox;  // else in column 1, with the checkbox-click option
        UINT keyFlags;
        int column;
    };
    const Case cases[] = {
        {VK_CONTROL, true, LVKF_CONTROL, 0},
        {VK_SHIFT, true, LVKF_SHIFT, 0},
        {0, true, 0, 0},
        {0, false, 0, 1},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << int(test.held) << " " << test.onBox);
        Grid grid(parent_.Handle(), kTwoColumns);
        grid.Send(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | JX_GRID_EX_CHECKBOX_CLICK,
                  LVS_EX_CHECKBOXES | (test.onBox ? 0 : JX_GRID_EX_CHECKBOX_CLICK));
        ASSERT_TRUE(grid.SetCsv("a,1\r\nb,2\r\n"));
        RECT box = {};
        box.left = LVIR_ICON;
        grid.Send(LVM_GETITEMRECT, 1, LPARAM(&box));
        const POINT at = test.onBox ? POINT{box.left - 8, (box.top + box.bottom) / 2} : MiddleOf(grid.Handle(), 1, 1);
        std::vector<NMITEMACTIVATE> clicks;
        parent_.answer = [&](const NMHDR& header) -> LRESULT {
            if (header.code == UINT(NM_CLICK)) clicks.push_back(reinterpret_cast<const NMITEMACTIVATE&>(header));
            return 0;
        };
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        if (test.held) keys[test.held] = 0x80;
        SetKeyboardState(keys);
        PostMessageW(grid.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
        Pump();
        if (test.held) keys[test.held] = 0;
        SetKeyboardState(keys);
        parent_.answer = nullptr;
        ASSERT_EQ(clicks.size(), 1u);
        EXPECT_EQ(clicks[0].iItem, 1);
        EXPECT_EQ(clicks[0].iSubItem, test.column);
        EXPECT_EQ(clicks[0].uKeyFlags, test.keyFlags);
        EXPECT_EQ(grid.StateImage(1), 2u);
    }
}

}  // namespace
