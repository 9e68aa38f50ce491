#include "row_prefix.h"
#include <string.h>
#include "text/numbers.h"

namespace grid {

bool ParseRowPrefix(const char* text, RowPrefix& prefix) {
    prefix = RowPrefix();
    if (!text || text[0] != '<') return false;
    const char* end = strchr(text, '>');
    if (!end) return false;
    prefix.end = end;
    const char* field = text + 1;
    for (int index = 0; index < RowPrefix::kNumberFields; ++index) {
        const char* slash = static_cast<const char*>(memchr(field, '/', size_t(end - field)));
        const char* fieldEnd = slash ? slash : end;
        const char* after;
        // A number stops at the "/" or ">", so it cannot run into the next field.
        // Item data is pointer-sized: a host keeps its records' addresses there.
        const bool isItemData = index == RowPrefix::kItemData;
        const intptr_t value = isItemData ? ParsePointerEnd(field, &after) : ParseIntEnd(field, &after);
        if (after != field && after <= fieldEnd) {
            prefix.has[index] = true;
            if (isItemData)
                prefix.itemData = value;
            else
                prefix.value[index] = int(value);
        }
        if (!slash) return true;
        field = slash + 1;
    }
    prefix.cellKinds = field;
    return true;
}

bool ListedKinds::Next(int& kind) {
    while (at_ < end_ && *at_ == ' ') ++at_;
    if (at_ >= end_) return false;
    const char* token = at_;
    while (at_ < end_ && *at_ != ' ') ++at_;
    if (*token == '.') {
        kind = kUnchanged;
        return true;
    }
    const char* after;
    const int value = ParseIntEnd(token, &after);
    kind = (after == token || after > at_) ? kUnchanged : value;
    return true;
}

const char* SkipPrefix(const char* text) {
    if (text[0] != '<') return text;
    const char* end = strchr(text, '>');
    return end ? end + 1 : text;
}

}  // namespace grid
