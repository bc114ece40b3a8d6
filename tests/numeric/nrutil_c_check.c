/* A C caller of NRUTIL: compiled as C, so the header must stay valid C and
   the routines must link under their C names. */
#include <stdlib.h>

#include "NRUTIL.h"

int nrutil_c_check(void);

/* Returns 0 when every check passes, otherwise the number of the first
   check that failed.  Zero fill and refused counts are checked from C++. */
int nrutil_c_check(void) {
  float** m = fmatrice(4, 3); /* 3 rows of 4 columns */
  int* v = ivecteur(6);
  int status = 0;

  if (m == NULL || v == NULL) {
    status = 1;
  } else {
    m[2][3] = 11.0f; /* last cells in bounds (ASan) */
    v[5] = 6;
    /* Rows are C library blocks: a C caller may swap one with free/calloc,
       and the matrix release must then free the new row. */
    free(m[1]);
    m[1] = (float*)calloc(4, sizeof(float));
    if (m[1] == NULL) status = 2;
  }
  frfmatrice(m, 3);
  frivecteur(v);
  return status;
}
