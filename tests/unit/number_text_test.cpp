// The decimal texts of the integers the result holds and of the extents the
// console shows, at the edges of the integer types and of the double range.
#include "write/number_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

TEST(RoundedText, BeyondThirtyTwoBitsIsTheExactInteger) {
  EXPECT_EQ(rounded_text(2147483646.5), "2147483647");
  EXPECT_EQ(rounded_text(2147483647.5), "2147483648");
  EXPECT_EQ(rounded_text(-2147483648.7), "-2147483648");
  EXPECT_EQ(rounded_text(-2147483649.2), "-2147483648");
  EXPECT_EQ(rounded_text(4503599627370495.5), "4503599627370496");
  EXPECT_EQ(rounded_text(-4503599627370496.0), "-4503599627370495");
  EXPECT_EQ(rounded_text(0x1p62), "4611686018427387904");
  EXPECT_EQ(rounded_text(-0x1p62), "-4611686018427387903");
  EXPECT_EQ(rounded_text(1e20), "100000000000000000000");
  EXPECT_EQ(rounded_text(-1e19), "-9999999999999999999");
  EXPECT_EQ(rounded_text(-1e20), "-99999999999999999999");
  EXPECT_EQ(rounded_text(-1e22), "-9999999999999999999999");
  const std::string max = rounded_text(DBL_MAX);
  EXPECT_EQ(max.size(), 309u);
  EXPECT_EQ(max.substr(0, 6), "179769");
  EXPECT_EQ(rounded_text(-DBL_MAX), "-" + max.substr(0, 308) + static_cast<char>(max.back() - 1));
}

TEST(IntegerText, EveryLengthAndSignAsTheLibraryWritesIt) {
  std::mt19937 g(17);
  std::vector<int> ints = {0,   1,    -1,       9,         -9,        10,         -10,     99,     -99,
                           100, -100, 99999999, -99999999, 100000000, -100000000, INT_MAX, INT_MIN};
  for (int ten = 10; ten <= 100000000; ten *= 10)  // every length's ends
    for (const int x : {ten - 1, ten, 1 - ten, -ten}) ints.push_back(x);
  for (int k = 0; k < 100000; ++k) ints.push_back(static_cast<int>(g()) >> (g() % 32));
  for (int x : ints) {
    char a[16], b[16];
    ASSERT_EQ(std::string(a, put_int(a, x)), std::string(b, std::to_chars(b, b + 16, x).ptr)) << x;
  }
  // Rounded coordinates go through it below 2^31: the exact form says what they are.
  std::vector<double> reals = {0.0,        -0.0,        0.5,          -0.5,          0.49999999999999994,
                               99999999.5, -99999999.5, 2147483647.5, -2147483648.5, -2147483648.7,
                               1e20,       -1e20,       DBL_MAX,      -DBL_MAX,      DBL_MIN};
  std::uniform_real_distribution<double> near(-2e8, 2e8);
  for (int k = 0; k < 100000; ++k) reals.push_back(k % 2 ? near(g) : std::ldexp(near(g), static_cast<int>(g() % 64)));
  for (double x : reals) {
    char a[max_number_text + 16], b[max_number_text + 16];
    ASSERT_EQ(std::string(a, put_rounded(a, x)), std::string(b, put_rounded_whole(b, x))) << x;
  }
}

TEST(TruncatedText, DiscardsTheFractionTowardZero) {
  EXPECT_EQ(truncated_text(12.9), "12");
  EXPECT_EQ(truncated_text(-0.7), "0");
  EXPECT_EQ(truncated_text(-0.0), "0");
  EXPECT_EQ(truncated_text(-12.9), "-12");
  EXPECT_EQ(truncated_text(4000000.0), "4000000");
  EXPECT_EQ(truncated_text(3e9), "3000000000");
  EXPECT_EQ(truncated_text(-9.5e18), "-9500000000000000000");
  EXPECT_EQ(truncated_text(-1e22), "-10000000000000000000000");
  EXPECT_EQ(truncated_text(DBL_MAX), rounded_text(DBL_MAX));
}

TEST(FixedSixText, SixDecimalsCorrectlyRounded) {
  char b[max_number_text];
  auto text = [&](double x) { return std::string(b, put_fixed6(b, x)); };
  EXPECT_EQ(text(4000000.0), "4000000.000000");
  EXPECT_EQ(text(0.0), "0.000000");
  EXPECT_EQ(text(10.2), "10.200000");
  EXPECT_EQ(text(-2.5), "-2.500000");
  EXPECT_EQ(text(0.0000015625), "0.000002");
  EXPECT_EQ(text(-DBL_MAX), "-" + rounded_text(DBL_MAX) + ".000000");
}

}  // namespace
