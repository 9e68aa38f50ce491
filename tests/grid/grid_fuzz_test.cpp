// Random sequences of grid and list-view messages against one grid, checked
// after every step against an independent model of its rows: the item count
// follows the rows, the rows read back are the model's, the CSV text is the
// model's written out, and nothing leaks. The owner also changes the grid
// from timers while the user holds a row drag or has an editor open.
// JX_FUZZ_ITERATIONS / 100 sets the number of steps (./jx fuzz runs many more).
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include "grid_test_support.h"

namespace {

using grid_test::Grid;
using grid_test::GridTest;
using grid_test::Parent;

constexpr int kColumns = 3;
using Row = std::vector<std::string>;
using Rows = std::vector<Row>;

int Steps() {
    const char* setting = getenv("JX_FUZZ_ITERATIONS");
    return setting ? std::max(atoi(setting) / 100, 1) : 1500;
}

// One field of CSV as the table writes it.
void WriteField(std::string& out, const std::string& field) {
    if (field.empty()) return;
    const bool quoted = BYTE(field.front()) <= 0x20 || BYTE(field.back()) <= 0x20 ||
                        field.find_first_of(",\"\r\n") != std::string::npos;
    if (!quoted) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::string WriteCsv(const Rows& rows) {
    std::string out;
    for (const Row& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) {
            WriteField(out, row[i]);
            out += i + 1 < row.size() ? "," : "\r\n";
        }
    }
    return out;
}

class Fuzzer {
public:
    Fuzzer(HWND parent, unsigned seed) : parent_(parent), grid_(MakeGrid()), random_(seed) {}

    void Step() {
        switch (Pick(15)) {
        case 0: SetCsv(); break;
        case 1: SetMalformedCsv(); break;
        case 2: PutRow(); break;
        case 3: DeleteItem(); break;
        case 4: InsertItem(); break;
        case 5: SetItemText(); break;
        case 6: Sort(); break;
        case 7: SetPacked(); break;
        case 8: ExchangeIn(); break;
        case 9: BadRecords(); break;
        case 10: ListViewNoise(); break;
        case 11: if (Pick(8) == 0) { grid_->Send(LVM_DELETEALLITEMS); model_.clear(); } break;
        case 12: UserInput(); break;
        case 13: OwnerActsDuringInput(); break;
        default: SetCsv(); break;
        }
    }

    void Check() const {
        ASSERT_EQ(grid_->Rows(), int(model_.size()));
        ASSERT_EQ(grid_->ItemCount(), int(model_.size()));
        ASSERT_EQ(ReadRows(), model_);
        ASSERT_EQ(grid_->Csv(), WriteCsv(model_));
    }

private:
    int Pick(int n) { return int(random_() % unsigned(n)); }

    std::unique_ptr<Grid> MakeGrid() const { return std::make_unique<Grid>(parent_, grid_test::kThreeColumns); }

    std::string Field() {
        static const char* const kPieces[] = {"a", "b", "zz", " ", ",", "\"", "\r\n", "\n", "caf\xC3\xA9", "<", ">",
                                              "/", "1", "-", "\t", "x y"};
        std::string field;
        const int pieces = Pick(4) == 0 ? 0 : Pick(5);
        for (int i = 0; i < pieces; ++i) field += kPieces[Pick(int(std::size(kPieces)))];
        return field;
    }

    Row RandomRow(int fields) {
        Row row;
        for (int i = 0; i < fields; ++i) row.push_back(Field());
        return row;
    }

    static Row Shaped(Row row) {
        row.resize(kColumns);
        return row;
    }

    // The grid's rows, read as packed fields.
    Rows ReadRows() const {
        LRESULT count = 0;
        const std::string packed = grid_->Packed(0, &count);
        Rows rows;
        Row row;
        for (size_t at = 0; at < packed.size();) {
            const size_t end = packed.find('\0', at);
            row.push_back(packed.substr(at, end - at));
            at = end + 1;
            if (row.size() == size_t(kColumns)) rows.push_back(std::move(row)), row.clear();
        }
        return rows;
    }

