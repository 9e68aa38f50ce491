#include "grid_text.h"
#include <commctrl.h>
#include <string.h>
#include <wchar.h>

namespace grid {
namespace {

bool IsNoText(const void* text) { return !text || text == LPSTR_TEXTCALLBACKW; }

int CopyCut(const wchar_t* from, int length, wchar_t* buffer, int units) {
    const int copied = length < units ? length : units - 1;
    wmemcpy(buffer, from, size_t(copied));
    buffer[copied] = 0;
    return copied;
}

}  // namespace

const char* LibraryText(const void* text, bool wide, str& scratch) {
    if (IsNoText(text)) return "";
    if (wide) {
        scratch.FromWide(static_cast<const wchar_t*>(text));
        return scratch.Text();
    }
    const char* ansi = static_cast<const char*>(text);
    if (CurrentCodePage() == CP_ACP) return ansi;
    scratch.FromMultiByte(ansi, CP_ACP);
    scratch.FromWide(scratch.Wide(), CurrentCodePage(), scratch.WideLength());
    return scratch.Text();
}

int ToAnsiCut(const char* text, char* buffer, int bytes, str& scratch) {
    if (CurrentCodePage() != CP_ACP) {
        scratch.FromMultiByte(text, CurrentCodePage());
        scratch.FromWide(scratch.Wide(), CP_ACP, scratch.WideLength());
        text = scratch.Text();
    }
    const int length = int(strlen(text));
    const int copied = length < bytes ? length : bytes - 1;
    memcpy(buffer, text, size_t(copied));
    buffer[copied] = 0;
    return copied;
}

void WriteNumber(int number, wchar_t* buffer, int units) {
    wchar_t digits[16];
    const int length = swprintf(digits, 16, L"%d", number);
    CopyCut(digits, length, buffer, units);
}

void WindowTextOf(HWND window, str& text) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) {
        text.Empty();
        return;
    }
    str wide;
    const int units = GetWindowTextW(window, wide.GetWideBuffer(length + 1), length + 1);
    text.FromWide(wide.Wide(), units);
}

}  // namespace grid
