// The double nearest a decimal number m * 10^q in one floating-point
// operation, where that is exact; the rest is left to the general
// conversion (the library's, itself exact and fast). And 128-bit products,
// for dividing by powers of ten through a multiplication.
#pragma once

#include <bit>
#include <cfloat>
#include <cstdint>

#include "fast/swar.h"
#include "system/inlining.h"

namespace fast {

// A 128-bit number as two halves.
struct Wide {
  std::uint64_t high;
  std::uint64_t low;
};

// a * b in full, from 32-bit halves: for hosts without a 128-bit type.
constexpr Wide wide_product_portable(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
  const std::uint64_t low = a0 * b0, cross1 = a1 * b0, cross0 = a0 * b1;
  const std::uint64_t middle = (low >> 32) + (cross1 & 0xFFFFFFFFu) + (cross0 & 0xFFFFFFFFu);
  return {a1 * b1 + (cross1 >> 32) + (cross0 >> 32) + (middle >> 32), (middle << 32) | (low & 0xFFFFFFFFu)};
}

#ifdef __SIZEOF_INT128__
__extension__ using uint128 = unsigned __int128;
#endif

// a * b in full.
TALVERO_ALWAYS_INLINE Wide wide_product(std::uint64_t a, std::uint64_t b) {
#ifdef __SIZEOF_INT128__
  const uint128 p = static_cast<uint128>(a) * b;
  return {static_cast<std::uint64_t>(p >> 64), static_cast<std::uint64_t>(p)};
#else
  return wide_product_portable(a, b);
#endif
}

// Sets v to m * 10^q rounded to the nearest double, with a minus sign when
// negative, where one operation does it exactly: m and 10^|q| are both
// doubles (m at most 2^53, |q| at most 22), so their product or quotient is
// correctly rounded (where doubles are evaluated as doubles). False, v left
// as it was, where the general conversion must decide.
TALVERO_ALWAYS_INLINE bool decimal_to_double(std::uint64_t m, std::int64_t q, bool negative, double& v) {
#if FLT_EVAL_METHOD == 0
  if (m <= (std::uint64_t{1} << 53) && q >= -22 && q <= 22) {
    double x = static_cast<double>(m);
    x = q < 0 ? x / powers_of_ten[-q] : x * powers_of_ten[q];
    v = negative ? -x : x;
    return true;
  }
#else
  (void)m, (void)q, (void)negative, (void)v;
#endif
  return false;
}

}  // namespace fast
