// The classes of bytes every read knows: whitespace as the C library has it
// in the "C" locale, and decimal digits. Written here once; the reads, the
// literal grammars and the accelerator's word-at-a-time forms use these.
#pragma once

#include "system/inlining.h"

TALVERO_ALWAYS_INLINE constexpr bool is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
TALVERO_ALWAYS_INLINE constexpr bool is_digit(int c) { return static_cast<unsigned>(c - '0') < 10; }
// Spaces and tabs: what is trimmed around a group code's or value's line.
TALVERO_ALWAYS_INLINE constexpr bool is_blank(char c) { return c == ' ' || c == '\t'; }
