// Scanners for the option texts and lists the host passes to the controls.
// All of them accept null text (no result) and stop at the terminating zero.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <vector>
#include "runtime/host_alloc.h"
#include "text/str.h"

// Starts of items, tokens or lines inside a scanned text.
using TextList = std::vector<char*, HostAllocator<char*>>;

// The first `c` in `text`, or its terminating zero; null for null text.
const char* FindChar(const char* text, char c);
// The same, but a line feed also ends the search.
const char* FindCharInLine(const char* text, char c);
// The next double quote, or the terminating zero.
const char* FindQuoteEnd(const char* text);

// Flags of FindClosingBracket
enum BracketFlag : unsigned {
    // Bracket kinds for kBracketNestOthers
    kBracketRound = 0x01,
    kBracketSquare = 0x02,
    kBracketCurly = 0x04,
    kBracketAngle = 0x08,
    kBracketKinds = 0x0F,
    kBracketSingleQuoteStrings = 0x80,  // '...' encloses a string, not only a character literal
    kBracketNestOthers = 0x200,         // brackets of the kinds above must close before the searched one
    kBracketNoQuotes = 0x400,           // quotes are ordinary bytes
    kBracketStopAtLineFeed = 0x800,     // a line feed ends the search
    kBracketBackslashEscapes = 0x4000,  // a backslash makes the next quote (or backslash) ordinary
};

// `text` starts right after an opening `open`; returns the `close` that
// matches it, or where the search stopped (the terminating zero, or a line
// feed with kBracketStopAtLineFeed). `close` 0 is the partner of `open` (")"
// for "(", ">" for "<", "]" for "[", "}" for "{", else `open` itself). When
// `open` equals `close` the next such byte is the result. Otherwise nested
// pairs are counted, double-quoted strings and character literals ('x') are
// skipped. Null text gives null.
const char* FindClosingBracket(const char* text, char open, char close = 0, unsigned flags = 0);
// The ")" that closes an "(" opened just before `text`.
inline const char* FindClosingParen(const char* text) { return FindClosingBracket(text, '(', ')'); }

// Modes of TokenizeOptions
enum TokenizeMode : unsigned {
    kTokenizeKeepText = 1,  // leave the text unchanged (tokens then run to the end of the text)
};
constexpr size_t kAllTokens = SIZE_MAX;

// Splits "/name value /name value" into one token per option and appends the
// token starts to `tokens`, at most `maxTokens`. Double-quoted, parenthesised
// and braced parts may contain "/". Unless kTokenizeKeepText, each "/" that
// ends a token, the blanks before it and the trailing blanks of the last
// token are overwritten with zero bytes. Returns the number of tokens appended.
int TokenizeOptions(char* text, TextList& tokens, size_t maxTokens = kAllTokens, unsigned mode = 0);

// Splits `text` in place at `separator`: blanks around items and empty items
// are dropped, each item is terminated by a zero byte. Appends the item
// starts to `items` and stores their number in `count` (both optional).
// Returns the byte length of the used text up to and including the last
// item's zero byte; 0 when there is no item.
int SplitList(char* text, char separator, TextList* items, int* count = nullptr);
// The same, with the items moved together to the start of `text`, which then
// holds them as a list of zero-terminated items ended by one more zero byte
// (len excludes the last item's zero and that byte). Returns the byte length
// of that list including its final zero byte; 0 (and an empty `text`) when
// there is no item.
int SplitListPacked(str& text, char separator, TextList* items, int* count = nullptr);

// Cuts `text` into lines in place: each line feed, and a carriage return
// just before it, becomes a zero byte. Appends every line start to `lines`
// (an empty line, also after a final line feed, is a line) and returns the
// number of lines; 0 for null text.
int SplitLines(char* text, TextList& lines);
