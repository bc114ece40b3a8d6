// The decimal text of the integers the result holds, and of the extents the
// console shows.
#pragma once

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

// Writes the decimal text of v at p and returns the end.
TALVERO_ALWAYS_INLINE char* put_u64(char* p, unsigned long long v) {
  char text[20];
  char* t = text + 20;
  while (v >= 100) {
    t -= 2;
    std::memcpy(t, digit_pairs + 2 * (v % 100), 2);
    v /= 100;
  }
  if (v >= 10) {
    t -= 2;
    std::memcpy(t, digit_pairs + 2 * v, 2);
  } else {
    *--t = static_cast<char>('0' + v);
  }
  const auto n = static_cast<std::size_t>(text + 20 - t);
  std::memcpy(p, t, n);
  return p + n;
}

TALVERO_ALWAYS_INLINE char* put_i64(char* p, long long v) {
  if (v < 0) {
    *p++ = '-';
    return put_u64(p, 0ull - static_cast<unsigned long long>(v));
  }
  return put_u64(p, static_cast<unsigned long long>(v));
}

// Writes |v| < 10^8 as decimal digits, 8 bytes at a time (SWAR: SIMD
// within a register; little-endian hosts): 9 bytes must be writable at p.
TALVERO_ALWAYS_INLINE char* put_below_1e8(char* p, int v) {
  *p = '-';
  p += v < 0;
  const std::uint32_t x = v < 0 ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
  // Four digits in each 32-bit half, two in each 16-bit quarter, one in each byte.
  const auto high = static_cast<std::uint32_t>((std::uint64_t{x} * 1759218605) >> 44);  // x / 10000 for any 32-bit x
  const std::uint64_t y = high | (std::uint64_t{x - high * 10000} << 32);
  std::uint64_t z = ((y * 10486) >> 20) & 0x0000007F0000007Full;
  z |= (y - z * 100) << 16;
  std::uint64_t d = ((z * 103) >> 10) & 0x000F000F000F000Full;
  d |= (z - d * 10) << 8;
  // The first bytes are leading zeros; one digit stays. The length comes
  // from x alone (its bit length gives it, or one more), so the next write's
  // place need not wait for the digits.
  static constexpr std::uint32_t powers[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
  const int guess = (static_cast<int>(std::bit_width(x | 1u)) * 1233) >> 12;  // floor(log10(2) * bit length)
  const int length = guess + 1 - ((x | 1u) < powers[guess]);
  const std::uint64_t text = (d + 0x3030303030303030ull) >> (8 * (8 - length));
  std::memcpy(p, &text, 8);
  return p + length;
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
  if constexpr (std::endian::native == std::endian::little)
    if (v > -100000000 && v < 100000000) return put_below_1e8(p, v);
  return put_i64(p, v);
}

// Writes the exact integer of x truncated toward zero (-0.7 gives 0).
char* put_truncated(char* p, double x);

// Writes the exact integer of x + 0.5 (the sum taken exactly) truncated
// toward zero: 12.5 gives 13, -12.2 gives -11, the largest double below 0.5
// gives 0. Room for max_number_text bytes is needed at p.
char* put_rounded_whole(char* p, double x);
TALVERO_ALWAYS_INLINE char* put_rounded(char* p, double x) {
  if (x > -2147483648.0 && x < 2147483648.0) {
    const long long r = numeric::plus_half_truncated(x);
    if (r >= -2147483647 - 1 && r <= 2147483647) return put_int(p, static_cast<int>(r));
    return put_i64(p, r);
  }
  return put_rounded_whole(p, x);
}

// Writes x with six decimals, as the console shows extents.
char* put_fixed6(char* p, double x);

// The same as text, for tests and messages.
std::string rounded_text(double x);
std::string truncated_text(double x);
