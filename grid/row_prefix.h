// The row-property prefix at the start of a row's column 0 text:
// "<" kind / item data / image / overlay / state image / indent / cell kinds ">"
// with each field optional and spaces around fields ignored.
#pragma once
#include <stdint.h>

namespace grid {

struct RowPrefix {
    enum Field { kKind, kItemData, kImage, kOverlay, kStateImage, kIndent, kNumberFields };
    bool has[kNumberFields] = {};
    int value[kNumberFields] = {};  // all but the item data
    intptr_t itemData = 0;
    const char* cellKinds = nullptr;  // the per-cell kinds list, running to `end`
    const char* end = nullptr;        // the closing ">"

    // The text after the prefix.
    const char* Rest() const { return end + 1; }
};

// Reads the prefix at the start of `text`; false when the text does not start
// with "<" or holds no ">".
bool ParseRowPrefix(const char* text, RowPrefix& prefix);

// Walks the per-cell kinds list: space-separated tokens in column order from
// column 0, each a "." (no change), a kind, or a negative number (the
// column's default).
class ListedKinds {
public:
    ListedKinds(const char* list, const char* end) : at_(list), end_(end) {}
    // The next token: false at the end; `kind` is kUnchanged for a ".".
    bool Next(int& kind);
    static constexpr int kUnchanged = 0x7FFFFFFF;

private:
    const char* at_;
    const char* end_;
};

// The end of a stored prefix ("<...>") at the start of `text`: the text
// after it, or `text` itself when it has none.
const char* SkipPrefix(const char* text);

}  // namespace grid
