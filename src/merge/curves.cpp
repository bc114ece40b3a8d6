// Curves as chords: the counts from the sagitta, de Boor's evaluation.
#include "merge/curves.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace curves {

namespace {

constexpr double two_pi = 2 * std::numbers::pi;

// Halvings of one piece of a knot span at most: far below a rounded unit
// for any drawing's coordinates.
constexpr int deepest = 30;

double sagitta(double radius, double span, int n) { return radius * (1 - std::cos(span / (2.0 * n))); }

// Appends the points first to last of the n + 1 of arc_points.
void arc_range(double cx, double cy, double z, double radius, double start, double span, int n, int first, int last,
               std::vector<Point>& out) {
  // A point in every `anchor` from its angle; those between, the one before
  // turned by a chord's angle: a few products where a sine and a cosine cost
  // a hundred instructions, and 15 turns drift by some 1e-14 of the radius.
  constexpr int anchor = 16;
  const double turn = span / n, c = std::cos(turn), s = std::sin(turn);
  if (last >= first) out.reserve(out.size() + static_cast<std::size_t>(last - first + 1));
  double dx = 0, dy = 0;
  for (int k = first; k <= last; ++k) {
    if (k == first || k % anchor == 0 || k == n) {
      const double a = start + span * k / n;
      dx = radius * std::cos(a), dy = radius * std::sin(a);
    } else {
      const double turned = dx * c - dy * s;
      dy = dx * s + dy * c, dx = turned;
    }
    out.push_back({cx + dx, cy + dy, z});
  }
}

}  // namespace

bool finite(const Point& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

int chords_for(double radius, double span, double tolerance, int least) {
  span = std::fabs(span);
  radius = std::fabs(radius);
  if (!(radius > tolerance) || !std::isfinite(span) || !std::isfinite(radius)) return least;
  const double per_chord = 2 * std::acos(1 - tolerance / radius);
  double n = per_chord > 0 ? std::ceil(span / per_chord) : most_chords;
  int chords = static_cast<int>(std::clamp(n, static_cast<double>(least), static_cast<double>(most_chords)));
  // The cosine's rounding may leave the sagitta a hair above the tolerance.
  while (chords < most_chords && sagitta(radius, span, chords) > tolerance) ++chords;
  return chords;
}

void arc_points(double cx, double cy, double z, double radius, double start, double span, int n,
                std::vector<Point>& out) {
  arc_range(cx, cy, z, radius, start, span, n, 0, n, out);
}

bool bulge_circle(const Point& a, const Point& b, double bulge, double& cx, double& cy, double& radius) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double chord = std::hypot(dx, dy);
  if (bulge == 0 || !std::isfinite(bulge) || chord == 0 || !std::isfinite(chord)) return false;
  // The center lies off the chord's middle by (1 - b^2) / (2 b) half chords,
  // to the left of a to b for a positive bulge of less than a half circle.
  const double off = chord / 2 * (1 - bulge * bulge) / (2 * bulge);
  radius = chord / 2 * (1 + bulge * bulge) / (2 * std::fabs(bulge));
  cx = (a.x + b.x) / 2 - dy / chord * off, cy = (a.y + b.y) / 2 + dx / chord * off;
  // A bulge so small that its center lies beyond the doubles: a straight segment.
  return std::isfinite(radius) && std::isfinite(cx) && std::isfinite(cy);
}

void bulge_points(const Point& a, const Point& b, double bulge, double tolerance, std::vector<Point>& out) {
  double cx, cy, radius;
  if (!bulge_circle(a, b, bulge, cx, cy, radius)) return;
  const double angle = 4 * std::atan(bulge);  // included, signed
  const double start = std::atan2(a.y - cy, a.x - cx);
  const int n = chords_for(radius, angle, tolerance);
  arc_range(cx, cy, a.z, radius, start, angle, n, 1, n - 1, out);  // its ends are a and b
}

