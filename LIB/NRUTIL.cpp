// NRUTIL: zero-filled row-pointer matrices and vectors (see NRUTIL.h).
#include "NRUTIL.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void *appel_calloc(std::size_t nb, std::size_t taille) { return std::calloc(nb, taille); }
void appel_free(void *bloc) { std::free(bloc); }

// Routines every block goes through; replaced only by tests.
nrutil_detail::Allocateur g_allocateur{appel_calloc, appel_free};

// One zero-filled block of nb elements of type T, or null.
template <typename T>
T *alloue_bloc(int nb) {
    std::size_t octets = 0;
    if (nb <= 0 || !nrutil_detail::taille_bloc(static_cast<std::size_t>(nb), sizeof(T), &octets)) {
        return nullptr;
    }
    return static_cast<T *>(g_allocateur.alloue(static_cast<std::size_t>(nb), sizeof(T)));
}

template <typename T>
void libere_bloc(T *bloc) {
    if (bloc != nullptr) {
        g_allocateur.libere(bloc);
    }
}

// Frees the first NbLig rows in order, then the row-pointer block.
template <typename T>
void libere_matrice(T **m, int NbLig) {
    if (m == nullptr) {
        return;
    }
    for (int i = 0; i < NbLig; ++i) {
        libere_bloc(m[i]);
    }
    g_allocateur.libere(m);
}

// NbLig separately allocated rows of NbCol zero-filled elements, or null.
template <typename T>
T **alloue_matrice(int NbCol, int NbLig) {
    std::size_t octets = 0;
    if (NbCol <= 0 || NbLig <= 0 ||
        !nrutil_detail::taille_bloc(static_cast<std::size_t>(NbCol), sizeof(T), &octets)) {
        return nullptr;
    }
    // The row-pointer block is zero-filled before any row is stored.
    T **m = alloue_bloc<T *>(NbLig);
    if (m == nullptr) {
        return nullptr;
    }
    for (int i = 0; i < NbLig; ++i) {
        m[i] = alloue_bloc<T>(NbCol);
        if (m[i] == nullptr) {
            libere_matrice(m, i);
            return nullptr;
        }
    }
    return m;
}

} // namespace

namespace nrutil_detail {

bool taille_bloc(std::size_t nb, std::size_t taille, std::size_t *octets) noexcept {
    constexpr auto limite = static_cast<std::size_t>(PTRDIFF_MAX);
    if (taille != 0 && nb > limite / taille) {
        return false;
    }
    *octets = nb * taille;
    return true;
}

Allocateur remplace_allocateur(Allocateur nouveau) noexcept {
    const Allocateur ancien = g_allocateur;
    g_allocateur.alloue = nouveau.alloue != nullptr ? nouveau.alloue : appel_calloc;
    g_allocateur.libere = nouveau.libere != nullptr ? nouveau.libere : appel_free;
    return ancien;
}

} // namespace nrutil_detail

extern "C" {

float **fmatrice(int NbCol, int NbLig) { return alloue_matrice<float>(NbCol, NbLig); }
unsigned char **ucmatrice(int NbCol, int NbLig) { return alloue_matrice<unsigned char>(NbCol, NbLig); }
unsigned short **usmatrice(int NbCol, int NbLig) { return alloue_matrice<unsigned short>(NbCol, NbLig); }
short **smatrice(int NbCol, int NbLig) { return alloue_matrice<short>(NbCol, NbLig); }
int **imatrice(int NbCol, int NbLig) { return alloue_matrice<int>(NbCol, NbLig); }
double **dmatrice(int NbCol, int NbLig) { return alloue_matrice<double>(NbCol, NbLig); }
long double **ldmatrice(int NbCol, int NbLig) { return alloue_matrice<long double>(NbCol, NbLig); }

void frfmatrice(float **m, int NbLig) { libere_matrice(m, NbLig); }
void frucmatrice(unsigned char **m, int NbLig) { libere_matrice(m, NbLig); }
void frusmatrice(unsigned short **m, int NbLig) { libere_matrice(m, NbLig); }
void frsmatrice(short **m, int NbLig) { libere_matrice(m, NbLig); }
void frimatrice(int **m, int NbLig) { libere_matrice(m, NbLig); }
void frdmatrice(double **m, int NbLig) { libere_matrice(m, NbLig); }
void frldmatrice(long double **m, int NbLig) { libere_matrice(m, NbLig); }

unsigned char *ucvecteur(int n) { return alloue_bloc<unsigned char>(n); }
unsigned short *usvecteur(int n) { return alloue_bloc<unsigned short>(n); }
short *svecteur(int n) { return alloue_bloc<short>(n); }
int *ivecteur(int n) { return alloue_bloc<int>(n); }
double *dvecteur(int n) { return alloue_bloc<double>(n); }
float *fvecteur(int n) { return alloue_bloc<float>(n); }

void frucvecteur(unsigned char *v) { libere_bloc(v); }
void frusvecteur(unsigned short *v) { libere_bloc(v); }
void frsvecteur(short *v) { libere_bloc(v); }
void frivecteur(int *v) { libere_bloc(v); }
void frdvecteur(double *v) { libere_bloc(v); }
void frfvecteur(float *v) { libere_bloc(v); }

} // extern "C"
