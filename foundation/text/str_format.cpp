// printf-style formatting into a str.
//
// Differences from the C runtime: "s" takes text in the library code page,
// its precision and the width count characters (a UTF-8 sequence is one);
// "S" (or "ls", "ws") takes UTF-16 and converts it, its precision counting
// UTF-16 units; a null text prints as nothing; "m" copies exactly
// `precision` raw bytes; "n" consumes its argument and writes nothing; "p"
// prints 2 * sizeof(void*) upper-case hexadecimal digits. Size prefixes are
// "h", "l" (32 bits), "w" (wide text), "I32" and "I64".
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>
#include "text/str.h"

namespace {
enum class ArgSize { kDefault, kShort, kLong, kWide, k64 };

struct Conversion {
    bool left = false;
    bool zero = false;
    char flags[8] = {};  // the flags as written, for snprintf
    int width = 0;
    int precision = -1;  // < 0: none
    ArgSize size = ArgSize::kDefault;
    char type = 0;
};

// Reads flags, width, precision and size prefix after a "%"; consumes the
// "*" arguments. Returns the position of the conversion character.
const char* ParseConversion(const char* p, Conversion& c, va_list& args) {
    int flagCount = 0;
    for (;; ++p) {
        const char f = *p;
        if (f != ' ' && f != '#' && f != '+' && f != '-' && f != '0') break;
        if (f == '-') c.left = true;
        if (f == '0') c.zero = true;
        if (flagCount < int(sizeof c.flags) - 1) c.flags[flagCount++] = f;
    }
    if (*p == '*') {
        c.width = va_arg(args, int);
        if (c.width < 0) {
            // A negative width argument means left alignment.
            c.left = true;
            c.width = c.width == INT_MIN ? INT_MAX : -c.width;
        }
        ++p;
    } else {
        while (*p >= '0' && *p <= '9') c.width = c.width * 10 + (*p++ - '0');
    }
    if (*p == '.') {
        ++p;
        if (*p == '*') {
            c.precision = va_arg(args, int);  // negative: as if none was given
            ++p;
        } else {
            c.precision = 0;
            while (*p >= '0' && *p <= '9') c.precision = c.precision * 10 + (*p++ - '0');
        }
    }
    if (*p == 'h') {
        c.size = ArgSize::kShort;
        ++p;
    } else if (*p == 'l') {
        c.size = ArgSize::kLong;
        ++p;
    } else if (*p == 'w') {
        c.size = ArgSize::kWide;
        ++p;
    } else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
        c.size = ArgSize::k64;
        p += 3;
    } else if (p[0] == 'I' && p[1] == '3' && p[2] == '2') {
        p += 3;
    }
    c.type = *p;
    return p;
}

bool IsWideText(const Conversion& c, char upperForm) {
    if (c.type == upperForm) return c.size != ArgSize::kShort;
    return c.size == ArgSize::kLong || c.size == ArgSize::kWide;
}

int CountChars(const char* text, int n) {
    if (!IsUtf8Mode()) return n;
    int count = 0;
    for (const char* p = text; p < text + n; p = Utf8Next(p)) ++count;
    return count;
}

// Appends `n` bytes that show as `chars` characters, padded to the width.
void AppendPadded(str& out, const Conversion& c, const char* text, int n, int chars) {
    const int pad = c.width > chars ? c.width - chars : 0;
    const char fill = c.zero && !c.left ? '0' : ' ';
    out.Build({StrPiece(out.buf, out.len), StrPiece::Fill(fill, c.left ? 0 : pad), StrPiece(text, n),
               StrPiece::Fill(' ', c.left ? pad : 0)});
}

// A number through the C runtime, with the flags, width and precision as
// written and the given length modifier.
template <class T>
void AppendNumber(str& out, const Conversion& c, const char* length, T value) {
    char runtimeFormat[32];
    snprintf(runtimeFormat, sizeof runtimeFormat, "%%%s*.*%s%c", c.flags, length, c.type);
    const int width = c.left ? -c.width : c.width;  // a negative "*" width aligns left
    const int n = snprintf(nullptr, 0, runtimeFormat, width, c.precision, value);
    if (n <= 0) return;
    const int at = out.len;
    out.Realloc(at + n);
    snprintf(out.buf + at, size_t(n) + 1, runtimeFormat, width, c.precision, value);
}

