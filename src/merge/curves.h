// Curves as chords: arcs, bulges, ellipses and B-splines turned into points
// whose straight segments stay within a tolerance of the curve. The count of
// chords comes from the sagitta r (1 - cos(a / 2)) of a chord over angle a.
#pragma once

#include <cstddef>
#include <vector>

#include "numeric/extrusion.h"

namespace curves {

struct Point {
  double x = 0, y = 0, z = 0;
};

// Whether every coordinate of p is a number within the doubles.
[[nodiscard]] bool finite(const Point& p);

// The most chords one curve is cut into, so that a huge radius or a tiny
// tolerance cannot make one entity's points unbounded.
inline constexpr int most_chords = 1 << 20;

// The fewest chords over `span` radians of a circle of `radius` whose
// sagitta stays within `tolerance`, at least `least` (and at most most_chords).
[[nodiscard]] int chords_for(double radius, double span, double tolerance, int least = 1);

// Appends the points of an arc around (cx, cy) at height z of `radius`,
// from angle `start` over `span` radians (negative: clockwise), cut into n
// chords: n + 1 points, both ends included.
void arc_points(double cx, double cy, double z, double radius, double start, double span, int n,
                std::vector<Point>& out);

// Appends the points strictly between a and b of the arc their bulge makes
// (included angle 4 atan(bulge), counter-clockwise when positive), in the
// plane z = a.z; nothing for a bulge of 0 or points that coincide.
void bulge_points(const Point& a, const Point& b, double bulge, double tolerance, std::vector<Point>& out);

// The circle the arc of a bulge from a to b lies on: false when there is no
// arc (a bulge of 0 or no number, a and b one point, a center beyond the numbers).
bool bulge_circle(const Point& a, const Point& b, double bulge, double& cx, double& cy, double& radius);

// An ELLIPSE in world coordinates: its center, its major axis (relative to
// the center), the normal of its plane, the minor to major ratio and the
// parameters of its ends (radians).
struct Ellipse {
  Point center, major;
  numeric::Extrusion normal;
  double ratio = 1, start = 0, end = 0;
};

// Appends the ellipse's points; closed (its last point not repeated) when it
// goes all round, which is returned.
bool ellipse_points(const Ellipse& e, double tolerance, std::vector<Point>& out);

// The highest degree of a spline drawn: a point costs the square of the
// degree, and drawings use degrees up to a dozen or so.
inline constexpr int highest_degree = 64;

// A B-spline in world coordinates: its degree, knots, control points and
// their weights (empty: all 1; rational otherwise).
struct Spline {
  int degree = 3;
  std::vector<double> knots, weights;
  std::vector<Point> controls;
};

// The knots of a spline that gives none: clamped at both ends (degree + 1
// equal knots), evenly spaced between.
[[nodiscard]] std::vector<double> clamped_knots(std::size_t count, int degree);

// A spline given by the points it passes through (fit points), in order,
// and the directions it starts and ends in where the drawing gives them.
struct FitPoints {
  std::vector<Point> points;
  Point start_tangent, end_tangent;
  bool has_start = false, has_end = false;
};

// Makes s the curve CAD programs make of fit points: a cubic B-spline through
// every point (consecutive equal points count once), clamped, its inner knots
// the points' parameters by chord length (normalised to [0, 1]), its first
// derivatives at both ends as long as the points' polygon and along the
// tangents given (a tangent of length 0 or no number: not given), else
// estimated from the three points nearest the end (the five-point estimate,
// its end points extrapolated). Two points and no tangent: the straight
// segment between them (degree 1). The degree group is not asked: a curve
// through fit points is a cubic. False, nothing drawn, for fewer than two
// distinct points, points that are no numbers or parameters that do not
// increase. Time and memory linear in the count of points (a tridiagonal
// system solved once).
[[nodiscard]] bool fit_spline(const FitPoints& f, Spline& s);

// Whether the spline can be evaluated: a degree from 1 to highest_degree, at least degree + 1
// control points, one knot more than control points and degree together,
// knots that do not decrease and span something, weights none or one per
// control point and above 0, every value finite.
[[nodiscard]] bool well_formed(const Spline& s);

// The spline's point at parameter u (de Boor's algorithm in homogeneous
// coordinates), for a well formed spline and u within its domain.
[[nodiscard]] Point spline_at(const Spline& s, double u);

// Appends points of a well formed spline over its domain, each knot span cut
// in halves until the curve at a quarter, the middle and three quarters of
// every piece stays within `tolerance` of its chord.
void spline_points(const Spline& s, double tolerance, std::vector<Point>& out);

// The distance from p to the segment from a to b.
[[nodiscard]] double distance_to_segment(const Point& p, const Point& a, const Point& b);

}  // namespace curves
