// Acting on the entities a turn read: the state they change, what they count
// and, in the writing pass, their text; in the survey of an input whose
// header gives no extents, the box of its vertices.
#include "merge/entities.h"

#include <cmath>

#include "merge/entity_turn.h"
#include "merge/placing.h"
#include "merge/shapes.h"
#include "numeric/rounding.h"
#include "state.h"

namespace {

using How = TurnPlan::How;

// Counts what the result does not carry; bulges drawn as arcs are carried.
void count_groups(MergeFrame& m, const groups::Groups& g, bool bulges_drawn = false) {
  if (!bulges_drawn) m.input.report.bulges += g.bulges;
  m.input.report.widths += g.widths;
}

// Whether the vertices of a polyline in the system of extrusion e, at
// elevation e, do not all lie at height 0 in the result: a plane tilted from
// the world's, or one whose height is not written as 0.
bool off_the_ground(const numeric::Extrusion& e, double elevation) {
  if (e.x != 0 || e.y != 0) return true;
  double x = 0, y = 0, z = elevation;
  numeric::to_world(e, x, y, z);
  return numeric::as_written(z) != 0;
}

// Puts a vertex of the current polyline in world coordinates: at the
// polyline's elevation when it has one, whatever its own z.
void place_vertex(const InputState& s, double& x, double& y, double& z) {
  if (s.at_elevation) z = s.elevation;
  numeric::to_world(s.extrusion, x, y, z);
}

// The state of a polyline read from now on: its vertices at `elevation`
// when it is a 2D one with one, in the system of `extrusion`.
void start_polyline(InputState& s, double elevation, bool three_d, const numeric::Extrusion& extrusion) {
  s.leaving_out = false;
  s.elevation = elevation;
  s.at_elevation = !three_d && elevation != 0;
  // A 3D polyline's vertices are in world coordinates already.
  s.extrusion = three_d ? numeric::Extrusion{} : extrusion;
  s.made_3d = !three_d && off_the_ground(s.extrusion, elevation);
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
    start_polyline(s, 0, false, {});
    start_bulges(m, p.polyline_items.ints[5], (p.polyline_items.ints[5] & 8) != 0);
    if constexpr (pass == Pass::survey) return count_survey_polyline(m);
    open_polyline(m);
    text::write_polyline(m.out, p.polyline_items);
    return;
  }
  const groups::Groups& g = p.polyline_groups;
  if constexpr (pass == Pass::write) count_groups(m, g);
  if (p.polyline == How::cut_off) return;  // not taken
  if (p.polyline_bad) return leave_out_polyline<pass>(m, no_number_polylines);
  if (g.paper) return leave_out_polyline<pass>(m, paper_polylines);
  if ((g.flags & (16 | 64)) != 0)
    return leave_out_polyline<pass>(m, (g.flags & 16) != 0 ? polygon_meshes : polyface_meshes);
  start_polyline(s, g.has_z ? g.z : 0.0, (g.flags & 8) != 0, g.extrusion);
  start_bulges(m, g.flags, (g.flags & 8) != 0);
  if constexpr (pass == Pass::survey) return count_survey_polyline(m);
  open_polyline(m);
  ++s.report.by_group_codes;
  text::write_polyline(m.out, g.layer, g.flags | (s.made_3d ? 8 : 0));
}

// Puts the points of a bulge's arc, in world coordinates, as vertices.
template <Pass pass>
void put_arc(MergeFrame& m, const std::vector<curves::Point>& arc) {
  const InputState& s = m.input;
  for (const curves::Point& q : arc) {
    if constexpr (pass == Pass::survey) {
      take_into_box(m, q.x, q.y, q.z);
    } else {
      text::write_vertex(m.out, s.bulge_layer, s.made_3d ? 32 : 0, q.x, q.y, q.z);
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
      bulge_before(m, q, 0, v.tokens[0], p.shape_points);
      put_arc<pass>(m, p.shape_points);
    }
    if (pass == Pass::survey) {
      place_vertex(s, v.reals[0], v.reals[1], v.reals[2]);
      take_into_box(m, v.reals[0], v.reals[1], v.reals[2]);
      return false;
    }
    place_vertex(s, v.reals[0], v.reals[1], v.reals[2]);
    if (s.made_3d) v.ints[3] |= 32;
    count_written_vertices(m);
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
    bulge_before(m, {x, y, s.at_elevation ? s.elevation : z}, g.bulge, g.layer, p.shape_points);
    put_arc<pass>(m, p.shape_points);
  }
  if constexpr (pass == Pass::survey) {
    place_vertex(s, x, y, z);
    take_into_box(m, x, y, z);
    return false;
  }
  place_vertex(s, x, y, z);
  count_written_vertices(m);
  ++s.report.by_group_codes;
  text::write_vertex(m.out, g.layer, g.flags | (s.made_3d ? 32 : 0), x, y, z);
  return true;
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
  start_polyline(s, g.elevation, false, g.extrusion);
  if (arcs) {
    lwpolyline_arcs(p.points, p.point_bulges, (g.flags & 1) != 0, m.drawing.tolerance, p.bulged_points);
    p.points.swap(p.bulged_points);
  }
  if constexpr (pass == Pass::survey) {
    for (auto [x, y] : p.points) {
      double z = g.elevation;
      numeric::to_world(s.extrusion, x, y, z);
      take_into_box(m, x, y, z);
    }
    return count_survey_polyline(m);
  }
  open_polyline(m);
  text::write_polyline(m.out, g.layer, (g.flags & (1 | 128)) | (s.made_3d ? 8 : 0));
  text::VertexRun& run = p.vertex_run;
  run.prepare(g.layer, s.made_3d ? 32 : 0);
  const bool moves = numeric::moves_points(s.extrusion);
  for (auto [x, y] : p.points) {
    double z = g.elevation;
    if (moves) numeric::to_world(s.extrusion, x, y, z);
    run.write(m.out, x, y, z);
  }
  close_polyline(m);
  count_written_vertices(m, p.points.size());
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
  if (p.shape) {
    act_on_shape<pass>(m, p);
    return Took::other;
  }
  end_line_run<pass>(m);
  if (m.drawing.inserts) {
    // What lies in block definitions is held for the references that place it.
    if (pass == Pass::survey && p.place.section == Section::blocks) {
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
      bulge_closing(m, p.shape_points);
      put_arc<pass>(m, p.shape_points);
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
  const double z = numeric::as_written(s.at_elevation ? s.elevation : 0.0);
  box.take_min(2, s.at_elevation || !has_z ? z : written.min[2]);
  box.take_max(2, s.at_elevation || !has_z ? z : written.max[2]);
}

void took_vertices(MergeFrame& m, Pass pass, const Shortcut& run) {
  InputState& s = m.input;
  s.place.after_zero = true;
  if (pass == Pass::survey) return;
  count_written_vertices(m, run.vertices);
  if (!run.by_group_codes) return;
  s.report.by_group_codes += run.vertices;
  s.report.bulges += run.bulges;
  s.report.widths += run.widths;
}
