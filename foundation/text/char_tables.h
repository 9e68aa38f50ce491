// Process-wide byte tables for case mapping and character classes, built
// once at start-up for the library code page.
#pragma once
#include <windows.h>

struct CharTables {
    BYTE toLower[256];
    BYTE toUpper[256];
    BYTE isNonWord[256];       // neither letter nor digit ("_" is a word byte)
    BYTE isBlank[256];         // bytes 0-32
    BYTE isBlankOrQuote[256];  // bytes 0-32 and the characters " ( )
    BYTE hexValue[256];        // 0-15 for hexadecimal digits, else 0xFF
    BYTE isLeadByte[256];      // ANSI mode on a double-byte page: starts a two-byte character
    bool doubleByte;           // some byte is a lead byte
};

extern CharTables g_charTables;

// Builds the tables. With a code page other than 0 (UTF-8 mode) only bytes
// 0-127 are classified and mapped; bytes 128-255 keep identity. In ANSI mode
// the lead bytes of a double-byte page are marked, and keep identity: the
// byte after one is a trail byte, never mapped or classified on its own.
void BuildCharTables(UINT codePage);

// One byte mapped by the system's ANSI case functions.
BYTE AnsiLowerByte(char c);
BYTE AnsiUpperByte(char c);

// CharLowerW of a UTF-16 unit, through a process-wide cache below 1280.
WCHAR LowerWideChar(WCHAR c);
