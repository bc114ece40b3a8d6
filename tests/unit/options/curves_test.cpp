// --curves and --lines: the flattening of arcs, bulges, ellipses and splines
// held to the true curves, and whole merges of drawings with them, equal
// under every acceleration.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <functional>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "in_process.h"
#include "merge/curves.h"
#include "merge/entity_text.h"
#include "merge/placed_curves.h"
#include "numeric/rounding.h"
#include "write/output.h"

namespace {

using curves::Point;
constexpr double pi = std::numbers::pi;

double distance_to_polyline(const Point& p, const std::vector<Point>& line) {
  double best = INFINITY;
  for (std::size_t k = 0; k + 1 < line.size(); ++k)
    best = std::min(best, curves::distance_to_segment(p, line[k], line[k + 1]));
  if (line.size() == 1) best = curves::distance_to_segment(p, line[0], line[0]);
  return best;
}

// The largest distance from the true curve (a dense sample of it) to the
// chords, and from the chords' points back to the curve.
void expect_within(const std::function<Point(double)>& curve, const std::vector<Point>& chords, double tolerance) {
  constexpr int samples = 4000;
  std::vector<Point> dense;
  for (int k = 0; k <= samples; ++k) dense.push_back(curve(static_cast<double>(k) / samples));
  double away = 0, off = 0;
  for (const Point& p : dense) away = std::max(away, distance_to_polyline(p, chords));
  for (const Point& p : chords) off = std::max(off, distance_to_polyline(p, dense));
  EXPECT_LE(away, tolerance + 1e-9);
  EXPECT_LE(off, 1e-3);  // on the curve, up to the sample's own chords
}

// chords_for: the sagitta within the tolerance, and one chord fewer not.
struct ChordCase {
  double radius, span, tolerance;
  int least, expected;  // expected: -1 when only the bounds are checked
};
class ChordCount : public testing::TestWithParam<ChordCase> {};
TEST_P(ChordCount, FewestWithinTheTolerance) {
  const ChordCase c = GetParam();
  const int n = curves::chords_for(c.radius, c.span, c.tolerance, c.least);
  if (c.expected >= 0) {
    EXPECT_EQ(n, c.expected);
  }
  EXPECT_GE(n, c.least);
  if (n < curves::most_chords) {
    EXPECT_LE(c.radius * (1 - std::cos(c.span / (2.0 * n))), c.tolerance);
  }
  if (n > c.least) {
    EXPECT_GT(c.radius * (1 - std::cos(c.span / (2.0 * (n - 1)))), c.tolerance);
  }
}
INSTANTIATE_TEST_SUITE_P(Curves, ChordCount,
                         testing::Values(ChordCase{100, 2 * pi, 0.5, 3, -1}, ChordCase{1e6, 2 * pi, 0.5, 3, -1},
                                         ChordCase{10, pi / 2, 0.01, 1, -1}, ChordCase{0.4, 2 * pi, 0.5, 3, 3},
                                         ChordCase{5, 1e-9, 0.5, 1, 1}, ChordCase{50, -pi, 0.5, 1, -1},
                                         // a radius that would need more chords than allowed
                                         ChordCase{1e300, 2 * pi, 1e-6, 3, curves::most_chords}));

// Bulges: the arc through both ends, to the left of the chord for a positive one.
struct BulgeCase {
  Point a, b;
  double bulge, tolerance;
};
class Bulges : public testing::TestWithParam<BulgeCase> {};
TEST_P(Bulges, ArcWithinTheTolerance) {
  const BulgeCase c = GetParam();
  std::vector<Point> chords{c.a};
  curves::bulge_points(c.a, c.b, c.bulge, c.tolerance, chords);
  chords.push_back(c.b);
  const double theta = 4 * std::atan(c.bulge), chord = std::hypot(c.b.x - c.a.x, c.b.y - c.a.y);
  const double r = chord / (2 * std::sin(std::fabs(theta) / 2));
  // The center: cot(theta / 2) half chords along the chord's left normal.
  const double nx = -(c.b.y - c.a.y) / chord, ny = (c.b.x - c.a.x) / chord;
  const double d = chord / 2 / std::tan(theta / 2);
  const double cx = (c.a.x + c.b.x) / 2 + nx * d, cy = (c.a.y + c.b.y) / 2 + ny * d;
  const double start = std::atan2(c.a.y - cy, c.a.x - cx);
  expect_within(
      [&](double t) {
        return Point{cx + r * std::cos(start + theta * t), cy + r * std::sin(start + theta * t), c.a.z};
      },
      chords, c.tolerance);
  EXPECT_GT(chords.size(), 2u);
}
INSTANTIATE_TEST_SUITE_P(Curves, Bulges,
                         testing::Values(BulgeCase{{0, 0, 0}, {100, 0, 0}, 1, 0.5},   // half circle, counter-clockwise
                                         BulgeCase{{0, 0, 3}, {100, 0, 3}, -1, 0.5},  // clockwise, at a height
                                         BulgeCase{{10, 10, 0}, {40, 50, 0}, 0.2, 0.05},  // a flat arc
                                         BulgeCase{{0, 0, 0}, {0, 80, 0}, 3, 0.5},        // more than half a circle
                                         BulgeCase{{0, 0, 0}, {0, 80, 0}, -3, 0.1}));

// The points of curves are written with the text around their coordinates
// made once: the same bytes as a vertex written alone, whatever the layer's
// length (short, longer than a word-copied part, longer than the buffer).
TEST(Curves, PointsAreWrittenAsVerticesOnAnyLayer) {
  for (std::size_t length : {1, 64, 100, 3000}) {
    const std::string layer(length, 'L');
    std::string run_text, alone_text;
    Output run_out(2048), alone_out(2048);
    run_out.attach(-1, &run_text);
    alone_out.attach(-1, &alone_text);
    text::VertexRun run;
    run.prepare(layer, 32);
    for (const Point& q :
         {Point{1.5, -2.5, 0}, Point{-0.4, 123456789.5, -7}, Point{1e300, -3e12, 0.49999999999999994}}) {
      run.write(run_out, q.x, q.y, q.z);
      text::write_vertex(alone_out, layer, 32, q.x, q.y, q.z);
    }
    run_out.finish();
    alone_out.finish();
    EXPECT_EQ(run_text, alone_text) << length;
    EXPECT_NE(alone_text.find("123456790\r\n"), std::string::npos);
  }
}

TEST(Curves, BulgeOfZeroOrOnOnePointAddsNothing) {
  std::vector<Point> out;
  curves::bulge_points({0, 0, 0}, {10, 0, 0}, 0, 0.5, out);
  curves::bulge_points({5, 5, 0}, {5, 5, 0}, 1, 0.5, out);
  EXPECT_TRUE(out.empty());
}

struct EllipseCase {
  curves::Ellipse e;
  double tolerance;
  bool whole;
};
class Ellipses : public testing::TestWithParam<EllipseCase> {};
TEST_P(Ellipses, ChordsWithinTheTolerance) {
  const EllipseCase c = GetParam();
  std::vector<Point> chords;
  EXPECT_EQ(curves::ellipse_points(c.e, c.tolerance, chords), c.whole);
  if (c.whole) chords.push_back(chords.front());  // the closing chord
  const curves::Ellipse& e = c.e;
  const Point& a = e.major;
  const numeric::Extrusion& n = e.normal;
  Point minor{n.y * a.z - n.z * a.y, n.z * a.x - n.x * a.z, n.x * a.y - n.y * a.x};
  const double scale = e.ratio * std::hypot(a.x, a.y, a.z) / std::hypot(minor.x, minor.y, minor.z);
  double span = c.whole ? 2 * pi : std::fmod(e.end - e.start + 4 * pi, 2 * pi);
  expect_within(
      [&](double t) {
        const double u = e.start + span * t;
        return Point{e.center.x + std::cos(u) * a.x + std::sin(u) * minor.x * scale,
                     e.center.y + std::cos(u) * a.y + std::sin(u) * minor.y * scale,
                     e.center.z + std::cos(u) * a.z + std::sin(u) * minor.z * scale};
      },
      chords, c.tolerance);
}
INSTANTIATE_TEST_SUITE_P(
    Curves, Ellipses,
    testing::Values(EllipseCase{{{0, 0, 0}, {100, 0, 0}, {0, 0, 1}, 0.5, 0, 2 * pi}, 0.5, true},
                    EllipseCase{{{10, 20, 5}, {30, 40, 0}, {0, 0, 1}, 0.05, 1, 4}, 0.1, false},  // thin, part of it
                    EllipseCase{{{0, 0, 0}, {0, 60, 0}, {1, 0, 0}, 0.3, 5, 1}, 0.5, false},      // tilted; past 2 pi
                    EllipseCase{{{0, 0, 0}, {80, 0, 0}, {0, 0, -1}, 1, 0, 0}, 0.25, true}));  // equal ends: all round

// A quarter circle as a rational spline of degree 2: every point at radius 1.
TEST(Curves, RationalSplineIsExact) {
  curves::Spline s;
  s.degree = 2;
  s.knots = {0, 0, 0, 1, 1, 1};
  s.controls = {{1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  s.weights = {1, std::sqrt(0.5), 1};
  ASSERT_TRUE(curves::well_formed(s));
  for (double u : {0.0, 0.1, 0.5, 0.77, 1.0}) {
    const Point p = curves::spline_at(s, u);
    EXPECT_NEAR(std::hypot(p.x, p.y), 1.0, 1e-12) << u;
  }
  std::vector<Point> chords;
  s.controls = {{100, 0, 0}, {100, 100, 0}, {0, 100, 0}};
  curves::spline_points(s, 0.1, chords);
  expect_within([](double t) { return Point{100 * std::cos(t * pi / 2), 100 * std::sin(t * pi / 2), 0}; }, chords, 0.1);
  EXPECT_NEAR(chords.back().x, 0, 1e-9);
}

// A clamped cubic with a wave in one knot span, and a straight spline of degree 1.
TEST(Curves, SplineChordsWithinTheTolerance) {
  curves::Spline s;
  s.knots = {0, 0, 0, 0, 1, 2, 2, 2, 2};
  s.controls = {{0, 0, 0}, {10, 60, 0}, {30, -60, 10}, {50, 60, 0}, {70, 0, 0}};
  ASSERT_TRUE(curves::well_formed(s));
  for (double tolerance : {0.5, 0.01}) {
    std::vector<Point> chords;
    curves::spline_points(s, tolerance, chords);
    expect_within([&](double t) { return curves::spline_at(s, 2 * t); }, chords, tolerance);
  }
  curves::Spline straight;
  straight.degree = 1;
  straight.knots = {0, 0, 1, 2, 2};
  straight.controls = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}};
  std::vector<Point> chords;
  curves::spline_points(straight, 0.5, chords);
  ASSERT_EQ(chords.size(), 9u);  // four pieces a span
  EXPECT_EQ(chords[4].x, 10);
  EXPECT_EQ(chords[4].y, 0);
}

TEST(Curves, ClampedKnotsWhereNoneAreGiven) {
  EXPECT_EQ(curves::clamped_knots(5, 3), (std::vector<double>{0, 0, 0, 0, 1, 2, 2, 2, 2}));
  EXPECT_EQ(curves::clamped_knots(2, 1), (std::vector<double>{0, 0, 1, 1}));
  EXPECT_TRUE(curves::clamped_knots(2, 3).empty());  // too few control points
}

TEST(Curves, MalformedSplinesAreRefused) {
  curves::Spline good;
  good.degree = 2;
  good.knots = {0, 0, 0, 1, 1, 1};
  good.controls = {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}};
  ASSERT_TRUE(curves::well_formed(good));
  std::vector<std::function<void(curves::Spline&)>> faults = {
      [](curves::Spline& s) { s.degree = 0; },
      [](curves::Spline& s) { s.degree = 3; },  // too few control points
      [](curves::Spline& s) { s.knots.pop_back(); },
      [](curves::Spline& s) { s.knots = {0, 0, 0, 0, 0, 0}; },  // an empty domain
      [](curves::Spline& s) { s.knots = {0, 0, 1, 0.5, 1, 1}; },
      [](curves::Spline& s) {
        s.weights = {1, 1};
      },
      [](curves::Spline& s) {
        s.weights = {1, 0, 1};
      },
      [](curves::Spline& s) { s.controls[1].y = NAN; },
      [](curves::Spline& s) { s.knots[3] = INFINITY; },
      [](curves::Spline& s) {  // a degree whose points would cost too much
        s.degree = curves::highest_degree + 1;
        s.controls.resize(static_cast<std::size_t>(s.degree) + 1);
        s.knots = curves::clamped_knots(s.controls.size(), s.degree);
      },
  };
  for (std::size_t k = 0; k < faults.size(); ++k) {
    curves::Spline s = good;
    faults[k](s);
    EXPECT_FALSE(curves::well_formed(s)) << k;
  }
}

