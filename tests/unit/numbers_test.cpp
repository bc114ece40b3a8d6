// Exact rounding and truncation of reals to the integers the result holds.
#include "numbers.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <string>

namespace {

TEST(Rounding, AddsOneHalfExactlyAndTruncatesTowardZero) {
  EXPECT_EQ(rounded_text(12.5), "13");
  EXPECT_EQ(rounded_text(12.49), "12");
  EXPECT_EQ(rounded_text(-12.2), "-11");
  EXPECT_EQ(rounded_text(-12.7), "-12");
  EXPECT_EQ(rounded_text(-12.5), "-12");
  EXPECT_EQ(rounded_text(0.49999999999999994), "0");  // x + 0.5 would round up to 1 in doubles
  EXPECT_EQ(rounded_text(-0.5), "0");
  EXPECT_EQ(rounded_text(-0.7), "0");
  EXPECT_EQ(rounded_text(-1.0), "0");
  EXPECT_EQ(rounded_text(-1e-300), "0");
  EXPECT_EQ(rounded_text(0.0), "0");
  EXPECT_EQ(rounded_text(-0.0), "0");
  EXPECT_EQ(rounded_text(2147483647.4), "2147483647");
  EXPECT_EQ(rounded_text(2147483647.5), "2147483648");
}

TEST(Rounding, LargeValuesAreWrittenAsTheirExactInteger) {
  EXPECT_EQ(rounded_text(4503599627370495.5), "4503599627370496");
  EXPECT_EQ(rounded_text(4503599627370496.0), "4503599627370496");
  EXPECT_EQ(rounded_text(-4503599627370496.0), "-4503599627370495");
  EXPECT_EQ(rounded_text(1e20), "100000000000000000000");
  EXPECT_EQ(rounded_text(-1e20), "-99999999999999999999");
  EXPECT_EQ(rounded_text(-1e22), "-9999999999999999999999");
  std::string max = rounded_text(DBL_MAX);
  EXPECT_EQ(max.size(), 309u);
  EXPECT_EQ(max.substr(0, 6), "179769");
  std::string min = rounded_text(-DBL_MAX);
  EXPECT_EQ(min.substr(0, 7), "-179769");
  EXPECT_EQ(min.back(), max.back() - 1);
}

TEST(Rounding, AgreesWithExtendedPrecisionArithmetic) {
  // With a 64-bit significand, x + 0.5 is exact for these magnitudes.
  if (LDBL_MANT_DIG < 64) GTEST_SKIP() << "long double has no extended precision here";
  std::mt19937_64 gen(12345);
  std::uniform_real_distribution<double> wide(-1e12, 1e12);
  std::uniform_int_distribution<int> step(-4, 4);
  for (int k = 0; k < 200000; ++k) {
    double x = (k % 2) ? wide(gen) : std::nextafter(std::round(wide(gen) / 1e6) + 0.5, 0.0) + step(gen) * 0.5;
    auto expect = static_cast<long long>(std::truncl(static_cast<long double>(x) + 0.5L));
    ASSERT_EQ(rounded_text(x), std::to_string(expect)) << "x = " << x;
  }
}

TEST(Truncation, DiscardsTheFraction) {
  EXPECT_EQ(truncated_text(12.9), "12");
  EXPECT_EQ(truncated_text(-0.7), "0");
  EXPECT_EQ(truncated_text(-12.9), "-12");
  EXPECT_EQ(truncated_text(4000000.0), "4000000");
  EXPECT_EQ(truncated_text(3e9), "3000000000");
  EXPECT_EQ(truncated_text(-1e22), "-10000000000000000000000");
  EXPECT_EQ(truncated_text(DBL_MAX).size(), 309u);
}

TEST(Fixed6, SixDecimals) {
  char b[max_number_text];
  auto text = [&](double x) { return std::string(b, put_fixed6(b, x)); };
  EXPECT_EQ(text(4000000.0), "4000000.000000");
  EXPECT_EQ(text(0.0), "0.000000");
  EXPECT_EQ(text(10.2), "10.200000");
  EXPECT_EQ(text(-2.5), "-2.500000");
  EXPECT_EQ(text(0.0000015625), "0.000002");
  EXPECT_EQ(text(DBL_MAX).size(), 309u + 7u);
}

}  // namespace
