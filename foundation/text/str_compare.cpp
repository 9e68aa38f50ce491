// Comparison, case mapping, search and wildcard matching of 8-bit text in the
// library code page; UTF-8 stepping; character sets.
//
// Ignoring case stays on the byte tables while both sides are ASCII. In UTF-8
// mode the first non-ASCII byte switches to comparing whole characters,
// decoded and lower-cased as UTF-16.
#include <limits.h>
#include <shlwapi.h>
#include <stdint.h>
#include <string.h>
#include "text/char_tables.h"
#include "runtime/host_alloc.h"
#include "text/str.h"

namespace {
constexpr BYTE kAsciiLimit = 0x80;
constexpr BYTE kContinuationMask = 0xC0;
constexpr BYTE kContinuationTag = 0x80;
constexpr BYTE kPayloadMask = 0x3F;
constexpr int kCharSetSize = 256;
constexpr int kControlBytes = ' ' + 1;  // bytes 0-32
constexpr uintptr_t kPredefinedSetLimit = 0x10000;
constexpr int kCaseStackBytes = 600;

const BYTE* Bytes(const char* p) { return reinterpret_cast<const BYTE*>(p); }

bool IsContinuation(BYTE b) { return (b & kContinuationMask) == kContinuationTag; }

int Sign(int value) { return (value > 0) - (value < 0); }

const BYTE* IsLead() { return g_charTables.isLeadByte; }

// Whether `p` starts a character of `text` (not a trail byte) on a double-byte page.
bool IsAnsiCharStart(const char* text, const char* p) {
    const char* q = text;
    while (q < p && *q) q = NextLibraryChar(q);
    return q == p;
}

// The code unit of a 2- or 3-byte sequence whose continuation bytes were
// checked by Utf8Next. Surrogates and overlong forms pass unchanged (see
// IsOverlong).
WCHAR DecodeSequence(const BYTE* p, int length) {
    if (length == 2) return WCHAR(((p[0] & 0x1F) << 6) | (p[1] & kPayloadMask));
    return WCHAR(((p[0] & 0x0F) << 12) | ((p[1] & kPayloadMask) << 6) | (p[2] & kPayloadMask));
}

int Utf8LengthOfUnit(WCHAR unit) { return unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3; }

// A unit written with more bytes than it needs ("E0 80 80" for 0): not
// UTF-8, and as a character it could stand for the text's end.
bool IsOverlong(WCHAR unit, int length) { return Utf8LengthOfUnit(unit) < length; }

void EncodeUnit(WCHAR unit, char* p, int length) {
    if (length == 1) {
        p[0] = char(unit);
    } else if (length == 2) {
        p[0] = char(0xC0 | (unit >> 6));
        p[1] = char(kContinuationTag | (unit & kPayloadMask));
    } else {
        p[0] = char(0xE0 | (unit >> 12));
        p[1] = char(kContinuationTag | ((unit >> 6) & kPayloadMask));
        p[2] = char(kContinuationTag | (unit & kPayloadMask));
    }
}

uint32_t FoldUnit(WCHAR unit) { return unit < kAsciiLimit ? g_charTables.toLower[unit] : LowerWideChar(unit); }

// One character of UTF-8 text as a value that compares ignoring case; `p`
// moves past it. Characters beyond the BMP compare by code point, unmapped;
// bytes that start no valid sequence are read in the system ANSI code page.
uint32_t NextFoldedChar(const BYTE*& p) {
    const BYTE* start = p;
    if (*start < kAsciiLimit) {
        ++p;
        return g_charTables.toLower[*start];
    }
    p = Bytes(Utf8Next(reinterpret_cast<const char*>(start)));
    const int length = int(p - start);
    if (length == 2 || length == 3) {
        const WCHAR unit = DecodeSequence(start, length);
        if (!IsOverlong(unit, length)) return FoldUnit(unit);
    }
    WCHAR units[2];
    if (length == 4) {
        if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(start), 4, units, 2) == 2)
            return 0x10000 + ((uint32_t(units[0]) - 0xD800) << 10) + (uint32_t(units[1]) - 0xDC00);
    }
    p = start + 1;
    if (MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(start), 1, units, 1) != 1) units[0] = *start;
    return FoldUnit(units[0]);
}

