#include <gtest/gtest.h>
#include <limits.h>
#include <string.h>
#include <algorithm>
#include <memory>
#include <string>
#include "counting_allocator.h"
#include "jx/errors.h"
#include "text/char_tables.h"
#include "runtime/host_alloc.h"
#include "runtime/module_state.h"
#include "text/record_info.h"
#include "text/str.h"
#include "ansi_mode.h"
#include "guarded_text.h"

namespace {

std::string Text(const str& s) { return std::string(s.Text(), size_t(s.len)); }

std::string Formatted(const char* format, ...) {
    str s;
    va_list args;
    va_start(args, format);
    s.FormatV(false, format, args);
    va_end(args);
    return Text(s);
}

// Offset of a found pointer in its text, -1 for null.
ptrdiff_t Offset(const char* found, const char* text) { return found ? found - text : -1; }

struct BstrFree {
    void operator()(OLECHAR* bstr) const { FreeBstr(bstr); }
};
using Bstr = std::unique_ptr<OLECHAR, BstrFree>;

// While alive, every block given back to the host is checked for being all
// zero before it is freed.
class ZeroCheckingFree {
public:
    ZeroCheckingFree() : saved_(g_hostTable) {
        active_ = this;
        g_hostTable.free = Free;
    }
    ~ZeroCheckingFree() {
        g_hostTable = saved_;
        active_ = nullptr;
    }
    ZeroCheckingFree(const ZeroCheckingFree&) = delete;
    ZeroCheckingFree& operator=(const ZeroCheckingFree&) = delete;

    int frees = 0;
    int nonZeroFrees = 0;

private:
    static void __cdecl Free(void* block) {
        const BYTE* bytes = static_cast<const BYTE*>(block);
        const size_t size = active_->saved_.msize(block);
        ++active_->frees;
        if (std::any_of(bytes, bytes + size, [](BYTE b) { return b != 0; })) ++active_->nonZeroFrees;
        active_->saved_.free(block);
    }

