// The accelerator's word-at-a-time and vector forms against the plain forms
// they stand for: whitespace bitmaps, real literals, digit checks, byte
// comparisons and integer texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fast/bitmap.h"
#include "fast/swar.h"
#include "fast/vertex_layout.h"
#include "read/real_literal.h"
#include "write/number_text.h"

namespace {

// n bytes drawn from `some`, then 64 readable bytes.
std::string bytes(std::mt19937& g, std::size_t n, std::string_view some) {
  std::string s(n + 64, ' ');
  for (std::size_t k = 0; k < n; ++k) s[k] = some[g() % some.size()];
  return s;
}

// The bytes the bitmaps tell apart, and some they must not take for them.
const std::string marked_bytes(
    "  \t\n\v\f\r\x1a\0\x08\x0e\x1f"
    "0A\x85\xa0\xff",
    17);

TEST(WhitespaceBitmap, MarksEveryByteAndCountsItsLines) {
  std::mt19937 g(11);
  std::vector<std::size_t> sizes;
  for (std::size_t n = 0; n < 300; ++n) sizes.push_back(n);
  for (std::size_t n : {8191u, 8192u, 8193u, 65536u, 100001u}) sizes.push_back(n);
  for (std::size_t n : sizes) {
    std::string s = bytes(g, n, marked_bytes);
    if (n % 7 == 0) std::fill_n(s.begin(), n, '\n');  // every lane counts
    if (n % 5 == 0) std::fill_n(s.begin(), n, 'a');   // nothing to note
    std::vector<std::uint64_t> bits(fast::bitmap_words(n), ~std::uint64_t{0});
    const BlockMarks m = fast::space_bits(s.data(), n, bits.data());
    std::uint64_t lines = 0;
    bool text_mode = false;
    for (std::size_t k = 0; k < bits.size() * 64; ++k) {
      const bool bit = (bits[k / 64] >> (k % 64)) & 1;
      const bool want = k < n ? fast::is_space(static_cast<unsigned char>(s[k])) : k == n;
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
    const std::string s = bytes(g, words * 64, marked_bytes);
    std::vector<std::uint64_t> widest(words), baseline(words);
    const BlockMarks a = fast::space_words(s.data(), words, widest.data());
    const BlockMarks b = fast::space_words_baseline(s.data(), words, baseline.data());
    EXPECT_EQ(widest, baseline) << words;
    EXPECT_EQ(a.lines, b.lines) << words;
    EXPECT_EQ(a.text_mode, b.text_mode) << words;
  }
}

#ifdef TALVERO_SSE2
TEST(WhitespaceBitmap, VectorWordMarksAgreeWithTheScalarOnes) {
  std::mt19937 g(13);
  for (int c = 0; c < 256; ++c) {
    std::string s = bytes(g, 64, marked_bytes);
    s[static_cast<std::size_t>(c) % 64] = static_cast<char>(c);  // every byte value once
    const fast::WordMarks a = fast::word_marks_sse2(s.data()), b = fast::word_marks_scalar(s.data());
    EXPECT_EQ(a.space, b.space) << c;
    EXPECT_EQ(a.feeds, b.feeds) << c;
    EXPECT_EQ(a.odd, b.odd) << c;
  }
}

TEST(PlainReal, VectorFormAgreesWithTheScalarForm) {
  std::mt19937 g(14);
  for (int k = 0; k < 200000; ++k) {
    const std::string s = bytes(g, 16, k % 2 ? "0123456789.-+" : "0123456789.-+e x\n");
    const std::size_t n = g() % 17;
    ASSERT_EQ(fast::plain_real_sse2(s.data(), n), fast::plain_real_scalar(s.data(), n)) << s.substr(0, n);
  }
}

TEST(VertexLayout, VectorComparisonAgreesWithTheScalarOne) {
  std::mt19937 g(15);
  for (int k = 0; k < 100000; ++k) {
    const int chunks = k % 2 ? 4 : 1;
    const std::size_t n = g() % (16 * static_cast<std::size_t>(chunks) + 1);
    std::string a = bytes(g, 64, "ab\n "), b = a;
    for (std::size_t changes = g() % 3; changes > 0; --changes) b[g() % 64] ^= 1;  // before n or not
    ASSERT_EQ(fast::VertexLayout::same_sse2(a.data(), b.data(), n, chunks),
              fast::VertexLayout::same_scalar(a.data(), b.data(), n))
        << k;
  }
}
#endif

// Literals of every form the grammar has, and some it stops in.
std::string literal(std::mt19937& g) {
  auto digits = [&](std::size_t most) {
    std::string d;
    for (std::size_t n = g() % (most + 1); n > 0; --n) d += static_cast<char>('0' + g() % 10);
    return d;
  };
  std::string s = std::string(g() % 3 == 0 ? "-" : g() % 8 == 0 ? "+" : "") + digits(g() % 4 ? 7 : 20);
  if (g() % 4) s += "." + digits(g() % 4 ? 7 : 20);
  if (g() % 4 == 0) s += std::string(g() % 2 ? "e" : "E") + (g() % 3 ? "" : g() % 2 ? "-" : "+") + digits(4);
  if (g() % 8 == 0) s += std::string(1, "x.e+-"[g() % 5]) + digits(2);
  return s;
}

TEST(RealLiteral, FastFormsAgreeWithTheGrammarAndItsValue) {
  auto same = [](double a, double b) { return a == b && std::signbit(a) == std::signbit(b); };
  std::mt19937 g(16);
  std::vector<std::string> cases = {"0",
                                    "-0",
                                    ".5",
                                    "5.",
                                    "-",
                                    "+",
                                    ".",
                                    "-.",
                                    "1e",
                                    "1e+",
                                    "1E-5",
                                    "1.5e308",
                                    "1e999",
                                    "-1e-999",
                                    "1e22",
                                    "1e23",
                                    "9e-22",
                                    "1e-23",
                                    "0x10",
                                    "nan",
                                    "inf",
                                    "12345678",
                                    "1234567.1234567",
                                    "4503599627370497.5",
                                    "0.49999999999999994"};
  for (int k = 0; k < 200000; ++k) cases.push_back(literal(g));
  for (const std::string& c : cases) {
    std::string text = c + " ";
    text.append(64, '\0');
    const char* s = text.data();
    literal::TextCursor in{s};
    const literal::RealScan scan = literal::scan_real(in);
    const double value = scan.digits ? literal::real_value(s, s + scan.value_length) : 0.0;
    double v = -1.0;
    bool digits = !scan.digits;
    if (const char* end = fast::real_literal<true>(s, &v, &digits)) {
      ASSERT_EQ(end - s, static_cast<std::ptrdiff_t>(scan.length)) << c;
      ASSERT_EQ(digits, scan.digits) << c;
      ASSERT_TRUE(!digits || same(v, value)) << c << ": " << v;
    }
    digits = !scan.digits;
    if (const char* end = fast::real_literal<false>(s, &v, &digits)) {
      ASSERT_EQ(end - s, static_cast<std::ptrdiff_t>(scan.length)) << c;
      ASSERT_EQ(digits, scan.digits) << c;
    }
    const char* at = fast::real_at<true>(s, &v);
    ASSERT_EQ(at, scan.digits ? s + scan.length : nullptr) << c;
    ASSERT_TRUE(at == nullptr || same(v, value)) << c << ": " << v;
    ASSERT_EQ(fast::real_at<false>(s, &v), at) << c;
  }
}

TEST(IntegerText, WordAtATimeFormsAgreeWithThePlainOnes) {
  std::mt19937 g(17);
  std::vector<int> ints = {0,   1,    -1,       9,         -9,        10,         -10,     99,     -99,
                           100, -100, 99999999, -99999999, 100000000, -100000000, INT_MAX, INT_MIN};
  for (int k = 0; k < 100000; ++k) ints.push_back(static_cast<int>(g()) >> (g() % 32));
  for (int x : ints) {
    char a[16], b[16];
    ASSERT_EQ(std::string(a, fast::put_int_swar(a, x)), std::string(b, put_int(b, x))) << x;
  }
  std::vector<double> reals = {0.0,        -0.0,        0.5,          -0.5,          0.49999999999999994,
                               99999999.5, -99999999.5, 2147483647.5, -2147483648.5, -2147483648.7,
                               1e20,       -1e20,       DBL_MAX,      -DBL_MAX,      DBL_MIN};
  std::uniform_real_distribution<double> near(-2e8, 2e8);
  for (int k = 0; k < 100000; ++k) reals.push_back(k % 2 ? near(g) : std::ldexp(near(g), static_cast<int>(g() % 64)));
  for (double x : reals) {
    char a[max_number_text + 16], b[max_number_text + 16];
    ASSERT_EQ(std::string(a, fast::put_rounded_swar(a, x)), std::string(b, put_rounded(b, x))) << x;
  }
}

}  // namespace
