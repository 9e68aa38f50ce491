// Number syntax of the control texts: integers, reals and flag lists.
#include "text/numbers.h"
#include <stdint.h>
#include <algorithm>
#include <array>

namespace {
constexpr BYTE kNoDigit = 0xFF;
constexpr unsigned kDecimalBase = 10;
constexpr unsigned kHexBase = 16;
constexpr int kBitsPerHexDigit = 4;
constexpr double kTwoPow32 = 4294967296.0;

// ParseDouble limits
constexpr int kMaxSignificantDigits = 18;
constexpr int kDigitsPerPart = 9;
constexpr int kMaxExponentDigits = 4;
constexpr int64_t kLongExponent = 1000000000;  // a longer exponent over- or underflows in any case
constexpr int64_t kMaxScale = 511;
constexpr double kPowersOfTen[] = {1e1, 1e2, 1e4, 1e8, 1e16, 1e32, 1e64, 1e128, 1e256};  // 10^(2^i)
constexpr double kPartScale[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};

// FlagsToText: bits 0 to 6 are written as decimal numbers, the rest as one hexadecimal number.
constexpr int kDecimalFlagBits = 7;
constexpr unsigned kDecimalFlagsLimit = 1u << kDecimalFlagBits;

// The digit value of every byte, kNoDigit for the others. Digits do not
// depend on the code page, so this table is fixed rather than built at start-up.
constexpr std::array<BYTE, 256> kDigitValue = [] {
    std::array<BYTE, 256> table{};
    table.fill(kNoDigit);
    for (unsigned i = 0; i < kDecimalBase; ++i) table['0' + i] = BYTE(i);
    for (unsigned i = kDecimalBase; i < kHexBase; ++i) table['a' + i - kDecimalBase] = table['A' + i - kDecimalBase] = BYTE(i);
    return table;
}();

unsigned DigitValue(char c) { return kDigitValue[BYTE(c)]; }
bool IsDigit(char c, unsigned base) { return DigitValue(c) < base; }
bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }
bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsExponentMark(char c) { return c == 'e' || c == 'E' || c == 'd' || c == 'D'; }

enum class NumberKind { kInvalid, kDecimal, kHex, kReal };

struct NumberStart {
    NumberKind kind = NumberKind::kInvalid;
    bool negative = false;
    const char* digits = nullptr;  // the first digit, or the "." that starts a real
};

// Finds which kind of number `text` holds and where its digits begin.
NumberStart ScanPrefix(const char* text, unsigned options) {
    NumberStart start;
    if (!text || !*text) return start;
    const unsigned base = (options & kNumberHexDigits) ? kHexBase : kDecimalBase;
    const char* p = text;
    if (!IsDigit(*p, base)) {
        while (IsSpaceOrTab(*p)) ++p;
        if (*p == '-' || *p == '+') {
            start.negative = *p++ == '-';
            while (IsSpaceOrTab(*p)) ++p;
        }
        if (!IsDigit(*p, base)) {
            if ((options & kNumberLeadingDot) && *p == '.') {
                start.kind = NumberKind::kReal;
                start.digits = p;
            }
            return start;
        }
    }
    if (!(options & kNumberNoHexPrefix) && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && IsDigit(p[2], kHexBase)) {
        start.kind = NumberKind::kHex;
        start.digits = p + 2;
        return start;
    }
    if (options & kNumberHexDigits) {
        start.kind = NumberKind::kHex;
        start.digits = p;
        return start;
    }
    while (*p == '0' && IsDigit(p[1], kDecimalBase)) ++p;
    start.digits = p;
    const char* after = p;
    while (IsDigit(*after, kDecimalBase)) ++after;
    const bool real = (options & (kNumberFloat | kNumberLeadingDot)) && (*after == '.' || IsExponentMark(*after));
    start.kind = real ? NumberKind::kReal : NumberKind::kDecimal;
    return start;
}

// Digits up to `limit`; false when the number is larger.
template <typename Unsigned>
bool ReadDecimal(const char*& p, Unsigned& magnitude, Unsigned limit) {
    Unsigned value = 0;
    for (; IsDigit(*p, kDecimalBase); ++p) {
        const unsigned digit = DigitValue(*p);
        if (value > (limit - digit) / kDecimalBase) return false;
        value = value * kDecimalBase + digit;
    }
    magnitude = value;
    return true;
}

// Hexadecimal digits, at most as many as `Unsigned` holds after leading zeros.
template <typename Unsigned>
bool ReadHex(const char*& p, Unsigned& magnitude) {
    constexpr int maxDigits = int(sizeof(Unsigned)) * 8 / kBitsPerHexDigit;
    while (*p == '0') ++p;
    Unsigned value = 0;
    for (int count = 1; IsDigit(*p, kHexBase); ++p, ++count) {
        if (count > maxDigits) return false;
        value = Unsigned(value << kBitsPerHexDigit | DigitValue(*p));
    }
    magnitude = value;
    return true;
}

bool ReadReal(const char*& p, double& real, uint32_t& magnitude) {
    const char* end;
    real = ParseDouble(p, &end);
    if (end == p || real >= kTwoPow32) return false;  // also catches infinity
    p = end;
    magnitude = uint32_t(real);
    return true;
}

// Ten to the power `exponent` (0 to kMaxScale), by repeated squaring.
double PowerOfTen(int64_t exponent) {
    double factor = 1;
    for (int bit = 0; exponent; ++bit, exponent >>= 1) {
        if (exponent & 1) factor *= kPowersOfTen[bit];
    }
    return factor;
}