    void SetCsv() {
        Rows rows;
        const int count = Pick(6);
        for (int i = 0; i < count; ++i) rows.push_back(RandomRow(1 + Pick(5)));
        const std::string text = WriteCsv(rows);
        const bool accepted = grid_->SetCsv(text.c_str());
        EXPECT_EQ(accepted, !rows.empty()) << text;
        if (!accepted) return;
        model_.clear();
        for (Row& row : rows) model_.push_back(Shaped(std::move(row)));
    }

    void SetMalformedCsv() {
        static const char* const kBad[] = {"a,\"b", "x\"y\r\n", "\"a\"b\r\n", "ok\r\n\"open"};
        EXPECT_FALSE(grid_->SetCsv(kBad[Pick(int(std::size(kBad)))]));
    }

    void PutRow() {
        const int row = Pick(int(model_.size()) + 4) - (Pick(10) == 0 ? 3 : 0);
        const int first = Pick(kColumns + 1);
        const int count = Pick(4);
        Row fields = RandomRow(count);
        std::vector<const char*> texts;
        for (const std::string& field : fields) texts.push_back(field.c_str());
        const bool replace = Pick(2);
        GridRowData data = {texts.data(), first, count, JX_GRID_DATA_TEXTS | (replace ? JX_GRID_ROW_REPLACE : 0u),
                            nullptr};
        const LRESULT placed = grid_->Send(JX_GRID_PUTROW, WPARAM(row), LPARAM(&data));
        if (row < 0 || first >= kColumns) {
            EXPECT_EQ(placed, -1);
            return;
        }
        while (int(model_.size()) < row) model_.push_back(Row(kColumns));
        const bool replacing = replace && row < int(model_.size());
        Row target = replacing ? model_[size_t(row)] : Row(kColumns);
        for (int i = 0; i < count && first + i < kColumns; ++i) target[size_t(first + i)] = fields[size_t(i)];
        if (replacing)
            model_[size_t(row)] = target;
        else
            model_.insert(model_.begin() + row, target);
        EXPECT_EQ(placed, row);
    }

    void DeleteItem() {
        const int row = Pick(int(model_.size()) + 2) - 1;
        const LRESULT deleted = grid_->Send(LVM_DELETEITEM, WPARAM(row));
        const bool inRange = row >= 0 && row < int(model_.size());
        EXPECT_EQ(deleted, inRange ? TRUE : FALSE);
        if (inRange) model_.erase(model_.begin() + row);
    }

    void InsertItem() {
        const std::string text = Field();
        std::wstring wide(text.begin(), text.end());
        if (text.find('\xC3') != std::string::npos) return;  // ASCII only through the plain widening
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = Pick(int(model_.size()) + 3) - 1;
        item.pszText = wide.data();
        const LRESULT row = grid_->Send(LVM_INSERTITEMW, 0, LPARAM(&item));
        if (item.iItem < 0) {
            EXPECT_EQ(row, -1);
            return;
        }
        const int at = std::min(item.iItem, int(model_.size()));
        EXPECT_EQ(row, at);
        model_.insert(model_.begin() + at, Shaped({text}));
    }

    void SetItemText() {
        const std::string text = Field();
        LVITEMA item = {};
        item.iSubItem = Pick(kColumns + 1);
        item.pszText = const_cast<char*>(text.c_str());
        const int row = Pick(int(model_.size()) + 1);
        // Stored as ANSI text: the model keeps what the UTF-8 library makes of plain ASCII.
        if (text.find('\xC3') != std::string::npos) return;
        const LRESULT stored = grid_->Send(LVM_SETITEMTEXTA, WPARAM(row), LPARAM(&item));
        const bool inRange = row < int(model_.size()) && item.iSubItem < kColumns;
        EXPECT_EQ(stored, inRange ? TRUE : FALSE);
        if (inRange) model_[size_t(row)][size_t(item.iSubItem)] = text;
    }

    void Sort() {
        const int column = Pick(kColumns + 1);
        const bool descending = Pick(2);
        const LRESULT sorted = grid_->Send(JX_GRID_SORT, descending ? JX_GRID_SORT_DESCENDING : 0, column);
        EXPECT_EQ(sorted, column < kColumns ? TRUE : FALSE);
        if (column >= kColumns) return;
        // Rows with equal keys may change places: the keys must be in order and
        // the rows the same; the grid's order is then the model's.
        Rows rows = ReadRows();
        Rows expected = model_, actual = rows;
        std::sort(expected.begin(), expected.end());
        std::sort(actual.begin(), actual.end());
        ASSERT_EQ(actual, expected);
        for (size_t i = 1; i < rows.size(); ++i) {
            const int order = strcmp(rows[i - 1][size_t(column)].c_str(), rows[i][size_t(column)].c_str());
            ASSERT_TRUE(descending ? order >= 0 : order <= 0) << "rows " << i - 1 << " and " << i;
        }
        model_ = rows;
    }

