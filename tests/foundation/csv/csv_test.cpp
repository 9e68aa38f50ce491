// The CSV table: reading and writing rules, rows, columns, headers, files,
// SAFEARRAYs, Sort and Find, a fuzz run over random and mutated texts, and
// both scans against a plain model of the rules.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <tuple>
#include <random>
#include <string>
#include <vector>
#include "counting_allocator.h"
#include "guard_page_heap.h"
#include "files/files.h"
#include "csv/csv_table.h"
#include "runtime/host_alloc.h"
#include "jx/errors.h"
#include "files/paths.h"
#include "text/record_info.h"
#include "regex/regex.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows Content(CsvTable& table) {
    Rows rows(size_t(table.RowCount()));
    for (int r = 0; r < table.RowCount(); ++r) {
        for (int c = 0; c < table.ColumnCount(); ++c) {
            const char* text = nullptr;
            EXPECT_EQ(table.GetCell(r, c, &text), S_OK);
            rows[size_t(r)].push_back(text);
        }
    }
    return rows;
}

void Fill(CsvTable& table, const Rows& rows) {
    table.Clear();
    for (const auto& row : rows) {
        std::vector<const char*> texts;
        for (const auto& field : row) texts.push_back(field.c_str());
        ASSERT_EQ(table.InsertRowTexts(-1, int(texts.size()), texts.data(), 0, nullptr), S_OK);
    }
}

std::string Text(CsvTable& table) {
    str out;
    EXPECT_EQ(table.ToText(out), S_OK);
    return std::string(out.Text(), size_t(out.len));
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

// ---- Reading

struct ReadCase {
    const char* text;
    HRESULT result;
    Rows rows;
};

TEST(CsvRead, FieldsFollowTheQuotingAndSpaceRules) {
    const std::vector<ReadCase> cases = {
        {"a,b,c\r\n1,2,3\r\n", S_OK, {{"a", "b", "c"}, {"1", "2", "3"}}},
        {"\"a b\"   ,c", S_OK, {{"a b", "c"}}},
        {"\" x \",y", S_OK, {{" x ", "y"}}},
        {"\"say \"\"hi\"\"\",z", S_OK, {{"say \"hi\"", "z"}}},
        {"  lead,trail   ,  both  ", S_OK, {{"lead", "trail", "both"}}},
        {"\"multi\r\nline\",x", S_OK, {{"multi\r\nline", "x"}}},
        {"\"a,b\"", S_OK, {{"a,b"}}},
        {"\t a\t", S_OK, {{"\t a\t"}}},
        {"in\"\"side", E_INVALIDARG, {}},
        {"a,", S_OK, {{"a", ""}}},
        {",", S_OK, {{"", ""}}},
        {"   ", S_OK, {{""}}},
        {"", S_FALSE, {}},
        {"a\r\n\r\nb", S_OK, {{"a"}, {""}, {"b"}}},
        {"a\n\nb\n", S_OK, {{"a"}, {""}, {"b"}}},
        {"a\rb\r", S_OK, {{"a"}, {"b"}}},
        {"a\n\rb", S_OK, {{"a"}, {""}, {"b"}}},
        {"a\r\n", S_OK, {{"a"}}},
        {"a,b,c\nd", S_OK, {{"a", "b", "c"}, {"d", "", ""}}},
        {"x\n1,2", S_OK, {{"x", ""}, {"1", "2"}}},
        // malformed: a quote inside an unquoted field, text after a closing
        // quote, the end inside quotes
        {"ab\"c,d", E_INVALIDARG, {}},
        {"a,b\"", E_INVALIDARG, {}},
        {"\"abc\"x,d", E_INVALIDARG, {}},
        {"\"a\" \"b\"", E_INVALIDARG, {}},
        {"\"abc", E_INVALIDARG, {}},
        {"a,\"b\"\"", E_INVALIDARG, {}},
        {"x,y\r\n\"open\r\n", E_INVALIDARG, {}},
    };
    for (const ReadCase& c : cases) {
        CsvTable table;
        ASSERT_EQ(table.FromText("old,rows\r\n"), S_OK);
        EXPECT_EQ(table.FromText(c.text), c.result) << Escaped(c.text);
        EXPECT_EQ(Content(table), c.rows) << Escaped(c.text);
        if (c.rows.empty()) {
            EXPECT_EQ(table.ColumnCount(), 0) << Escaped(c.text);
        }
    }
}

TEST(CsvRead, OtherSeparatorsAndHeadersOfNewRows) {
    CsvTable table;
    ASSERT_EQ(table.SetSeparator(";x"), S_OK);
    ASSERT_EQ(table.SetRowHeaderSize(5), S_OK);
    EXPECT_EQ(table.FromText("a,b; c\r\n\"d;e\""), S_OK);
    EXPECT_EQ(Content(table), (Rows{{"a,b", "c"}, {"d;e", ""}}));
    void* header = nullptr;
    ASSERT_EQ(table.GetRowHeader(1, &header), S_OK);
    EXPECT_EQ(std::string(static_cast<const char*>(header), 6), std::string(5, '\0') + "d");

    // With the space as separator every space separates.
    ASSERT_EQ(table.SetSeparator(" "), S_OK);
    EXPECT_EQ(table.FromText("a  \"b c\" d"), S_OK);
    EXPECT_EQ(Content(table), (Rows{{"a", "", "b c", "d"}}));
}

// ---- Writing

struct WriteCase {
    char separator;
    Rows rows;
    const char* text;
};

TEST(CsvWrite, QuotesOnlyWhereNeeded) {
    const std::vector<WriteCase> cases = {
        {',', {{"a", "b"}, {"", ""}}, "a,b\r\n,\r\n"},
        {',', {{" lead", "trail ", "in side"}}, "\" lead\",\"trail \",in side\r\n"},
        {',', {{"say \"hi\""}}, "\"say \"\"hi\"\"\"\r\n"},
        {',', {{"a,b", "x\ny", "cr\r", "\tq", "a\tb"}}, "\"a,b\",\"x\ny\",\"cr\r\",\"\tq\",a\tb\r\n"},
        {',', {{"\xC3\xA9t\xC3\xA9", ";"}}, "\xC3\xA9t\xC3\xA9,;\r\n"},
        {';', {{"a,b", "c;d", ""}}, "a,b;\"c;d\";\r\n"},
    };
    for (const WriteCase& c : cases) {
        CsvTable table;
        const char separator[] = {c.separator, 0};
        ASSERT_EQ(table.SetSeparator(separator), S_OK);
        Fill(table, c.rows);
        EXPECT_EQ(Text(table), c.text);
    }
}

// Fields made of the bytes that the rules treat specially.
std::string AwkwardField(std::mt19937& random) {
    static const char kBytes[] = {'a', 'Z', '0', ' ', ' ', '"', ',', ';', '\t', '\r', '\n', '<', '>', '\x7F', '\xC3',
                                  '\xA9', '\x01', '|'};
    std::string field;
    const int length = int(random() % 7);
    for (int i = 0; i < length; ++i) field += kBytes[random() % sizeof(kBytes)];
    return field;
}

TEST(CsvWrite, WrittenTablesReadBackUnchanged) {
    std::mt19937 random(20261210);
    for (const char separator : {',', ';', '\t', ' ', '|'}) {
        for (int round = 0; round < 300; ++round) {
            Rows rows(1 + random() % 6, std::vector<std::string>(1 + random() % 5));
            for (auto& row : rows)
                for (auto& field : row) field = AwkwardField(random);
            CsvTable table;
            const char text[] = {separator, 0};
            ASSERT_EQ(table.SetSeparator(text), S_OK);
            Fill(table, rows);
            const std::string written = Text(table);
            ASSERT_EQ(table.FromText(written.c_str()), S_OK) << Escaped(written);
            ASSERT_EQ(Content(table), rows) << Escaped(written);
        }
    }
}

// ---- Separator

TEST(CsvSeparator, RejectsLineEndsAndQuotesAndFallsBackToTheLocale) {
    CsvTable table;
    const char* separator = nullptr;
    ASSERT_EQ(table.GetSeparator(&separator), S_OK);
    EXPECT_STREQ(separator, ",");
    ASSERT_EQ(table.SetSeparator(";"), S_OK);
    for (const char* bad : {"\"", "\r", "\n"}) EXPECT_EQ(table.SetSeparator(bad), E_INVALIDARG);
    ASSERT_EQ(table.GetSeparator(&separator), S_OK);
    EXPECT_STREQ(separator, ";");

    char locale[8] = {};
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SLIST, locale, int(sizeof(locale)));
    for (const char* empty : {"", static_cast<const char*>(nullptr)}) {
        ASSERT_EQ(table.SetSeparator(empty), S_OK);
        ASSERT_EQ(table.GetSeparator(&separator), S_OK);
        EXPECT_EQ(separator[0], locale[0] ? locale[0] : ',');
        EXPECT_EQ(separator[1], 0);
    }
}