bool ellipse_points(const Ellipse& e, double tolerance, std::vector<Point>& out) {
  double span = std::fmod(e.end - e.start, two_pi);
  if (span <= 0) span += two_pi;
  const bool whole = span >= two_pi * (1 - 1e-12) || e.end == e.start;
  if (whole) span = two_pi;
  // The minor axis: the normal across the major one, at the ratio's length.
  const Point& a = e.major;
  const numeric::Extrusion& n = e.normal;
  double mx = n.y * a.z - n.z * a.y, my = n.z * a.x - n.x * a.z, mz = n.x * a.y - n.y * a.x;
  const double length = std::hypot(mx, my, mz), major = std::hypot(a.x, a.y, a.z);
  if (length > 0) {
    const double scale = major * e.ratio / length;
    mx *= scale, my *= scale, mz *= scale;
  }
  // An affine image of the unit circle strays from its chords at most its
  // largest stretch times the circle's sagitta.
  const int chords = chords_for(std::max(major, major * std::fabs(e.ratio)), span, tolerance, whole ? 3 : 1);
  const int last = whole ? chords - 1 : chords;
  for (int k = 0; k <= last; ++k) {
    const double t = e.start + span * k / chords, c = std::cos(t), s = std::sin(t);
    out.push_back({e.center.x + c * a.x + s * mx, e.center.y + c * a.y + s * my, e.center.z + c * a.z + s * mz});
  }
  return whole;
}

std::vector<double> clamped_knots(std::size_t count, int degree) {
  std::vector<double> knots;
  if (degree < 1 || count < static_cast<std::size_t>(degree) + 1) return knots;
  const std::size_t inner = count - static_cast<std::size_t>(degree) - 1;
  for (int k = 0; k <= degree; ++k) knots.push_back(0);
  for (std::size_t k = 1; k <= inner; ++k) knots.push_back(static_cast<double>(k));
  for (int k = 0; k <= degree; ++k) knots.push_back(static_cast<double>(inner + 1));
  return knots;
}

