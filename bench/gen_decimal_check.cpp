// gen_decimal_check: the generator's number texts (gen/decimal.h) against the C library, on
// values from the generator's own random sequence. Says what it checked, or the first texts
// that differ, and fails then. bench/run runs it before making a corpus.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gen/decimal.h"
#include "gen/rng.h"

namespace {

std::string text(const Real& r) {
  char buf[kMaxRealText];
  return std::string(buf, put_real(buf, r));
}

int digit_count(std::uint64_t v) {
  int n = 1;
  for (; v >= 10; v /= 10) ++n;
  return n;
}

// A magnitude of 1 to `most` digits, the count itself drawn evenly.
std::int64_t any_magnitude(Rng& rng, int least, int most) {
  const int digits = static_cast<int>(rng.range(least, most));
  return rng.range(digits == 1 ? 0 : pow10(digits - 1), pow10(digits) - 1);
}

bool fail(const char* what, const std::string& ours, const std::string& theirs) {
  std::fprintf(stderr, "gen_decimal_check: %s: \"%s\", expected \"%s\"\n", what, ours.c_str(), theirs.c_str());
  return false;
}

// fifteen_digits writes the 15-digit rounding of its value, which printf's %.15g writes back
// unchanged from the nearest double (values from 1e-4 up, where %.15g has no exponent).
bool check_fifteen_digits(Rng& rng) {
  for (int n = 0; n < 200000; ++n) {
    const std::int64_t mag = any_magnitude(rng, 9, 18), pico = rng.below(2) ? -mag : mag;
    const Real r = fifteen_digits(pico);
    const std::string ours = text(r);
    char back[64];
    std::snprintf(back, sizeof back, "%.15g", std::strtod(ours.c_str(), nullptr));
    if (ours != back) return fail("not as %.15g writes it back", ours, back);
    const std::int64_t unit = pow10(12 - r.frac), exact = r.mantissa * unit;
    const std::int64_t off = exact > pico ? exact - pico : pico - exact;
    const auto m = static_cast<std::uint64_t>(r.mantissa < 0 ? -r.mantissa : r.mantissa);
    if (digit_count(m) > 15 || 2 * off > unit || (2 * off == unit && (exact < 0) != (exact < pico)))
      return fail("not the 15-digit rounding", ours, std::to_string(pico) + "e-12");
  }
  return true;
}

// The exponent forms are what printf's %.*e writes of the same digits (up to 15 of them, which
// any double keeps); the plain form is the digits with the point put back.
bool check_forms(Rng& rng) {
  for (int n = 0; n < 200000; ++n) {
    const std::int64_t mag = any_magnitude(rng, 1, 15), mantissa = rng.below(2) ? -mag : mag;
    const int frac = static_cast<int>(rng.range(0, kMaxFrac));
    const std::string plain = text(Real{mantissa, frac, Style::plain});
    const double value = std::strtod(plain.c_str(), nullptr);
    const int precision = digit_count(static_cast<std::uint64_t>(mag)) - 1;
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.*e", precision == 0 ? 1 : precision, value);
    const std::string ours = text(Real{mantissa, frac, Style::exp_signed});
    if (mag != 0 && ours != expected) return fail("exponent form", ours, expected);
    std::snprintf(expected, sizeof expected, "%.*f", frac, value);
    if (plain != expected) return fail("plain form", plain, expected);
  }
  return true;
}

// compare() orders by value: against exact integers on a common scale (10^-9).
bool check_order(Rng& rng) {
  for (int n = 0; n < 200000; ++n) {
    Real r[2];
    std::int64_t scaled[2];
    for (int k = 0; k < 2; ++k) {
      const std::int64_t mag = any_magnitude(rng, 1, 9);
      const int frac = static_cast<int>(rng.range(0, 9));
      r[k] = Real{rng.below(2) ? -mag : mag, frac, rng.below(2) ? Style::plain : Style::exp_upper};
      scaled[k] = r[k].mantissa * pow10(9 - frac);
    }
    if ((compare(r[0], r[1]) < 0) != (scaled[0] < scaled[1]) || (compare(r[0], r[1]) == 0) != (scaled[0] == scaled[1]))
      return fail("order", text(r[0]) + " against " + text(r[1]), "the other way");
  }
  return true;
}

}  // namespace

int main() {
  Rng rng(20240611);
  if (!check_fifteen_digits(rng) || !check_forms(rng) || !check_order(rng)) return 1;
  std::puts("gen_decimal_check: 600000 numbers written as the C library writes them, and ordered by value");
  return 0;
}
