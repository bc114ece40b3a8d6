// A real literal taken whole, a word at a time: the grammar of
// read/real_literal.h over one token, with the digits of its value gathered
// into one 64-bit number where they fit.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "fast/decimal_double.h"
#include "fast/swar.h"
#include "system/inlining.h"

namespace fast {

// Every number of 19 decimal digits is below 2^64.
inline constexpr std::int64_t max_mantissa_digits = 19;

// Past this, an exponent no longer changes what the literal gives (its
// value is beyond the double range, or zero), however many fraction digits
// the token holds: it stays far from overflowing the counts it is added to.
inline constexpr std::int64_t exponent_cap = 1000000000000000;

struct DecimalLiteral {
  bool negative = false;
  bool fits = false;           // mantissa holds every significant digit: value = mantissa * 10^exponent
  std::uint64_t mantissa = 0;  // the digits, leading zeros dropped, when they fit
  std::int64_t exponent = 0;
  const char* value_end = nullptr;  // the end of the text the value is read from (literal::real_value)
};

// The number the k digits at p spell, k at most 19 (8 bytes readable past them).
TALVERO_ALWAYS_INLINE std::uint64_t digits_value(const char* p, std::int64_t k) {
  std::uint64_t v = 0;
  for (; k >= 8; k -= 8, p += 8) v = v * 100000000 + eight_digit_value(load_le64(p) ^ 0x3030303030303030ull);
  if (k > 0)
    v = v * powers_of_ten_int[static_cast<std::size_t>(k)] + first_digits_value(load_le64(p), static_cast<int>(k));
  return v;
}

// For k from 1 to 19, a multiplier and shift that divide any n below 2^63
// by 5^k: floor(n / 5^k) = floor(n * multiplier / 2^(64 + shift)). With
// shift = floor(log2 5^k) and multiplier = ceil(2^(64 + shift) / 5^k) < 2^64,
// the multiplier exceeds 2^(64 + shift) / 5^k by r / 5^k with r < 5^k <
// 2^(shift + 1), which adds less than n * 2^(shift + 1) / (5^k * 2^(64 +
// shift)) < 1 / 5^k to n / 5^k: not enough to reach the next whole number.
struct Reciprocal {
  std::uint64_t multiplier;
  int shift;
};
inline constexpr auto reciprocals_of_five = [] {
  std::array<Reciprocal, 20> r{};
  std::uint64_t five = 1;
  for (std::size_t k = 1; k < r.size(); ++k) {
    five *= 5;
    const int shift = static_cast<int>(std::bit_width(five)) - 1;
    // floor(2^shift * 2^64 / five) a bit at a time: the remainder stays below five < 2^45.
    std::uint64_t remainder = std::uint64_t{1} << shift, quotient = 0;
    for (int bit = 0; bit < 64; ++bit) {
      remainder <<= 1;
      quotient <<= 1;
      if (remainder >= five) {
        remainder -= five;
        quotient |= 1;
      }
    }
    r[k] = {quotient + 1, shift};  // five is odd: the quotient is never exact
  }
  return r;
}();

// floor(m / 10^k) for k from 1 to 19: floor(floor(m / 2^k) / 5^k).
TALVERO_ALWAYS_INLINE std::uint64_t power_of_ten_quotient(std::uint64_t m, std::size_t k) {
  const Reciprocal r = reciprocals_of_five[k];
  return wide_product(m >> k, r.multiplier).high >> r.shift;
}

// Reads the token [s, e) as one whole real literal: false when it is not
// one. With value, also sets d's mantissa, fits and exponent. The byte at e
// must be one no literal goes on with, and 8 bytes readable past it.
template <bool value>
TALVERO_ALWAYS_INLINE bool read_decimal(const char* s, const char* e, DecimalLiteral& d) {
  d.negative = *s == '-';
  const char* const whole = s + (d.negative || *s == '+');
  const char* const whole_end = digit_run_end(whole);
  const char* fraction = whole_end;
  const char* p = whole_end;
  if (*p == '.') p = digit_run_end(fraction = p + 1);
  const std::int64_t whole_digits = whole_end - whole;
  const char* const fraction_end = p;
  const std::int64_t fraction_digits = fraction_end - fraction;
  if (whole_digits + fraction_digits == 0) return false;
  d.value_end = p;
  std::int64_t exponent = 0;
  if (*p == 'e' || *p == 'E') {  // a marker without digits is consumed, and left out of the value
    const bool negative_exponent = *++p == '-';
    p += negative_exponent || *p == '+';
    const char* const digits = p;
    for (; is_digit(*p); ++p)
      if (exponent < exponent_cap) exponent = exponent * 10 + (*p - '0');
    if (p != digits) d.value_end = p;
    if (negative_exponent) exponent = -exponent;
  }
  if (p != e) return false;
  if constexpr (value) {
    // The significant digits: past leading zeros, which only long digit
    // runs need looking for.
    const char* a = whole;
    const char* b = fraction;
    std::int64_t ka = whole_digits, kb = fraction_digits;
    if (ka + kb > max_mantissa_digits) {
      a = past_zeros(a);
      ka = whole_end - a;
      if (ka == 0) {
        b = past_zeros(b);
        kb = fraction_end - b;
      }
    }
    d.fits = ka + kb <= max_mantissa_digits;
    if (d.fits)
      d.mantissa = digits_value(a, ka) * powers_of_ten_int[static_cast<std::size_t>(kb)] + digits_value(b, kb);
    d.exponent = exponent - fraction_digits;
  }
  return true;
}

}  // namespace fast
