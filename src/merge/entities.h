// What the accelerator's layout shortcuts need of the merge's rules: when
// they may take vertices, and what taking them does to the state. A
// shortcut takes vertices whose bytes are those of a vertex a turn took
// alone (Took), and writes the text that turn wrote.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <vector>

#include "merge/entity_turn.h"
#include "merge/frame.h"

// What a shortcut took: vertices, each as the turn it learnt from took its own.
struct Shortcut {
  std::uint64_t vertices = 0;
  bool by_group_codes = false;  // they were read by their group codes
  std::uint64_t bulges = 0;     // and held these, not zero
  std::uint64_t widths = 0;
  // Writing pass: the first and last vertices' coordinates as written, and
  // how many vertices after the first were written where the one before
  // them was.
  double first[3] = {}, last[3] = {};
  std::uint64_t coincident = 0;
};

// Whether a shortcut may take the next vertices: not in block definitions,
// a polyline left out or one whose extrusion moves its points, not where a
// section's name comes next, nor while lines joined into a polyline wait
// for the next one (a turn ends them first). While bulges are drawn as
// arcs, not for a polyline's first vertex (a turn starts its arcs); scaled,
// only where the polyline's elevation stays a number. A layer per input is
// in the text the shortcut learns from the turn, as it is for every vertex
// of the input.
[[nodiscard]] inline bool shortcut_allowed(const MergeFrame& m) {
  const InputState& s = m.input;
  const DrawingOptions& d = m.drawing;
  const bool first_of_arcs = s.bulging && !s.has_last;
  const bool elevation_beyond = d.scaled && s.at_elevation && !std::isfinite(s.elevation * d.scale);
  return !first_of_arcs && !elevation_beyond && !s.line_run && s.place.section != Section::blocks &&
         !s.place.was_section && !s.place.was_section_2 && !s.leaving_out && !numeric::moves_points(s.extrusion);
}

// Takes, in the survey, the vertices a shortcut took into the box of the
// input's vertices: the box of their coordinates as written, as read (z when
// they have one), placed as their polyline places its vertices.
void survey_vertices(MergeFrame& m, const InputBox& written, bool has_z);

// While bulges are drawn as arcs: whether the arc of the last vertex's bulge
// waits for the next vertex.
[[nodiscard]] inline bool arc_waits(const InputState& s) { return s.bulging && s.has_last && s.last_bulge != 0; }

// Does, for a vertex a shortcut takes while bulges are drawn as arcs, what
// its turn does before its own text: draws the arc that waits for it (at q,
// as read in its polyline's system, its z the polyline's elevation if it
// has one), and keeps its bulge, and layer, for the arc after it. arc and
// run are room for the arc's points and text.
void bulge_of_shortcut(MergeFrame& m, Pass pass, const curves::Point& q, double bulge, std::string_view layer,
                       std::vector<curves::Point>& arc, text::VertexRun& run);

// Does to the state what the turns of the vertices a shortcut took would have done.
void took_vertices(MergeFrame& m, Pass pass, const Shortcut& run);

// Starts a polyline in the result: one left open before it is closed first,
// so that the result's polylines never nest.
void open_polyline(MergeFrame& m);

// Takes a vertex the writing pass writes, in world coordinates, into the
// survey's box of the input's vertices, as written.
void take_into_box(MergeFrame& m, double x, double y, double z);

// Multiplies a point in world coordinates by the scale asked for, if any;
// false when a coordinate grows beyond the largest number.
bool scale_point(const MergeFrame& m, double& x, double& y, double& z);

// Counts, in the writing pass, a vertex written where the one before it in
// its polyline was written.
void note_written(InputState& s, double x, double y, double z);
// The same for a vertex's coordinates as written (text::VertexRun::write gives them).
void note_written(InputState& s, const std::array<double, 3>& written);

// The layer an entity is written on: its own, or its input's when each input has one.
[[nodiscard]] std::string_view layer_of(const MergeFrame& m, std::string_view own);

// Ends, at the end of an input, a polyline written and left open there.
void close_polyline(MergeFrame& m);