    static inline ZeroCheckingFree* active_ = nullptr;
    HostAllocTable saved_;
};

// ---- Allocation core and builders

TEST(StrCore, AllocFollowsTheGrowthRule) {
    str s;
    s.Alloc(0);
    EXPECT_EQ(s.cap, 5);
    EXPECT_GE(HostMSize(s.buf), 8u);
    EXPECT_EQ(s.len, 0);
    EXPECT_EQ(s.buf[0], 0);
    EXPECT_EQ(s.buf[1], 0);

    str fresh;
    fresh.Alloc(100);
    EXPECT_EQ(fresh.cap, 101) << "from null: exactly the need";

    s.Alloc(100);
    EXPECT_EQ(s.cap, 125) << "growing: one eighth and the slack more";
}

TEST(StrCore, PiecesInsideTheTargetSurviveTheNewBlock) {
    str s("hello world");
    s.Build({StrPiece("<"), StrPiece(s.buf + 6, 5), StrPiece::Fill('!', 2), StrPiece(">")});
    EXPECT_EQ(Text(s), "<world!!>");

    str twice("abcdefghij");
    twice.Append(twice.buf);
    EXPECT_EQ(Text(twice), "abcdefghijabcdefghij");
    twice.Append(twice.buf + 15);
    EXPECT_EQ(Text(twice), "abcdefghijabcdefghijfghij");
}

TEST(StrCore, PathJoinAddsOneBackslash) {
    struct Case {
        const char* folder;
        const char* name;
        const char* joined;
    };
    for (const Case& c : {Case{"", "n", "\\n"}, Case{"C:\\d\\", "n", "C:\\d\\n"}, Case{"C:\\d", "n", "C:\\d\\n"},
                          Case{"C:/d/", "n", "C:/d/\\n"}}) {
        str s;
        s.PathJoin(c.folder, c.name);
        EXPECT_EQ(Text(s), c.joined) << c.folder;
    }
}

TEST(StrCore, FixLengthAfterASystemCall) {
    str s;
    memcpy(s.GetBuffer(20), "ab\r\0", 4);
    s.FixLength(-1, kFixWholeCharNoCr);
    EXPECT_EQ(Text(s), "ab");

    memcpy(s.GetBuffer(20), "a\xC3\xA9z", 5);
    s.FixLength(2, kFixWholeCharNoCr);
    EXPECT_EQ(Text(s), "a") << "a character cut in two is dropped";
    memcpy(s.GetBuffer(20), "a\xC3\xA9z", 5);
    s.FixLength(3, kFixWholeCharNoCr);
    EXPECT_EQ(Text(s), "a\xC3\xA9");
}

TEST(StrCore, GetFolderSplitsAtTheLastSeparator) {
    struct Case {
        const char* path;
        bool stripSlash;
        const char* folder;
    };
    for (const Case& c : {Case{"C:\\a\\b.txt", false, "C:\\a\\"}, Case{"C:\\a\\b.txt", true, "C:\\a"},
                          Case{"\"C:\\a b\\c.exe\"", false, "C:\\a b\\"}, Case{"C:x", false, "C:"},
                          Case{"a/b", false, "a/"}, Case{"name", false, ""}, Case{"", false, ""},
                          Case{"$temp$", false, "$temp$"}, Case{"C:\\x\\%APPDATA%", false, "C:\\x\\%APPDATA%"},
                          Case{"x:y:z", false, "x:"}}) {
        str s;
        s.GetFolder(c.path, c.stripSlash);
        EXPECT_EQ(Text(s), c.folder) << c.path;
    }
}

TEST(StrCore, SetHexWithoutLeadingZeros) {
    str s;
    s.SetHex(255);
    EXPECT_EQ(Text(s), "0xFF");
    s.SetHex(0);
    EXPECT_EQ(Text(s), "0x0");
}

TEST(StrCore, SecureTextIsZeroedBeforeEveryFree) {
    ZeroCheckingFree check;
    {
        str s;
        s.flags = kStrSecure;
        s.Assign("secret");
        for (int i = 0; i < 5; ++i) s.Append(s.buf);    // growth in place
        s.Build({StrPiece("<"), StrPiece(s.buf + 1, 3)});  // detached old block
        s.Format("%s:%S", "pw", L"wide");
        s.ToWide(s.buf);
        s.FromWide(s.Wide());
        EXPECT_EQ(Text(s), "pw:wide");
    }
    EXPECT_GT(check.frees, 5);
    EXPECT_EQ(check.nonZeroFrees, 0);
}

// ---- Conversions

TEST(StrConvert, FromWideStackAndSizedPathsAgree) {
    std::wstring wide;
    std::string utf8;
    for (int i = 0; i < 1001; ++i) {
        wide += (i % 2) ? L'\u00E9' : L'\u20AC';
        utf8 += (i % 2) ? "\xC3\xA9" : "\xE2\x82\xAC";
    }
    str s;
    s.FromWide(wide.c_str(), 1000);
    EXPECT_EQ(Text(s), utf8.substr(0, utf8.size() - 3));
    s.FromWide(wide.c_str(), 1001);
    EXPECT_EQ(Text(s), utf8);
    s.FromWide(wide.c_str());
    EXPECT_EQ(Text(s), utf8);
}

TEST(StrConvert, WideLengthsNullAndEmpty) {
    Bstr bstr(SysAllocStringLen(L"a\0b", 3));
    str s;
    s.FromWide(bstr.get(), str::kWideBstrLength);
    EXPECT_EQ(Text(s), std::string("a\0b", 3));

    s.FromWide(L"abc", 0);
    EXPECT_NE(s.buf, nullptr);
    EXPECT_EQ(s.len, 0);
    s.FromWide(nullptr);
    EXPECT_EQ(s.buf, nullptr);

    s.ToWide("\xC3\xA4" "bc");
    EXPECT_EQ(s.len, 6);
    EXPECT_STREQ(s.Wide(), L"\u00E4bc");
    s.ToWide(nullptr);
    EXPECT_EQ(s.buf, nullptr);
    s.ToWide("");
    EXPECT_NE(s.buf, nullptr);
    EXPECT_EQ(s.len, 0);
}

// A text of 2^30 bytes or more needs more wide bytes than a str can hold:
// the conversion raises before it allocates or reads anything.
TEST(StrConvert, TextsTooLongForAWideBlockRaise) {
    const char small[] = "abc";
    const size_t liveBefore = jxhost::Allocator().Stats().liveBlocks;
    for (const int n : {1 << 30, INT_MAX}) {
        str s;
        try {
            s.FromMultiByte(small, CP_UTF8, n);
            ADD_FAILURE() << n << ": no exception";
        } catch (const JxException& e) {
            EXPECT_STREQ(e.message, "failed to allocate memory") << n;
        }
        EXPECT_THROW(s.GetWideBuffer(n), JxException) << n;
    }
    EXPECT_EQ(jxhost::Allocator().Stats().liveBlocks, liveBefore);
}

TEST(StrConvert, SourceInsideTheTarget) {
    str s;
    s.ToWide("\xC3\xA4" "bc");
    s.FromWideUtf8(s.Wide() + 1);
    EXPECT_EQ(Text(s), "bc");

    s.Assign("x\xC3\xA4y");
    s.FromMultiByte(s.buf + 1, CP_UTF8, 2);
    EXPECT_STREQ(s.Wide(), L"\u00E4");
}

TEST(StrConvert, AnsiRoundTrip) {
    const char* utf8 = "caf\xC3\xA9";
    str ansi;
    ansi.ToAnsi(utf8);
    EXPECT_EQ(ansi.len, 4) << "one byte per character in a Western ANSI page";
    str back;
    back.FromAnsi(ansi.buf);
    EXPECT_EQ(Text(back), utf8);
    back.Utf8ToAnsi(back.buf);
    EXPECT_EQ(Text(back), Text(ansi));
    back.AnsiToUtf8(nullptr);
    EXPECT_EQ(back.buf, nullptr);
}

// ---- BSTR

TEST(Bstr, ToBstrKeepsOrShrinksTheLength) {
    const char* text = "\xC3\xA4" "bc";
    Bstr kept(ToBstr(text));
    EXPECT_EQ(SysStringLen(kept.get()), 4u) << "the byte count";
    EXPECT_STREQ(kept.get(), L"\u00E4bc");
    Bstr shrunk(ToBstr(text, CP_UTF8 | kBstrShrink));
    EXPECT_EQ(SysStringLen(shrunk.get()), 3u);
    EXPECT_STREQ(shrunk.get(), L"\u00E4bc");
    Bstr part(ToBstr("abcdef", CP_UTF8, 2));
    EXPECT_STREQ(part.get(), L"ab");
    EXPECT_EQ(ToBstr(nullptr), nullptr);
}

TEST(Bstr, FreeingKeepsTheLastError) {
    SetLastError(1234);
    FreeBstr(SysAllocString(L"x"));
    EXPECT_EQ(GetLastError(), 1234u);
    SAFEARRAYBOUND bound = {3, 0};
    SetLastError(4321);
    DestroySafeArray(SafeArrayCreate(VT_BSTR, 1, &bound));
    EXPECT_EQ(GetLastError(), 4321u);
}

TEST(Bstr, AssignSetAndAlloc) {
    struct Slot {
        BSTR bstr = nullptr;
        ~Slot() { FreeBstr(bstr); }
    } slot;
    AllocBstr(&slot.bstr, 5);
    EXPECT_EQ(SysStringLen(slot.bstr), 5u);
    EXPECT_EQ(slot.bstr[0], 0);

    SetBstr(&slot.bstr, L"xy");
    EXPECT_STREQ(slot.bstr, L"xy");
    SetBstr(&slot.bstr, slot.bstr);
    EXPECT_STREQ(slot.bstr, L"xy");

    AssignBstr(&slot.bstr, "q\xC3\xA9", CP_UTF8);
    EXPECT_STREQ(slot.bstr, L"q\u00E9");

    SetBstr(&slot.bstr, nullptr);
    EXPECT_EQ(slot.bstr, nullptr);
}

TEST(Bstr, TemporaryBstrsRotateThroughFourSlots) {
    const char* narrow[] = {"t0", "t1", "t2", "t3"};
    const wchar_t* wide[] = {L"t0", L"t1", L"t2", L"t3"};
    BSTR temps[4];
    for (int i = 0; i < 4; ++i) temps[i] = i % 2 ? TempBstrW(wide[i]) : TempBstr(narrow[i]);
    BSTR fifth = TempBstr("t4");
    EXPECT_STREQ(fifth, L"t4");
    for (int i = 1; i < 4; ++i) {
        EXPECT_STREQ(temps[i], wide[i]) << "still valid";
        EXPECT_NE(fifth, temps[i]);
    }
}

// ---- Formatting

TEST(StrFormat, Conversions) {
    struct Case {
        std::string got;
        std::string want;
    };
    const std::string pointer = std::string(2 * sizeof(void*) - 4, '0') + "12AB";
    int ignored = 0;
    const Case cases[] = {
        {Formatted("%d %i %u", -5, 7, 3000000000u), "-5 7 3000000000"},
        {Formatted("%+d|% d|%05d|%-4d|%4d", 5, 5, -5, 5, 5), "+5| 5|-0005|5   |   5"},
        {Formatted("%x %X %#x %o", 255, 255, 255, 8), "ff FF 0xff 10"},
        {Formatted("%hd %hu %ld %I32d", 70000, -1, -1L, 7), "4464 65535 -1 7"},
        {Formatted("%I64d %I64X", -9000000000LL, 0x123456789ABCDEFULL), "-9000000000 123456789ABCDEF"},
        {Formatted("%.2f|%g|%G|%8.3f", 3.14159, 0.5, 1.5, -2.0), "3.14|0.5|1.5|  -2.000"},
        {Formatted("%c%C%lc%hC", 'a', L'\u00E9', L'\u00DF', 'z'), "a\xC3\xA9\xC3\x9Fz"},
        {Formatted("%s|%.2s|%5s|%-4s|", "abc", "\xC3\xA4\xC3\xB6\xC3\xBC", "\xC3\xA4" "b", "x"),
         "abc|\xC3\xA4\xC3\xB6|   \xC3\xA4" "b|x   |"},
        {Formatted("%s|%S|%ls|", (const char*)nullptr, (const wchar_t*)nullptr, (const wchar_t*)nullptr), "|||"},
        {Formatted("%S %ls %ws %hS %.3S", L"wide", L"\u00E4", L"w", "narrow", L"abcdef"),
         "wide \xC3\xA4 w narrow abc"},
        {Formatted("[%.3m][%m]", "ab\0cd", "xyz"), std::string("[ab\0]", 5) + "[]"},
        {Formatted("a%nb%d", &ignored, 5), "ab5"},
        {Formatted("%p", reinterpret_cast<void*>(0x12AB)), pointer},
        {Formatted("%*d|%-*d|%.*f|%*.*s|", 4, 1, 3, 2, 2, 3.14159, 5, 2, "abcdef"), "   1|2  |3.14|   ab|"},
        {Formatted("%*d|%.*f|", -4, 1, -1, 2.5), "1   |2.500000|"},
        {Formatted("100%% %q"), "100% q"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want);

    char exponent[32];
    snprintf(exponent, sizeof exponent, "%.2e %E", 12345.678, 0.5);
    EXPECT_EQ(Formatted("%.2e %E", 12345.678, 0.5), exponent) << "the C runtime's digits";
}

TEST(StrFormat, ReplaceOrAppend) {
    str s("x");
    s.AppendFormat("%d", 1);
    EXPECT_EQ(Text(s), "x1");
    const char* block = s.buf;
    s.Format("%d", 2);
    EXPECT_EQ(Text(s), "2");
    EXPECT_EQ(s.buf, block) << "the block is kept";
    s.Format("[%s|%s]", s.buf, s.buf);
    EXPECT_EQ(Text(s), "[2|2]") << "arguments may be the string itself";
    s.Format("");
    EXPECT_NE(s.buf, nullptr);
    EXPECT_EQ(s.len, 0);
}

// ---- Comparison and case

TEST(StrCompare, CompareAndCompareN) {
    struct Case {
        const char* a;
        const char* b;
        bool ignoreCase;
        int result;
    };
    for (const Case& c : {Case{nullptr, "", false, 0}, Case{"", nullptr, false, 0}, Case{"a", nullptr, false, 1},
                          Case{nullptr, "a", true, -1}, Case{nullptr, nullptr, false, 0}, Case{"a", "b", false, -1},
                          Case{"B", "a", false, -1}, Case{"B", "a", true, 1}, Case{"abc", "ab", false, 1},
                          Case{"\xC3\x84" "BC", "\xC3\xA4" "bc", true, 0}, Case{"\xC3\xA4" "bc", "\xC3\x84" "BD", true, -1},
                          Case{"\xC3\xA9", "f", true, 1}, Case{"\xC3\x84", "\xC3\xA4", false, -1},
                          Case{"x\xF0\x9F\x98\x80", "X\xF0\x9F\x98\x80", true, 0}})
        EXPECT_EQ(Compare(c.a, c.b, c.ignoreCase), c.result) << (c.a ? c.a : "null") << " / " << (c.b ? c.b : "null");

    EXPECT_EQ(CompareN("abcX", "ABCY", 3, true), 0);
    EXPECT_EQ(CompareN("abcX", "ABCY", 4, true), -1);
    EXPECT_EQ(CompareN("abcX", "abcY", 3, false), 0);
    EXPECT_EQ(CompareN("\xC3\xA4x", "\xC3\x84y", 2, true), 0);
}

// Invalid UTF-8 (an overlong NUL, truncated sequences, a surrogate) right
// before the end of readable memory: ignoring case, no function reads past
// either text's end, and an overlong NUL is no end of text.
TEST(StrCompare, InvalidUtf8StopsAtTheTerminator) {
    ASSERT_TRUE(IsUtf8Mode());
    for (const char* text : {"\xE0\x80\x80", "a\xE0\x80\x80", "\xC3", "\xE2\x82", "\xF0\x9F\x98", "\xED\xA0\x80",
                             "\xE0\x80\x80\xE0\x80\x80"}) {
        GuardedText guarded(text), empty(""), other("a");
        ASSERT_TRUE(guarded.IsReady() && empty.IsReady() && other.IsReady());
        const char* a = guarded.Fresh();
        EXPECT_NE(Compare(a, empty.Fresh(), true), 0) << "an invalid sequence is a character: " << text;
        EXPECT_NE(Compare(empty.Fresh(), a, true), 0) << text;
        EXPECT_EQ(Compare(a, a, true), 0) << text;
        Compare(a, other.Fresh(), true);
        Compare(other.Fresh(), a, true);
        CompareN(a, empty.Fresh(), 8, true);
        CompareN(empty.Fresh(), a, 8, true);
        EXPECT_EQ(FindText(a, "x", true), nullptr) << text;
        FindText(empty.Fresh(), a, true);
        EXPECT_EQ(FindText(a, a, true), a) << text;
        EXPECT_TRUE(WildcardMatch(true, a, "*")) << text;
        WildcardMatch(true, a, "?*?");
        WildcardMatch(true, empty.Fresh(), a);
        ToLower(guarded.Fresh());
    }
}

TEST(StrCompare, CaseMappingCoversUtf8) {
    struct Case {
        const char* text;
        bool upper;
        int n;
        const char* mapped;
    };
    for (const Case& c : {Case{"\xC3\xA4" "bc", true, -1, "\xC3\x84" "BC"},
                          Case{"ab\xC3\xA4" "c\xE2\x82\xAC" "d", true, -1, "AB\xC3\x84" "C\xE2\x82\xAC" "D"},
                          Case{"\xC3\x84\xC3\x96 XY", false, -1, "\xC3\xA4\xC3\xB6 xy"},
                          Case{"a\xFF" "b", true, -1, "A\xFF" "B"}, Case{"abcd", true, 2, "ABcd"},
                          Case{"a\xC3\xA4" "b", true, 2, "A\xC3\x84" "b"}}) {
        std::string text = c.text;
        if (c.upper)
            ToUpper(text.data(), c.n);
        else
            ToLower(text.data(), c.n);
        EXPECT_EQ(text, c.mapped) << c.text;
    }
    std::string longText(700, 'a');
    longText += "\xC3\xA4";
    ToUpper(longText.data());
    EXPECT_EQ(longText, std::string(700, 'A') + "\xC3\x84") << "beyond the stack buffer";
    ToUpper(nullptr);
}

TEST(StrCompare, FindText) {
    struct Case {
        const char* text;
        const char* pattern;
        int n;
        bool ignoreCase;
        ptrdiff_t offset;
    };
    for (const Case& c : {Case{"Hello World", "WORLD", -1, true, 6}, Case{"Hello World", "WORLD", -1, false, -1},
                          Case{"Hello World", "o", -1, false, 4}, Case{"xx\xC3\x84" "BCxx", "\xC3\xA4" "bc", -1, true, 2},
                          Case{"\xC3\xA9\xC2\xA9", "\xC2\xA9", -1, true, 2}, Case{"abc", "", -1, true, 0},
                          Case{"", "a", -1, false, -1}, Case{nullptr, "a", -1, false, -1}, Case{"abc", nullptr, -1, false, -1},
                          Case{"abcdef", "cdX", 2, false, 2}, Case{"abcdef", "CDX", 2, true, 2}})
        EXPECT_EQ(Offset(FindTextN(c.text, c.pattern, c.n, c.ignoreCase), c.text), c.offset)
            << (c.text ? c.text : "null") << " / " << (c.pattern ? c.pattern : "null");
    const char* text = "aBc";
    EXPECT_EQ(FindText(text, "bC", true), text + 1);
}

TEST(StrCompare, Wildcards) {
    const char* pattern = "ab*c?";
    EXPECT_EQ(FindWildcard(pattern, false), pattern + 2);
    const char* plain = "abc";
    EXPECT_EQ(FindWildcard(plain, false), nullptr);
    EXPECT_EQ(FindWildcard(plain, true), plain + 3);

    struct Case {
        const char* text;
        const char* pattern;
        bool ignoreCase;
        bool match;
    };
    for (const Case& c :
         {Case{"abc", "a*c", false, true}, Case{"abc", "a?c", false, true}, Case{"abc", "*", false, true},
          Case{"", "*", false, true}, Case{"", "", false, true}, Case{"a", "", false, false},
          Case{nullptr, nullptr, false, true}, Case{nullptr, "?", false, false}, Case{"abc", "a*", false, true},
          Case{"abc", "*c", false, true}, Case{"abc", "*b", false, false}, Case{"abcbc", "a*bc", false, true},
          Case{"a.txt.bak", "*.txt", false, false}, Case{"axbxc", "*x*c", false, true}, Case{"xy", "*?", false, true},
          Case{"x", "*??", false, false}, Case{"mississippi", "m*iss*ppi", false, true},
          Case{"mississippi", "m*iss*ppx", false, false}, Case{"mississippi", "m*si*i", false, true},
          Case{"ABC", "a*c", false, false}, Case{"ABC", "a*c", true, true},
          Case{"\xC3\xA4" "bc", "?bc", false, true}, Case{"\xC3\xA4" "bc", "??bc", false, false},
          Case{"x\xC3\x84" "y", "*\xC3\xA4?", true, true}, Case{"abc", "ab?d", false, false}})
        EXPECT_EQ(WildcardMatch(c.ignoreCase, c.text, c.pattern), c.match)
            << (c.text ? c.text : "null") << " / " << (c.pattern ? c.pattern : "null");
}

TEST(StrCompare, CompareExModes) {
    struct Case {
        const char* a;
        const char* b;
        unsigned flags;
        int result;
    };
    for (const Case& c : {Case{"file10", "file9", 0, -1}, Case{"file10", "file9", kCompareLogical, 1},
                          Case{"ABC", "abc", kCompareNoCaseW | kCompareIgnoreCase, 0},
                          Case{"abc", "ABD", kCompareNoCaseW | kCompareIgnoreCase, -1},
                          Case{"b", nullptr, kCompareLogical, 1},
                          Case{"9 Jan 2020", "10 Jan 2020", 0, 1}, Case{"9 Jan 2020", "10 Jan 2020", kCompareDates, -1},
                          Case{"no date", "10 Jan 2020", kCompareDates, -1}, Case{"", "10 Jan 2020", kCompareDates, -1},
                          Case{"b", "a", kCompareDates, 1}})
        EXPECT_EQ(CompareEx(c.a, c.b, c.flags), c.result) << c.a << " / " << (c.b ? c.b : "null") << " " << c.flags;
    EXPECT_NE(CompareEx("ABC", "abc", kCompareNoCaseW), 0);
}

// ---- UTF-8 and character sets

TEST(Utf8, SequencesAndSteps) {
    struct Length {
        BYTE lead;
        int length;
    };
    for (const Length& c : {Length{0x41, 1}, Length{0x80, 1}, Length{0xC1, 1}, Length{0xC2, 2}, Length{0xDF, 2},
                            Length{0xE0, 3}, Length{0xEF, 3}, Length{0xF0, 4}, Length{0xF7, 4}, Length{0xF8, 1}})
        EXPECT_EQ(Utf8SequenceLength(c.lead), c.length) << int(c.lead);

    struct Step {
        const char* text;
        ptrdiff_t next;
    };
    for (const Step& c : {Step{"a", 1}, Step{"\xC3\xA9", 2}, Step{"\xC3x", 1}, Step{"\xE2\x82\xAC", 3},
                          Step{"\xF0\x9F\x98\x80", 4}, Step{"\xE2\x82", 1}, Step{"\xBF", 1}, Step{"", 1}})
        EXPECT_EQ(Utf8Next(c.text) - c.text, c.next) << c.text;

    const char* text = "a\xE2\x82\xAC" "b";  // a, euro sign, b
    const ptrdiff_t starts[] = {0, 1, 1, 1, 4, 5};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Utf8CharStart(text, text + i) - text, starts[i]) << i;
    EXPECT_EQ(Utf8CharStart(text + 2, text + 3), text + 3) << "never before begin";

    const char* mixed = "a\xE2\x82\xAC\xF0\x9F\x98\x80" "b";
    EXPECT_EQ(Utf8Advance(mixed, 3), 8);
    EXPECT_EQ(Utf8Advance(mixed, 10), 9);
    EXPECT_EQ(Utf8Advance(nullptr, 2), 0);
}

TEST(CharSets, SpanAndFirstOf) {
    EXPECT_EQ(SpanIn("  \tab", " \t"), 3);
    EXPECT_EQ(SpanIn("abc", ""), 0);
    EXPECT_EQ(SpanIn("\xC3\xA9", "\xC3\xA9"), 0) << "bytes above 127 are never members";
    EXPECT_EQ(SpanIn(nullptr, "a"), 0);
    const char* text = "abc,def;";
    EXPECT_EQ(FindFirstOf(text, ";,"), text + 3);
    EXPECT_EQ(FindFirstOf(text, "xyz"), nullptr);
}

TEST(CharSets, MakeCharSetModes) {
    BYTE table[256];
    auto id = [](uintptr_t set) { return reinterpret_cast<const char*>(set); };
    EXPECT_EQ(MakeCharSet(table, id(kSetBlankOrQuote), kCharSetPredefined), g_charTables.isBlankOrQuote);
    EXPECT_EQ(MakeCharSet(table, id(kSetBlank), kCharSetPredefined), g_charTables.isBlank);
    EXPECT_EQ(MakeCharSet(table, id(kSetNonWord), kCharSetPredefined), g_charTables.isNonWord);
    EXPECT_EQ(MakeCharSet(table, "", kCharSetPredefined), g_charTables.isNonWord);
    const char* ready = reinterpret_cast<const char*>(g_charTables.isBlank);
    EXPECT_EQ(MakeCharSet(table, ready, kCharSetIsTable), g_charTables.isBlank);

    const BYTE* set = MakeCharSet(table, ",\xC3\xA9", kCharSetAddControls | kCharSetPredefined);
    EXPECT_EQ(set, table);
    for (int b = 0; b < 256; ++b) {
        const bool member = b <= ' ' || b == ',';
        EXPECT_EQ(set[b], member ? 1 : 0) << b;
    }
    set = MakeCharSet(table, "ab", 0);
    EXPECT_EQ(std::count(set, set + 256, 1), 3) << "a, b and the terminator";
}

TEST(CharTables, Utf8ModeTables) {
    const CharTables& t = g_charTables;
    EXPECT_EQ(t.toLower[BYTE('A')], 'a');
    EXPECT_EQ(t.toLower[BYTE('a')], 'a');
    EXPECT_EQ(t.toUpper[BYTE('z')], 'Z');
    EXPECT_EQ(t.toUpper[BYTE('1')], '1');
    EXPECT_EQ(t.toLower[0xC3], 0xC3) << "bytes of UTF-8 sequences keep identity";
    struct Class {
        BYTE byte;
        BYTE nonWord;
        BYTE blank;
        BYTE blankOrQuote;
    };
    for (const Class& c : {Class{'a', 0, 0, 0}, Class{'Z', 0, 0, 0}, Class{'5', 0, 0, 0}, Class{'_', 0, 0, 0},
                           Class{'-', 1, 0, 0}, Class{' ', 1, 1, 1}, Class{0, 1, 1, 1}, Class{'"', 1, 0, 1},
                           Class{'(', 1, 0, 1}, Class{')', 1, 0, 1}, Class{0xC3, 0, 0, 0}}) {
        EXPECT_EQ(t.isNonWord[c.byte], c.nonWord) << int(c.byte);
        EXPECT_EQ(t.isBlank[c.byte], c.blank) << int(c.byte);
        EXPECT_EQ(t.isBlankOrQuote[c.byte], c.blankOrQuote) << int(c.byte);
    }
    const char* lowerHex = "0123456789abcdef";
    const char* upperHex = "0123456789ABCDEF";
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(t.hexValue[BYTE(lowerHex[i])], i);
        EXPECT_EQ(t.hexValue[BYTE(upperHex[i])], i);
    }
    EXPECT_EQ(t.hexValue[BYTE('g')], 0xFF);
    EXPECT_EQ(LowerWideChar(L'\u00C4'), L'\u00E4');
    EXPECT_EQ(LowerWideChar(L'\u0410'), L'\u0430') << "cached range";
    EXPECT_EQ(LowerWideChar(L'\u0410'), L'\u0430');
    EXPECT_EQ(LowerWideChar(L'\uFF21'), L'\uFF41') << "beyond the cache";
}

