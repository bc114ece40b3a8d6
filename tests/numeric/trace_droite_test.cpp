// Grid line tracing: exact rounding, known segments, every pair in a small
// grid, negative end points and a missing grid.
#include "trace_droite.h"

#include "NRUTIL.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

namespace {

using Cellule = std::pair<int, int>; // (row, column)

constexpr double kAlti = 4.25;

// A Taille x Taille grid installed as dtab, surrounded by Garde guard cells
// on every side so that a write at a negative index lands in memory the test
// owns and can see, instead of outside the grid.
class GrilleTest : public ::testing::Test {
protected:
    static constexpr int Taille = 10;
    static constexpr int Garde = 16;
    static constexpr int Total = Taille + 2 * Garde;

    void SetUp() override {
        bloc_ = dmatrice(Total, Total);
        ASSERT_NE(bloc_, nullptr);
        for (int k = 0; k < Total; ++k) {
            lignes_.push_back(bloc_[k] + Garde);
        }
        dtab = lignes_.data() + Garde;
    }
    void TearDown() override {
        dtab = nullptr;
        frdmatrice(bloc_, Total);
    }

    // Every cell holding kAlti, guard cells included.
    std::set<Cellule> ecrites() const {
        std::set<Cellule> cellules;
        for (int i = -Garde; i < Taille + Garde; ++i) {
            for (int j = -Garde; j < Taille + Garde; ++j) {
                if (dtab[i][j] == kAlti) {
                    cellules.insert({i, j});
                }
            }
        }
        return cellules;
    }

    void efface() {
        for (int k = 0; k < Total; ++k) {
            for (int j = 0; j < Total; ++j) {
                bloc_[k][j] = 0.0;
            }
        }
    }

private:
    double **bloc_ = nullptr;
    std::vector<double *> lignes_;
};

// Checks the cells written for non-negative end points: one cell per step
// along the longer axis, each within half a cell of the exact line, the end
// points included and nothing else written.
void verifie_segment(int ideb, int jdeb, int ifin, int jfin, const std::set<Cellule> &cellules) {
    const int di = ifin - ideb;
    const int dj = jfin - jdeb;
    const int rmax = std::max(std::abs(di), std::abs(dj));
    const bool lignes = std::abs(di) >= std::abs(dj); // rows are the longer axis
    for (int t = 0; t <= rmax; ++t) {
        const double i_exact = ideb + static_cast<double>(t) * di / std::max(rmax, 1);
        const double j_exact = jdeb + static_cast<double>(t) * dj / std::max(rmax, 1);
        int trouvees = 0;
        for (const auto &[i, j] : cellules) {
            if ((lignes ? i - i_exact : j - j_exact) == 0.0) {
                ++trouvees;
                EXPECT_LE(std::fabs(i - i_exact), 0.5 + 1e-9) << "step " << t;
                EXPECT_LE(std::fabs(j - j_exact), 0.5 + 1e-9) << "step " << t;
            }
        }
        EXPECT_EQ(trouvees, 1) << "step " << t;
    }
    EXPECT_EQ(cellules.size(), static_cast<std::size_t>(rmax) + 1);
    EXPECT_TRUE(cellules.count({ideb, jdeb}));
    EXPECT_TRUE(cellules.count({ifin, jfin}));
}

// Cells a segment must burn, from positions computed by multiplication rather
// than accumulation, for segments where no position lies on a half cell (so
// the two cannot round differently).  Positions in (-1.5, -0.5] truncate to 0.
std::set<Cellule> cellules_attendues(int ideb, int jdeb, int ifin, int jfin) {
    const int rmax = std::max(std::abs(ifin - ideb), std::abs(jfin - jdeb));
    std::set<Cellule> cellules;
    int i = ideb;
    int j = jdeb;
    if (i >= 0 && j >= 0) {
        cellules.insert({i, j});
    }
    for (int t = 1; t <= rmax && (i != ifin || j != jfin); ++t) {
        for (const int d : {ifin - ideb, jfin - jdeb}) {
            EXPECT_NE((2 * t * d - rmax) % (2 * rmax), 0) << "half-cell position at step " << t;
        }
        i = static_cast<int>(std::trunc(ideb + static_cast<double>(t) * (ifin - ideb) / rmax + 0.5));
        j = static_cast<int>(std::trunc(jdeb + static_cast<double>(t) * (jfin - jdeb) / rmax + 0.5));
        if (i >= 0 && j >= 0) {
            cellules.insert({i, j});
        }
    }
    return cellules;
}

TEST(TraceRounding, AddsHalfExactlyThenTruncatesTowardZero) {
    using trace_droite_detail::tronque_plus_demi;
    const std::vector<std::pair<double, long long>> cas{
        {0.49999999999999994, 0}, {0.5, 1}, {0.0, 0}, {12.5, 13}, {12.49, 12},
        {std::nextafter(12.5, 0.0), 12}, {-12.2, -11}, {-12.7, -12}, {-12.5, -12},
        {-0.5, 0}, {-1.5, -1}, {-2.3, -1}, {-0.49999999999999994, 0},
        {-0.5000000000000001, 0}, {-1e-300, 0}, {1e15 + 0.5, 1000000000000001LL},
        {4503599627370497.0, 4503599627370497LL}, {-4503599627370497.0, -4503599627370496LL}};
    for (const auto &[x, attendu] : cas) {
        EXPECT_EQ(tronque_plus_demi(x), attendu) << "x = " << x;
    }
}

TEST_F(GrilleTest, EqualEndPointsWriteOneCell) {
    trace_droite(2, 3, 2, 3, kAlti);
    EXPECT_EQ(ecrites(), (std::set<Cellule>{{2, 3}}));
}

TEST_F(GrilleTest, KnownSegments) {
    trace_droite(0, 0, 0, 5, kAlti);
    EXPECT_EQ(ecrites(), (std::set<Cellule>{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}}));