    void SetPacked() {
        std::string packed;
        const int fields = Pick(10);
        Rows rows;
        Row row;
        for (int i = 0; i < fields; ++i) {
            const std::string field = Field();
            packed.append(field).push_back('\0');
            row.push_back(field);
            if (row.size() == size_t(kColumns)) rows.push_back(std::move(row)), row.clear();
        }
        GridPackedFields data = {packed.data(), int(packed.size())};
        EXPECT_EQ(grid_->Send(JX_GRID_SETPACKED, 0, LPARAM(&data)), TRUE);
        model_ = rows;
    }

    struct Source {
        const Rows* rows;
        int failAt;
        std::string packed;
    };

    static int __cdecl GiveRow(GridRowExchange* exchange) {
        auto* source = static_cast<Source*>(exchange->context);
        if (exchange->rowIndex == source->failAt) return 1;
        source->packed.clear();
        for (const std::string& field : (*source->rows)[size_t(exchange->rowIndex)])
            source->packed.append(field).push_back('\0');
        exchange->fields = source->packed.data();
        return 0;
    }

    void ExchangeIn() {
        Rows rows;
        const int count = Pick(5);
        for (int i = 0; i < count; ++i) rows.push_back(RandomRow(kColumns));
        Source source = {&rows, Pick(3) == 0 ? Pick(count + 1) : -1, {}};
        GridRowExchange exchange = {};
        exchange.context = &source;
        exchange.callback = GiveRow;
        exchange.direction = JX_GRID_EXCHANGE_IN;
        exchange.rowCount = count;
        exchange.columnCount = kColumns;
        const bool fails = source.failAt >= 0 && source.failAt < count;
        EXPECT_EQ(grid_->Send(JX_GRID_EXCHANGEROWS, 0, LPARAM(&exchange)) != 0, !fails);
        if (!fails) model_ = rows;
    }

    void BadRecords() {
        switch (Pick(6)) {
        case 0: EXPECT_EQ(grid_->Send(JX_GRID_PUTROW, WPARAM(Pick(5)), 0), -1); break;
        case 1: {
            GridRowData data = {nullptr, 0, 1 + Pick(3), JX_GRID_DATA_TEXTS, nullptr};
            EXPECT_EQ(grid_->Send(JX_GRID_PUTROW, 0, LPARAM(&data)), -1);
            break;
        }
        case 2: {
            GridPackedFields data = {"a", -1 - Pick(100)};
            EXPECT_EQ(grid_->Send(JX_GRID_SETPACKED, 0, LPARAM(&data)), FALSE);
            break;
        }
        case 3: {
            GridRowExchange exchange = {};
            exchange.callback = GiveRow;
            exchange.direction = JX_GRID_EXCHANGE_IN;
            exchange.rowCount = -1 - Pick(10);
            EXPECT_EQ(grid_->Send(JX_GRID_EXCHANGEROWS, 0, LPARAM(&exchange)), FALSE);
            break;
        }
        case 4: {
            GridRowRead read = {};
            read.columnCount = -1 - Pick(3);
            EXPECT_EQ(grid_->Send(JX_GRID_READROW, WPARAM(Pick(4)), LPARAM(&read)), 0);
            break;
        }
        default: EXPECT_EQ(grid_->Send(JX_GRID_READROW, WPARAM(Pick(4)), 0), 0); break;
        }
    }

