// What both passes do for each input: its console line, opening and closing
// it, the running count of its polylines, and the one warning per input
// about a read that found no item where the layout expects one.
#pragma once

#include "merge/frame.h"

// Shows "File i Name : path " for the frame's current input.
void show_file_line(const MergeFrame& m);
// Opens the current input in f1; false, after saying why, when it cannot be.
[[nodiscard]] bool open_input(const MergeFrame& m);
// Closes f1; false, after saying why, when reading it failed.
[[nodiscard]] bool close_input(const MergeFrame& m);
// Counts a POLYLINE of the survey, or of the writing pass, and shows the count.
void count_survey_polyline(MergeFrame& m);
void count_written_polyline(MergeFrame& m);
// Counts VERTEX entities the writing pass wrote.
void count_written_vertices(MergeFrame& m, std::uint64_t n = 1);
// Says, once per input, that an item the layout expects is missing.
void warn_layout(MergeFrame& m);
// Says, once per input, that the value just read is no number, and what is
// left out for it.
void warn_no_number(MergeFrame& m, std::string_view value, std::string_view left_out);
// Folds, after the survey of the input, its extents into the merge's: its
// header's on each axis where they are usable, else its vertices'.
void fold_input_extents(MergeFrame& m);
// The input's header extents as the result holds them (scaled, if asked).
InputBox header_in_result(const MergeFrame& m);
// Says, after the writing pass of the input, when rounding put more than
// half of the vertices written from it where the vertex before them in
// their polyline lies (not when a scale is given).
void warn_coincident(const MergeFrame& m);
// Puts the per-input state back for the frame's current input.
void start_input(MergeFrame& m);
// Checks, after the survey of the input, that it was a text DXF drawing;
// false, after saying why, when it was not (binary, or no SECTION at all).
[[nodiscard]] bool check_drawing(const MergeFrame& m, std::string_view raw_head);
// Keeps, to be said once the result is complete, what the writing pass read
// of the input by group codes, converted or left out, or that nothing was
// copied from it.
void report_input(MergeFrame& m);
