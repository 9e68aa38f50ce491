// Numbers and flag combinations written in the text the host passes to the
// controls: decimal or "0x" hexadecimal with an optional sign, optionally
// with a fraction and exponent; flags as numbers joined by "|".
#pragma once
#include <stdint.h>
#include "text/str.h"

// Options of ParseNumber
enum NumberOption : unsigned {
    kNumberFloat = 0x1,        // a fraction or exponent after the digits makes a floating-point number
    kNumberLeadingDot = 0x2,   // as kNumberFloat, and ".5" is a number too; the other options are ignored
    kNumberNoHexPrefix = 0x4,  // "0x" does not start a hexadecimal number
    kNumberHexDigits = 0x8,    // the digits are hexadecimal without a prefix
};

// Result of ParseNumber with a typed output: the type stored in the VARIANT
enum NumberType : int {
    kNumberNone = 0,     // no number; the VARIANT is VT_EMPTY
    kNumberInteger = 1,  // VT_I4
    kNumberReal = 2,     // VT_R8
};

// Reads a number after optional spaces, tabs and sign. Returns its value
// (the 32-bit pattern: "4294967295" gives -1) or, when `typed` is given, the
// NumberType stored there; 0 on failure. `end` (optional) receives the first
// byte after the number, or `text` itself on failure. Decimal numbers above
// 4294967295, more than 8 significant hexadecimal digits and floating-point
// magnitudes of 2^32 or more fail. `typed` is overwritten without clearing.
int ParseNumber(const char* text, const char** end = nullptr, unsigned options = 0, VARIANT* typed = nullptr);

// Decimal or "0x" hexadecimal integer with sign; 0 when there is none.
inline int ParseInt(const char* text) { return ParseNumber(text); }
inline int ParseIntEnd(const char* text, const char** end) { return ParseNumber(text, end); }

// A pointer-sized integer in the same syntax (decimal or "0x" hexadecimal
// with sign, no fraction), the sign applied to the pointer-sized pattern;
// on x86 exactly ParseIntEnd. A magnitude that does not fit fails: 0 with
// `end` at `text`.
intptr_t ParsePointerEnd(const char* text, const char** end);

// Numbers joined by "|" (such as "1|2|0x10"), combined with bitwise or. A text
// that does not start with a number, or a "|" without a number after it,
// gives 0 with `end` at `text`; otherwise `end` is after the last number.
unsigned ParseFlags(const char* text, const char** end = nullptr);

// Writes `value` as flags for ParseFlags and returns out's text: the bits
// below 2^lowBits as one number, each further bit up to 64 as its own number,
// the bits from 128 up as one "0x%X" number. 0 gives "0".
const char* FlagsToText(str& out, unsigned value, int lowBits);

// Decimal text to double after optional white space and sign, with at most
// 18 significant digits (later ones only shift the exponent) and an
// exponent after "e", "E", "d" or "D". Without digits: 0 with `end` at `text`.
double ParseDouble(const char* text, const char** end = nullptr);