    // List-view messages that read or refuse, with random and edge arguments.
    void ListViewNoise() {
        const WPARAM row = WPARAM(Pick(int(model_.size()) + 3)) - 1;
        switch (Pick(9)) {
        case 0: EXPECT_EQ(grid_->Send(LVM_SETITEMCOUNT, model_.size() + 1 + Pick(3)), 0); break;
        case 6: {
            const int column = Pick(kColumns + 1);
            const LRESULT set = grid_->Send(JX_GRID_SETCELLKIND, row, MAKELPARAM(column, Pick(20) - 4));
            EXPECT_EQ(set, row < model_.size() && column < kColumns ? TRUE : FALSE);
            break;
        }
        case 7: {
            // Query 1 writes the column count through its argument.
            const int query = Pick(8);
            grid_->Send(JX_GRID_QUERY, MAKEWPARAM(query, Pick(4)), query == JX_GRID_QUERY_ROWS ? 0 : LPARAM(row));
            break;
        }
        case 8: {
            GridRowRead read = {};
            read.firstColumn = Pick(kColumns);
            read.columnCount = kColumns;
            const LRESULT size = grid_->Send(JX_GRID_READROW, row, LPARAM(&read));
            if (row >= model_.size()) {
                EXPECT_EQ(size, JX_GRID_READ_BAD_ARGUMENTS);
                break;
            }
            const Row& fields = model_[row];
            size_t expected = 0;
            for (int column = read.firstColumn; column < kColumns; ++column) expected += fields[size_t(column)].size() + 1;
            EXPECT_EQ(size, LRESULT(expected));
            EXPECT_EQ(read.text, fields[size_t(read.firstColumn)]);
            break;
        }
        case 1: {
            wchar_t text[8];
            LVITEMW item = {};
            item.iSubItem = Pick(kColumns + 1);
            item.pszText = text;
            item.cchTextMax = 1 + Pick(8);
            grid_->Send(LVM_GETITEMTEXTW, row, LPARAM(&item));
            break;
        }
        case 2: {
            LVITEMW item = {};
            item.state = LVIS_SELECTED | INDEXTOOVERLAYMASK(Pick(4));
            item.stateMask = LVIS_SELECTED | LVIS_OVERLAYMASK;
            grid_->Send(LVM_SETITEMSTATE, row, LPARAM(&item));
            break;
        }
        case 3: grid_->Send(LVM_GETITEMSTATE, row, LVIS_SELECTED | LVIS_STATEIMAGEMASK); break;
        case 4: grid_->Shown(int(row), Pick(kColumns + 1)); break;
        default: {
            LVCOLUMNW column = {};
            column.mask = LVCF_TEXT;
            column.pszText = const_cast<wchar_t*>(L"X");
            if (!model_.empty()) EXPECT_EQ(grid_->Send(LVM_INSERTCOLUMNW, 0, LPARAM(&column)), -1);
            break;
        }
        }
    }

    // What a user does: menu commands, command keys, clicks and typing into
    // the editor they open. The rows that result are taken as the model's.
    void UserInput() {
        switch (Pick(4)) {
        case 0:
            grid_->Send(WM_COMMAND, WPARAM(JX_GRID_CMD_CUT + Pick(JX_GRID_CMD_EDIT_SELECTED - JX_GRID_CMD_CUT + 1)), 0);
            break;
        case 1: {
            static const WPARAM kKeys[] = {VK_DELETE, VK_INSERT, VK_UP, VK_DOWN, 'X', 'C', 'V', 'A', VK_SPACE, VK_ADD};
            BYTE keys[256] = {};
            GetKeyboardState(keys);
            keys[VK_CONTROL] = Pick(2) ? 0x80 : 0;
            keys[VK_SHIFT] = Pick(4) == 0 ? 0x80 : 0;
            SetKeyboardState(keys);
            grid_->Send(WM_KEYDOWN, kKeys[Pick(int(std::size(kKeys)))], 1);
            keys[VK_CONTROL] = keys[VK_SHIFT] = 0;
            SetKeyboardState(keys);
            break;
        }
        case 2: {
            // The release waits in the queue, so that no press tracks the mouse for ever.
            const LPARAM point = MAKELPARAM(Pick(600), Pick(200));
            PostMessageW(grid_->Handle(), WM_LBUTTONUP, 0, point);
            grid_->Send(WM_LBUTTONDOWN, MK_LBUTTON, point);
            break;
        }
        case 3:
            grid_->Send(LVM_EDITLABELW, WPARAM(Pick(int(model_.size()) + 2)), LPARAM(Pick(kColumns + 1) - 1));
            break;
        }
        if (HWND editor = reinterpret_cast<HWND>(grid_->Send(LVM_GETEDITCONTROL))) {
            SetWindowTextW(editor, Pick(2) ? L"typed" : L"");
            static const WPARAM kEditorKeys[] = {VK_TAB, VK_RETURN, VK_ESCAPE, VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT};
            PostMessageW(editor, WM_KEYDOWN, kEditorKeys[Pick(int(std::size(kEditorKeys)))], 1);
            grid_test::Pump();
        }
        grid_->Send(LVM_EDITLABELW, WPARAM(-1), 0);  // closes an editor still open, storing its text
        grid_test::Pump();
        model_ = ReadRows();
    }

