// Program-wide state: what the dialogue fills and the merge reads.
#pragma once

#include <cstdint>

#include "console/console.h"
#include "read/reader.h"
#include "write/result.h"

// Longest composed path, without its terminating NUL.
inline constexpr int max_path = 127;
// Inputs the table holds (record 0 is never used).
inline constexpr int max_inputs = 99;

// One input file's record; the merge uses nombre only.
struct imagen {
  unsigned char nombre[128];   // complete composed path, NUL-terminated
  unsigned char tipodato[64];  // data-type description
  std::int32_t min_etiq[100];  // per-label minimum
  double media_etiq[100];      // per-label mean
  double mediana_etiq[100];    // per-label median
  std::int32_t max_etiq[100];  // per-label maximum
  double desv[100];            // per-label deviation
};

extern int num_arch;       // number of input files, as answered
extern imagen capas[100];  // capas[1..num_arch].nombre: the input paths
extern char nomgen[128];   // the folder path: "c:\images\" + folder + "\"
extern Reader f1;          // the input being read
extern ResultFile f2;      // the resulting file, open from the dialogue to the end
extern Console console;    // the operator's console

// Header value cells: the last x, y, z read after "$EXTMIN" and "$EXTMAX".
extern double min_x, min_y, min_alt, max_x, max_y, max_alt;

// Puts everything back as at program start (for tests that run several merges).
void reset_state();
