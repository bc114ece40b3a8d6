/*
 * NRUTIL: zero-filled arrays for C and C++ callers.
 *
 * Matrices are row-pointer arrays: a block of NbLig row pointers, each
 * pointing to its own separately allocated block of NbCol zero-filled
 * elements.  They are indexed from 0, row first: m[row][col].
 * Vectors are single blocks of n zero-filled elements, indexed from 0.
 *
 * Every block comes from calloc and is returned with free, so C code may
 * release or replace single rows with the C library itself.
 *
 * Allocators return null when:
 *   - a count (NbCol, NbLig or n) is zero or negative;
 *   - a block size (count x element size, or NbLig x pointer size) would
 *     exceed what size_t and the host's pointer arithmetic can address;
 *   - the C library refuses a block.  A matrix whose row allocation fails
 *     releases the rows already obtained and the row-pointer block first.
 *
 * Release routines accept null and then do nothing.  A matrix release frees
 * the first NbLig rows in order, then the row-pointer block; NbLig must be
 * the row count the matrix was allocated with.
 *
 * The extended element type is the host's long double.  Its size is
 * sizeof(long double): 16 bytes on x86-64 Linux and x86-64 MinGW with GCC
 * (an 80-bit value padded to 16 bytes), 8 bytes where long double is the
 * same as double (MSVC).  Code must not assume 10 bytes.
 */
#ifndef NRUTIL_H
#define NRUTIL_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Matrices: allocators take the column count first, then the row count. */
float** fmatrice(int NbCol, int NbLig);
unsigned char** ucmatrice(int NbCol, int NbLig);
unsigned short** usmatrice(int NbCol, int NbLig);
short** smatrice(int NbCol, int NbLig);
int** imatrice(int NbCol, int NbLig);
double** dmatrice(int NbCol, int NbLig);
long double** ldmatrice(int NbCol, int NbLig);

/* Matrix release: m as returned by the allocator, NbLig its row count. */
void frfmatrice(float** m, int NbLig);
void frucmatrice(unsigned char** m, int NbLig);
void frusmatrice(unsigned short** m, int NbLig);
void frsmatrice(short** m, int NbLig);
void frimatrice(int** m, int NbLig);
void frdmatrice(double** m, int NbLig);
void frldmatrice(long double** m, int NbLig);

/* Vectors of n elements. */
unsigned char* ucvecteur(int n);
unsigned short* usvecteur(int n);
short* svecteur(int n);
int* ivecteur(int n);
double* dvecteur(int n);
float* fvecteur(int n);

/* Vector release. */
void frucvecteur(unsigned char* v);
void frusvecteur(unsigned short* v);
void frsvecteur(short* v);
void frivecteur(int* v);
void frdvecteur(double* v);
void frfvecteur(float* v);

#ifdef __cplusplus
} /* extern "C" */

/* C++ only: internals exposed so tests can reach the failure paths. */
namespace nrutil_detail {

/* Byte size of count elements of size bytes each, stored in *bytes.
   Returns false (and leaves *bytes alone) when the product exceeds
   PTRDIFF_MAX, the largest block the host can index safely. */
bool block_bytes(size_t count, size_t size, size_t* bytes) noexcept;

/* The pair of C-library routines every block goes through. */
struct Allocator {
  void* (*allocate)(size_t count, size_t size); /* calloc-like */
  void (*release)(void* block);                 /* free-like */
};

/* Installs the routines used from now on and returns the previous pair.
   A null member restores calloc or free.  Not thread-safe: tests only. */
Allocator replace_allocator(Allocator replacement) noexcept;

}  // namespace nrutil_detail
#endif /* __cplusplus */

#endif /* NRUTIL_H */
