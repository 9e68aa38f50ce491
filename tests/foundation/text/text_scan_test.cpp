#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <utility>
#include <vector>
#include "text/numbers.h"
#include "text/text_scan.h"
#include "guarded_text.h"

namespace {

using Strings = std::vector<std::string>;

Strings ToStrings(const TextList& list) { return Strings(list.begin(), list.end()); }

// The bytes of a buffer with each zero byte shown as "~".
std::string Shown(const char* buffer, size_t n) {
    std::string shown(buffer, n);
    for (char& c : shown) {
        if (!c) c = '~';
    }
    return shown;
}

std::string Repeated(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

TEST(TokenizeOptions, SplitsOptionsOutsideQuotesAndBrackets) {
    struct Case {
        const char* text;
        size_t maxTokens;
        unsigned mode;
        Strings tokens;
        const char* after;  // the text afterwards, zero bytes shown as "~"
    };
    const Case cases[] = {
        {R"(/a 1 /b "x/y" /c (p/q))", kAllTokens, 0, {"a 1", R"(b "x/y")", "c (p/q)"}, R"(/a 1~~b "x/y"~~c (p/q))"},
        {"  x {a/{b/c}} / y  ", kAllTokens, 0, {"x {a/{b/c}}", "y"}, "  x {a/{b/c}}~~ y~~"},
        {"/a (')') /b", kAllTokens, 0, {"a (')')", "b"}, "/a (')')~~b"},
        {R"(/a "open / b )", kAllTokens, 0, {R"(a "open / b)"}, R"(/a "open / b~)"},
        {"/a (x / b  ", kAllTokens, 0, {"a (x / b"}, "/a (x / b~~"},
        {"//x", kAllTokens, 0, {"", "x"}, "/~x"},
        {"   ", kAllTokens, 0, {}, "   "},
        {"/a /b /c", 2, 0, {"a", "b"}, "/a~~b~~c"},
        {"/a /b", kAllTokens, kTokenizeKeepText, {"a /b", "b"}, "/a /b"},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        TextList tokens;
        EXPECT_EQ(TokenizeOptions(text.data(), tokens, c.maxTokens, c.mode), int(c.tokens.size())) << c.text;
        EXPECT_EQ(ToStrings(tokens), c.tokens) << c.text;
        EXPECT_EQ(Shown(text.data(), text.size()), c.after) << c.text;
    }
}

TEST(SplitList, DropsBlanksAndEmptyItems) {
    struct Case {
        const char* text;
        char separator;
        Strings items;
        int used;    // in place: up to the last item's zero byte
        int packed;  // packed: up to the list's final zero byte
    };
    const Case cases[] = {
        {"a, ,  ,b ,", ',', {"a", "b"}, 9, 5},
        {"one", ',', {"one"}, 4, 5},  // packing needs the second zero byte of the str
        {"x;y;z", ';', {"x", "y", "z"}, 6, 7},
        {"  a  b\t", ' ', {"a", "b"}, 7, 5},
        {"", ',', {}, 0, 0},
        {" , ,", ',', {}, 0, 0},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        TextList items;
        int count = -1;
        EXPECT_EQ(SplitList(text.data(), c.separator, &items, &count), c.used) << c.text;
        EXPECT_EQ(ToStrings(items), c.items) << c.text;
        EXPECT_EQ(count, int(c.items.size())) << c.text;

        str packed(c.text);
        TextList packedItems;
        EXPECT_EQ(SplitListPacked(packed, c.separator, &packedItems, &count), c.packed) << c.text;
        EXPECT_EQ(ToStrings(packedItems), c.items) << c.text;
        std::string list;
        for (const std::string& item : c.items) list += item + '\0';
        EXPECT_EQ(Shown(packed.buf, list.size() + 1), Shown(list.c_str(), list.size()) + "~") << c.text;
        EXPECT_EQ(packed.len, c.packed ? c.packed - 2 : 0) << c.text;
        if (!packedItems.empty()) {
            EXPECT_EQ(packedItems.front(), packed.buf) << c.text;
        }
    }
}

TEST(SplitLines, CutsAtLineFeedsAndTheirCarriageReturns) {
    struct Case {
        const char* text;
        Strings lines;
    };
    const Case cases[] = {
        {"a\r\nb\n\nc", {"a", "b", "", "c"}},
        {"", {""}},
        {"x\n", {"x", ""}},
        {"\r\n", {"", ""}},
        {"a\rb", {"a\rb"}},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        TextList lines;
        EXPECT_EQ(SplitLines(text.data(), lines), int(c.lines.size())) << c.text;
        EXPECT_EQ(ToStrings(lines), c.lines) << c.text;
    }
}

TEST(FindChar, StopsAtTheCharacterOrTheEnd) {
    struct Case {
        const char* (*find)(const char*, char);
        const char* text;
        char c;
        ptrdiff_t offset;
    };
    const auto quoteEnd = [](const char* text, char) { return FindQuoteEnd(text); };
    const Case cases[] = {
        {FindChar, "abc", 'c', 2},       {FindChar, "abc", 'z', 3},      {FindChar, "a\nb", 'b', 2},
        {FindCharInLine, "a\nb", 'b', 1}, {FindCharInLine, "abc", 'c', 2}, {quoteEnd, "ab\"c", 0, 2},
        {quoteEnd, "abc", 0, 3},
    };
    for (const Case& c : cases) EXPECT_EQ(c.find(c.text, c.c) - c.text, c.offset) << c.text;
}

TEST(FindClosingBracket, MatchesNestedPairsOutsideQuotes) {
    struct Case {
        const char* text;  // after the opening bracket
        char open;
        unsigned flags;
        ptrdiff_t offset;
    };
    const Case cases[] = {
        {"a(b)c)d", '(', 0, 5},
        {R"~(")" ')' x))~", '(', 0, 9},
        {"abc", '(', 0, 3},
        {"\"unclosed ))", '(', 0, 12},
        {"a[b]]", '[', 0, 4},
        {"a<b>>x", '<', 0, 4},
        {"{}}", '{', 0, 2},
        {"ab|c|", '|', 0, 2},
        {R"~(a\"b"c)~", '"', 0, 2},
        {R"~(a\"b"c)~", '"', kBracketBackslashEscapes, 4},
        {R"~(a\\"b)~", '"', kBracketBackslashEscapes, 3},
        {R"~("\")" ))~", '(', 0, 3},
        {R"~("\")" ))~", '(', kBracketBackslashEscapes, 6},
        {"a\n)", '(', 0, 2},
        {"a\n)", '(', kBracketStopAtLineFeed, 1},
        {"'a)' )", '(', 0, 2},
        {"'a)' )", '(', kBracketSingleQuoteStrings, 5},
        {R"~(")" ))~", '(', kBracketNoQuotes, 1},
        {"[)]) ", '(', 0, 1},
        {"[)]) ", '(', kBracketNestOthers | kBracketSquare, 3},
        {"[)]) ", '(', kBracketNestOthers | kBracketCurly, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindClosingBracket(c.text, c.open, 0, c.flags) - c.text, c.offset) << c.text << " flags " << c.flags;
    }
    const char* text = "a ')' (b))";
    EXPECT_EQ(FindClosingParen(text) - text, 9);
}