long long SignedArg(const Conversion& c, va_list& args) {
    switch (c.size) {
        case ArgSize::k64: return va_arg(args, long long);
        case ArgSize::kShort: return static_cast<short>(va_arg(args, int));
        case ArgSize::kLong: return va_arg(args, long);
        default: return va_arg(args, int);
    }
}

unsigned long long UnsignedArg(const Conversion& c, va_list& args) {
    switch (c.size) {
        case ArgSize::k64: return va_arg(args, unsigned long long);
        case ArgSize::kShort: return static_cast<unsigned short>(va_arg(args, unsigned));
        case ArgSize::kLong: return va_arg(args, unsigned long);
        default: return va_arg(args, unsigned);
    }
}

void AppendText(str& out, const Conversion& c, const char* text) {
    if (!text) text = "";
    int n;
    if (c.precision < 0)
        n = int(strlen(text));
    else if (IsUtf8Mode())
        n = Utf8Advance(text, c.precision);
    else
        n = int(strnlen(text, size_t(c.precision)));
    AppendPadded(out, c, text, n, CountChars(text, n));
}

void AppendWideText(str& out, str& scratch, const Conversion& c, const wchar_t* wide) {
    if (!wide) wide = L"";
    const size_t units = c.precision < 0 ? wcslen(wide) : wcsnlen(wide, size_t(c.precision));
    scratch.FromWide(wide, int(units));
    AppendPadded(out, c, scratch.Text(), scratch.len, CountChars(scratch.Text(), scratch.len));
}

void AppendPointer(str& out, const Conversion& c, const void* pointer) {
    char digits[2 * sizeof(void*) + 1];
    const int n = snprintf(digits, sizeof digits, "%0*llX", int(2 * sizeof(void*)),
                           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer)));
    AppendPadded(out, c, digits, n, n);
}

// Formats into `out`, which holds no text of the arguments.
void FormatInto(str& out, const char* format, va_list& args) {
    str scratch;  // converted UTF-16 arguments
    scratch.flags = out.flags;
    const char* p = format;
    while (*p) {
        const char* percent = strchr(p, '%');
        if (!percent) {
            out.Append(p);
            return;
        }
        if (percent > p) out.Append(p, int(percent - p));
        Conversion c;
        p = ParseConversion(percent + 1, c, args);
        if (!*p) return;
        ++p;
        switch (c.type) {
            case 'd':
            case 'i':
                AppendNumber(out, c, "ll", SignedArg(c, args));
                break;
            case 'u':
            case 'o':
            case 'x':
            case 'X':
                AppendNumber(out, c, "ll", UnsignedArg(c, args));
                break;
            case 'e':
            case 'E':
            case 'f':
            case 'g':
            case 'G':
                AppendNumber(out, c, "", va_arg(args, double));
                break;
            case 'c':
            case 'C':
                if (IsWideText(c, 'C')) {
                    const wchar_t wide[2] = {wchar_t(va_arg(args, int)), 0};
                    Conversion whole = c;  // a precision does not cut a character
                    whole.precision = -1;
                    AppendWideText(out, scratch, whole, wide);
                } else {
                    const char text[2] = {char(va_arg(args, int)), 0};
                    AppendPadded(out, c, text, 1, 1);
                }
                break;
            case 's':
            case 'S':
                if (IsWideText(c, 'S'))
                    AppendWideText(out, scratch, c, va_arg(args, const wchar_t*));
                else
                    AppendText(out, c, va_arg(args, const char*));
                break;
            case 'm': {
                const char* raw = va_arg(args, const char*);
                const int n = raw && c.precision > 0 ? c.precision : 0;
                AppendPadded(out, c, raw ? raw : "", n, n);
                break;
            }
            case 'n':
                va_arg(args, void*);
                break;
            case 'p':
                AppendPointer(out, c, va_arg(args, void*));
                break;
            default:  // "%%" and unknown conversions print the character itself
                out.AppendChar(c.type);
                break;
        }
    }
}
}  // namespace

void str::FormatV(bool append, const char* format, va_list args) {
    // Built apart, so arguments may point into this string.
    str out;
    out.flags = flags & kStrSecure;
    if (format) FormatInto(out, format, args);
    if (!append && buf) {
        len = 0;
        buf[0] = buf[1] = 0;
    }
    Append(out.Text(), out.len);
}

void str::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(false, format, args);
    va_end(args);
}

void str::AppendFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(true, format, args);
    va_end(args);
}
