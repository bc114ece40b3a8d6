// Whitespace bitmaps (SIMD): one bit per byte of a loaded block, set for
// whitespace, made 16, 32 or 64 bytes at a time with the widest vectors the
// processor has. Bulk runs find token starts and ends in them a word at a
// time instead of a byte at a time. Made while the block is loaded, they
// also count its line feeds and tell whether it holds CRs or bytes 26.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "read/characters.h"
#include "read/reader.h"
#include "system/inlining.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TALVERO_SSE2 1
#endif

namespace fast {

// Set bits of w; without assuming a population-count instruction, which
// the baseline x86-64 target lacks, and without a library call.
TALVERO_ALWAYS_INLINE int bit_count(std::uint64_t w) {
#if defined(__POPCNT__)
  return std::popcount(w);
#else
  w = w - ((w >> 1) & 0x5555555555555555ull);
  w = (w & 0x3333333333333333ull) + ((w >> 2) & 0x3333333333333333ull);
  w = (w + (w >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<int>((w * 0x0101010101010101ull) >> 56);
#endif
}

// The marks of the 64 bytes at p: whitespace, line feeds, and CRs or bytes 26.
struct WordMarks {
  std::uint64_t space = 0;
  std::uint64_t feeds = 0;
  std::uint64_t odd = 0;
};

// A byte at a time: what the vector forms must agree with.
inline WordMarks word_marks_scalar(const char* p) {
  WordMarks w;
  for (int k = 0; k < 64; ++k) {
    const auto c = static_cast<unsigned char>(p[k]);
    w.space |= static_cast<std::uint64_t>(is_space(c)) << k;
    w.feeds |= static_cast<std::uint64_t>(c == '\n') << k;
    w.odd |= static_cast<std::uint64_t>(c == '\r' || c == 26) << k;
  }
  return w;
}

#ifdef TALVERO_SSE2
TALVERO_ALWAYS_INLINE WordMarks word_marks_sse2(const char* p) {
  WordMarks w;
  for (int k = 0; k < 4; ++k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    const __m128i feed = _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'));
    const __m128i blank = _mm_cmpeq_epi8(v, _mm_set1_epi8(' '));
    const __m128i shifted = _mm_sub_epi8(v, _mm_set1_epi8('\t'));  // \t..\r become 0..4
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(4)), shifted);
    const __m128i marks = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')), _mm_cmpeq_epi8(v, _mm_set1_epi8(26)));
    w.space |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(blank, control))))
               << (16 * k);
    w.feeds |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(feed))) << (16 * k);
    w.odd |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(marks))) << (16 * k);
  }
  return w;
}
#endif

TALVERO_ALWAYS_INLINE WordMarks word_marks(const char* p) {
#ifdef TALVERO_SSE2
  return word_marks_sse2(p);
#else
  return word_marks_scalar(p);
#endif
}

// The whitespace bits of the `words` whole 64-byte words at p, their line
// feeds counted and their CRs and bytes 26 noted; with the widest vectors
// the processor has (AVX2 where there, chosen once).
BlockMarks space_words(const char* p, std::size_t words, std::uint64_t* bits);
// The same with the vectors every x86-64 processor has (tests compare).
BlockMarks space_words_baseline(const char* p, std::size_t words, std::uint64_t* bits);

// Marks the whitespace among the n bytes at p in bits (bit k of word k / 64
// for byte k), then marks byte n as whitespace and leaves every later bit
// clear: a search for whitespace stops at n at the latest, and a search for
// anything else at n + 1. Counts the line feeds among the n bytes and tells
// whether a CR or a byte 26 is there. bits must hold n / 64 + 2 words; 64
// bytes past n must be readable.
inline BlockMarks space_bits(const char* p, std::size_t n, std::uint64_t* bits) {
  const std::size_t whole = n / 64;
  BlockMarks m = whole > 0 ? space_words(p, whole, bits) : BlockMarks{};
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

// A loaded block as bulk runs see it: its bytes, the read position, and its
// whitespace bitmap (the byte at end counts as whitespace, and 8 bytes of
// the bitmap are readable from any byte offset up to end + 1).
struct MarkedBlock {
  const char* base;
  const char* pos;
  const char* end;
  const std::uint64_t* space;
};

// The bitmap words a block of `capacity` bytes needs.
inline std::size_t bitmap_words(std::size_t capacity) { return capacity / 64 + 2; }

}  // namespace fast
