// Block references placed: definitions held as shapes, references placed
// through the store (merge/block_store.h).
#include "merge/placing.h"

#include <cmath>
#include <string>

#include "merge/entities.h"
#include "merge/inputs.h"
#include "merge/placed_curves.h"
#include "merge/shapes.h"
#include "numeric/rounding.h"
#include "state.h"

namespace {

using How = TurnPlan::How;

blocks::Store& store_of(MergeFrame& m) { return m.blocks[static_cast<std::size_t>(m.i)]; }

// A point of the polyline being read, in its own system, as a polyline of
// the entities places its vertices, with the bulge that follows it when its
// arcs are drawn.
void hold_vertex(blocks::Store::Reading& r, double x, double y, double z, int flags, double bulge) {
  if (r.at_elevation) z = r.elevation;
  r.shape->points.push_back({x, y, z, flags});
  if (r.arcs) r.shape->arcs.push_back(bulge);
}

// A shape opened for a polyline of the definition, read by the same rules as
// one of the entities: with --curves (arcs), a 2D one's bulges are drawn.
blocks::Shape* open_shape(blocks::Block& b, blocks::Store::Reading& r, std::string_view layer, int flags,
                          double elevation, bool three_d, const numeric::Extrusion& extrusion, bool arcs) {
  r.elevation = elevation;
  r.at_elevation = !three_d && elevation != 0;
  r.extrusion = three_d ? numeric::Extrusion{} : extrusion;
  r.arcs = arcs && !three_d;
  blocks::Shape s;
  s.layer = layer;
  s.flags = flags;
  s.extrusion = r.extrusion;
  b.add(std::move(s));
  return r.shape = &b.shapes.back();
}

void hold_polyline(blocks::Block& b, blocks::Store::Reading& r, TurnPlan& p, bool arcs) {
  r.shape = nullptr;
  if (p.polyline == How::layout) {
    const int flags = p.polyline_items.ints[5];
    open_shape(b, r, p.polyline_items.tokens[0], flags, 0, false, {}, arcs && (flags & 8) == 0);
    return;
  }
  const groups::Groups& g = p.polyline_groups;
  if (p.polyline == How::cut_off) return;
  if (p.polyline_bad) return void(++b.left_out[std::string(no_number_polylines)]);
  if (g.paper) return void(++b.left_out[std::string(paper_polylines)]);
  if ((g.flags & (16 | 64)) != 0)
    return void(++b.left_out[std::string((g.flags & 16) != 0 ? polygon_meshes : polyface_meshes)]);
  blocks::Shape* s = open_shape(b, r, g.layer, g.flags, g.has_z ? g.z : 0.0, (g.flags & 8) != 0, g.extrusion, arcs);
  s->bulges += g.bulges;
  s->widths += g.widths;
}

void hold_vertex(blocks::Block& b, blocks::Store::Reading& r, TurnPlan& p) {
  if (r.shape == nullptr) return;
  if (p.vertex == How::layout) {
    const grammar::ItemValues& v = p.vertex_items;
    return hold_vertex(r, v.reals[0], v.reals[1], v.reals[2], v.ints[3], 0);
  }
  const groups::Groups& g = p.vertex_groups;
  if (!r.arcs) r.shape->bulges += g.bulges;  // drawn as arcs, else not carried
  r.shape->widths += g.widths;
  if (p.vertex == How::cut_off) return;
  if (p.vertex_bad) return void(++b.left_out[std::string(no_number_vertices)]);
  if ((g.flags & 16) != 0) return void(++b.left_out[std::string(frame_points)]);
  hold_vertex(r, g.x, g.y, g.has_z ? g.z : 0.0, g.flags, g.bulge);
}

void hold_lwpolyline(blocks::Block& b, blocks::Store::Reading& r, TurnPlan& p, bool arcs) {
  r.shape = nullptr;
  const groups::Groups& g = p.lwpolyline_groups;
  if (p.bad_points > 0) b.left_out[std::string(no_number_vertices)] += p.bad_points;
  if (p.lwpolyline_bad) return void(++b.left_out[std::string(no_number_polylines)]);
  if (g.paper) return void(++b.left_out[std::string(paper_polylines)]);
  blocks::Shape* s = open_shape(b, r, g.layer, g.flags & (1 | 128), g.elevation, false, g.extrusion, arcs);
  s->bulges = arcs ? 0 : g.bulges;
  s->widths = g.widths;
  for (std::size_t k = 0; k < p.points.size(); ++k)
    hold_vertex(r, p.points[k].first, p.points[k].second, g.elevation, 0, p.point_bulges[k]);
  r.shape = nullptr;
}

// A curve or LINE of the definition (--curves, --lines), held as read; a
// LINE right after another (the next entity) that starts exactly where that
// one ends, on its layer, joins it, as outside blocks. What cannot be drawn
// wherever it is placed is left out.
void hold_shape(blocks::Block& b, blocks::Store::Reading& r, const TurnPlan& p) {
  const groups::Shape& g = p.shape_groups;
  const groups::Kind kind = p.shape_kind;
  const bool joins = r.line_run;
  r.line_run = false;
  const std::string_view left_out = shape_left_out(p);
  if (!left_out.empty()) return void(++b.left_out[std::string(left_out)]);
  blocks::Curve* last = b.last_curve();
  if (kind == groups::Kind::line) {
    r.line_run = true;
    if (joins && last != nullptr && last->kind == kind && last->layer == g.layer) {
      const curves::Point& end = last->ends.back();
      if (end.x == g.first.x && end.y == g.first.y && end.z == g.first.z) return last->ends.push_back(g.second);
    }
    blocks::Curve c;
    c.layer = g.layer;
    c.ends = {g.first, g.second};
    return b.add(std::move(c));
  }
  blocks::Curve c;
  c.layer = g.layer;
  c.kind = kind;
  c.groups = g;
  c.groups.layer = {};  // the curve's own copy is `layer`
  b.add(std::move(c));
}

blocks::Reference reference_of(const TurnPlan& p) {
  const groups::Groups& g = p.placing_groups;
  blocks::Reference r;
  r.block = g.name;
  r.layer = g.layer;
  r.at[0] = g.x;
  r.at[1] = g.y;
  r.at[2] = g.has_z ? g.z : 0.0;
  r.extrusion = g.extrusion;
  r.placing = g.placing;
  return r;
}

// Multiplies placed points by the scale asked for, if any; those it takes
// beyond the numbers are left out (said where the writing pass places them).
std::size_t scale_placed(MergeFrame& m, std::vector<blocks::Point>& placed) {
  if (!m.drawing.scaled) return 0;
  const std::size_t before = placed.size();
  std::erase_if(placed, [&](blocks::Point& p) { return !scale_point(m, p.x, p.y, p.z); });
  return before - placed.size();
}

// Writes placed points as a polyline of the given flags: a 3D one when its
// vertices do not all lie at height 0 as written.
void write_points(MergeFrame& m, std::string_view layer, int flags, std::vector<blocks::Point> placed) {
  if (const std::size_t beyond = scale_placed(m, placed)) m.input.report.leave_out(beyond_numbers, beyond);
  layer = layer_of(m, layer);
  bool off_the_ground = false;
  for (const blocks::Point& p : placed) off_the_ground = off_the_ground || numeric::as_written(p.z) != 0;
  flags |= off_the_ground ? 8 : 0;
  open_polyline(m);
  text::write_polyline(m.out, layer, flags);
  for (const blocks::Point& p : placed) {
    note_written(m.input, p.x, p.y, p.z);
    text::write_vertex(m.out, layer, p.flags | ((flags & 8) != 0 ? 32 : 0), p.x, p.y, p.z);
  }
  close_polyline(m);
  count_written_vertices(m, placed.size());
}

// The points of a placed polyline as written: with its bulges' arcs when they are drawn.
const std::vector<blocks::Point>& with_arcs(const MergeFrame& m, const blocks::Shape& shape, const blocks::Map& map,
                                            const std::vector<blocks::Point>& placed,
                                            std::vector<blocks::Point>& room) {
  if (shape.arcs.empty()) return placed;
  placed_arcs(shape, map, m.drawing.tolerance, placed, room);
  return room;
}

void write_placed(MergeFrame& m, std::string_view layer, const blocks::Shape& shape, const blocks::Map& map,
                  const std::vector<blocks::Point>& placed) {
  std::vector<blocks::Point> room;
  write_points(m, layer, shape.flags, with_arcs(m, shape, map, placed, room));
  m.input.report.bulges += shape.bulges;
  m.input.report.widths += shape.widths;
}

// Writes a placed curve or run of lines, or leaves it out when it draws
// nothing that can be written; its kind is said either way.
void write_curve(MergeFrame& m, std::string_view layer, const blocks::Curve& c, const blocks::Map& map) {
  std::vector<blocks::Point> placed;
  bool closed = false;
  const std::string_view kind = shape_name(c.kind);
  const std::uint64_t count = c.kind == groups::Kind::line ? c.lines() : 1;
  if (!placed_curve(c, map, m.drawing.tolerance, placed, closed)) return m.input.report.leave_out(kind, count);
  m.input.report.draw(kind, count);
  write_points(m, layer, closed ? 1 : 0, std::move(placed));
}

// Boxes, in the survey, placed points as written_points writes them.
void box_placed(MergeFrame& m, std::vector<blocks::Point> placed) {
  scale_placed(m, placed);
  for (const blocks::Point& p : placed) take_into_box(m, p.x, p.y, p.z);
  count_survey_polyline(m);
}

}  // namespace

