// What the number forms of fast/numbers.h leave out of line: long integers,
// and the coordinates not written as their digits.
#include "fast/numbers.h"

#include <algorithm>
#include <climits>

namespace fast {

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

// plain: [s, e) is a literal without exponent that its digits round (at
// most 7 whole digits, not just below a half), whose first fraction digit
// is 5 or more when up.
char* put_rounded_other(char* o, const char* s, const char* e, bool plain, bool up) {
  const bool negative = *s == '-';
  const char* const digits = s + (negative || *s == '+');
  if (plain) {  // a carry or borrow in the last digit, a leading zero, or minus zero
    std::uint64_t whole;
    leading_digits(digits, &whole);
    return put_int_swar(o, rounded_whole(whole, up, negative));
  }
  DecimalLiteral d;
  if (!read_decimal<true>(s, e, d)) return nullptr;
  if (d.fits) {
    const std::uint64_t m = d.mantissa;
    const std::int64_t q = d.exponent;
    constexpr std::uint64_t two31 = std::uint64_t{1} << 31;
    if (q >= 0) {
      // A whole number below 2^31 is its own double.
      if (q <= 9 && m < two31 && m * powers_of_ten_int[static_cast<std::size_t>(q)] < two31)
        return put_int_swar(o, rounded_whole(m * powers_of_ten_int[static_cast<std::size_t>(q)], false, negative));
    } else if (q < -19 || m < powers_of_ten_int[static_cast<std::size_t>(-q - 1)]) {
      // Fewer digits than -q: |L| < 0.1, so |x| < 0.5, which gives 0 either way.
      return put_int_swar(o, 0);
    }
    double x;
    if (decimal_to_double(m, q, negative, x)) return put_rounded_swar(o, x);
  }
  return put_rounded_swar(o, literal::real_value(s, d.value_end));
}

}  // namespace fast
