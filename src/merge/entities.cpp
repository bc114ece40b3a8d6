// Acting on the entities a turn read: the state they change, what they count
// and, in the writing pass, their text.
#include "merge/entities.h"

#include "merge/entity_turn.h"
#include "state.h"

namespace {

using How = TurnPlan::How;

// Starts a polyline in the result: one left open before it is closed first,
// so that the result's polylines never nest.
void open_polyline(MergeFrame& m) {
  if (m.input.polyline_open) m.out.put(text::seqend);
  m.input.polyline_open = true;
  count_written_polyline(m);
}

void count_groups(MergeFrame& m, const groups::Groups& g) {
  m.input.report.bulges += g.bulges;
  m.input.report.widths += g.widths;
}

template <Pass pass>
void act_on_polyline(MergeFrame& m, TurnPlan& p) {
  InputState& s = m.input;
  if (p.polyline == How::layout) {
    s.in_mesh = false;
    s.elevation = 0;
    s.extrusion = {};
    if constexpr (pass == Pass::survey) return count_survey_polyline(m);
    open_polyline(m);
    text::write_polyline(m.out, p.polyline_items);
    return;
  }
  const groups::Groups& g = p.polyline_groups;
  if constexpr (pass == Pass::write) count_groups(m, g);
  if (p.polyline == How::cut_off) return;  // not taken
  s.elevation = g.has_z ? g.z : 0.0;
  // A 3D polyline's vertices are in world coordinates already.
  s.extrusion = (g.flags & 8) != 0 ? numeric::Extrusion{} : g.extrusion;
  s.in_mesh = (g.flags & (16 | 64)) != 0;
  if (s.in_mesh) {
    if constexpr (pass == Pass::write) s.report.leave_out((g.flags & 16) != 0 ? polygon_meshes : polyface_meshes);
    return;
  }
  if constexpr (pass == Pass::survey) return count_survey_polyline(m);
  open_polyline(m);
  ++s.report.by_group_codes;
  text::write_polyline(m.out, g.layer, g.flags);
}

// Acts on a vertex; true when it is written as read, in a polyline whose
// vertices are (none of a mesh, no extrusion moves them).
template <Pass pass>
bool act_on_vertex(MergeFrame& m, TurnPlan& p) {
  InputState& s = m.input;
  if (p.vertex == How::layout) {
    if (pass == Pass::survey || s.in_mesh) return false;
    grammar::ItemValues& v = p.vertex_items;
    numeric::to_world(s.extrusion, v.reals[0], v.reals[1], v.reals[2]);  // when its polyline has an extrusion
    count_written_vertices(m);
    text::write_vertex(m.out, v);
    return true;
  }
  const groups::Groups& g = p.vertex_groups;
  if constexpr (pass == Pass::write) count_groups(m, g);
  if (p.vertex == How::cut_off || pass == Pass::survey || s.in_mesh) return false;
  if ((g.flags & 16) != 0) {
    s.report.leave_out(frame_points);
    return false;
  }
  double x = g.x, y = g.y, z = g.has_z ? g.z : s.elevation;
  numeric::to_world(s.extrusion, x, y, z);
  count_written_vertices(m);
  ++s.report.by_group_codes;
  text::write_vertex(m.out, g.layer, g.flags, x, y, z);
  return true;
}

template <Pass pass>
void act_on_lwpolyline(MergeFrame& m, TurnPlan& p) {
  InputState& s = m.input;
  const groups::Groups& g = p.lwpolyline_groups;
  s.in_mesh = false;
  s.elevation = g.elevation;
  s.extrusion = g.extrusion;
  if constexpr (pass == Pass::survey) return count_survey_polyline(m);
  count_groups(m, g);
  open_polyline(m);
  text::write_polyline(m.out, g.layer, g.flags & (1 | 128));
  text::VertexRun& run = p.vertex_run;
  run.prepare(g.layer, 0);
  for (auto [x, y] : p.points) {
    double z = g.elevation;
    numeric::to_world(g.extrusion, x, y, z);
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
    const bool as_read = pass == Pass::survey ? !s.in_mesh : written;
    if (alone && as_read && !numeric::moves_points(s.extrusion)) {
      if (p.vertex == How::layout)
        took = Took::vertex_in_layout;
      else if (p.vertex == How::groups && p.place.after_zero && (p.vertex_groups.flags & 16) == 0)
        took = Took::vertex_by_groups;
    }
  }
  if (p.seqend) {
    if (s.in_mesh) {
      s.in_mesh = false;
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

void close_polyline(MergeFrame& m) {
  if (!m.input.polyline_open) return;
  m.out.put(text::seqend);
  m.input.polyline_open = false;
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