TEST(CsvSeparator, ANonAsciiLocaleSeparatorIsNoUtf8Separator) {
    ASSERT_TRUE(IsUtf8Mode());
    char saved[8] = {};
    ASSERT_GT(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SLIST, saved, int(sizeof(saved))), 0);
    // The section sign in the ANSI code page: in UTF-8 text a continuation byte.
    ASSERT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SLIST, "\xA7"));
    CsvTable table;
    const char* separator = nullptr;
    table.GetSeparator(&separator);
    const std::string taken = separator;
    EXPECT_EQ(table.FromText("\xC3\xA7a\xC2\xA7,b\r\n"), S_OK);
    int columns = 0;
    table.GetColumnCount(&columns);
    SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SLIST, saved);
    EXPECT_EQ(taken, ",");
    EXPECT_EQ(columns, 2) << "no character is split";
}

// ---- Cells, rows and columns

TEST(CsvCells, SetCellWidensAppendsAndRejectsGaps) {
    CsvTable table;
    EXPECT_EQ(table.SetCell(0, 2, "c"), S_OK);
    EXPECT_EQ(table.SetCell(-1, 0, "next"), S_OK);
    EXPECT_EQ(table.SetCell(0, 0, "a"), S_OK);
    EXPECT_EQ(table.SetCell(5, 0, "gap"), E_INVALIDARG);
    EXPECT_EQ(table.SetCell(0, -1, "x"), E_INVALIDARG);
    // The text may lie inside the row it replaces, also when the table widens.
    const char* inside = nullptr;
    ASSERT_EQ(table.GetCell(1, 0, &inside), S_OK);
    EXPECT_EQ(table.SetCell(1, 3, inside), S_OK);
    EXPECT_EQ(Content(table), (Rows{{"a", "", "c", ""}, {"next", "", "", "next"}}));

    const char* text = "untouched";
    EXPECT_EQ(table.GetCell(2, 0, &text), E_INVALIDARG);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(table.GetCell(0, 4, &text), E_INVALIDARG);
}

