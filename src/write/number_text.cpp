// Exact integer text: doubles beyond 2^62 are whole numbers, written in full.
#include "write/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace {

constexpr double two62 = 4611686018427387904.0;

// The full decimal text of a whole-valued double.
char* put_whole(char* p, double whole) {
  return std::to_chars(p, p + max_number_text, whole, std::chars_format::fixed, 0).ptr;
}

}  // namespace

char* put_rounded_whole(char* p, double x) {
  if (std::fabs(x) < two62) return put_i64(p, numeric::plus_half_truncated(x));
  // x is whole: x + 0.5 truncates to x when positive and to x + 1 when negative.
  char* e = put_whole(p, x);
  if (x > 0) return e;
  // Subtract one from the magnitude, digit by digit.
  char* d = e - 1;
  while (*d == '0') *d-- = '9';
  --*d;
  if (d == p + 1 && *d == '0') {  // a leading zero appeared (-1e19): close the gap
    for (char* s = d; s + 1 != e; ++s) *s = s[1];
    --e;
  }
  return e;
}

char* put_truncated(char* p, double x) {
  if (std::fabs(x) < 9.0e18) return put_i64(p, static_cast<std::int64_t>(x));
  return put_whole(p, std::trunc(x));
}

char* put_fixed6(char* p, double x) {
  return std::to_chars(p, p + max_number_text, x, std::chars_format::fixed, 6).ptr;
}

std::string rounded_text(double x) {
  char b[max_number_text];
  return std::string(b, put_rounded(b, x));
}

std::string truncated_text(double x) {
  char b[max_number_text];
  return std::string(b, put_truncated(b, x));
}
