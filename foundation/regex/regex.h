// Regular expressions over PCRE 8.x (8-bit, no UTF-8: patterns and subjects
// are matched as ANSI bytes with the tables of regex_tables.h), and text
// matching by kind (equal, prefix, suffix, wildcard, containment, pattern).
#pragma once
#include <windows.h>
#include <stdint.h>
#include <memory>
#include <vector>
#include <pcre.h>
#include "runtime/host_alloc.h"
#include "text/str.h"

// The flags word of RegexCompile and RegexMatch: the wrapper's own bits, and
// PCRE's compile and match options shifted left by kRegexPcreOptionShift.
enum RegexFlag : uint32_t {
    kRegexIgnoreCase = 0x1,           // adds PCRE_CASELESS
    kRegexWholeWord = 0x2,            // the pattern is compiled between two "\b"
    kRegexFindAll = 0x4,              // RegexMatch: every match, the result is their count
    kRegexMultiLine = 0x8,            // adds PCRE_MULTILINE
    kRegexWholeMatchOnly = 0x10,      // RegexMatch: deliver the whole match, not the captures
    kRegexPatternUtf8 = 0x20,         // the pattern text is UTF-8 (converted to ANSI unless the code page is 0)
    kRegexUseCache = 0x40,            // RegexMatch: compile through RegexCompileCached
    kRegexStartIsRange = 0x10000000,  // RegexMatch: `start` is a const RegexRange*
    kRegexPatternCompiled = 0x80000000,  // RegexMatch: `pattern` is a compiled pattern, not text
};
constexpr int kRegexPcreOptionShift = 8;
// The PCRE options the flags word carries (before the shift).
constexpr unsigned kRegexCompileOptionMask = PCRE_CASELESS | PCRE_MULTILINE | PCRE_DOTALL | PCRE_EXTENDED |
                                             PCRE_ANCHORED | PCRE_DOLLAR_ENDONLY | PCRE_EXTRA | PCRE_UNGREEDY |
                                             PCRE_UTF8 | PCRE_NO_AUTO_CAPTURE | PCRE_NO_UTF8_CHECK;
constexpr unsigned kRegexExecOptionMask = PCRE_NOTBOL | PCRE_NOTEOL | PCRE_NOTEMPTY;
// PCRE options placed in the flags word, e.g. RegexPcreOptions(PCRE_DOTALL).
constexpr uint32_t RegexPcreOptions(unsigned pcreOptions) { return pcreOptions << kRegexPcreOptionShift; }

// Results of RegexMatch besides offsets, counts and PCRE's own error codes.
// Every failure leaves its reason in the thread's error text (GetErrorText).
enum RegexResult : int {
    kRegexNoMatch = -1,             // single mode; find-all mode returns 0 matches instead
    kRegexOvectorTooSmall = -3,     // PCRE returned 0
    kRegexResourceLimit = -99,      // PCRE's match limit, or not enough stack left for the match
    kRegexCompileFailed = -100,
};

// Error texts of the resource limits.
inline constexpr char kRegexStackOverflowText[] = "Regular expression stack overflow";
inline constexpr char kRegexMatchLimitText[] = "Regular expression recursion limit";

// A compiled pattern; its block comes from the host allocator.
struct RegexPatternFree {
    void operator()(pcre* pattern) const noexcept { HostFree(pattern); }
};
using RegexPattern = std::unique_ptr<pcre, RegexPatternFree>;

// Called for each "(?Cn)" of the pattern while RegexMatch runs with a range
// that names it. block->callout_data is then a const RegexRange*: a copy of
// the caller's range, whose userData is the caller's. PCRE's rules for the
// result: 0 go on, above 0 fail here and backtrack, below 0 end the match
// with that result.
using RegexCallout = int (*)(pcre_callout_block* block);

// Where matching starts and ends (RegexMatch with kRegexStartIsRange).
struct RegexRange {
    int start;
    int end;  // the subject ends here; an end not above start or beyond the subject means its real end
    RegexCallout callout;  // null for none
    void* userData;
};
inline intptr_t RegexRangeStart(const RegexRange& range) { return reinterpret_cast<intptr_t>(&range); }

// Offsets of one capture (or the whole match), end exclusive; -1, -1 for a
// capture that did not take part.
struct RegexSpan {
    int start;
    int end;
};
using RegexSpanList = std::vector<RegexSpan, HostAllocator<RegexSpan>>;
using RegexTextList = std::vector<str, HostAllocator<str>>;

