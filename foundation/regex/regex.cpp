// Regular expressions over PCRE and text matching by kind.
#include "regex/regex.h"
#include <stdarg.h>
#include <string.h>
#include <algorithm>
#include <tuple>
#include "runtime/errors.h"
#include "regex/regex_tables.h"
#include "runtime/wait_lock.h"

namespace {

constexpr char kExecFailedFormat[] = "Regular expression failed, possibly invalid argument. Error code %i";
// A whole-word pattern: the group keeps alternatives inside the boundaries.
constexpr char kWholeWordStart[] = "\\b(?:";
constexpr char kWholeWordEnd[] = ")\\b";
constexpr char kUnmappableFormat[] = "The pattern has a character that the ANSI code page cannot hold: %s";

// Stack left untouched below PCRE's deepest frame: the guard page, a
// callout's own frames and the system's exception dispatch.
constexpr size_t kStackReserve = 64 * 1024;
// Up to this many groups the ovector lives on the stack.
constexpr int kStackOvectorGroups = 12;
// PCRE's ovector: two offsets per capture and one third of work space.
constexpr int kOvectorIntsPerCapture = 3;

// The matcher's stack use per recursion level is measured at start-up (PCRE's
// own query for it is folded to a constant by the optimiser): a pattern that
// recurses once per repetition runs into two recursion limits, and a callout
// notes the lowest stack address each run reaches. The limits differ by 60,
// a multiple of the one to six levels a repetition may take.
constexpr char kCalibrationPattern[] = "(?:a(?C1))*";
constexpr unsigned long kCalibrationShallow = 4;
constexpr unsigned long kCalibrationDeep = kCalibrationShallow + 60;
constexpr int kCalibrationSubjectLength = 2 * kCalibrationDeep;

size_t g_matchFrameBytes = 0;  // measured by RegexInit; 0 allows no recursion

// What a RegexRange with a callout hands to PCRE as callout data.
struct CalloutRecord {
    RegexCallout function;
    RegexRange range;  // the caller's, copied; the callout receives its address
};

int DispatchCallout(pcre_callout_block* block) {
    if (!block->callout_data) return 0;
    auto* record = static_cast<CalloutRecord*>(block->callout_data);
    block->callout_data = &record->range;
    const int result = record->function(block);
    block->callout_data = record;
    return result;
}

const char* StackPointer() { return static_cast<const char*>(__builtin_frame_address(0)); }

// Stack bytes the calling thread may still use before kStackReserve.
size_t StackLeft() {
    const char* here = StackPointer();
    MEMORY_BASIC_INFORMATION region;
    if (!VirtualQuery(here, &region, sizeof region)) return 0;
    const size_t used = size_t(here - static_cast<const char*>(region.AllocationBase));
    return used > kStackReserve ? used - kStackReserve : 0;
}

// PCRE's compile-time stack check: non-zero stops compiling with "parentheses
// are too deeply nested (stack check)".
int CompileStackExhausted() { return StackLeft() == 0; }

// How deep the matcher may recurse on the calling thread: running out of this
// is reported as the stack overflow that would otherwise end the process.
unsigned long MatchRecursionLimit() { return g_matchFrameBytes ? StackLeft() / g_matchFrameBytes : 0; }

int NoteLowestStack(pcre_callout_block* block) {
    auto* lowest = static_cast<const char**>(static_cast<const RegexRange*>(block->callout_data)->userData);
    *lowest = std::min(*lowest, StackPointer());
    return 0;
}

// The lowest stack address the calibration pattern reaches within `depth`
// recursion levels.
const char* LowestStackWithin(const pcre* pattern, unsigned long depth) {
    char subject[kCalibrationSubjectLength];
    memset(subject, 'a', sizeof subject);
    const char* lowest = StackPointer();
    CalloutRecord record{NoteLowestStack, {0, 0, NoteLowestStack, &lowest}};
    pcre_extra extra{};
    extra.flags = PCRE_EXTRA_MATCH_LIMIT_RECURSION | PCRE_EXTRA_CALLOUT_DATA;
    extra.match_limit_recursion = depth;
    extra.callout_data = &record;
    int ovector[kOvectorIntsPerCapture];
    pcre_exec(pattern, &extra, subject, kCalibrationSubjectLength, 0, 0, ovector, kOvectorIntsPerCapture);
    return lowest;
}

size_t MeasureMatchFrame() {
    const char* message;
    int offset;
    const RegexPattern pattern(pcre_compile(kCalibrationPattern, 0, &message, &offset, RegexCharTables()));
    if (!pattern) return 0;  // out of memory
    const ptrdiff_t bytes = LowestStackWithin(pattern.get(), kCalibrationShallow) -
                            LowestStackWithin(pattern.get(), kCalibrationDeep);
    return std::max<ptrdiff_t>(bytes / ptrdiff_t(kCalibrationDeep - kCalibrationShallow), 1);
}

// The thread's error text and RegexMatch's result for a failed pcre_exec.
int ExecFailure(int pcreResult) {
    switch (pcreResult) {
        case PCRE_ERROR_RECURSIONLIMIT:  // only ever the limit set from the stack
            SetErrorText(kRegexStackOverflowText);
            return kRegexResourceLimit;
        case PCRE_ERROR_MATCHLIMIT:
            SetErrorText(kRegexMatchLimitText);
            return kRegexResourceLimit;
        default:
            FormatErrorText(kExecFailedFormat, pcreResult);
            return pcreResult == 0 ? kRegexOvectorTooSmall : pcreResult;
    }
}

// One match as PCRE reported it: captures at or past setPairs did not take part.
struct MatchSpans {
    const int* ovector;
    int setPairs;

