// Text mode's line ends: every CR byte is dropped from the bytes read.
#pragma once

#include <cstddef>

// Removes every CR from [p, p+n) in place and returns the new length; the
// bytes past it are left as they happen to be.
std::size_t drop_cr(char* p, std::size_t n);

// The same a word at a time, on every processor (the tests hold the faster
// forms to it).
std::size_t drop_cr_words(char* p, std::size_t n);
