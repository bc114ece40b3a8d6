// Text mode's line ends. Drawings written with CR LF line ends hold a CR
// every few bytes: they are taken out of the block as it is loaded, 16
// bytes at a time where the processor can shuffle bytes (SSSE3), else a
// word at a time, chosen once.
#include "read/line_ends.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "system/processor.h"

// 8 bytes at a time, in a word, each CR found moving the bytes after it
// down one (every byte left lies before where the next 8 are read).
std::size_t drop_cr_words(char* p, std::size_t n) {
  char* first = static_cast<char*>(std::memchr(p, '\r', n));
  if (first == nullptr) return n;
  char* out = first;
  const char* in = first;
  const char* const end = p + n;
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7Full, high = 0x8080808080808080ull;
    for (; end - in >= 8; in += 8) {
      std::uint64_t w;
      std::memcpy(&w, in, 8);
      const std::uint64_t x = w ^ 0x0D0D0D0D0D0D0D0Dull;
      std::uint64_t crs = ~(((x & low7) + low7) | x) & high;  // the top bit of each CR byte, no other
      int kept = 8;
      while (crs != 0) {
        const std::uint64_t below = ((crs & (0 - crs)) >> 7) - 1;  // the bytes before the first CR
        w = (w & below) | ((w >> 8) & ~below);
        crs = (crs & below) | ((crs >> 8) & ~below);
        --kept;
      }
      std::memcpy(out, &w, 8);
      out += kept;
    }
  }
  for (; in != end; ++in) {
    *out = *in;
    out += (*in != '\r');
  }
  return static_cast<std::size_t>(out - p);
}

namespace {

#ifdef TALVERO_X86_FORMS
// For each set of CRs among 8 bytes (bit k: byte k), where the bytes kept
// come from, in order, and how many they are.
struct Keep {
  std::array<std::uint64_t, 256> from{};
  std::array<std::uint8_t, 256> count{};
};
constexpr Keep keep = [] {
  Keep t;
  for (unsigned m = 0; m < 256; ++m) {
    unsigned kept = 0;
    for (unsigned k = 0; k < 8; ++k)
      if ((m >> k & 1u) == 0) t.from[m] |= std::uint64_t{k} << (8 * kept++);
    t.count[m] = static_cast<std::uint8_t>(kept);
  }
  return t;
}();

// 16 bytes at a time: each half's bytes that are not CRs shuffled to its
// start, and each half stored where the bytes kept so far end (never past
// the 16 bytes read).
[[gnu::target("ssse3")]] std::size_t drop_cr_shuffled(char* p, std::size_t n) {
  char* out = p;
  const char* in = p;
  const char* const end = p + n;
  const __m128i cr = _mm_set1_epi8('\r');
  for (; end - in >= 16; in += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const auto crs = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr)));
    if (crs == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
      out += 16;
      continue;
    }
    const unsigned low = crs & 0xFF, high = crs >> 8;
    const __m128i order = _mm_set_epi64x(static_cast<long long>(keep.from[high] + 0x0808080808080808ull),
                                         static_cast<long long>(keep.from[low]));
    const __m128i kept = _mm_shuffle_epi8(v, order);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), kept);
    out += keep.count[low];
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_unpackhi_epi64(kept, kept));
    out += keep.count[high];
  }
  // The last bytes, fewer than 16, moved down first.
  const auto rest = static_cast<std::size_t>(end - in);
  std::memmove(out, in, rest);
  return static_cast<std::size_t>(out - p) + drop_cr_words(out, rest);
}

#endif

using Drop = std::size_t (*)(char*, std::size_t);

Drop pick_drop() {
#ifdef TALVERO_X86_FORMS
  if (processor::has_ssse3()) return drop_cr_shuffled;
#endif
  return drop_cr_words;
}

}  // namespace

std::size_t drop_cr(char* p, std::size_t n) {
  static const Drop drop = pick_drop();
  return drop(p, n);
}
