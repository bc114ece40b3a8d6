#include "gen/polyline_drawing.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 5> kLayers = {"CONTOURS", "CONTOURS_INDEX", "RIVERS", "ROADS", "SPOTS"};
constexpr std::array<int, 5> kLayerColours = {7, 1, 5, 3, 2};

int digit_count(std::uint64_t v) {
  int n = 1;
  for (; v >= 10; v /= 10) ++n;
  return n;
}

// One step, bouncing off the +-limit walls.
std::int64_t walk(std::int64_t v, std::int64_t& d, std::int64_t limit) {
  v += d;
  if (v > limit) {
    v = 2 * limit - v;
    d = -d;
  } else if (v < -limit) {
    v = -2 * limit - v;
    d = -d;
  }
  return v;
}

}  // namespace

void PolylineDrawing::header(const Summary& summary) {
  const Extents& ext = summary.extents;
  out_.reserve(kItemRoom);
  out_.item(0, "SECTION");
  out_.item(2, "HEADER");
  const std::array<std::string_view, 2> names{"$EXTMIN", "$EXTMAX"};
  for (std::size_t k = 0; k < 2; ++k) {
    out_.item(9, names[k]);
    for (std::size_t i = 0; i < 3; ++i) {
      out_.code(10 * static_cast<int>(i + 1));
      out_.real(ext.empty ? Real{0, 1, Style::plain} : shortest(k == 0 ? ext.lo[i] : ext.hi[i], 1));
    }
  }
  out_.item(0, "ENDSEC");

  out_.reserve(kItemRoom);
  out_.item(0, "SECTION");
  out_.item(2, "TABLES");
  out_.item(0, "TABLE");
  out_.item(2, "LAYER");
  out_.code(70);
  out_.integer(static_cast<std::int64_t>(kLayers.size()), 6);
  for (std::size_t i = 0; i < kLayers.size(); ++i) {
    out_.reserve(kItemRoom);
    out_.item(0, "LAYER");
    out_.item(2, kLayers[i]);
    out_.code(70);
    out_.integer(0, 6);
    out_.code(62);
    out_.integer(kLayerColours[i], 6);
    out_.item(6, "CONTINUOUS");
  }
  out_.item(0, "ENDTAB");
  out_.item(0, "ENDSEC");
  if (options_.shapes) blocks();

  out_.reserve(kItemRoom);
  out_.item(0, "SECTION");
  out_.item(2, "ENTITIES");
}

// The BLOCKS section of --shapes: MARKk is a closed polyline of 4 + k points on a circle of
// radius 2 + k around the base point (a diamond, a pentagon...), whole units.
void PolylineDrawing::blocks() {
  out_.reserve(kItemRoom);
  out_.item(0, "SECTION");
  out_.item(2, "BLOCKS");
  // Corners of a regular polygon, in hundredths of a radius, for 4 to 7 corners.
  static constexpr std::array<std::array<std::array<int, 2>, 7>, kBlocks> kCorners = {{
      {{{100, 0}, {0, 100}, {-100, 0}, {0, -100}}},
      {{{100, 0}, {31, 95}, {-81, 59}, {-81, -59}, {31, -95}}},
      {{{100, 0}, {50, 87}, {-50, 87}, {-100, 0}, {-50, -87}, {50, -87}}},
      {{{100, 0}, {62, 78}, {-22, 97}, {-90, 43}, {-90, -43}, {-22, -97}, {62, -78}}},
  }};
  for (int k = 0; k < kBlocks; ++k) {
    const std::string name = "MARK" + std::to_string(k);
    out_.reserve(kItemRoom);
    out_.item(0, "BLOCK");
    out_.item(8, "0");
    out_.item(2, name);
    out_.code(70);
    out_.integer(0, 6);
    out_.item(10, "0.0");
    out_.item(20, "0.0");
    out_.item(30, "0.0");
    out_.item(0, "POLYLINE");
    out_.item(8, "0");
    out_.code(66);
    out_.integer(1);
    out_.code(70);
    out_.integer(1, 6);
    for (int i = 0; i < 4 + k; ++i) {
      out_.reserve(kItemRoom);
      out_.item(0, "VERTEX");
      out_.item(8, "0");
      const auto& c = kCorners[static_cast<std::size_t>(k)][static_cast<std::size_t>(i)];
      out_.code(10);
      out_.real(Real{c[0] * (2 + k), 2, Style::plain});
      out_.code(20);
      out_.real(Real{c[1] * (2 + k), 2, Style::plain});
      out_.item(30, "0.0");
    }
    out_.reserve(kItemRoom);
    out_.item(0, "SEQEND");
    out_.item(8, "0");
    out_.item(0, "ENDBLK");
    out_.item(8, "0");
  }
  out_.item(0, "ENDSEC");
}

