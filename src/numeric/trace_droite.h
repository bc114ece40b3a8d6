// Burning straight segments into the program-wide elevation grid.
#pragma once

// Program-wide grid, addressed dtab[row][col]: a row-pointer matrix of the
// kind dmatrice allocates.  Null until the program allocates one.
extern double** dtab;

// Writes alti into the grid cells of the segment from (ideb, jdeb) to
// (ifin, jfin), end points included.  The segment is walked in
// rmax = max(|ifin - ideb|, |jfin - jdeb|) equal steps; each step's cell is
// the running position plus 0.5 (added exactly), truncated toward zero, so
// positions in (-1.5, -0.5] give 0: a segment along row -1 burns row 0.
//
// Does nothing while dtab is null.  Never writes a cell whose row or column
// is negative.  Stops on reaching (ifin, jfin) or after rmax steps, whichever
// comes first, so it always ends.
// The caller owns the upper bound: dtab must hold every cell between the end
// points, as the routine cannot know the grid's size.
void trace_droite(int ideb,      // starting row
                  int jdeb,      // starting column
                  int ifin,      // final row
                  int jfin,      // final column
                  double alti);  // value written into each cell