TEST(HostileText, NullGivesNoResult) {
    const char* end = "not set";
    VARIANT typed;
    typed.vt = VT_NULL;
    EXPECT_EQ(ParseNumber(nullptr, &end, kNumberFloat, &typed), kNumberNone);
    EXPECT_EQ(end, nullptr);
    EXPECT_EQ(typed.vt, VT_EMPTY);
    EXPECT_EQ(ParseInt(nullptr), 0);
    EXPECT_EQ(ParseFlags(nullptr, &end), 0u);
    EXPECT_EQ(ParseDouble(nullptr, &end), 0);
    EXPECT_EQ(end, nullptr);

    EXPECT_EQ(FindChar(nullptr, 'a'), nullptr);
    EXPECT_EQ(FindCharInLine(nullptr, 'a'), nullptr);
    EXPECT_EQ(FindQuoteEnd(nullptr), nullptr);
    EXPECT_EQ(FindClosingParen(nullptr), nullptr);
    EXPECT_EQ(FindClosingBracket(nullptr, '"', 0, kBracketBackslashEscapes), nullptr);

    TextList list;
    int count = -1;
    str empty;
    EXPECT_EQ(TokenizeOptions(nullptr, list), 0);
    EXPECT_EQ(SplitList(nullptr, ',', &list, &count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(SplitListPacked(empty, ',', &list), 0);
    EXPECT_EQ(SplitLines(nullptr, list), 0);
    EXPECT_TRUE(list.empty());
}

TEST(HostileText, NeverReadsOrWritesPastTheEnd) {
    struct Case {
        const char* name;
        std::string text;
        int number;  // ParseInt
        int tokens;  // TokenizeOptions
        int items;   // SplitList with ","
        int lines;   // SplitLines
    };
    const Case cases[] = {
        {"empty", "", 0, 0, 0, 1},
        {"blanks", " \t\r\n ", 0, 0, 0, 2},
        {"huge decimal", std::string(100000, '9'), 0, 1, 1, 1},
        {"zeros before a digit", std::string(100000, '0') + "7", 7, 1, 1, 1},
        {"hexadecimal zeros", "0x" + std::string(100000, '0') + "1F", 31, 1, 1, 1},
        {"long real", "1." + std::string(100000, '5') + "e99999", 1, 1, 1, 1},
        {"signs", std::string(1000, '-'), 0, 1, 1, 1},
        {"bars", Repeated("1|", 50000), 1, 1, 1, 1},
        {"unterminated quote", "/a \"x/y, /b", 0, 1, 2, 1},
        {"unterminated parenthesis", "/a (x/('/') /b", 0, 1, 1, 1},
        {"unterminated brace", "/a {x/{y} /b", 0, 1, 1, 1},
        {"literal cut by the end", "('x", 0, 1, 1, 1},
        {"escape at the end", "\"\\", 0, 1, 1, 1},
        {"deep brackets", Repeated("([{<", 25000), 0, 1, 1, 1},
        {"separators only", std::string(100000, ','), 0, 1, 0, 1},
        {"slashes only", std::string(100000, '/'), 0, 99999, 1, 1},
        {"line feeds only", std::string(100000, '\n'), 0, 0, 0, 100001},
    };
    const unsigned numberOptions[] = {0, kNumberFloat, kNumberLeadingDot, kNumberNoHexPrefix, kNumberHexDigits};
    const unsigned bracketFlags[] = {0, kBracketStopAtLineFeed, kBracketNoQuotes,
                                     kBracketNestOthers | kBracketKinds | kBracketSingleQuoteStrings | kBracketBackslashEscapes};
    for (const Case& c : cases) {
        GuardedText guarded(c.text);
        ASSERT_TRUE(guarded.IsReady()) << c.name;
        const char* text = guarded.Fresh();
        const char* end = nullptr;

        EXPECT_EQ(ParseInt(text), c.number) << c.name;
        for (const unsigned options : numberOptions) {
            VARIANT typed;
            ParseNumber(text, &end, options, &typed);
            EXPECT_TRUE(guarded.Holds(end)) << c.name << " options " << options;
        }
        ParseDouble(text, &end);
        EXPECT_TRUE(guarded.Holds(end)) << c.name;
        ParseFlags(text, &end);
        EXPECT_TRUE(guarded.Holds(end)) << c.name;

        EXPECT_TRUE(guarded.Holds(FindChar(text, '~'))) << c.name;
        EXPECT_TRUE(guarded.Holds(FindCharInLine(text, '~'))) << c.name;
        EXPECT_TRUE(guarded.Holds(FindQuoteEnd(text))) << c.name;
        for (const char open : {'(', '[', '"', '\''}) {
            for (const unsigned flags : bracketFlags) {
                EXPECT_TRUE(guarded.Holds(FindClosingBracket(text, open, 0, flags))) << c.name << " " << open;
            }
        }

        TextList list;
        EXPECT_EQ(TokenizeOptions(guarded.Fresh(), list), c.tokens) << c.name;
        EXPECT_EQ(TokenizeOptions(guarded.Fresh(), list, kAllTokens, kTokenizeKeepText), c.tokens) << c.name;
        int count = -1;
        SplitList(guarded.Fresh(), ',', nullptr, &count);
        EXPECT_EQ(count, c.items) << c.name;
        str packed(c.text.c_str());
        SplitListPacked(packed, ',', nullptr, &count);
        EXPECT_EQ(count, c.items) << c.name;
        EXPECT_EQ(SplitLines(guarded.Fresh(), list), c.lines) << c.name;
    }
}

}  // namespace