void hold_in_block(MergeFrame& m, TurnPlan& p) {
  blocks::Store& store = store_of(m);
  if (p.block) {
    const groups::Groups& g = p.placing_groups;
    const double base[3] = {g.x, g.y, g.has_z ? g.z : 0.0};
    // A definition whose base is no number is not held: its references place nothing.
    return p.placing_bad ? store.close() : store.open(g.name, base);
  }
  if (p.block_end) return store.close();
  blocks::Block* b = store.open_block();
  if (b == nullptr) return;  // outside a definition
  blocks::Store::Reading& r = store.reading;
  r.line_run = r.line_run && p.shape && p.shape_kind == groups::Kind::line;  // any other entity ends a run
  if (!p.left_out.empty()) return void(++b->left_out[std::string(p.left_out)]);
  if (p.insert) {
    if (p.placing_bad) return void(++b->left_out[std::string(no_number_references)]);
    if (p.placing_groups.paper) return void(++b->left_out[std::string(paper_references)]);
    return b->add(reference_of(p));
  }
  if (p.shape) return hold_shape(*b, r, p);
  const bool arcs = m.drawing.curves;
  if (p.lwpolyline) return hold_lwpolyline(*b, r, p, arcs);
  if (p.polyline != How::none) hold_polyline(*b, r, p, arcs);
  if (p.vertex != How::none) hold_vertex(*b, r, p);
  if (p.seqend) r.shape = nullptr;
}

