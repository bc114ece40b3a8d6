// A contour sheet as GDAL writes one (gdal_contour on an elevation raster, then ogr2ogr -f DXF):
// LWPOLYLINE entities with a handle, subclass markers, layer 0, flags 0, the point count and
// the elevation (38), then their points at full precision as %.15g gives them: one coordinate
// of each point on a line of raster cell centres (a few digits), the other interpolated across
// the cell (15 significant digits), whole numbers where a contour meets the sheet's edge.
//
// The seed picks one of four frames (UTM-like with 1 m or 5 m cells, a national grid with
// six-digit northings, a local site frame of three and four digits, so 8 to 12 fractional
// digits) and the sheet's place in a block of 2 x 2 adjoining sheets.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "gen/drawing.h"
#include "gen/rng.h"
#include "gen/sink.h"

class ContourSheet {
 public:
  ContourSheet(Sink& out, std::uint64_t seed);

  void header(const Summary& summary);
  void trailer();
  // Writes entities until `body_bytes` have been written (at least one entity).
  void entities(std::uint64_t body_bytes);

  Summary summary() const { return Summary{ext_, handle_}; }
  const Counts& counts() const { return counts_; }

  // Lengths in 10^-12 units, so that every coordinate is an integer.
  static constexpr std::int64_t kUnit = 1'000'000'000'000;

  // Where a sheet lies and how its raster is laid.
  struct Frame {
    std::int64_t west, south;    // the corner of the block of 2 x 2 sheets, whole units
    std::int64_t width, height;  // of one sheet, whole units
    std::int64_t pitch;          // between cell centres
    std::int64_t offset;         // from the sheet's edge to the first cell centre
    std::int64_t interval;       // between contour levels, in tenths
    std::int64_t lowest;         // the lowest level, in tenths
  };

 private:
  using Point = std::pair<std::int64_t, std::int64_t>;

  void contour();
  void trace(std::vector<Point>& points, std::size_t count);
  std::int64_t across(std::int64_t line) { return line + 1 + rng_.range(0, frame_.pitch - 2); }

  static constexpr std::int64_t kSteepest = 1000;  // the largest component of a heading

  Sink& out_;
  Rng rng_;
  Frame frame_;
  std::int64_t west_, south_, east_, north_;  // the sheet's edges
  std::int64_t columns_, rows_;               // cell-centre lines across x and y
  std::uint64_t handle_ = 0x20000;            // GDAL's first entity handle
  Extents ext_;
  Counts counts_;
  std::vector<Point> points_;
};
