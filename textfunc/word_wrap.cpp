// Word wrap: lines end after spaces and tabs of the break set where one is
// near enough, else after another break character, else words are cut.
#include "word_wrap.h"
#include <limits.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <algorithm>
#include <bit>
#include <string_view>
#include "runtime/errors.h"
#include "jx/text_functions.h"

namespace {

constexpr int kMinWidth = 4;
constexpr std::string_view kDefaultLineBreak = "\r\n";
constexpr int kCrLfLength = 2;
constexpr int kCharSetSize = 256;
constexpr int kMaxUtf8Continuations = 3;
// breakChars values below this name a predefined set, so they are never tables.
constexpr uintptr_t kPredefinedSetLimit = 0x10000;
// Larger output estimates are not reserved up front; the block grows instead.
constexpr int64_t kLargestReservation = INT_MAX / 2;

static_assert(JX_WRAP_CHARS_ARE_TABLE == kCharSetIsTable && JX_WRAP_CHARS_ADD_CONTROLS == kCharSetAddControls,
              "the break-set flags are MakeCharSet's modes");

struct WrapLayout {
    int width;
    std::string_view lineBreak;
    const BYTE* breakSet;
    int searchFloor;  // a break is looked for no closer than this to the line start
    bool keepSpaces;
    bool anyBreakIsSpace;
    bool utf8;
};

bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
bool IsContinuation(char c) { return (BYTE(c) & 0xC0) == 0x80; }
bool StartsCrLf(const char* p, const char* end) { return end - p >= kCrLfLength && p[0] == '\r' && p[1] == '\n'; }

// The first CR in [p, end), or end. Looks at a machine word at a time: the
// bytes of x = word ^ CRs are zero where a CR is, and (x - 0x01..) & ~x & 0x80..
// marks the first zero byte exactly (little-endian: its lowest set bit).
const char* FindCr(const char* p, const char* end) {
    using Word = size_t;
    constexpr Word kOnes = Word(-1) / 0xFF;
    constexpr Word kHighBits = kOnes * 0x80;
    constexpr Word kCrs = kOnes * '\r';
    constexpr int kBitsPerByte = 8;
    for (; end - p >= ptrdiff_t(sizeof(Word)); p += sizeof(Word)) {
        Word word;
        memcpy(&word, p, sizeof word);
        const Word x = word ^ kCrs;
        const Word firstCr = (x - kOnes) & ~x & kHighBits;
        if (firstCr) return p + std::countr_zero(firstCr) / kBitsPerByte;
    }
    while (p < end && *p != '\r') ++p;
    return p;
}

// The CR of the first CR LF pair at or after `from`, or `end`.
const char* FindCrLf(const char* from, const char* end) {
    for (const char* cr = FindCr(from, end); end - cr >= kCrLfLength; cr = FindCr(cr + 1, end)) {
        if (cr[1] == '\n') return cr;
    }
    return end;
}

int SearchFloor(unsigned minLength, int width) {
    if (minLength > unsigned(width)) return width;
    return minLength == 0 ? 0 : int(minLength) - 1;
}

// Replaces every run of CR and LF bytes with one space, in place.
void JoinLines(str& s) {
    const char* p = s.buf;
    const char* const end = s.buf + s.len;
    char* out = s.buf;
    while (p < end) {
        if (!IsLineEnd(*p)) {
            *out++ = *p++;
            continue;
        }
        while (p < end && IsLineEnd(*p)) ++p;  // before writing over the run's first byte
        *out++ = ' ';
    }
    s.FixLength(int(out - s.buf), kFixNoShrink);
}

// Appends lines to a str whose block is sized once in advance; it grows only
// when the estimate falls short.
class LineWriter {
public:
    LineWriter(str& out, int64_t estimate) : out_(out) {
        out_.Alloc(int(std::min(estimate, kLargestReservation)), kAllocNoTerminators);
    }

    void Append(const char* bytes, size_t n) {
        if (int64_t(used_) + int64_t(n) > out_.cap) Grow(n);
        memcpy(out_.buf + used_, bytes, n);
        used_ += int(n);
    }
    void Append(std::string_view bytes) { Append(bytes.data(), bytes.size()); }

    void Finish() { out_.FixLength(used_); }

private:
    void Grow(size_t n) {
        const int64_t needed = int64_t(used_) + int64_t(n);
        if (needed > INT_MAX) RaiseOutOfMemory();
        out_.Alloc(int(needed), kAllocGrowInPlace | kAllocNoTerminators);
    }

