// Word wrap of the text of a str.
#pragma once
#include "text/str.h"

// Rewraps `s` to lines of at most `width` bytes (JX_WRAP_* flags and break
// sets of jx/text_functions.h). The string gets a new block from the host
// allocator; the old one is released.
void WrapText(str& s, int width, const char* lineBreak, const char* breakChars, unsigned flags, unsigned minLength);