namespace {

Point minus(const Point& a, const Point& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Point plus(const Point& a, const Point& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Point times(const Point& a, double f) { return {a.x * f, a.y * f, a.z * f}; }
double length(const Point& a) { return std::hypot(a.x, a.y, a.z); }

// The direction d at the length asked for, or false when it has none.
bool at_length(Point d, double wanted, Point& out) {
  const double l = length(d);
  if (!(l > 0) || !std::isfinite(l)) return false;
  out = times(d, wanted / l);
  return std::isfinite(out.x) && std::isfinite(out.y) && std::isfinite(out.z);
}

// The direction the curve through q[0], q[1], q[2] leaves q[0] in: the
// five-point estimate (q[0] - q[-1]) (1 - a) + (q[1] - q[0]) a, with the
// two differences before q[0] extrapolated linearly from the two after it.
// Then both cross products that make a are equal, a is 1/2, and the
// estimate is (3 (q[1] - q[0]) - (q[2] - q[1])) / 2.
Point estimated_start(const Point& q0, const Point& q1, const Point& q2) {
  return minus(times(minus(q1, q0), 1.5), times(minus(q2, q1), 0.5));
}

// The values at u of the degree + 1 B-splines of degree 3 that do not
// vanish on the knot span [U[span], U[span + 1]) (Cox and de Boor).
void cubic_basis(const std::vector<double>& U, std::size_t span, double u, double (&N)[4]) {
  double left[4], right[4];
  N[0] = 1;
  for (std::size_t j = 1; j <= 3; ++j) {
    left[j] = u - U[span + 1 - j];
    right[j] = U[span + j] - u;
    double saved = 0;
    for (std::size_t r = 0; r < j; ++r) {
      const double temp = N[r] / (right[r + 1] + left[j - r]);
      N[r] = saved + right[r + 1] * temp;
      saved = left[j - r] * temp;
    }
    N[j] = saved;
  }
}

}  // namespace

bool fit_spline(const FitPoints& f, Spline& s) {
  s = {};
  std::vector<Point> q;
  q.reserve(f.points.size());
  for (const Point& p : f.points) {
    if (!finite(p)) return false;
    if (q.empty() || p.x != q.back().x || p.y != q.back().y || p.z != q.back().z) q.push_back(p);
  }
  const std::size_t n = q.size();
  if (n < 2) return false;
  Point start, end;
  const bool start_given = f.has_start && at_length(f.start_tangent, 1, start);
  const bool end_given = f.has_end && at_length(f.end_tangent, 1, end);
  if (n == 2 && !start_given && !end_given) {
    s.degree = 1;
    s.controls = q;
    s.knots = {0, 0, 1, 1};
    return true;
  }
  // The parameters: the length of the polygon up to each point, over its whole.
  std::vector<double> t(n);
  double total = 0;
  for (std::size_t k = 1; k < n; ++k) t[k] = total += length(minus(q[k], q[k - 1]));
  if (!(total > 0) || !std::isfinite(total)) return false;
  for (std::size_t k = 1; k < n; ++k) {
    t[k] /= total;
    if (!(t[k] > t[k - 1])) return false;  // points too close for the doubles to tell their parameters apart
  }
  t[n - 1] = 1;
  // The derivatives at the ends, as long as the polygon. An estimate of
  // length 0 takes the first or last side's direction.
  if (!start_given) start = n > 2 ? estimated_start(q[0], q[1], q[2]) : minus(q[1], q[0]);
  if (!end_given) end = n > 2 ? times(estimated_start(q[n - 1], q[n - 2], q[n - 3]), -1) : minus(q[1], q[0]);
  if (!at_length(start, total, start) && !at_length(minus(q[1], q[0]), total, start)) return false;
  if (!at_length(end, total, end) && !at_length(minus(q[n - 1], q[n - 2]), total, end)) return false;
  // n + 2 control points over the knots 0 0 0 0, t[1] ... t[n - 2], 1 1 1 1:
  // the first and last are the end points, the second and the one before the
  // last follow from the derivatives there, and each inner point q[k] is
  // a P[k] + b P[k + 1] + c P[k + 2] at its parameter, a tridiagonal system
  // in P[2] ... P[n - 1] solved by elimination without pivoting (the
  // matrix of B-splines at such parameters is totally positive).
  s.degree = 3;
  s.knots.assign(4, 0.0);
  s.knots.insert(s.knots.end(), t.begin() + 1, t.end() - 1);
  s.knots.insert(s.knots.end(), 4, 1.0);
  std::vector<Point>& P = s.controls;
  P.resize(n + 2);
  P[0] = q[0];
  P[1] = plus(q[0], times(start, t[1] / 3));
  P[n + 1] = q[n - 1];
  P[n] = minus(q[n - 1], times(end, (1 - t[n - 2]) / 3));
  // Forward: row k (1 <= k <= n - 2) becomes P[k + 1] + upper[k] P[k + 2] = P[k + 1]'s right side.
  // P[1] is known, so row 1 has nothing to eliminate: upper[0] stays 0.
  std::vector<double> upper(n);
  for (std::size_t k = 1; k + 1 < n; ++k) {
    double N[4];
    cubic_basis(s.knots, k + 3, t[k], N);  // N[0..2]: P[k], P[k + 1], P[k + 2]
    Point right = minus(q[k], times(P[k], N[0]));
    const double diagonal = N[1] - N[0] * upper[k - 1];
    if (!(diagonal != 0) || !std::isfinite(diagonal)) return false;
    if (k + 2 == n) {
      right = minus(right, times(P[n], N[2]));
      upper[k] = 0;
    } else {
      upper[k] = N[2] / diagonal;
    }
    P[k + 1] = times(right, 1 / diagonal);
  }
  // Back.
  for (std::size_t k = n - 2; k >= 1; --k) P[k + 1] = minus(P[k + 1], times(P[k + 2], upper[k]));
  return true;
}

bool well_formed(const Spline& s) {
  const std::size_t count = s.controls.size();
  if (s.degree < 1 || s.degree > highest_degree || count < static_cast<std::size_t>(s.degree) + 1) return false;
  if (s.knots.size() != count + static_cast<std::size_t>(s.degree) + 1) return false;
  if (!s.weights.empty() && s.weights.size() != count) return false;
  for (std::size_t k = 0; k < s.knots.size(); ++k)
    if (!std::isfinite(s.knots[k]) || (k > 0 && s.knots[k] < s.knots[k - 1])) return false;
  for (double w : s.weights)
    if (!(w > 0) || !std::isfinite(w)) return false;
  if (!std::all_of(s.controls.begin(), s.controls.end(), finite)) return false;
  return s.knots[static_cast<std::size_t>(s.degree)] < s.knots[count];
}

Point spline_at(const Spline& s, double u) {
  const std::size_t p = static_cast<std::size_t>(s.degree), last = s.controls.size() - 1;
  const std::vector<double>& U = s.knots;
  // The span: U[k] <= u < U[k + 1], the last one that is not empty at the
  // domain's end; found by halves, so that a spline of many control points
  // costs a logarithm per point, not their count.
  const std::size_t k =
      static_cast<std::size_t>(std::upper_bound(U.begin() + static_cast<std::ptrdiff_t>(p) + 1,
                                                U.begin() + static_cast<std::ptrdiff_t>(last) + 1, u) -
                               U.begin()) -
      1;
  struct Homogeneous {
    double x, y, z, w;
  };
  Homogeneous d[32];
  std::vector<Homogeneous> room;
  Homogeneous* h = d;
  if (p + 1 > std::size(d)) {
    room.resize(p + 1);
    h = room.data();
  }
  for (std::size_t j = 0; j <= p; ++j) {
    const Point& c = s.controls[k - p + j];
    const double w = s.weights.empty() ? 1.0 : s.weights[k - p + j];
    h[j] = {c.x * w, c.y * w, c.z * w, w};
  }
  for (std::size_t r = 1; r <= p; ++r) {
    for (std::size_t j = p; j >= r; --j) {
      const std::size_t i = k - p + j;
      const double alpha = (u - U[i]) / (U[i + p - r + 1] - U[i]);
      h[j] = {(1 - alpha) * h[j - 1].x + alpha * h[j].x, (1 - alpha) * h[j - 1].y + alpha * h[j].y,
              (1 - alpha) * h[j - 1].z + alpha * h[j].z, (1 - alpha) * h[j - 1].w + alpha * h[j].w};
    }
  }
  return {h[p].x / h[p].w, h[p].y / h[p].w, h[p].z / h[p].w};
}

double distance_to_segment(const Point& p, const Point& a, const Point& b) {
  const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
  const double vx = p.x - a.x, vy = p.y - a.y, vz = p.z - a.z;
  const double length2 = ux * ux + uy * uy + uz * uz;
  double t = length2 > 0 ? (ux * vx + uy * vy + uz * vz) / length2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(vx - t * ux, vy - t * uy, vz - t * uz);
}

namespace {

// Appends the points after pa of the piece [a, b] of the spline.
void flatten_piece(const Spline& s, double a, double b, const Point& pa, const Point& pb, double tolerance, int depth,
                   std::vector<Point>& out) {
  const double mid = (a + b) / 2;
  const Point pm = spline_at(s, mid);
  bool near = true;
  if (depth < deepest && out.size() < static_cast<std::size_t>(most_chords)) {
    for (double f : {0.25, 0.75})
      near = near && distance_to_segment(spline_at(s, a + (b - a) * f), pa, pb) <= tolerance;
    near = near && distance_to_segment(pm, pa, pb) <= tolerance;
  }
  if (near) {
    out.push_back(pb);
    return;
  }
  flatten_piece(s, a, mid, pa, pm, tolerance, depth + 1, out);
  flatten_piece(s, mid, b, pm, pb, tolerance, depth + 1, out);
}

}  // namespace

void spline_points(const Spline& s, double tolerance, std::vector<Point>& out) {
  const std::size_t p = static_cast<std::size_t>(s.degree), end = s.controls.size();
  out.push_back(spline_at(s, s.knots[p]));
  for (std::size_t k = p; k < end; ++k) {
    const double a = s.knots[k], b = s.knots[k + 1];
    if (!(a < b)) continue;
    // A span in quarters first, so that a wave within it is not missed by
    // samples that happen to lie on its chord.
    constexpr int quarters = 4;
    for (int q = 0; q < quarters; ++q) {
      const double from = a + (b - a) * q / quarters, to = q + 1 == quarters ? b : a + (b - a) * (q + 1) / quarters;
      const Point before = out.back();  // a copy: out grows
      flatten_piece(s, from, to, before, spline_at(s, to), tolerance, 0, out);
    }
  }
}

}  // namespace curves
