// Porter stemming of English words, in place in a str.
#pragma once
#include "text/str.h"

// Stems the range of `length` bytes from `from` (JX_STEM_* flags of
// jx/text_functions.h). A length of 0 or below means to the end of the
// string; a range past the end is clipped; a negative `from` or one at or
// past the end changes nothing. Freed bytes at the end of the string shorten
// it; inside it they become spaces, or zero bytes before a zero byte.
void StemWords(str& s, unsigned flags, int from, int length);

// Stems one lower-case word of `length` bytes in place and returns its new
// length, never more than `length`. Words of one or two bytes stay.
int StemLowerCaseWord(char* word, int length);
