// The conversion of reals to integers that vertex coordinates and grid
// positions share: one half is added, the sum formed exactly, and the sum is
// truncated toward zero.
#pragma once

namespace numeric {

// x + 0.5, the sum formed exactly, truncated toward zero, for finite x with
// |x| < 2^62: 12.5 gives 13, -12.2 gives -11, -12.7 gives -12, and the
// largest double below 0.5 gives 0 (where x + 0.5 in doubles would be 1).
constexpr long long plus_half_truncated(double x) {
  const long long whole = static_cast<long long>(x);  // toward zero
  // Exact, of x's sign: x and whole are within one of each other.
  const double frac = x - static_cast<double>(whole);
  // A sum of 0 or more truncates to its floor; a negative one, at or below
  // -1/2 where whole is not 0, moves up to whole when frac is beyond -1/2.
  // Without a branch on the sign, which varies from one coordinate to the next.
  return whole + static_cast<long long>(x >= 0 ? frac >= 0.5 : (whole != 0) & (frac > -0.5));
}

// The coordinate the result holds for x, as a double: plus_half_truncated
// of it (beyond 2^62 a double is a whole number already). It keeps the
// order of coordinates: x <= y gives as_written(x) <= as_written(y).
constexpr double as_written(double x) {
  return x > -0x1p62 && x < 0x1p62 ? static_cast<double>(plus_half_truncated(x)) : x;
}

// A value that as_written takes to w, a coordinate the result holds below
// 2^52 in size: w itself, or below 0 w - 1/2, as adding a half and
// truncating toward zero moves a negative whole number up by one.
constexpr double written_as(double w) { return w < 0 ? w - 0.5 : w; }

static_assert(as_written(written_as(-12)) == -12 && as_written(written_as(0)) == 0 && as_written(written_as(7)) == 7);
static_assert(plus_half_truncated(12.5) == 13 && plus_half_truncated(12.49) == 12);
static_assert(plus_half_truncated(-12.2) == -11 && plus_half_truncated(-12.7) == -12);
static_assert(plus_half_truncated(-12.5) == -12 && plus_half_truncated(0.49999999999999994) == 0);

}  // namespace numeric
