// NRUTIL: zero fill, row layout, refused counts and sizes, and release.
#include "NRUTIL.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

extern "C" int nrutil_c_check(void);

namespace {

// Every request and release going through NRUTIL, and the one request to
// refuse.  Blocks still come from calloc, so LSan sees any leak.
struct Log {
  std::vector<std::pair<std::size_t, std::size_t>> requests;  // (count, size) per request
  std::vector<void*> handed_out;                              // blocks returned, in order
  std::vector<void*> released;                                // blocks released, in order
  std::size_t refuse_at = SIZE_MAX;                           // index of the request to refuse
};
Log* current_log = nullptr;

void* logged_allocate(std::size_t count, std::size_t size) {
  const std::size_t index = current_log->requests.size();
  current_log->requests.emplace_back(count, size);
  if (index == current_log->refuse_at) return nullptr;
  void* block = std::calloc(count, size);
  current_log->handed_out.push_back(block);
  return block;
}

void logged_release(void* block) {
  current_log->released.push_back(block);
  std::free(block);
}

// Routes NRUTIL through a fresh log for the lifetime of the object.
class Logging {
 public:
  Logging() : previous_(nrutil_detail::replace_allocator({logged_allocate, logged_release})) { current_log = &log; }
  ~Logging() {
    nrutil_detail::replace_allocator(previous_);
    current_log = nullptr;
  }
  Logging(const Logging&) = delete;
  Logging& operator=(const Logging&) = delete;
  Log log;

