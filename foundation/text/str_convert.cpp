// Conversions of str between the library code page, ANSI, UTF-8 and UTF-16.
#include <limits.h>
#include <string.h>
#include <wchar.h>
#include "runtime/errors.h"
#include "text/str.h"
#include "text/wide_text.h"

namespace {
// Short texts convert through the stack and are copied once; this saves the
// sizing call to WideCharToMultiByte.
constexpr int kStackChars = 1000;
constexpr int kStackBytes = 3 * kStackChars;

// When the source lies inside the target, the target's block is taken away
// for the time of the conversion and released afterwards.
class SourceGuard {
public:
    SourceGuard(str& target, const void* source) : target_(target), block_(target.Detach(source)) {}
    ~SourceGuard() { target_.FreeOld(block_); }
    SourceGuard(const SourceGuard&) = delete;
    SourceGuard& operator=(const SourceGuard&) = delete;

private:
    str& target_;
    char* block_;
};
}  // namespace

void str::FromMultiByte(const char* text, UINT codePage, int n) {
    if (!text) {
        Clear();
        return;
    }
    if (n < 0) {
        const size_t length = strlen(text);
        if (length > size_t(INT_MAX)) RaiseOutOfMemory();
        n = int(length);
    }
    if (n == 0) {
        Empty();
        return;
    }
    SourceGuard guard(*this, text);
    wchar_t* wide = GetWideBuffer(n);
    const int chars = MultiByteToWideChar(codePage, 0, text, n, wide, n);
    FixLength(2 * chars);
}

void str::ToWide(const char* text) { FromMultiByte(text, CurrentCodePage(), -1); }

void str::FromWide(const wchar_t* wide, UINT codePage, int n) {
    if (!wide) {
        Clear();
        return;
    }
    if (n == kWideBstrLength)
        n = int(SysStringLen(const_cast<BSTR>(wide)));
    else if (n < 0)
        n = lstrlenW(wide);
    if (n == 0) {
        Empty();
        return;
    }
    SourceGuard guard(*this, wide);
    if (n <= kStackChars) {
        char stack[kStackBytes];
        const int bytes = WideCharToMultiByte(codePage, 0, wide, n, stack, kStackBytes, nullptr, nullptr);
        if (bytes > 0) {
            Assign(stack, 0, bytes);
            return;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            Empty();
            return;
        }
    }
    const int bytes = WideCharToMultiByte(codePage, 0, wide, n, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        Empty();
        return;
    }
    Alloc(bytes);
    FixLength(WideCharToMultiByte(codePage, 0, wide, n, buf, bytes, nullptr, nullptr));
}

void str::FromWide(const wchar_t* wide, int n) { FromWide(wide, CurrentCodePage(), n); }

void str::FromWideUtf8(const wchar_t* wide, int n) { FromWide(wide, CP_UTF8, n); }

void str::AnsiToUtf8(const char* text) {
    FromMultiByte(text, CP_ACP);
    if (buf) FromWide(Wide(), CP_UTF8, WideLength());
}

void str::Utf8ToAnsi(const char* text) {
    FromMultiByte(text, CP_UTF8);
    if (buf) FromWide(Wide(), CP_ACP, WideLength());
}

void str::FromAnsi(const char* text) {
    if (IsUtf8Mode())
        AnsiToUtf8(text);
    else
        Assign(text);
}

void str::ToAnsi(const char* text) {
    if (IsUtf8Mode())
        Utf8ToAnsi(text);
    else
        Assign(text);
}

void WideText::Convert(const char* text) {
    if (IS_INTRESOURCE(text)) {
        pointer_ = reinterpret_cast<const wchar_t*>(text);
        return;
    }
    wide_.ToWide(text);
    pointer_ = wide_.Wide();
}

int ToWideCut(const char* text, wchar_t* buffer, int units, str& scratch) {
    // Straight into the buffer when it is large enough, which it nearly always is.
    const int written = MultiByteToWideChar(CurrentCodePage(), 0, text, -1, buffer, units);
    if (written > 0) return written - 1;
    scratch.FromMultiByte(text, CurrentCodePage());
    const int length = scratch.WideLength();
    const int copied = length < units ? length : units - 1;
    wmemcpy(buffer, scratch.Wide(), size_t(copied));
    buffer[copied] = 0;
    return copied;
}
