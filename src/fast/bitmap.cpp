// Whitespace bitmaps of whole words, with SSE2 everywhere and AVX2 where the
// processor has it: the loader makes one for every block it reads.
#include "fast/bitmap.h"

#include "system/processor.h"

namespace fast {

BlockMarks space_words_baseline(const char* p, std::size_t words, std::uint64_t* bits) {
  BlockMarks m;
  std::uint64_t odd = 0;
  for (std::size_t w = 0; w < words; ++w, p += 64) {
    const WordMarks marks = word_marks(p);
    bits[w] = marks.space;
    m.lines += static_cast<std::uint64_t>(bit_count(marks.feeds));
    odd |= marks.odd;
  }
  m.text_mode = odd != 0;
  return m;
}

namespace {
#ifdef TALVERO_X86_FORMS
// Line feeds are counted in byte lanes (up to 255 words between sums) and
// CRs and bytes 26 gathered in one vector, so each word costs two
// whitespace masks and nothing more leaves the vector unit.
[[gnu::target("avx2")]] BlockMarks words_avx2(const char* p, std::size_t words, std::uint64_t* bits) {
  const __m256i blank = _mm256_set1_epi8(' ');
  const __m256i tab = _mm256_set1_epi8('\t');
  const __m256i four = _mm256_set1_epi8(4);
  const __m256i feed = _mm256_set1_epi8('\n');
  const __m256i cr = _mm256_set1_epi8('\r');
  const __m256i eot = _mm256_set1_epi8(26);
  BlockMarks m;
  __m256i odd = _mm256_setzero_si256();
  for (std::size_t w = 0; w < words;) {
    __m256i lanes = _mm256_setzero_si256();  // line feeds per byte lane, at most 2 a word
    for (int round = 0; round < 127 && w < words; ++round, ++w, p += 64) {
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
      const __m256i sa = _mm256_sub_epi8(a, tab);  // \t..\r become 0..4
      const __m256i sb = _mm256_sub_epi8(b, tab);
      const __m256i space_a =
          _mm256_or_si256(_mm256_cmpeq_epi8(a, blank), _mm256_cmpeq_epi8(_mm256_min_epu8(sa, four), sa));
      const __m256i space_b =
          _mm256_or_si256(_mm256_cmpeq_epi8(b, blank), _mm256_cmpeq_epi8(_mm256_min_epu8(sb, four), sb));
      bits[w] = static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(space_a))) |
                static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(space_b))) << 32;
      lanes = _mm256_sub_epi8(lanes, _mm256_cmpeq_epi8(a, feed));
      lanes = _mm256_sub_epi8(lanes, _mm256_cmpeq_epi8(b, feed));
      odd = _mm256_or_si256(odd, _mm256_or_si256(_mm256_cmpeq_epi8(a, cr), _mm256_cmpeq_epi8(a, eot)));
      odd = _mm256_or_si256(odd, _mm256_or_si256(_mm256_cmpeq_epi8(b, cr), _mm256_cmpeq_epi8(b, eot)));
    }
    alignas(32) std::uint64_t sums[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(sums), _mm256_sad_epu8(lanes, _mm256_setzero_si256()));
    m.lines += sums[0] + sums[1] + sums[2] + sums[3];
  }
  m.text_mode = _mm256_movemask_epi8(odd) != 0;
  return m;
}
#endif

using Words = BlockMarks (*)(const char*, std::size_t, std::uint64_t*);

Words pick_words() {
#ifdef TALVERO_X86_FORMS
  if (processor::has_avx2()) return words_avx2;
#endif
  return space_words_baseline;
}

}  // namespace

BlockMarks space_words(const char* p, std::size_t words, std::uint64_t* bits) {
  static const Words words_of = pick_words();
  return words_of(p, words, bits);
}

}  // namespace fast
