// The character tables PCRE matches with: one process-wide block in the
// layout pcre_maketables produces, built once at start-up from the system's
// ANSI character functions (patterns are matched as ANSI text).
#pragma once
#include <windows.h>

// Layout of the block
constexpr int kRegexLowerCaseOffset = 0;    // 256 bytes: CharLowerA of each byte
constexpr int kRegexFlipCaseOffset = 256;   // 256 bytes: the other case of each byte
constexpr int kRegexClassBitsOffset = 512;  // kRegexClassCount bitmaps, one bit per byte value
constexpr int kRegexCharTypesOffset = 832;  // 256 bytes of RegexCharType flags
constexpr int kRegexCharTablesSize = 1088;
constexpr int kRegexClassBitmapSize = 32;

// The class bitmaps, in their order in the block
enum RegexCharClass : int {
    kRegexClassSpace,
    kRegexClassHexDigit,
    kRegexClassDigit,
    kRegexClassUpper,
    kRegexClassLower,
    kRegexClassWord,
    kRegexClassGraph,
    kRegexClassPrint,
    kRegexClassPunct,
    kRegexClassControl,
    kRegexClassCount,
};
static_assert(kRegexClassBitsOffset + kRegexClassCount * kRegexClassBitmapSize == kRegexCharTypesOffset);

// Type flags of each byte
enum RegexCharType : BYTE {
    kRegexTypeSpace = 0x01,
    kRegexTypeLetter = 0x02,
    kRegexTypeDigit = 0x04,
    kRegexTypeHexDigit = 0x08,
    kRegexTypeWord = 0x10,
    kRegexTypeMeta = 0x80,
};

// Builds the block; start-up calls it once, after the case tables.
void BuildRegexCharTables();

// The block, for pcre_compile.
const unsigned char* RegexCharTables();
