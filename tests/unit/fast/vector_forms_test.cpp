// The accelerator's word-at-a-time and vector forms against the plain forms
// they stand for: whitespace bitmaps, real literals, digit checks, byte
// comparisons, integer texts, and the numbers read from a block (integers,
// reals and their values, coordinates' rounded texts).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fast/bitmap.h"
#include "fast/block_items.h"
#include "fast/decimal_double.h"
#include "fast/numbers.h"
#include "fast/swar.h"
#include "fast/vertex_layout.h"
#include "numeric/rounding.h"
#include "read/integer_literal.h"
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
      const bool want = k < n ? is_space(static_cast<unsigned char>(s[k])) : k == n;
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

TEST(PlainReal, VectorFormAgreesWithTheScalarFormAndFindsThePoint) {
  std::mt19937 g(14);
  for (int k = 0; k < 200000; ++k) {
    const std::string s = bytes(g, 16, k % 2 ? "0123456789.-+" : "0123456789.-+e x\n");
    const std::size_t n = g() % 17;
    std::size_t point_sse2 = 99, point_scalar = 98;
    const bool plain = fast::plain_real_scalar(s.data(), n, point_scalar);
    ASSERT_EQ(fast::plain_real_sse2(s.data(), n, point_sse2), plain) << s.substr(0, n);
    if (plain) {
      ASSERT_EQ(point_sse2, point_scalar) << s.substr(0, n);
    }
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

// --- Numbers read from a block (fast/numbers.h) -------------------------------

// How the fast forms differ from the general reads on the token t, followed
// by `after` and then digits that must not be taken for part of it; empty
// when they agree in everything: integer or not and its value, real literal
// or not, its value bit for bit, its rounded text and the value of that text.
std::string differs(const std::string& t, char after = ' ') {
  const std::string text = t + after + std::string(64, '7');
  const std::string shown = t.size() <= 80 ? t : t.substr(0, 40) + "..." + t.substr(t.size() - 40);
  const char* s = text.data();
  const char* e = s + t.size();
  int i = 0, fast_i = 0;
  const bool integer = literal::whole_integer(t, i);
  if (fast::whole_integer(s, e, fast_i) != integer || (integer && fast_i != i)) return "integer " + shown;
  double x = 0, fast_x = 0;
  const bool real = literal::whole_real(t, x);
  if (fast::is_whole_real(s, e) != real) return "is real " + shown;
  if (fast::whole_real(s, e, fast_x) != real) return "real " + shown;
  if (real && std::bit_cast<std::uint64_t>(fast_x) != std::bit_cast<std::uint64_t>(x)) return "value " + shown;
  char out[max_number_text + 8];
  char* end = fast::put_rounded_literal(out, s, e);
  if ((end != nullptr) != real || (real && std::string(out, end) != rounded_text(x))) return "rounded " + shown;
  double written = 0.25;
  if (fast::written_value(s, e, written) != real || (real && written != numeric::as_written(x)) ||
      (!real && written != 0.25))
    return "written " + shown;
  // What an LWPOLYLINE's point is read as where only its rounding counts.
  double alike = 0.25;
  if (fast::BlockItems::written(std::string_view(s, t.size()), alike) != real ||
      (real && numeric::as_written(alike) != numeric::as_written(x)))
    return "written alike " + shown;
  return {};
}

std::string digit_string(std::mt19937_64& g, std::size_t n) {
  std::string d;
  while (d.size() < n) d += static_cast<char>('0' + g() % 10);
  return d;
}

template <class... Args>
std::string printed(const char* format, Args... args) {
  char b[512];
  return std::string(b, static_cast<std::size_t>(std::snprintf(b, sizeof b, format, args...)));
}

// Literals of every shape: 0 to 25 digits on each side of an optional point,
// signs, exponents small, huge and without digits, and a stray byte.
std::string shaped_literal(std::mt19937_64& g) {
  std::string s = std::string(g() % 2 ? "" : g() % 2 ? "-" : "+") + digit_string(g, g() % 26);
  if (g() % 4 != 0) s += "." + digit_string(g, g() % 26);
  if (g() % 3 == 0)
    s += std::string(1, "eE"[g() % 2]) + (g() % 2 ? "" : g() % 2 ? "-" : "+") + digit_string(g, g() % 4);
  if (g() % 16 == 0) s += (g() % 2 ? "9" : "e1") + std::string(g() % 2 ? "x" : "\0", 1);
  if (g() % 16 == 0) s.insert(g() % (s.size() + 1), 1, "0.-+eE \0\n"[g() % 9]);
  return s;
}

// Doubles as C prints them, in every form and precision: of any bits
// (subnormals too), and near 2^31, 2^53, 2^63 and map coordinates.
std::string printed_double(std::mt19937_64& g) {
  static const double near[] = {0x1p31, 0x1p53, 0x1p63, 0x1p64, 1e6, 1e7, 0x1p24, 1.0, 0.5};
  double x = std::bit_cast<double>(g());
  if (g() % 3 != 0 || !std::isfinite(x)) x = near[g() % 9] * std::ldexp(static_cast<double>(g() >> 11), -52);
  if (g() % 2) x = -x;
  const int p = static_cast<int>(g() % 21);
  return g() % 3 == 0 ? printed("%.*g", p, x) : g() % 2 ? printed("%.*f", p % 15, x) : printed("%.*e", p, x);
}

// Coordinates at and a few ulps around n + 1/2, as %.15g to %.17g print
// them and in fixed form with up to 20 fraction digits.
std::string near_half(std::mt19937_64& g) {
  const double n = static_cast<double>(g() >> (11 + g() % 53));  // below 2^53, of every length
  double x = n + 0.5;
  for (int k = static_cast<int>(g() % 7) - 3; k != 0; k += k < 0 ? 1 : -1) x = std::nextafter(x, k < 0 ? 0.0 : 1e300);
  if (g() % 2) x = -x;
  return g() % 2 ? printed("%.*g", 15 + static_cast<int>(g() % 3), x)
                 : printed("%.*f", 9 + static_cast<int>(g() % 12), x);
}

// Fractions at the edge of what the digits decide: starting 49999999 (left
// to the double) and just before it, on whole parts of up to 7 digits.
std::string window_edge(std::mt19937_64& g) {
  static const char* fractions[] = {"49999999", "49999998", "4999999899999999", "499999999", "5", "50000000"};
  return std::string(g() % 2 ? "-" : "") + std::to_string(g() % 2 ? 9999999 : g() % 10000000) + "." +
         fractions[g() % 6] + digit_string(g, g() % 13);
}

// Tokens of any bytes, literal ones and others.
std::string any_bytes(std::mt19937_64& g) {
  static const std::string some("0123456789.eE+-x \0\n\t", 20);
  std::string s;
  for (std::size_t n = g() % 25; n > 0; --n) s += some[g() % some.size()];
  return s;
}

TEST(Numbers, FastFormsAgreeWithTheGeneralReads) {
  // The grammar's edges: signs, points and exponent markers alone or cut
  // short, and bytes it stops at.
  const char* const grammar[] = {"",    "-",   "+",     ".",    "-.",    "+.",   "1e",   "1e+", "1E-",  "-1.5e",
                                 "e5",  ".e5", "1e+5x", "1..2", "1.2.3", "--1",  "+-1",  "1-",  "0x10", "nan",
                                 "inf", "1,5", " 1",    "1 ",   "-0",    "-0.0", "-0e5", "+0."};
  std::vector<std::string> cases(std::begin(grammar), std::end(grammar));
  auto add_words = [&](std::string_view words) {  // literals separated by spaces
    for (std::size_t at = 0, space = 0; at < words.size(); at = space + 1) {
      space = std::min(words.find(' ', at), words.size());
      cases.emplace_back(words.substr(at, space - at));
    }
  };
  // The double range's edges, subnormals, and exponents of any length.
  add_words(
      "1e999999999 -1e999999999 1e-999999999 -1e-999999999 1e0000000000000000000000000308 1e-400 0e999999999 "
      "2.2250738585072011e-308 2.2250738585072014e-308 4.9406564584124654e-324 2.4703282292062327e-324 "
      "2.4703282292062328e-324 1.7976931348623157e308 1.7976931348623158e308 1.7976931348623159e308 1e23 "
      "9007199254740993 9007199254740993.0 9007199254740992.5 1234567890123456789012345 "
      "0.0000000000000000000000000000000000000000012345678901234567 .5 5. 1E-5 1.5e308 1e999 -1e-999 1e22 9e-22 "
      "1e-23 12345678 1234567.1234567 4503599627370497.5");
  // Rounding: halves both ways, the doubles next to 1/2, past 2^31, 2^53,
  // 2^63 and 2^64, map coordinates, and a whole part split off 19 digits.
  add_words(
      "12.5 -12.5 -12.2 -12.7 -12 0.49999999999999994 0.49999999999999999 0.5 -0.5 -0.50000000000000001 9.5 -9.5 "
      "-1.5 -0.7 9999999.5 -9999999.5 10000000.5 2147483647.5 -2147483648.5 2147483646.5 -2147483647.5 "
      "4503599627370495.5 4503599627370496.5 -1e20 1e20 18446744073709551615 18446744073709551616 "
      "9223372036854775807 -9223372036854775808.5 847972.228840356 -847972.228840356 8.47972228840356e+05 "
      "-1.23456789012345e-05 000000000000000000001.5 99999999.99999999999e-8 5000000000000000000e-19");
  // Integer items: the int range's edges, 8 digits and more, leading zeros.
  add_words(
      "2147483647 2147483648 -2147483648 -2147483649 99999999 100000000 -99999999 00000000 "
      "+00000000000000000000000007");
  // NUL bytes inside, and digit runs far beyond any double.
  cases.emplace_back("1\0002", 3);
  cases.emplace_back("12\0", 3);
  cases.push_back("0." + std::string(2000000, '0') + "1e2000300");
  cases.push_back("-1" + std::string(300000, '0') + ".5e-300000");
  // Exactly and nearly at the number halfway between n + 1/2 and the double
  // below it, which the window must hold, for whole parts on either side of
  // the binade limits and of the digits' reach: in fixed and exponent form,
  // that number, cut short, cut short and one unit up, and one digit on.
  for (const int n : {0, 1, 7, 4194303, 4194304, 8388607, 8388608, 9999999, 16777215, 33554432, 67108863, 134217728}) {
    const double below_half = std::nextafter(n + 0.5, 0.0);
    const double h = (n + 0.5 - below_half) / 2;
    char b[80];
    // 0.5 - h takes 55 bits for n = 0: long double has them where the tests run.
    const std::string tie(b, std::to_chars(b, b + sizeof b, 0.5L - h, std::chars_format::fixed, 60).ptr);
    const std::string fraction = tie.substr(2, tie.find_last_not_of('0') - 1);
    std::vector<std::string> fractions = {fraction + "1"};
    for (std::size_t cut = 8; cut <= fraction.size(); ++cut) {
      fractions.push_back(fraction.substr(0, cut));
      std::string above = fractions.back();
      std::size_t i = cut;
      while (above[--i] == '9') above[i] = '0';
      ++above[i];
      fractions.push_back(above);
    }
    for (const std::string& digits : fractions) {
      for (const char* sign : {"", "-"}) {
        cases.push_back(sign + std::to_string(n) + "." + digits);
        cases.push_back(sign + std::string("0.") + std::to_string(n) + digits + "e" +
                        std::to_string(std::to_string(n).size()));
        if (n == 0) cases.push_back(sign + digits.substr(0, 1) + "." + digits.substr(1) + "e-1");
      }
    }
  }
  // Exactly halfway between two doubles, which rounds to even: odd multiples
  // of half an ulp from 2^53 to 2^64, whole or with a point (q down to -2),
  // n + 1/2 above 2^53, and m * 10^q with 5^q times an odd r between 2^53
  // and 2^54 (q up to 23); and their neighbours.
  std::mt19937_64 g(18);
  for (int k = 0; k < 2000; ++k) {
    const int binade = 53 + k % 11;
    const std::uint64_t tie = (std::uint64_t{1} << binade) + ((2 * (g() >> 12) + 1) << (binade - 53));
    for (const std::uint64_t v : {tie, tie - 1, tie + 1}) {
      cases.push_back(std::to_string(v) + (k % 3 == 0 ? "" : k % 3 == 1 ? ".0" : ".00"));
      cases.push_back(std::to_string(v / 2) + (v % 2 ? ".5" : ".0"));
    }
    const int q = 1 + k % 23;
    std::uint64_t five = 1;
    for (int j = 0; j < q; ++j) five *= 5;
    const std::uint64_t low = (std::uint64_t{1} << 53) / five + 1, r = (low + g() % low) | 1, m = r << (g() % 8);
    if (r * five >> 54 != 0) continue;
    for (const std::uint64_t near_m : {m, m - 1, m + 1})
      cases.push_back(std::to_string(near_m) + "e" + std::to_string(q));
  }
  for (int k = 0; k < 400000; ++k) {
    static std::string (*const make[])(std::mt19937_64&) = {shaped_literal, printed_double, near_half, window_edge,
                                                            any_bytes};
    cases.push_back(make[k % 5](g));
  }
  for (std::size_t k = 0; k < cases.size(); ++k) ASSERT_EQ(differs(cases[k], " \n\t"[k % 4 == 3 ? 0 : k % 3]), "");
  // The end of the loaded bytes is a NUL.
  for (const std::string& c : {std::string("12.5"), std::string("-7"), std::string("1e")})
    ASSERT_EQ(differs(c, '\0'), "");
}

// Leading zeros do not count against the 19 digits a mantissa holds;
// trailing ones do.
TEST(Numbers, MantissaHoldsUpTo19SignificantDigits) {
  struct {
    std::string text;
    bool fits;
    std::uint64_t mantissa;
    std::int64_t exponent;
  } const cases[] = {{"0.0000000000000000000000001234", true, 1234, -28},
                     {"-000000000000000000000000012.5e3", true, 125, 2},
                     {"." + std::string(40, '0') + "1234567890123456789", true, 1234567890123456789, -59},
                     {"9999999999999999999", true, 9999999999999999999u, 0},
                     {"99999999999999999999", false, 0, 0},
                     {"1.0000000000000000000", false, 0, -19}};
  for (const auto& c : cases) {
    const std::string text = c.text + " " + std::string(64, '7');
    fast::DecimalLiteral d;
    ASSERT_TRUE(fast::read_decimal<true>(text.data(), text.data() + c.text.size(), d)) << c.text;
    EXPECT_EQ(d.fits, c.fits) << c.text;
    if (c.fits) {
      EXPECT_EQ(d.mantissa, c.mantissa) << c.text;
    }
    EXPECT_EQ(d.exponent, c.exponent) << c.text;
  }
}

// A mantissa and a power of ten that one operation converts give what the
// general conversion gives; others are left to it: any, and around 2^53
// and the powers' range.
TEST(Numbers, DecimalsConvertedInOneOperationAreTheGeneralConversions) {
  std::mt19937_64 g(19);
  int converted = 0;
  for (int k = 0; k < 300000; ++k) {
    const std::uint64_t m = k % 3 == 0 ? g() >> (g() % 64) : (std::uint64_t{1} << 53) + g() % 5 - 2;
    const auto q = static_cast<std::int64_t>(g() % 61) - 30;
    const std::string text = std::to_string(m) + "e" + std::to_string(q);
    double v = 0.25;
    if (!fast::decimal_to_double(m, q, k % 2 == 0, v)) {
      ASSERT_TRUE(m > (std::uint64_t{1} << 53) || q < -22 || q > 22) << text;
      ASSERT_EQ(v, 0.25) << text;
      continue;
    }
    ++converted;
    const double plain = literal::real_value(text.data(), text.data() + text.size());
    ASSERT_EQ(std::bit_cast<std::uint64_t>(v), std::bit_cast<std::uint64_t>(k % 2 == 0 ? -plain : plain)) << text;
  }
  EXPECT_GT(converted, 100000);
}

// Division by a power of ten through a multiplication, for any 64-bit
// number: right at multiples of it and one below, and any.
TEST(Numbers, PowerOfTenQuotientIsTheQuotient) {
  std::mt19937_64 g(21);
  for (std::size_t k = 1; k <= 19; ++k) {
    const std::uint64_t ten = fast::powers_of_ten_int[k];
    for (int n = 0; n < 20000; ++n) {
      const std::uint64_t multiple = n < 2 ? ~std::uint64_t{0} / ten * ten : (g() >> (g() % 64)) / ten * ten;
      for (const std::uint64_t m : {multiple, multiple - (multiple != 0), multiple + 1, g()})
        ASSERT_EQ(fast::power_of_ten_quotient(m, k), m / ten) << m << " / 10^" << k;
    }
  }
}

#ifdef __SIZEOF_INT128__
TEST(Numbers, PortableWideProductAgreesWithTheWideType) {
  std::mt19937_64 g(20);
  for (int k = 0; k < 100000; ++k) {
    const std::uint64_t a = k < 4 ? ~std::uint64_t{0} * (k % 2) : g(),
                        b = k < 4 ? ~std::uint64_t{0} >> k : g() >> (g() % 64);
    const fast::Wide p = fast::wide_product_portable(a, b), w = fast::wide_product(a, b);
    ASSERT_TRUE(p.high == w.high && p.low == w.low) << a << " * " << b;
  }
}
#endif

}  // namespace
