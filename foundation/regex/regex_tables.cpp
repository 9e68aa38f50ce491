// PCRE's character tables from the system's ANSI character functions.
#include "regex/regex_tables.h"
#include "text/char_tables.h"
#include <ctype.h>
#include <string.h>

namespace {

BYTE g_regexTables[kRegexCharTablesSize];

constexpr int kAllBytes = 256;
constexpr int kVerticalTab = 11;  // a C-runtime space that PCRE's \s leaves out
constexpr char kMetaCharacters[] = "*+?{^.$|()[";

void SetClassBit(RegexCharClass charClass, int c) {
    g_regexTables[kRegexClassBitsOffset + charClass * kRegexClassBitmapSize + c / 8] |= BYTE(1u << (c % 8));
}

}  // namespace

void BuildRegexCharTables() {
    memset(g_regexTables, 0, sizeof g_regexTables);
    for (int c = 0; c < kAllBytes; ++c) {
        const char byte = char(c);
        const bool upper = IsCharUpperA(byte);
        const bool lower = IsCharLowerA(byte);
        const bool digit = c >= '0' && c <= '9';
        g_regexTables[kRegexLowerCaseOffset + c] = AnsiLowerByte(byte);
        g_regexTables[kRegexFlipCaseOffset + c] = lower ? AnsiUpperByte(byte) : AnsiLowerByte(byte);

        const struct {
            RegexCharClass charClass;
            bool member;
        } classes[] = {
            {kRegexClassSpace, isspace(c) != 0},
            {kRegexClassHexDigit, isxdigit(c) != 0},
            {kRegexClassDigit, digit},
            {kRegexClassUpper, upper},
            {kRegexClassLower, lower},
            {kRegexClassWord, digit || upper || lower || c == '_'},
            {kRegexClassGraph, isgraph(c) != 0},
            {kRegexClassPrint, isprint(c) != 0},
            {kRegexClassPunct, ispunct(c) != 0},
            {kRegexClassControl, iscntrl(c) != 0},
        };
        for (const auto& entry : classes) {
            if (entry.member) SetClassBit(entry.charClass, c);
        }

        BYTE type = 0;
        if (isspace(c) && c != kVerticalTab) type |= kRegexTypeSpace;
        if (IsCharAlphaA(byte)) type |= kRegexTypeLetter | kRegexTypeWord;
        if (digit) type |= kRegexTypeDigit | kRegexTypeWord;
        if (isxdigit(c)) type |= kRegexTypeHexDigit;
        if (c == '_') type |= kRegexTypeWord;
        if (c && strchr(kMetaCharacters, c)) type |= kRegexTypeMeta;
        g_regexTables[kRegexCharTypesOffset + c] = type;
    }
}

const unsigned char* RegexCharTables() { return g_regexTables; }
