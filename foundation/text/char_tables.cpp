// Byte tables for case mapping and character classes, and the CharLowerW cache.
#include "text/char_tables.h"
#include <string.h>

CharTables g_charTables;

namespace {
constexpr int kBlankLimit = ' ';  // bytes 0 to 32 are blanks
constexpr int kAsciiBytes = 128;
constexpr int kAllBytes = 256;
constexpr BYTE kNotHex = 0xFF;
constexpr WORD kWordClasses = C1_ALPHA | C1_UPPER | C1_LOWER | C1_DIGIT;
constexpr WCHAR kLowerCacheSize = 1280;

BYTE HexValue(int c) {
    if (c >= '0' && c <= '9') return BYTE(c - '0');
    if (c >= 'A' && c <= 'F') return BYTE(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return BYTE(c - 'a' + 10);
    return kNotHex;
}

// Each byte is classified on its own so that lead bytes of a multi-byte
// code page never swallow the byte after them.
WORD ByteType(char c) {
    WORD type = 0;
    if (!GetStringTypeExA(LOCALE_USER_DEFAULT, CT_CTYPE1, &c, 1, &type)) return 0;
    return type;
}

}  // namespace

BYTE AnsiLowerByte(char c) {
    CharLowerBuffA(&c, 1);
    return BYTE(c);
}

BYTE AnsiUpperByte(char c) {
    CharUpperBuffA(&c, 1);
    return BYTE(c);
}

void BuildCharTables(UINT codePage) {
    CharTables& t = g_charTables;
    for (int i = 0; i < kAllBytes; ++i) {
        t.toLower[i] = t.toUpper[i] = BYTE(i);
        t.isNonWord[i] = 0;
        t.isBlank[i] = i <= kBlankLimit;
        t.isBlankOrQuote[i] = i <= kBlankLimit || i == '"' || i == '(' || i == ')';
        t.hexValue[i] = HexValue(i);
        t.isLeadByte[i] = !codePage && i >= kAsciiBytes && IsDBCSLeadByteEx(CP_ACP, BYTE(i));
    }
    t.doubleByte = false;
    for (const BYTE lead : t.isLeadByte) t.doubleByte = t.doubleByte || lead;
    // In UTF-8 mode bytes above 127 are parts of sequences: never mapped or split.
    const int classified = codePage ? kAsciiBytes : kAllBytes;
    for (int i = 0; i < classified; ++i) {
        const char c = char(i);
        const WORD type = ByteType(c);
        if ((type & C1_UPPER) && !t.isLeadByte[i]) t.toLower[i] = AnsiLowerByte(c);
        if ((type & C1_LOWER) && !t.isLeadByte[i]) t.toUpper[i] = AnsiUpperByte(c);
        const WORD word = type & kWordClasses;
        // Superscript digits and the like of an ANSI page do not join words.
        t.isNonWord[i] = word == 0 || (i >= kAsciiBytes && word == C1_DIGIT);
    }
    t.isNonWord[BYTE('_')] = 0;
}

WCHAR LowerWideChar(WCHAR c) {
    static WCHAR cache[kLowerCacheSize];  // 0 = not computed yet
    if (c < kLowerCacheSize && cache[c]) return cache[c];
    WCHAR lower = c;
    CharLowerBuffW(&lower, 1);
    if (c < kLowerCacheSize) cache[c] = lower;
    return lower;
}
