// Scanners for option texts, separated lists and lines.
#include "text/text_scan.h"
#include <string.h>

namespace {
struct BracketPair {
    char open;
    char close;
    unsigned kind;  // BracketFlag
};
constexpr BracketPair kBracketPairs[] = {
    {'(', ')', kBracketRound}, {'[', ']', kBracketSquare}, {'{', '}', kBracketCurly}, {'<', '>', kBracketAngle}};

char PartnerOf(char open) {
    for (const BracketPair& pair : kBracketPairs) {
        if (pair.open == open) return pair.close;
    }
    return open;
}

// The closing byte when `c` opens a bracket of a kind selected in `flags`, else 0.
char SelectedCloser(char c, unsigned flags) {
    for (const BracketPair& pair : kBracketPairs) {
        if (pair.open == c && (flags & pair.kind)) return pair.close;
    }
    return 0;
}

bool IsBlank(char c) { return c != 0 && BYTE(c) <= ' '; }

bool StopsSearch(char c, unsigned flags) { return c == 0 || (c == '\n' && (flags & kBracketStopAtLineFeed)); }

// The next `quote` from `p`, or the byte that stops the search.
const char* FindStringEnd(const char* p, char quote, unsigned flags) {
    const bool escapes = flags & kBracketBackslashEscapes;
    for (; !StopsSearch(*p, flags) && *p != quote; ++p) {
        if (escapes && *p == '\\' && (p[1] == quote || p[1] == '\\')) ++p;
    }
    return p;
}

// The closing bytes still expected, innermost last, as runs of equal bytes.
// Only brackets of other kinds take heap memory, so deep nesting of hostile
// text costs no stack.
class Nesting {
public:
    explicit Nesting(char close) : outer_{close, 1} {}
    char Expected() { return Top().closer; }
    void Open(char closer) {
        Run& top = Top();
        if (top.closer == closer) {
            ++top.depth;
        } else {
            inner_.push_back({closer, 1});
        }
    }
    // Closes the innermost bracket; true when that was the outermost one.
    bool Close() {
        if (--Top().depth) return false;
        if (inner_.empty()) return true;
        inner_.pop_back();
        return false;
    }

private:
    struct Run {
        char closer;
        size_t depth;
    };
    Run& Top() { return inner_.empty() ? outer_ : inner_.back(); }

    Run outer_;
    std::vector<Run, HostAllocator<Run>> inner_;
};

// The writable position of what a const scanner found inside `base`'s text.
char* Within(char* base, const char* found) { return base + (found - base); }

char* SkipBlanks(char* p) {
    while (IsBlank(*p)) ++p;
    return p;
}

void ClearTrailingBlanks(char* start, char* end) {
    while (end > start && IsBlank(end[-1])) *--end = 0;
}

// The "/" that ends the option at `p`, or the end of the text (also when a
// quote, parenthesis or brace is left open).
char* FindTokenEnd(char* p) {
    for (;; ++p) {
        const char* closing;
        switch (*p) {
        case 0:
        case '/': return p;
        case '"': closing = FindQuoteEnd(p + 1); break;
        case '(': closing = FindClosingParen(p + 1); break;
        case '{': closing = FindClosingBracket(p + 1, '{', '}'); break;
        default: continue;
        }
        p = Within(p, closing);
        if (!*p) return p;
    }
}

// SplitList and SplitListPacked: with `pack` each item is moved to the end of
// the one before. Returns the bytes up to and including the last item's zero.
int SplitItems(char* text, char separator, TextList* items, int* count, bool pack) {
    if (count) *count = 0;
    if (!text) return 0;
    int found = 0;
    char* used = text;
    for (char* p = text;;) {
        while (*p && (*p == separator || IsBlank(*p))) ++p;
        if (!*p) break;
        char* start = p;
        while (*p && *p != separator) ++p;
        char* end = p;
        while (end > start && IsBlank(end[-1])) --end;
        // Read before the item's zero byte may overwrite the separator.
        const bool more = *p != 0;
        if (more) ++p;
        if (pack) {
            const size_t length = size_t(end - start);
            memmove(used, start, length);
            start = used;
            end = used + length;
        }
        *end = 0;
        if (items) items->push_back(start);
        ++found;
        used = end + 1;
        if (!more) break;
    }
    if (count) *count = found;
    return found ? int(used - text) : 0;
}
}  // namespace

const char* FindChar(const char* text, char c) {
    if (!text) return nullptr;
    while (*text && *text != c) ++text;
    return text;
}

const char* FindCharInLine(const char* text, char c) {
    if (!text) return nullptr;
    while (*text && *text != c && *text != '\n') ++text;
    return text;
}

const char* FindQuoteEnd(const char* text) { return FindChar(text, '"'); }

const char* FindClosingBracket(const char* text, char open, char close, unsigned flags) {
    if (!text) return nullptr;
    if (!close) close = PartnerOf(open);
    if (open == close) return FindStringEnd(text, close, flags);
    const bool quotes = !(flags & kBracketNoQuotes);
    Nesting nesting(close);
    const char* p = text;
    for (; !StopsSearch(*p, flags); ++p) {
        const char c = *p;
        if (quotes && (c == '"' || (c == '\'' && (flags & kBracketSingleQuoteStrings)))) {
            p = FindStringEnd(p + 1, c, flags);
            if (*p != c) return p;
        } else if (quotes && c == '\'' && p[1] && p[2] == '\'') {
            p += 2;  // a character literal such as ')'
        } else if (c == nesting.Expected()) {
            if (nesting.Close()) return p;
        } else if (c == open) {
            nesting.Open(close);
        } else if (flags & kBracketNestOthers) {
            if (const char closer = SelectedCloser(c, flags)) nesting.Open(closer);
        }
    }
    return p;
}

int TokenizeOptions(char* text, TextList& tokens, size_t maxTokens, unsigned mode) {
    if (!text) return 0;
    const bool keepText = mode & kTokenizeKeepText;
    char* p = SkipBlanks(text);
    if (*p == '/') ++p;
    size_t count = 0;
    for (;;) {
        p = SkipBlanks(p);
        if (!*p || count == maxTokens) break;
        char* const start = p;
        tokens.push_back(start);
        ++count;
        p = FindTokenEnd(p);
        const bool last = !*p;
        if (!keepText) ClearTrailingBlanks(start, p);
        if (last) break;
        if (!keepText) *p = 0;
        ++p;
    }
    return int(count);
}

int SplitList(char* text, char separator, TextList* items, int* count) {
    return SplitItems(text, separator, items, count, false);
}

int SplitListPacked(str& text, char separator, TextList* items, int* count) {
    const int itemBytes = SplitItems(text.buf, separator, items, count, true);
    if (!text.buf) return 0;
    // The two zero bytes that follow every str end the last item and the list.
    text.len = itemBytes ? itemBytes - 1 : 0;
    text.buf[text.len] = text.buf[text.len + 1] = 0;
    return itemBytes ? itemBytes + 1 : 0;
}

int SplitLines(char* text, TextList& lines) {
    if (!text) return 0;
    lines.push_back(text);
    int count = 1;
    for (char* p = text; (p = strchr(p, '\n')) != nullptr; ++count) {
        *p = 0;
        if (p > text && p[-1] == '\r') p[-1] = 0;
        lines.push_back(++p);
    }
    return count;
}
