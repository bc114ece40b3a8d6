// Drawing LINEs, arcs, circles, ellipses, splines and bulges as polylines.
#include "merge/shapes.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "merge/entities.h"
#include "merge/inputs.h"
#include "numeric/rounding.h"

namespace {

constexpr double two_pi = 2 * std::numbers::pi;
constexpr double degree = std::numbers::pi / 180;

bool on_the_ground(const curves::Point& p) { return numeric::as_written(p.z) == 0; }

bool same_as_written(const curves::Point& a, const curves::Point& b) {
  return numeric::as_written(a.x) == numeric::as_written(b.x) && numeric::as_written(a.y) == numeric::as_written(b.y) &&
         numeric::as_written(a.z) == numeric::as_written(b.z);
}

// An ARC's or CIRCLE's points, in world coordinates; false when its radius
// draws nothing (none above 0, or a value beyond the doubles).
bool round_points(const groups::Shape& g, bool circle, double tolerance, std::vector<curves::Point>& out,
                  bool& closed) {
  const double r = g.size;
  if (!(r > 0) || !std::isfinite(r) || !curves::finite(g.first) || !std::isfinite(g.start) || !std::isfinite(g.end))
    return false;
  double start = 0, span = two_pi;
  closed = circle;
  if (!circle) {
    // Counter-clockwise from start to end; equal angles go all round.
    double degrees = std::fmod(g.end - g.start, 360.0);
    if (degrees <= 0) degrees += 360;
    start = g.start * degree;
    span = degrees * degree;
    closed = degrees == 360;
  }
  const int n = curves::chords_for(r, span, tolerance, closed ? 3 : 1);
  curves::arc_points(g.first.x, g.first.y, g.first.z, r, start, span, n, out);
  if (closed) out.pop_back();  // the first point again
  for (curves::Point& q : out) numeric::to_world(g.extrusion, q.x, q.y, q.z);
  return true;
}

bool ellipse_points(const groups::Shape& g, double tolerance, std::vector<curves::Point>& out, bool& closed) {
  const curves::Ellipse e{g.first, g.second, g.extrusion, g.size, g.start, g.has_end ? g.end : two_pi};
  const double sizes[] = {e.ratio, e.start, e.end, e.normal.x, e.normal.y, e.normal.z};
  for (double v : sizes)
    if (!std::isfinite(v)) return false;
  if (!curves::finite(e.center) || !curves::finite(e.major) || (e.major.x == 0 && e.major.y == 0 && e.major.z == 0))
    return false;
  closed = curves::ellipse_points(e, tolerance, out);
  return true;
}

// A spline's points: by its control points where it has any, else through
// its fit points.
bool spline_points(const groups::Shape& g, double tolerance, std::vector<curves::Point>& out, bool& closed) {
  curves::Spline s;
  closed = false;  // told once its points are placed
  if (g.controls.empty() && !g.fits.empty()) {
    const curves::FitPoints f{g.fits, g.start_tangent, g.end_tangent, g.has_start_tangent, g.has_end_tangent};
    if (!curves::fit_spline(f, s) || !curves::well_formed(s)) return false;
    // Of degree 1 it is the straight segment between its two points.
    if (s.degree == 1)
      out.insert(out.end(), s.controls.begin(), s.controls.end());
    else
      curves::spline_points(s, tolerance, out);
    return true;
  }
  s.degree = g.degree;
  s.controls = g.controls;
  s.knots = g.knots.empty() ? curves::clamped_knots(s.controls.size(), s.degree) : g.knots;
  // Weights of 1 throughout are a plain spline's, as some programs write them.
  s.weights = g.weights;
  if (!curves::well_formed(s)) return false;
  curves::spline_points(s, tolerance, out);
  return true;
}

// Multiplies the points by the scale asked for, if any; those it takes
// beyond the numbers are left out (said in the writing pass).
template <Pass pass>
void scale_points(MergeFrame& m, std::vector<curves::Point>& points) {
  if (!m.drawing.scaled) return;
  const std::size_t before = points.size();
  std::erase_if(points, [&](curves::Point& q) { return !scale_point(m, q.x, q.y, q.z); });
  if constexpr (pass == Pass::write)
    if (points.size() < before) m.input.report.leave_out(beyond_numbers, before - points.size());
}

// Writes, or boxes, one polyline of the given points.
template <Pass pass>
void draw(MergeFrame& m, TurnPlan& p, std::string_view layer, bool closed) {
  std::vector<curves::Point>& points = p.shape_points;
  scale_points<pass>(m, points);
  layer = layer_of(m, layer);
  bool three_d = false;
  for (const curves::Point& q : points) three_d = three_d || !on_the_ground(q);
  if constexpr (pass == Pass::survey) {
    for (const curves::Point& q : points) take_into_box(m, q.x, q.y, q.z);
    return count_survey_polyline(m);
  }
  open_polyline(m);
  text::write_polyline(m.out, layer, (closed ? 1 : 0) | (three_d ? 8 : 0));
  p.vertex_run.prepare(layer, three_d ? 32 : 0);
  for (const curves::Point& q : points) {
    note_written(m.input, p.vertex_run.write(m.out, q.x, q.y, q.z));
  }
  close_polyline(m);
  count_written_vertices(m, points.size());
}

template <Pass pass>
void act_on_line(MergeFrame& m, TurnPlan& p) {
  InputState& s = m.input;
  const groups::Shape& g = p.shape_groups;
  // One polyline holds only lines of one 3D-ness, so that its flags hold for
  // every vertex it is given.
  // Joined as read; written scaled, on the layer asked for. An end scaled
  // beyond the numbers leaves the line out.
  curves::Point first = g.first, second = g.second;
  if (!scale_point(m, first.x, first.y, first.z) || !scale_point(m, second.x, second.y, second.z)) {
    if constexpr (pass == Pass::write) s.report.leave_out(beyond_numbers);
    return;
  }
  if constexpr (pass == Pass::write) s.report.draw("LINE");
  const std::string_view layer = layer_of(m, g.layer);
  const bool three_d = !on_the_ground(first) || !on_the_ground(second);
  const bool joins = s.line_run && g.layer == s.line_layer && three_d == s.line_3d && g.first.x == s.line_end.x &&
                     g.first.y == s.line_end.y && g.first.z == s.line_end.z;
  if (!joins) {
    end_line_run<pass>(m);
    if constexpr (pass == Pass::survey) {
      count_survey_polyline(m);
      take_into_box(m, first.x, first.y, first.z);
    } else {
      open_polyline(m);
      text::write_polyline(m.out, layer, three_d ? 8 : 0);
      p.vertex_run.prepare(layer, three_d ? 32 : 0);
      note_written(s, p.vertex_run.write(m.out, first.x, first.y, first.z));
      count_written_vertices(m);
    }
    s.line_run = true;
    s.line_3d = three_d;
    s.line_layer = g.layer;
  }
  if constexpr (pass == Pass::survey) {
    take_into_box(m, second.x, second.y, second.z);
  } else {
    p.vertex_run.prepare(layer, three_d ? 32 : 0);
    note_written(s, p.vertex_run.write(m.out, second.x, second.y, second.z));
    count_written_vertices(m);
  }
  s.line_end = g.second;
}

}  // namespace

