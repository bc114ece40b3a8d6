// m * 10^q to the nearest double. Beyond the one-operation cases, the
// method multiplies m by a 128-bit truncation T of 5^q scaled into
// [2^127, 2^128) (fast/powers_of_five.h), and reads the double's 53 bits and
// its rounding bit off the top of the product (after Eisel and Lemire,
// "Number Parsing at a Gigabyte per Second", 2021).
#include "fast/decimal_double.h"

#include <array>
#include <bit>
#include <cfloat>
#include <cstdint>

#include "fast/powers_of_five.h"
#include "fast/swar.h"

namespace fast {

namespace {

constexpr std::uint64_t sign_bit = std::uint64_t{1} << 63;
constexpr std::uint64_t fraction_bits = (std::uint64_t{1} << 52) - 1;
constexpr std::uint64_t largest_finite = 0x7FEFFFFFFFFFFFFFull;

// 5^0 to 5^27, every power of five below 2^63.
constexpr auto powers_of_five_int = [] {
  std::array<std::uint64_t, 28> p{};
  p[0] = 1;
  for (std::size_t k = 1; k < p.size(); ++k) p[k] = p[k - 1] * 5;
  return p;
}();

// floor(q * log2(10)) for |q| up to 400 (checked for every such q when this
// was written), without a floating-point logarithm.
constexpr std::int64_t floor_log2_of_ten_to(std::int64_t q) { return (q * 217706) >> 16; }
static_assert(floor_log2_of_ten_to(1) == 3 && floor_log2_of_ten_to(-1) == -4 && floor_log2_of_ten_to(308) == 1023 &&
              floor_log2_of_ten_to(-342) == -1137);

// m * 10^q for q in [-27, -1] when 5^-q divides m: then it is the whole
// number m / 5^-q scaled by 2^q, which the conversion of an integer rounds
// correctly and the scaling leaves exact.
bool exact_quotient(std::uint64_t m, std::int64_t q, std::uint64_t sign, double& v) {
  const std::uint64_t five = powers_of_five_int[static_cast<std::size_t>(-q)];
  if (m % five != 0) return false;
  const double x = static_cast<double>(m / five) / static_cast<double>(std::uint64_t{1} << -q);
  v = std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) | sign);
  return true;
}

}  // namespace

bool decimal_to_double(std::uint64_t m, std::int64_t q, bool negative, double& v) {
  const std::uint64_t sign = negative ? sign_bit : 0;
  if (m == 0) {
    v = std::bit_cast<double>(sign);
    return true;
  }
#if FLT_EVAL_METHOD == 0
  // m and 10^|q| are both doubles: one operation rounds their product or
  // quotient correctly (where doubles are evaluated as doubles).
  if (m <= (std::uint64_t{1} << 53) && q >= -22 && q <= 22) {
    double x = static_cast<double>(m);
    x = q < 0 ? x / powers_of_ten[-q] : x * powers_of_ten[q];
    v = negative ? -x : x;
    return true;
  }
#endif
  if (q < smallest_power_of_five || q > largest_power_of_five) return false;

  // m = w * 2^-shift with w in [2^63, 2^64), and 5^q = T_exact * 2^-b where
  // T = floor(T_exact), so that the exact product Z_exact = w * T_exact lies
  // in [2^190, 2^192) and w * T in (Z_exact - 2^64, Z_exact].
  const int shift = std::countl_zero(m);
  const std::uint64_t w = m << shift;
  const std::uint64_t* t = powers_of_five[q - smallest_power_of_five];
  Wide z = wide_product(w, t[0]);  // the top 128 bits of w * T, less up to 2^64 from t[1]
  // The double takes the top 54 or 55 bits of z.high (53 and a rounding
  // bit); the 9 or more below them decide nothing unless they are all ones,
  // so that what is missing may carry into the kept ones.
  if ((z.high & 0x1FF) == 0x1FF) {
    const Wide lower = wide_product(w, t[1]);
    z.low += lower.high;
    z.high += z.low < lower.high;
    // Now z = floor(w * T / 2^64) exactly, and floor(Z_exact / 2^64) is z
    // or z + 1 (or z itself where T is exact, q in [0, 55]). Only when z is
    // all ones below the kept bits may the kept bits be one short.
    if ((z.high & 0x1FF) == 0x1FF && z.low == ~std::uint64_t{0} && (q < 0 || q > 55)) {
      // For q in [-27, -1], w * T is then within 2^64 below a multiple of
      // 2^137 while Z_exact = w * 2^(127 + L) / 5^-q (L the length of 5^-q
      // in bits): were Z_exact not that multiple itself, the two would differ
      // by a nonzero multiple of 2^min(127 + L, 137) / 5^-q, more than 2^74.
      // So 5^-q divides m, and the value is exact in a simpler way.
      return q >= -27 && q < 0 && exact_quotient(m, q, sign, v);
    }
  }
  // value = z.high * 2^(E - 62 - upper) with E = floor(q * log2(10)) + 63 +
  // upper - shift, where upper is z.high's top bit.
  const int upper = static_cast<int>(z.high >> 63);
  std::uint64_t bits = z.high >> (upper + 9);  // 54 bits: the double's 53 and the rounding bit
  std::int64_t exponent = floor_log2_of_ten_to(q) + 63 + upper - shift + 1023;  // biased
  if (exponent <= 0) {
    // Below the normal range: 1 - exponent more bits go. No literal of at
    // most 19 digits lies halfway between two subnormals (that needs 5^-q to
    // divide m), so the rounding bit alone decides; rounding may reach the
    // smallest normal number, whose bits follow on.
    if (1 - exponent >= 64) {
      v = std::bit_cast<double>(sign);
      return true;
    }
    bits >>= 1 - exponent;
    v = std::bit_cast<double>(((bits + 1) >> 1) | sign);
    return true;
  }
  // Halfway between two doubles, round to even. Z_exact then has at most 54
  // significant bits and its odd part m' * 5^q (q >= 0) or m' / 5^-q must
  // reach 2^53: only q in [0, 23], where T is exact and z all of Z_exact,
  // and q in [-4, -1], which the test above has sent to exact_quotient.
  if (q >= 0 && q <= 23 && (bits & 3) == 1 && z.low == 0 && (z.high & ((std::uint64_t{1} << (upper + 9)) - 1)) == 0)
    bits &= ~std::uint64_t{1};
  bits = (bits + 1) >> 1;
  if (bits >> 53 != 0) {  // rounded up to the next power of two
    bits >>= 1;
    ++exponent;
  }
  if (exponent >= 2047) {
    v = std::bit_cast<double>(largest_finite | sign);
    return true;
  }
  v = std::bit_cast<double>((static_cast<std::uint64_t>(exponent) << 52) | (bits & fraction_bits) | sign);
  return true;
}

}  // namespace fast
