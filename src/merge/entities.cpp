// Acting on the entities a turn read: the state they change, what they count
// and, in the writing pass, their text; in the survey of an input whose
// header gives no extents, the box of its vertices.
#include "merge/entities.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "merge/entity_turn.h"
#include "merge/placing.h"
#include "merge/shapes.h"
#include "numeric/rounding.h"
#include "state.h"

// Multiplies a point in world coordinates by the scale asked for, if any;
// false when a coordinate grows beyond the largest number.
bool scale_point(const MergeFrame& m, double& x, double& y, double& z) {
  if (!m.drawing.scaled) return true;
  const double f = m.drawing.scale;
  x *= f;
  y *= f;
  z *= f;
  return std::isfinite(x) && std::isfinite(y) && std::isfinite(z);
}

// Counts, in the writing pass, a vertex written where the one before it in
// its polyline was written.
void note_written(InputState& s, const std::array<double, 3>& point) {
  if (s.has_last_written && point[0] == s.last_written[0] && point[1] == s.last_written[1] &&
      point[2] == s.last_written[2])
    ++s.coincident;
  for (int k = 0; k < 3; ++k) s.last_written[k] = point[k];
  s.has_last_written = true;
}

void note_written(InputState& s, double x, double y, double z) {
  note_written(s, {numeric::as_written(x), numeric::as_written(y), numeric::as_written(z)});
}

// The layer an entity is written on: its own, or its input's when each input has one.
std::string_view layer_of(const MergeFrame& m, std::string_view own) {
  return m.drawing.layer_per_input ? std::string_view(m.input.layer) : own;
}