TEST(CsvCells, NumbersInCells) {
    CsvTable table;
    ASSERT_EQ(table.SetCellHex(0, 0, 255), S_OK);
    ASSERT_EQ(table.SetCellInt(0, 1, -42), S_OK);
    ASSERT_EQ(table.SetCell(0, 2, "0x10|3|4"), S_OK);
    ASSERT_EQ(table.SetCell(0, 3, "abc"), S_OK);
    EXPECT_EQ(Content(table), (Rows{{"0xff", "-42", "0x10|3|4", "abc"}}));
    int value = -1;
    EXPECT_EQ(table.GetCellInt(0, 0, &value), S_OK);
    EXPECT_EQ(value, 255);
    EXPECT_EQ(table.GetCellInt(0, 1, &value), S_OK);
    EXPECT_EQ(value, -42);
    EXPECT_EQ(table.GetCellInt(0, 2, &value), S_OK);
    EXPECT_EQ(value, 0x17);
    EXPECT_EQ(table.GetCellInt(0, 3, &value), S_FALSE);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(table.GetCellInt(1, 0, &value), E_INVALIDARG);
}

TEST(CsvRows, InsertInAllThreeFormsWithFirstColumn) {
    CsvTable table;
    ASSERT_EQ(table.FromText("a,b,c,d\r\ne,f,g,h"), S_OK);
    const char packed[] = "p1\0p2";
    const char* texts[] = {"t1", nullptr};
    str strings[2];
    strings[0].Assign("s1");
    int row = -1;
    EXPECT_EQ(table.InsertRowPacked(1, 2, packed, 1, &row), S_OK);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(table.InsertRowTexts(-5, 2, texts, 2, &row), S_OK);
    EXPECT_EQ(row, 3) << "a negative row is the end";
    EXPECT_EQ(table.InsertRowStrings(99, 2, reinterpret_cast<const JxString*>(strings), 3, &row), S_OK);
    EXPECT_EQ(row, 4);
    EXPECT_EQ(table.InsertRow3(0, "x", "y", "z", &row), S_OK);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(Content(table), (Rows{{"x", "y", "z", "", ""},
                                    {"a", "b", "c", "d", ""},
                                    {"", "p1", "p2", "", ""},
                                    {"e", "f", "g", "h", ""},
                                    {"", "", "t1", "", ""},
                                    {"", "", "", "s1", ""}}));

    // Bad arguments change nothing.
    const std::vector<std::tuple<int, int, int>> bad = {{-1, 0, 1}, {1, -1, 1}, {2, 65535, 1}, {1, 0, 3}};
    for (const auto& [count, first, form] : bad)
        EXPECT_EQ(table.PutRow(false, 0, count, texts, form, first, &row), E_INVALIDARG);
    EXPECT_EQ(table.RowCount(), 6);
    EXPECT_EQ(table.ColumnCount(), 5);
}

TEST(CsvRows, AnEmptyTableTakesItsColumnsFromTheFirstRow) {
    CsvTable none, two;
    EXPECT_EQ(none.InsertRowTexts(0, 0, nullptr, 0, nullptr), S_OK);
    EXPECT_EQ(Content(none), (Rows{{""}}));
    EXPECT_EQ(two.InsertRow1(0, "b", nullptr), S_OK);
    EXPECT_EQ(two.InsertRow2(0, "a", "a2", nullptr), S_OK);
    EXPECT_EQ(Content(two), (Rows{{"a", "a2"}, {"b", ""}}));
}

TEST(CsvRows, ReplaceKeepsHeaderAndOtherFields) {
    CsvTable table;
    ASSERT_EQ(table.SetRowHeaderSize(2), S_OK);
    ASSERT_EQ(table.FromText("a,b,c,d"), S_OK);
    static_cast<char*>(table.Row(0))[1] = 7;
    const char* texts[] = {"X", "Y"};
    int row = -1;
    EXPECT_EQ(table.ReplaceRowTexts(0, 2, texts, 1, &row), S_OK);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(table.Row(0)[1], 7);
    EXPECT_EQ(table.ReplaceRowPacked(3, 1, "tail", 3, &row), S_OK);
    EXPECT_EQ(row, 1) << "past the end: appended";
    EXPECT_EQ(table.ReplaceRowTexts(0, 2, texts, 3, &row), S_OK);
    EXPECT_EQ(Content(table), (Rows{{"a", "X", "Y", "X", "Y"}, {"", "", "", "tail", ""}}));
}

TEST(CsvRows, RowsFromTextAreInsertedOrReplaced) {
    CsvTable table;
    ASSERT_EQ(table.SetRowHeaderSize(3), S_OK);
    ASSERT_EQ(table.FromText("a,b\r\nc,d\r\n"), S_OK);
    int first = -1;
    EXPECT_EQ(table.InsertRowsFromText(1, "1,2,3\r\n4", &first), S_OK);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(Content(table), (Rows{{"a", "b", ""}, {"1", "2", "3"}, {"4", "", ""}, {"c", "d", ""}}));
    for (int r = 0; r < table.RowCount(); ++r) EXPECT_EQ(std::string(table.Row(r), 3), std::string(3, '\0'));

    EXPECT_EQ(table.ReplaceRowsFromText(3, "x\r\ny,z", &first), S_OK);
    EXPECT_EQ(first, 3);
    EXPECT_EQ(Content(table),
              (Rows{{"a", "b", ""}, {"1", "2", "3"}, {"4", "", ""}, {"x", "", ""}, {"y", "z", ""}}));

    EXPECT_EQ(table.InsertRowsFromText(0, "bad\"", &first), E_INVALIDARG);
    EXPECT_EQ(first, -1);
    EXPECT_EQ(table.InsertRowsFromText(0, "", &first), S_FALSE);
    EXPECT_EQ(table.RowCount(), 5);
}

