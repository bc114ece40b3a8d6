// NRUTIL: zero fill, row layout, refused counts and sizes, and release.
#include "NRUTIL.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

extern "C" int nrutil_c_verifie(void);

namespace {

// Records every request and release going through NRUTIL, and can make one
// request fail.  Blocks still come from calloc, so LSan sees any leak.
struct Journal {
    std::vector<std::pair<std::size_t, std::size_t>> demandes; // (nb, taille) per request
    std::vector<void *> obtenus;                               // blocks handed out
    std::vector<void *> liberes;                               // blocks released, in order
    std::size_t echec = SIZE_MAX;                              // index of the request to refuse
};
Journal *g_journal = nullptr;

void *alloue_suivi(std::size_t nb, std::size_t taille) {
    const std::size_t rang = g_journal->demandes.size();
    g_journal->demandes.emplace_back(nb, taille);
    if (rang == g_journal->echec) {
        return nullptr;
    }
    void *bloc = std::calloc(nb, taille);
    g_journal->obtenus.push_back(bloc);
    return bloc;
}

void libere_suivi(void *bloc) {
    g_journal->liberes.push_back(bloc);
    std::free(bloc);
}

// Installs a journal for the lifetime of the object.
class Suivi {
public:
    Suivi() : ancien_(nrutil_detail::remplace_allocateur({alloue_suivi, libere_suivi})) { g_journal = &journal; }
    ~Suivi() {
        nrutil_detail::remplace_allocateur(ancien_);
        g_journal = nullptr;
    }
    Suivi(const Suivi &) = delete;
    Suivi &operator=(const Suivi &) = delete;
    Journal journal;

private:
    nrutil_detail::Allocateur ancien_;
};

bool tout_a_zero(const void *bloc, std::size_t octets) {
    const auto *p = static_cast<const unsigned char *>(bloc);
    for (std::size_t k = 0; k < octets; ++k) {
        if (p[k] != 0) {
            return false;
        }
    }
    return true;
}

template <typename T> struct Matrice;
#define NRUTIL_MATRICE(T, alloue, libere)                                                          \
    template <> struct Matrice<T> {                                                               \
        static T **cree(int NbCol, int NbLig) { return alloue(NbCol, NbLig); }                    \
        static void detruit(T **m, int NbLig) { libere(m, NbLig); }                               \
    };
NRUTIL_MATRICE(float, fmatrice, frfmatrice)
NRUTIL_MATRICE(unsigned char, ucmatrice, frucmatrice)
NRUTIL_MATRICE(unsigned short, usmatrice, frusmatrice)
NRUTIL_MATRICE(short, smatrice, frsmatrice)
NRUTIL_MATRICE(int, imatrice, frimatrice)
NRUTIL_MATRICE(double, dmatrice, frdmatrice)
NRUTIL_MATRICE(long double, ldmatrice, frldmatrice)
#undef NRUTIL_MATRICE

template <typename T> struct Vecteur;
#define NRUTIL_VECTEUR(T, alloue, libere)                                                          \
    template <> struct Vecteur<T> {                                                               \
        static T *cree(int n) { return alloue(n); }                                               \
        static void detruit(T *v) { libere(v); }                                                  \
    };
NRUTIL_VECTEUR(unsigned char, ucvecteur, frucvecteur)
NRUTIL_VECTEUR(unsigned short, usvecteur, frusvecteur)
NRUTIL_VECTEUR(short, svecteur, frsvecteur)
NRUTIL_VECTEUR(int, ivecteur, frivecteur)
NRUTIL_VECTEUR(double, dvecteur, frdvecteur)
NRUTIL_VECTEUR(float, fvecteur, frfvecteur)
#undef NRUTIL_VECTEUR

template <typename T> class MatriceTest : public ::testing::Test {};
using TypesMatrice = ::testing::Types<float, unsigned char, unsigned short, short, int, double, long double>;
TYPED_TEST_SUITE(MatriceTest, TypesMatrice);

template <typename T> class VecteurTest : public ::testing::Test {};
using TypesVecteur = ::testing::Types<unsigned char, unsigned short, short, int, double, float>;
TYPED_TEST_SUITE(VecteurTest, TypesVecteur);

TYPED_TEST(MatriceTest, RowsAreSeparateZeroFilledBlocksReleasedInOrder) {
    using T = TypeParam;
    constexpr int NbCol = 5;
    constexpr int NbLig = 3;
    Suivi suivi;
    T **m = Matrice<T>::cree(NbCol, NbLig);
    ASSERT_NE(m, nullptr);

    // One row-pointer block, then one block per row, columns counted first.
    const std::vector<std::pair<std::size_t, std::size_t>> attendu{
        {NbLig, sizeof(T *)}, {NbCol, sizeof(T)}, {NbCol, sizeof(T)}, {NbCol, sizeof(T)}};
    EXPECT_EQ(suivi.journal.demandes, attendu);
    for (int i = 0; i < NbLig; ++i) {
        EXPECT_EQ(m[i], suivi.journal.obtenus[static_cast<std::size_t>(i) + 1]);
        EXPECT_TRUE(tout_a_zero(m[i], NbCol * sizeof(T))) << "row " << i;
    }

    // Filling one row leaves the others zero (ASan flags any write past a row).
    for (int j = 0; j < NbCol; ++j) {
        m[1][j] = static_cast<T>(7);
    }
    EXPECT_TRUE(tout_a_zero(m[0], NbCol * sizeof(T)));
    EXPECT_TRUE(tout_a_zero(m[2], NbCol * sizeof(T)));

    Matrice<T>::detruit(m, NbLig);
    const std::vector<void *> ordre{suivi.journal.obtenus[1], suivi.journal.obtenus[2],
                                    suivi.journal.obtenus[3], suivi.journal.obtenus[0]};
    EXPECT_EQ(suivi.journal.liberes, ordre);
}

TYPED_TEST(MatriceTest, FailedRowReleasesWhatWasObtained) {
    using T = TypeParam;
    // Refuse the row-pointer block, then each of the four rows in turn.
    for (std::size_t echec = 0; echec <= 4; ++echec) {
        Suivi suivi;
        suivi.journal.echec = echec;
        EXPECT_EQ(Matrice<T>::cree(2, 4), nullptr) << "refused request " << echec;
        EXPECT_EQ(suivi.journal.demandes.size(), echec + 1);
        // Rows obtained so far, then the row-pointer block, all released.
        std::vector<void *> ordre(suivi.journal.obtenus.begin() + (echec > 0 ? 1 : 0), suivi.journal.obtenus.end());
        if (echec > 0) {
            ordre.push_back(suivi.journal.obtenus[0]);
        }
        EXPECT_EQ(suivi.journal.liberes, ordre) << "refused request " << echec;
    }
}

TYPED_TEST(MatriceTest, ZeroOrNegativeCountsGiveNullWithoutAllocating) {
    using T = TypeParam;
    Suivi suivi;
    for (const auto &[NbCol, NbLig] : std::vector<std::pair<int, int>>{
             {0, 3}, {3, 0}, {0, 0}, {-1, 3}, {3, -1}, {INT_MIN, 2}, {2, INT_MIN}}) {
        EXPECT_EQ(Matrice<T>::cree(NbCol, NbLig), nullptr) << NbCol << " x " << NbLig;
    }
    EXPECT_TRUE(suivi.journal.demandes.empty());
}

TYPED_TEST(MatriceTest, NullReleaseDoesNothing) {
    Suivi suivi;
    Matrice<TypeParam>::detruit(nullptr, 5);
    EXPECT_TRUE(suivi.journal.liberes.empty());
}

TYPED_TEST(VecteurTest, ZeroFilledAndReleased) {
    using T = TypeParam;
    Suivi suivi;
    for (const int n : {1, 1000}) {
        T *v = Vecteur<T>::cree(n);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(suivi.journal.demandes.back(), std::make_pair(static_cast<std::size_t>(n), sizeof(T)));
        EXPECT_TRUE(tout_a_zero(v, static_cast<std::size_t>(n) * sizeof(T))) << n << " elements";
        v[n - 1] = static_cast<T>(3); // last element in bounds (ASan)
        Vecteur<T>::detruit(v);
        EXPECT_EQ(suivi.journal.liberes.back(), v);
    }
    Vecteur<T>::detruit(nullptr);
    EXPECT_EQ(suivi.journal.liberes.size(), 2U);
}

TYPED_TEST(VecteurTest, ZeroOrNegativeCountGivesNullWithoutAllocating) {
    Suivi suivi;
    for (const int n : {0, -1, INT_MIN}) {
        EXPECT_EQ(Vecteur<TypeParam>::cree(n), nullptr) << n;
    }
    EXPECT_TRUE(suivi.journal.demandes.empty());
}

TEST(NrutilSize, CheckedProductRefusesWhatCannotBeAddressed) {
    constexpr auto limite = static_cast<std::size_t>(PTRDIFF_MAX);
    std::size_t octets = 123;
    EXPECT_FALSE(nrutil_detail::taille_bloc(limite / 16 + 1, 16, &octets));
    EXPECT_FALSE(nrutil_detail::taille_bloc(SIZE_MAX, 2, &octets));
    EXPECT_FALSE(nrutil_detail::taille_bloc(2, SIZE_MAX / 2 + 1, &octets)); // wraps size_t to 0
    EXPECT_EQ(octets, 123U);
    EXPECT_TRUE(nrutil_detail::taille_bloc(limite / 16, 16, &octets));
    EXPECT_EQ(octets, limite / 16 * 16);
    EXPECT_TRUE(nrutil_detail::taille_bloc(limite, 1, &octets));
    EXPECT_EQ(octets, limite);
}

TEST(NrutilSize, LargestCountsReachTheAllocatorUnshortened) {
    // On a 64-bit host INT_MAX elements of any type fit in size_t, so the
    // request must arrive whole; refuse it rather than allocate 32 GiB.
    if (static_cast<std::uintmax_t>(INT_MAX) * sizeof(long double) > static_cast<std::uintmax_t>(PTRDIFF_MAX)) {
        GTEST_SKIP() << "INT_MAX long doubles exceed this host's address range";
    }
    Suivi suivi;
    suivi.journal.echec = 1;
    EXPECT_EQ(ldmatrice(INT_MAX, 1), nullptr);
    ASSERT_EQ(suivi.journal.demandes.size(), 2U);
    EXPECT_EQ(suivi.journal.demandes[1], std::make_pair(static_cast<std::size_t>(INT_MAX), sizeof(long double)));
    EXPECT_EQ(suivi.journal.liberes, std::vector<void *>{suivi.journal.obtenus[0]});
}

TEST(NrutilSize, OverflowingCountsGiveNullOnSmallAddressSpaces) {
    // Only reachable where size_t/ptrdiff_t are 32-bit: int counts cannot
    // overflow a 64-bit size.
    if (static_cast<std::uintmax_t>(INT_MAX) * sizeof(long double) <= static_cast<std::uintmax_t>(PTRDIFF_MAX)) {
        GTEST_SKIP() << "int counts cannot overflow this host's sizes";
    }
    Suivi suivi;
    EXPECT_EQ(ldmatrice(INT_MAX, 1), nullptr);
    EXPECT_EQ(ucmatrice(1, INT_MAX), nullptr);
    EXPECT_EQ(dvecteur(INT_MAX), nullptr);
    // Sizes are checked before any block is requested.
    EXPECT_TRUE(suivi.journal.demandes.empty());
}

TEST(NrutilC, UsableFromC) {
    EXPECT_EQ(nrutil_c_verifie(), 0);
}

} // namespace
