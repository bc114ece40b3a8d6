// NRUTIL: zero-filled row-pointer matrices and vectors (see NRUTIL.h).
#include "NRUTIL.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void* call_calloc(std::size_t count, std::size_t size) { return std::calloc(count, size); }
void call_free(void* block) { std::free(block); }

// Routines every block goes through; replaced only by tests.
nrutil_detail::Allocator active{call_calloc, call_free};

// One zero-filled block of count elements of type T, or null.
template <typename T>
T* allocate_block(int count) {
  std::size_t bytes = 0;
  if (count <= 0 || !nrutil_detail::block_bytes(static_cast<std::size_t>(count), sizeof(T), &bytes)) return nullptr;
  return static_cast<T*>(active.allocate(static_cast<std::size_t>(count), sizeof(T)));
}

template <typename T>
void release_block(T* block) {
  if (block != nullptr) active.release(block);
}

// Frees the first NbLig rows in order, then the row-pointer block.
template <typename T>
void release_matrix(T** m, int NbLig) {
  if (m == nullptr) return;
  for (int row = 0; row < NbLig; ++row) release_block(m[row]);
  active.release(m);
}

// NbLig separately allocated rows of NbCol zero-filled elements, or null.
template <typename T>
T** allocate_matrix(int NbCol, int NbLig) {
  // A row size that cannot be addressed is refused before anything is allocated.
  std::size_t row_bytes = 0;
  if (NbCol <= 0 || NbLig <= 0 || !nrutil_detail::block_bytes(static_cast<std::size_t>(NbCol), sizeof(T), &row_bytes)) {
    return nullptr;
  }
  // The row-pointer block is zero-filled before any row is stored.
  T** m = allocate_block<T*>(NbLig);
  if (m == nullptr) return nullptr;
  for (int row = 0; row < NbLig; ++row) {
    m[row] = allocate_block<T>(NbCol);
    if (m[row] == nullptr) {
      release_matrix(m, row);
      return nullptr;
    }
  }
  return m;
}

}  // namespace

namespace nrutil_detail {

bool block_bytes(std::size_t count, std::size_t size, std::size_t* bytes) noexcept {
  constexpr auto limit = static_cast<std::size_t>(PTRDIFF_MAX);
  if (size != 0 && count > limit / size) return false;
  *bytes = count * size;
  return true;
}

Allocator replace_allocator(Allocator replacement) noexcept {
  const Allocator previous = active;
  active.allocate = replacement.allocate != nullptr ? replacement.allocate : call_calloc;
  active.release = replacement.release != nullptr ? replacement.release : call_free;
  return previous;
}

}  // namespace nrutil_detail

extern "C" {

float** fmatrice(int NbCol, int NbLig) { return allocate_matrix<float>(NbCol, NbLig); }
unsigned char** ucmatrice(int NbCol, int NbLig) { return allocate_matrix<unsigned char>(NbCol, NbLig); }
unsigned short** usmatrice(int NbCol, int NbLig) { return allocate_matrix<unsigned short>(NbCol, NbLig); }
short** smatrice(int NbCol, int NbLig) { return allocate_matrix<short>(NbCol, NbLig); }
int** imatrice(int NbCol, int NbLig) { return allocate_matrix<int>(NbCol, NbLig); }
double** dmatrice(int NbCol, int NbLig) { return allocate_matrix<double>(NbCol, NbLig); }
long double** ldmatrice(int NbCol, int NbLig) { return allocate_matrix<long double>(NbCol, NbLig); }

void frfmatrice(float** m, int NbLig) { release_matrix(m, NbLig); }
void frucmatrice(unsigned char** m, int NbLig) { release_matrix(m, NbLig); }
void frusmatrice(unsigned short** m, int NbLig) { release_matrix(m, NbLig); }
void frsmatrice(short** m, int NbLig) { release_matrix(m, NbLig); }
void frimatrice(int** m, int NbLig) { release_matrix(m, NbLig); }
void frdmatrice(double** m, int NbLig) { release_matrix(m, NbLig); }
void frldmatrice(long double** m, int NbLig) { release_matrix(m, NbLig); }

unsigned char* ucvecteur(int n) { return allocate_block<unsigned char>(n); }
unsigned short* usvecteur(int n) { return allocate_block<unsigned short>(n); }
short* svecteur(int n) { return allocate_block<short>(n); }
int* ivecteur(int n) { return allocate_block<int>(n); }
double* dvecteur(int n) { return allocate_block<double>(n); }
float* fvecteur(int n) { return allocate_block<float>(n); }

void frucvecteur(unsigned char* v) { release_block(v); }
void frusvecteur(unsigned short* v) { release_block(v); }
void frsvecteur(short* v) { release_block(v); }
void frivecteur(int* v) { release_block(v); }
void frdvecteur(double* v) { release_block(v); }
void frfvecteur(float* v) { release_block(v); }

}  // extern "C"
