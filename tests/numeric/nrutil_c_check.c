/* A C caller of NRUTIL: compiled as C, so the header must stay valid C. */
#include <stdlib.h>

#include "NRUTIL.h"

int nrutil_c_verifie(void);

/* Returns 0 when every check passes, otherwise the number of the first
   check that failed. */
int nrutil_c_verifie(void)
{
    float **m = fmatrice(4, 3); /* 3 rows of 4 columns */
    int *v = ivecteur(6);
    int statut = 0;
    int i, j;

    if (m == NULL || v == NULL) {
        statut = 1;
    } else {
        for (i = 0; i < 3; ++i) {
            for (j = 0; j < 4; ++j) {
                if (m[i][j] != 0.0f && statut == 0) statut = 2;
                m[i][j] = (float)(i * 4 + j);
            }
        }
        for (j = 0; j < 6; ++j) {
            if (v[j] != 0 && statut == 0) statut = 3;
        }
        /* Rows are C library blocks: a C caller may swap one with free/calloc. */
        free(m[1]);
        m[1] = (float *)calloc(4, sizeof(float));
        if (m[1] == NULL && statut == 0) statut = 4;
        if (m[2][3] != 11.0f && statut == 0) statut = 5;
        if (dmatrice(0, 3) != NULL && statut == 0) statut = 6;
    }
    frfmatrice(m, 3);
    frivecteur(v);
    return statut;
}
