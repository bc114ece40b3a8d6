// Burning straight segments into the program-wide elevation grid.
#include "numeric/trace_droite.h"

#include <cmath>

#include "numeric/rounding.h"

double** dtab = nullptr;  // program-wide grid, dtab[row][col]

void trace_droite(int ideb, int jdeb, int ifin, int jfin, double alti) {
  if (dtab == nullptr) return;
  // Differences in 64 bits, so INT_MIN to INT_MAX does not overflow.
  const double di = static_cast<double>(static_cast<long long>(ifin) - ideb);  // row extent
  const double dj = static_cast<double>(static_cast<long long>(jfin) - jdeb);  // column extent

  double icrrnt_d = ideb;   // running row position
  double jcrrnt_d = jdeb;   // running column position
  long long icrrnt = ideb;  // current cell's row
  long long jcrrnt = jdeb;  // current cell's column
  if (icrrnt >= 0 && jcrrnt >= 0) dtab[icrrnt][jcrrnt] = alti;

  const double rmax = std::fmax(std::fabs(di), std::fabs(dj));  // number of steps
  if (rmax == 0.0) return;
  const double dinext = di / rmax;  // row advance per step
  const double djnext = dj / rmax;  // column advance per step

  // rmax is a whole number below 2^32, so the step limit is exact and every
  // position stays well inside the range plus_half_truncated accepts.  The
  // limit ends walks from negative end points, whose cells may never equal
  // the end cell.
  const auto step_limit = static_cast<long long>(rmax);
  for (long long steps = 0; steps < step_limit && (icrrnt != ifin || jcrrnt != jfin); ++steps) {
    icrrnt_d += dinext;
    jcrrnt_d += djnext;
    icrrnt = numeric::plus_half_truncated(icrrnt_d);
    jcrrnt = numeric::plus_half_truncated(jcrrnt_d);
    if (icrrnt >= 0 && jcrrnt >= 0) dtab[icrrnt][jcrrnt] = alti;
  }
}
