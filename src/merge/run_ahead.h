// What a run of turns made elsewhere (on another thread, over a later part
// of the input) needs from the merge: whether it set off in the state the
// input's own turns reached there, and its work added to theirs.
//
// Turns act on the input's state by what it holds, not by what it counts:
// two states equal but for their counts (polylines, the survey's box, the
// report, vertices found coincident) and what no turn reads take the same
// bytes the same way from there on, and the counts they make add up.
#pragma once

#include <cstdint>

#include "merge/entity_turn.h"
#include "merge/frame.h"

// Whether the state of m's input and b are equal but for their counts and
// what no turn of m's merge reads, every number bit for bit.
[[nodiscard]] bool same_course(const MergeFrame& m, const InputState& b);

// The counts of s set back to none: what a run ahead counts after its first
// turn is its own.
void clear_counts(InputState& s);

// Takes into m the work of a run made over the bytes right after its read
// position, in a frame `ran` whose state set off as m's stands now: its
// state, its counts added to m's, and the polylines it met (`polylines`,
// counted there without showing them) counted and shown now.
void keep_run(MergeFrame& m, Pass pass, const MergeFrame& ran, std::uint64_t polylines);
