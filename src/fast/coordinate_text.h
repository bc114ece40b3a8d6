// The rounded text of a coordinate straight from its literal, without
// converting it where its digits decide.
#pragma once

#include <cstdint>
#include <cstring>

#include "fast/swar.h"

namespace fast {

namespace coordinate_detail {

// The k whole digits at d (at most 7, 8 bytes readable), with a minus sign
// when negative and the last digit moved by change (no carry or borrow).
TALVERO_ALWAYS_INLINE char* put_whole(char* o, const char* d, int k, bool negative, int change) {
  *o = '-';
  o += negative;
  std::uint64_t w;
  std::memcpy(&w, d, 8);
  if constexpr (std::endian::native == std::endian::little) {
    // The digit moves within its byte, in a register: no store is read back.
    w += static_cast<std::uint64_t>(static_cast<std::int64_t>(change)) << (8 * (k - 1));
    std::memcpy(o, &w, 8);
  } else {
    std::memcpy(o, &w, 8);
    o[k - 1] = static_cast<char>(o[k - 1] + change);
  }
  return o + k;
}

// The rounded value of a plain literal whose whole part is `whole`, minus
// it when negative; up: its first fraction digit is 5 or more.
TALVERO_ALWAYS_INLINE int rounded_whole(std::uint64_t whole, bool up, bool negative) {
  const auto r = static_cast<int>(whole);
  if (!negative) return r + up;
  return r == 0 ? 0 : up ? -r : 1 - r;
}

TALVERO_NOINLINE inline char* put_other(char* o, const char* s, const char* d, const char* e, bool plain, bool negative,
                                        bool up) {
  if (plain) {
    std::uint64_t whole;
    leading_digits(d, &whole);
    return put_int_swar(o, rounded_whole(whole, up, negative));
  }
  double x = 0;
  if (real_at<true>(s, &x) != e) return nullptr;
  return put_rounded_swar(o, x);
}

}  // namespace coordinate_detail

// Writes at o the text of the literal [s, e) rounded as the result's
// coordinates are (put_rounded of its value) and returns its end; nullptr
// when [s, e) is not one whole real literal. The byte at e is whitespace;
// 8 bytes are readable past every digit run and max_number_text + 8 bytes
// writable at o. A plain literal has at most 7 digits before and after the
// point and no exponent: the double nearest it lies within 2^-29 of it,
// while one that is not itself a whole or half number lies at least 10^-7
// from every one, so both round alike and the first fraction digit decides.
TALVERO_ALWAYS_INLINE char* put_rounded_literal(char* o, const char* s, const char* e) {
  using namespace coordinate_detail;
  const bool negative = *s == '-';
  const char* digits = s + (negative || *s == '+');
  const int k = leading_digit_count(digits);
  const char* p = digits + k;
  const bool point = *p == '.';
  p += point;
  const int fraction = point ? leading_digit_count(p) : 0;
  const int first = fraction > 0 ? *p - '0' : 0;  // the first fraction digit
  p += fraction;
  const bool plain = (k + fraction > 0) & (k < 8) & (fraction < 8) & (p == e);
  const bool up = first >= 5;
  const int change = static_cast<int>(up) - static_cast<int>(negative);
  const char last = digits[k > 0 ? k - 1 : 0];
  const int moved = last + change;
  // Mostly the digits as written, the last one moved by one at most: not
  // when that carries or borrows, starts with a zero or gives minus zero.
  if (plain & (k > 0) & (digits[0] != '0') & (static_cast<unsigned>(moved - '0') < 10) &
      !((k == 1) & (moved == '0') & negative))
    return put_whole(o, digits, k, negative, change);
  return put_other(o, s, digits, e, plain, negative, up);
}

}  // namespace fast