 private:
  nrutil_detail::Allocator previous_;
};

bool all_zero(const void* block, std::size_t bytes) {
  const auto* p = static_cast<const unsigned char*>(block);
  for (std::size_t k = 0; k < bytes; ++k) {
    if (p[k] != 0) return false;
  }
  return true;
}

// The allocator and release routine of each element type.
template <typename T>
struct Matrix;
#define NRUTIL_MATRIX(T, allocate, release)                                  \
  template <>                                                                \
  struct Matrix<T> {                                                         \
    static T** make(int NbCol, int NbLig) { return allocate(NbCol, NbLig); } \
    static void destroy(T** m, int NbLig) { release(m, NbLig); }             \
  };
NRUTIL_MATRIX(float, fmatrice, frfmatrice)
NRUTIL_MATRIX(unsigned char, ucmatrice, frucmatrice)
NRUTIL_MATRIX(unsigned short, usmatrice, frusmatrice)
NRUTIL_MATRIX(short, smatrice, frsmatrice)
NRUTIL_MATRIX(int, imatrice, frimatrice)
NRUTIL_MATRIX(double, dmatrice, frdmatrice)
NRUTIL_MATRIX(long double, ldmatrice, frldmatrice)
#undef NRUTIL_MATRIX

template <typename T>
struct Vector;
#define NRUTIL_VECTOR(T, allocate, release)       \
  template <>                                     \
  struct Vector<T> {                              \
    static T* make(int n) { return allocate(n); } \
    static void destroy(T* v) { release(v); }     \
  };
NRUTIL_VECTOR(unsigned char, ucvecteur, frucvecteur)
NRUTIL_VECTOR(unsigned short, usvecteur, frusvecteur)
NRUTIL_VECTOR(short, svecteur, frsvecteur)
NRUTIL_VECTOR(int, ivecteur, frivecteur)
NRUTIL_VECTOR(double, dvecteur, frdvecteur)
NRUTIL_VECTOR(float, fvecteur, frfvecteur)
#undef NRUTIL_VECTOR

template <typename T>
class MatrixTest : public ::testing::Test {};
using MatrixTypes = ::testing::Types<float, unsigned char, unsigned short, short, int, double, long double>;
TYPED_TEST_SUITE(MatrixTest, MatrixTypes);

template <typename T>
class VectorTest : public ::testing::Test {};
using VectorTypes = ::testing::Types<unsigned char, unsigned short, short, int, double, float>;
TYPED_TEST_SUITE(VectorTest, VectorTypes);

TYPED_TEST(MatrixTest, RowsAreSeparateZeroFilledBlocksReleasedInOrder) {
  using T = TypeParam;
  constexpr int NbCol = 5;
  constexpr int NbLig = 3;
  Logging logging;
  const Log& log = logging.log;
  T** m = Matrix<T>::make(NbCol, NbLig);
  ASSERT_NE(m, nullptr);

  // One row-pointer block, then one block per row, columns counted first.
  const std::vector<std::pair<std::size_t, std::size_t>> expected{
      {NbLig, sizeof(T*)}, {NbCol, sizeof(T)}, {NbCol, sizeof(T)}, {NbCol, sizeof(T)}};
  EXPECT_EQ(log.requests, expected);
  for (int row = 0; row < NbLig; ++row) {
    EXPECT_EQ(m[row], log.handed_out[static_cast<std::size_t>(row) + 1]);
    EXPECT_TRUE(all_zero(m[row], NbCol * sizeof(T))) << "row " << row;
  }

  // Filling one row leaves the others zero (ASan flags any write past a row).
  for (int col = 0; col < NbCol; ++col) m[1][col] = static_cast<T>(7);
  EXPECT_TRUE(all_zero(m[0], NbCol * sizeof(T)));
  EXPECT_TRUE(all_zero(m[2], NbCol * sizeof(T)));

  Matrix<T>::destroy(m, NbLig);
  const std::vector<void*> order{log.handed_out[1], log.handed_out[2], log.handed_out[3], log.handed_out[0]};
  EXPECT_EQ(log.released, order);
}

TYPED_TEST(MatrixTest, FailedRowReleasesWhatWasObtained) {
  // Refuse the row-pointer block, then each of the four rows in turn.
  for (std::size_t refused = 0; refused <= 4; ++refused) {
    Logging logging;
    const Log& log = logging.log;
    logging.log.refuse_at = refused;
    EXPECT_EQ(Matrix<TypeParam>::make(2, 4), nullptr) << "refused request " << refused;
    EXPECT_EQ(log.requests.size(), refused + 1);
    // Rows obtained so far, then the row-pointer block, all released.
    std::vector<void*> order(log.handed_out.begin() + (refused > 0 ? 1 : 0), log.handed_out.end());
    if (refused > 0) order.push_back(log.handed_out[0]);
    EXPECT_EQ(log.released, order) << "refused request " << refused;
  }
}

TYPED_TEST(MatrixTest, ZeroOrNegativeCountsGiveNullWithoutAllocatingAndNullReleaseDoesNothing) {
  Logging logging;
  for (const auto& [NbCol, NbLig] :
       std::vector<std::pair<int, int>>{{0, 3}, {3, 0}, {0, 0}, {-1, 3}, {3, -1}, {INT_MIN, 2}, {2, INT_MIN}}) {
    EXPECT_EQ(Matrix<TypeParam>::make(NbCol, NbLig), nullptr) << NbCol << " x " << NbLig;
  }
  EXPECT_TRUE(logging.log.requests.empty());
  Matrix<TypeParam>::destroy(nullptr, 5);
  EXPECT_TRUE(logging.log.released.empty());
}

TYPED_TEST(VectorTest, ZeroFilledAndReleased) {
  using T = TypeParam;
  Logging logging;
  const Log& log = logging.log;
  for (const int n : {1, 1000}) {
    T* v = Vector<T>::make(n);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(log.requests.back(), std::make_pair(static_cast<std::size_t>(n), sizeof(T)));
    EXPECT_TRUE(all_zero(v, static_cast<std::size_t>(n) * sizeof(T))) << n << " elements";
    v[n - 1] = static_cast<T>(3);  // last element in bounds (ASan)
    Vector<T>::destroy(v);
    EXPECT_EQ(log.released.back(), v);
  }
  Vector<T>::destroy(nullptr);
  EXPECT_EQ(log.released.size(), 2U);
}

TYPED_TEST(VectorTest, ZeroOrNegativeCountGivesNullWithoutAllocating) {
  Logging logging;
  for (const int n : {0, -1, INT_MIN}) EXPECT_EQ(Vector<TypeParam>::make(n), nullptr) << n;
  EXPECT_TRUE(logging.log.requests.empty());
}

TEST(NrutilSize, CheckedProductRefusesWhatCannotBeAddressed) {
  constexpr auto limit = static_cast<std::size_t>(PTRDIFF_MAX);
  std::size_t bytes = 123;
  EXPECT_FALSE(nrutil_detail::block_bytes(limit / 16 + 1, 16, &bytes));
  EXPECT_FALSE(nrutil_detail::block_bytes(SIZE_MAX, 2, &bytes));
  EXPECT_FALSE(nrutil_detail::block_bytes(2, SIZE_MAX / 2 + 1, &bytes));  // wraps size_t to 0
  EXPECT_EQ(bytes, 123U);
  EXPECT_TRUE(nrutil_detail::block_bytes(limit / 16, 16, &bytes));
  EXPECT_EQ(bytes, limit / 16 * 16);
  EXPECT_TRUE(nrutil_detail::block_bytes(limit, 1, &bytes));
  EXPECT_EQ(bytes, limit);
}

TEST(NrutilSize, LargestCountsReachTheAllocatorWholeOrGiveNullWhenTheyCannot) {
  Logging logging;
  const Log& log = logging.log;
  if (static_cast<std::uintmax_t>(INT_MAX) * sizeof(long double) <= static_cast<std::uintmax_t>(PTRDIFF_MAX)) {
    // INT_MAX elements of any type fit (64-bit hosts): the request must
    // arrive whole; refuse it rather than allocate 32 GiB.
    logging.log.refuse_at = 1;
    EXPECT_EQ(ldmatrice(INT_MAX, 1), nullptr);
    ASSERT_EQ(log.requests.size(), 2U);
    EXPECT_EQ(log.requests[1], std::make_pair(static_cast<std::size_t>(INT_MAX), sizeof(long double)));
    EXPECT_EQ(log.released, std::vector<void*>{log.handed_out[0]});
  } else {
    // 32-bit sizes overflow: checked before any block is requested.
    EXPECT_EQ(ldmatrice(INT_MAX, 1), nullptr);
    EXPECT_EQ(ucmatrice(1, INT_MAX), nullptr);
    EXPECT_EQ(dvecteur(INT_MAX), nullptr);
    EXPECT_TRUE(log.requests.empty());
  }
}

TEST(NrutilC, UsableFromC) { EXPECT_EQ(nrutil_c_check(), 0); }

}  // namespace