    RegexSpan operator[](int capture) const {
        if (capture >= setPairs) return {-1, -1};
        return {ovector[2 * capture], ovector[2 * capture + 1]};
    }
};

void AssignSpan(str& text, const char* subject, RegexSpan span) {
    if (span.start < 0)
        text.Clear();
    else
        text.Assign(subject, span.start, span.end - span.start);
}

void ResetOutput(const RegexOutput& out) {
    void* target = out.Target();
    if (!target) return;
    switch (out.Kind()) {
        case kRegexOutLength: *static_cast<int*>(target) = 0; break;
        case kRegexOutText: static_cast<str*>(target)->Clear(); break;
        case kRegexOutSpans: static_cast<RegexSpanList*>(target)->clear(); break;
        case kRegexOutTexts: static_cast<RegexTextList*>(target)->clear(); break;
        case kRegexOutSpanArray: break;  // its size is the caller's
    }
}

// Delivers captures first .. first + count - 1 of one match.
void DeliverMatch(const RegexOutput& out, const char* subject, const MatchSpans& spans, int first, int count) {
    void* target = out.Target();
    if (!target) return;
    switch (out.Kind()) {
        case kRegexOutLength: {
            const RegexSpan span = spans[first];
            *static_cast<int*>(target) = span.end - span.start;
            break;
        }
        case kRegexOutText: AssignSpan(*static_cast<str*>(target), subject, spans[first]); break;
        case kRegexOutSpans: {
            auto& list = *static_cast<RegexSpanList*>(target);
            for (int i = first; i < first + count; ++i) list.push_back(spans[i]);
            break;
        }
        case kRegexOutTexts: {
            auto& list = *static_cast<RegexTextList*>(target);
            for (int i = first; i < first + count; ++i) AssignSpan(list.emplace_back(), subject, spans[i]);
            break;
        }
        case kRegexOutSpanArray: {
            auto* array = static_cast<RegexSpan*>(target);
            for (int i = 0; i < count; ++i) array[i] = spans[first + i];
            break;
        }
    }
}

// PCRE's ovector for a pattern: on the stack for up to kStackOvectorGroups
// groups, else a host block.
class Ovector {
public:
    explicit Ovector(int captureCount) : size_((captureCount + 1) * kOvectorIntsPerCapture) {
        if (captureCount > kStackOvectorGroups) heap_.block = HostAllocOrRaise(size_t(size_) * sizeof(int));
    }
    int* Data() { return heap_.block ? static_cast<int*>(heap_.block) : stack_; }
    int Size() const { return size_; }

private:
    int size_;
    int stack_[(kStackOvectorGroups + 1) * kOvectorIntsPerCapture];
    HostBlock heap_;
};

// The compiled-pattern cache, sorted by (text address, flags).
class PatternCache {
public:
    const pcre* Get(const char* pattern, uint32_t flags) {
        LockGuard hold(GlobalLock());
        const auto key = std::make_tuple(reinterpret_cast<uintptr_t>(pattern), flags);
        const auto at = std::lower_bound(entries_.begin(), entries_.end(), key,
                                         [](const Entry& entry, const auto& wanted) { return entry.Key() < wanted; });
        if (at != entries_.end() && at->Key() == key) return at->compiled.get();
        RegexPattern compiled = RegexCompile(pattern, flags & ~kRegexUseCache);
        if (!compiled) return nullptr;
        return entries_.insert(at, Entry{pattern, flags, std::move(compiled)})->compiled.get();
    }

private:
    struct Entry {
        const char* text;
        uint32_t flags;
        RegexPattern compiled;
        std::tuple<uintptr_t, uint32_t> Key() const { return {reinterpret_cast<uintptr_t>(text), flags}; }
    };
    std::vector<Entry, HostAllocator<Entry>> entries_;
};

// The wrapper's start-up, and the cache, which is freed at library unload.
// Built after the module start-up (priority 101), so destroyed before its
// teardown; it only exists where the pattern code is linked.
struct RegexModule {
    RegexModule() { RegexInit(); }
    PatternCache cache;
};
__attribute__((init_priority(102))) RegexModule g_regexModule;

}  // namespace

