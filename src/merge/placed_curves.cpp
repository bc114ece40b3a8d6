// Curves placed: flattened in the block's coordinates with the tolerance
// divided by the map's stretch, so that no chord strays further once placed.
#include "merge/placed_curves.h"

#include <cmath>

#include "merge/shapes.h"

namespace {

bool finite(const blocks::Point& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// The tolerance in the block's coordinates: a chord within it strays from
// the curve at most the map's stretch times as far once placed.
double tolerance_before(const blocks::Map& map, double tolerance) {
  const double stretch = map.stretch();
  return stretch > 0 ? tolerance / stretch : INFINITY;
}

}  // namespace

bool placed_curve(const blocks::Curve& c, const blocks::Map& map, double tolerance, std::vector<blocks::Point>& out,
                  bool& closed) {
  out.clear();
  closed = false;
  if (c.kind == groups::Kind::line) {
    for (const curves::Point& q : c.ends) out.push_back(map.apply({q.x, q.y, q.z, 0}));
  } else {
    // A factor beyond the numbers puts every point beyond them.
    if (!std::isfinite(map.stretch())) return false;
    std::vector<curves::Point> points;
    if (!curve_points(c.groups, c.kind, tolerance_before(map, tolerance), points, closed, &map)) return false;
    for (const curves::Point& q : points) out.push_back({q.x, q.y, q.z, 0});
  }
  for (const blocks::Point& p : out)
    if (!finite(p)) return false;
  return true;
}

void placed_arcs(const blocks::Shape& s, const blocks::Map& map, double tolerance,
                 const std::vector<blocks::Point>& placed, std::vector<blocks::Point>& out) {
  out.clear();
  const std::size_t n = s.points.size();
  const double within = tolerance_before(map, tolerance);
  const bool drawn = std::isfinite(map.stretch());  // else every point placed lies beyond the numbers
  std::vector<curves::Point> arc;
  for (std::size_t k = 0; k < n; ++k) {
    out.push_back(placed[k]);
    const std::size_t next = k + 1 < n ? k + 1 : 0;
    if (s.arcs[k] == 0 || (next == 0 && (s.flags & 1) == 0) || !drawn) continue;
    // The arc in the polyline's own system, at its first end's height.
    const blocks::Point &a = s.points[k], &b = s.points[next];
    arc.clear();
    curves::bulge_points({a.x, a.y, a.z}, {b.x, b.y, b.z}, s.arcs[k], within, arc);
    for (curves::Point q : arc) {
      numeric::to_world(s.extrusion, q.x, q.y, q.z);
      out.push_back(map.apply({q.x, q.y, q.z, 0}));
    }
  }
}
