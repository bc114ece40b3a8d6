// The decimal text of the integers the result holds, and of the extents the
// console shows.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "numeric/rounding.h"
#include "system/inlining.h"

// Longest text any of the functions below produces, sign included.
inline constexpr int max_number_text = 340;

// Two decimal digits for each number below 100.
inline constexpr char digit_pairs[201] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// 10^0 to 10^19, every power of ten below 2^64.
inline constexpr auto decimal_powers = [] {
  std::array<unsigned long long, 20> p{};
  p[0] = 1;
  for (std::size_t k = 1; k < p.size(); ++k) p[k] = p[k - 1] * 10;
  return p;
}();

// The number of decimal digits of v: its bit length gives it, or one more.
TALVERO_ALWAYS_INLINE int decimal_length(unsigned long long v) {
  const int guess = (static_cast<int>(std::bit_width(v | 1)) * 1233) >> 12;  // floor(log10(2) * bit length)
  return guess + 1 - ((v | 1) < decimal_powers[static_cast<std::size_t>(guess)]);
}

// Writes the decimal text of v at p and returns the end: its length first,
// then its digits from the last, two at a time, each in its place (no copy
// of a length known only at run time).
TALVERO_ALWAYS_INLINE char* put_u64(char* p, unsigned long long v) {
  char* const end = p + decimal_length(v);
  char* t = end;
  while (v >= 100) {
    t -= 2;
    std::memcpy(t, digit_pairs + 2 * (v % 100), 2);
    v /= 100;
  }
  if (v >= 10)
    std::memcpy(t - 2, digit_pairs + 2 * v, 2);
  else
    t[-1] = static_cast<char>('0' + v);
  return end;
}

TALVERO_ALWAYS_INLINE char* put_i64(char* p, long long v) {
  if (v < 0) {
    *p++ = '-';
    return put_u64(p, 0ull - static_cast<unsigned long long>(v));
  }
  return put_u64(p, static_cast<unsigned long long>(v));
}

// Writes the decimal text of v at p and returns the end; 11 bytes must be
// writable there.
TALVERO_ALWAYS_INLINE char* put_int(char* p, int v) {
  if (static_cast<unsigned>(v) < 10) {
    *p = static_cast<char>('0' + v);
    return p + 1;
  }
  if (static_cast<unsigned>(v) < 100) {
    std::memcpy(p, digit_pairs + 2 * v, 2);
    return p + 2;
  }
  return put_i64(p, v);
}

// Writes the exact integer of x truncated toward zero (-0.7 gives 0).
char* put_truncated(char* p, double x);

// Writes the exact integer of x + 0.5 (the sum taken exactly) truncated
// toward zero: 12.5 gives 13, -12.2 gives -11, the largest double below 0.5
// gives 0. Room for max_number_text bytes is needed at p.
char* put_rounded_whole(char* p, double x);
// With w, the value written: numeric::as_written(x), the rounding done once.
TALVERO_ALWAYS_INLINE char* put_rounded(char* p, double x, double& w) {
  if (x > -2147483648.0 && x < 2147483648.0) {
    const long long r = numeric::plus_half_truncated(x);
    w = static_cast<double>(r);
    if (r >= -2147483647 - 1 && r <= 2147483647) return put_int(p, static_cast<int>(r));
    return put_i64(p, r);
  }
  w = numeric::as_written(x);
  return put_rounded_whole(p, x);
}
TALVERO_ALWAYS_INLINE char* put_rounded(char* p, double x) {
  double w;
  return put_rounded(p, x, w);
}

// Writes x with six decimals, as the console shows extents.
char* put_fixed6(char* p, double x);

// The same as text, for tests and messages.
std::string rounded_text(double x);
std::string truncated_text(double x);
