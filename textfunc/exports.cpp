// The exports of jxplus.dll, over the host's string records.
#include <stddef.h>
#include "jx/text_functions.h"
#include "stemming.h"
#include "word_wrap.h"
#include "runtime/host_boundary.h"

// The host's JxString is the libraries' own str record.
static_assert(sizeof(JxString) == sizeof(str) && offsetof(JxString, buf) == offsetof(str, buf) &&
                  offsetof(JxString, len) == offsetof(str, len) && offsetof(JxString, cap) == offsetof(str, cap) &&
                  offsetof(JxString, flags) == offsetof(str, flags),
              "JxString has the layout of str");
static_assert(JX_STRING_KEEP_CAPACITY == kStrKeepCapacity && JX_STRING_BIG_SLACK == kStrBigSlack &&
                  JX_STRING_SECURE == kStrSecure,
              "JxString flags are str flags");

namespace {
str& HostString(JxString* s) { return *reinterpret_cast<str*>(s); }
}  // namespace

int __cdecl jxplus_str_stem(JxString* s, int flags, int from, int length) {
    return AtHostBoundary([&]() -> int {
        if (!s) return 0;
        StemWords(HostString(s), unsigned(flags), from, length);
        return s->len;
    });
}

int __cdecl jxplus_str_wrap(JxString* s, int width, const char* lineBreak, const char* breakChars, int flags,
                            unsigned minLength) {
    return AtHostBoundary([&]() -> int {
        if (!s) return 0;
        WrapText(HostString(s), width, lineBreak, breakChars, unsigned(flags), minLength);
        return s->len;
    });
}