TEST(CsvRows, MoveRemoveAndFields) {
    CsvTable table;
    ASSERT_EQ(table.FromText("0\r\n1\r\n2\r\n3"), S_OK);
    EXPECT_EQ(table.MoveRow(0, 2), S_OK);
    EXPECT_EQ(Content(table), (Rows{{"1"}, {"2"}, {"0"}, {"3"}}));
    EXPECT_EQ(table.MoveRow(3, 0), S_OK);
    EXPECT_EQ(Content(table), (Rows{{"3"}, {"1"}, {"2"}, {"0"}}));
    EXPECT_EQ(table.MoveRow(0, 4), E_INVALIDARG);
    EXPECT_EQ(table.RemoveRow(1), S_OK);
    EXPECT_EQ(table.RemoveRow(3), E_INVALIDARG);
    EXPECT_EQ(Content(table), (Rows{{"3"}, {"2"}, {"0"}}));

    ASSERT_EQ(table.FromText("ab,,c"), S_OK);
    str fields;
    ASSERT_EQ(table.GetRowFields(0, fields), S_OK);
    EXPECT_EQ(std::string(fields.buf, size_t(fields.len)), std::string("ab\0\0c\0", 6));
    EXPECT_EQ(table.GetRowFields(1, fields), E_INVALIDARG);
}

TEST(CsvColumns, InsertRemoveAndCount) {
    CsvTable table;
    ASSERT_EQ(table.FromText("a,b,c\r\nd,e,f"), S_OK);
    EXPECT_EQ(table.InsertColumn(1), S_OK);
    EXPECT_EQ(table.InsertColumn(-1), S_OK) << "a column past the end is appended";
    EXPECT_EQ(Content(table), (Rows{{"a", "", "b", "c", ""}, {"d", "", "e", "f", ""}}));
    EXPECT_EQ(table.RemoveColumn(2), S_OK);
    EXPECT_EQ(table.RemoveColumn(4), E_INVALIDARG);
    EXPECT_EQ(Content(table), (Rows{{"a", "", "c", ""}, {"d", "", "f", ""}}));
    EXPECT_EQ(table.SetColumnCount(1), S_OK);
    EXPECT_EQ(table.SetColumnCount(3), S_OK);
    EXPECT_EQ(Content(table), (Rows{{"a", "", ""}, {"d", "", ""}})) << "cut fields do not come back";
    EXPECT_EQ(table.SetColumnCount(65537), E_INVALIDARG);
    EXPECT_EQ(table.SetColumnCount(-1), E_INVALIDARG);
    EXPECT_EQ(table.ColumnCount(), 3);
}

TEST(CsvHeaders, GrowAndShrinkAtTheirEnd) {
    CsvTable table;
    ASSERT_EQ(table.FromText("a,b\r\nc,d"), S_OK);
    void* header = nullptr;
    EXPECT_EQ(table.GetRowHeader(0, &header), E_INVALIDARG) << "no header area";
    ASSERT_EQ(table.SetRowHeaderSize(4), S_OK);
    ASSERT_EQ(table.GetRowHeader(1, &header), S_OK);
    memcpy(header, "WXYZ", 4);
    ASSERT_EQ(table.SetRowHeaderSize(6), S_OK);
    EXPECT_EQ(std::string(table.Row(1), 10), std::string("WXYZ\0\0c\0d\0", 10));
    ASSERT_EQ(table.SetRowHeaderSize(2), S_OK);
    EXPECT_EQ(std::string(table.Row(1), 6), std::string("WXc\0d\0", 6));
    EXPECT_EQ(table.SetRowHeaderSize(1048577), E_INVALIDARG);
    EXPECT_EQ(table.GetRowHeader(2, &header), E_INVALIDARG);
    int size = 0;
    EXPECT_EQ(table.GetRowHeaderSize(&size), S_OK);
    EXPECT_EQ(size, 2);
    EXPECT_EQ(Content(table), (Rows{{"a", "b"}, {"c", "d"}}));
}

// ---- Sort and Find

struct SortCase {
    unsigned flags;
    const char* column;  // one field per line
    const char* sorted;
};

TEST(CsvSort, OrdersByTheColumnUnderTheFlags) {
    const std::vector<SortCase> cases = {
        {0, "b\nC\na\nB", "B\nC\na\nb"},
        {kCompareIgnoreCase, "b\nC\na", "a\nb\nC"},
        {kCsvSortReverse, "b\nc\na", "c\nb\na"},
        {kCsvSortKeepHeaderRow, "zz\nb\na", "zz\na\nb"},
        {kCsvSortKeepHeaderRow, "zz\nb", "zz\nb"},
        {kCsvSortSkipPrefix, "<9>b\n<1>c\na\n<x", "<x\na\n<9>b\n<1>c"},
        {kCompareLogical, "x10\nx9\nx100", "x9\nx10\nx100"},
    };
    for (const SortCase& c : cases) {
        CsvTable table;
        ASSERT_EQ(table.FromText(c.column), S_OK);
        ASSERT_EQ(table.InsertColumn(0), S_OK);
        ASSERT_EQ(table.Sort(c.flags, 1), S_OK);
        table.RemoveColumn(0);
        ASSERT_EQ(table.SetSeparator(","), S_OK);
        std::string lines = Text(table);
        std::erase(lines, '\r');
        EXPECT_EQ(lines, std::string(c.sorted) + "\n") << c.flags << " " << c.column;
    }
    CsvTable table;
    ASSERT_EQ(table.FromText("a,b"), S_OK);
    EXPECT_EQ(table.Sort(0, 2), E_INVALIDARG);
}