// Splines given by fit points: the control points and knots that ezdxf's
// fit_points_to_cad_cv() makes of the same points and tangents.
struct FitCase {
  const char* what;
  curves::FitPoints fit;
  std::vector<double> knots;
  std::vector<Point> controls;
};
class FitSplines : public testing::TestWithParam<FitCase> {};
TEST_P(FitSplines, AsTheReferenceMakesThem) {
  const FitCase& c = GetParam();
  curves::Spline s;
  ASSERT_TRUE(curves::fit_spline(c.fit, s));
  ASSERT_TRUE(curves::well_formed(s));
  EXPECT_EQ(s.degree, 3);
  ASSERT_EQ(s.knots.size(), c.knots.size());
  for (std::size_t k = 0; k < c.knots.size(); ++k) EXPECT_NEAR(s.knots[k], c.knots[k], 1e-10) << k;
  ASSERT_EQ(s.controls.size(), c.controls.size());
  for (std::size_t k = 0; k < c.controls.size(); ++k) {
    EXPECT_NEAR(s.controls[k].x, c.controls[k].x, 1e-8) << k;
    EXPECT_NEAR(s.controls[k].y, c.controls[k].y, 1e-8) << k;
    EXPECT_NEAR(s.controls[k].z, c.controls[k].z, 1e-8) << k;
  }
  // Through every fit point, at the knots.
  const std::vector<Point>& q = c.fit.points;
  for (std::size_t k = 0; k < q.size(); ++k) {
    const Point p = curves::spline_at(s, k + 1 < q.size() ? s.knots[k + 3] : 1.0);
    EXPECT_NEAR(std::hypot(p.x - q[k].x, p.y - q[k].y, p.z - q[k].z), 0, 1e-9) << k;
  }
}
INSTANTIATE_TEST_SUITE_P(
    Curves, FitSplines,
    testing::Values(
        FitCase{"three points, tangents estimated",
                {{{0, 0, 0}, {10, 5, 0}, {20, 0, 0}}, {}, {}, false, false},
                {0, 0, 0, 0, 0.5, 1, 1, 1, 1},
                {{0, 0, 0},
                 {2.63523138347, 2.63523138347, 0},
                 {10, 7.36476861653, 0},
                 {17.3647686165, 2.63523138347, 0},
                 {20, 0, 0}}},
        FitCase{"four points, tangents estimated",
                {{{0, 0, 0}, {10, 10, 0}, {20, 0, 0}, {30, 10, 0}}, {}, {}, false, false},
                {0, 0, 0, 0, 1 / 3.0, 2 / 3.0, 1, 1, 1, 1},
                {{0, 0, 0},
                 {2.10818510678, 4.21637021356, 0},
                 {10.7350889359, 17.4701778719, 0},
                 {19.2649110641, -7.47017787187, 0},
                 {27.8918148932, 5.78362978644, 0},
                 {30, 10, 0}}},
        FitCase{"two points and both tangents",
                {{{0, 0, 0}, {10, 0, 0}}, {0, 1, 0}, {0, 1, 0}, true, true},
                {0, 0, 0, 0, 1, 1, 1, 1},
                {{0, 0, 0}, {0, 10 / 3.0, 0}, {10, -10 / 3.0, 0}, {10, 0, 0}}},
        FitCase{"in space, tangents not of unit length",
                {{{0, 0, 0}, {12, 3, 8}, {25, -6, 2}, {33, 10, -9}, {50, 0, 4}}, {1, 1, 0}, {0, 0, -1}, true, true},
                {0, 0, 0, 0, 0.193155716095, 0.414904228202, 0.690261780603, 1, 1, 1, 1},
                {{0, 0, 0},
                 {3.47211110933, 3.47211110933, 0},
                 {12.4534596211, 6.95514861918, 13.1223828026},
                 {28.6656983649, -15.7682484448, 2.57491114527},
                 {27.9862548314, 22.9525560577, -21.1251412886},
                 {50, 0, 11.874007874},
                 {50, 0, 4}}}),
    [](const testing::TestParamInfo<FitCase>& info) {
      std::string name = info.param.what;
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

// What fit points give where they are few, repeated, no numbers, or their
// tangents are partly given; and a great many of them.
TEST(Curves, FitSplinesOfFewOrOddPoints) {
  const Point a{0, 0, 0}, b{10, 5, 0}, c{20, 0, 0}, d{35, 10, 0};
  curves::Spline s, plain;
  EXPECT_FALSE(curves::fit_spline({{a}, {}, {}, false, false}, s));
  EXPECT_FALSE(curves::fit_spline({{b, b, b}, {}, {}, false, false}, s));  // one point, repeated
  EXPECT_FALSE(curves::fit_spline({{a, {NAN, 0, 0}, c}, {}, {}, false, false}, s));
  EXPECT_FALSE(curves::fit_spline({{a, {INFINITY, 0, 0}}, {}, {}, false, false}, s));
  // Two points and no tangent: the segment between them.
  ASSERT_TRUE(curves::fit_spline({{a, a, c}, {}, {}, false, false}, s));
  EXPECT_EQ(s.degree, 1);
  ASSERT_EQ(s.controls.size(), 2u);
  EXPECT_EQ(s.controls[1].x, 20);
  // Consecutive equal points count once; a tangent of length 0 is not given.
  ASSERT_TRUE(curves::fit_spline({{a, b, c, d}, {}, {}, false, false}, plain));
  ASSERT_TRUE(curves::fit_spline({{a, a, b, c, c, c, d}, {0, 0, 0}, {}, true, false}, s));
  ASSERT_EQ(s.controls.size(), plain.controls.size());
  for (std::size_t k = 0; k < s.controls.size(); ++k) {
    EXPECT_EQ(s.controls[k].x, plain.controls[k].x) << k;
    EXPECT_EQ(s.controls[k].y, plain.controls[k].y) << k;
  }
  // A start tangent alone: the start follows it (the second control point
  // straight above the first), the end's stays the estimated one.
  ASSERT_TRUE(curves::fit_spline({{a, b, c, d}, {0, 2, 0}, {}, true, false}, s));
  EXPECT_EQ(s.controls[1].x, 0);
  EXPECT_GT(s.controls[1].y, 0);
  EXPECT_EQ(s.controls[4].x, plain.controls[4].x);
  EXPECT_EQ(s.controls[4].y, plain.controls[4].y);
  EXPECT_NE(s.controls[2].y, plain.controls[2].y);
  // Many points, round a circle: two control points more, through each,
  // every span cut in quarters.
  curves::FitPoints many;
  constexpr std::size_t count = 20000;
  for (std::size_t k = 0; k < count; ++k) {
    const double angle = 2 * pi * static_cast<double>(k) / count;
    many.points.push_back({1e5 * std::cos(angle), 1e5 * std::sin(angle), 0});
  }
  ASSERT_TRUE(curves::fit_spline(many, s));
  ASSERT_TRUE(curves::well_formed(s));
  EXPECT_EQ(s.controls.size(), count + 2);
  for (std::size_t k : {std::size_t{1}, count / 3, count - 2}) {
    const Point p = curves::spline_at(s, s.knots[k + 3]);
    EXPECT_NEAR(p.x, many.points[k].x, 1e-6) << k;
    EXPECT_NEAR(p.y, many.points[k].y, 1e-6) << k;
    const Point between = curves::spline_at(s, (s.knots[k + 3] + s.knots[k + 4]) / 2);
    EXPECT_NEAR(std::hypot(between.x, between.y), 1e5, 1e-3) << k;
  }
  std::vector<Point> chords;
  curves::spline_points(s, 0.5, chords);
  EXPECT_EQ(chords.size(), 4 * (count - 1) + 1);  // each span in quarters, none cut further
}

// ---- curves of blocks, placed ----------------------------------------------

// The largest stretch of a map: its largest singular value, from above.
TEST(PlacedCurves, StretchIsTheLargestSingularValue) {
  const double golden = (1 + std::sqrt(5.0)) / 2;
  const std::pair<blocks::Map, double> maps[] = {
      {{{{3, 0, 0, 7}, {0, -2, 0, 1}, {0, 0, 1, 0}}}, 3},             // uneven, mirrored
      {{{{1, 1, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}}, golden},         // a shear
      {{{{0, -5, 0, 0}, {5, 0, 0, 0}, {0, 0, 5, 0}}}, 5},             // turned, scaled
      {{{{1e200, 0, 0, 0}, {0, 1e200, 0, 0}, {0, 0, 1, 0}}}, 1e200},  // no square overflows
      {{{{0, 0, 0, 4}, {0, 0, 0, 4}, {0, 0, 0, 4}}}, 0},              // every point to one
      {{{{0.6, -0.8, 0, 0}, {0.8, 0.6, 0, 0}, {0, 0, 2e-3, 0}}}, 1},  // flattened
  };
  for (const auto& [map, expected] : maps) {
    const double s = map.stretch();
    EXPECT_GE(s, expected);
    EXPECT_LE(s, expected * (1 + 1e-8)) << expected;
  }
  const blocks::Map beyond{{{INFINITY, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
  EXPECT_EQ(beyond.stretch(), INFINITY);
}

blocks::Point placed(const blocks::Map& map, const Point& p) { return map.apply({p.x, p.y, p.z, 0}); }
Point point_of(const blocks::Point& p) { return {p.x, p.y, p.z}; }

// A curve of a block placed by a map that stretches it unevenly, mirrors it
// or shears it: every chord within the tolerance of the curve as placed.
struct PlacedCase {
  const char* what;
  blocks::Curve curve;
  blocks::Map map;
  std::function<Point(double)> in_block;  // the true curve in the block, over [0, 1]
};

blocks::Curve round_curve(groups::Kind kind, Point center, double radius, double start = 0, double end = 0) {
  blocks::Curve c;
  c.kind = kind;
  c.groups.first = center;
  c.groups.size = radius;
  c.groups.start = start;
  c.groups.end = end;
  return c;
}

std::vector<PlacedCase> placed_cases() {
  const blocks::Map stretched{{{10, 0, 0, 5}, {0, 1, 0, -3}, {0, 0, 1, 0}}};
  const blocks::Map sheared_mirror{{{-2, 1, 0, 7}, {0.5, 3, 0, -4}, {0, 0, 1, 0}}};
  const blocks::Map tilted{{{0, 0, 4, 0}, {1, 0, 0, 0}, {0, 1, 0, 2}}};  // the block's plane stood up, stretched
  blocks::Curve ellipse;
  ellipse.kind = groups::Kind::ellipse;
  ellipse.groups.first = {10, 20, 0};
  ellipse.groups.second = {60, 0, 0};
  ellipse.groups.size = 0.25;
  ellipse.groups.end = 2 * pi;
  ellipse.groups.has_end = true;
  blocks::Curve spline;
  spline.kind = groups::Kind::spline;
  spline.groups.knots = {0, 0, 0, 0, 1, 2, 2, 2, 2};
  spline.groups.controls = {{0, 0, 0}, {10, 60, 0}, {30, -60, 0}, {50, 60, 0}, {70, 0, 0}};
  curves::Spline true_spline;
  true_spline.knots = spline.groups.knots;
  true_spline.controls = spline.groups.controls;
  return {
      {"a circle stretched ten times along x", round_curve(groups::Kind::circle, {0, 0, 0}, 100), stretched,
       [](double t) {
         return Point{100 * std::cos(2 * pi * t), 100 * std::sin(2 * pi * t), 0};
       }},
      {"an arc sheared and mirrored", round_curve(groups::Kind::arc, {3, 4, 0}, 50, 30, 300), sheared_mirror,
       [](double t) {
         const double a = (30 + 270 * t) * pi / 180;
         return Point{3 + 50 * std::cos(a), 4 + 50 * std::sin(a), 0};
       }},
      {"an ellipse stood up and stretched", ellipse, tilted,
       [](double t) {
         return Point{10 + 60 * std::cos(2 * pi * t), 20 + 15 * std::sin(2 * pi * t), 0};
       }},
      {"a spline stretched", spline, stretched,
       [true_spline](double t) { return curves::spline_at(true_spline, 2 * t); }},
  };
}

TEST(PlacedCurves, ChordsWithinTheToleranceOfTheCurveAsPlaced) {
  for (const PlacedCase& c : placed_cases()) {
    for (double tolerance : {0.5, 0.05}) {
      SCOPED_TRACE(std::string(c.what) + ", tolerance " + std::to_string(tolerance));
      std::vector<blocks::Point> out;
      bool closed = false;
      ASSERT_TRUE(placed_curve(c.curve, c.map, tolerance, out, closed));
      std::vector<Point> chords;
      for (const blocks::Point& p : out) chords.push_back(point_of(p));
      if (closed) chords.push_back(chords.front());
      expect_within([&](double t) { return point_of(placed(c.map, c.in_block(t))); }, chords, tolerance);
    }
  }
}

// A bulge of a block's polyline, in a system mirrored by its extrusion,
// placed by a map that mirrors and stretches it: the arc as placed, on the
// side the two mirrors put it.
TEST(PlacedCurves, BulgesFollowTheMapAndTheirSystem) {
  blocks::Shape s;
  s.flags = 1;  // closed: the last point's bulge goes back to the first
  s.extrusion = {0, 0, -1};
  s.points = {{0, 0, 0, 0}, {100, 0, 0, 0}};
  s.arcs = {1, 1};
  const blocks::Map map{{{1, 0, 0, 0}, {0, -3, 0, 0}, {0, 0, 1, 0}}};
  std::vector<blocks::Point> placed_points;
  for (blocks::Point p : s.points) {
    numeric::to_world(s.extrusion, p.x, p.y, p.z);
    placed_points.push_back(map.apply(p));
  }
  std::vector<blocks::Point> out;
  placed_arcs(s, map, 0.5, placed_points, out);
  ASSERT_GT(out.size(), 10u);
  EXPECT_EQ(out[0].x, 0);
  // In its system the first arc lies below the chord; mirrored along x by the
  // extrusion and along y by the map it lies above it, from x 0 to -100.
  std::vector<Point> first, second;
  bool back = false;
  for (std::size_t k = 0; k < out.size(); ++k) {
    if (out[k].x == -100 && out[k].y == 0) back = true;
    (back ? second : first).push_back(point_of(out[k]));
  }
  first.push_back(second.front());
  second.push_back(first.front());
  for (std::size_t k = 1; k + 1 < first.size(); ++k) EXPECT_GT(first[k].y, 0);
  for (std::size_t k = 1; k + 1 < second.size(); ++k) EXPECT_LT(second[k].y, 0);
  const auto arc = [](double from) {
    return [from](double t) {
      const double a = from + pi * t;
      return Point{-50 + 50 * std::cos(a), -150 * std::sin(a), 0};
    };
  };
  expect_within(arc(pi), first, 0.5);
  expect_within(arc(0), second, 0.5);
}

// ---- whole merges ---------------------------------------------------------

// A drawing of the given entities (LF lines), without header extents.
std::string drawing(std::string_view entities) {
  return "  0\nSECTION\n  2\nENTITIES\n" + std::string(entities) + "  0\nENDSEC\n  0\nEOF\n";
}

struct Written {
  std::string layer;
  int flags = 0;
  std::vector<Point> vertices;
  std::vector<int> vertex_flags;
};

// The result's polylines, and its header's extents.
struct Result {
  std::vector<Written> polylines;
  double min[3] = {}, max[3] = {};
};

Result read_result(const std::string& bytes) {
  Result r;
  std::istringstream in(bytes);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line.substr(line.find_first_not_of(' ') == std::string::npos ? 0 : line.find_first_not_of(' ')));
  }
  Written* vertex_of = nullptr;
  for (std::size_t k = 0; k + 1 < lines.size(); ++k) {
    if (lines[k] == "$EXTMIN" || lines[k] == "$EXTMAX")
      for (int a = 0; a < 3; ++a) (lines[k] == "$EXTMIN" ? r.min : r.max)[a] = std::stod(lines[k + 2 + 2 * a]);
    const bool polyline = lines[k] == "POLYLINE", vertex = lines[k] == "VERTEX";
    if (!polyline && !vertex) continue;
    if (polyline) r.polylines.emplace_back();
    vertex_of = &r.polylines.back();
    Point p;
    int flags = 0;
    for (std::size_t j = k + 1; j + 1 < lines.size() && lines[j] != "0"; j += 2) {
      const int code = std::stoi(lines[j]);
      if (code == 8 && polyline) vertex_of->layer = lines[j + 1];
      if (code == 70) flags = std::stoi(lines[j + 1]);
      if (vertex && code == 10) p.x = std::stod(lines[j + 1]);
      if (vertex && code == 20) p.y = std::stod(lines[j + 1]);
      if (vertex && code == 30) p.z = std::stod(lines[j + 1]);
    }
    if (polyline) vertex_of->flags = flags;
    if (vertex) {
      vertex_of->vertices.push_back(p);
      vertex_of->vertex_flags.push_back(flags);
    }
  }
  return r;
}

// The merge with the options, equal under every acceleration.
support::MemoryMerge merge_with(const std::string& bytes, const DrawingOptions& drawing) {
  MergeOptions options;
  options.drawing = drawing;
  support::MemoryMerge first;
  bool have = false;
  for (const support::NamedAcceleration& a : support::accelerations()) {
    options.fast = a.fast;
    for (std::size_t block : {std::size_t{64}, support::default_block}) {
      support::MemoryMerge m = support::merge_in_memory(support::drawings({bytes}), options, block);
      EXPECT_EQ(m.end, MergeEnd::complete) << a.name;
      if (!have) {
        first = m;
        have = true;
        continue;
      }
      EXPECT_EQ(m.result, first.result) << a.name << " " << block;
      EXPECT_EQ(m.errors, first.errors) << a.name << " " << block;
      EXPECT_EQ(m.console, first.console) << a.name << " " << block;
    }
  }
  return first;
}

DrawingOptions curves_on(double tolerance = 0.5) {
  DrawingOptions o;
  o.curves = true;
  o.tolerance = tolerance;
  return o;
}
DrawingOptions lines_on() {
  DrawingOptions o;
  o.lines = true;
  return o;
}

void expect_box_holds(const Result& r) {
  for (const Written& w : r.polylines)
    for (const Point& p : w.vertices) {
      const double c[3] = {p.x, p.y, p.z};
      for (int a = 0; a < 3; ++a) {
        EXPECT_LE(r.min[a], c[a]);
        EXPECT_GE(r.max[a], c[a]);
      }
    }
}

// Every written vertex within the tolerance and the rounding of a circle.
void expect_on_circle(const Written& w, double cx, double cy, double r, double tolerance) {
  for (const Point& p : w.vertices) {
    const double d = std::hypot(p.x - cx, p.y - cy) - r;
    EXPECT_LE(d, 1.5 * std::sqrt(2.0)) << p.x << " " << p.y;
    EXPECT_GE(d, -tolerance - 1.5 * std::sqrt(2.0)) << p.x << " " << p.y;
  }
}

// A spline through fit points (0,0) (100,200) (300,-100) (500,400) (800,0),
// and the curve ezdxf's fit_points_to_cad_cv() makes of it: with its
// tangents estimated, and with the tangents (0,1,0) and (1,0,0) given.
std::string fit_spline_entity(std::string_view tangents) {
  return "  0\nSPLINE\n  8\nS\n 70\n8\n 71\n3\n 74\n5\n" + std::string(tangents) +
         " 11\n0\n 21\n0\n 31\n0\n 11\n100\n 21\n200\n 31\n0\n 11\n300\n 21\n-100\n 31\n0\n"
         " 11\n500\n 21\n400\n 31\n0\n 11\n800\n 21\n0\n 31\n0\n";
}
const std::vector<Point> fit_points_of_entity = {{0, 0, 0}, {100, 200, 0}, {300, -100, 0}, {500, 400, 0}, {800, 0, 0}};
curves::Spline fit_reference(bool tangents) {
  curves::Spline s;
  s.knots = {0, 0, 0, 0, 0.13780105591, 0.359998582056, 0.691867471615, 1, 1, 1, 1};
  if (tangents)
    s.controls = {{0, 0, 0},
                  {0, 74.53559925, 0},
                  {135.564950922, 385.377809503, 0},
                  {346.472987016, -492.904972973, 0},
                  {483.122338498, 867.205120096, 0},
                  {633.333333333, 0, 0},
                  {800, 0, 0}};
  else
    s.controls = {{0, 0, 0},
                  {8.23107997208, 74.0797197487, 0},
                  {128.012697592, 383.718756034, 0},
                  {359.113216323, -478.815087305, 0},
                  {429.591493956, 788.74432566, 0},
                  {736.541699124, 154.113016412, 0},
                  {800, 0, 0}};
  return s;
}

// The largest distance from a written vertex to the curve (a dense sample),
// less what the rounding may move it by (half a unit per axis, one and a
// half below -0.5, in x and y), and from the curve back to the polyline.
std::pair<double, double> off_the_spline(const Written& w, const curves::Spline& s) {
  const double rounding = 1.5 * std::sqrt(2.0);
  std::vector<Point> dense;
  for (int k = 0; k <= 20000; ++k) dense.push_back(curves::spline_at(s, k / 20000.0));
  double off = 0, away = 0;
  for (const Point& p : w.vertices) off = std::max(off, distance_to_polyline(p, dense) - rounding);
  for (const Point& p : dense) away = std::max(away, distance_to_polyline(p, w.vertices) - rounding);
  return {off, away};
}

// Each point among the written vertices, as the merge rounds it.
void expect_written(const Written& w, const std::vector<Point>& points) {
  for (const Point& q : points) {
    bool found = false;
    for (const Point& p : w.vertices)
      found = found ||
              (p.x == numeric::as_written(q.x) && p.y == numeric::as_written(q.y) && p.z == numeric::as_written(q.z));
    EXPECT_TRUE(found) << q.x << " " << q.y << " " << q.z;
  }
}

struct MergeCase {
  std::string name, entities;
  DrawingOptions options;
  std::size_t polylines;
  std::function<void(const Result&, const std::string& errors)> check;
};

class OptionMerges : public testing::TestWithParam<MergeCase> {};
TEST_P(OptionMerges, AsDrawn) {
  const MergeCase& c = GetParam();
  const support::MemoryMerge m = merge_with(drawing(c.entities), c.options);
  const Result r = read_result(m.result);
  ASSERT_EQ(r.polylines.size(), c.polylines) << m.result;
  EXPECT_EQ(m.totals.polylines, c.polylines);
  std::size_t vertices = 0;
  for (const Written& w : r.polylines) vertices += w.vertices.size();
  EXPECT_EQ(m.totals.vertices, vertices);
  expect_box_holds(r);
  c.check(r, m.errors);
}

// The header's extents widen to an arc drawn beyond them, and stay as they
// are for one within them.
TEST(Curves, ArcsBeyondTheHeaderWidenIt) {
  const std::string bytes =
      "  0\nSECTION\n  2\nHEADER\n  9\n$EXTMIN\n 10\n0\n 20\n-10\n 30\n0\n  9\n$EXTMAX\n 10\n100\n 20\n10\n 30\n0\n"
      "  0\nENDSEC\n" +
      drawing(
          "  0\nPOLYLINE\n 66\n1\n 70\n1\n  0\nVERTEX\n 10\n0\n 20\n0\n 42\n1\n  0\nVERTEX\n 10\n100\n 20\n0\n"
          "  0\nVERTEX\n 10\n100\n 20\n5\n 42\n-0.05\n  0\nVERTEX\n 10\n0\n 20\n5\n  0\nSEQEND\n");
  const Result r = read_result(merge_with(bytes, curves_on()).result);
  ASSERT_EQ(r.polylines.size(), 1u);
  EXPECT_LE(r.min[1], -49);  // the half circle below the first side
  EXPECT_EQ(r.max[1], 10);
  EXPECT_EQ(r.min[0], 0);
  EXPECT_EQ(r.max[0], 100);
  expect_box_holds(r);
}

const std::string circle = "  0\nCIRCLE\n  8\nC\n 10\n100\n 20\n-50\n 30\n0\n 40\n200\n";
const std::string line_ab = "  0\nLINE\n  8\nL\n 10\n0.25\n 20\n0\n 30\n0\n 11\n10.5\n 21\n0\n 31\n0\n";
const std::string line_bc = "  0\nLINE\n  8\nL\n 10\n10.5\n 20\n0\n 30\n0\n 11\n10.5\n 21\n10\n 31\n0\n";

// A vertex at (x, 0) read by its group codes (a handle first), with a bulge.
std::string by_groups_vertex(std::string_view handle, int x, double bulge) {
  return "  0\nVERTEX\n  5\n" + std::string(handle) + "\n  8\nP\n 10\n" + std::to_string(x) + "\n 20\n0\n 42\n" +
         std::to_string(bulge) + "\n";
}
// A vertex at (x, 0) in the layout copied as it stands.
std::string layout_vertex(int x) {
  return "  0\nVERTEX\n  8\nP\n 70\n0\n 10\n" + std::to_string(x) + "\n 20\n0\n 30\n0\n";
}

INSTANTIATE_TEST_SUITE_P(
    Options, OptionMerges,
    testing::Values(
        MergeCase{"circle_closed", circle, curves_on(), 1,
                  [](const Result& r, const std::string& errors) {
                    EXPECT_EQ(r.polylines[0].flags, 1);
                    EXPECT_EQ(r.polylines[0].layer, "C");
                    EXPECT_GE(r.polylines[0].vertices.size(), 3u);
                    expect_on_circle(r.polylines[0], 100, -50, 200, 0.5);
                    EXPECT_EQ(errors.find("left out"), std::string::npos) << errors;
                    EXPECT_NE(errors.find("(1 CIRCLE drawn)"), std::string::npos) << errors;
                  }},
        // Scaled, the chords stay within the tolerance in the result's units,
        // as many as the circle's a hundred times larger has, on its input's layer.
        MergeCase{"scaled_with_a_layer_per_input", circle,
                  [] {
                    DrawingOptions o = curves_on();
                    o.scaled = o.layer_per_input = true;
                    o.scale = 100;
                    return o;
                  }(),
                  1,
                  [](const Result& r, const std::string&) {
                    EXPECT_EQ(r.polylines[0].layer, "a");
                    EXPECT_GT(r.polylines[0].vertices.size(), 400u);  // pi / acos(1 - 0.5 / 20000), not 44
                    expect_on_circle(r.polylines[0], 10000, -5000, 20000, 0.5);
                  }},
        MergeCase{"finer_tolerance_more_chords", circle + circle, curves_on(0.01), 2,
                  [](const Result& r, const std::string&) {
                    EXPECT_GT(r.polylines[0].vertices.size(), 300u);  // 2 pi / (2 acos(1 - 0.01 / 200))
                    expect_on_circle(r.polylines[1], 100, -50, 200, 0.01);
                  }},
        MergeCase{"curves_left_out_without_option", circle, lines_on(), 0,
                  [](const Result&, const std::string& errors) {
                    EXPECT_NE(errors.find("left out: 1 CIRCLE"), std::string::npos) << errors;
                  }},
        // An arc in a mirrored system: its points at x negated, at height -5
        // (3D), written as the merge rounds (-150 as -149).
        MergeCase{"arc_in_its_system",
                  "  0\nARC\n  8\nA\n 10\n100\n 20\n0\n 30\n5\n 40\n50\n 50\n0\n 51\n90\n210\n0\n220\n0\n230\n-1\n",
                  curves_on(), 1,
                  [](const Result& r, const std::string&) {
                    const Written& w = r.polylines[0];
                    EXPECT_EQ(w.flags, 8);
                    EXPECT_EQ(w.vertex_flags[0], 32);
                    EXPECT_EQ(w.vertices.front().x, -149);
                    EXPECT_EQ(w.vertices.front().z, -4);
                    EXPECT_EQ(w.vertices.back().x, -99);
                    EXPECT_EQ(w.vertices.back().y, 50);
                    expect_on_circle(w, -100, 0, 50, 0.5);
                  }},
        MergeCase{"paper_space_and_bad_values_left_out",
                  "  0\nCIRCLE\n 67\n1\n 10\n0\n 20\n0\n 40\n5\n  0\nELLIPSE\n 10\nx\n 20\n0\n 11\n5\n 40\n0.5\n"
                  "  0\nSPLINE\n 71\n3\n 11\n5\n 21\n5\n 11\n5\n 21\n5\n",  // through one point: nothing
                  curves_on(), 0,
                  [](const Result&, const std::string& errors) {
                    EXPECT_NE(errors.find("\"x\" is not a number: it is left out"), std::string::npos) << errors;
                    EXPECT_NE(errors.find("left out: 1 ELLIPSE, 1 SPLINE, 1 line or curve of paper space"),
                              std::string::npos)
                        << errors;
                  }},
        // A circle as wide as the doubles go, and a spline of too high a degree.
        MergeCase{"beyond_what_can_be_drawn",
                  "  0\nCIRCLE\n 10\n1e308\n 20\n0\n 40\n1.7e308\n"
                  "  0\nSPLINE\n 71\n65\n 10\n0\n 20\n0\n 10\n5\n 20\n5\n",
                  curves_on(), 0,
                  [](const Result&, const std::string& errors) {
                    EXPECT_NE(errors.find("left out: 1 CIRCLE, 1 SPLINE"), std::string::npos) << errors;
                  }},
        // Through its fit points, the cubic of the chord-length knots and
        // end tangents estimated; with tangents given, another curve.
        MergeCase{"fit_spline_through_its_points", fit_spline_entity(""), curves_on(), 1,
                  [](const Result& r, const std::string& errors) {
                    const Written& w = r.polylines[0];
                    EXPECT_EQ(w.layer, "S");
                    EXPECT_EQ(w.flags, 0);
                    EXPECT_GT(w.vertices.size(), 20u);
                    expect_written(w, fit_points_of_entity);
                    const auto [off, away] = off_the_spline(w, fit_reference(false));
                    EXPECT_LE(off, 0.5);
                    EXPECT_LE(away, 0.5);
                    EXPECT_NE(errors.find("(1 SPLINE drawn)"), std::string::npos) << errors;
                    EXPECT_EQ(errors.find("left out"), std::string::npos) << errors;
                  }},
        MergeCase{"fit_spline_tangents_given",
                  fit_spline_entity(" 12\n0\n 22\n1\n 32\n0\n 13\n1\n 23\n0\n 33\n0\n"), curves_on(0.1), 1,
                  [](const Result& r, const std::string&) {
                    const Written& w = r.polylines[0];
                    expect_written(w, fit_points_of_entity);
                    const auto [off, away] = off_the_spline(w, fit_reference(true));
                    EXPECT_LE(off, 0.1);
                    EXPECT_LE(away, 0.1);
                    EXPECT_GT(off_the_spline(w, fit_reference(false)).first, 5);  // not the curve without them
                  }},
        // Two distinct points (one repeated) and no tangent: a straight segment.
        MergeCase{"fit_spline_of_two_points",
                  "  0\nSPLINE\n 11\n0\n 21\n0\n 11\n0\n 21\n0\n 11\n100\n 21\n50\n 31\n7\n", curves_on(), 1,
                  [](const Result& r, const std::string&) {
                    const Written& w = r.polylines[0];
                    ASSERT_EQ(w.vertices.size(), 2u);
                    EXPECT_EQ(w.flags, 8);
                    expect_written(w, {{0, 0, 0}, {100, 50, 7}});
                  }},
        MergeCase{
            "closed_spline_ends_once",
            "  0\nSPLINE\n  8\nS\n 70\n11\n 71\n1\n 40\n0\n 40\n0\n 40\n1\n 40\n2\n 40\n3\n 40\n3\n"
            " 10\n0\n 20\n0\n 30\n0\n 10\n100\n 20\n0\n 30\n0\n 10\n100\n 20\n100\n 30\n0\n 10\n0\n 20\n0\n 30\n0\n",
            curves_on(), 1,
            [](const Result& r, const std::string&) {
              const Written& w = r.polylines[0];
              EXPECT_EQ(w.flags, 1);
              ASSERT_EQ(w.vertices.size(), 12u);  // four pieces a span, the start not repeated
              EXPECT_EQ(w.vertices[4].x, 100);
              EXPECT_EQ(w.vertices[8].y, 100);
            }},
        // An LWPOLYLINE: a half circle from (0,0) to (100,0) below it (counter-clockwise), then straight.
        MergeCase{
            "lwpolyline_bulge",
            "  0\nLWPOLYLINE\n  8\nP\n 90\n3\n 70\n0\n 10\n0\n 20\n0\n 42\n1\n 10\n100\n 20\n0\n 10\n100\n 20\n50\n",
            curves_on(), 1,
            [](const Result& r, const std::string& errors) {
              const Written& w = r.polylines[0];
              EXPECT_GT(w.vertices.size(), 10u);
              EXPECT_EQ(w.vertices.back().y, 50);
              for (std::size_t k = 1; k + 2 < w.vertices.size(); ++k) EXPECT_LT(w.vertices[k].y, 0);
              expect_on_circle(Written{"", 0, {w.vertices.begin(), w.vertices.end() - 1}, {}}, 50, 0, 50, 0.5);
              EXPECT_EQ(errors.find("bulge"), std::string::npos) << errors;
            }},
        // A closed POLYLINE by group codes: its last bulge draws the arc back to the first vertex.
        MergeCase{"polyline_closing_bulge",
                  "  0\nPOLYLINE\n  8\nP\n 66\n1\n 70\n1\n  0\nVERTEX\n  8\nP\n 10\n0\n 20\n0\n  0\nVERTEX\n  8\nP\n"
                  " 10\n100\n 20\n0\n 42\n-1\n  0\nSEQEND\n",
                  curves_on(), 1,
                  [](const Result& r, const std::string& errors) {
                    const Written& w = r.polylines[0];
                    EXPECT_EQ(w.flags, 1);
                    ASSERT_GT(w.vertices.size(), 10u);
                    EXPECT_EQ(w.vertices[1].x, 100);
                    for (std::size_t k = 2; k < w.vertices.size(); ++k)
                      EXPECT_LT(w.vertices[k].y, 0);  // clockwise back
                    expect_on_circle(w, 50, 0, 50, 0.5);
                    EXPECT_EQ(errors.find("bulge"), std::string::npos) << errors;
                  }},
        // Vertices are read in runs; each bulge among them still draws its
        // arc, by group codes and in the layout, before the next vertex.
        MergeCase{"bulges_among_runs_of_vertices",
                  "  0\nPOLYLINE\n  8\nP\n 66\n1\n 70\n1\n" + by_groups_vertex("A1", 0, 0) +
                      by_groups_vertex("A2", 100, 0) + by_groups_vertex("A3", 200, 1) + layout_vertex(300) +
                      layout_vertex(400) + by_groups_vertex("A6", 500, 1) + layout_vertex(600) +
                      by_groups_vertex("A8", 700, 0.5) + by_groups_vertex("A9", 800, -0.5) + "  0\nSEQEND\n",
                  curves_on(), 1,
                  [](const Result& r, const std::string& errors) {
                    std::vector<double> on_the_axis;        // the vertices read, in order
                    std::vector<std::size_t> arc_after(9);  // points off the axis after each
                    for (const Point& p : r.polylines[0].vertices) {
                      if (p.y == 0)
                        on_the_axis.push_back(p.x);
                      else if (!on_the_axis.empty() && on_the_axis.size() <= arc_after.size())
                        ++arc_after[on_the_axis.size() - 1];
                    }
                    EXPECT_EQ(on_the_axis, (std::vector<double>{0, 100, 200, 300, 400, 500, 600, 700, 800}));
                    for (std::size_t k = 0; k < arc_after.size(); ++k) {
                      const bool bulge = k == 2 || k == 5 || k == 7 || k == 8;  // the last one's closes it
                      if (bulge)
                        EXPECT_GT(arc_after[k], 3u) << k;
                      else
                        EXPECT_EQ(arc_after[k], 0u) << k;
                    }
                    EXPECT_EQ(errors.find("bulge"), std::string::npos) << errors;
                  }},
        MergeCase{"lines_joined", line_ab + line_bc, lines_on(), 1,
                  [](const Result& r, const std::string&) {
                    const Written& w = r.polylines[0];
                    EXPECT_EQ(w.flags, 0);
                    ASSERT_EQ(w.vertices.size(), 3u);
                    EXPECT_EQ(w.vertices[2].y, 10);
                  }},
        // Vertices in the layout right after lines wait for the lines'
        // polyline to end, whichever way they are read.
        MergeCase{
            "vertices_after_lines",
            "  0\nPOLYLINE\n  8\nL\n 66\n1\n 70\n0\n 10\n0\n 20\n0\n" + std::string(3, ' ') +
                "0\nVERTEX\n  8\nL\n 70\n0\n 10\n1\n 20\n1\n 30\n0\n  0\nVERTEX\n  8\nL\n 70\n0\n 10\n2\n 20\n1\n"
                " 30\n0\n  0\nSEQEND\n" +
                line_ab +
                "  0\nVERTEX\n  8\nL\n 70\n0\n 10\n3\n 20\n1\n 30\n0\n  0\nVERTEX\n  8\nL\n 70\n0\n 10\n4\n 20\n1\n"
                " 30\n0\n",
            lines_on(), 2,
            [](const Result& r, const std::string&) {
              EXPECT_EQ(r.polylines[1].vertices.size(), 4u);  // the line's two, then the two vertices
            }},
        // Not joined: another entity between, another layer, a start not exactly the end, another 3D-ness.
        MergeCase{"lines_not_joined",
                  line_ab + "  0\nPOINT\n 10\n0\n" + line_bc + line_ab +
                      "  0\nLINE\n  8\nM\n 10\n10.5\n 20\n0\n 11\n0\n 21\n0\n"
                      "  0\nLINE\n  8\nM\n 10\n0.2\n 20\n0\n 11\n5\n 21\n5\n"
                      "  0\nLINE\n  8\nM\n 10\n5\n 20\n5\n 11\n5\n 21\n5\n 31\n7\n",
                  lines_on(), 6,
                  [](const Result& r, const std::string& errors) {
                    EXPECT_EQ(r.polylines[5].flags, 8);
                    EXPECT_EQ(r.polylines[5].vertex_flags[1], 32);
                    EXPECT_EQ(r.polylines[5].vertices[1].z, 7);
                    for (const Written& w : r.polylines) EXPECT_EQ(w.vertices.size(), 2u);
                    EXPECT_NE(errors.find("left out: 1 POINT"), std::string::npos) << errors;
                  }},
        // A circle of a block placed ten times wider: chords for the ellipse
        // it becomes, and the extents of a drawing without them holding it.
        // (The block's definition follows the ENTITIES section.)
        MergeCase{"circle_of_a_block_stretched",
                  "  0\nINSERT\n  8\nI\n  2\nC\n 10\n0\n 20\n0\n 41\n10\n  0\nENDSEC\n  0\nSECTION\n  2\nBLOCKS\n"
                  "  0\nBLOCK\n  2\nC\n 10\n0\n 20\n0\n" +
                      circle + "  0\nENDBLK\n",
                  [] {
                    DrawingOptions o = curves_on();
                    o.inserts = true;
                    return o;
                  }(),
                  1,
                  [](const Result& r, const std::string& errors) {
                    const Written& w = r.polylines[0];
                    EXPECT_EQ(w.layer, "C");
                    EXPECT_EQ(w.flags, 1);
                    EXPECT_GT(w.vertices.size(), 130u);  // 141 as for a radius of 2000, not 45 as for 200
                    for (const Point& p : w.vertices) {
                      const double across = std::hypot((p.x - 1000) / 2000, (p.y + 50) / 200);
                      EXPECT_NEAR(across, 1, 0.02) << p.x << " " << p.y;
                    }
                    EXPECT_NE(errors.find("1 CIRCLE drawn"), std::string::npos) << errors;
                  }},
        // A block's spline of fit points, placed twice as large, a thousand along x.
        MergeCase{"fit_spline_of_a_block",
                  "  0\nINSERT\n  8\nI\n  2\nF\n 10\n1000\n 20\n0\n 41\n2\n 42\n2\n  0\nENDSEC\n"
                  "  0\nSECTION\n  2\nBLOCKS\n  0\nBLOCK\n  2\nF\n 10\n0\n 20\n0\n" +
                      fit_spline_entity("") + "  0\nENDBLK\n",
                  [] {
                    DrawingOptions o = curves_on();
                    o.inserts = true;
                    return o;
                  }(),
                  1,
                  [](const Result& r, const std::string& errors) {
                    std::vector<Point> placed_fits;
                    for (const Point& q : fit_points_of_entity) placed_fits.push_back({1000 + 2 * q.x, 2 * q.y, 0});
                    expect_written(r.polylines[0], placed_fits);
                    EXPECT_EQ(errors.find("left out"), std::string::npos) << errors;
                  }},
        // Scaled, a block's circle is cut in the result's units too.
        MergeCase{"circle_of_a_block_scaled",
                  "  0\nINSERT\n  8\nI\n  2\nC\n 10\n0\n 20\n0\n  0\nENDSEC\n  0\nSECTION\n  2\nBLOCKS\n"
                  "  0\nBLOCK\n  2\nC\n 10\n0\n 20\n0\n" +
                      circle + "  0\nENDBLK\n",
                  [] {
                    DrawingOptions o = curves_on();
                    o.inserts = o.scaled = true;
                    o.scale = 100;
                    return o;
                  }(),
                  1,
                  [](const Result& r, const std::string&) {
                    EXPECT_GT(r.polylines[0].vertices.size(), 400u);  // as for a radius of 20000
                    expect_on_circle(r.polylines[0], 10000, -5000, 20000, 0.5);
                  }},
        // A run of lines ended by a polyline: the run's SEQEND comes before the polyline.
        MergeCase{
            "lines_then_polyline",
            line_ab + line_bc + "  0\nPOLYLINE\n  8\nP\n 66\n1\n 70\n0\n  0\nVERTEX\n 10\n1\n 20\n2\n  0\nSEQEND\n",
            lines_on(), 2,
            [](const Result& r, const std::string&) {
              EXPECT_EQ(r.polylines[0].vertices.size(), 3u);
              EXPECT_EQ(r.polylines[1].vertices.size(), 1u);
            }}),
    [](const testing::TestParamInfo<MergeCase>& info) { return info.param.name; });

}  // namespace
