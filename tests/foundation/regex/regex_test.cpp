#include <gtest/gtest.h>
#include <malloc.h>
#include <string.h>
#include <string>
#include <vector>
#include "counting_allocator.h"
#include "runtime/errors.h"
#include "regex/regex.h"

namespace {

std::vector<std::string> Texts(const RegexTextList& list) {
    std::vector<std::string> texts;
    for (const str& text : list) texts.emplace_back(text.Text());
    return texts;
}

std::vector<std::pair<int, int>> Pairs(const RegexSpanList& list) {
    std::vector<std::pair<int, int>> pairs;
    for (const RegexSpan& span : list) pairs.emplace_back(span.start, span.end);
    return pairs;
}

size_t LiveHostBlocks() { return jxhost::Allocator().Stats().liveBlocks; }

TEST(RegexFind, FlagsDecideWhereAPatternMatches) {
    struct Case {
        const char* subject;
        const char* pattern;
        uint32_t flags;
        int expected;
    };
    const Case cases[] = {
        {"abc", "b", 0, 1},
        {"abc", "B", 0, kRegexNoMatch},
        {"abc", "B", kRegexIgnoreCase, 1},
        {"concatenate", "cat", kRegexWholeWord, kRegexNoMatch},
        {"a cat", "cat", kRegexWholeWord, 2},
        {"catalog", "cat|dog", kRegexWholeWord, kRegexNoMatch},  // alternatives stay inside the boundaries
        {"hotdog", "cat|dog", kRegexWholeWord, kRegexNoMatch},
        {"a dog", "cat|dog", kRegexWholeWord, 2},
        {"ab", "x*", kRegexFindAll, 2},  // the empty matches at 0 and 1
        {"ab", "c", kRegexFindAll, 0},
        {"", "^$", 0, kRegexNoMatch},  // an empty subject never matches
        {"a\nb", "^b", 0, kRegexNoMatch},
        {"a\nb", "^b", kRegexMultiLine, 2},
        {"a\nb", "a.b", 0, kRegexNoMatch},
        {"a\nb", "a.b", RegexPcreOptions(PCRE_DOTALL), 0},
        {"ab", "^a", RegexPcreOptions(PCRE_NOTBOL), kRegexNoMatch},
        {"aaa", "a+?", RegexPcreOptions(PCRE_UNGREEDY) | kRegexFindAll, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(RegexFind(c.subject, c.pattern, c.flags), c.expected) << c.pattern;
}

TEST(RegexFind, CaseOfAnsiLettersFollowsTheSystem) {
    char lower[] = "\xE4";
    char upper[] = "\xE4";
    CharUpperBuffA(upper, 1);
    if (upper[0] == lower[0]) GTEST_SKIP() << "0xE4 has no upper case in the ANSI code page";
    EXPECT_EQ(RegexFind(upper, lower, 0), kRegexNoMatch);
    EXPECT_EQ(RegexFind(upper, lower, kRegexIgnoreCase), 0);
}

TEST(RegexMatch, DeliversEachOutputKind) {
    const char* subject = "a1 b c3";
    const char* pattern = "([a-z])(\\d)?";

    RegexSpanList spans{{9, 9}};
    EXPECT_EQ(RegexMatch(subject, pattern, kRegexFindAll, &spans), 3);
    EXPECT_EQ(Pairs(spans), (std::vector<std::pair<int, int>>{
                                {0, 2}, {0, 1}, {1, 2}, {3, 4}, {3, 4}, {-1, -1}, {5, 7}, {5, 6}, {6, 7}}));

    RegexTextList texts;
    texts.emplace_back("stale");
    EXPECT_EQ(RegexMatch(subject, pattern, kRegexFindAll, &texts), 3);
    EXPECT_EQ(Texts(texts), (std::vector<std::string>{"a1", "a", "1", "b", "b", "", "c3", "c", "3"}));

    EXPECT_EQ(RegexMatch(subject, pattern, kRegexFindAll | kRegexWholeMatchOnly, &texts), 3);
    EXPECT_EQ(Texts(texts), (std::vector<std::string>{"a1", "b", "c3"}));

    EXPECT_EQ(RegexMatch(subject, pattern, 0, &texts, 2, -1, 4), 6) << "capture 2 of the match from offset 4";
    EXPECT_EQ(Texts(texts), (std::vector<std::string>{"3"}));

    int length = -1;
    EXPECT_EQ(RegexMatch("ab123c", "(\\d+)", 0, &length, 1), 2);
    EXPECT_EQ(length, 3);

    str text("stale");
    EXPECT_EQ(RegexMatch("ab123c", "b(\\d+)", 0, &text, 1), 2);
    EXPECT_STREQ(text.Text(), "123");
    EXPECT_EQ(RegexMatch("ab123c", "x(\\d+)", 0, &text, 1), kRegexNoMatch);
    EXPECT_STREQ(text.Text(), "") << "reset before matching";

    RegexSpan array[3] = {};
    EXPECT_EQ(RegexMatch(subject, pattern, 0, array), 0);
    EXPECT_EQ(array[2].start, 1);
    EXPECT_EQ(array[2].end, 2);
}

TEST(RegexMatch, CaptureThatDidNotTakePartIsNoMatch) {
    EXPECT_EQ(RegexMatch("b", "(a)|b", 0, {}, 1), kRegexNoMatch);
    EXPECT_EQ(RegexMatch("ba", "(a)|b", 0, {}, 5), kRegexNoMatch) << "beyond the pattern's captures";
    EXPECT_EQ(RegexMatch("ba", "(a)|b", 0, {}, -1), kRegexNoMatch);
}

TEST(RegexMatch, RangeLimitsTheSubject) {
    struct Case {
        int start;
        int end;
        int expected;
    };
    const char* subject = "abcabc";
    for (const Case& c : {Case{3, 5, kRegexNoMatch}, Case{3, 0, 5}, Case{3, 3, 5}, Case{0, 6, 2}, Case{3, 99, 5},
                          Case{6, 0, kRegexNoMatch}}) {
        const RegexRange range{c.start, c.end, nullptr, nullptr};
        EXPECT_EQ(RegexMatch(subject, "c", kRegexStartIsRange, {}, 0, -1, RegexRangeStart(range)), c.expected)
            << c.start << ".." << c.end;
    }
    EXPECT_EQ(RegexMatch("abcabc", "c", kRegexFindAll, {}, 0, 4), 1) << "subject length";
    EXPECT_EQ(RegexMatch("abc", "c", kRegexFindAll, {}, 0, -1, 3), 0) << "start at the end";
}

struct CalloutLog {
    std::vector<int> numbers;
    int rejectNumber = 0;
};

int RecordCallout(pcre_callout_block* block) {
    const auto* range = static_cast<const RegexRange*>(block->callout_data);
    auto* log = static_cast<CalloutLog*>(range->userData);
    log->numbers.push_back(block->callout_number);
    return block->callout_number == log->rejectNumber ? 1 : 0;
}

TEST(RegexMatch, CalloutsReachTheRangesUserData) {
    const char* pattern = "a(?C1)(b(?C2)|c(?C3))";
    CalloutLog log;
    const RegexRange range{0, 0, RecordCallout, &log};
    EXPECT_EQ(RegexMatch("xac", pattern, kRegexStartIsRange, {}, 0, -1, RegexRangeStart(range)), 1);
    EXPECT_EQ(log.numbers, (std::vector<int>{1, 3}));

    log = CalloutLog{{}, 3};
    EXPECT_EQ(RegexMatch("xac", pattern, kRegexStartIsRange, {}, 0, -1, RegexRangeStart(range)), kRegexNoMatch)
        << "a callout above 0 fails the path";

    EXPECT_EQ(RegexFind("xac", pattern, 0), 1) << "callouts without a function go on";
}

int ThrowingCallout(pcre_callout_block*) { throw JxExceptionScriptEnd{}; }

TEST(RegexMatch, ExceptionFromACalloutPassesWithoutLeaking) {
    const size_t live = LiveHostBlocks();
    const RegexRange range{0, 0, ThrowingCallout, nullptr};
    str text;
    EXPECT_THROW(RegexMatch("xab", "(a)(?C1)b", kRegexStartIsRange, &text, 1, -1, RegexRangeStart(range)),
                 JxExceptionScriptEnd);
    EXPECT_EQ(LiveHostBlocks(), live) << "the compiled pattern is freed";
}

TEST(RegexCompile, FailureLeavesPcresMessageAndThePatternFromTheOffset) {
    str error;
    EXPECT_EQ(RegexCompile("a)b", 0, &error), nullptr);
    EXPECT_STREQ(GetErrorText(), "unmatched parentheses: )b");
    EXPECT_STREQ(error.Text(), GetErrorText());

    EXPECT_EQ(RegexFind("ab", "(ab", 0), kRegexCompileFailed);
    EXPECT_STREQ(GetErrorText(), "missing ): ") << "the offset is the pattern's end";
}

TEST(RegexCompile, PatternsLiveInTheHostAllocator) {
    const size_t live = LiveHostBlocks();
    {
        RegexPattern pattern = RegexCompile("a+b", 0);
        ASSERT_NE(pattern, nullptr);
        EXPECT_EQ(LiveHostBlocks(), live + 1);
        EXPECT_EQ(RegexMatch("xaab", pattern.get(), kRegexPatternCompiled), 1);
    }
    EXPECT_EQ(LiveHostBlocks(), live);
}

TEST(RegexCompile, Utf8PatternIsConvertedToAnsi) {
    char ansi[4] = {};
    BOOL unmappable = FALSE;
    if (!WideCharToMultiByte(CP_ACP, 0, L"\u00E4", 1, ansi, 1, nullptr, &unmappable) || unmappable)
        GTEST_SKIP() << "no a-umlaut in the ANSI code page";
    const std::string subject = std::string("x") + ansi;
    EXPECT_EQ(RegexFind(subject.c_str(), "\xC3\xA4", kRegexPatternUtf8), 1);
    EXPECT_EQ(RegexFind(subject.c_str(), "\xC3\xA4", 0), kRegexNoMatch);
}

TEST(RegexCompile, Utf8PatternWithoutAnAnsiCharacterFails) {
    // U+4E00 has no byte in a single-byte ANSI code page: as "?" it would make
    // "a" optional and match anywhere.
    BOOL unmappable = FALSE;
    char ansi[4] = {};
    WideCharToMultiByte(CP_ACP, 0, L"\u4E00", 1, ansi, sizeof ansi, nullptr, &unmappable);
    if (!unmappable) GTEST_SKIP() << "the ANSI code page has U+4E00";
    str error;
    EXPECT_EQ(RegexCompile("a\xE4\xB8\x80", kRegexPatternUtf8, &error), nullptr);
    EXPECT_NE(strstr(error.Text(), "ANSI code page"), nullptr) << error.Text();
    EXPECT_EQ(RegexFind("xyz", "a\xE4\xB8\x80", kRegexPatternUtf8), kRegexCompileFailed);
}

TEST(RegexCompileCached, KeyedByTextAddressAndFlags) {
    static char first[] = "a+";
    static char second[] = "a+";
    const pcre* pattern = RegexCompileCached(first, 0);
    ASSERT_NE(pattern, nullptr);
    EXPECT_EQ(RegexCompileCached(first, 0), pattern);
    EXPECT_NE(RegexCompileCached(second, 0), pattern) << "same text, other address";
    EXPECT_NE(RegexCompileCached(first, kRegexIgnoreCase), pattern);

    first[0] = 'b';
    EXPECT_EQ(RegexCompileCached(first, 0), pattern) << "the text is never read again";
    EXPECT_EQ(RegexMatch("xaa", pattern, kRegexPatternCompiled), 1);

    static const char broken[] = "(";
    EXPECT_EQ(RegexCompileCached(broken, 0), nullptr);
    EXPECT_EQ(RegexMatch("(", broken, kRegexUseCache), kRegexCompileFailed);
}

TEST(RegexCompileCached, CachedMatchesCompileOnce) {
    static const char pattern[] = "(\\d+)";
    str digits;
    EXPECT_EQ(RegexMatch("ab12", pattern, kRegexUseCache, &digits, 1), 2);
    const size_t requests = jxhost::Allocator().Stats().totalAllocs;
    EXPECT_EQ(RegexMatch("x7", pattern, kRegexUseCache), 1);
    EXPECT_EQ(jxhost::Allocator().Stats().totalAllocs, requests);
}

TEST(RegexMatch, PcreFailuresBecomeResultsWithTheirText) {
    RegexSpanList spans{{1, 2}};
    EXPECT_EQ(RegexMatch("abc", "b", 0, &spans, 0, -1, -5), PCRE_ERROR_BADOFFSET);
    EXPECT_STREQ(GetErrorText(), "Regular expression failed, possibly invalid argument. Error code -24");
    EXPECT_TRUE(spans.empty());

    const std::string backtracking = std::string(30, 'a') + "!";
    EXPECT_EQ(RegexFind(backtracking.c_str(), "(a+)+$", 0), kRegexResourceLimit);
    EXPECT_STREQ(GetErrorText(), kRegexMatchLimitText);
}

template <class Work>
DWORD WINAPI RunWork(void* work) {
    (*static_cast<Work*>(work))();
    return 0;
}

// Runs `work` on a new thread.
template <class Work>
void RunOnThread(Work work) {
    HANDLE thread = CreateThread(nullptr, 0, RunWork<Work>, &work, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

// Runs `work` with about `leftBytes` of the thread's stack unused.
template <class Work>
void WithStackLeft(size_t leftBytes, Work work) {
    const char* here = static_cast<const char*>(__builtin_frame_address(0));
    MEMORY_BASIC_INFORMATION region;
    ASSERT_NE(VirtualQuery(here, &region, sizeof region), 0u);
    const size_t available = size_t(here - static_cast<const char*>(region.AllocationBase));
    ASSERT_GT(available, leftBytes);
    volatile char* used = static_cast<char*>(alloca(available - leftBytes));
    used[0] = 0;
    work();
}

// A group repeated once per subject byte recurses once per byte: a million
// bytes need far more stack than any thread has. The match is stopped where
// the thread's stack ends, and the same thread still matches.
TEST(RegexMatch, StackOverflowIsAResultNotACrash) {
    const std::string deep(1000000, 'a');
    const auto match = [&] {
        EXPECT_EQ(RegexFind(deep.c_str(), "(?:a|b)*c", 0), kRegexResourceLimit);
        EXPECT_STREQ(GetErrorText(), kRegexStackOverflowText);
        EXPECT_EQ(RegexFind("aaaaaaaaaaaaaaaaaaaaaaaaac", "(?:a|b)*c", 0), 0);
    };
    match();
    RunOnThread(match);
    WithStackLeft(256 * 1024, match);
}

// Compiling recurses once per nesting level of the pattern's groups.
TEST(RegexCompile, TooLittleStackIsAResultNotACrash) {
    const std::string nested = std::string(200, '(') + "a" + std::string(200, ')');
    EXPECT_EQ(RegexFind("a", nested.c_str(), 0), 0);
    WithStackLeft(32 * 1024, [&] {
        EXPECT_EQ(RegexFind("a", nested.c_str(), 0), kRegexCompileFailed);
        EXPECT_NE(strstr(GetErrorText(), "(stack check)"), nullptr) << GetErrorText();
    });
}

TEST(Match, KindsOfMode) {
    RegexPattern compiled = RegexCompile("^a.c$", 0);
    const char* compiledText = reinterpret_cast<const char*>(compiled.get());
    struct Case {
        const char* text;
        const char* pattern;
        unsigned mode;
        bool expected;
    };
    const Case cases[] = {
        {"abc", "ABC", kMatchEqual, false},
        {"abc", "ABC", kMatchEqual | kMatchIgnoreCase, true},
        {"abc", "A?C", kMatchWildcard | kMatchIgnoreCase, true},
        {"abc", "a*d", kMatchWildcard, false},
        {"xabcx", "BC", kMatchContains | kMatchIgnoreCase, true},
        {"xabcx", "BC", kMatchContains, false},
        {"abc", "^A", kMatchRegex, false},
        {"abc", "^A", kMatchRegex | kMatchIgnoreCase, true},
        {"abc", compiledText, kMatchCompiledRegex, true},
        {"abd", compiledText, kMatchCompiledRegex, false},
        {"abc", "abc", 0xA, false},  // no such kind
    };
    for (const Case& c : cases) EXPECT_EQ(Match(c.text, c.pattern, c.mode), c.expected) << c.text << " " << c.mode;
}

TEST(MatchAny, IndexOfTheFirstMatchingCandidate) {
    struct Case {
        unsigned flags;
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {0, "beta", 2},
        {0, "BETA", 0},
        {kMatchAnyIgnoreCase, "BETA", 2},
        {kMatchAnyStartsWith | kMatchAnyIgnoreCase, "Alphabet", 1},
        {kMatchAnyEndsWith, "xbeta", 2},
        {kMatchAnyEndsWith, "eta", 0},  // shorter than "beta"
        {kMatchAnyContains | kMatchAnyIgnoreCase, "the BETA ray", 2},
        {kMatchAnyWildcard, "gamma", 3},
        {kMatchAnyWildcard, "xa", 0},
        {kMatchAnyRegex, "xa", 3},
        {0x1000 | kMatchAnyIgnoreCase, "ALPHA", 1},  // other bits have no effect
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchAny(c.flags, c.text, "alpha", "beta", "g*a", nullptr), c.expected) << c.flags << " " << c.text;
    EXPECT_EQ(MatchAny(0, nullptr, "alpha", nullptr), 0);
}

TEST(MatchAny, ArrayOfCandidates) {
    const char* candidates[] = {"x", nullptr, "y"};
    EXPECT_EQ(MatchAny(MatchAnyArrayFlags(0, 3), "", candidates), 2) << "a null entry is \"\"";
    EXPECT_EQ(MatchAny(MatchAnyArrayFlags(kMatchAnyIgnoreCase, 3), "Y", candidates), 3);
    EXPECT_EQ(MatchAny(MatchAnyArrayFlags(0, 1), "y", candidates), 0) << "only the counted entries";
    EXPECT_EQ(MatchAnyOf(0, "y", candidates, 3), 3);

    RegexPattern compiled = RegexCompile("^y", 0);
    const char* patterns[] = {nullptr, reinterpret_cast<const char*>(compiled.get())};
    EXPECT_EQ(MatchAnyOf(kMatchAnyCompiledRegex, "yes", patterns, 2), 2) << "a null pattern never matches";
}

}  // namespace