void RegexInit() {
    pcre_malloc = HostAlloc;
    pcre_free = HostFree;
    pcre_callout = DispatchCallout;
    pcre_stack_guard = CompileStackExhausted;
    g_matchFrameBytes = MeasureMatchFrame();
}

RegexPattern RegexCompile(const char* pattern, uint32_t flags, str* errorOut) {
    int options = int((flags >> kRegexPcreOptionShift) & kRegexCompileOptionMask);
    if (flags & kRegexIgnoreCase) options |= PCRE_CASELESS;
    if (flags & kRegexMultiLine) options |= PCRE_MULTILINE;

    const char* text = pattern ? pattern : "";
    str ansi;
    if ((flags & kRegexPatternUtf8) && CurrentCodePage() != 0) {
        // A character the code page lacks would become "?", a quantifier.
        ansi.FromMultiByte(text, CP_UTF8);
        BOOL unmappable = FALSE;
        if (ansi.WideLength() > 0 &&
            WideCharToMultiByte(CP_ACP, 0, ansi.Wide(), ansi.WideLength(), nullptr, 0, nullptr, &unmappable) > 0 &&
            unmappable) {
            FormatErrorText(kUnmappableFormat, text);
            if (errorOut) errorOut->Assign(GetErrorText());
            return RegexPattern();
        }
        ansi.Utf8ToAnsi(text);
        text = ansi.Text();
    }
    str wrapped;
    if (flags & kRegexWholeWord) {
        wrapped.Build({kWholeWordStart, text, kWholeWordEnd});
        text = wrapped.Text();
    }

    const char* message = nullptr;
    int offset = -1;
    RegexPattern compiled(pcre_compile(text, options, &message, &offset, RegexCharTables()));
    if (!compiled) {
        if (offset >= 0 && size_t(offset) <= strlen(text))
            FormatErrorText("%s: %s", message, text + offset);
        else
            SetErrorText(message);
        if (errorOut) errorOut->Assign(GetErrorText());
    }
    return compiled;
}

const pcre* RegexCompileCached(const char* pattern, uint32_t flags) {
    return g_regexModule.cache.Get(pattern, flags);
}

int RegexMatch(const char* subject, const void* pattern, uint32_t flags, RegexOutput out, int captureIndex,
               int subjectLength, intptr_t start) {
    ResetOutput(out);
    const bool findAll = flags & kRegexFindAll;
    const int nothingFound = findAll ? 0 : kRegexNoMatch;
    const int length = !subject ? 0 : subjectLength < 0 ? int(strlen(subject)) : subjectLength;
    if (length == 0) return nothingFound;

    pcre_extra extra{};
    extra.flags = PCRE_EXTRA_MATCH_LIMIT_RECURSION;
    CalloutRecord callout{};
    int offset = 0;
    int end = length;
    if (flags & kRegexStartIsRange) {
        if (const auto* range = reinterpret_cast<const RegexRange*>(start)) {
            offset = range->start;
            if (range->end > range->start && range->end <= length) end = range->end;
            if (range->callout) {
                callout = {range->callout, *range};
                extra.flags |= PCRE_EXTRA_CALLOUT_DATA;
                extra.callout_data = &callout;
            }
        }
    } else {
        offset = int(start);
    }
    if (offset >= end) return nothingFound;

    RegexPattern owned;
    const pcre* compiled;
    if (flags & kRegexPatternCompiled) {
        compiled = static_cast<const pcre*>(pattern);
    } else {
        const char* text = static_cast<const char*>(pattern);
        if (flags & kRegexUseCache) {
            compiled = RegexCompileCached(text, flags);
        } else {
            owned = RegexCompile(text, flags);
            compiled = owned.get();
        }
        if (!compiled) return kRegexCompileFailed;
    }

    int captureCount = 0;
    if (const int info = pcre_fullinfo(compiled, nullptr, PCRE_INFO_CAPTURECOUNT, &captureCount); info < 0)
        return ExecFailure(info);
    if (captureIndex < 0 || captureIndex > captureCount) return nothingFound;  // that capture never takes part
    const int pairsPerMatch = (flags & kRegexWholeMatchOnly) || captureIndex != 0 ? 1 : captureCount + 1;
    Ovector ovector(captureCount);
    const int execOptions = int((flags >> kRegexPcreOptionShift) & kRegexExecOptionMask);
    extra.match_limit_recursion = MatchRecursionLimit();

    int matches = 0;
    for (;;) {
        const int result = pcre_exec(compiled, &extra, subject, end, offset, execOptions, ovector.Data(), ovector.Size());
        if (result == PCRE_ERROR_NOMATCH || (result > 0 && result <= captureIndex)) break;
        if (result <= 0) {
            ResetOutput(out);
            return ExecFailure(result);
        }
        const MatchSpans spans{ovector.Data(), result};
        DeliverMatch(out, subject, spans, captureIndex, pairsPerMatch);
        if (!findAll) return spans[captureIndex].start;
        ++matches;
        const RegexSpan whole = spans[0];
        offset = whole.end == whole.start ? whole.end + 1 : whole.end;
        if (offset >= end) break;
    }
    return findAll ? matches : kRegexNoMatch;
}