// Compares at most `limit` bytes of `a` with `b`. On equality both are left
// after the compared text, so a caller can go on matching from there.
int CompareRun(const char*& a, const char*& b, int limit, bool ignoreCase) {
    const BYTE* p = Bytes(a);
    const BYTE* q = Bytes(b);
    const BYTE* const start = p;
    const bool decode = ignoreCase && IsUtf8Mode();
    int result = 0;
    while (p - start < limit) {
        if (decode && (*p >= kAsciiLimit || *q >= kAsciiLimit)) {
            const uint32_t x = NextFoldedChar(p), y = NextFoldedChar(q);
            if (x != y) {
                result = x < y ? -1 : 1;
                break;
            }
            if (!x) break;  // both at their ends
            continue;
        }
        const bool doubleByte = IsLead()[*p] || IsLead()[*q];
        const BYTE x = ignoreCase && !doubleByte ? g_charTables.toLower[*p] : *p;
        const BYTE y = ignoreCase && !doubleByte ? g_charTables.toLower[*q] : *q;
        if (x != y) {
            result = x < y ? -1 : 1;
            break;
        }
        if (!x) break;
        ++p;
        ++q;
        // The same lead byte: its trail bytes compare as they are.
        if (doubleByte && *p && p - start < limit) {
            if (*p != *q) {
                result = *p < *q ? -1 : 1;
                break;
            }
            ++p;
            ++q;
        }
    }
    a = reinterpret_cast<const char*>(p);
    b = reinterpret_cast<const char*>(q);
    return result;
}

// The order of a pair with a null side: a non-empty text sorts after nothing.
int CompareWithNull(const char* a, const char* b) {
    if (a && *a) return 1;
    if (b && *b) return -1;
    return 0;
}

// Maps the case of the characters starting in [begin, end) through UTF-16.
// A character whose mapping needs another number of bytes keeps its bytes,
// so the text never moves; bytes of no valid sequence stay as they are.
void MapCaseWide(char* begin, const char* end, bool upper) {
    const int bytes = int(end - begin);  // at least one byte per character
    WCHAR stack[kCaseStackBytes / sizeof(WCHAR)];
    HostBlock heap;
    WCHAR* units = stack;
    if (2 * bytes >= kCaseStackBytes) {
        heap.block = HostAllocOrRaise(sizeof(WCHAR) * size_t(bytes));
        units = static_cast<WCHAR*>(heap.block);
    }
    int count = 0;
    for (const char* p = begin; p < end;) {
        const char* next = Utf8Next(p);
        const int length = int(next - p);
        WCHAR unit = 0;  // 0: left alone
        if (length == 1 && Bytes(p)[0] < kAsciiLimit)
            unit = Bytes(p)[0];
        else if (length == 2 || length == 3)
            unit = DecodeSequence(Bytes(p), length);
        units[count++] = unit;
        p = next;
    }
    if (upper)
        CharUpperBuffW(units, DWORD(count));
    else
        CharLowerBuffW(units, DWORD(count));
    count = 0;
    for (char* p = begin; p < end;) {
        const int length = int(Utf8Next(p) - p);
        const WCHAR unit = units[count++];
        if (unit && Utf8LengthOfUnit(unit) == length) EncodeUnit(unit, p, length);
        p += length;
    }
}

void MapCase(char* text, int n, bool upper) {
    if (!text) return;
    if (n < 0) n = int(strlen(text));
    const BYTE* table = upper ? g_charTables.toUpper : g_charTables.toLower;
    const bool utf8 = IsUtf8Mode();
    for (int i = 0; i < n; ++i) {
        const BYTE c = BYTE(text[i]);
        if (utf8 && c >= kAsciiLimit) {
            MapCaseWide(text + i, text + n, upper);
            return;
        }
        if (IsLead()[c]) {
            ++i;  // a double-byte character keeps its trail byte
            continue;
        }
        text[i] = char(table[c]);
    }
}

bool MatchFrom(const char* text, const char* pattern, bool ignoreCase);