TEST(CharTables, AnsiModeMapsEveryByte) {
    AnsiMode ansi;
    // In a Western ANSI page 0xC4 and 0xE4 are A and a with diaeresis, 0xB2
    // is a superscript two and 0xD7 the multiplication sign.
    const CharTables& t = g_charTables;
    EXPECT_EQ(t.toLower[0xC4], 0xE4);
    EXPECT_EQ(t.toUpper[0xE4], 0xC4);
    EXPECT_EQ(t.isNonWord[0xE4], 0);
    EXPECT_EQ(t.isNonWord[0xB2], 1) << "a digit and nothing else";
    EXPECT_EQ(t.isNonWord[0xD7], 1);
    EXPECT_EQ(Compare("\xC4x", "\xE4X", true), 0);
    std::string text = "\xE4" "b";
    ToUpper(text.data());
    EXPECT_EQ(text, "\xC4" "B");
    EXPECT_EQ(Formatted("%.1s", "\xC3\xA4"), "\xC3") << "the precision counts bytes";
    BYTE table[256];
    EXPECT_EQ(MakeCharSet(table, "\xE4", 0)[0xE4], 1);
    str wide;
    wide.ToWide("\xE4");
    EXPECT_STREQ(wide.Wide(), L"\u00E4");
}

// ---- Record descriptors

