#include "gen/contour_sheet.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "gen/sheet_sections.h"

namespace {

using Frame = ContourSheet::Frame;
constexpr std::int64_t kUnit = ContourSheet::kUnit;

constexpr std::array<Frame, 4> kFrames = {{
    {845000, 2130000, 3000, 2000, 5 * kUnit, 5 * kUnit, 100, 5000},  // UTM-like, 5 m cells, whole centres
    {431000, 287000, 2500, 2500, 2 * kUnit, kUnit, 25, 100},         // six-digit northings, levels every 2.5
    {1200, 800, 1600, 1200, kUnit / 2, kUnit / 4, 5, 1000},          // a local site frame, 0.5 m cells
    {500000, 5196000, 2000, 2000, kUnit, kUnit / 2, 20, 3000},       // UTM-like, 1 m cells centred on halves
}};

// Sides of a cell, counter-clockwise; the opposite side is two further.
enum Side { east, north, west, south };

}  // namespace

ContourSheet::ContourSheet(Sink& out, std::uint64_t seed)
    : out_(out), rng_(seed), frame_(kFrames[seed % kFrames.size()]) {
  const std::uint64_t place = seed / kFrames.size() % 4;
  west_ = (frame_.west + static_cast<std::int64_t>(place % 2) * frame_.width) * kUnit;
  south_ = (frame_.south + static_cast<std::int64_t>(place / 2) * frame_.height) * kUnit;
  east_ = west_ + frame_.width * kUnit;
  north_ = south_ + frame_.height * kUnit;
  columns_ = (frame_.width * kUnit - frame_.offset - 1) / frame_.pitch + 1;
  rows_ = (frame_.height * kUnit - frame_.offset - 1) / frame_.pitch + 1;
}

void ContourSheet::header(const Summary& summary) { write_sheet_header(out_, summary); }

void ContourSheet::trailer() { write_sheet_trailer(out_); }

void ContourSheet::entities(std::uint64_t body_bytes) {
  const std::uint64_t start = out_.bytes();
  do {
    contour();
  } while (out_.bytes() - start < body_bytes);
}

void ContourSheet::contour() {
  // Mostly short lines, a few of thousands of points (a median of about 30, a mean near 300).
  const auto count = 5 + static_cast<std::size_t>(rng_.below(std::uint64_t{1} << rng_.below(13)));
  const std::int64_t level = frame_.lowest + frame_.interval * rng_.range(0, 80);
  points_.clear();
  trace(points_, count);

  out_.reserve(kItemRoom);
  out_.item(0, "LWPOLYLINE");
  out_.code(5);
  out_.hex(handle_++);
  out_.item(100, "AcDbEntity");
  out_.item(8, "0");
  out_.item(100, "AcDbPolyline");
  out_.item(70, "0");
  out_.code(90);
  out_.integer(static_cast<std::int64_t>(points_.size()));
  out_.code(38);
  out_.real(shortest(Real{level, 1, Style::plain}, 0));
  for (const auto& [x, y] : points_) {
    const Real rx = fifteen_digits(x), ry = fifteen_digits(y);
    ext_.add(rx, ry, Real{});
    out_.reserve(kItemRoom);
    out_.code(10);
    out_.real(rx);
    out_.code(20);
    out_.real(ry);
  }
  ++counts_.lwpolylines;
  counts_.points += points_.size();
}

// A contour as marching squares finds it: a smooth line followed from cell to neighbouring
// cell, a point wherever it crosses a line between cell centres. It starts at the sheet's edge
// (and ends at an edge if it meets one) or inside, where it closes on its first point as GDAL
// closes rings (here with one straight segment back, where GDAL's rings close smoothly). At the
// edge GDAL adds a point straight out from the last crossing.
void ContourSheet::trace(std::vector<Point>& points, std::size_t count) {
  auto x_line = [&](std::int64_t i) { return west_ + frame_.offset + i * frame_.pitch; };
  auto y_line = [&](std::int64_t j) { return south_ + frame_.offset + j * frame_.pitch; };
  // Where the heading meets a line, moved a little as the interpolation between the elevations
  // of two cell centres would have it (else simple headings give short fractions), and kept
  // off the cell centres.
  const std::int64_t pitch = frame_.pitch, margin = pitch / 1000;
  auto inside = [&](std::int64_t v, std::int64_t line) {
    v += rng_.range(-pitch / 50, pitch / 50);
    if (v < line + margin) return line + rng_.range(margin, pitch / 20);
    if (v > line + pitch - margin) return line + pitch - rng_.range(margin, pitch / 20);
    return v;
  };
  auto inward = [&] { return rng_.range(200, kSteepest); };

  std::int64_t i = rng_.range(0, columns_ - 2), j = rng_.range(0, rows_ - 2);  // the cell: lines i, i + 1; j, j + 1
  std::int64_t dx = rng_.range(-kSteepest, kSteepest), dy = rng_.range(-kSteepest, kSteepest);  // the heading
  std::int64_t px = x_line(i), py = across(y_line(j));
  const bool from_edge = rng_.below(2) == 0;
  if (from_edge) {
    switch (rng_.below(4)) {
      case east:
        i = columns_ - 2;
        px = x_line(columns_ - 1);
        points.emplace_back(east_, py);
        dx = -inward();
        break;
      case west:
        i = 0;
        px = x_line(0);
        points.emplace_back(west_, py);
        dx = inward();
        break;
      case north:
        j = rows_ - 2;
        px = across(x_line(i));
        py = y_line(rows_ - 1);
        points.emplace_back(px, north_);
        dy = -inward();
        break;
      default:
        px = across(x_line(i));
        py = y_line(0);
        j = 0;
        points.emplace_back(px, south_);
        dy = inward();
        break;
    }
  } else {
    dx = inward();  // away from the cell's west side, where it starts
  }
  points.emplace_back(px, py);
  const std::int64_t bend = rng_.range(kSteepest / 50, kSteepest / 3);

  while (points.size() < count) {
    if (dx == 0) dx = 1;
    if (dy == 0) dy = 1;
    // Which line the heading meets first: compare |X - px| / |dx| with |Y - py| / |dy|.
    const std::int64_t X = x_line(dx > 0 ? i + 1 : i), Y = y_line(dy > 0 ? j + 1 : j);
    const bool meets_x = Y == py || (X != px && std::abs(X - px) * std::abs(dy) < std::abs(Y - py) * std::abs(dx));
    if (meets_x) {
      py = inside(py + (X - px) * dy / dx, y_line(j));
      px = X;
      i += dx > 0 ? 1 : -1;
    } else {
      px = inside(px + (Y - py) * dx / dy, x_line(i));
      py = Y;
      j += dy > 0 ? 1 : -1;
    }
    points.emplace_back(px, py);
    if (i < 0 || i > columns_ - 2) {
      points.emplace_back(i < 0 ? west_ : east_, py);
      return;
    }
    if (j < 0 || j > rows_ - 2) {
      points.emplace_back(px, j < 0 ? south_ : north_);
      return;
    }
    dx = std::clamp(dx + rng_.range(-bend, bend), -kSteepest, kSteepest);
    dy = std::clamp(dy + rng_.range(-bend, bend), -kSteepest, kSteepest);
  }
  if (!from_edge) points.push_back(points.front());
}
