// The merge: a survey of every input's header extents, then the writing pass.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "merge/accelerator.h"
#include "merge/drawing_options.h"
#include "merge/frame.h"

struct MergeOptions {
  Acceleration fast = default_acceleration();
  DrawingOptions drawing;
};

enum class MergeEnd {
  complete,
  input_failed,   // an input could not be read (said on standard error)
  output_failed,  // out failed (out.error_text says why; not yet said)
};

// What a merge wrote, for the line that closes a run.
struct MergeTotals {
  std::uint64_t polylines = 0;
  std::uint64_t vertices = 0;
  // What was said of each input that was read by group codes, converted or
  // left out: said once the result is complete (a failed run says one line).
  std::vector<std::string> reports;
};

// Both passes over the inputs, in order, the result's bytes into out and the
// console texts on the program's console.
[[nodiscard]] MergeEnd merge(const std::vector<MergeInput>& inputs, Output& out, const MergeOptions& options = {},
                             MergeTotals* totals = nullptr);

// The merge of the inputs into f2, which is moved into place once complete;
// then one line on standard error says what it holds. Returns false, after
// saying why, when an input cannot be read or the result cannot be written;
// f2 is then removed and nothing else is touched.
[[nodiscard]] bool merge_into_result(const std::vector<MergeInput>& inputs, const MergeOptions& options = {});

// merge_into_result of capas[1..num_arch], the inputs the dialogue took.
[[nodiscard]] bool treatment(const MergeOptions& options = {});