bool curve_points(const groups::Shape& g, groups::Kind kind, double tolerance, std::vector<curves::Point>& out,
                  bool& closed, const blocks::Map* map) {
  bool drawn = false;
  switch (kind) {
    case groups::Kind::arc:
    case groups::Kind::circle: drawn = round_points(g, kind == groups::Kind::circle, tolerance, out, closed); break;
    case groups::Kind::ellipse: drawn = ellipse_points(g, tolerance, out, closed); break;
    default: drawn = spline_points(g, tolerance, out, closed); break;
  }
  if (map != nullptr)
    for (curves::Point& q : out) {
      const blocks::Point placed = map->apply({q.x, q.y, q.z, 0});
      q = {placed.x, placed.y, placed.z};
    }
  // A spline is closed where it ends where it starts, as written.
  if (drawn && kind == groups::Kind::spline && out.size() > 2 && same_as_written(out.front(), out.back())) {
    closed = true;
    out.pop_back();
  }
  // Points beyond the doubles (a curve as wide as they go) cannot be written.
  return drawn && std::all_of(out.begin(), out.end(), [](const curves::Point& q) { return curves::finite(q); });
}

std::string_view shape_name(groups::Kind kind) {
  switch (kind) {
    case groups::Kind::arc: return "ARC";
    case groups::Kind::circle: return "CIRCLE";
    case groups::Kind::ellipse: return "ELLIPSE";
    case groups::Kind::spline: return "SPLINE";
    default: return "LINE";
  }
}

template <Pass pass>
void end_line_run(MergeFrame& m) {
  if (!m.input.line_run) return;
  m.input.line_run = false;
  if constexpr (pass == Pass::write) close_polyline(m);
}

template <Pass pass>
void act_on_shape(MergeFrame& m, TurnPlan& p) {
  const groups::Shape& g = p.shape_groups;
  const groups::Kind kind = p.shape_kind;
  std::string_view left_out = shape_left_out(p);
  if (left_out.empty() && kind == groups::Kind::line) return act_on_line<pass>(m, p);
  end_line_run<pass>(m);
  bool closed = false;
  std::vector<curves::Point>& points = p.shape_points;
  points.clear();
  if (left_out.empty() && !curve_points(g, kind, m.drawing.tolerance, points, closed)) left_out = shape_name(kind);
  if (!left_out.empty()) {
    if constexpr (pass == Pass::write) m.input.report.leave_out(left_out);
    return;
  }
  if constexpr (pass == Pass::write) m.input.report.draw(shape_name(kind));
  draw<pass>(m, p, g.layer, closed);
}