// Matching after a "*": the literal run up to the next wildcard is looked for
// in the text, and the rest of the pattern matched after each occurrence.
bool MatchAfterStar(const char* text, const char* pattern, bool ignoreCase) {
    while (*pattern == '*') ++pattern;
    if (!*pattern) return true;
    const char* runEnd = FindWildcard(pattern, true);
    const int run = int(runEnd - pattern);
    if (run == 0) {  // a "?" follows: try it at every position
        for (const char* t = text;; t = NextLibraryChar(t)) {
            if (MatchFrom(t, pattern, ignoreCase)) return true;
            if (!*t) return false;
        }
    }
    if (!*runEnd) {  // the final run must end the text
        const int n = int(strlen(text));
        if (n < run) return false;
        const char* tail = text + n - run;
        if (g_charTables.doubleByte && !IsAnsiCharStart(text, tail)) return false;
        return CompareRun(pattern, tail, run, ignoreCase) == 0 && !*tail;
    }
    for (const char* t = text; *t; t = NextLibraryChar(t)) {
        const char* p = pattern;
        const char* q = t;
        if (CompareRun(p, q, run, ignoreCase) == 0 && MatchFrom(q, p, ignoreCase)) return true;
    }
    return false;
}

bool MatchFrom(const char* text, const char* pattern, bool ignoreCase) {
    for (;;) {
        switch (*pattern) {
            case 0:
                return !*text;
            case '*':
                return MatchAfterStar(text, pattern, ignoreCase);
            case '?':
                if (!*text) return false;
                text = NextLibraryChar(text);
                ++pattern;
                break;
            default:
                if (CompareRun(pattern, text, int(FindWildcard(pattern, true) - pattern), ignoreCase) != 0)
                    return false;
                break;
        }
    }
}

// Reads a date in the user's locale, else in the system's; empty text does not read.
bool ReadDate(const char* text, DATE& date) {
    date = 0;
    if (!text || !*text) return false;
    str wide;
    wide.ToWide(text);
    OLECHAR* w = const_cast<OLECHAR*>(wide.Wide());
    HRESULT hr = VarDateFromStr(w, LOCALE_USER_DEFAULT, 0, &date);
    if (hr == DISP_E_TYPEMISMATCH) hr = VarDateFromStr(w, LOCALE_SYSTEM_DEFAULT, 0, &date);
    if (FAILED(hr)) date = 0;
    return SUCCEEDED(hr);
}

bool IsPredefinedSetId(const char* chars) { return reinterpret_cast<uintptr_t>(chars) < kPredefinedSetLimit; }
}  // namespace

int SafeLen(const char* text) { return text ? int(strlen(text)) : 0; }

int Compare(const char* a, const char* b, bool ignoreCase) {
    if (!a || !b) return CompareWithNull(a, b);
    if (!ignoreCase) return Sign(strcmp(a, b));
    return CompareRun(a, b, INT_MAX, true);
}

int CompareN(const char* a, const char* b, int n, bool ignoreCase) {
    if (n <= 0) return 0;
    if (!a || !b) return CompareWithNull(a, b);
    if (!ignoreCase) return Sign(strncmp(a, b, size_t(n)));
    return CompareRun(a, b, n, true);
}

void ToUpper(char* text, int n) { MapCase(text, n, true); }

void ToLower(char* text, int n) { MapCase(text, n, false); }

const char* FindText(const char* text, const char* pattern, bool ignoreCase) {
    return FindTextN(text, pattern, -1, ignoreCase);
}

const char* FindTextN(const char* text, const char* pattern, int n, bool ignoreCase) {
    if (!text || !*text || !pattern) return nullptr;
    n = n < 0 ? int(strlen(pattern)) : int(strnlen(pattern, size_t(n)));
    if (n == 0) return text;
    // A trail byte of a double-byte page is no place to match.
    if (!ignoreCase && !pattern[n] && !g_charTables.doubleByte) return strstr(text, pattern);
    // Ignoring case in UTF-8 steps by whole characters: a continuation byte
    // read on its own could pass for another character.
    const bool byCharacter = ignoreCase || g_charTables.doubleByte;
    for (const char* p = text; *p; p = byCharacter ? NextLibraryChar(p) : p + 1) {
        if (CompareN(pattern, p, n, ignoreCase) == 0) return p;
    }
    return nullptr;
}

const char* FindWildcard(const char* pattern, bool returnEnd) {
    if (!pattern) return nullptr;
    const char* p = pattern + strcspn(pattern, "*?");
    return *p || returnEnd ? p : nullptr;
}

