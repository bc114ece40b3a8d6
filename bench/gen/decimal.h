// Decimal numbers as drawings write them. A value is mantissa / 10^frac, held on integers so
// that the text written is exact and no floating-point or library behaviour is involved.
#pragma once

#include <compare>
#include <cstdint>

inline constexpr int kMaxFrac = 17;
inline constexpr int kMaxRealText = 32;  // bytes put_real may write

// 10^n for n in [0, 18].
std::int64_t pow10(int n);

enum class Style {
  plain,       // 123.456: `frac` fractional digits (no point when frac is 0)
  exp_lower,   // 1.23456e2: every mantissa digit kept, the exponent without sign or padding
  exp_upper,   // 1.23456E2
  exp_signed,  // 1.23456e+02: the exponent as C's %e writes it, a sign and at least two digits
};

struct Real {
  std::int64_t mantissa = 0;  // |mantissa| < 10^18
  int frac = 0;               // 0 to kMaxFrac
  Style style = Style::plain;

  bool operator==(const Real&) const = default;
};

// Orders by value, whatever the notation.
std::strong_ordering compare(const Real& a, const Real& b);

// The same value in plain notation without trailing fractional zeros, keeping at least
// `min_frac` fractional digits.
Real shortest(Real r, int min_frac);

// A value given in units of 10^-12, rounded to 15 significant digits (half away from zero) and
// written as printf's %.15g writes it: plain, no trailing zeros, no point for a whole number.
// Any 15-digit decimal survives the trip through a double, so this is the text a program
// printing the nearest double with %.15g writes.
Real fifteen_digits(std::int64_t pico);

// Decimal digits of v at p; returns the end.
char* put_digits(char* p, std::uint64_t v);

// The text of r at p (at most kMaxRealText bytes); returns the end.
char* put_real(char* p, const Real& r);
