// Byte scanning a vector or a word at a time: which bytes are whitespace,
// where runs of digits end, how many line feeds a range holds. Callers
// guarantee readable bytes past their data (64 for space_bits, 8 for the
// digit functions) and a NUL byte where their data ends.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TALVERO_SCAN_SSE2 1
#endif

// For the few small functions the hot loops are built from: inlined where
// they are used, they cost no call.
#if defined(__GNUC__)
#define TALVERO_INLINE [[gnu::always_inline]] inline
#else
#define TALVERO_INLINE inline
#endif

namespace scan {

// Whitespace as the C library classifies it in the "C" locale.
TALVERO_INLINE constexpr bool is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
TALVERO_INLINE constexpr bool is_digit(int c) { return static_cast<unsigned>(c - '0') < 10; }


// Bits set in the bytes of w that are not decimal digits.
TALVERO_INLINE std::uint64_t non_digit_bits(std::uint64_t w) {
  std::uint64_t x = w ^ 0x3030303030303030ull;  // digits become 0..9, nothing else does
  return (x & 0xF0F0F0F0F0F0F0F0ull) | (((x & 0x0F0F0F0F0F0F0F0Full) + 0x0606060606060606ull) & 0x1010101010101010ull);
}

// The number of decimal digits that start the 8 bytes at p (0 to 8).
TALVERO_INLINE int leading_digit_count(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  std::uint64_t stop = non_digit_bits(w);
  return stop == 0 ? 8 : std::countr_zero(stop) / 8;
}

// The same, and in *value the number those digits spell.
TALVERO_INLINE int leading_digits(const char* p, std::uint64_t* value) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  std::uint64_t stop = non_digit_bits(w);
  int k = stop == 0 ? 8 : std::countr_zero(stop) / 8;
  // Keep the first k digits as the low end of an 8-digit number, then fold
  // pairs, quads and the two halves.
  std::uint64_t v = k == 0 ? 0 : (w ^ 0x3030303030303030ull) << (8 * (8 - k));
  v = v * 10 + (v >> 8);
  v = (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
       (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >> 32;
  *value = v;
  return k;
}

// Exact powers of ten for real conversion.
inline constexpr double powers_of_ten[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
inline constexpr std::uint64_t powers_of_ten_int[9] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// Scans the real literal at p: optional sign, digits, optional point and
// fraction, optional exponent (a marker without digits included). Returns
// its end and sets *digits when it has a mantissa digit; with convert, also
// sets *value to the correctly rounded double. Returns nullptr, having set
// nothing, when a digit run is 8 long or more, or (with convert) the
// exponent is out of the exact range: those need the general conversion.
// The literal must be followed by a byte that cannot continue it.
template <bool convert>
TALVERO_INLINE const char* real_literal(const char* p, double* value, bool* digits) {
  // Without a branch on the sign, which varies from literal to literal.
  const bool negative = *p == '-';
  p += negative || *p == '+';
  // Up to seven digits before and after the point are taken in one step each.
  std::uint64_t m = 0, part = 0;
  int whole = 0;
  if constexpr (convert)
    whole = leading_digits(p, &m);
  else
    whole = leading_digit_count(p);
  p += whole;
  int fraction = 0;
  if (*p == '.') {
    ++p;
    if constexpr (convert)
      fraction = leading_digits(p, &part);
    else
      fraction = leading_digit_count(p);
    p += fraction;
    m = m * powers_of_ten_int[fraction] + part;
  }
  if (whole == 8 || fraction == 8) return nullptr;
  int exponent = 0;
  const bool found = whole + fraction > 0;
  if (found && (*p == 'e' || *p == 'E')) {
    ++p;
    bool negative_exponent = false;
    if (*p == '+' || *p == '-') negative_exponent = *p++ == '-';
    while (is_digit(*p)) {
      exponent = exponent * 10 + (*p++ - '0');
      if (exponent > 100000) exponent = 100000;  // far beyond any double; the value no longer changes
    }
    if (negative_exponent) exponent = -exponent;
  }
  if (convert && found) {
    // m has at most 14 digits: m * 10^e is correctly rounded by one operation.
    int e = exponent - fraction;
    if (e < -22 || e > 22) return nullptr;
    double v = static_cast<double>(static_cast<std::int64_t>(m));
    v = e < 0 ? v / powers_of_ten[-e] : v * powers_of_ten[e];
    *value = negative ? -v : v;
  }
  *digits = found;
  return p;
}

// Whether the n bytes at p (n at most 16, 16 bytes readable) are a real
// literal without exponent: an optional sign, digits with at most one point
// among them, and a digit somewhere. Decided a vector at a time, without a
// branch on the bytes.
TALVERO_INLINE bool plain_real(const char* p, std::size_t n) {
#ifdef TALVERO_SCAN_SSE2
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i shifted = _mm_sub_epi8(v, _mm_set1_epi8('0'));  // digits become 0..9
  const auto digit = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(9)), shifted)));
  const auto point = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('.'))));
  const auto sign = static_cast<unsigned>(_mm_movemask_epi8(
      _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('-')), _mm_cmpeq_epi8(v, _mm_set1_epi8('+')))));
  const unsigned in = (1u << n) - 1;
  const unsigned points = point & in;
  return ((digit | points | (sign & 1u)) & in) == in && (points & (points - 1)) == 0 && (digit & in) != 0;
