#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include "text/numbers.h"

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

TEST(ParseNumber, ReadsTheNumberSyntax) {
    struct Case {
        const char* text;
        unsigned options;
        int value;
        ptrdiff_t end;  // 0: failure or no number
    };
    const Case cases[] = {
        {" -0x10", 0, -16, 6},
        {"4294967295", 0, -1, 10},
        {"4294967296", 0, 0, 0},
        {"00000004294967295", 0, -1, 17},  // leading zeros are not digits of the limit
        {"12345678901", 0, 0, 0},
        {"-4294967295", 0, 1, 11},  // the sign negates the 32-bit pattern
        {"12abc", 0, 12, 2},
        {"+ 7", 0, 7, 3},
        {"\t-\t5", 0, -5, 4},
        {"--5", 0, 0, 0},
        {"- x", 0, 0, 0},
        {"x", 0, 0, 0},
        {"", 0, 0, 0},
        {"0x", 0, 0, 1},
        {"0XfF", 0, 255, 4},
        {"0x00000000FFFFFFFF", 0, -1, 18},
        {"0x123456789", 0, 0, 0},
        {"0x10", kNumberNoHexPrefix, 0, 1},
        {"fF", kNumberHexDigits, 255, 2},
        {"-0x10", kNumberHexDigits, -16, 5},
        {"1.5", 0, 1, 1},
        {"1.5", kNumberFloat, 1, 3},
        {"-2.75x", kNumberFloat, -2, 5},
        {"2d2", kNumberFloat, 200, 3},
        {"5e", kNumberFloat, 5, 1},
        {".5", kNumberFloat, 0, 0},
        {"-.5", kNumberLeadingDot, 0, 3},
        {"ff", kNumberLeadingDot | kNumberHexDigits, 0, 0},  // the other options are ignored
        {"4294967295.9", kNumberFloat, -1, 12},
        {"4294967296.0", kNumberFloat, 0, 0},
        {"1e999", kNumberFloat, 0, 0},
        {"0x10", kNumberFloat, 16, 4},
    };
    for (const Case& c : cases) {
        const char* end = nullptr;
        EXPECT_EQ(ParseNumber(c.text, &end, c.options), c.value) << c.text << " options " << c.options;
        EXPECT_EQ(end - c.text, c.end) << c.text << " options " << c.options;
        if (c.options == 0) {
            EXPECT_EQ(ParseInt(c.text), c.value) << c.text;
#ifndef _WIN64
            const char* pointerEnd = nullptr;
            EXPECT_EQ(ParsePointerEnd(c.text, &pointerEnd), c.value) << c.text << ": on x86 a pointer is an int";
            EXPECT_EQ(pointerEnd, end) << c.text;
#endif
        }
    }
}

#ifdef _WIN64
TEST(ParsePointerEnd, ReadsSixtyFourBitsOnX64) {
    struct Case {
        const char* text;
        intptr_t value;
        ptrdiff_t end;  // 0: failure
    };
    const Case cases[] = {
        {"1311768467463790320", intptr_t(0x123456789ABCDEF0), 19},
        {"4294967296", intptr_t(0x100000000), 10},
        {"-4294967303", -intptr_t(0x100000007), 11},
        {"18446744073709551615", -1, 20},  // the sign and the wrap apply to the 64-bit pattern
        {"18446744073709551616", 0, 0},
        {"000018446744073709551615", -1, 24},
        {" 0x123456789ABCDEF0/", intptr_t(0x123456789ABCDEF0), 19},
        {"0x10000000000000000", 0, 0},
        {"1.5", 1, 1},
        {"x", 0, 0},
    };
    for (const Case& c : cases) {
        const char* end = nullptr;
        EXPECT_EQ(ParsePointerEnd(c.text, &end), c.value) << c.text;
        EXPECT_EQ(end - c.text, c.end) << c.text;
    }
}
#endif

