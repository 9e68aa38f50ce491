// Word wrap: where lines break, the break sets, the flags and existing line
// breaks, UTF-8 characters, and the output block taken once.
#include <gtest/gtest.h>
#include <array>
#include "counting_allocator.h"
#include "jx/text_functions.h"
#include "text_test_support.h"
#include "word_wrap.h"

namespace {

struct WrapCase {
    std::string_view text;
    int width;
    std::string_view expected;
    unsigned flags = 0;
    const char* breakChars = nullptr;
    const char* lineBreak = nullptr;
    unsigned minLength = 0;
};

// A break set passed in as a table: only "x".
const char* OnlyXTable() {
    static const std::array<BYTE, 256> table = [] {
        std::array<BYTE, 256> t{};
        t['x'] = 1;
        return t;
    }();
    return reinterpret_cast<const char*>(table.data());
}

TEST(WordWrap, BreaksLinesAsAsked) {
    const WrapCase cases[] = {
        // Exactly the width, or shorter (then not even joined): unchanged
        {"abcdefghij", 10, "abcdefghij"},
        {"ab\r\ncd", 10, "ab\r\ncd", JX_WRAP_JOIN_LINES},
        // The space at the break is dropped
        {"abcd efgh ijkl", 10, "abcd efgh\r\nijkl"},
        // A long word is cut at the width, or after a hyphen within reach
        {"abcdefghijklmnop", 10, "abcdefghij\r\nklmnop"},
        {"abcdefg-hijklmnop", 10, "abcdefg-\r\nhijklmnop"},
        // A space further back wins over a nearer hyphen, unless every break ranks as a space
        {"ab cdefg-hij klm", 10, "ab\r\ncdefg-hij\r\nklm"},
        {"ab cdefg-hij klm", 10, "ab cdefg-\r\nhij klm", JX_WRAP_ANY_BREAK_IS_SPACE},
        // Existing CR LF pairs restart the count and get no second break beside them
        {"abcd efgh\r\nijkl mnop qrst", 10, "abcd efgh\r\nijkl mnop\r\nqrst"},
        {"abcd efgh   \r\nij", 10, "abcd efgh\r\nij"},
        // Keeping spaces: the trailing space stays, the next line keeps its leading ones
        {"abcd efgh ijkl", 10, "abcd efgh \r\nijkl", JX_WRAP_KEEP_SPACES},
        {"abcd efgh   ijkl mnop", 10, "abcd efgh \r\n  ijkl \r\nmnop", JX_WRAP_KEEP_SPACES},
        {"abcd efgh   ijkl mnop", 10, "abcd efgh\r\nijkl mnop"},
        // Joining: every run of CR and LF becomes one space first
        {"abcd\r\n\r\nefgh ijkl\nmnop", 10, "abcd efgh\r\nijkl mnop", JX_WRAP_JOIN_LINES},
        // Break sets: own characters, predefined tables, a table passed in, controls added
        {"abcd;efgh;ijkl", 10, "abcd;efgh;|ijkl", 0, ";", "|"},
        {"abc-defghijklmn", 10, "abc-\r\ndefghijklm\r\nn"},
        {"abc(defghijklmn", 10, "abc(defghi\r\njklmn", 0, JX_WRAP_BREAK_BLANK},
        {"abc)defghijklmn", 10, "abc)\r\ndefghijklm\r\nn", 0, JX_WRAP_BREAK_BLANK_OR_QUOTE},
        {"abcxdefghijkl", 10, "abcx\r\ndefghijkl", JX_WRAP_CHARS_ARE_TABLE, OnlyXTable()},
        {"abcdefgh ijkl", 10, "abcdefgh i\r\njkl", 0, "-"},
        {"abcdefgh ijkl", 10, "abcdefgh\r\nijkl", JX_WRAP_CHARS_ADD_CONTROLS, "-"},
        // The line width floor is 4
        {"abcdefghij", 2, "abcd\r\nefgh\r\nij"},
        // minLength: no break is looked for in the first minLength - 1 bytes
        {"a bcdefghijklm", 10, "a\r\nbcdefghijk\r\nlm"},
        {"a bcdefghijklm", 10, "a bcdefghi\r\njklm", 0, nullptr, nullptr, 3},
        // A cut never splits a UTF-8 character
        {"aaaaaaaaa\xC3\xA9" "bbbb", 10, "aaaaaaaaa\r\n\xC3\xA9" "bbbb"},
        {"aaaaaaaa\xF0\x9F\x98\x80" "bb", 10, "aaaaaaaa\r\n\xF0\x9F\x98\x80" "bb"},
        {"aaaaaaa\xE2\x82\xAC" "bbb", 10, "aaaaaaa\xE2\x82\xAC\r\nbbb"},
    };
    for (const WrapCase& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.text << "\" width " << c.width << " flags " << c.flags);
        str s = Holding(c.text);
        WrapText(s, c.width, c.lineBreak, c.breakChars, c.flags, c.minLength);
        EXPECT_EQ(View(s), c.expected);
    }
}

TEST(WordWrap, TakesTheOutputBlockOnceAndReleasesTheOld) {
    std::string text;
    for (int i = 0; text.size() < 100000; ++i) text += (i % 7 == 6) ? "paragraph ends\r\n" : "some words of text ";
    str s = Holding(text);
    const jxhost::AllocStats before = jxhost::Allocator().Stats();
    WrapText(s, 80, nullptr, nullptr, 0, 0);
    const jxhost::AllocStats after = jxhost::Allocator().Stats();
    EXPECT_EQ(after.totalAllocs - before.totalAllocs, 1u);
    EXPECT_EQ(after.liveBlocks, before.liveBlocks);
    EXPECT_GT(s.len, int(text.size()));
}

}  // namespace