TEST(CsvSort, LargeTablesComeOutOrderedWithEveryRow) {
    std::mt19937 random(7);
    for (const unsigned flags : {0u, unsigned(kCsvSortReverse), unsigned(kCompareIgnoreCase) | kCsvSortKeepHeaderRow}) {
        CsvTable table;
        const int rows = 3000;
        for (int r = 0; r < rows; ++r) {
            std::string key(1 + random() % 3, 'a');
            for (char& c : key) c = "aAbBc"[random() % 5];  // many equal keys
            const std::string id = std::to_string(r);
            ASSERT_EQ(table.InsertRow2(-1, id.c_str(), key.c_str(), nullptr), S_OK);
        }
        ASSERT_EQ(table.Sort(flags, 1), S_OK);
        const Rows sorted = Content(table);
        std::vector<bool> seen(rows);
        for (const auto& row : sorted) seen[size_t(std::stoi(row[0]))] = true;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), true), rows);
        if (flags & kCsvSortKeepHeaderRow) {
            EXPECT_EQ(sorted[0][0], "0");
        }
        const CsvFieldOrder order(flags);
        for (size_t r = (flags & kCsvSortKeepHeaderRow) ? 2 : 1; r < sorted.size(); ++r)
            ASSERT_FALSE(order.Less(sorted[r][1].c_str(), sorted[r - 1][1].c_str())) << flags << " row " << r;
    }
}

struct FindCase {
    const char* text;
    unsigned flags;
    int firstRow;
    HRESULT result;
    int row;
};

TEST(CsvFind, MatchesTheColumnFromTheFirstRow) {
    CsvTable table;
    ASSERT_EQ(table.FromText("0,Apple\r\n1,banana\r\n2,apple pie\r\n3,Cherry"), S_OK);
    const std::vector<FindCase> cases = {
        {"apple", 0, 0, S_FALSE, -1},
        {"apple", kMatchAnyIgnoreCase, 0, S_OK, 0},
        {"apple", kMatchAnyIgnoreCase, 1, S_FALSE, -1},
        {"apple", kMatchAnyStartsWith, 0, S_OK, 2},
        {"RR", kMatchAnyContains | kMatchAnyIgnoreCase, -3, S_OK, 3},
        {"^b.n", kMatchAnyRegex, 0, S_OK, 1},
        {"^APP", kMatchAnyRegex | kMatchAnyIgnoreCase, 1, S_OK, 2},
        {"(", kMatchAnyRegex, 0, S_FALSE, -1},
        {"*y", kMatchAnyWildcard, 0, S_OK, 3},
    };
    for (const FindCase& c : cases) {
        int row = 99;
        EXPECT_EQ(table.Find(c.text, c.flags, 1, c.firstRow, &row), c.result) << c.text << " " << c.flags;
        EXPECT_EQ(row, c.row) << c.text << " " << c.flags;
    }
    int row = 99;
    EXPECT_EQ(table.Find("x", 0, 2, 0, &row), E_INVALIDARG);
    EXPECT_EQ(row, -1);
}

// ---- Files