// What RegexMatch delivers and where. A match yields one span (flag
// kRegexWholeMatchOnly or a captureIndex other than 0: capture captureIndex)
// or else every capture, whole match first.
enum RegexOutputKind : int {
    kRegexOutLength = 0,     // int: the length of capture captureIndex (find-all: of the last match)
    kRegexOutText = 1,       // str: the text of capture captureIndex (find-all: of the last match)
    kRegexOutSpans = 2,      // RegexSpanList: the spans of each match, appended
    kRegexOutTexts = 3,      // RegexTextList: the text of each span, appended (empty when it did not take part)
    kRegexOutSpanArray = 4,  // caller memory with room for the spans of one match, overwritten
};
class RegexOutput {
public:
    RegexOutput() = default;  // nothing delivered
    RegexOutput(int* length) : kind_(kRegexOutLength), target_(length) {}
    RegexOutput(str* text) : kind_(kRegexOutText), target_(text) {}
    RegexOutput(RegexSpanList* spans) : kind_(kRegexOutSpans), target_(spans) {}
    RegexOutput(RegexTextList* texts) : kind_(kRegexOutTexts), target_(texts) {}
    RegexOutput(RegexSpan* spanArray) : kind_(kRegexOutSpanArray), target_(spanArray) {}

    RegexOutputKind Kind() const { return kind_; }
    void* Target() const { return target_; }

private:
    RegexOutputKind kind_ = kRegexOutLength;
    void* target_ = nullptr;
};

// Points PCRE's allocation at the host allocator, installs the callout
// dispatcher and the compile-time stack check, and measures the matcher's
// stack use per recursion level (matches are bounded by the stack the calling
// thread has left). Runs at library start-up, after the character tables are
// built, wherever this code is linked.
void RegexInit();

// Null when the pattern does not compile; the thread's error text (and
// `errorOut` when given) then says why: PCRE's message and the pattern from
// the error offset, or the message alone.
RegexPattern RegexCompile(const char* pattern, uint32_t flags, str* errorOut = nullptr);

// The compiled pattern for (the address of `pattern`, `flags`), kept until the
// library unloads; null when it does not compile. The key is the address, not
// the text, so only texts that live and stay unchanged for the whole process
// (literals) may be passed.
const pcre* RegexCompileCached(const char* pattern, uint32_t flags);

// Matches `pattern` (text, or a compiled pattern with kRegexPatternCompiled)
// in `subject`, from `start` (an offset, or a RegexRange with
// kRegexStartIsRange). subjectLength < 0: the text's length.
// Single mode: the start offset of capture captureIndex of the first match,
// or kRegexNoMatch. Find-all: the number of matches. Otherwise one of
// kRegexCompileFailed, kRegexResourceLimit, kRegexOvectorTooSmall or PCRE's
// error code. An empty subject, or a start at or past its end, never matches.
int RegexMatch(const char* subject, const void* pattern, uint32_t flags, RegexOutput out = {}, int captureIndex = 0,
               int subjectLength = -1, intptr_t start = 0);

// The offset of the first match, or a negative result of RegexMatch.
inline int RegexFind(const char* subject, const char* pattern, uint32_t flags) {
    return RegexMatch(subject, pattern, flags);
}

// Modes of Match: bit 0 ignores case, the kind bits say how.
enum MatchMode : unsigned {
    kMatchIgnoreCase = 0x1,
    kMatchEqual = 0x0,
    kMatchWildcard = 0x2,        // WildcardMatch
    kMatchContains = 0x4,        // FindText
    kMatchRegex = 0x6,           // the pattern is a regular expression
    kMatchCompiledRegex = 0x8,   // the pattern is a compiled pattern (cast to const char*)
    kMatchKindMask = 0xE,
};
bool Match(const char* text, const char* pattern, unsigned mode);

// Flags of MatchAny: bit 0 ignores case, at most one kind bit (the first in
// this order wins: starts, ends, wildcard, contains, regex, compiled regex);
// no kind bit is equality. Other bits below kMatchAnyArray have no effect.
enum MatchAnyFlag : unsigned {
    kMatchAnyIgnoreCase = 0x1,
    kMatchAnyWildcard = 0x2,
    kMatchAnyStartsWith = 0x4,
    kMatchAnyEndsWith = 0x8,         // never when the text is shorter
    kMatchAnyContains = 0x10,
    kMatchAnyRegex = 0x20,
    kMatchAnyCompiledRegex = 0x40,
    kMatchAnyArray = 0x10000,        // one array of (flags >> kMatchAnyCountShift) candidates
};
constexpr int kMatchAnyCountShift = 16;
constexpr unsigned MatchAnyArrayFlags(unsigned flags, int count) {
    return flags | (unsigned(count) << kMatchAnyCountShift);
}

// The 1-based index of the first candidate that `text` matches; 0 when none
// does or `text` is null. The candidates follow as const char* ending with a
// null, or, when flags >= kMatchAnyArray (see MatchAnyArrayFlags), as one
// const char* const* array whose null entries count as "".
//   MatchAny(kMatchAnyIgnoreCase, field, "a", "b", nullptr)
int MatchAny(unsigned flags, const char* text, ...);
// The array form with its count given apart.
int MatchAnyOf(unsigned flags, const char* text, const char* const* candidates, int count);