template <Pass pass>
void act_on_reference(MergeFrame& m, TurnPlan& p) {
  InputReport& report = m.input.report;
  if (p.placing_bad || p.placing_groups.paper) {
    if constexpr (pass == Pass::write) report.leave_out(p.placing_bad ? no_number_references : paper_references);
    return;
  }
  blocks::Store& store = store_of(m);
  if constexpr (pass == Pass::survey) {
    store.keep_model_reference(reference_of(p));
  } else {
    const blocks::Placing said = store.place(
        reference_of(p),
        [&](std::string_view layer, const blocks::Shape& shape, const blocks::Map& map,
            const std::vector<blocks::Point>& placed) { write_placed(m, layer, shape, map, placed); },
        [&](std::string_view layer, const blocks::Curve& c, const blocks::Map& map) { write_curve(m, layer, c, map); });
    if (said.missing > 0) report.leave_out(missing_blocks, said.missing);
    for (const auto& [kind, n] : said.left_out) report.leave_out(kind, n);
    ++report.placed;
  }
}

template void act_on_reference<Pass::survey>(MergeFrame&, TurnPlan&);
template void act_on_reference<Pass::write>(MergeFrame&, TurnPlan&);

void survey_references(MergeFrame& m) {
  const blocks::Store& store = store_of(m);
  std::string looping;
  for (const blocks::Reference& r : store.model_references()) {
    std::vector<blocks::Point> room;
    const blocks::Placing said = store.place(
        r,
        [&](std::string_view, const blocks::Shape& shape, const blocks::Map& map,
            const std::vector<blocks::Point>& placed) { box_placed(m, with_arcs(m, shape, map, placed, room)); },
        [&](std::string_view, const blocks::Curve& c, const blocks::Map& map) {
          bool closed = false;
          if (placed_curve(c, map, m.drawing.tolerance, room, closed)) box_placed(m, room);
        });
    if (looping.empty()) looping = said.looping;
  }
  if (looping.empty() || m.current().repeated) return;
  console.complain("warning: " + m.current().name + ": block \"" + looping +
                   "\" inserts itself; it is not placed again within itself");
}

void release_blocks(MergeFrame& m) { store_of(m) = blocks::Store{}; }
