// The merge: a survey of every input's header extents, then the writing pass.
#pragma once

#include <vector>

#include "merge/accelerator.h"
#include "merge/frame.h"

struct MergeOptions {
  Acceleration fast = default_acceleration();
};

enum class MergeEnd {
  complete,
  input_failed,   // an input could not be read (said on standard error)
  output_failed,  // out failed (out.error_text says why; not yet said)
};

// Both passes over the inputs, in order, the result's bytes into out and the
// console texts on the program's console.
[[nodiscard]] MergeEnd merge(const std::vector<MergeInput>& inputs, Output& out, const MergeOptions& options = {});

// The merge of capas[1..num_arch] into f2, moved into place once complete.
// Returns false, after saying why on standard error, when an input cannot
// be read or the result cannot be written; f2 is then removed and nothing
// else is touched.
[[nodiscard]] bool treatment(const MergeOptions& options = {});
