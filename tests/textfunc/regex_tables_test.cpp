// The character tables for PCRE, built at start-up in the layout PCRE reads.
#include <gtest/gtest.h>
#include "regex/regex_tables.h"

namespace {

bool InClass(RegexCharClass charClass, BYTE c) {
    const unsigned char* bits = RegexCharTables() + kRegexClassBitsOffset + charClass * kRegexClassBitmapSize;
    return bits[c / 8] & (1u << (c % 8));
}

BYTE Type(BYTE c) { return RegexCharTables()[kRegexCharTypesOffset + c]; }

TEST(RegexTables, HoldCaseMapsClassesAndTypes) {
    const unsigned char* tables = RegexCharTables();
    EXPECT_EQ(tables[kRegexLowerCaseOffset + 'A'], 'a');
    EXPECT_EQ(tables[kRegexLowerCaseOffset + 'a'], 'a');
    EXPECT_EQ(tables[kRegexFlipCaseOffset + 'a'], 'A');
    EXPECT_EQ(tables[kRegexFlipCaseOffset + 'Q'], 'q');
    EXPECT_EQ(tables[kRegexFlipCaseOffset + '5'], '5');

    struct ClassCase {
        RegexCharClass charClass;
        BYTE member;
        BYTE outsider;
    };
    const ClassCase classes[] = {
        {kRegexClassSpace, '\v', 'a'},   {kRegexClassHexDigit, 'f', 'g'}, {kRegexClassDigit, '7', 'a'},
        {kRegexClassUpper, 'Z', 'z'},    {kRegexClassLower, 'z', 'Z'},    {kRegexClassWord, '_', '-'},
        {kRegexClassGraph, '!', ' '},    {kRegexClassPrint, ' ', '\t'},   {kRegexClassPunct, '-', 'a'},
        {kRegexClassControl, '\n', 'a'},
    };
    for (const ClassCase& c : classes) {
        SCOPED_TRACE(c.charClass);
        EXPECT_TRUE(InClass(c.charClass, c.member));
        EXPECT_FALSE(InClass(c.charClass, c.outsider));
    }

    EXPECT_EQ(Type(' '), kRegexTypeSpace);
    EXPECT_EQ(Type('\v'), 0) << "vertical tab is no space to PCRE";
    EXPECT_EQ(Type('a'), kRegexTypeLetter | kRegexTypeHexDigit | kRegexTypeWord);
    EXPECT_EQ(Type('g'), kRegexTypeLetter | kRegexTypeWord);
    EXPECT_EQ(Type('9'), kRegexTypeDigit | kRegexTypeHexDigit | kRegexTypeWord);
    EXPECT_EQ(Type('_'), kRegexTypeWord);
    for (char meta : std::string_view("*+?{^.$|()[")) EXPECT_EQ(Type(BYTE(meta)), kRegexTypeMeta) << meta;
    EXPECT_EQ(Type(']'), 0);
}

}  // namespace
