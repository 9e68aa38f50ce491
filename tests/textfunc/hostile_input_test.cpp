// Hostile arguments to both text functions: nothing crashes, nothing is read
// past a string's block (each block ends where an inaccessible page begins),
// and what comes out is still sane.
#include <gtest/gtest.h>
#include <limits.h>
#include <functional>
#include <optional>
#include "guard_page_heap.h"
#include "jx/text_functions.h"
#include "stemming.h"
#include "text_test_support.h"
#include "word_wrap.h"

namespace {

using namespace std::string_view_literals;

struct HostileCase {
    const char* what;
    std::optional<std::string_view> text;  // none: a record without a block
    std::function<void(str&)> call;
    std::string expected;
};

auto Stem(unsigned flags, int from, int length) {
    return [=](str& s) { StemWords(s, flags, from, length); };
}

auto Wrap(int width, const char* lineBreak = nullptr, const char* breakChars = nullptr, unsigned flags = 0,
          unsigned minLength = 0) {
    return [=](str& s) { WrapText(s, width, lineBreak, breakChars, flags, minLength); };
}

TEST(HostileInput, NeverCrashesNorReadsPastTheString) {
    const std::string yRun(100000, 'y');
    const std::string continuations(10, '\x80');
    const HostileCase cases[] = {
        {"stem without a block", std::nullopt, Stem(JX_STEM_ALL_WORDS, 0, 0), ""},
        {"stem of an empty text", "", Stem(0, 0, 0), ""},
        {"stem from the end", "cats", Stem(0, 4, 0), "cats"},
        {"stem from far past the end", "cats", Stem(0, INT_MAX, INT_MAX), "cats"},
        {"stem from a negative offset", "cats", Stem(0, -3, 2), "cats"},
        {"stem a length far past the end", "the cats", Stem(0, 4, INT_MAX), "the cat"},
        {"stem a negative length", "Cats dogs", Stem(JX_STEM_ALL_WORDS, 0, -7), "cat  dog"},
        {"stem high and zero bytes between words", "caf\xC3\xA9s\0dogs\xFF"sv, Stem(JX_STEM_ALL_WORDS, 0, 0),
         std::string("caf\xC3\xA9s\0dog \xFF"sv)},
        {"stem high and zero bytes in one word", "AB\0C\xC3\xA9s"sv, Stem(0, 0, 0), std::string("ab\0c\xC3\xA9"sv)},
        {"stem a long run of y", yRun, Stem(0, 0, 0), yRun.substr(1) + "i"},
        {"wrap without a block", std::nullopt, Wrap(10), ""},
        {"wrap at width 0", "abcdefghij", Wrap(0), "abcd\r\nefgh\r\nij"},
        {"wrap at a negative width", "abcdefghij", Wrap(-1), "abcd\r\nefgh\r\nij"},
        {"wrap at width INT_MAX", "abc def", Wrap(INT_MAX), "abc def"},
        {"wrap with a break longer than the width", "abcdefghij", Wrap(4, "<------->"),
         "abcd<------->efgh<------->ij"},
        {"wrap with minLength beyond the text", "aaa bbb ccc", Wrap(5, nullptr, nullptr, 0, 1000),
         "aaa b\r\nbb cc\r\nc"},
        {"wrap continuation bytes without a lead byte", continuations, Wrap(4),
         "\x80\x80\x80\x80\r\n\x80\x80\x80\x80\r\n\x80\x80"},
        {"wrap after a zero byte", "abc\0defghijk"sv, Wrap(8), std::string("abc\0\r\ndefghijk"sv)},
        {"wrap with a CR as the last byte", "abcdefghij\r", Wrap(4), "abcd\r\nefgh\r\nij\r"},
        {"wrap nothing but spaces", "                    ", Wrap(4), ""},
        {"wrap with a set number flagged as a table", "abc-defghij",
         Wrap(8, nullptr, JX_WRAP_BREAK_BLANK, JX_WRAP_CHARS_ARE_TABLE), "abc-defg\r\nhij"},
        {"wrap with a null table", "abc-defghij", Wrap(8, nullptr, nullptr, JX_WRAP_CHARS_ARE_TABLE),
         "abc-\r\ndefghij"},
    };
    GuardPageHeap heap;
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.what);
        str s = c.text ? GuardPageHeap::Holding(*c.text) : str();
        c.call(s);
        EXPECT_EQ(View(s), c.expected);
        if (!c.text) {
            EXPECT_EQ(s.buf, nullptr);
        }
    }
}

}  // namespace
