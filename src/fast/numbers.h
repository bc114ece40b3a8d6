// Numbers read straight from a loaded block, each giving what the general
// reads give for the same bytes: an integer item (literal::whole_integer), a
// real literal and its value (literal::whole_real: literal::real_value), and
// a coordinate's rounded text (put_rounded of that value), this last decided
// from the literal's digits wherever they tell it.
//
// Each takes a token [s, e) of any bytes, where the byte at e is whitespace
// or the NUL after the loaded bytes and 64 bytes are readable from e on.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fast/decimal_double.h"
#include "fast/decimal_literal.h"
#include "fast/swar.h"
#include "read/real_literal.h"
#include "system/inlining.h"

namespace fast {

// What the ways out of line of put_rounded_literal find of a literal.
struct LiteralForm {
  const char* digits;    // the whole digits, after the sign
  const char* fraction;  // the fraction digits, after the point if there is one
  const char* end;       // their end
  std::uint64_t head;    // the 8 bytes from fraction (load_le64)
  int whole;             // whole digits: 0 to 7, or 8 for 8 and more
  bool plain;            // no exponent, at most 7 whole digits, and they round it
  bool up;               // the first fraction digit is 5 or more
};

// How a literal rounds where put_rounded_literal does not write its digits
// as they stand: to `whole` where its digits decide (whole), from its double
// value (value), or not at all: it is no real literal (none).
struct OtherRounding {
  enum class Kind : std::uint8_t { whole, value, none };
  Kind kind = Kind::none;
  int whole = 0;
  double value = 0;
};

// What the forms below leave to code out of line.
bool whole_integer_general(const char* s, const char* e, int& v);
OtherRounding round_other(const char* s, const char* e, const LiteralForm& form);
// The form by value: by reference, it would be kept in memory on the
// common way too.
char* put_rounded_other(char* o, const char* s, const char* e, LiteralForm form);
bool written_value_other(const char* s, const char* e, double& w);

// [s, e) as an integer item: an optional sign and decimal digits, the value
// saturated to the int range. Up to 8 digits in one word.
TALVERO_ALWAYS_INLINE bool whole_integer(const char* s, const char* e, int& v) {
  const bool negative = *s == '-';
  const char* const digits = s + (negative || *s == '+');
  const std::ptrdiff_t n = e - digits;
  std::uint64_t m;
  if (n > 0 && n <= 8 && leading_digits(digits, &m) == n) {
    v = negative ? -static_cast<int>(m) : static_cast<int>(m);
    return true;
  }
  return whole_integer_general(s, e, v);
}

// Whether [s, e) is one real literal (read/real_literal.h): a short one
// without exponent a vector at a time.
TALVERO_ALWAYS_INLINE bool is_whole_real(const char* s, const char* e) {
  const auto n = static_cast<std::size_t>(e - s);
  if (n <= 16 && plain_real(s, n)) return true;
  DecimalLiteral d;
  return read_decimal<false>(s, e, d);
}

// The value of the n bytes at s (n at most 16) where they are a real
// literal without exponent whose digits spell at most 2^53: its digits
// either side of the point, which the vector test finds, each read at once,
// then one division. False, v unchanged, otherwise.
TALVERO_ALWAYS_INLINE bool short_plain_value(const char* s, std::size_t n, double& v) {
  std::size_t point;
  if (!plain_real(s, n, point)) return false;
  const bool negative = *s == '-';
  const std::size_t start = negative || *s == '+';
  const auto whole = static_cast<std::int64_t>(point - start);
  const auto fraction = static_cast<std::int64_t>(point < n ? n - point - 1 : 0);
  const std::uint64_t m = digits_value(s + start, whole) * powers_of_ten_int[static_cast<std::size_t>(fraction)] +
                          digits_value(s + point + 1, fraction);
  return decimal_to_double(m, -fraction, negative, v);
}

// [s, e) as one real literal, and its value in v.
TALVERO_ALWAYS_INLINE bool whole_real(const char* s, const char* e, double& v) {
  const auto n = static_cast<std::size_t>(e - s);
  if (n <= 16 && short_plain_value(s, n, v)) return true;
  DecimalLiteral d;
  if (!read_decimal<true>(s, e, d)) return false;
  if (!d.fits || !decimal_to_double(d.mantissa, d.exponent, d.negative, v)) v = literal::real_value(s, d.value_end);
  return true;
}

// The word load_le64 gives for 8 bytes of text.
constexpr std::uint64_t text_word(const char (&t)[9]) {
  std::uint64_t w = 0;
  for (int k = 7; k >= 0; --k) w = (w << 8) | static_cast<unsigned char>(t[k]);
  return w;
}

// x + 0.5 truncated toward zero for x = whole + f, or -(whole + f) when
// negative, where up tells f >= 0.5 (0 <= f < 1): whole + up, or for a
// negative x -(whole + up - 1), and 0 (never minus zero) where that is
// below 0.
// Without a branch on up or the sign, which vary from one literal to the next.
TALVERO_ALWAYS_INLINE int rounded_whole(std::uint64_t whole, bool up, bool negative) {
  const int magnitude = static_cast<int>(whole) + up - negative;
  const int clamped = magnitude & ~(magnitude >> 31);  // 0 where it is below 0
  const int sign = -static_cast<int>(negative);        // -1 or 0
  return (clamped ^ sign) - sign;
}

// Writes the k whole digits at d (1 to 7, 8 bytes readable), after a minus
// sign when negative, with the last one moved by change (no carry or
// borrow); returns the end. 9 bytes must be writable at o.
TALVERO_ALWAYS_INLINE char* put_moved_digits(char* o, const char* d, int k, bool negative, int change) {
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

// The form of the literal [s, e), for the ways put_rounded_literal leaves
// to code out of line (and for written_value_other).
TALVERO_ALWAYS_INLINE LiteralForm literal_form(const char* s, const char* e) {
  // Signs and digit counts vary from one coordinate to the next: they are
  // worked out without branches.
  const char* const digits = s + (*s == '-' || *s == '+');
  const int k = leading_digit_count(digits);
  const char* p = digits + k;
  p += *p == '.';
  const std::uint64_t head = load_le64(p);  // the first 8 fraction bytes
  const std::uint64_t stop = non_digit_bits(head);
  const int fraction = stop == 0 ? 8 : std::countr_zero(stop) / 8;
  const bool up = (fraction > 0) & ((head & 0xFF) >= '5');
  const char* end = p + fraction;
  if (fraction == 8) end = digit_run_end(end);  // the rest of a long fraction is only checked
  const bool plain = (k + fraction > 0) & (k < 8) & (end == e) & (head != text_word("49999999"));
  return {digits, p, end, head, k, plain, up};
}

// Writes the text put_rounded (write/number_text.h) writes for the value of
// the real literal [s, e), and returns its end; nullptr, having written
// nothing that matters, when [s, e) is not one real literal. Room for
// max_number_text + 8 bytes is needed at o.
//
// A literal without exponent, with at most 7 whole digits and a fraction of
// any length, is rounded from its digits. Its value L has |L| < 10^7 < 2^24,
// so the double x nearest it lies within h = 2^-30 < 10^-8 of it (half an
// ulp). The text depends only on the sign and floor(|x| + 1/2), which moves
// only where |x| reaches some n + 1/2. Those, and the whole numbers, are
// doubles here, and rounding keeps order: |L| in [n, n + 1/2) gives |x| in
// [n, n + 1/2], and |L| in [n + 1/2, n + 1) gives |x| in [n + 1/2, n + 1].
// So x rounds as L does unless |x| = n + 1/2 while |L| is below it, which
// needs n + 1/2 - |L| <= h: a fraction in [0.5 - h, 0.5), whose first 8
// digits are 49999999. Those literals go through their double; for all
// others the first fraction digit decides.
TALVERO_ALWAYS_INLINE char* put_rounded_literal(char* o, const char* s, const char* e) {
  // Mostly its digits as written, the last whole one moved by one at most
  // (one test, seldom failed, picks the way), unless that carries or
  // borrows, starts with a zero that is not the only whole digit (0.7 is
  // written 1, 0 as it stands) or gives minus zero.
  const bool negative = *s == '-';
  const auto moved_digits = [&](const char* digits, int k, bool up) -> char* {
    const int change = static_cast<int>(up) - static_cast<int>(negative);
    const int moved = digits[k > 0 ? k - 1 : 0] + change;
    if ((k > 0) & (k < 8) & ((digits[0] != '0') | (k == 1)) & (static_cast<unsigned>(moved - '0') < 10) &
        !((k == 1) & (moved == '0') & negative))
      return put_moved_digits(o, digits, k, negative, change);
    return nullptr;
  };
  // A short literal without exponent is checked a vector at a time, which
  // finds its point; others by their form.
  const auto n = static_cast<std::size_t>(e - s);
  std::size_t point;
  const bool short_plain = n <= 16 && plain_real(s, n, point);
  if (short_plain) {
    const char* const digits = s + (negative || *s == '+');
    const char* const fraction = s + point + 1;  // past e where there is no point: no digit is read there
    const bool up = fraction < e && static_cast<unsigned char>(*fraction) >= '5';
    const auto k = static_cast<int>(s + point - digits);
    if (load_le64(fraction) != text_word("49999999") && k < 8) {
      if (char* end = moved_digits(digits, k, up)) return end;
      // A carry, a borrow, a leading zero or minus zero: the whole number.
      return put_int(o, rounded_whole(k == 0 ? 0 : first_digits_value(load_le64(digits), k), up, negative));
    }
  }
  const LiteralForm f = literal_form(s, e);
  if (!short_plain && f.plain)  // a short one's digits were tried above
    if (char* end = moved_digits(f.digits, f.whole, f.up)) return end;
  return put_rounded_other(o, s, e, f);
}

// The coordinate the result holds for the real literal [s, e), as a double
// (numeric::as_written of its value; the exact integer put_rounded_literal
// writes, where that is below 2^53): decided from its digits as
// put_rounded_literal decides. False, w unchanged, when [s, e) is not one
// real literal.
TALVERO_ALWAYS_INLINE bool written_value(const char* s, const char* e, double& w) {
  const bool negative = *s == '-';
  const char* const digits = s + (negative || *s == '+');
  const auto n = static_cast<std::size_t>(e - s);
  // Mostly a short literal without exponent, checked a vector at a time,
  // which finds its point: the whole digits are those before it. With at
  // most 7 of them, the first fraction digit decides (as in
  // put_rounded_literal), unless the fraction starts with 49999999.
  std::size_t point;
  if (n <= 16 && plain_real(s, n, point)) {
    const auto k = static_cast<int>(s + point - digits);
    const char* const fraction = s + point + 1;  // past e where there is no point: no digit is read there
    if (k < 8 && load_le64(fraction) != text_word("49999999")) {
      const std::uint64_t whole = k == 0 ? 0 : first_digits_value(load_le64(digits), k);
      w = rounded_whole(whole, fraction < e && static_cast<unsigned char>(*fraction) >= '5', negative);
      return true;
    }
  }
  return written_value_other(s, e, w);
}

}  // namespace fast
