// Conversions of reals to the integers the result holds, and their decimal text.
#pragma once

#include <string>

// Longest text any of the functions below produces, sign included.
inline constexpr int max_number_text = 340;

char* put_int_any(char* p, int v);

// Writes the decimal text of v at p and returns the end.
inline char* put_int(char* p, int v) {
  if (static_cast<unsigned>(v) < 10) {
    *p = static_cast<char>('0' + v);
    return p + 1;
  }
  if (static_cast<unsigned>(v) < 100) {
    p[0] = static_cast<char>('0' + v / 10);
    p[1] = static_cast<char>('0' + v % 10);
    return p + 2;
  }
  return put_int_any(p, v);
}

// Writes the exact integer of x + 0.5 (the sum taken exactly) truncated toward
// zero: 12.5 gives 13, -12.2 gives -11, the largest double below 0.5 gives 0.
// Room for max_number_text bytes is needed at p.
char* put_rounded(char* p, double x);

// Writes the exact integer of x truncated toward zero (-0.7 gives 0).
char* put_truncated(char* p, double x);

// x + 0.5 (the sum taken exactly) truncated toward zero, for |x| < 2^31.
inline long long rounded_small(double x) {
  auto t = static_cast<long long>(x);
  if (x < static_cast<double>(t)) --t;  // t = floor(x)
  double frac = x - static_cast<double>(t);
  long long r = t + (frac >= 0.5 ? 1 : 0);
  if (x < -0.5 && frac != 0.5) ++r;
  return r;
}

// Writes x with six decimals, as the console shows extents.
char* put_fixed6(char* p, double x);

// The same as text, for tests and messages.
std::string rounded_text(double x);
std::string truncated_text(double x);
