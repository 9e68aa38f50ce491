// JX_Grid windows of jxgrid.dll in a real parent, driven by messages.
#include <string.h>
#include <memory>
#include <string>
#include <vector>
#include "csv/csv_table.h"
#include "grid_test_support.h"

namespace {

using grid_test::Grid;
using grid_test::GridTest;
using grid_test::kHighItemData;
using grid_test::kNegativeItemData;
using grid_test::kThreeColumns;
using grid_test::kTooLargeItemData;
using grid_test::Parent;

std::string Packed(std::initializer_list<const char*> fields) {
    std::string packed;
    for (const char* field : fields) packed.append(field).push_back('\0');
    return packed;
}

int ColumnWidth(const Grid& grid, int column) { return int(grid.Send(LVM_GETCOLUMNWIDTH, column)); }

// ---- Class, creation and columns

TEST_F(GridTest, WindowTextDefinesColumnsAndIsCleared) {
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    ASSERT_TRUE(grid.Handle());
    EXPECT_EQ(GetWindowTextLengthW(grid.Handle()), 0);
    EXPECT_EQ(grid.HeaderColumns(), 3);
    EXPECT_EQ(grid.Columns(), 3);
    RECT client;
    GetClientRect(grid.Handle(), &client);
    for (int column = 0; column < 3; ++column) EXPECT_EQ(ColumnWidth(grid, column), client.right * 33 / 100);

    const LONG style = GetWindowLongW(grid.Handle(), GWL_STYLE);
    EXPECT_EQ(style & (LVS_TYPEMASK | LVS_OWNERDATA | LVS_EDITLABELS | LVS_SHAREIMAGELISTS),
              LVS_REPORT | LVS_OWNERDATA | LVS_SHAREIMAGELISTS);
    const LRESULT extended = grid.Send(LVM_GETEXTENDEDLISTVIEWSTYLE);
    EXPECT_EQ(extended & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP),
              LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
}

TEST_F(GridTest, SettingsRowAndColumnFields) {
    Parent parent;
    // style 0x8, percentages less the scroll bar, set flags 1, get flags 2,
    // header drag and drop on; widths in pixels and percent; kinds and flags.
    Grid grid(parent.Handle(), L"8,1,1,2,0x10\r\nNo,40,7,1\r\nName,50%,1\r\n");
    EXPECT_EQ(grid.Send(JX_GRID_QUERY, JX_GRID_QUERY_STYLE), JX_GRID_ROW_NUMBERS);
    EXPECT_TRUE(grid.Send(LVM_GETEXTENDEDLISTVIEWSTYLE) & LVS_EX_HEADERDRAGDROP);
    EXPECT_EQ(grid.HeaderColumns(), 2);
    EXPECT_EQ(ColumnWidth(grid, 0), 40);
    RECT client;
    GetClientRect(grid.Handle(), &client);
    EXPECT_EQ(ColumnWidth(grid, 1), (client.right - GetSystemMetrics(SM_CXVSCROLL)) * 50 / 100);
    EXPECT_EQ(grid.Send(JX_GRID_QUERY, JX_GRID_QUERY_COLUMNKIND, 0), 7);
    EXPECT_EQ(grid.Send(JX_GRID_QUERY, JX_GRID_QUERY_COLUMNKIND, 1), 1);

    // The column kind is fixed for column 0: a row cannot change it.
    ASSERT_TRUE(grid.SetCsv("x,y\r\n"));
    EXPECT_EQ(grid.Send(JX_GRID_SETCELLKIND, 0, MAKELPARAM(0, 2)), TRUE);
    EXPECT_EQ(grid.Send(JX_GRID_QUERY, MAKEWPARAM(JX_GRID_QUERY_CELLKIND, 0), 0), 7);
    EXPECT_EQ(grid.Send(JX_GRID_SETCELLKIND, 0, MAKELPARAM(1, 3)), TRUE);
    EXPECT_EQ(grid.Send(JX_GRID_QUERY, MAKEWPARAM(JX_GRID_QUERY_CELLKIND, 1), 0), 3);
    // Set flag 1: one field per row into column 0; column 0 shows the row number.
    ASSERT_TRUE(grid.SetCsv("first\r\nsecond\r\n"));
    EXPECT_EQ(grid.Csv(), "first,\r\nsecond,\r\n");
    EXPECT_EQ(grid.Shown(1, 0), L"2");
}

TEST_F(GridTest, ColumnChangesAreRefusedWhileRowsExist) {
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    ASSERT_TRUE(grid.SetCsv("a,b,c\r\n"));
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT;
    column.pszText = const_cast<wchar_t*>(L"D");
    EXPECT_EQ(grid.Send(LVM_INSERTCOLUMNW, 3, LPARAM(&column)), -1);
    EXPECT_EQ(grid.Send(LVM_INSERTCOLUMNA, 3, LPARAM(&column)), -1);
    EXPECT_EQ(grid.Send(LVM_DELETECOLUMN, 0), FALSE);
    EXPECT_EQ(grid.Send(JX_GRID_SETCOLUMNKIND, 0, 2), FALSE);
    EXPECT_EQ(grid.Send(JX_GRID_SETCOLUMNS, 0, LPARAM("X\r\n")), FALSE);
    EXPECT_EQ(grid.HeaderColumns(), 3);
    EXPECT_EQ(grid.Columns(), 3);
    EXPECT_EQ(grid.Csv(), "a,b,c\r\n");

    // Without rows the same changes go through and keep the table in step.
    grid.Send(LVM_DELETEALLITEMS);
    EXPECT_EQ(grid.Send(LVM_INSERTCOLUMNW, 3, LPARAM(&column)), 3);
    EXPECT_EQ(grid.Columns(), 4);
    EXPECT_EQ(grid.Send(LVM_DELETECOLUMN, 0), TRUE);
    EXPECT_EQ(grid.Columns(), 3);
    EXPECT_EQ(grid.Send(JX_GRID_SETCOLUMNKIND, 2, MAKELPARAM(3, 0)), TRUE);
    EXPECT_EQ(grid.Send(JX_GRID_SETCOLUMNKIND, 3, 0), FALSE) << "out of range";
    EXPECT_EQ(grid.Send(JX_GRID_SETCOLUMNS, 0, LPARAM("One\r\nTwo\r\n")), TRUE);
    EXPECT_EQ(grid.HeaderColumns(), 2);
}

TEST_F(GridTest, StateThatCannotBeMadeFailsCreation) {
    Parent parent;
    jxhost::Allocator().FailNext(1);
    Grid grid(parent.Handle(), kThreeColumns);
    jxhost::Allocator().ResetFaults();
    EXPECT_EQ(grid.Handle(), nullptr);
}

// ---- Item count

TEST_F(GridTest, ItemCountFollowsTheRows) {
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    ASSERT_TRUE(grid.SetCsv("1\r\n2\r\n3\r\n"));
    EXPECT_EQ(grid.ItemCount(), 3);
    EXPECT_EQ(grid.Send(LVM_SETITEMCOUNT, 10), 0);
    EXPECT_EQ(grid.ItemCount(), 3);
    EXPECT_EQ(grid.Send(LVM_DELETEITEM, 1), TRUE);
    EXPECT_EQ(grid.Send(LVM_DELETEITEM, 7), FALSE);
    EXPECT_EQ(grid.ItemCount(), 2) << "the posted refresh is done by the next message";
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = 1;
    item.pszText = const_cast<wchar_t*>(L"mid");
    EXPECT_EQ(grid.Send(LVM_INSERTITEMW, 0, LPARAM(&item)), 1);
    EXPECT_EQ(grid.ItemCount(), 3);
    EXPECT_EQ(grid.Csv(), "1,,\r\nmid,,\r\n3,,\r\n");
    EXPECT_EQ(grid.Send(LVM_DELETEALLITEMS), TRUE);
    EXPECT_EQ(grid.ItemCount(), 0);
}

// ---- Row properties

TEST_F(GridTest, RowPrefixSetsPropertiesAndLeavesTheText) {
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    grid.Send(JX_GRID_SETSTYLE, JX_GRID_ROW_PROPERTIES, JX_GRID_ROW_PROPERTIES);
    ASSERT_TRUE(grid.SetCsv("< / / 3 >first,x\r\n<>second,y\r\n< 2 / 77 / / 1 / 2 / 4 / . 5 >third,z\r\n"));
    EXPECT_EQ(grid.Csv(), "first,x,\r\nsecond,y,\r\nthird,z,\r\n") << "the prefixes are removed from the text";
    GridRowRead read = {};
    LVITEMW item = {};
    item.mask = LVIF_IMAGE | LVIF_PARAM | LVIF_STATE | LVIF_INDENT;
    item.stateMask = LVIS_OVERLAYMASK | LVIS_STATEIMAGEMASK;
    read.properties = &item;
    read.columnCount = 3;
    grid.Send(JX_GRID_READROW, 0, LPARAM(&read));
    EXPECT_EQ(item.iImage, 3);
    EXPECT_EQ(item.lParam, 0);
    EXPECT_EQ(item.iIndent, 0);
    grid.Send(JX_GRID_READROW, 1, LPARAM(&read));
    EXPECT_EQ(item.iImage, 0) << "an empty prefix changes nothing";
    EXPECT_EQ(item.state, 0u);
    grid.Send(JX_GRID_READROW, 2, LPARAM(&read));
    EXPECT_EQ(item.lParam, 77);
    EXPECT_EQ(item.state, UINT(INDEXTOOVERLAYMASK(1) | INDEXTOSTATEIMAGEMASK(2)));
    EXPECT_EQ(item.iIndent, 4);
    EXPECT_EQ(grid.Send(JX_GRID_QUERY, MAKEWPARAM(JX_GRID_QUERY_CELLKIND, 0), 2), 2) << "'.' keeps the row's kind";
    EXPECT_EQ(grid.Send(JX_GRID_QUERY, MAKEWPARAM(JX_GRID_QUERY_CELLKIND, 1), 2), 5);
    EXPECT_EQ(grid.Send(JX_GRID_QUERY, MAKEWPARAM(JX_GRID_QUERY_CELLKIND, 2), 2), 2);
}

std::vector<LPARAM> g_compared;
int CALLBACK ByItemDataAscending(LPARAM a, LPARAM b, LPARAM) {
    g_compared.push_back(a);
    g_compared.push_back(b);
    return a < b ? -1 : a > b;
}

std::vector<std::string> g_exchanged;
int __cdecl CollectRows(GridRowExchange* exchange) {
    g_exchanged.emplace_back(exchange->fields);  // column 0 alone: one field
    return 0;
}
int __cdecl GiveCollectedRows(GridRowExchange* exchange) {
    exchange->fields = g_exchanged[size_t(exchange->rowIndex)].c_str();
    return 0;
}

TEST_F(GridTest, ItemDataKeepsItsFullValue) {
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    grid.Send(JX_GRID_SETSTYLE, JX_GRID_ROW_PROPERTIES, ~0u);
    const std::string high = std::to_string(int64_t(kHighItemData)), negative = std::to_string(int64_t(kNegativeItemData));
    ASSERT_TRUE(grid.SetCsv(("</" + high + ">a\r\n</" + negative + ">b\r\n</0>c\r\n</" + kTooLargeItemData + ">d\r\n").c_str()));
    EXPECT_EQ(grid.ItemData(0), kHighItemData);
    EXPECT_EQ(grid.ItemData(1), kNegativeItemData);
    EXPECT_EQ(grid.ItemData(2), 0);
    EXPECT_EQ(grid.ItemData(3), 0) << "a value wider than the architecture is refused";
    EXPECT_EQ(grid.Csv(), "a,,\r\nb,,\r\nc,,\r\nd,,\r\n");

    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = 3;
    item.lParam = kHighItemData - 1;
    ASSERT_TRUE(grid.Send(LVM_SETITEMW, 0, LPARAM(&item)));
    EXPECT_EQ(grid.ItemData(3), kHighItemData - 1);

    // Written back in the prefix as decimal numbers
    g_exchanged.clear();
    GridRowExchange out = {};
    out.callback = CollectRows;
    out.direction = JX_GRID_EXCHANGE_OUT;
    out.flags = JX_GRID_PREFIX_DATA;
    ASSERT_TRUE(grid.Send(JX_GRID_EXCHANGEROWS, 0, LPARAM(&out)));
    EXPECT_EQ(g_exchanged, (std::vector<std::string>{"</" + high + ">a", "</" + negative + ">b", "</0>c",
                                                     "</" + std::to_string(int64_t(kHighItemData - 1)) + ">d"}));
    Grid other(parent.Handle(), kThreeColumns, 2);
    other.Send(JX_GRID_SETSTYLE, JX_GRID_ROW_PROPERTIES, ~0u);
    GridRowExchange in = {};
    in.callback = GiveCollectedRows;
    in.direction = JX_GRID_EXCHANGE_IN;
    in.flags = JX_GRID_SET_COLUMN0_ONLY;
    in.rowCount = int(g_exchanged.size());
    in.columnCount = 1;
    ASSERT_TRUE(other.Send(JX_GRID_EXCHANGEROWS, 0, LPARAM(&in)));
    for (int row = 0; row < 4; ++row) EXPECT_EQ(other.ItemData(row), grid.ItemData(row)) << "row " << row;

    // Notifications carry the row's item data, the base list view's as the grid's.
    std::vector<LPARAM> notified;
    parent.answer = [&](const NMHDR& header) -> LRESULT {
        if (header.code == UINT(LVN_ITEMCHANGED) && header.hwndFrom == grid.Handle())
            notified.push_back(reinterpret_cast<const NMLISTVIEW&>(header).lParam);
        return 0;
    };
    LVITEMW selected = {};
    selected.state = selected.stateMask = LVIS_SELECTED;
    grid.Send(LVM_SETITEMSTATE, 1, LPARAM(&selected));
    EXPECT_EQ(notified, std::vector<LPARAM>{kNegativeItemData});
    parent.answer = nullptr;

    g_compared.clear();
    EXPECT_EQ(grid.Send(LVM_SORTITEMS, 0, LPARAM(ByItemDataAscending)), TRUE);
    EXPECT_EQ(grid.Csv(), "b,,\r\nc,,\r\nd,,\r\na,,\r\n");
    for (const LPARAM value : g_compared)
        EXPECT_TRUE(value == kHighItemData || value == kNegativeItemData || value == 0 || value == kHighItemData - 1) << value;
}

TEST_F(GridTest, PrefixStaysInALabelColumnButIsNotShown) {
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    grid.Send(JX_GRID_SETSTYLE, JX_GRID_ROW_PROPERTIES | JX_GRID_LABEL_COLUMN, ~0u);
    ASSERT_TRUE(grid.SetCsv("<//5>label,x\r\n"));
    EXPECT_EQ(grid.Csv(), "<//5>label,x,\r\n");
    EXPECT_EQ(grid.Shown(0, 0), L"label");
    EXPECT_EQ(grid.Packed(JX_GRID_GET_STRIP_PREFIX), Packed({"label", "x", ""}));
}

TEST_F(GridTest, WrittenPrefixes) {
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    grid.Send(JX_GRID_SETSTYLE, JX_GRID_ROW_PROPERTIES, ~0u);
    ASSERT_TRUE(grid.SetCsv("<1/9/-4/2/1/2>a,b,c\r\n"));
    struct Case {
        unsigned flags;
        const char* first;
    } cases[] = {
        {JX_GRID_PREFIX_INDENT, "</////2>a"},
        {JX_GRID_PREFIX_KIND | JX_GRID_PREFIX_DATA, "<1/9>a"},
        {JX_GRID_PREFIX_IMAGE, "<//-1>a"},
        {JX_GRID_PREFIX_ALL, "<1/9/-1/2/1/2/1 1 1>a"},
        {JX_GRID_PREFIX_CELL_KINDS | JX_GRID_GET_NO_COLUMN0, "<//////1 1>b"},
    };
    for (const Case& c : cases) {
        const std::string packed = grid.Packed(c.flags);
        EXPECT_STREQ(packed.c_str(), c.first) << std::hex << c.flags;
    }
}

TEST_F(GridTest, CheckBoxesMarkRowsAndChooseCheckedRows) {
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    grid.Send(JX_GRID_SETSTYLE, JX_GRID_ROW_PROPERTIES, ~0u);
    ASSERT_TRUE(grid.SetCsv("<////2>one\r\ntwo\r\n<////2>three\r\n"));
    EXPECT_EQ(grid.StateImage(0), 2u);
    grid.Send(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
    EXPECT_TRUE(grid.Send(JX_GRID_QUERY, JX_GRID_QUERY_STYLE) & JX_GRID_CHECK_BOXES);
    for (int row = 0; row < 3; ++row) EXPECT_EQ(grid.StateImage(row), 1u) << "row " << row << " is unchecked";

    LVITEMW item = {};
    item.state = INDEXTOSTATEIMAGEMASK(2);
    item.stateMask = LVIS_STATEIMAGEMASK;
    grid.Send(LVM_SETITEMSTATE, 2, LPARAM(&item));
    // Row 0 selected, row 2 checked: in check-box mode only the checked row counts.
    item.state = item.stateMask = LVIS_SELECTED;
    grid.Send(LVM_SETITEMSTATE, 0, LPARAM(&item));
    LRESULT fields = 0;
    EXPECT_EQ(grid.Packed(JX_GRID_GET_SELECTED, &fields), Packed({"three", "", ""}));
    EXPECT_EQ(fields, 3);
    // New rows of a check-box grid are unchecked.
    ASSERT_TRUE(grid.SetCsv("four\r\n"));
    EXPECT_EQ(grid.StateImage(0), 1u);

    grid.Send(JX_GRID_SETSTYLE, 0, JX_GRID_CHECK_BOXES);
    EXPECT_FALSE(grid.Send(LVM_GETEXTENDEDLISTVIEWSTYLE) & LVS_EX_CHECKBOXES);
    grid.Send(JX_GRID_SETSTYLE, JX_GRID_CHECK_BOXES, JX_GRID_CHECK_BOXES);
    EXPECT_TRUE(grid.Send(LVM_GETEXTENDEDLISTVIEWSTYLE) & LVS_EX_CHECKBOXES);
    EXPECT_EQ(grid.Send(LVM_SETEXTENDEDLISTVIEWSTYLE, JX_GRID_EX_CHECKBOX_CLICK, JX_GRID_EX_CHECKBOX_CLICK), 0)
        << "the grid's own bit alone is not passed on";
}

// ---- The grid's messages

TEST_F(GridTest, GetAndSetFlagsAgainstExpectedCsv) {
    Parent parent;
    struct Case {
        const char* settings;  // settings row: style, options, set flags, get flags
        const char* before;    // rows already in the grid
        const char* text;
        const char* expected;
    } cases[] = {
        {"0,,0,0", "", "a,b,c\r\nd\r\n", "a,b,c\r\nd,,\r\n"},
        {"0,,0,0", "", "a,b,c,d,e\r\n", "a,b,c\r\n"},
        {"0,,1,0", "", "a,b\r\nc\r\n", "a,,\r\nc,,\r\n"},
        {"0,,2,0", "k1\r\nk2\r\nk3\r\n", "a,b\r\nc,d\r\n", "k1,a,b\r\nk2,c,d\r\nk3,,\r\n"},
        {"0,,2,0", "k1\r\n", "a,b\r\nc,d\r\n", "k1,a,b\r\n,c,d\r\n"},
        {"8,,2,0", "k1\r\n", "a,b\r\n", ",a,b\r\n"},
        {"0,,0,1", "", "a,b,c\r\n", "b,c\r\n"},
        {"0,,0,2", "", "a,b,c\r\n,,\r\nd\r\n", "a,b,c\r\nd,,\r\n"},
        {"4,,0,0x200000", "", "<////1/3>a,b\r\n", "</////3>a,b,\r\n"},
        {"5,,0,8", "", "<////1/3>a,b\r\n", "a,b,\r\n"},
        {"5,,0,0", "", "<////1/3>a,b\r\n", "<////1/3>a,b,\r\n"},
    };
    for (const Case& c : cases) {
        std::wstring definition;
        for (const char* p = c.settings; *p; ++p) definition += wchar_t(*p);
        definition += L"\r\nA\r\nB\r\nC\r\n";
        Grid grid(parent.Handle(), definition.c_str());
        if (*c.before) {
            // One field per row, whatever the set flags are.
            std::string fields = c.before;
            for (size_t at; (at = fields.find("\r\n")) != std::string::npos;) fields.replace(at, 2, 1, '\0');
            GridPackedFields packed = {fields.data(), int(fields.size())};
            ASSERT_TRUE(grid.Send(JX_GRID_SETPACKED, JX_GRID_SET_COLUMN0_ONLY, LPARAM(&packed)));
        }
        ASSERT_TRUE(grid.SetCsv(c.text)) << c.text;
        EXPECT_EQ(grid.Csv(), c.expected) << c.settings << " / " << c.text;
        EXPECT_EQ(grid.ItemCount(), grid.Rows());
    }
}

TEST_F(GridTest, PackedFieldsInAndOut) {
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    const std::string fields = Packed({"a", "b", "c", "d", "e", "f", "g"});
    GridPackedFields packed = {fields.data(), int(fields.size())};
    EXPECT_EQ(grid.Send(JX_GRID_SETPACKED, 0, LPARAM(&packed)), TRUE);
    EXPECT_EQ(grid.Csv(), "a,b,c\r\nd,e,f\r\n") << "the incomplete last row is dropped";
    LRESULT count = 0;
    EXPECT_EQ(grid.Packed(JX_GRID_GET_NO_COLUMN0, &count), Packed({"b", "c", "e", "f"}));
    EXPECT_EQ(count, 4);

    GridRowRead read = {};
    read.firstColumn = 1;
    read.columnCount = 2;
    EXPECT_EQ(grid.Send(JX_GRID_READROW, 1, LPARAM(&read)), 4);
    EXPECT_STREQ(read.text, "e");
    read.columnCount = 0;
    EXPECT_EQ(grid.Send(JX_GRID_READROW, 1, LPARAM(&read)), JX_GRID_READ_NO_COLUMNS);
    EXPECT_STREQ(read.text, "");
    read.columnCount = 3;
    read.flags = JX_GRID_READ_SELECTED_ONLY;
    EXPECT_EQ(grid.Send(JX_GRID_READROW, 1, LPARAM(&read)), JX_GRID_READ_NOT_SELECTED);
    ASSERT_TRUE(grid.SetCsv(",,\r\n"));
    read.flags = JX_GRID_READ_REPORT_EMPTY;
    EXPECT_EQ(grid.Send(JX_GRID_READROW, 0, LPARAM(&read)), JX_GRID_READ_EMPTY_ROW);
}

TEST_F(GridTest, PutRowAddsTheMissingRowsFirst) {
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    const char* texts[] = {"x", "y"};
    GridRowData data = {texts, 1, 2, JX_GRID_DATA_TEXTS, nullptr};
    EXPECT_EQ(grid.Send(JX_GRID_PUTROW, 5, LPARAM(&data)), 5);
    EXPECT_EQ(grid.Rows(), 6);
    EXPECT_EQ(grid.ItemCount(), 6);
    EXPECT_EQ(grid.Csv(), ",,\r\n,,\r\n,,\r\n,,\r\n,,\r\n,x,y\r\n");

    const std::string packed = Packed({"r"});
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.lParam = 42;
    GridRowData replace = {packed.data(), 0, 1, JX_GRID_DATA_PACKED | JX_GRID_ROW_REPLACE, &item};
    EXPECT_EQ(grid.Send(JX_GRID_PUTROW, 5, LPARAM(&replace)), 5);
    EXPECT_EQ(grid.Rows(), 6);
    EXPECT_EQ(grid.Csv(), ",,\r\n,,\r\n,,\r\n,,\r\n,,\r\nr,x,y\r\n");
    LVITEMW read = {};
    read.mask = LVIF_PARAM;
    read.iItem = 5;
    grid.Send(LVM_GETITEMW, 0, LPARAM(&read));
    EXPECT_EQ(read.lParam, 42);
}

TEST_F(GridTest, ModifiedFlagAndNestedChangeNotifications) {
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    const WPARAM editChange = MAKEWPARAM(100, EN_CHANGE);
    EXPECT_EQ(grid.Send(JX_GRID_QUERY, JX_GRID_QUERY_MODIFIED, 0), 0);
    parent.onChange = [&](const GridNotify& note) {
        EXPECT_EQ(note.row, -1);
        EXPECT_EQ(note.header.hwndFrom, grid.Handle());
        grid.Send(WM_COMMAND, editChange);  // a change while the owner handles one
    };
    grid.Send(WM_COMMAND, editChange);
    ASSERT_EQ(parent.notices.size(), 1u) << "the nested change notification is not sent";
    EXPECT_EQ(parent.notices[0].reason, JX_GRID_REASON_EDITOR_TEXT);
    EXPECT_EQ(grid.Send(JX_GRID_QUERY, JX_GRID_QUERY_MODIFIED, JX_GRID_MODIFIED_CLEAR), 1);
    EXPECT_EQ(grid.Send(JX_GRID_QUERY, JX_GRID_QUERY_MODIFIED, 0), 0);
    EXPECT_EQ(grid.Send(JX_GRID_QUERY, JX_GRID_QUERY_MODIFIED, JX_GRID_MODIFIED_SET), 0);
    EXPECT_EQ(grid.Send(JX_GRID_QUERY, JX_GRID_QUERY_MODIFIED, 0), 1);
}

TEST_F(GridTest, SortShowsTheArrowAndToggles) {
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    ASSERT_TRUE(grid.SetCsv("b,2\r\nc,10\r\na,3\r\n"));
    EXPECT_EQ(grid.Send(JX_GRID_SORT, 0, 0), TRUE);
    EXPECT_EQ(grid.Csv(), "a,3,\r\nb,2,\r\nc,10,\r\n");
    EXPECT_EQ(grid.Send(JX_GRID_SORT, JX_GRID_SORT_TOGGLE | 4, 1), TRUE) << "no arrow on column 1 yet: ascending";
    EXPECT_EQ(grid.Csv(), "b,2,\r\na,3,\r\nc,10,\r\n");
    EXPECT_EQ(grid.Send(JX_GRID_SORT, JX_GRID_SORT_TOGGLE | 4, 1), TRUE);
    EXPECT_EQ(grid.Csv(), "c,10,\r\na,3,\r\nb,2,\r\n");
    HDITEMW item = {};
    item.mask = HDI_FORMAT;
    const HWND header = HWND(grid.Send(LVM_GETHEADER));
    SendMessageW(header, HDM_GETITEMW, 1, LPARAM(&item));
    EXPECT_TRUE(item.fmt & HDF_SORTDOWN);
    SendMessageW(header, HDM_GETITEMW, 0, LPARAM(&item));
    EXPECT_FALSE(item.fmt & (HDF_SORTDOWN | HDF_SORTUP));
    EXPECT_EQ(grid.Send(JX_GRID_SORT, 0, 3), FALSE);
}

int CALLBACK ByItemDataDescending(LPARAM a, LPARAM b, LPARAM) { return int(b - a); }

TEST_F(GridTest, SortItemsByTheCallersComparison) {
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    grid.Send(JX_GRID_SETSTYLE, JX_GRID_ROW_PROPERTIES, ~0u);
    ASSERT_TRUE(grid.SetCsv("</1>a\r\n</3>b\r\n</2>c\r\n"));
    EXPECT_EQ(grid.Send(LVM_SORTITEMS, 0, LPARAM(ByItemDataDescending)), TRUE);
    EXPECT_EQ(grid.Csv(), "b,,\r\nc,,\r\na,,\r\n");
    EXPECT_EQ(grid.Send(LVM_SORTITEMSEX, 0, LPARAM(ByItemDataDescending)), TRUE) << "by index: reversed";
    EXPECT_EQ(grid.Csv(), "a,,\r\nc,,\r\nb,,\r\n");
}

// ---- Text in both character sets and code pages

class GridCodePageTest : public GridTest, public ::testing::WithParamInterface<UINT> {};

TEST_P(GridCodePageTest, ItemTextInAnsiAndUtf16) {
    constexpr UINT kWesternAnsi = 1252;
    if (GetACP() != kWesternAnsi) GTEST_SKIP() << "needs the ANSI code page 1252";
    Load(GetParam());
    const bool utf8 = GetParam() == CP_UTF8;
    const char* stored = utf8 ? "caf\xC3\xA9" : "caf\xE9";  // as the library keeps it
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    ASSERT_TRUE(grid.SetCsv(stored));

    wchar_t wide[16];
    LVITEMW item = {};
    item.pszText = wide;
    item.cchTextMax = 16;
    EXPECT_EQ(grid.Send(LVM_GETITEMTEXTW, 0, LPARAM(&item)), 4);
    EXPECT_STREQ(wide, L"caf\u00E9");
    char ansi[16];
    LVITEMA itemA = {};
    itemA.pszText = ansi;
    itemA.cchTextMax = 16;
    EXPECT_EQ(grid.Send(LVM_GETITEMTEXTA, 0, LPARAM(&itemA)), 4);
    EXPECT_STREQ(ansi, "caf\xE9");
    itemA.cchTextMax = 3;
    EXPECT_EQ(grid.Send(LVM_GETITEMTEXTA, 0, LPARAM(&itemA)), 2);
    EXPECT_STREQ(ansi, "ca");
    EXPECT_EQ(grid.Shown(0, 0), L"caf\u00E9");
    LVITEMA shownA = {};
    shownA.mask = LVIF_TEXT;
    shownA.pszText = ansi;
    shownA.cchTextMax = 16;
    grid.Send(LVM_GETITEMA, 0, LPARAM(&shownA));
    EXPECT_STREQ(ansi, "caf\xE9") << "the list view's ANSI form of the display text";

    itemA.iSubItem = 1;
    itemA.pszText = const_cast<char*>("\xC4pfel");
    EXPECT_EQ(grid.Send(LVM_SETITEMTEXTA, 0, LPARAM(&itemA)), TRUE);
    item.iSubItem = 2;
    item.pszText = const_cast<wchar_t*>(L"\u00DFtra\u00DFe");
    EXPECT_EQ(grid.Send(LVM_SETITEMTEXTW, 0, LPARAM(&item)), TRUE);
    LVITEMW insert = {};
    insert.mask = LVIF_TEXT;
    insert.iItem = 1;
    insert.pszText = const_cast<wchar_t*>(L"\u00FC");
    EXPECT_EQ(grid.Send(LVM_INSERTITEMW, 0, LPARAM(&insert)), 1);
    LVITEMA insertA = {};
    insertA.mask = LVIF_TEXT;
    insertA.iItem = 2;
    insertA.pszText = const_cast<char*>("\xF6");
    EXPECT_EQ(grid.Send(LVM_INSERTITEMA, 0, LPARAM(&insertA)), 2);
    const std::string expected = utf8 ? "caf\xC3\xA9,\xC3\x84pfel,\xC3\x9Ftra\xC3\x9F" "e\r\n\xC3\xBC,,\r\n\xC3\xB6,,\r\n"
                                      : "caf\xE9,\xC4pfel,\xDFtra\xDF" "e\r\n\xFC,,\r\n\xF6,,\r\n";
    EXPECT_EQ(grid.Csv(), expected);
}

INSTANTIATE_TEST_SUITE_P(CodePages, GridCodePageTest, ::testing::Values(UINT(CP_UTF8), UINT(1252)));

// ---- The table's exchange with a grid

TEST_F(GridTest, CsvTableRoundTripThroughTheGrid) {
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    {
        CsvTable table;
        ASSERT_EQ(table.FromText("a,b,c\r\n\"x,y\",,z\r\n"), S_OK);
        EXPECT_EQ(table.ToControl(grid.Handle(), 0), S_OK);
        EXPECT_EQ(grid.Csv(), "a,b,c\r\n\"x,y\",,z\r\n");
        CsvTable back;
        EXPECT_EQ(back.FromControl(grid.Handle(), JX_GRID_GET_NO_COLUMN0), S_OK);
        str text;
        back.ToText(text);
        EXPECT_STREQ(text.Text(), "b,c\r\n,z\r\n");
        EXPECT_EQ(back.FromControl(parent.Handle(), 0), E_FAIL) << "not a grid";
    }
}

// ---- Bad input

int __cdecl FailAtRowTwo(GridRowExchange* exchange) {
    static const char fields[] = "p\0q\0r";
    exchange->fields = fields;
    return exchange->rowIndex == 2;
}

int __cdecl GivesNoFields(GridRowExchange*) { return 0; }

TEST_F(GridTest, BadInputFailsAndChangesNothing) {
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    ASSERT_TRUE(grid.SetCsv("a,b,c\r\nd,e,f\r\n"));
    const std::string before = grid.Csv();

    EXPECT_FALSE(grid.SetCsv("a,\"b\r\n"));
    EXPECT_FALSE(grid.SetCsv("a,b\"c\r\n"));
    EXPECT_FALSE(grid.SetCsv(""));
    EXPECT_FALSE(grid.SetCsv(nullptr));
    EXPECT_EQ(grid.Send(JX_GRID_CSV, JX_GRID_CSV_GET, 0), FALSE);
    grid.Send(LVM_DELETEALLITEMS);
    EXPECT_EQ(grid.Send(JX_GRID_SETCOLUMNS, 0, LPARAM("X,\"1\r\n")), FALSE);
    EXPECT_EQ(grid.Send(JX_GRID_SETCOLUMNS, 0, 0), FALSE);
    EXPECT_EQ(grid.HeaderColumns(), 3);
    ASSERT_TRUE(grid.SetCsv(before.c_str()));

    // Rows, columns and records out of range or missing.
    EXPECT_EQ(grid.Send(JX_GRID_SETCELLKIND, 2, MAKELPARAM(0, 1)), FALSE);
    EXPECT_EQ(grid.Send(JX_GRID_SETCELLKIND, 0, MAKELPARAM(3, 1)), FALSE);
    EXPECT_EQ(grid.Send(JX_GRID_SETPACKED, 0, 0), FALSE);
    GridPackedFields negative = {"a", -1};
    EXPECT_EQ(grid.Send(JX_GRID_SETPACKED, 0, LPARAM(&negative)), FALSE);
    GridPackedFields nullFields = {nullptr, 4};
    EXPECT_EQ(grid.Send(JX_GRID_SETPACKED, 0, LPARAM(&nullFields)), FALSE);
    EXPECT_EQ(grid.Send(JX_GRID_GETPACKED, 0, 0), 0);
    EXPECT_EQ(grid.Send(JX_GRID_PUTROW, 0, 0), -1);
    GridRowData data = {nullptr, 0, 2, 0, nullptr};
    EXPECT_EQ(grid.Send(JX_GRID_PUTROW, 0, LPARAM(&data)), -1) << "fields without data";
    data = {"x", -1, 1, 0, nullptr};
    EXPECT_EQ(grid.Send(JX_GRID_PUTROW, 0, LPARAM(&data)), -1);
    data = {"x", 0, -1, 0, nullptr};
    EXPECT_EQ(grid.Send(JX_GRID_PUTROW, 0, LPARAM(&data)), -1);
    data = {"x", 3, 1, 0, nullptr};
    EXPECT_EQ(grid.Send(JX_GRID_PUTROW, 0, LPARAM(&data)), -1);
    data = {"x", 0, 1, 3, nullptr};
    EXPECT_EQ(grid.Send(JX_GRID_PUTROW, 0, LPARAM(&data)), -1) << "no such form";
    data = {"x", 0, 1, 0, nullptr};
    EXPECT_EQ(grid.Send(JX_GRID_PUTROW, WPARAM(-1), LPARAM(&data)), -1);
    EXPECT_EQ(grid.Send(JX_GRID_PUTROW, WPARAM(1 << 30), LPARAM(&data)), -1) << "more rows than a grid can hold";
    jxhost::Allocator().FailNext(1);
    EXPECT_EQ(grid.Send(JX_GRID_PUTROW, WPARAM(1000), LPARAM(&data)), -1) << "rows the allocator cannot give";
    jxhost::Allocator().ResetFaults();
    EXPECT_EQ(grid.Send(JX_GRID_READROW, 0, 0), JX_GRID_READ_BAD_ARGUMENTS);
    GridRowRead read = {};
    read.text = "stale";
    EXPECT_EQ(grid.Send(JX_GRID_READROW, 2, LPARAM(&read)), JX_GRID_READ_BAD_ARGUMENTS);
    EXPECT_EQ(read.text, nullptr);
    read.columnCount = -1;
    EXPECT_EQ(grid.Send(JX_GRID_READROW, 0, LPARAM(&read)), JX_GRID_READ_BAD_ARGUMENTS);
    read.columnCount = 1;
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    read.properties = &item;
    EXPECT_EQ(grid.Send(JX_GRID_READROW, 0, LPARAM(&read)), JX_GRID_READ_BAD_ARGUMENTS);

    GridRowExchange exchange = {};
    EXPECT_EQ(grid.Send(JX_GRID_EXCHANGEROWS, 0, 0), FALSE);
    EXPECT_EQ(grid.Send(JX_GRID_EXCHANGEROWS, 0, LPARAM(&exchange)), FALSE) << "no callback";
    exchange.callback = FailAtRowTwo;
    exchange.direction = JX_GRID_EXCHANGE_IN;
    exchange.rowCount = 4;
    exchange.columnCount = 3;
    EXPECT_EQ(grid.Send(JX_GRID_EXCHANGEROWS, 0, LPARAM(&exchange)), FALSE) << "the callback stops at row 2";
    exchange.rowCount = -1;
    EXPECT_EQ(grid.Send(JX_GRID_EXCHANGEROWS, 0, LPARAM(&exchange)), FALSE);
    exchange.rowCount = 2;
    exchange.columnCount = -3;
    EXPECT_EQ(grid.Send(JX_GRID_EXCHANGEROWS, 0, LPARAM(&exchange)), FALSE);
    exchange.columnCount = 3;
    exchange.callback = GivesNoFields;
    EXPECT_EQ(grid.Send(JX_GRID_EXCHANGEROWS, 0, LPARAM(&exchange)), FALSE) << "null fields";
    exchange.direction = 7;
    EXPECT_EQ(grid.Send(JX_GRID_EXCHANGEROWS, 0, LPARAM(&exchange)), FALSE);
    exchange.direction = JX_GRID_EXCHANGE_OUT;
    exchange.callback = FailAtRowTwo;
    EXPECT_EQ(grid.Send(JX_GRID_EXCHANGEROWS, 0, LPARAM(&exchange)), TRUE) << "two rows only";

    LVITEMW text = {};
    text.iSubItem = 5;
    EXPECT_EQ(grid.Send(LVM_SETITEMTEXTW, 0, LPARAM(&text)), FALSE);
    EXPECT_EQ(grid.Send(LVM_SETITEMTEXTW, 9, LPARAM(&text)), FALSE);
    EXPECT_EQ(grid.Send(LVM_GETITEMTEXTW, 0, 0), 0);
    EXPECT_EQ(grid.Send(LVM_SETITEMW, 0, 0), FALSE);
    EXPECT_EQ(grid.Send(LVM_INSERTITEMW, 0, 0), -1);
    EXPECT_EQ(grid.Send(LVM_SORTITEMS, 0, 0), FALSE);

    EXPECT_EQ(grid.Csv(), before);
    EXPECT_EQ(grid.ItemCount(), 2);
}

TEST_F(GridTest, EmptyGridAndGridWithoutColumns) {
    Parent parent;
    Grid grid(parent.Handle(), L"");
    EXPECT_EQ(grid.Columns(), 0);
    EXPECT_FALSE(grid.SetCsv("a\r\n"));
    const char* text = "x";
    GridRowData data = {&text, 0, 1, JX_GRID_DATA_TEXTS, nullptr};
    EXPECT_EQ(grid.Send(JX_GRID_PUTROW, 0, LPARAM(&data)), -1);
    GridRowExchange exchange = {};
    exchange.callback = GivesNoFields;
    EXPECT_EQ(grid.Send(JX_GRID_EXCHANGEROWS, 0, LPARAM(&exchange)), TRUE) << "an empty grid hands out nothing";
    exchange.direction = JX_GRID_EXCHANGE_IN;
    EXPECT_EQ(grid.Send(JX_GRID_EXCHANGEROWS, 0, LPARAM(&exchange)), FALSE) << "no columns to take rows";
    EXPECT_EQ(grid.Csv(), "");
}

// ---- Lifetime

TEST_F(GridTest, ParentHookOutlivesOneOfTwoGrids) {
    Parent parent;
    Grid first(parent.Handle(), kThreeColumns, 1);
    ASSERT_TRUE(first.SetCsv("one\r\n"));
    {
        Grid second(parent.Handle(), kThreeColumns, 2);
        ASSERT_TRUE(second.SetCsv("two\r\n"));
        NMHDR begin = {second.Handle(), 2, UINT(LVN_BEGINLABELEDITA)};
        SendMessageW(parent.Handle(), WM_NOTIFY, 2, LPARAM(&begin));
    }
    // The destroyed grid was the one being edited: the parent's clicks must not reach it.
    SendMessageW(parent.Handle(), WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    SendMessageW(parent.Handle(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
    EXPECT_EQ(first.Shown(0, 0), L"one") << "the hook still answers for the grid that lives";
    // A notification from a window that is no grid goes by.
    NMHDR other = {parent.Handle(), 0, UINT(LVN_GETDISPINFOW)};
    SendMessageW(parent.Handle(), WM_NOTIFY, 0, LPARAM(&other));
}

TEST_F(GridTest, OwnerDestroysTheGridWhileItNotifies) {
    Parent parent;
    auto grid = std::make_unique<Grid>(parent.Handle(), kThreeColumns);
    parent.onChange = [&](const GridNotify& note) { DestroyWindow(note.header.hwndFrom); };
    grid->Send(WM_COMMAND, MAKEWPARAM(100, EN_CHANGE));
    EXPECT_FALSE(IsWindow(grid->Handle()));
    ASSERT_EQ(parent.notices.size(), 1u);
}

TEST_F(GridTest, LibraryUnloadsWhileAParentOfGridsLives) {
    {
        Parent parent;
        { Grid grid(parent.Handle(), kThreeColumns); }
        ASSERT_EQ(library_->Unload().blocks, 0);
        // The parent's messages must not reach code that is gone.
        NMHDR header = {parent.Handle(), 0, UINT(LVN_GETDISPINFOW)};
        SendMessageW(parent.Handle(), WM_NOTIFY, 0, LPARAM(&header));
        SendMessageW(parent.Handle(), WM_LBUTTONDOWN, 0, 0);
    }
    Load(JX_DEFAULT_CODE_PAGE);
}

TEST_F(GridTest, ItemAndEditorMessagesWithoutAnEditor) {
    Parent parent;
    Grid grid(parent.Handle(), kThreeColumns);
    ASSERT_TRUE(grid.SetCsv("a\r\nb\r\n"));
    LVITEMW item = {};
    item.mask = LVIF_IMAGE | LVIF_PARAM | LVIF_INDENT | LVIF_TEXT;
    item.iItem = 1;
    item.iImage = 4;
    item.lParam = 9;
    item.iIndent = 2;
    item.pszText = const_cast<wchar_t*>(L"B");
    EXPECT_EQ(grid.Send(LVM_SETITEMW, 0, LPARAM(&item)), TRUE);
    LVITEMW read = {};
    read.mask = LVIF_IMAGE | LVIF_PARAM | LVIF_INDENT;
    read.iItem = 1;
    grid.Send(LVM_GETITEMW, 0, LPARAM(&read));
    EXPECT_EQ(read.iImage, 4);
    EXPECT_EQ(read.lParam, 9);
    EXPECT_EQ(read.iIndent, 2);
    EXPECT_EQ(grid.Csv(), "a,,\r\nB,,\r\n");

    LVITEMW select = {};
    select.state = select.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    grid.Send(LVM_SETITEMSTATE, 1, LPARAM(&select));
    EXPECT_EQ(grid.Send(LVM_GETSELECTEDCOUNT), 1);
    EXPECT_EQ(grid.Send(WM_MBUTTONDOWN, 0, MAKELPARAM(5, 5)), 0);
    EXPECT_EQ(grid.Send(LVM_GETSELECTEDCOUNT), 0) << "the middle button selects none";
    EXPECT_EQ(grid.Send(WM_CHAR, 'b'), 0);
    EXPECT_EQ(grid.Send(LVM_GETEDITCONTROL), 0);
    EXPECT_EQ(grid.Send(LVM_EDITLABELW, WPARAM(-1)), 0);
    EXPECT_EQ(grid.Send(JX_GRID_SETCELLBUTTON, JX_GRID_ICON_LIBRARY, LPARAM("tip")), FALSE) << "no cell button";
}

TEST_F(GridTest, ManyParentsAndGridsGiveEverythingBack) {
    const size_t blocks = grid_test::LiveBlocks();
    const int windows = grid_test::ThreadWindows();
    for (int round = 0; round < 200; ++round) {
        Parent parent;
        Grid grid(parent.Handle(), L"4|32\r\nA\r\nB\r\n");
        Grid other(parent.Handle(), kThreeColumns, 2);
        ASSERT_TRUE(grid.SetCsv("<1/2/3>x,y\r\n<////2>z\r\n"));
        grid.Send(JX_GRID_SORT, JX_GRID_SORT_DESCENDING, 1);
        EXPECT_EQ(grid.Shown(0, 1), L"y");
        other.Send(LVM_DELETEITEM, 0);
        EXPECT_EQ(grid.Csv(), "x,y\r\nz,\r\n");
        grid_test::Pump();
    }
    EXPECT_EQ(grid_test::LiveBlocks(), blocks);
    EXPECT_EQ(grid_test::ThreadWindows(), windows);
}

}  // namespace