namespace {

using How = TurnPlan::How;

// Counts what the result does not carry; bulges drawn as arcs are carried.
void count_groups(MergeFrame& m, const groups::Groups& g, bool bulges_drawn = false) {
  if (!bulges_drawn) m.input.report.bulges += g.bulges;
  m.input.report.widths += g.widths;
}

// Whether the vertices of a polyline in the system of extrusion e, at
// elevation e, do not all lie at height 0 in the result (its coordinates
// multiplied by `scale`): a plane tilted from the world's, or one whose
// height is not written as 0.
bool off_the_ground(const numeric::Extrusion& e, double elevation, double scale) {
  if (e.x != 0 || e.y != 0) return true;
  double x = 0, y = 0, z = elevation;
  numeric::to_world(e, x, y, z);
  return numeric::as_written(z * scale) != 0;
}

// Puts a vertex of the current polyline in world coordinates, as the
// result holds them: at the polyline's elevation when it has one, whatever
// its own z, and scaled; false when scaling takes it beyond the numbers.
bool place_vertex(const MergeFrame& m, double& x, double& y, double& z) {
  const InputState& s = m.input;
  if (s.at_elevation) z = s.elevation;
  numeric::to_world(s.extrusion, x, y, z);
  return scale_point(m, x, y, z);
}

// Of an entity in the layout: whether its layer is its first item's value
// (group code 8 there and nowhere else), and its flags (the value after a
// code 70 among its integer pairs, else 0). `pairs` are the places of the
// integer items that hold a group code before an integer value.
struct LayoutGroups {
  bool layer_first = true;
  int flags = 0;
};
template <std::size_t N>
LayoutGroups layout_groups(const grammar::ItemValues& v, const int (&pairs)[N]) {
  LayoutGroups g;
  g.layer_first = v.ints[0] == 8;
  for (const int k : pairs) {
    if (v.ints[k] == 8) g.layer_first = false;
    if (v.ints[k] == 70) g.flags = v.ints[k + 1];
  }
  return g;
}
constexpr int polyline_pairs[] = {4, 6, 8};
constexpr int vertex_pairs[] = {2};

// The state of a polyline read from now on: its vertices at `elevation`
// when it is a 2D one with one, in the system of `extrusion`.
void start_polyline(MergeFrame& m, double elevation, bool three_d, const numeric::Extrusion& extrusion) {
  InputState& s = m.input;
  s.leaving_out = false;
  s.elevation = elevation;
  s.at_elevation = !three_d && elevation != 0;
  // A 3D polyline's vertices are in world coordinates already.
  s.extrusion = three_d ? numeric::Extrusion{} : extrusion;
  s.made_3d = !three_d && off_the_ground(s.extrusion, elevation, m.drawing.scaled ? m.drawing.scale : 1.0);
}

// A polyline left out with its vertices, for `why` (said in the writing pass).
template <Pass pass>
void leave_out_polyline(MergeFrame& m, std::string_view why) {
  m.input.leaving_out = true;
  if constexpr (pass == Pass::write) m.input.report.leave_out(why);
}

template <Pass pass>
void act_on_polyline(MergeFrame& m, TurnPlan& p) {
  InputState& s = m.input;
  if (p.polyline == How::layout) {
    start_polyline(m, 0, false, {});
    start_bulges(m, p.polyline_items.ints[5], (p.polyline_items.ints[5] & 8) != 0);
    if constexpr (pass == Pass::survey) return count_survey_polyline(m);
    open_polyline(m);
    grammar::ItemValues& v = p.polyline_items;
    if (m.drawing.layer_per_input) {
      // Only its layer item changes; one whose layer is not there is
      // written as one read by its group codes.
      const LayoutGroups g = layout_groups(v, polyline_pairs);
      if (!g.layer_first || v.ints[2] == 8) return text::write_polyline(m.out, m.input.layer, g.flags);
      v.tokens[0] = m.input.layer;
    }
    text::write_polyline(m.out, v);
    return;
  }
  const groups::Groups& g = p.polyline_groups;
  if constexpr (pass == Pass::write) count_groups(m, g);
  if (p.polyline == How::cut_off) return;  // not taken
  if (p.polyline_bad) return leave_out_polyline<pass>(m, no_number_polylines);
  if (g.paper) return leave_out_polyline<pass>(m, paper_polylines);
  if ((g.flags & (16 | 64)) != 0)
    return leave_out_polyline<pass>(m, (g.flags & 16) != 0 ? polygon_meshes : polyface_meshes);
  start_polyline(m, g.has_z ? g.z : 0.0, (g.flags & 8) != 0, g.extrusion);
  start_bulges(m, g.flags, (g.flags & 8) != 0);
  if constexpr (pass == Pass::survey) return count_survey_polyline(m);
  open_polyline(m);
  ++s.report.by_group_codes;
  text::write_polyline(m.out, layer_of(m, g.layer), g.flags | (s.made_3d ? 8 : 0));
}

// Puts the points of a bulge's arc, in world coordinates, as vertices.
template <Pass pass>
void put_arc(MergeFrame& m, const std::vector<curves::Point>& arc, text::VertexRun& run) {
  InputState& s = m.input;
  if (pass == Pass::write && !arc.empty()) run.prepare(layer_of(m, s.bulge_layer), s.made_3d ? 32 : 0);
  for (curves::Point q : arc) {
    if (!scale_point(m, q.x, q.y, q.z)) {
      if constexpr (pass == Pass::write) s.report.leave_out(beyond_numbers);
      continue;
    }
    if constexpr (pass == Pass::survey) {
      take_into_box(m, q.x, q.y, q.z);
    } else {
      note_written(s, run.write(m.out, q.x, q.y, q.z));
      count_written_vertices(m);
    }
  }
}

// Acts on a vertex; true when it is written as read, in a polyline whose
// vertices are (none left out, none moved).
template <Pass pass>
bool act_on_vertex(MergeFrame& m, TurnPlan& p) {
  InputState& s = m.input;
  if (p.vertex == How::layout) {
    if (s.leaving_out) return false;
    grammar::ItemValues& v = p.vertex_items;
    if (s.bulging) {
      const curves::Point q{v.reals[0], v.reals[1], s.at_elevation ? s.elevation : v.reals[2]};
      bulge_before(m, q, 0, v.tokens[0], p.shape_points, pass == Pass::survey);
      put_arc<pass>(m, p.shape_points, p.vertex_run);
    }
    const bool placed = place_vertex(m, v.reals[0], v.reals[1], v.reals[2]);
    if (pass == Pass::survey) {
      if (placed) take_into_box(m, v.reals[0], v.reals[1], v.reals[2]);
      return false;
    }
    if (!placed) {
      s.report.leave_out(beyond_numbers);
      return false;
    }
    count_written_vertices(m);
    note_written(s, v.reals[0], v.reals[1], v.reals[2]);
    if (m.drawing.layer_per_input) {
      // As for its polyline.
      const LayoutGroups g = layout_groups(v, vertex_pairs);
      if (!g.layer_first) {
        text::write_vertex(m.out, m.input.layer, g.flags | (s.made_3d ? 32 : 0), v.reals[0], v.reals[1], v.reals[2]);
        return true;
      }
      v.tokens[0] = m.input.layer;
    }
    if (s.made_3d) v.ints[3] |= 32;
    text::write_vertex(m.out, v);
    return true;
  }
  const groups::Groups& g = p.vertex_groups;
  if constexpr (pass == Pass::write) count_groups(m, g, s.bulging && !s.leaving_out);
  if (p.vertex == How::cut_off || s.leaving_out) return false;
  if (p.vertex_bad) {
    if constexpr (pass == Pass::write) s.report.leave_out(no_number_vertices);
    return false;
  }
  if ((g.flags & 16) != 0) {
    if constexpr (pass == Pass::write) s.report.leave_out(frame_points);
    return false;
  }
  double x = g.x, y = g.y, z = g.has_z ? g.z : 0.0;
  if (s.bulging) {
    bulge_before(m, {x, y, s.at_elevation ? s.elevation : z}, g.bulge, g.layer, p.shape_points, pass == Pass::survey);
    put_arc<pass>(m, p.shape_points, p.vertex_run);
  }
  const bool placed = place_vertex(m, x, y, z);
  if constexpr (pass == Pass::survey) {
    if (placed) take_into_box(m, x, y, z);
    return false;
  }
  if (!placed) {
    s.report.leave_out(beyond_numbers);
    return false;
  }
  count_written_vertices(m);
  note_written(s, x, y, z);
  ++s.report.by_group_codes;
  text::write_vertex(m.out, layer_of(m, g.layer), g.flags | (s.made_3d ? 32 : 0), x, y, z);
  return true;
}

// Takes points written as they stand, at height z, into the box. Rounding
// keeps order, so the box of their written values is that of their
// smallest and largest coordinates: one pass of comparisons finds them.
void take_extremes_into_box(MergeFrame& m, const std::vector<std::pair<double, double>>& points, double z) {
  if (points.empty()) return;
  double low_x = points[0].first, high_x = low_x, low_y = points[0].second, high_y = low_y;
  for (const auto& [x, y] : points) {
    low_x = std::min(low_x, x);
    high_x = std::max(high_x, x);
    low_y = std::min(low_y, y);
    high_y = std::max(high_y, y);
  }
  take_into_box(m, low_x, low_y, z);
  take_into_box(m, high_x, high_y, z);
}

template <Pass pass>
void act_on_lwpolyline(MergeFrame& m, TurnPlan& p) {
  InputState& s = m.input;
  const groups::Groups& g = p.lwpolyline_groups;
  const bool arcs = m.drawing.curves;
  if constexpr (pass == Pass::write) {
    count_groups(m, g, arcs);
    if (p.bad_points > 0) s.report.leave_out(no_number_vertices, p.bad_points);
  }
  if (p.lwpolyline_bad) return leave_out_polyline<pass>(m, no_number_polylines);
  if (g.paper) return leave_out_polyline<pass>(m, paper_polylines);
  start_polyline(m, g.elevation, false, g.extrusion);
  if (arcs) {
    lwpolyline_arcs(p.points, p.point_bulges, (g.flags & 1) != 0, m.drawing.tolerance, p.bulged_points);
    p.points.swap(p.bulged_points);
  }
  if constexpr (pass == Pass::survey) {
    if (!numeric::moves_points(s.extrusion) && !m.drawing.scaled) {
      take_extremes_into_box(m, p.points, g.elevation);
    } else {
      for (auto [x, y] : p.points) {
        double z = g.elevation;
        numeric::to_world(s.extrusion, x, y, z);
        if (scale_point(m, x, y, z)) take_into_box(m, x, y, z);
      }
    }
    return count_survey_polyline(m);
  }
  open_polyline(m);
  const std::string_view layer = layer_of(m, g.layer);
  text::write_polyline(m.out, layer, (g.flags & (1 | 128)) | (s.made_3d ? 8 : 0));
  text::VertexRun& run = p.vertex_run;
  run.prepare(layer, s.made_3d ? 32 : 0);
  const bool moves = numeric::moves_points(s.extrusion);
  std::uint64_t written = 0;
  for (auto [x, y] : p.points) {
    double z = g.elevation;
    if (moves) numeric::to_world(s.extrusion, x, y, z);
    if (!scale_point(m, x, y, z)) {
      s.report.leave_out(beyond_numbers);
      continue;
    }
    note_written(s, run.write(m.out, x, y, z));
    ++written;
  }
  close_polyline(m);
  count_written_vertices(m, written);
  ++s.report.converted;
}

}  // namespace