// An IUnknown that counts its references.
class CountedObject : public IUnknown {
public:
    ULONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

TEST(RecordInfo, DescribesSizesAndInterfaces) {
    struct Case {
        IRecordInfo* info;
        ULONG size;
    };
    for (const Case& c : {Case{StrRecordInfo(), ULONG(sizeof(str))}, Case{InterfaceRecordInfo(), ULONG(sizeof(void*))},
                          Case{ValueRecordInfo(), 4u}}) {
        ULONG size = 0;
        EXPECT_EQ(c.info->GetSize(&size), S_OK);
        EXPECT_EQ(size, c.size);
        void* same = nullptr;
        EXPECT_EQ(c.info->QueryInterface(IID_IRecordInfo, &same), S_OK);
        EXPECT_EQ(same, c.info);
        EXPECT_EQ(c.info->QueryInterface(IID_IUnknown, &same), S_OK);
        EXPECT_EQ(c.info->QueryInterface(IID_IDispatch, &same), E_NOINTERFACE);
        EXPECT_EQ(same, nullptr);
        BSTR name = nullptr;
        EXPECT_EQ(c.info->GetName(&name), E_NOTIMPL);
        GUID guid;
        EXPECT_EQ(c.info->GetGuid(&guid), E_NOTIMPL);
        EXPECT_TRUE(c.info->IsMatchingType(c.info));
        EXPECT_EQ(c.info->AddRef(), c.info->Release());
    }
    EXPECT_FALSE(StrRecordInfo()->IsMatchingType(ValueRecordInfo()));
}

TEST(RecordInfo, StrRecordsTravelInSafeArrays) {
    SAFEARRAYBOUND bound = {3, 0};
    std::unique_ptr<SAFEARRAY, decltype(&DestroySafeArray)> array(SafeArrayCreateEx(VT_RECORD, 1, &bound, StrRecordInfo()),
                                                                  DestroySafeArray);
    ASSERT_NE(array, nullptr);
    const char* texts[] = {"one", "", "three"};
    str* items = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array.get(), reinterpret_cast<void**>(&items)), S_OK);
    for (int i = 0; i < 3; ++i) items[i].Assign(texts[i]);
    SafeArrayUnaccessData(array.get());

    SAFEARRAY* raw = nullptr;
    ASSERT_EQ(SafeArrayCopy(array.get(), &raw), S_OK);
    std::unique_ptr<SAFEARRAY, decltype(&DestroySafeArray)> copy(raw, DestroySafeArray);
    str* copied = nullptr;
    ASSERT_EQ(SafeArrayAccessData(copy.get(), reinterpret_cast<void**>(&copied)), S_OK);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Text(copied[i]), texts[i]);
        EXPECT_NE(copied[i].buf, items[i].buf);
    }
    SafeArrayUnaccessData(copy.get());

    void* record = nullptr;
    ASSERT_EQ(StrRecordInfo()->RecordCreateCopy(&items[2], &record), S_OK);
    EXPECT_EQ(Text(*static_cast<str*>(record)), "three");
    EXPECT_EQ(StrRecordInfo()->RecordDestroy(record), S_OK);
}

TEST(RecordInfo, InterfaceAndValueRecords) {
    CountedObject first, second;
    IUnknown* source = &first;
    IUnknown* target = &second;
    IRecordInfo* interfaces = InterfaceRecordInfo();
    EXPECT_EQ(interfaces->RecordCopy(&source, &target), S_OK);
    EXPECT_EQ(target, &first);
    EXPECT_EQ(first.refs, 2u);
    EXPECT_EQ(second.refs, 0u);
    EXPECT_EQ(interfaces->RecordClear(&target), S_OK);
    EXPECT_EQ(target, nullptr);
    EXPECT_EQ(first.refs, 1u);

    uint32_t value = 0x12345678, copy = 0;
    EXPECT_EQ(ValueRecordInfo()->RecordCopy(&value, &copy), S_OK);
    EXPECT_EQ(copy, value);
    EXPECT_EQ(ValueRecordInfo()->RecordClear(&copy), S_OK);
    EXPECT_EQ(copy, 0u);
    EXPECT_EQ(ValueRecordInfo()->RecordInit(&value), S_OK);
    EXPECT_EQ(value, 0u);
}

}  // namespace
