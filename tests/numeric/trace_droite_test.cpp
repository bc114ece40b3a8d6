// Grid line tracing: known segments, every pair in a small grid, negative
// end points and a missing grid.
#include "numeric/trace_droite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "NRUTIL.h"

namespace {

using Cell = std::pair<int, int>;  // (row, column)

constexpr double kAlti = 4.25;

// A kSize x kSize grid installed as dtab, surrounded by kGuard guard cells
// on every side so that a write at a negative index lands in memory the test
// owns and can see, instead of outside the grid.
class GridTest : public ::testing::Test {
 protected:
  static constexpr int kSize = 10;
  static constexpr int kGuard = 16;
  static constexpr int kTotal = kSize + 2 * kGuard;

  void SetUp() override {
    block_ = dmatrice(kTotal, kTotal);
    ASSERT_NE(block_, nullptr);
    for (int k = 0; k < kTotal; ++k) rows_.push_back(block_[k] + kGuard);
    dtab = rows_.data() + kGuard;
  }
  void TearDown() override {
    dtab = nullptr;
    frdmatrice(block_, kTotal);
  }

  // Every cell holding kAlti, guard cells included.
  std::set<Cell> written() const {
    std::set<Cell> cells;
    for (int i = -kGuard; i < kSize + kGuard; ++i) {
      for (int j = -kGuard; j < kSize + kGuard; ++j) {
        if (dtab[i][j] == kAlti) cells.insert({i, j});
      }
    }
    return cells;
  }

  void clear() {
    for (int k = 0; k < kTotal; ++k) std::fill(block_[k], block_[k] + kTotal, 0.0);
  }

 private:
  double** block_ = nullptr;
  std::vector<double*> rows_;
};

// Checks the cells written for non-negative end points: one cell per step
// along the longer axis, each within half a cell of the exact line, the end
// points included and nothing else written.
void check_segment(int ideb, int jdeb, int ifin, int jfin, const std::set<Cell>& cells) {
  const int di = ifin - ideb;
  const int dj = jfin - jdeb;
  const int rmax = std::max(std::abs(di), std::abs(dj));
  const bool rows_longer = std::abs(di) >= std::abs(dj);
  for (int t = 0; t <= rmax; ++t) {
    const double i_exact = ideb + static_cast<double>(t) * di / std::max(rmax, 1);
    const double j_exact = jdeb + static_cast<double>(t) * dj / std::max(rmax, 1);
    int found = 0;
    for (const auto& [i, j] : cells) {
      if ((rows_longer ? i - i_exact : j - j_exact) == 0.0) {
        ++found;
        EXPECT_LE(std::fabs(i - i_exact), 0.5 + 1e-9) << "step " << t;
        EXPECT_LE(std::fabs(j - j_exact), 0.5 + 1e-9) << "step " << t;
      }
    }
    EXPECT_EQ(found, 1) << "step " << t;
  }
  EXPECT_EQ(cells.size(), static_cast<std::size_t>(rmax) + 1);
  EXPECT_TRUE(cells.count({ideb, jdeb}));
  EXPECT_TRUE(cells.count({ifin, jfin}));
}

// Cells a segment must burn, from positions computed by multiplication rather
// than accumulation, for segments where no position lies on a half cell (so
// the two cannot round differently).  Positions in (-1.5, -0.5] truncate to 0.
std::set<Cell> expected_cells(int ideb, int jdeb, int ifin, int jfin) {
  const int rmax = std::max(std::abs(ifin - ideb), std::abs(jfin - jdeb));
  std::set<Cell> cells;
  int i = ideb;
  int j = jdeb;
  if (i >= 0 && j >= 0) cells.insert({i, j});
  for (int t = 1; t <= rmax && (i != ifin || j != jfin); ++t) {
    for (const int d : {ifin - ideb, jfin - jdeb}) {
      EXPECT_NE((2 * t * d - rmax) % (2 * rmax), 0) << "half-cell position at step " << t;
    }
    i = static_cast<int>(std::trunc(ideb + static_cast<double>(t) * (ifin - ideb) / rmax + 0.5));
    j = static_cast<int>(std::trunc(jdeb + static_cast<double>(t) * (jfin - jdeb) / rmax + 0.5));
    if (i >= 0 && j >= 0) cells.insert({i, j});
  }
  return cells;
}

TEST_F(GridTest, HalfCellsRoundUpInEitherDirection) {
  // Rows advance by 0.5 per column, so every other step lands on a half cell.
  const std::set<Cell> slope{{0, 0}, {1, 1}, {1, 2}, {2, 3}, {2, 4}, {3, 5}, {3, 6}};
  trace_droite(0, 0, 3, 6, kAlti);
  EXPECT_EQ(written(), slope);
  clear();
  trace_droite(3, 6, 0, 0, kAlti);  // backwards: halves still round up, to the same cells
  EXPECT_EQ(written(), slope);
}

TEST_F(GridTest, EveryPairOfCellsInASevenBySevenGrid) {
  // Includes equal end points (one cell) and all eight directions.
  for (int ideb = 0; ideb < 7; ++ideb) {
    for (int jdeb = 0; jdeb < 7; ++jdeb) {
      for (int ifin = 0; ifin < 7; ++ifin) {
        for (int jfin = 0; jfin < 7; ++jfin) {
          clear();
          trace_droite(ideb, jdeb, ifin, jfin, kAlti);
          SCOPED_TRACE(::testing::Message() << "(" << ideb << ", " << jdeb << ") -> (" << ifin << ", " << jfin << ")");
          check_segment(ideb, jdeb, ifin, jfin, written());
        }
      }
    }
  }
}

TEST_F(GridTest, NegativeEndPointsWriteOnlyNonNegativeCells) {
  const std::vector<std::pair<Cell, Cell>> segments{
      {{-3, -3}, {4, 2}},      // enters the grid
      {{2, -5}, {-4, 6}},      // crosses it
      {{9, 9}, {-12, 0}},      // leaves it
      {{0, -16}, {0, 3}},      // along row 0 from far left
      {{-10, -10}, {-2, -1}},  // entirely outside: nothing written
      {{-1, 0}, {-1, 9}},      // row -1 truncates to row 0, whose cells never match the end
      {{-2, 5}, {0, 5}},       // reaches the end cell a step early (the last step would burn it again)
  };
  for (const auto& [start, end] : segments) {
    clear();
    trace_droite(start.first, start.second, end.first, end.second, kAlti);
    EXPECT_EQ(written(), expected_cells(start.first, start.second, end.first, end.second))
        << "(" << start.first << ", " << start.second << ") -> (" << end.first << ", " << end.second << ")";
  }
  // Spot checks of the reference itself on two of the segments.
  EXPECT_TRUE(expected_cells(-10, -10, -2, -1).empty());
  EXPECT_EQ(expected_cells(0, -16, 0, 3), (std::set<Cell>{{0, 0}, {0, 1}, {0, 2}, {0, 3}}));
}

TEST(TraceWithoutGrid, NullGridIsLeftAlone) {
  ASSERT_EQ(dtab, nullptr);
  trace_droite(0, 0, 3, 6, kAlti);  // would dereference dtab otherwise
  trace_droite(2, 2, 2, 2, kAlti);
  EXPECT_EQ(dtab, nullptr);
}

}  // namespace