bool WildcardMatch(bool ignoreCase, const char* text, const char* pattern) {
    return MatchFrom(text ? text : "", pattern ? pattern : "", ignoreCase);
}

int CompareEx(const char* a, const char* b, unsigned flags) {
    if (flags & kCompareDates) {
        DATE x, y;
        const bool readA = ReadDate(a, x);
        const bool readB = ReadDate(b, y);
        if (readA || readB) return x < y ? -1 : x > y ? 1 : 0;
    }
    const bool ignoreCase = flags & kCompareIgnoreCase;
    if (!(flags & (kCompareNoCaseW | kCompareLogical)) || !a || !b) return Compare(a, b, ignoreCase);
    str wideA, wideB;
    wideA.ToWide(a);
    wideB.ToWide(b);
    int result;
    if (flags & kCompareLogical)
        result = StrCmpLogicalW(wideA.Wide(), wideB.Wide());
    else if (ignoreCase)
        result = StrCmpIW(wideA.Wide(), wideB.Wide());
    else
        result = StrCmpW(wideA.Wide(), wideB.Wide());
    return Sign(result);
}

int SpanIn(const char* text, const char* set) {
    if (!text) return 0;
    BYTE table[kCharSetSize];
    const BYTE* members = MakeCharSet(table, set, 0);
    const BYTE* p = Bytes(text);
    while (*p && members[*p]) ++p;
    return int(p - Bytes(text));
}

const char* FindFirstOf(const char* text, const char* set) {
    if (!text) return nullptr;
    BYTE table[kCharSetSize];
    const BYTE* members = MakeCharSet(table, set, 0);
    const BYTE* p = Bytes(text);
    while (*p && !members[*p]) ++p;
    return *p ? reinterpret_cast<const char*>(p) : nullptr;
}

int Utf8SequenceLength(BYTE leadByte) {
    if (leadByte < 194) return 1;
    if (leadByte < 224) return 2;
    if (leadByte < 240) return 3;
    if (leadByte < 248) return 4;
    return 1;
}

const char* Utf8Next(const char* p) {
    if (!p) return nullptr;
    const int length = Utf8SequenceLength(BYTE(*p));
    for (int i = 1; i < length; ++i) {
        if (!IsContinuation(BYTE(p[i]))) return p + 1;
    }
    return p + length;
}

const char* Utf8CharStart(const char* begin, const char* p) {
    if (!begin || !p || p <= begin) return p;
    // Up to three continuation bytes may stand between a lead byte and p.
    int continuations = 0;
    const char* q = p;
    while (continuations < 3 && q - 1 > begin && IsContinuation(BYTE(q[-1]))) {
        --q;
        ++continuations;
    }
    const char* lead = q - 1;
    return Utf8SequenceLength(BYTE(*lead)) > continuations + 1 ? lead : p;
}

const char* NextLibraryChar(const char* p) {
    if (IsUtf8Mode()) return Utf8Next(p);
    return p + (IsLead()[BYTE(*p)] && p[1] ? 2 : 1);
}

int Utf8Advance(const char* text, int count) {
    if (!text) return 0;
    const char* p = text;
    for (; count > 0 && *p; --count) p = Utf8Next(p);
    return int(p - text);
}

const BYTE* MakeCharSet(BYTE* table, const char* chars, unsigned mode) {
    if (mode & kCharSetIsTable) return reinterpret_cast<const BYTE*>(chars);
    // A predefined set is asked for by a small number in place of the text.
    if ((mode & kCharSetPredefined) && (IsPredefinedSetId(chars) || !*chars)) {
        switch (reinterpret_cast<uintptr_t>(chars)) {
            case kSetBlankOrQuote: return g_charTables.isBlankOrQuote;
            case kSetBlank: return g_charTables.isBlank;
            default: return g_charTables.isNonWord;
        }
    }
    memset(table, 0, kCharSetSize);
    if (mode & kCharSetAddControls) memset(table, 1, kControlBytes);
    if (!IsPredefinedSetId(chars)) {
        for (const BYTE* p = Bytes(chars);; ++p) {
            table[*p] = 1;  // the terminator too
            if (!*p) break;
        }
    }
    // In UTF-8 mode a byte above 127 is part of a sequence, never a member on its own.
    if (IsUtf8Mode()) memset(table + kAsciiLimit, 0, kCharSetSize - kAsciiLimit);
    return table;
}