TEST(ParseNumber, StoresTheTypeItFound) {
    struct Case {
        const char* text;
        unsigned options;
        int type;
        VARTYPE vt;
        double value;
    };
    const Case cases[] = {
        {"1.5e3", kNumberFloat, kNumberReal, VT_R8, 1500},
        {"-2.5", kNumberFloat, kNumberReal, VT_R8, -2.5},
        {"-7", kNumberFloat, kNumberInteger, VT_I4, -7},
        {"0x10", kNumberFloat, kNumberInteger, VT_I4, 16},
        {"4294967295", 0, kNumberInteger, VT_I4, -1},
        {"abc", kNumberFloat, kNumberNone, VT_EMPTY, 0},
    };
    for (const Case& c : cases) {
        VARIANT typed;
        typed.vt = VT_NULL;
        EXPECT_EQ(ParseNumber(c.text, nullptr, c.options, &typed), c.type) << c.text;
        ASSERT_EQ(typed.vt, c.vt) << c.text;
        if (c.vt == VT_R8) {
            EXPECT_EQ(typed.dblVal, c.value) << c.text;
        } else if (c.vt == VT_I4) {
            EXPECT_EQ(typed.lVal, LONG(c.value)) << c.text;
        }
    }
}

TEST(ParseFlags, CombinesNumbersJoinedByBars) {
    struct Case {
        const char* text;
        unsigned value;
        ptrdiff_t end;
    };
    const Case cases[] = {
        {"1|2|8", 11, 5},
        {"1|2|8|", 0, 0},
        {"|1", 0, 0},
        {"0x10|1 rest", 17, 6},
        {"1| 2", 3, 4},
        {"1 |2", 1, 1},
        {"4|99999999999", 0, 0},
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        const char* end = nullptr;
        EXPECT_EQ(ParseFlags(c.text, &end), c.value) << c.text;
        EXPECT_EQ(end - c.text, c.end) << c.text;
    }
}

TEST(FlagsToText, WritesWhatParseFlagsReadsBack) {
    struct Case {
        unsigned value;
        int lowBits;
        const char* text;
    };
    const Case cases[] = {
        {0, 2, "0"},
        {5, 0, "1|4"},
        {0x1F5, 2, "1|4|16|32|64|0x180"},
        {0x80, 0, "0x80"},
        {3, 2, "3"},
        {0x83, 2, "3|0x80"},
        {0xFFFFFFFF, 7, "127|0xFFFFFF80"},
        {0x1FF, 99, "127|0x180"},  // the low number never takes bits of the hexadecimal one
        {6, -1, "2|4"},
    };
    str out;
    for (const Case& c : cases) {
        EXPECT_STREQ(FlagsToText(out, c.value, c.lowBits), c.text) << c.value << " low bits " << c.lowBits;
        EXPECT_EQ(ParseFlags(out.Text()), c.value) << c.text;
    }
}

TEST(ParseDouble, ReadsDecimalReals) {
    struct Case {
        const char* text;
        double value;
        ptrdiff_t end;
    };
    const Case cases[] = {
        {"  -1.25", -1.25, 7},
        {"\r\n+3", 3, 4},
        {"1.5e3", 1500, 5},
        {"1E-2", 0.01, 4},
        {"2D+2", 200, 4},
        {".5", 0.5, 2},
        {"5.", 5, 2},
        {"1e", 1, 1},
        {"1e+x", 1, 1},
        {"0.000000000000000000000000001", 1e-27, 29},
        {"12345678901234567890", 12345678901234567890.0, 20},  // digits after 18 only scale
        {"1e400", kInfinity, 5},
        {"1e-400", 0, 6},
        {"1e00001", kInfinity, 7},  // more than four exponent digits
        {"0e999", 0, 5},
        {"-0", 0, 2},
        {"abc", 0, 0},
        {"-", 0, 0},
        {".", 0, 0},
    };
    for (const Case& c : cases) {
        const char* end = nullptr;
        const double value = ParseDouble(c.text, &end);
        EXPECT_DOUBLE_EQ(value, c.value) << c.text;
        EXPECT_FALSE(std::signbit(value) && value == 0) << c.text << ": a zero is unsigned";
        EXPECT_EQ(end - c.text, c.end) << c.text;
    }
}

}  // namespace