bool Match(const char* text, const char* pattern, unsigned mode) {
    const bool ignoreCase = mode & kMatchIgnoreCase;
    const uint32_t caseFlag = ignoreCase ? uint32_t(kRegexIgnoreCase) : 0u;
    switch (mode & kMatchKindMask) {
        case kMatchEqual: return Compare(text, pattern, ignoreCase) == 0;
        case kMatchWildcard: return WildcardMatch(ignoreCase, text, pattern);
        case kMatchContains: return FindText(text, pattern, ignoreCase) != nullptr;
        case kMatchRegex: return RegexMatch(text, pattern, caseFlag) >= 0;
        case kMatchCompiledRegex: return RegexMatch(text, pattern, caseFlag | kRegexPatternCompiled) >= 0;
        default: return false;
    }
}

namespace {

// MatchAny's test of one candidate for its flags.
class CandidateMatcher {
public:
    explicit CandidateMatcher(unsigned flags) : ignoreCase_(flags & kMatchAnyIgnoreCase) {
        test_ = (flags & kMatchAnyStartsWith) ? kStartsWith : (flags & kMatchAnyEndsWith) ? kEndsWith : kMatchMode;
        const unsigned kind = (flags & kMatchAnyWildcard)        ? kMatchWildcard
                              : (flags & kMatchAnyContains)      ? kMatchContains
                              : (flags & kMatchAnyRegex)         ? kMatchRegex
                              : (flags & kMatchAnyCompiledRegex) ? kMatchCompiledRegex
                                                                 : kMatchEqual;
        matchMode_ = kind | (ignoreCase_ ? unsigned(kMatchIgnoreCase) : 0u);
    }

    // A null candidate counts as "" (a compiled pattern stays null and never matches).
    bool operator()(const char* text, const char* candidate) const {
        if (!candidate && (matchMode_ & kMatchKindMask) != kMatchCompiledRegex) candidate = "";
        switch (test_) {
            case kStartsWith: return CompareN(text, candidate, SafeLen(candidate), ignoreCase_) == 0;
            case kEndsWith: {
                const int textLength = SafeLen(text), candidateLength = SafeLen(candidate);
                return textLength >= candidateLength &&
                       Compare(text + textLength - candidateLength, candidate, ignoreCase_) == 0;
            }
            case kMatchMode: break;
        }
        return Match(text, candidate, matchMode_);
    }

private:
    enum Test { kStartsWith, kEndsWith, kMatchMode };
    Test test_;
    unsigned matchMode_;
    bool ignoreCase_;
};

}  // namespace

int MatchAny(unsigned flags, const char* text, ...) {
    va_list args;
    va_start(args, text);
    int found = 0;
    if (flags >= kMatchAnyArray) {
        const auto* candidates = va_arg(args, const char* const*);
        found = MatchAnyOf(flags, text, candidates, int(flags >> kMatchAnyCountShift));
    } else if (text) {
        const CandidateMatcher matches(flags);
        for (int index = 1; const char* candidate = va_arg(args, const char*); ++index) {
            if (matches(text, candidate)) {
                found = index;
                break;
            }
        }
    }
    va_end(args);
    return found;
}

int MatchAnyOf(unsigned flags, const char* text, const char* const* candidates, int count) {
    if (!text || !candidates) return 0;
    const CandidateMatcher matches(flags);
    for (int i = 0; i < count; ++i) {
        if (matches(text, candidates[i])) return i + 1;
    }
    return 0;
}
