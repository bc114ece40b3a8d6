// The bytes around a vertex's coordinates, as met in the last vertex in the
// layout a turn took alone: in a drawing they mostly repeat from one vertex to the next
// (keyword, group codes, layer, flags and the whitespace between them), so a
// run compares them as a whole instead of reading their items one by one.
// Identical bytes make identical tokens, so they are read, and written,
// exactly as that vertex's were.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fast/bitmap.h"

namespace fast {

struct VertexLayout {
  // Longest parts kept: the head, and each gap and its output.
  static constexpr std::size_t head_room = 64;
  static constexpr std::size_t gap_room = 16;

  // Keeps part k, the head (k = 0) or a gap, from the bytes [from, to);
  // false when they do not fit its room.
  bool keep(int k, const char* from, const char* to) {
    if (to < from || static_cast<std::size_t>(to - from) > (k == 0 ? head_room : gap_room)) return false;
    length[k] = static_cast<std::uint8_t>(to - from);
    std::memcpy(k == 0 ? head : gaps[k - 1], from, length[k]);
    return true;
  }

  // Whether the bytes at p are the head (64 bytes readable at p).
  [[nodiscard]] TALVERO_ALWAYS_INLINE bool head_at(const char* p) const { return same(p, head, length[0], 4); }
  // Whether the bytes at p are gap k: 0 and 1 after x and y, 2 after z up
  // to the next token (16 bytes readable at p).
  [[nodiscard]] TALVERO_ALWAYS_INLINE bool gap_at(int k, const char* p) const {
    return same(p, gaps[k], length[k + 1], 1);
  }

  bool ready = false;
  std::uint8_t length[4] = {};  // head, gaps
  alignas(16) char head[head_room] = {};
  alignas(16) char gaps[3][gap_room] = {};

  // The first n bytes at p equal those at t (n at most 16 * chunks; 16 *
  // chunks bytes readable at both), a vector at a time.
  TALVERO_ALWAYS_INLINE static bool same(const char* p, const char* t, std::size_t n, int chunks) {
#ifdef TALVERO_SSE2
    return same_sse2(p, t, n, chunks);
#else
    (void)chunks;
    return same_scalar(p, t, n);
#endif
  }
  static bool same_scalar(const char* p, const char* t, std::size_t n) { return std::memcmp(p, t, n) == 0; }
#ifdef TALVERO_SSE2
  TALVERO_ALWAYS_INLINE static bool same_sse2(const char* p, const char* t, std::size_t n, int chunks) {
    std::uint64_t equal = 0;
    for (int k = 0; k < chunks; ++k) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + 16 * k));
      equal |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)))) << (16 * k);
    }
    const std::uint64_t wanted = n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
    return (~equal & wanted) == 0;
  }
#endif
};

}  // namespace fast
