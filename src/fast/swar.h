// Numbers a word at a time (SWAR: SIMD within a register): the digits that
// start 8 bytes, their value, and plain real literals told a vector at a
// time. Each is a faster form of something the general reads do byte by
// byte; the tests hold them to those (read/real_literal.h).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fast/bitmap.h"
#include "numeric/rounding.h"
#include "read/characters.h"
#include "system/inlining.h"
#include "write/number_text.h"

namespace fast {

// The 8 bytes at p as a word whose lowest byte is p[0], on hosts of either
// byte order: the word-at-a-time forms below count bytes from the low end.
TALVERO_ALWAYS_INLINE std::uint64_t load_le64(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  if constexpr (std::endian::native == std::endian::big) {
    w = ((w & 0x00FF00FF00FF00FFull) << 8) | ((w >> 8) & 0x00FF00FF00FF00FFull);
    w = ((w & 0x0000FFFF0000FFFFull) << 16) | ((w >> 16) & 0x0000FFFF0000FFFFull);
    w = (w << 32) | (w >> 32);
  }
  return w;
}

// Bits set in the bytes of w that are not decimal digits.
TALVERO_ALWAYS_INLINE std::uint64_t non_digit_bits(std::uint64_t w) {
  std::uint64_t x = w ^ 0x3030303030303030ull;  // digits become 0..9, nothing else does
  return (x & 0xF0F0F0F0F0F0F0F0ull) | (((x & 0x0F0F0F0F0F0F0F0Full) + 0x0606060606060606ull) & 0x1010101010101010ull);
}

// The number of decimal digits that start the 8 bytes at p (0 to 8).
TALVERO_ALWAYS_INLINE int leading_digit_count(const char* p) {
  std::uint64_t stop = non_digit_bits(load_le64(p));
  return stop == 0 ? 8 : std::countr_zero(stop) / 8;
}

// The number that 8 digit values (0 to 9, one a byte, the first the most
// significant) spell: pairs, quads and the two halves folded.
TALVERO_ALWAYS_INLINE std::uint64_t eight_digit_value(std::uint64_t v) {
  v = v * 10 + (v >> 8);
  return (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
          (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
         32;
}

// The number that the first k (1 to 8) digits of w spell (w as load_le64
// gives it): they are moved to the low end of an 8-digit number.
TALVERO_ALWAYS_INLINE std::uint64_t first_digits_value(std::uint64_t w, int k) {
  return eight_digit_value((w ^ 0x3030303030303030ull) << (8 * (8 - k)));
}

// The same, and in *value the number those digits spell.
TALVERO_ALWAYS_INLINE int leading_digits(const char* p, std::uint64_t* value) {
  const std::uint64_t w = load_le64(p);
  std::uint64_t stop = non_digit_bits(w);
  int k = stop == 0 ? 8 : std::countr_zero(stop) / 8;
  *value = k == 0 ? 0 : first_digits_value(w, k);
  return k;
}

// The end of the run of digits at p, 8 bytes at a time (8 bytes must be
// readable past the run).
TALVERO_ALWAYS_INLINE const char* digit_run_end(const char* p) {
  for (;; p += 8)
    if (const std::uint64_t stop = non_digit_bits(load_le64(p)); stop != 0) return p + std::countr_zero(stop) / 8;
}

// The first byte from p on that is not the digit 0 (8 bytes readable past it).
TALVERO_ALWAYS_INLINE const char* past_zeros(const char* p) {
  for (;; p += 8)
    if (const std::uint64_t other = load_le64(p) ^ 0x3030303030303030ull; other != 0)
      return p + std::countr_zero(other) / 8;
}

// Exact powers of ten for real conversion.
inline constexpr double powers_of_ten[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
// 10^0 to 10^19, every power of ten below 2^64.
inline constexpr auto powers_of_ten_int = [] {
  std::array<std::uint64_t, 20> p{};
  p[0] = 1;
  for (std::size_t k = 1; k < p.size(); ++k) p[k] = p[k - 1] * 10;
  return p;
}();

// Whether the n bytes at p (n at most 16, 16 bytes readable) are a real
// literal without exponent: an optional sign, digits with at most one point
// among them, and a digit somewhere; and where its point is (n when it has
// none). A byte at a time:
inline bool plain_real_scalar(const char* p, std::size_t n, std::size_t& point) {
  std::size_t i = (n > 0 && (*p == '-' || *p == '+')) ? 1 : 0;
  bool digits = false;
  point = n;
  for (; i < n; ++i) {
    if (is_digit(p[i])) {
      digits = true;
    } else if (p[i] == '.' && point == n) {
      point = i;
    } else {
      return false;
    }
  }
  return digits;
}

#ifdef TALVERO_SSE2
// The same a vector at a time, without a branch on the bytes.
TALVERO_ALWAYS_INLINE bool plain_real_sse2(const char* p, std::size_t n, std::size_t& point_at) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i shifted = _mm_sub_epi8(v, _mm_set1_epi8('0'));  // digits become 0..9
  const auto digit =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(9)), shifted)));
  const auto point = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('.'))));
  const unsigned sign = static_cast<unsigned>(*p == '-' || *p == '+');  // only the first byte may be one
  const unsigned in = (1u << n) - 1;
  const unsigned points = point & in;
  point_at = points == 0 ? n : static_cast<std::size_t>(std::countr_zero(points));
  return ((digit | points | sign) & in) == in && (points & (points - 1)) == 0 && (digit & in) != 0;
}
#endif

TALVERO_ALWAYS_INLINE bool plain_real(const char* p, std::size_t n, std::size_t& point) {
#ifdef TALVERO_SSE2
  return plain_real_sse2(p, n, point);
#else
  return plain_real_scalar(p, n, point);
#endif
}
TALVERO_ALWAYS_INLINE bool plain_real(const char* p, std::size_t n) {
  std::size_t point;
  return plain_real(p, n, point);
}

}  // namespace fast
