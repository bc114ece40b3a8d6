// Runs of the program in this process: the dialogue and the merge with the
// answers held in memory, and merges of drawings held in memory (no file
// system at all), compared with the reference merge.
#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "merge/treatment.h"
#include "reference_merge.h"
#include "restore.h"

namespace support {

// What a run of the dialogue (and the merge) showed and returned.
struct ProgramRun {
  bool opened = false;  // opening() returned true
  bool merged = false;  // treatment() returned true
  std::string shown;    // the console texts
  std::string errors;   // the "talvero: ..." lines, standard error's share
};

// opening() and, when it opened a result, treatment(options), as main does,
// from the program-wide state at its start; the console is left on nothing.
// `before_merge`, when given, runs between the two (a drawing the dialogue
// saw may be taken away there).
ProgramRun run_program(std::string_view answers, const MergeOptions& options = {},
                       const std::function<void()>& before_merge = {});
// opening() alone: f2 stays open for the caller to look at until
// reset_state() (Restore::state()) discards it. The answers are piped, or
// typed at a terminal when `typed`.
ProgramRun run_opening(std::string_view answers, bool typed = false);

// What a merge of drawings in memory wrote, showed and said.
struct MemoryMerge {
  MergeEnd end = MergeEnd::complete;
  std::string result;   // the resulting file's bytes
  std::string console;  // the console texts, from "\n\n\tTreatment\n" on
  std::string errors;   // the "talvero: ..." lines
  MergeTotals totals;   // what the result holds, as the closing line says it
};

// merge() of the drawings, read from memory in blocks of `block` bytes.
MemoryMerge merge_in_memory(const std::vector<reference::Input>& inputs, const MergeOptions& options = {},
                            std::size_t block = default_block);

// Lines each ended by CR LF, as the result holds them.
std::string crlf(std::initializer_list<std::string_view> lines);

// The result's 27 header lines for the given truncated extents.
std::string result_header(std::string_view minx, std::string_view miny, std::string_view minz, std::string_view maxx,
                          std::string_view maxy, std::string_view maxz);

// A POLYLINE, a VERTEX and a SEQEND as the result holds them.
std::string result_polyline(std::string_view layer, std::string_view flags);
std::string result_vertex(std::string_view layer, std::string_view flags, std::string_view x, std::string_view y,
                          std::string_view z);
extern const std::string result_seqend;

// A drawing from its group codes and values separated by spaces, one a line.
std::string spaced_lines(std::string_view groups);

// Drawings named c:\images\t\a.dxf, c:\images\t\b.dxf and so on (26 at most).
std::vector<reference::Input> drawings(std::initializer_list<std::string_view> bytes);

// The ways the merge may read, which must all give the same bytes: every
// setting of TALVERO_ACCEL the build has (the plain reads alone and, in
// builds with the accelerator, runs over each block, and runs with the
// worker thread).
struct NamedAcceleration {
  std::string name;
  Acceleration fast;
};
std::vector<NamedAcceleration> accelerations();

// A merge checked against the reference merge.
struct CheckedMerge {
  MemoryMerge merged;        // with the general reads alone, at the first block size
  std::string disagreement;  // empty, or the first difference found
};
// Merges the drawings with every acceleration at every block size; each
// must end as the reference merge does (complete, or failed at an input),
// with its result, console texts, messages and counts of polylines and
// vertices written, byte for byte.
CheckedMerge checked_merge(const std::vector<reference::Input>& inputs,
                           const std::vector<std::size_t>& blocks = {default_block});

// The lines of text (CR LF or LF ends) equal to `line`.
std::size_t count_lines(std::string_view text, std::string_view line);

// Where two texts first differ, with a little of each from there; empty
// when they are equal.
std::string first_difference(std::string_view a, std::string_view b);

}  // namespace support
