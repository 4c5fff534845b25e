// The boot ROM's version text: the part in parentheses of the identification
// text the boot ROM carries near the start of its partition.
#pragma once

#include <cstddef>

// Bytes skipped at the partition's start, and how many bytes after them may
// hold the identification text.
constexpr int kBootRomSkip = 4;
constexpr int kBootRomTextMax = 79;

// Finds the version text in text[0..length): the text ends at its first NUL
// or after `length` bytes.  When it holds "Boot", the version is the first
// parenthesised part of the whole text, parentheses included; a "(" without
// a later ")" runs to the end of the text.  text must have room for
// length + 1 bytes; the version is cut in place.  Null when there is none.
char *bootRomVersion(char *text, size_t length);