    str& out_;
    int used_ = 0;
};

// The lead byte of the UTF-8 character that p is inside, or p itself when it
// starts a character or no lead byte before it reaches it. A character has at
// most 3 continuation bytes and a line at least 4 bytes, so the result stays
// after the line start.
const char* CharacterStart(const char* p) {
    const char* lead = p;
    while (IsContinuation(*lead) && p - lead < kMaxUtf8Continuations) --lead;
    return Utf8SequenceLength(BYTE(*lead)) > p - lead ? lead : p;
}

// Where the line from `lineStart` ends when its last allowed byte is p - 1.
const char* BreakPosition(const char* lineStart, const char* p, const WrapLayout& layout) {
    const BYTE* set = layout.breakSet;
    auto ranksAsSpace = [&](char c) { return layout.anyBreakIsSpace || IsSpaceOrTab(c); };
    if (set[BYTE(*p)] && ranksAsSpace(*p)) return p;

    const char* const cut = layout.utf8 && !set[BYTE(*p)] ? CharacterStart(p) : p;
    // The rightmost space wins; else the rightmost other break character.
    const char* afterOtherBreak = nullptr;
    for (const char* q = p - 1; q >= lineStart + layout.searchFloor; --q) {
        if (!set[BYTE(*q)]) continue;
        if (ranksAsSpace(*q)) return q + 1;
        if (!afterOtherBreak) afterOtherBreak = q + 1;
    }
    return afterOtherBreak ? afterOtherBreak : cut;
}

void WrapLines(str& out, const char* text, int length, const WrapLayout& layout) {
    const char* const end = text + length;
    // Room for a line break every half width, so appending rarely grows the block.
    LineWriter writer(out, int64_t(length) + int64_t(length / layout.width) * int64_t(layout.lineBreak.size()) * 2);
    const char* lineStart = text;
    const char* nextCrLf = FindCrLf(text, end);
    while (end - lineStart > layout.width) {
        const char* const p = lineStart + layout.width;
        if (nextCrLf < lineStart) nextCrLf = FindCrLf(lineStart, end);
        if (nextCrLf <= p) {
            // An existing line break within reach restarts the count.
            const char* const next = nextCrLf + kCrLfLength;
            writer.Append(lineStart, size_t(next - lineStart));
            lineStart = next;
            continue;
        }
        const char* next = BreakPosition(lineStart, p, layout);
        const char* lineEnd = next;
        if (!layout.keepSpaces) {
            while (lineEnd > lineStart && IsSpaceOrTab(lineEnd[-1])) --lineEnd;
            while (next < end && IsSpaceOrTab(*next)) ++next;
        }
        if (lineEnd > lineStart) {
            writer.Append(lineStart, size_t(lineEnd - lineStart));
            if (next < end && !StartsCrLf(next, end)) writer.Append(layout.lineBreak);
        }
        lineStart = next;
    }
    writer.Append(lineStart, size_t(end - lineStart));
    writer.Finish();
}

}  // namespace

void WrapText(str& s, int width, const char* lineBreak, const char* breakChars, unsigned flags, unsigned minLength) {
    width = std::max(width, kMinWidth);
    if (!s.buf || s.len < width) return;
    if (flags & JX_WRAP_JOIN_LINES) JoinLines(s);

    unsigned setMode = (flags & (kCharSetIsTable | kCharSetAddControls)) | kCharSetPredefined;
    if (reinterpret_cast<uintptr_t>(breakChars) < kPredefinedSetLimit) setMode &= ~kCharSetIsTable;
    BYTE ownSet[kCharSetSize];
    const WrapLayout layout = {
        .width = width,
        .lineBreak = lineBreak && *lineBreak ? std::string_view(lineBreak) : kDefaultLineBreak,
        .breakSet = MakeCharSet(ownSet, breakChars, setMode),
        .searchFloor = SearchFloor(minLength, width),
        .keepSpaces = (flags & JX_WRAP_KEEP_SPACES) != 0,
        .anyBreakIsSpace = (flags & JX_WRAP_ANY_BREAK_IS_SPACE) != 0,
        .utf8 = IsUtf8Mode(),
    };
    str wrapped;
    wrapped.flags = s.flags;
    WrapLines(wrapped, s.buf, s.len, layout);
    s.Swap(wrapped);  // the old block leaves with `wrapped`
}
