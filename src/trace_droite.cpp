// Burning straight segments into the program-wide elevation grid.
#include "trace_droite.h"

#include <cmath>

double **dtab = nullptr; // program-wide grid, dtab[row][col]

namespace trace_droite_detail {

// The sum x + 0.5 is never rounded to a double, so 0.49999999999999994 gives
// 0, not 1.  x - floor(x) is exact except for x in (-0.5, 0), where it may
// round up (as far as 1.0) but never below 0.5; that range only uses the
// test frac >= 0.5, which the rounding cannot change.
long long tronque_plus_demi(double x) noexcept {
    const double f = std::floor(x);      // floor of x
    const double frac = x - f;           // fractional part, in [0, 1]
    const double plancher = f + (frac >= 0.5 ? 1.0 : 0.0); // floor(x + 0.5)
    if (x >= -0.5) {
        return static_cast<long long>(plancher); // x + 0.5 >= 0: floor is the truncation
    }
    // x + 0.5 < 0: truncation toward zero is one above the floor, unless the
    // sum is already a whole number.
    return static_cast<long long>(plancher) + (frac == 0.5 ? 0 : 1);
}

} // namespace trace_droite_detail

void trace_droite(int ideb, int jdeb, int ifin, int jfin, double alti) {
    if (dtab == nullptr) {
        return;
    }
    // Differences in 64 bits, so INT_MIN to INT_MAX does not overflow.
    const double di = static_cast<double>(static_cast<long long>(ifin) - ideb); // row extent
    const double dj = static_cast<double>(static_cast<long long>(jfin) - jdeb); // column extent

    double icrrnt_d = ideb; // running row position
    double jcrrnt_d = jdeb; // running column position
    long long icrrnt = ideb; // current cell's row
    long long jcrrnt = jdeb; // current cell's column
    if (icrrnt >= 0 && jcrrnt >= 0) {
        dtab[icrrnt][jcrrnt] = alti;
    }

    const double rmax = std::fmax(std::fabs(di), std::fabs(dj)); // number of steps
    if (rmax == 0.0) {
        return;
    }
    const double dinext = di / rmax; // row advance per step
    const double djnext = dj / rmax; // column advance per step

    // rmax is a whole number below 2^33, so the step count is exact.
    const auto pas_max = static_cast<long long>(rmax); // step limit
    // pas: steps taken so far.
    for (long long pas = 0; pas < pas_max && (icrrnt != ifin || jcrrnt != jfin); ++pas) {
        icrrnt_d += dinext;
        jcrrnt_d += djnext;
        icrrnt = trace_droite_detail::tronque_plus_demi(icrrnt_d);
        jcrrnt = trace_droite_detail::tronque_plus_demi(jcrrnt_d);
        if (icrrnt >= 0 && jcrrnt >= 0) {
            dtab[icrrnt][jcrrnt] = alti;
        }
    }
}