    // A timer of the owner's gives the grid new rows, clears them or
    // destroys the grid while the user holds a row drag, or while an editor
    // (perhaps with its dropdown list) is open and a key is on its way.
    void OwnerActsDuringInput() {
        enum Change { kNewRows, kClearRows, kDestroy };
        const Change change = Change(Pick(3));
        HWND window = grid_->Handle();
        Rows given;
        if (change == kNewRows)
            for (int count = 1 + Pick(4); count > 0; --count) given.push_back(RandomRow(kColumns));
        bool acted = false;
        const auto act = [&, window] {
            acted = true;
            if (change == kDestroy) {
                DestroyWindow(window);
            } else if (change == kClearRows) {
                SendMessageW(window, LVM_DELETEALLITEMS, 0, 0);
            } else {
                const std::string text = WriteCsv(given);
                EXPECT_TRUE(SendMessageW(window, JX_GRID_CSV, JX_GRID_CSV_SET, LPARAM(text.c_str())));
            }
        };
        if (Pick(2)) {
            grid_->Send(JX_GRID_SETSTYLE, JX_GRID_ROW_DRAG, JX_GRID_ROW_DRAG);
            const POINT press = model_.empty() ? POINT{Pick(600), Pick(300)}
                                               : grid_test::MiddleOf(window, Pick(int(model_.size())), Pick(kColumns));
            const POINT release = {Pick(600), Pick(400) - 20};
            grid_test::DragWhileOwnerActs(window, press, release, act);
        } else if (HWND editor = reinterpret_cast<HWND>(
                       grid_->Send(LVM_EDITLABELW, WPARAM(Pick(int(model_.size()) + 1)), LPARAM(Pick(kColumns + 1) - 1)))) {
            static const WPARAM kKeys[] = {VK_NEXT, VK_TAB, VK_RETURN, VK_DOWN, VK_ESCAPE};
            PostMessageW(editor, WM_KEYDOWN, kKeys[Pick(int(std::size(kKeys)))], 1);
            grid_test::HeldAction() = act;
            const UINT_PTR timer = SetTimer(nullptr, 0, UINT(1 + Pick(20)), grid_test::RunHeldAction);
            // Waits a bounded time for the timer, so that no step can hang.
            for (int wait = 0; wait < 200 && !acted; ++wait) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
                grid_test::Pump();
            }
            KillTimer(nullptr, timer);
            grid_test::HeldAction() = nullptr;
        }
        grid_test::Pump();
        if (!IsWindow(window)) {
            ASSERT_TRUE(acted) << "only the owner destroys the grid";
            grid_ = MakeGrid();
            model_.clear();
            return;
        }
        grid_->Send(LVM_EDITLABELW, WPARAM(-1), 0);
        grid_test::Pump();
        model_ = ReadRows();
        if (!acted) return;
        // Nothing the user did before the change reaches the owner's rows.
        Rows expected;
        for (Row& row : given) expected.push_back(Shaped(row));
        ASSERT_EQ(model_, expected);
    }

    HWND parent_;
    std::unique_ptr<Grid> grid_;
    std::mt19937 random_;
    Rows model_;
};

TEST_F(GridTest, RandomMessageSequencesKeepTheModel) {
    Parent parent;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        Fuzzer fuzzer(parent.Handle(), seed);
        for (int step = 0; step < Steps(); ++step) {
            fuzzer.Step();
            fuzzer.Check();
            if (HasFatalFailure() || HasNonfatalFailure()) FAIL() << "seed " << seed << ", step " << step;
            if (step % 64 == 0) grid_test::Pump();
        }
    }
}

}  // namespace
