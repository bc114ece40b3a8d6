// The powers of five the exact decimal conversion scales by, as 128-bit
// fractions (tools/make-powers-of-five writes their table).
#pragma once

#include <cstdint>

namespace fast {

// Past these, a literal of at most 19 significant digits is beyond the
// double range or below half the smallest subnormal.
inline constexpr int smallest_power_of_five = -342;
inline constexpr int largest_power_of_five = 308;

// Entry q - smallest_power_of_five: floor(5^q * 2^(127 - floor(log2 5^q))),
// which lies in [2^127, 2^128), as {high, low} halves. Exact for q in
// [0, 55]; below 5^q's scaled value by less than one unit otherwise.
extern const std::uint64_t powers_of_five[largest_power_of_five - smallest_power_of_five + 1][2];

}  // namespace fast
