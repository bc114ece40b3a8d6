// A drawing of POLYLINE entities (contour-like random walks of 30 to 50 VERTEX each) with some
// LINE and TEXT entities, in the layout talvero copies as it stands unless options say
// otherwise.
#pragma once

#include <cstdint>

#include "gen/drawing.h"
#include "gen/rng.h"
#include "gen/sink.h"

struct PolylineOptions {
  // As programs of today write entities: handles (5), owner handles (330) and subclass
  // markers (100); a POLYLINE keeps its elevation (30) and puts its flags last; a VERTEX has no
  // 30 of its own, puts its flags after the coordinates, and one in eight has a bulge (42).
  bool departing = false;
  // A LINE or TEXT as drawing programs write them (colour, rotation, justification and
  // alignment point where they apply) after one polyline in three, instead of about 5 % of
  // the entities in their shortest form.
  bool others = false;
  // Every number with 15 to 17 significant digits, as programs that print doubles in full
  // write them, some in exponent form ("1.2345678901234567e+05", "-9.87654321098765E2").
  bool long_digits = false;
  // After one polyline in three, an INSERT of one of a few small blocks (a polyline symbol,
  // scaled and turned), a CIRCLE or an ARC, for the options that draw them; the BLOCKS
  // section defines the blocks. The header's extents then hold every point these draw (the
  // boxes of circles and of placed symbols), not only what is written.
  bool shapes = false;
};

class PolylineDrawing {
 public:
  PolylineDrawing(Sink& out, std::uint64_t seed, const PolylineOptions& options = {})
      : out_(out), rng_(seed), options_(options) {}

  // HEADER with the extents, TABLES with the layers, and the start of ENTITIES.
  void header(const Summary& summary);
  void trailer();
  // Writes entities until `body_bytes` have been written (at least one entity).
  void entities(std::uint64_t body_bytes);

  Summary summary() const { return Summary{ext_, 0}; }
  const Counts& counts() const { return counts_; }

 private:
  void prologue(std::uint64_t owner);
  Real coordinate(std::int64_t micro);
  Real long_coordinate(std::int64_t micro);
  std::int64_t anywhere() { return rng_.range(-kLimit, kLimit); }
  void line();
  void text();
  void polyline();
  void blocks();
  void shape();
  void insert();
  void circle_or_arc();

  static constexpr std::int64_t kMicro = 1'000'000;           // one drawing unit in millionths
  static constexpr std::int64_t kLimit = 1'000'000 * kMicro;  // |coordinate| <= 1e6 units
  static constexpr std::uint64_t kModelSpace = 0x1F;          // the owner of the drawing's entities
  static constexpr int kBlocks = 4;                           // blocks of --shapes, MARK0 to MARK3

  Sink& out_;
  Rng rng_;
  PolylineOptions options_;
  std::uint64_t handle_ = 0x100;
  Extents ext_;
  Counts counts_;
};