    const std::set<Cellule> pente{{0, 0}, {1, 1}, {1, 2}, {2, 3}, {2, 4}, {3, 5}, {3, 6}};
    efface();
    trace_droite(0, 0, 3, 6, kAlti);
    EXPECT_EQ(ecrites(), pente);
    efface();
    trace_droite(3, 6, 0, 0, kAlti); // backwards: halves round up, to the same cells
    EXPECT_EQ(ecrites(), pente);
}

TEST_F(GrilleTest, EightDirections) {
    for (int si = -1; si <= 1; ++si) {
        for (int sj = -1; sj <= 1; ++sj) {
            if (si == 0 && sj == 0) {
                continue;
            }
            efface();
            trace_droite(5, 5, 5 + 4 * si, 5 + 4 * sj, kAlti);
            std::set<Cellule> attendu;
            for (int t = 0; t <= 4; ++t) {
                attendu.insert({5 + t * si, 5 + t * sj});
            }
            EXPECT_EQ(ecrites(), attendu) << "direction (" << si << ", " << sj << ")";
        }
    }
}

TEST_F(GrilleTest, EveryPairOfCellsInASevenBySevenGrid) {
    for (int ideb = 0; ideb < 7; ++ideb) {
        for (int jdeb = 0; jdeb < 7; ++jdeb) {
            for (int ifin = 0; ifin < 7; ++ifin) {
                for (int jfin = 0; jfin < 7; ++jfin) {
                    efface();
                    trace_droite(ideb, jdeb, ifin, jfin, kAlti);
                    SCOPED_TRACE(::testing::Message() << "(" << ideb << ", " << jdeb << ") -> (" << ifin
                                                      << ", " << jfin << ")");
                    verifie_segment(ideb, jdeb, ifin, jfin, ecrites());
                }
            }
        }
    }
}

TEST_F(GrilleTest, NegativeEndPointsWriteOnlyNonNegativeCells) {
    const std::vector<std::pair<Cellule, Cellule>> segments{
        {{-3, -3}, {4, 2}}, {{2, -5}, {-4, 6}}, {{9, 9}, {-12, 0}}, {{0, -16}, {0, 3}},
        {{-10, -10}, {-2, -1}}, // entirely outside: nothing written
        {{-1, 0}, {-1, 9}},     // row -1 truncates to row 0, whose cells never match the end
        {{-2, 5}, {0, 5}}};     // reaches the end cell one step early
    for (const auto &[debut, fin] : segments) {
        efface();
        trace_droite(debut.first, debut.second, fin.first, fin.second, kAlti);
        EXPECT_EQ(ecrites(), cellules_attendues(debut.first, debut.second, fin.first, fin.second))
            << "(" << debut.first << ", " << debut.second << ") -> (" << fin.first << ", " << fin.second << ")";
    }
    // Spot checks of the reference itself on two of the segments.
    EXPECT_TRUE(cellules_attendues(-10, -10, -2, -1).empty());
    EXPECT_EQ(cellules_attendues(0, -16, 0, 3), (std::set<Cellule>{{0, 0}, {0, 1}, {0, 2}, {0, 3}}));
}

TEST(TraceSansGrille, NullGridIsLeftAlone) {
    ASSERT_EQ(dtab, nullptr);
    trace_droite(0, 0, 3, 6, kAlti); // would dereference dtab otherwise
    trace_droite(2, 2, 2, 2, kAlti);
    EXPECT_EQ(dtab, nullptr);
}

} // namespace