class CsvFiles : public ::testing::Test {
protected:
    void SetUp() override {
        str expanded;
        folder_ = std::filesystem::path(ExpandPath(expanded, "$temp$\\jx-csv-tests"));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    std::string Path(const char* name) const { return (folder_ / name).string(); }
    std::string Read(const char* name) const {
        std::ifstream in(folder_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::filesystem::path folder_;
};

TEST_F(CsvFiles, WriteAppendAndReadBack) {
    CsvTable table;
    Rows rows;
    for (int r = 0; r < 6000; ++r) rows.push_back({std::to_string(r), " quoted, field ", "plain text here"});
    Fill(table, rows);
    const std::string path = Path("t.csv");
    ASSERT_EQ(table.ToFile(path.c_str(), 0), S_OK);
    const std::string text = Text(table);
    ASSERT_GT(text.size(), 200000u) << "several flushes of the buffer";
    EXPECT_EQ(Read("t.csv"), text);

    CsvTable back;
    EXPECT_EQ(back.FromFile(path.c_str()), S_OK);
    EXPECT_EQ(Content(back), rows);

    CsvTable small;
    ASSERT_EQ(small.FromText("x,y"), S_OK);
    ASSERT_EQ(small.ToFile(path.c_str(), kCsvFileAppend), S_OK);
    EXPECT_EQ(Read("t.csv"), text + "x,y\r\n");
    ASSERT_EQ(small.ToFile(path.c_str(), 0), S_OK);
    EXPECT_EQ(Read("t.csv"), "x,y\r\n");

    EXPECT_EQ(back.FromFile(Path("missing.csv").c_str()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(back.RowCount(), 0);
}

TEST_F(CsvFiles, SafeWriterKeepsBackupAndAppends) {
    const std::string path = Path("s.csv");
    CsvTable first, second;
    ASSERT_EQ(first.FromText("old"), S_OK);
    ASSERT_EQ(second.FromText("new"), S_OK);
    ASSERT_EQ(first.ToFile(path.c_str(), kCsvFileSafe), S_OK);
    EXPECT_EQ(Read("s.csv"), "old\r\n");
    ASSERT_EQ(second.ToFile(path.c_str(), kCsvFileBackup | kCsvFileAppend), S_OK);
    EXPECT_EQ(Read("s.csv"), "old\r\nnew\r\n");
    EXPECT_EQ(Read("s.csv-backup"), "old\r\n");
    EXPECT_FALSE(std::filesystem::exists(folder_ / "s.csv-newtmp"));
}

TEST_F(CsvFiles, BytesThatAreNoTextAreMalformed) {
    {
        FileHandle file;
        ASSERT_TRUE(OpenForWrite(file, Path("zero-byte.csv").c_str(), CREATE_ALWAYS));
        ASSERT_TRUE(file.Write("a,b\0c\r\n", 7));
    }
    CsvTable table;
    EXPECT_EQ(table.FromFile(Path("zero-byte.csv").c_str()), E_INVALIDARG);
    EXPECT_EQ(table.RowCount(), 0);
}

// ---- SAFEARRAYs

struct SafeArrayFree {
    void operator()(SAFEARRAY* array) const { DestroySafeArray(array); }
};
using SafeArrayHolder = std::unique_ptr<SAFEARRAY, SafeArrayFree>;

TEST(CsvArrays, ExportAndImportStringRecords) {
    CsvTable table;
    ASSERT_EQ(table.FromText("a,b,c\r\nd,,f"), S_OK);
    SAFEARRAY* raw = nullptr;
    ASSERT_EQ(table.ToArray(&raw), S_OK);
    SafeArrayHolder array(raw);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(SafeArrayGetDim(array.get()), 2u);
    LONG upper = 0;
    SafeArrayGetUBound(array.get(), 1, &upper);
    EXPECT_EQ(upper, 2) << "columns first";
    SafeArrayGetUBound(array.get(), 2, &upper);
    EXPECT_EQ(upper, 1);
    const str* records = static_cast<const str*>(array->pvData);
    EXPECT_STREQ(records[3].Text(), "d") << "row after row";
    EXPECT_STREQ(records[5].Text(), "f");

    CsvTable back;
    EXPECT_EQ(back.FromArray(array.get()), S_OK);
    EXPECT_EQ(Content(back), (Rows{{"a", "b", "c"}, {"d", "", "f"}}));
    EXPECT_EQ(back.FromArray(nullptr), S_OK);
    EXPECT_EQ(back.RowCount(), 0);

    // ToArray replaces what the out argument held; an empty table gives none.
    CsvTable empty;
    raw = array.release();
    EXPECT_EQ(empty.ToArray(&raw), S_OK);
    EXPECT_EQ(raw, nullptr);
}

TEST(CsvArrays, OtherArraysAreRejected) {
    SAFEARRAYBOUND one[1] = {{3, 0}};
    SafeArrayHolder flat(SafeArrayCreateEx(VT_RECORD, 1, one, StrRecordInfo()));
    SAFEARRAYBOUND two[2] = {{2, 0}, {2, 0}};
    SafeArrayHolder values(SafeArrayCreateEx(VT_RECORD, 2, two, ValueRecordInfo()));
    SafeArrayHolder variants(SafeArrayCreate(VT_VARIANT, 2, two));
    CsvTable table;
    for (SAFEARRAY* array : {flat.get(), values.get(), variants.get()}) {
        ASSERT_EQ(table.FromText("x"), S_OK);
        EXPECT_EQ(table.FromArray(array), E_INVALIDARG);
        EXPECT_EQ(table.RowCount(), 0);
    }
}

// ---- The object

TEST(CsvObject, AnswersItsInterfacesAndFreesAtTheLastRelease) {
    const size_t liveBefore = jxhost::Allocator().Stats().liveBlocks;
    ICsvTable* table = new CsvTable;
    ASSERT_EQ(table->FromText("a,b\r\nc,d"), S_OK);
    IUnknown* unknown = nullptr;
    EXPECT_EQ(table->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    ICsvTable* same = nullptr;
    EXPECT_EQ(table->QueryInterface(IID_ICsvTable, reinterpret_cast<void**>(&same)), S_OK);
    EXPECT_EQ(same, table);
    void* other = &other;
    EXPECT_EQ(table->QueryInterface(IID_IDispatch, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(unknown->Release(), 2u);
    EXPECT_EQ(same->Release(), 1u);
    EXPECT_EQ(table->FromControl(nullptr, 0), E_FAIL) << "no grid answers";
    EXPECT_EQ(table->Release(), 0u);
    EXPECT_EQ(jxhost::Allocator().Stats().liveBlocks, liveBefore);
}

TEST(CsvObject, RunningOutOfMemoryLeavesNothingBehind) {
    AllocationPacer().SetPauseStep(0);
    const size_t liveBefore = jxhost::Allocator().Stats().liveBlocks;
    const std::string alone(37, 'x');  // a row block of 38 bytes, a size nothing else asks for
    std::string text;
    for (int r = 0; r < 100; ++r) text += r == 50 ? alone + "\r\n" : "row,text\r\n";
    {
        CsvTable table;
        jxhost::Allocator().FailSize(38);
        EXPECT_THROW(table.FromText(text.c_str()), JxException);
        jxhost::Allocator().ResetFaults();
    }
    EXPECT_EQ(jxhost::Allocator().Stats().liveBlocks, liveBefore);
    {
        // The short row's block (41 bytes) grows to 42 when it is padded to
        // two fields: that fails, and the table is left empty, not with a
        // column count its rows do not have.
        CsvTable table;
        ASSERT_EQ(table.FromText("a\r\n"), S_OK);
        jxhost::Allocator().FailSize(42);
        EXPECT_THROW(table.FromText(("a,b\r\n" + std::string(40, 'y') + "\r\n").c_str()), JxException);
        jxhost::Allocator().ResetFaults();
        int rows = -1, columns = -1;
        table.GetRowCount(&rows);
        table.GetColumnCount(&columns);
        EXPECT_EQ(rows, 0);
        EXPECT_EQ(columns, 0);
    }
    EXPECT_EQ(jxhost::Allocator().Stats().liveBlocks, liveBefore);
    AllocationPacer().SetPauseStep(AllocationFailurePacer::kPauseStepMs);
}

// ---- Fuzz: random and mutated texts through FromText, and round trips of
// what parsed. JX_FUZZ_ITERATIONS sets the count (./jx fuzz runs many more).

// Text placed right before an inaccessible page, so that reading past its
// terminating NUL faults.
class GuardedText {
public:
    GuardedText() {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        base_ = static_cast<char*>(VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
    }
    ~GuardedText() { VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedText(const GuardedText&) = delete;
    GuardedText& operator=(const GuardedText&) = delete;
    size_t Capacity() const { return page_ - 1; }
    const char* Place(const std::string& text) {
        char* start = base_ + page_ - text.size() - 1;
        memcpy(start, text.c_str(), text.size() + 1);
        return start;
    }

private:
    size_t page_ = 0;
    char* base_ = nullptr;
};

std::string RandomCsv(std::mt19937& random) {
    static const char kBytes[] = {'a', 'b', ' ', ' ', '"', '"', ',', ',', ';', '\t', '\r', '\n', '\xC3', '\x01'};
    std::string text;
    const size_t length = random() % 64;
    for (size_t i = 0; i < length; ++i) text += kBytes[random() % sizeof(kBytes)];
    return text;
}

std::string MutatedCsv(std::mt19937& random, CsvTable& scratch) {
    Rows rows(1 + random() % 4, std::vector<std::string>(1 + random() % 4));
    for (auto& row : rows)
        for (auto& field : row) field = AwkwardField(random);
    Fill(scratch, rows);
    std::string text = Text(scratch);
    for (int edits = int(random() % 3); edits >= 0; --edits) {
        const size_t at = text.empty() ? 0 : random() % text.size();
        switch (random() % 3) {
            case 0: text.insert(at, 1, "\",\r\n a"[random() % 6]); break;
            case 1: if (!text.empty()) text.erase(at, 1); break;
            default: if (!text.empty()) text[at] = "\",\r\n a"[random() % 6]; break;
        }
    }
    return text;
}

int FuzzIterations() {
    const char* setting = getenv("JX_FUZZ_ITERATIONS");
    return setting ? atoi(setting) : 200000;
}

TEST(CsvFuzz, RandomAndMutatedTextsParseSafelyAndRoundTrip) {
    std::mt19937 random(12345);
    GuardedText guarded;
    const size_t liveBefore = jxhost::Allocator().Stats().liveBlocks;
    {
        CsvTable table, again, scratch;
        const int iterations = FuzzIterations();
        for (int i = 0; i < iterations; ++i) {
            const std::string source = (i % 2) ? RandomCsv(random) : MutatedCsv(random, scratch);
            if (source.size() > guarded.Capacity()) continue;
            const HRESULT hr = table.FromText(guarded.Place(source));
            if (hr == E_INVALIDARG) {
                ASSERT_EQ(table.RowCount(), 0) << Escaped(source);
                ASSERT_EQ(table.ColumnCount(), 0) << Escaped(source);
                continue;
            }
            ASSERT_TRUE(hr == S_OK || hr == S_FALSE) << Escaped(source);
            ASSERT_EQ(hr == S_OK, table.RowCount() > 0) << Escaped(source);
            const std::string written = Text(table);
            ASSERT_EQ(again.FromText(written.c_str()), hr) << Escaped(source);
            ASSERT_EQ(Content(again), Content(table)) << Escaped(source);
            ASSERT_EQ(Text(again), written) << Escaped(source);
        }
    }
    EXPECT_EQ(jxhost::Allocator().Stats().liveBlocks, liveBefore);
}

// ---- Against a plain model: the rules one byte at a time, on the vector
// scans and on the plain loop.

struct ModelResult {
    HRESULT result;
    Rows rows;
};

// What FromText gives for the text up to its first NUL.
ModelResult ModelParse(const std::string& whole, char separator) {
    const std::string text = whole.substr(0, whole.find('\0'));
    const size_t n = text.size();
    if (n == 0) return {S_FALSE, {}};
    const auto at = [&](size_t i) { return i < n ? text[i] : '\0'; };
    const bool skipSpaces = separator != ' ';
    const ModelResult malformed = {E_INVALIDARG, {}};
    Rows rows;
    size_t i = 0, widest = 0;
    while (i < n) {
        std::vector<std::string> row;
        for (;;) {
            while (skipSpaces && at(i) == ' ') ++i;
            std::string field;
            if (at(i) == '"') {
                for (++i;; ++i) {
                    if (i >= n) return malformed;
                    if (text[i] == '"' && at(i + 1) != '"') break;
                    field += text[i];
                    if (text[i] == '"') ++i;
                }
                ++i;
                while (skipSpaces && at(i) == ' ') ++i;
                if (i < n && text[i] != separator && text[i] != '\r' && text[i] != '\n') return malformed;
            } else {
                for (; i < n && text[i] != separator && text[i] != '\r' && text[i] != '\n'; ++i) {
                    if (text[i] == '"') return malformed;
                    field += text[i];
                }
                while (!field.empty() && field.back() == ' ') field.pop_back();
            }
            row.push_back(field);
            if (row.size() > size_t(kCsvMaxColumns)) return malformed;
            if (i >= n || text[i] != separator) break;
            ++i;
        }
        if (at(i) == '\r') {
            ++i;
            if (at(i) == '\n') ++i;
        } else if (at(i) == '\n') {
            ++i;
        }
        widest = std::max(widest, row.size());
        rows.push_back(std::move(row));
    }
    for (auto& row : rows) row.resize(widest);
    return {S_OK, rows};
}

std::string ModelWrite(const Rows& rows, char separator) {
    std::string text;
    for (const auto& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            const std::string& field = row[c];
            const bool quoted = !field.empty() && (BYTE(field.front()) <= 0x20 || BYTE(field.back()) <= 0x20 ||
                                                   field.find_first_of({separator, '"', '\r', '\n'}) != std::string::npos);
            if (quoted) text += '"';
            for (char ch : field) text.append(ch == '"' && quoted ? 2 : 1, ch);
            if (quoted) text += '"';
            text += c + 1 < row.size() ? std::string(1, separator) : std::string("\r\n");
        }
    }
    return text;
}

// Runs the body once on the vector scans (where the processor has them) and
// once on the plain loop.
template <class Body>
void OnBothScans(Body body) {
    for (const bool vector : {true, false}) {
        SetCsvVectorScan(vector);
        body(vector);
    }
    SetCsvVectorScan(true);
}

// Parses `text` where it lies and compares the table, and the text it
// writes, with the model.
void ExpectAsModel(const char* text, char separator, int headerSize, const std::string& context) {
    const ModelResult expected = ModelParse(text, separator);
    CsvTable table;
    const char sep[] = {separator, 0};
    ASSERT_EQ(table.SetSeparator(sep), S_OK);
    ASSERT_EQ(table.SetRowHeaderSize(headerSize), S_OK);
    ASSERT_EQ(table.FromText(text), expected.result) << context;
    ASSERT_EQ(Content(table), expected.rows) << context;
    ASSERT_EQ(Text(table), ModelWrite(expected.rows, separator)) << context;
}

// Longer fields than the fuzz texts: runs of plain bytes between the
// special ones, so that fields and their stops fall anywhere in a block.
std::string LongRandomCsv(std::mt19937& random) {
    static const char kSpecial[] = {' ', '"', '"', ',', ';', '\r', '\n', '\t', '\xC3'};
    std::string text;
    const size_t length = random() % 300;
    while (text.size() < length) {
        if (random() % 3)
            text.append(random() % 40, char('a' + random() % 26));
        else
            text += kSpecial[random() % sizeof(kSpecial)];
    }
    return text;
}

TEST(CsvModel, RandomTextsReadAndWriteAsTheModelOnBothScans) {
    std::mt19937 random(2026);
    const int iterations = std::max(FuzzIterations() / 20, 100);
    OnBothScans([&](bool vector) {
        CsvTable scratch;
        for (int i = 0; i < iterations; ++i) {
            const char separator = ",;\t "[random() % 4];
            const std::string text = i % 3 == 0   ? RandomCsv(random)
                                     : i % 3 == 1 ? MutatedCsv(random, scratch)
                                                  : LongRandomCsv(random);
            ExpectAsModel(text.c_str(), separator, int(random() % 20), (vector ? "vector " : "plain ") + Escaped(text));
        }
    });
}

// Every field start and end at every offset of the scans' 64-byte blocks: a
// prefix moves the text's start through the block, the field grows past two.
TEST(CsvModel, FieldsAcrossEveryBlockBoundary) {
    static const char* const kShapes[] = {"%", "\"%\"", " % ", "\"a\"\"%\"\"\"", "\"%,\r\n%\"", "%   ", "x,%\r\ny"};
    constexpr size_t kBlock = CsvStopScanner::kBlock;
    alignas(kBlock) char buffer[4 * kBlock + 2 * 140];
    OnBothScans([&](bool vector) {
        for (const char* shape : kShapes) {
            for (size_t length = 0; length <= 2 * kBlock + 2; ++length) {
                std::string text;
                for (const char* c = shape; *c; ++c) text += *c == '%' ? std::string(length, 'k') : std::string(1, *c);
                text += ",end\r\n";
                for (size_t offset = 0; offset < kBlock; ++offset) {
                    memcpy(buffer + offset, text.c_str(), text.size() + 1);
                    ExpectAsModel(buffer + offset, ',', int(offset % 16), Escaped(text) + " at " + std::to_string(offset) +
                                                                             (vector ? " vector" : " plain"));
                }
            }
        }
    });
}

// Texts of every length up to several blocks end at a page boundary: neither
// scan, nor the field walk, reads past the NUL.
TEST(CsvModel, TextsEndingAtAPageBoundaryReadNoFurther) {
    std::mt19937 random(99);
    GuardedText guarded;
    OnBothScans([&](bool vector) {
        CsvTable scratch;
        for (int length = 0; length < 200; ++length) {
            for (int variant = 0; variant < 8; ++variant) {
                std::string text = LongRandomCsv(random) + MutatedCsv(random, scratch);
                text.resize(size_t(length), 'q');
                if (variant % 2 && !text.empty()) text.back() = '"';
                ExpectAsModel(guarded.Place(text), ',', 0, Escaped(text) + (vector ? " vector" : " plain"));
            }
        }
        // Packed fields before the guard: walking to the last one's end.
        const std::string packed("ab\0\0cdefghijklmnopqrstu\0v\0", 26);
        const char* fields = guarded.Place(packed);
        EXPECT_EQ(FieldsSize(fields, 5), packed.size() + 1);
        EXPECT_STREQ(FieldAt(fields, 3), "v");
    });
}

// Every row block ends where an inaccessible page begins: writing the rows
// and walking their fields reads nothing past a row.
TEST(CsvModel, RowsEndingAtAPageBoundaryWriteAsTheModel) {
    std::mt19937 random(5);
    OnBothScans([&](bool vector) {
        for (int round = 0; round < 40; ++round) {
            const std::string text = LongRandomCsv(random);
            const GuardPageHeap heap;
            ExpectAsModel(text.c_str(), ",;"[round % 2], round % 5, Escaped(text) + (vector ? " vector" : " plain"));
        }
    });
}

}  // namespace
