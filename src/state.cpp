// The program-wide state, zero at start.
#include "state.h"

#include <cstring>

int num_arch = 0;
imagen capas[100];
char nomgen[128];
Reader f1;
ResultFile f2;
Console console;
double min_x = 0.0, min_y = 0.0, min_alt = 0.0, max_x = 0.0, max_y = 0.0, max_alt = 0.0;

void reset_state() {
  num_arch = 0;
  std::memset(capas, 0, sizeof capas);
  std::memset(nomgen, 0, sizeof nomgen);
  f1.close();
  f2.discard();
  min_x = min_y = min_alt = max_x = max_y = max_alt = 0.0;
}
