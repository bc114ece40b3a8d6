// A bound, from an input's bytes alone, on the work block references
// (--inserts) make a merge do: the merge fuzzer places them only where that
// work is small. The bound is never below what the merge does, whatever
// the input; it may be far above.
//
// It reads the input as the merge does where that matters (text-mode rules,
// tokens, lines, a group code and its value, whole-number literals) and
// takes every place that could be an entity for one:
//
//   - a block reference is a token INSERT, a definition a token BLOCK; the
//     groups of either are the lines after its token's, so its name, and a
//     reference's grid (70 columns, 71 rows, 44 and 45 spacings), are known
//     exactly for each such token;
//   - a placing follows a chain of references, each placing a block defined
//     under its name (in capitals) and the next inside that block, no block
//     twice (one met again within itself is not placed): the references of a
//     chain have distinct names, whichever blocks hold them;
//   - each copy placed goes through at most every polyline (POLYLINE and
//     LWPOLYLINE tokens), vertex (VERTEX tokens, and lines reading 10: an
//     LWPOLYLINE's point starts with one) and reference of the input, and
//     counts at most every kind of entity left out (a token that is no
//     whole number).
#pragma once

#include <string_view>

namespace placement {

// The bound on one input's work in each pass that places its references:
// each copy of a block placed counted once, and once more for each
// polyline, vertex, reference and kind left out it may go through. Any
// result above `most` only says so: the count stops short.
double placing_work(std::string_view input, double most);

}  // namespace placement