std::string_view shape_left_out(const TurnPlan& p) {
  const groups::Shape& g = p.shape_groups;
  const groups::Kind kind = p.shape_kind;
  if (p.shape_bad) return shape_name(kind);
  if (g.paper) return paper_shapes;
  if (kind == groups::Kind::line && (!curves::finite(g.first) || !curves::finite(g.second))) return shape_name(kind);
  return {};
}

void start_bulges(MergeFrame& m, int flags, bool three_d) {
  InputState& s = m.input;
  s.bulging = m.drawing.curves && !three_d;
  s.closed = (flags & 1) != 0;
  s.has_last = false;
  s.last_bulge = 0;
}

namespace {

void to_world(const InputState& s, std::vector<curves::Point>& arc, std::size_t from) {
  for (std::size_t k = from; k < arc.size(); ++k) numeric::to_world(s.extrusion, arc[k].x, arc[k].y, arc[k].z);
}

// Whether every point of the arc from a to b (of a polyline whose system
// does not move points) is written within the input's header extents in x
// and y: its circle's box, a unit wider for the chords' rounding, is. Its
// points' z is its first vertex's, which the survey takes.
bool within_header(const MergeFrame& m, const curves::Point& a, const curves::Point& b, double bulge) {
  if (numeric::moves_points(m.input.extrusion)) return false;
  double cx, cy, radius;
  if (!curves::bulge_circle(a, b, bulge, cx, cy, radius)) return true;  // no arc: nothing drawn
  const InputBox header = header_in_result(m);
  const double f = m.drawing.scaled ? m.drawing.scale : 1.0;
  const double center[2] = {cx, cy};
  for (int k = 0; k < 2; ++k) {
    if (!header.usable(k)) return false;
    double low = (center[k] - radius) * f, high = (center[k] + radius) * f;
    if (f < 0) std::swap(low, high);
    if (!std::isfinite(low - 1) || !std::isfinite(high + 1) ||
        numeric::as_written(low - 1) < numeric::as_written(header.min[k]) ||
        numeric::as_written(high + 1) > numeric::as_written(header.max[k]))
      return false;
  }
  return true;
}

}  // namespace

void bulge_before(MergeFrame& m, const curves::Point& q, double bulge, std::string_view layer,
                  std::vector<curves::Point>& arc, bool survey) {
  InputState& s = m.input;
  arc.clear();
  if (!s.bulging) return;
  if (s.has_last && s.last_bulge != 0 && !(survey && within_header(m, s.last, q, s.last_bulge))) {
    curves::bulge_points(s.last, q, s.last_bulge, m.drawing.tolerance, arc);
    to_world(s, arc, 0);
  }
  if (!s.has_last) s.first = q;
  s.has_last = true;
  s.last = q;
  s.last_bulge = bulge;
  if (bulge != 0) s.bulge_layer = layer;
}

void bulge_closing(MergeFrame& m, std::vector<curves::Point>& arc, bool survey) {
  InputState& s = m.input;
  arc.clear();
  if (!s.bulging || !s.closed || !s.has_last || s.last_bulge == 0) return;
  if (survey && within_header(m, s.last, s.first, s.last_bulge)) {
    s.last_bulge = 0;
    return;
  }
  curves::bulge_points(s.last, s.first, s.last_bulge, m.drawing.tolerance, arc);
  to_world(s, arc, 0);
  s.last_bulge = 0;
}

void lwpolyline_arcs(const std::vector<std::pair<double, double>>& points, const std::vector<double>& bulges,
                     bool closed, double tolerance, std::vector<std::pair<double, double>>& out) {
  out.clear();
  std::vector<curves::Point> arc;
  const std::size_t n = points.size();
  for (std::size_t k = 0; k < n; ++k) {
    out.push_back(points[k]);
    if (k + 1 == n && !closed) break;
    const auto& [x, y] = points[k];
    const auto& [nx, ny] = points[(k + 1) % n];
    arc.clear();
    curves::bulge_points({x, y, 0}, {nx, ny, 0}, bulges[k], tolerance, arc);
    for (const curves::Point& q : arc) out.emplace_back(q.x, q.y);
  }
}

template void act_on_shape<Pass::survey>(MergeFrame&, TurnPlan&);
template void act_on_shape<Pass::write>(MergeFrame&, TurnPlan&);
template void end_line_run<Pass::survey>(MergeFrame&);
template void end_line_run<Pass::write>(MergeFrame&);