namespace turn_detail {

template <Pass pass>
Took act(MergeFrame& m, TurnPlan& p) {
  InputState& s = m.input;
  s.place = p.place;
  if (p.place.was_section) s.saw_section = true;
  if (!p.left_out.empty()) s.report.leave_out(p.left_out);
  // What lies in block definitions is held for the references that place it.
  const bool held = m.drawing.inserts && pass == Pass::survey && p.place.section == Section::blocks;
  if (p.shape && !held) {
    act_on_shape<pass>(m, p);
    return Took::other;
  }
  end_line_run<pass>(m);
  if (m.drawing.inserts) {
    if (held) {
      hold_in_block(m, p);
      return Took::other;
    }
    if (p.insert) {
      act_on_reference<pass>(m, p);
      return Took::other;
    }
  }
  if (p.lwpolyline) {
    act_on_lwpolyline<pass>(m, p);
    return Took::other;
  }
  if (p.polyline != How::none) act_on_polyline<pass>(m, p);
  Took took = Took::other;
  if (p.vertex != How::none) {
    const bool written = act_on_vertex<pass>(m, p);
    // A vertex alone, as a layout shortcut would take it.
    const bool alone = p.polyline == How::none && !p.seqend;
    const bool as_read = pass == Pass::survey ? !s.leaving_out : written;
    if (alone && as_read && !numeric::moves_points(s.extrusion)) {
      if (p.vertex == How::layout)
        took = Took::vertex_in_layout;
      else if (p.vertex == How::groups && p.place.after_zero && !p.vertex_bad && (p.vertex_groups.flags & 16) == 0)
        took = Took::vertex_by_groups;
    }
  }
  if (p.seqend) {
    if (s.bulging && !s.leaving_out) {
      bulge_closing(m, p.shape_points, pass == Pass::survey);
      put_arc<pass>(m, p.shape_points, p.vertex_run);
    }
    s.bulging = false;  // a vertex after it belongs to no polyline
    if (s.leaving_out) {
      s.leaving_out = false;
    } else if (pass == Pass::write) {
      // Only the end of a polyline written: a SEQEND also ends the attributes
      // of a block's insertion, which are not copied.
      close_polyline(m);
    }
  }
  return took;
}

template Took act<Pass::survey>(MergeFrame&, TurnPlan&);
template Took act<Pass::write>(MergeFrame&, TurnPlan&);

}  // namespace turn_detail

