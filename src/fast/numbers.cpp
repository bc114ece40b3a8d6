// What the number forms of fast/numbers.h leave out of line: long integers,
// and the coordinates not written as their digits.
#include "fast/numbers.h"

#include <algorithm>
#include <climits>

namespace fast {

namespace {

constexpr std::uint64_t two26 = std::uint64_t{1} << 26;

// A literal [s, e) in exponent form, d.ddde+X, where its digits round it.
// Where X moves the point to leave at most 8 whole digits (in the fraction,
// past it, or right before the first digit), they are the whole part and
// the digits after them the fraction, which decides as in
// put_rounded_literal: the same window holds below 10^8 < 2^27, where the
// double lies within 2^-27 < 10^-8 of L. Where X moves the point before the
// first digit and one more, |L| < 0.1. Sets `rounded` to the whole number
// written; false, where the digits do not decide.
bool rounded_exponent(const char* s, const char* e, const LiteralForm& f, int& rounded) {
  const char* x = f.end + 1;
  bool negative_exponent = *x == '-';
  x += negative_exponent || *x == '+';
  // One to three digits, without a branch on how many.
  const unsigned d0 = static_cast<unsigned char>(x[0]) - '0', d1 = static_cast<unsigned char>(x[1]) - '0',
                 d2 = static_cast<unsigned char>(x[2]) - '0';
  const bool one = d0 < 10, two = one & (d1 < 10), three = two & (d2 < 10);
  const int exponent = static_cast<int>(three ? d0 * 100 + d1 * 10 + d2 : two ? d0 * 10 + d1 : d0);
  const auto fraction_digits = static_cast<int>(f.end - f.fraction);
  if (!one || x + one + two + three != e || f.whole + fraction_digits == 0) return false;
  negative_exponent &= exponent != 0;
  std::uint64_t head;  // the first 8 bytes of the fraction once the point is moved
  std::uint64_t whole = 0;
  if (negative_exponent) {
    if (exponent > f.whole) {
      rounded = 0;
      return true;
    }
    if (exponent < f.whole) return false;
    // L = 0.D, D the whole digits and then the fraction's.
    head = (load_le64(f.digits) & ((std::uint64_t{1} << (8 * f.whole)) - 1)) | (f.head << (8 * f.whole));
  } else {
    if (f.whole + exponent > 8) return false;
    const int taken = exponent < fraction_digits ? exponent : fraction_digits;
    if (f.whole > 0) whole = first_digits_value(load_le64(f.digits), f.whole);
    whole *= powers_of_ten_int[static_cast<std::size_t>(exponent)];
    if (taken > 0)
      whole += first_digits_value(f.head, taken) * powers_of_ten_int[static_cast<std::size_t>(exponent - taken)];
    head = load_le64(f.fraction + taken);  // starts with the exponent's marker when no fraction digit is left
  }
  if (head == text_word("49999999")) return false;
  const bool up = is_digit(static_cast<int>(head & 0xFF)) & ((head & 0xFF) >= '5');
  rounded = rounded_whole(whole, up, *s == '-');
  return true;
}

// The literals neither their digits nor an exponent round: through their
// decimal value. Apart, so that the common ways save no registers.
TALVERO_NOINLINE OtherRounding round_decimal(const char* s, const char* e) {
  using Kind = OtherRounding::Kind;
  const bool negative = *s == '-';
  DecimalLiteral d;
  if (!read_decimal<true>(s, e, d)) return {};
  const std::uint64_t m = d.mantissa;
  const std::int64_t q = d.exponent;
  if (d.fits && q >= -19 && q <= 9) {
    // L = m * 10^q = whole + fraction / 10^k. Below 2^26 the double lies
    // within 2^-28 < 10^-8 of L, and the argument of put_rounded_literal
    // holds with the same window: only a fraction in [0.49999999, 0.5) may
    // round otherwise than L. Worked out without a branch on the sign of q,
    // which varies from one literal to the next.
    const auto k = static_cast<std::size_t>(q < 0 ? -q : 0);
    const std::uint64_t quotient = power_of_ten_quotient(m, k == 0 ? 1 : k);
    const std::uint64_t part = k == 0 ? m : quotient;
    const std::uint64_t fraction = m - part * powers_of_ten_int[k];
    const std::uint64_t half = k == 0 ? 1 : powers_of_ten_int[k] / 2;  // no fraction reaches it when k = 0
    const std::uint64_t whole =
        (part < two26 ? part : two26) * powers_of_ten_int[static_cast<std::size_t>(q > 0 ? q : 0)];
    const bool just_below_half =
        (k >= 8) & (fraction < half) & (half - fraction <= powers_of_ten_int[k >= 8 ? k - 8 : 0]);
    if (whole < two26 && !just_below_half) return {Kind::whole, rounded_whole(whole, fraction >= half, negative)};
  } else if (d.fits && q < -19) {
    return {Kind::whole, 0};  // fewer digits than -q: |L| < 0.1, so |x| < 0.5
  }
  double x;
  if (d.fits && decimal_to_double(m, q, negative, x)) return {Kind::value, 0, x};
  return {Kind::value, 0, literal::real_value(s, d.value_end)};
}

}  // namespace

// The literals put_rounded_literal does not write as their digits: those
// its digits round with a carry or borrow in the last whole digit, a
// leading zero or minus zero (form.plain), exponent forms, and all others.
OtherRounding round_other(const char* s, const char* e, const LiteralForm& form) {
  using Kind = OtherRounding::Kind;
  if (form.plain)
    return {Kind::whole, rounded_whole(form.whole == 0 ? 0 : first_digits_value(load_le64(form.digits), form.whole),
                                       form.up, *s == '-')};
  int exponent_whole = 0;
  if ((*form.end == 'e' || *form.end == 'E') && form.whole < 8 && rounded_exponent(s, e, form, exponent_whole))
    return {Kind::whole, exponent_whole};
  return round_decimal(s, e);
}

bool whole_integer_general(const char* s, const char* e, int& v) {
  const bool negative = *s == '-';
  const char* p = s + (negative || *s == '+');
  if (p == e) return false;
  std::int64_t magnitude = 0;
  for (; p != e; ++p) {
    if (!is_digit(*p)) return false;
    magnitude = std::min<std::int64_t>(magnitude * 10 + (*p - '0'), std::int64_t{1} << 40);
  }
  v = static_cast<int>(std::clamp<std::int64_t>(negative ? -magnitude : magnitude, INT_MIN, INT_MAX));
  return true;
}

char* put_rounded_other(char* o, const char* s, const char* e, LiteralForm form) {
  const OtherRounding r = round_other(s, e, form);
  switch (r.kind) {
    case OtherRounding::Kind::whole: return put_int(o, r.whole);
    case OtherRounding::Kind::value: return put_rounded(o, r.value);
    case OtherRounding::Kind::none: break;
  }
  return nullptr;
}

bool written_value_other(const char* s, const char* e, double& w) {
  const OtherRounding r = round_other(s, e, literal_form(s, e));
  switch (r.kind) {
    case OtherRounding::Kind::whole: w = r.whole; return true;
    case OtherRounding::Kind::value: w = numeric::as_written(r.value); return true;
    case OtherRounding::Kind::none: break;
  }
  return false;
}

}  // namespace fast
