// The two passes of the merge, one input at a time, and what lies between them.
#pragma once

#include "merge/frame.h"

class Accelerator;

// First pass over input m.i: folds its header extents, counts its polylines.
// False, after saying why, when it cannot be read.
[[nodiscard]] bool survey_file(MergeFrame& m, Accelerator* fast);
// Shows the extents the survey found.
void show_extents(const Extents& e);
// Writes the result's header with the extents truncated.
void write_header(Output& out, const Extents& e);
// Second pass over input m.i: copies its polylines, vertices rounded.
[[nodiscard]] bool write_file(MergeFrame& m, Accelerator* fast);
