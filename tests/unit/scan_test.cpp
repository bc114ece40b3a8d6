// The whitespace bitmaps the loader makes, against the bytes one by one,
// with the widest vectors the processor has and with the baseline ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "scan.h"

namespace {

// Bytes drawn mostly from the ones the bitmaps tell apart.
std::string bytes(std::mt19937& g, std::size_t n) {
  static const char some[] = {' ', '\t', '\n', '\v', '\f', '\r', 26, 0, 8, 14, 31, '0', 'A', '\x85', '\xa0', '\xff'};
  std::string s(n + 64, 'x');  // 64 readable bytes past n
  for (std::size_t k = 0; k < n; ++k) s[k] = some[g() % sizeof some];
  return s;
}

TEST(WhitespaceBitmap, MarksEveryByteAndCountsItsLines) {
  std::mt19937 g(11);
  std::vector<std::size_t> sizes;
  for (std::size_t n = 0; n < 300; ++n) sizes.push_back(n);
  for (std::size_t n : {8191u, 8192u, 8193u, 65536u, 100001u}) sizes.push_back(n);
  for (std::size_t n : sizes) {
    std::string s = bytes(g, n);
    if (n % 7 == 0) std::fill(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n), '\n');  // every lane counts
    if (n % 5 == 0) std::fill(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n), 'a');   // nothing to note
    std::vector<std::uint64_t> bits(n / 64 + 2, ~std::uint64_t{0});
    const scan::Marks m = scan::space_bits(s.data(), n, bits.data());
    std::uint64_t lines = 0;
    bool text_mode = false;
    for (std::size_t k = 0; k < bits.size() * 64; ++k) {
      const bool bit = (bits[k / 64] >> (k % 64)) & 1;
      const bool want = k < n ? scan::is_space(static_cast<unsigned char>(s[k])) : k == n;
      ASSERT_EQ(bit, want) << "n " << n << ", byte " << k;
      if (k < n) {
        lines += s[k] == '\n';
        text_mode = text_mode || s[k] == '\r' || s[k] == 26;
      }
    }
    EXPECT_EQ(m.lines, lines) << n;
    EXPECT_EQ(m.text_mode, text_mode) << n;
  }
}

TEST(WhitespaceBitmap, WidestVectorsAgreeWithTheBaseline) {
  std::mt19937 g(12);
  for (std::size_t words : {1u, 2u, 126u, 127u, 128u, 255u, 1000u}) {
    const std::string s = bytes(g, words * 64);
    std::vector<std::uint64_t> widest(words), baseline(words);
    const scan::Marks a = scan::space_words(s.data(), words, widest.data());
    const scan::Marks b = scan::space_words_baseline(s.data(), words, baseline.data());
    EXPECT_EQ(widest, baseline) << words;
    EXPECT_EQ(a.lines, b.lines) << words;
    EXPECT_EQ(a.text_mode, b.text_mode) << words;
  }
}

}  // namespace