#else
  std::size_t i = (n > 0 && (*p == '-' || *p == '+')) ? 1 : 0;
  bool digits = false, point = false;
  for (; i < n; ++i) {
    if (is_digit(p[i])) {
      digits = true;
    } else if (p[i] == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digits;
#endif
}

// The real literal at p by the grammar alone, whatever its digit runs:
// returns its end, or nullptr when it has no mantissa digit; *value_end is
// where the text of its value ends (an exponent marker without digits is
// consumed but adds nothing).
inline const char* real_grammar(const char* p, const char** value_end) {
  if (*p == '+' || *p == '-') ++p;
  const char* mantissa = p;
  while (is_digit(*p)) ++p;
  bool digits = p != mantissa;
  if (*p == '.') {
    const char* fraction = ++p;
    while (is_digit(*p)) ++p;
    digits = digits || p != fraction;
  }
  if (!digits) return nullptr;
  *value_end = p;
  if (*p == 'e' || *p == 'E') {
    ++p;
    if (*p == '+' || *p == '-') ++p;
    const char* exponent = p;
    while (is_digit(*p)) ++p;
    if (p != exponent) *value_end = p;
  }
  return p;
}

// Set bits of w; without assuming a population-count instruction, which
// the baseline x86-64 target lacks, and without a library call.
TALVERO_INLINE int bit_count(std::uint64_t w) {
#if defined(__POPCNT__)
  return std::popcount(w);
#else
  w = w - ((w >> 1) & 0x5555555555555555ull);
  w = (w & 0x3333333333333333ull) + ((w >> 2) & 0x3333333333333333ull);
  w = (w + (w >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<int>((w * 0x0101010101010101ull) >> 56);
#endif
}

// What space_bits found besides whitespace.
struct Marks {
  std::uint64_t lines = 0;  // line feeds
  bool text_mode = false;   // a CR or a byte 26 is there
};

// The marks of the 64 bytes at p: whitespace, line feeds, and CRs or bytes 26.
struct WordMarks {
  std::uint64_t space = 0;
  std::uint64_t feeds = 0;
  std::uint64_t odd = 0;
};
TALVERO_INLINE WordMarks word_marks(const char* p) {
  WordMarks w;
#ifdef TALVERO_SCAN_SSE2
  for (int k = 0; k < 4; ++k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    const __m128i feed = _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'));
    const __m128i blank = _mm_cmpeq_epi8(v, _mm_set1_epi8(' '));
    const __m128i shifted = _mm_sub_epi8(v, _mm_set1_epi8('\t'));  // \t..\r become 0..4
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(4)), shifted);
    const __m128i marks = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8(26)));
    w.space |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(blank, control)))) << (16 * k);
    w.feeds |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(feed))) << (16 * k);
    w.odd |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(marks))) << (16 * k);
  }
#else
  for (int k = 0; k < 64; ++k) {
    const auto c = static_cast<unsigned char>(p[k]);
    w.space |= static_cast<std::uint64_t>(is_space(c)) << k;
    w.feeds |= static_cast<std::uint64_t>(c == '\n') << k;
    w.odd |= static_cast<std::uint64_t>(c == '\r' || c == 26) << k;
  }
#endif
  return w;
}

// The whitespace bits of the `words` whole 64-byte words at p, their line
// feeds counted and their CRs and bytes 26 noted; a vector at a time, with
// the widest vectors the processor has (chosen once).
Marks space_words(const char* p, std::size_t words, std::uint64_t* bits);
// The same with the vectors every x86-64 processor has (tests compare).
Marks space_words_baseline(const char* p, std::size_t words, std::uint64_t* bits);

// Marks the whitespace among the n bytes at p in bits (bit k of word k / 64
// for byte k), then marks byte n as whitespace and leaves every later bit
// clear: a search for whitespace stops at n at the latest, and a search for
// anything else at n + 1. Counts the line feeds among the n bytes and tells
// whether a CR or a byte 26 is there. bits must hold n / 64 + 2 words; 64
// bytes past n must be readable.
inline Marks space_bits(const char* p, std::size_t n, std::uint64_t* bits) {
  const std::size_t whole = n / 64;
  Marks m = whole > 0 ? space_words(p, whole, bits) : Marks{};
  // The last word holds the n % 64 bytes left (maybe none) and byte n.
  const std::uint64_t below_n = (std::uint64_t{1} << (n % 64)) - 1;
  const WordMarks last = word_marks(p + 64 * whole);
  bits[whole] = (last.space & below_n) | (std::uint64_t{1} << (n % 64));
  bits[whole + 1] = 0;
  m.lines += static_cast<std::uint64_t>(bit_count(last.feeds & below_n));
  m.text_mode = m.text_mode || (last.odd & below_n) != 0;
  return m;
}

// The first position at or after i whose bit in bits is set (want_space) or clear.
template <bool want_space>
inline std::size_t next_bit(const std::uint64_t* bits, std::size_t i) {
  std::size_t w = i / 64;
  std::uint64_t word = (want_space ? bits[w] : ~bits[w]) >> (i % 64);
  if (word != 0) return i + static_cast<std::size_t>(std::countr_zero(word));
  for (;;) {
    word = want_space ? bits[++w] : ~bits[++w];
    if (word != 0) return w * 64 + static_cast<std::size_t>(std::countr_zero(word));
  }
}

// The number of bytes equal to c in [p, e).
inline std::uint64_t count(const char* p, const char* e, char c) {
  std::uint64_t n = 0;
#ifdef TALVERO_SCAN_SSE2
  const __m128i needle = _mm_set1_epi8(c);
  while (e - p >= 16) {
    // Per-lane counts fit a byte for up to 255 rounds; then they are summed.
    __m128i lanes = _mm_setzero_si128();
    for (int round = 0; round < 255 && e - p >= 16; ++round, p += 16)
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), needle));
    alignas(16) std::uint64_t sums[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(sums), _mm_sad_epu8(lanes, _mm_setzero_si128()));
    n += sums[0] + sums[1];
  }
#endif
  for (; p != e; ++p) n += (*p == c);
  return n;
}

}  // namespace scan
