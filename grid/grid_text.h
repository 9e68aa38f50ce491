// Text between the grid's storage (8-bit in the library code page) and the
// list view's A and W messages.
#pragma once
#include <windows.h>
#include "text/str.h"

namespace grid {

// The library-code-page form of a message's text: UTF-16 when `wide`, else
// ANSI. Null and LPSTR_TEXTCALLBACK are "". Uses `scratch` when converting.
const char* LibraryText(const void* text, bool wide, str& scratch);
// The text as ANSI into `buffer` of `bytes` (at least 1), cut to fit; as
// stored when the library code page is the ANSI one (0).
int ToAnsiCut(const char* text, char* buffer, int bytes, str& scratch);
// The decimal digits of a positive number into `buffer`, cut to fit.
void WriteNumber(int number, wchar_t* buffer, int units);
// The window text in the library code page.
void WindowTextOf(HWND window, str& text);

}  // namespace grid
