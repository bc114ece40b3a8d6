// The shared real-to-integer conversion: x + 0.5, formed exactly, truncated
// toward zero.
#include "numeric/rounding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

namespace {

TEST(PlusHalfTruncated, AddsHalfExactlyThenTruncatesTowardZero) {
  const double below_half = std::nextafter(0.5, 0.0);  // x + 0.5 in doubles would give 1
  const std::vector<std::pair<double, long long>> cases{
      // Halves and their neighbours.
      {below_half, 0},
      {0.5, 1},
      {0.0, 0},
      {-0.0, 0},
      {12.5, 13},
      {12.49, 12},
      {std::nextafter(12.5, 0.0), 12},
      // Negative sums move toward zero; whole negative sums stay.
      {-12.2, -11},
      {-12.7, -12},
      {-12.5, -12},
      {-0.5, 0},
      {-0.7, 0},
      {-1.0, 0},
      {-1.5, -1},
      {-2.3, -1},
      {-below_half, 0},
      {-0.5000000000000001, 0},
      {-1e-300, 0},
      // Magnitudes where x + 0.5 is not a double: the sum must not be rounded.
      {1e15 + 0.5, 1000000000000001LL},
      {0x1p52 + 1, (1LL << 52) + 1},
      {-(0x1p52 + 1), -(1LL << 52)},
      {0x1p53 - 1, (1LL << 53) - 1},
      {-(0x1p53 - 1), -(1LL << 53) + 2},
      {0x1p53, 1LL << 53},
      {-0x1p53, -(1LL << 53) + 1},
      {0x1p53 + 2, (1LL << 53) + 2},
      // The largest double below 2^62, the top of the accepted range.
      {0x1p62 - 512, (1LL << 62) - 512},
      {-(0x1p62 - 512), -(1LL << 62) + 513},
  };
  for (const auto& [x, expected] : cases) {
    EXPECT_EQ(numeric::plus_half_truncated(x), expected) << "x = " << ::testing::PrintToString(x);
  }
}

}  // namespace