// Starts a polyline in the result: one left open before it is closed first,
// so that the result's polylines never nest.
void open_polyline(MergeFrame& m) {
  if (m.input.polyline_open) m.out.put(text::seqend);
  m.input.polyline_open = true;
  m.input.has_last_written = false;
  count_written_polyline(m);
}

// The survey takes the box of the vertices an input's writing pass copies,
// in world coordinates, as written.
void take_into_box(MergeFrame& m, double x, double y, double z) {
  const double point[3] = {numeric::as_written(x), numeric::as_written(y), numeric::as_written(z)};
  for (int k = 0; k < 3; ++k) {
    m.input.box.take_min(k, point[k]);
    m.input.box.take_max(k, point[k]);
  }
}

void close_polyline(MergeFrame& m) {
  m.input.has_last_written = false;
  if (!m.input.polyline_open) return;
  m.out.put(text::seqend);
  m.input.polyline_open = false;
}

void survey_vertices(MergeFrame& m, const InputBox& written, bool has_z) {
  // Shortcuts take vertices whose points their system does not move.
  InputBox& box = m.input.box;
  for (int k = 0; k < 2; ++k) {
    box.take_min(k, written.min[k]);
    box.take_max(k, written.max[k]);
  }
  const InputState& s = m.input;
  const double z =
      numeric::as_written((s.at_elevation ? s.elevation : 0.0) * (m.drawing.scaled ? m.drawing.scale : 1.0));
  box.take_min(2, s.at_elevation || !has_z ? z : written.min[2]);
  box.take_max(2, s.at_elevation || !has_z ? z : written.max[2]);
}

void bulge_of_shortcut(MergeFrame& m, Pass pass, const curves::Point& q, double bulge, std::string_view layer,
                       std::vector<curves::Point>& arc, text::VertexRun& run) {
  const bool survey = pass == Pass::survey;
  bulge_before(m, q, bulge, layer, arc, survey);
  if (survey)
    put_arc<Pass::survey>(m, arc, run);
  else
    put_arc<Pass::write>(m, arc, run);
}

void took_vertices(MergeFrame& m, Pass pass, const Shortcut& run) {
  InputState& s = m.input;
  s.place.after_zero = true;
  if (pass == Pass::survey) return;
  count_written_vertices(m, run.vertices);
  // Vertices scaled are not said to coincide (see inputs.cpp).
  if (run.vertices > 0 && !m.drawing.scaled) {
    // The run's first vertex follows the last one written before it.
    const double* const last = s.last_written;
    if (s.has_last_written && run.first[0] == last[0] && run.first[1] == last[1] && run.first[2] == last[2])
      ++s.coincident;
    s.coincident += run.coincident;
    for (int k = 0; k < 3; ++k) s.last_written[k] = run.last[k];
    s.has_last_written = true;
  }
  if (!run.by_group_codes) return;
  s.report.by_group_codes += run.vertices;
  if (!s.bulging) s.report.bulges += run.bulges;  // else drawn
  s.report.widths += run.widths;
}
