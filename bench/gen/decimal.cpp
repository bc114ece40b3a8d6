#include "gen/decimal.h"

#include <array>
#include <cstring>

namespace {

// 10^0 to 10^18.
constexpr std::array<std::int64_t, 19> kPow10 = [] {
  std::array<std::int64_t, 19> p{};
  p[0] = 1;
  for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
  return p;
}();

std::uint64_t magnitude(std::int64_t v) {
  return v < 0 ? static_cast<std::uint64_t>(-v) : static_cast<std::uint64_t>(v);
}

int digit_count(std::uint64_t v) {
  int n = 1;
  while (v >= 10) {
    v /= 10;
    ++n;
  }
  return n;
}

// The value as a whole part (rounded down) and a fraction in units of 10^-kMaxFrac.
struct Parts {
  std::int64_t whole;
  std::int64_t fraction;
  auto operator<=>(const Parts&) const = default;
};

Parts parts(const Real& r) {
  const std::int64_t unit = kPow10[static_cast<std::size_t>(r.frac)];
  std::int64_t whole = r.mantissa / unit;
  std::int64_t fraction = r.mantissa % unit;
  if (fraction < 0) {
    fraction += unit;
    --whole;
  }
  return Parts{whole, fraction * kPow10[static_cast<std::size_t>(kMaxFrac - r.frac)]};
}

}  // namespace

std::int64_t pow10(int n) { return kPow10[static_cast<std::size_t>(n)]; }

std::strong_ordering compare(const Real& a, const Real& b) { return parts(a) <=> parts(b); }

Real shortest(Real r, int min_frac) {
  while (r.frac > min_frac && r.mantissa % 10 == 0) {
    r.mantissa /= 10;
    --r.frac;
  }
  r.style = Style::plain;
  return r;
}

Real fifteen_digits(std::int64_t pico) {
  std::uint64_t mag = magnitude(pico);
  int frac = 12;
  const int excess = digit_count(mag) - 15;
  if (excess > 0) {
    const auto unit = static_cast<std::uint64_t>(kPow10[static_cast<std::size_t>(excess)]);
    mag = (mag + unit / 2) / unit;
    frac -= excess;
    if (mag == static_cast<std::uint64_t>(kPow10[15])) {  // rounded up to one more digit
      mag /= 10;
      --frac;
    }
  }
  const auto m = static_cast<std::int64_t>(mag);
  return shortest(Real{pico < 0 ? -m : m, frac, Style::plain}, 0);
}

char* put_digits(char* p, std::uint64_t v) {
  char tmp[24];
  int n = 0;
  do {
    tmp[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n > 0) *p++ = tmp[--n];
  return p;
}

char* put_real(char* p, const Real& r) {
  const std::uint64_t mag = magnitude(r.mantissa);
  if (r.mantissa < 0) *p++ = '-';

  if (r.style != Style::plain && mag != 0) {
    // d.ddddde±x, every digit of the mantissa kept.
    char digits[24];
    char* end = put_digits(digits, mag);
    const int nd = static_cast<int>(end - digits);
    *p++ = digits[0];
    *p++ = '.';
    if (nd == 1) {
      *p++ = '0';
    } else {
      std::memcpy(p, digits + 1, static_cast<std::size_t>(nd - 1));
      p += nd - 1;
    }
    *p++ = r.style == Style::exp_upper ? 'E' : 'e';
    const int exponent = nd - 1 - r.frac;
    if (exponent < 0)
      *p++ = '-';
    else if (r.style == Style::exp_signed)
      *p++ = '+';
    const auto e = static_cast<std::uint64_t>(exponent < 0 ? -exponent : exponent);
    if (r.style == Style::exp_signed && e < 10) *p++ = '0';
    return put_digits(p, e);
  }

  const auto scale = static_cast<std::uint64_t>(kPow10[static_cast<std::size_t>(r.frac)]);
  p = put_digits(p, mag / scale);
  if (r.frac == 0) return p;
  *p++ = '.';
  std::uint64_t fraction = mag % scale;
  for (int i = r.frac - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  return p + r.frac;
}