void PolylineDrawing::trailer() {
  out_.reserve(kItemRoom);
  out_.item(0, "ENDSEC");
  out_.item(0, "EOF");
}

void PolylineDrawing::entities(std::uint64_t body_bytes) {
  const std::uint64_t start = out_.bytes();
  do {
    if (options_.shapes) {
      polyline();
      if (rng_.below(3) == 0) shape();
      continue;
    }
    if (options_.others) {
      polyline();
      if (rng_.below(3) == 0) {
        if (rng_.below(5) < 3)
          line();
        else
          text();
      }
      continue;
    }
    const std::uint64_t r = rng_.below(100);
    if (r < 3)
      line();
    else if (r < 5)
      text();
    else
      polyline();
  } while (out_.bytes() - start < body_bytes);
}

// What a departing entity has after its name: a handle, its owner's, a subclass marker.
void PolylineDrawing::prologue(std::uint64_t owner) {
  if (!options_.departing) return;
  out_.code(5);
  out_.hex(++handle_);
  out_.code(330);
  out_.hex(owner);
  out_.item(100, "DbEntity");
}

// A coordinate with a random number of fractional digits and a random notation.
Real PolylineDrawing::coordinate(std::int64_t micro) {
  if (options_.long_digits) return long_coordinate(micro);
  const int frac = 1 + static_cast<int>(rng_.below(6));
  const std::uint64_t s = rng_.below(100);
  const Style style = s < 6 ? Style::exp_lower : (s < 10 ? Style::exp_upper : Style::plain);
  return Real{micro / pow10(6 - frac), frac, style};
}

// The value near `micro` millionths with 15 to 17 significant digits (fewer for values below
// 0.1, where the fraction would pass 17 digits), its last digit not 0, as a shortest
// round-trip print of a double gives it; one in ten in exponent form.
Real PolylineDrawing::long_coordinate(std::int64_t micro) {
  if (micro == 0) return Real{0, 1, Style::plain};
  const int significant = 15 + static_cast<int>(rng_.below(3));
  const std::uint64_t mag = micro < 0 ? static_cast<std::uint64_t>(-micro) : static_cast<std::uint64_t>(micro);
  const int frac = std::min(significant + 6 - digit_count(mag), kMaxFrac);
  const int extra = frac - 6;  // at least 2: |micro| <= 1e12 has at most 13 digits
  const std::int64_t tail = rng_.range(0, pow10(extra - 1) - 1) * 10 + rng_.range(1, 9);
  const std::int64_t mantissa = micro * pow10(extra) + (micro < 0 ? -tail : tail);
  const std::uint64_t s = rng_.below(100);
  const Style style = s < 6 ? Style::exp_signed : (s < 10 ? Style::exp_upper : Style::plain);
  return Real{mantissa, frac, style};
}

void PolylineDrawing::line() {
  const Real x1 = coordinate(anywhere()), y1 = coordinate(anywhere()), z1 = coordinate(0);
  const Real x2 = coordinate(anywhere()), y2 = coordinate(anywhere()), z2 = coordinate(0);
  ext_.add(x1, y1, z1);
  ext_.add(x2, y2, z2);
  out_.reserve(kItemRoom);
  out_.item(0, "LINE");
  prologue(kModelSpace);
  out_.item(8, kLayers[3]);
  if (options_.others && rng_.below(2) == 0) {  // a colour of its own, not the layer's
    out_.code(62);
    out_.integer(rng_.range(1, 255), 6);
  }
  out_.code(10);
  out_.real(x1);
  out_.code(20);
  out_.real(y1);
  out_.code(30);
  out_.real(z1);
  out_.code(11);
  out_.real(x2);
  out_.code(21);
  out_.real(y2);
  out_.code(31);
  out_.real(z2);
  ++counts_.lines;
}