// The signed exponent after an exponent mark at `p`, which is then passed.
// A mark without digits is no exponent: 0 and `p` unchanged.
int64_t ReadExponent(const char*& p) {
    if (!IsExponentMark(*p)) return 0;
    const char* q = p + 1;
    const bool negative = *q == '-';
    if (*q == '-' || *q == '+') ++q;
    if (!IsDigit(*q, kDecimalBase)) return 0;
    int64_t value = 0;
    int count = 0;
    for (; IsDigit(*q, kDecimalBase); ++q) {
        if (++count <= kMaxExponentDigits) value = value * kDecimalBase + DigitValue(*q);
    }
    if (count > kMaxExponentDigits) value = kLongExponent;
    p = q;
    return negative ? -value : value;
}
}  // namespace

int ParseNumber(const char* text, const char** end, unsigned options, VARIANT* typed) {
    if (end) *end = text;
    if (typed) typed->vt = VT_EMPTY;
    if (options & kNumberLeadingDot) options = kNumberLeadingDot;
    const NumberStart start = ScanPrefix(text, options);
    const char* p = start.digits;
    uint32_t magnitude = 0;
    double real = 0;
    bool read = false;
    switch (start.kind) {
    case NumberKind::kInvalid: return 0;
    case NumberKind::kDecimal: read = ReadDecimal(p, magnitude, uint32_t(UINT32_MAX)); break;
    case NumberKind::kHex: read = ReadHex(p, magnitude); break;
    case NumberKind::kReal: read = ReadReal(p, real, magnitude); break;
    }
    if (!read) return 0;
    if (end) *end = p;
    // The sign applies to the 32-bit pattern: "-4294967295" is 1.
    const int value = int(start.negative ? 0u - magnitude : magnitude);
    if (!typed) return value;
    if (start.kind == NumberKind::kReal) {
        typed->vt = VT_R8;
        typed->dblVal = start.negative && real != 0 ? -real : real;
        return kNumberReal;
    }
    typed->vt = VT_I4;
    typed->lVal = value;
    return kNumberInteger;
}

intptr_t ParsePointerEnd(const char* text, const char** end) {
    if (end) *end = text;
    const NumberStart start = ScanPrefix(text, 0);
    const char* p = start.digits;
    uintptr_t magnitude = 0;
    switch (start.kind) {
    case NumberKind::kDecimal:
        if (!ReadDecimal(p, magnitude, uintptr_t(UINTPTR_MAX))) return 0;
        break;
    case NumberKind::kHex:
        if (!ReadHex(p, magnitude)) return 0;
        break;
    default: return 0;
    }
    if (end) *end = p;
    return intptr_t(start.negative ? 0u - magnitude : magnitude);
}

unsigned ParseFlags(const char* text, const char** end) {
    if (end) *end = text;
    const char* p;
    unsigned flags = unsigned(ParseNumber(text, &p));
    if (p == text) return 0;
    while (*p == '|') {
        const char* next = p + 1;
        flags |= unsigned(ParseNumber(next, &p));
        if (p == next) return 0;
    }
    if (end) *end = p;
    return flags;
}

const char* FlagsToText(str& out, unsigned value, int lowBits) {
    if (value == 0) {
        out.Assign("0");
        return out.Text();
    }
    out.Empty();
    const int firstSingleBit = std::clamp(lowBits, 0, kDecimalFlagBits);
    const unsigned low = value & ((1u << firstSingleBit) - 1);
    if (low) out.AppendFormat("%u|", low);
    for (int bit = firstSingleBit; bit < kDecimalFlagBits; ++bit) {
        if (value & (1u << bit)) out.AppendFormat("%u|", 1u << bit);
    }
    if (value < kDecimalFlagsLimit) {
        out.RemoveLastIf('|');
    } else {
        out.AppendFormat("0x%X", value & ~(kDecimalFlagsLimit - 1));
    }
    return out.Text();
}

double ParseDouble(const char* text, const char** end) {
    if (end) *end = text;
    if (!text) return 0;
    const char* p = text;
    while (IsWhiteSpace(*p)) ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;

    // The significant digits in two parts: high * 10^(digits in low) + low.
    uint32_t high = 0, low = 0;
    int significant = 0;
    int64_t exponent = 0;
    bool anyDigit = false, dot = false;
    for (;; ++p) {
        if (*p == '.' && !dot) {
            dot = true;
            continue;
        }
        if (!IsDigit(*p, kDecimalBase)) break;
        anyDigit = true;
        const unsigned digit = DigitValue(*p);
        if (significant == kMaxSignificantDigits) {
            if (!dot) ++exponent;
            continue;
        }
        if (significant == 0 && digit == 0) {  // a leading zero is not significant
            if (dot) --exponent;
            continue;
        }
        uint32_t& part = significant < kDigitsPerPart ? high : low;
        part = part * kDecimalBase + digit;
        ++significant;
        if (dot) --exponent;
    }
    if (!anyDigit) return 0;
    exponent += ReadExponent(p);
    if (end) *end = p;

    const int lowDigits = std::max(significant - kDigitsPerPart, 0);
    double value = double(high) * kPartScale[lowDigits] + double(low);
    if (value != 0) {  // 0 times an overflowed scale would be NaN
        const double scale = PowerOfTen(std::min(exponent < 0 ? -exponent : exponent, kMaxScale));
        value = exponent < 0 ? value / scale : value * scale;
    }
    return negative && value != 0 ? -value : value;
}
