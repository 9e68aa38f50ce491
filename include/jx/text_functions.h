// The text functions of jxplus.dll: Porter stemming and word wrap.
//
// Both work in place on a string record of the host. Its block comes from the
// host allocator (the table "InterfaceForDll" returns); a function may grow or
// replace the block through the same allocator, and the host frees it. Text
// is 8-bit in the table's code page.
#pragma once
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// The libraries' string record, in the layout the libraries use themselves.
typedef struct JxString {
    char* buf;            // the text followed by two NUL bytes, or null for no text
    int len;              // bytes of text, without the NULs
    int cap;              // size of the block minus 3 (block size: a multiple of 8, at least len + 3)
    unsigned char flags;  // JX_STRING_* bits, 0 for a plain string
} JxString;

// JxString flags
#define JX_STRING_KEEP_CAPACITY 1  // the block never shrinks
#define JX_STRING_BIG_SLACK 2      // grow with 1000 bytes of slack instead of 10
#define JX_STRING_SECURE 4         // the text is zeroed before a block is released

#ifndef _WIN64
static_assert(sizeof(JxString) == 16, "JxString records are 16 bytes on x86");
#endif

// jxplus_str_stem flags
#define JX_STEM_ALL_WORDS 1            // stem every word of the range, not the range as one word
#define JX_STEM_SEPARATORS_TO_SPACE 2  // with JX_STEM_ALL_WORDS: separators passed over become spaces

// Reduces English words to their stems (Porter's algorithm) in place.
// The range is `length` bytes from `from`; a length of 0 or below means to
// the end of the string, a range past the end is clipped, and a `from` that
// is negative or not below the length changes nothing. Word bytes are ASCII
// letters, digits, "_" and "#". Returns the string's new length.
typedef int(__cdecl* JxStrStemFn)(JxString* s, int flags, int from, int length);
int __cdecl jxplus_str_stem(JxString* s, int flags, int from, int length);

// jxplus_str_wrap flags
#define JX_WRAP_JOIN_LINES 1              // first turn every run of CR and LF into one space
#define JX_WRAP_KEEP_SPACES 2             // keep spaces and tabs at the breaks
#define JX_WRAP_ANY_BREAK_IS_SPACE 4      // every break character ranks like a space
#define JX_WRAP_CHARS_ARE_TABLE 0x100     // breakChars points to a 256-byte table, 1 marking a member
#define JX_WRAP_CHARS_ADD_CONTROLS 0x200  // bytes 0-32 break too

// Predefined break-character sets, passed as breakChars. Null, an empty text
// or any other value below 0x10000 is JX_WRAP_BREAK_NON_WORD.
#define JX_WRAP_BREAK_BLANK_OR_QUOTE ((const char*)1)  // bytes 0-32 and " ( )
#define JX_WRAP_BREAK_BLANK ((const char*)2)           // bytes 0-32
#define JX_WRAP_BREAK_NON_WORD ((const char*)3)        // every byte but letters, digits and "_"

// Wraps the text to lines of at most `width` bytes (at least 4) by inserting
// `lineBreak` (CR LF when null or empty); a shorter text stays as it is.
// A line ends after the last space or tab of the break set within reach,
// else after the set's last other character, else the word is cut (never
// inside a UTF-8 character). Existing CR LF pairs stay and restart the count.
// With minLength n, no break is looked for in the first min(n - 1, width)
// bytes of a line (0: anywhere). Returns the string's new length.
typedef int(__cdecl* JxStrWrapFn)(JxString* s, int width, const char* lineBreak, const char* breakChars, int flags,
                                  unsigned minLength);
int __cdecl jxplus_str_wrap(JxString* s, int width, const char* lineBreak, const char* breakChars, int flags,
                            unsigned minLength);

#define JX_EXPORT_STR_STEM "jxplus_str_stem"
#define JX_EXPORT_STR_WRAP "jxplus_str_wrap"

#ifdef __cplusplus
}
#endif