void PolylineDrawing::text() {
  const std::int64_t elevation = rng_.range(-100, 800) * 5;
  const Real x = coordinate(anywhere()), y = coordinate(anywhere());
  const Real z = coordinate(elevation * kMicro);
  const Real height = coordinate(rng_.range(1, 50) * kMicro / 2);
  ext_.add(x, y, z);
  out_.reserve(kItemRoom);
  out_.item(0, "TEXT");
  prologue(kModelSpace);
  out_.item(8, kLayers[4]);
  out_.code(10);
  out_.real(x);
  out_.code(20);
  out_.real(y);
  out_.code(30);
  out_.real(z);
  out_.code(40);
  out_.real(height);
  out_.code(1);
  const std::uint64_t height_text = static_cast<std::uint64_t>(elevation < 0 ? -elevation : elevation);
  char label[40];
  char* end = label;
  if (!options_.others) {
    *end++ = elevation < 0 ? 'D' : 'H';
    end = put_digits(end, height_text);
    out_.text(std::string_view(label, static_cast<std::size_t>(end - label)));
    ++counts_.texts;
    return;
  }
  // A spot height's label ("Spot 1235"), or a contour's value alone, turned along the line.
  const bool spot = rng_.below(2) == 0;
  const std::string_view prefix = spot ? "Spot " : "";
  end = std::copy(prefix.begin(), prefix.end(), end);
  if (elevation < 0) *end++ = '-';
  end = put_digits(end, height_text);
  out_.text(std::string_view(label, static_cast<std::size_t>(end - label)));
  if (!spot) {
    out_.code(50);
    out_.real(coordinate(rng_.range(0, 359) * kMicro));
  }
  if (rng_.below(2) == 0) {  // centred on the point, which the alignment point repeats
    out_.code(72);
    out_.integer(1, 6);
    out_.code(11);
    out_.real(x);
    out_.code(21);
    out_.real(y);
    out_.code(31);
    out_.real(z);
  }
  ++counts_.texts;
}

// A contour-like line: a random walk whose size is 1 to 1e6 units.
void PolylineDrawing::polyline() {
  const std::uint64_t l = rng_.below(10);
  const std::string_view layer = l < 7 ? kLayers[0] : (l < 9 ? kLayers[1] : kLayers[2]);
  const int nvertices = static_cast<int>(rng_.range(30, 50));
  const int closed = rng_.below(4) == 0 ? 1 : 0;
  const std::int64_t elevation = rng_.range(-100, 800) * 5;

  const std::int64_t scale = pow10(static_cast<int>(rng_.below(7))) * kMicro;
  const std::int64_t step = std::max<std::int64_t>(scale / 200, 1000);
  std::int64_t x = rng_.range(-scale, scale);
  std::int64_t y = rng_.range(-scale, scale);
  std::int64_t dx = rng_.range(-step, step);
  std::int64_t dy = rng_.range(-step, step);

  out_.reserve(kItemRoom);
  out_.item(0, "POLYLINE");
  prologue(kModelSpace);
  const std::uint64_t owner = handle_;
  out_.item(8, layer);
  if (options_.departing) {
    out_.item(100, "Db3dPolyline");
    out_.code(66);
    out_.integer(1);
    out_.item(10, "0.0");
    out_.item(20, "0.0");
    out_.code(30);
    out_.real(coordinate(elevation * kMicro));
    out_.code(70);
    out_.integer(closed, 6);
  } else {
    out_.code(66);
    out_.integer(1);
    out_.code(70);
    out_.integer(closed, 6);
    out_.code(10);
    out_.integer(0);
    out_.code(20);
    out_.integer(0);
  }

  for (int i = 0; i < nvertices; ++i) {
    const Real rx = coordinate(x), ry = coordinate(y), rz = coordinate(elevation * kMicro);
    ext_.add(rx, ry, rz);
    out_.reserve(kItemRoom);
    out_.item(0, "VERTEX");
    prologue(owner);
    out_.item(8, layer);
    if (options_.departing) {
      out_.item(100, "DbVertex");
      out_.code(10);
      out_.real(rx);
      out_.code(20);
      out_.real(ry);
      if (rng_.below(8) == 0) {
        out_.code(42);
        out_.real(coordinate(rng_.range(-kMicro, kMicro)));
      }
      out_.code(70);
      out_.integer(0, 6);
    } else {
      out_.code(70);
      out_.integer(0, 6);
      out_.code(10);
      out_.real(rx);
      out_.code(20);
      out_.real(ry);
      out_.code(30);
      out_.real(rz);
    }

    dx = std::clamp<std::int64_t>(dx + rng_.range(-step / 4, step / 4), -step, step);
    dy = std::clamp<std::int64_t>(dy + rng_.range(-step / 4, step / 4), -step, step);
    x = walk(x, dx, kLimit);
    y = walk(y, dy, kLimit);
  }

  out_.reserve(kItemRoom);
  out_.item(0, "SEQEND");
  prologue(owner);
  out_.item(8, layer);

  ++counts_.polylines;
  counts_.vertices += static_cast<std::uint64_t>(nvertices);
}

