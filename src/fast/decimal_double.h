// The double nearest a decimal number m * 10^q, for m of at most 19 digits,
// without the general conversion: one floating-point operation where that
// is exact, else 128-bit products with scaled powers of five.
#pragma once

#include <cstdint>

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

// Sets v to m * 10^q rounded to the nearest double (ties to even), with a
// minus sign when negative, or to the largest finite double of that sign
// when it rounds beyond the range, as the reads take reals. False, v left
// as it was, where the general conversion must decide: q out of the table's
// range with m not 0, or (never met for a 64-bit m by published analyses of
// this method) a product too close to a rounding boundary to tell.
bool decimal_to_double(std::uint64_t m, std::int64_t q, bool negative, double& v);

}  // namespace fast