void PolylineDrawing::shape() {
  if (rng_.below(3) == 0)
    insert();
  else
    circle_or_arc();
}

// A placed symbol: one of the blocks, scaled by 0.5 to 3 and turned by any whole degree.
void PolylineDrawing::insert() {
  const std::int64_t x = anywhere(), y = anywhere();
  const Real rx = coordinate(x), ry = coordinate(y);
  const std::int64_t block = rng_.range(0, kBlocks - 1);
  const std::int64_t scale = rng_.range(5, 30);                  // tenths
  const std::int64_t reach = (2 + block) * scale * kMicro / 10;  // the symbol's radius, placed
  ext_.add(Real{x - reach, 6, Style::plain}, Real{y - reach, 6, Style::plain}, Real{0, 1, Style::plain});
  ext_.add(Real{x + reach, 6, Style::plain}, Real{y + reach, 6, Style::plain}, Real{0, 1, Style::plain});
  out_.reserve(kItemRoom);
  out_.item(0, "INSERT");
  prologue(kModelSpace);
  out_.item(8, kLayers[4]);
  out_.item(2, "MARK" + std::to_string(block));
  out_.code(10);
  out_.real(rx);
  out_.code(20);
  out_.real(ry);
  out_.item(30, "0.0");
  out_.code(41);
  out_.real(Real{scale, 1, Style::plain});
  out_.code(42);
  out_.real(Real{scale, 1, Style::plain});
  out_.code(50);
  out_.integer(rng_.range(0, 359));
  ++counts_.inserts;
}

// A circle, or an arc over 10 to 350 degrees, of radius 1 to 1000 units.
void PolylineDrawing::circle_or_arc() {
  const std::int64_t x = anywhere(), y = anywhere();
  const std::int64_t radius = rng_.range(1, 1000);
  const bool arc = rng_.below(2) == 0;
  ext_.add(Real{x - radius * kMicro, 6, Style::plain}, Real{y - radius * kMicro, 6, Style::plain},
           Real{0, 1, Style::plain});
  ext_.add(Real{x + radius * kMicro, 6, Style::plain}, Real{y + radius * kMicro, 6, Style::plain},
           Real{0, 1, Style::plain});
  out_.reserve(kItemRoom);
  out_.item(0, arc ? "ARC" : "CIRCLE");
  prologue(kModelSpace);
  out_.item(8, kLayers[2]);
  out_.code(10);
  out_.real(coordinate(x));
  out_.code(20);
  out_.real(coordinate(y));
  out_.item(30, "0.0");
  out_.code(40);
  out_.integer(radius);
  if (arc) {
    const std::int64_t start = rng_.range(0, 359);
    out_.code(50);
    out_.integer(start);
    out_.code(51);
    out_.integer((start + rng_.range(10, 350)) % 360);
    ++counts_.arcs;
  } else {
    ++counts_.circles;
  }
}
