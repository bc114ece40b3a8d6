// The merge's working data: what lives through the whole merge (handed from
// the survey to the writing pass unchanged), and what a pass knows of the
// input it reads, as one value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "merge/block_store.h"
#include "merge/curves.h"
#include "merge/drawing_options.h"
#include "merge/report.h"
#include "numeric/extrusion.h"
#include "write/output.h"

// One drawing to merge: the path the console shows, and where its bytes are.
struct MergeInput {
  std::string name;                       // the composed path ("c:\images\m\a.dxf")
  std::string host_path;                  // the file read, when bytes is not set
  std::optional<std::string_view> bytes;  // the drawing held in memory instead
  bool repeated = false;                  // an earlier input is the same drawing: merged again, said once
};

// The running extremes of the inputs' header extents.
struct Extents {
  double minx = 4000000.0;   // smallest x of any "$EXTMIN"
  double miny = 4000000.0;   // smallest y of any "$EXTMIN"
  double minalt = 100000.0;  // smallest z of any "$EXTMIN"
  double maxx = 0.0;         // largest x of any "$EXTMAX"
  double maxy = 0.0;         // largest y of any "$EXTMAX"
  double maxalt = 0.0;       // largest z of any "$EXTMAX"
};

// The section a loop is in, as far as the merge cares.
enum class Section : std::uint8_t { none, entities, blocks, other };

// Where an input's loop is, from its own tokens.
struct Place {
  Section section = Section::none;
  bool was_section = false;    // the loop's last token was SECTION
  bool was_section_2 = false;  // its last two were SECTION and 2: a section name comes next
  bool after_zero = false;     // the next token follows a group code 0: it starts an entity
};

// Smallest and largest x, y and z of what an input gives: its header's
// "$EXTMIN" and "$EXTMAX", or the vertices copied from it, as written.
struct InputBox {
  double min[3] = {}, max[3] = {};
  bool has_min[3] = {}, has_max[3] = {};
  // Whether axis k has both ends, the smallest not above the largest.
  [[nodiscard]] bool usable(int k) const { return has_min[k] && has_max[k] && min[k] <= max[k]; }
  [[nodiscard]] bool usable() const { return usable(0) && usable(1) && usable(2); }
  void take_min(int k, double v) {
    if (!has_min[k] || min[k] > v) min[k] = v;
    has_min[k] = true;
  }
  void take_max(int k, double v) {
    if (!has_max[k] || max[k] < v) max[k] = v;
    has_max[k] = true;
  }
};

// What a pass knows of the input it reads. Put back at each input's start;
// a turn of the loop either takes what it reads and changes it, or takes
// nothing and leaves it as it was. A field added here is compared in
// same_course (merge/run_ahead.cpp), or added there when it only counts.
struct InputState {
  Place place;
  bool saw_section = false;  // the input holds a SECTION
  int segm = 0;              // POLYLINE entities met in it
  // How the vertices of the last polyline lie: at its elevation (a 2D
  // polyline with one) or where their own groups put them, in the system
  // of its extrusion; whether it was written as a 3D polyline; whether they
  // are left out (a mesh's, paper space's, or a polyline's left out).
  double elevation = 0.0;
  bool at_elevation = false;
  numeric::Extrusion extrusion;
  bool made_3d = false;
  bool leaving_out = false;
  bool polyline_open = false;  // a POLYLINE was written and its SEQEND not yet
  // --curves: the bulges of the last polyline drawn as arcs (a 2D one), its
  // first and last vertex so far in its own system, the last one's bulge
  // and layer, and whether it is closed.
  bool bulging = false, closed = false, has_last = false;
  curves::Point first, last;
  double last_bulge = 0;
  std::string bulge_layer;
  // --lines: a polyline of LINEs still open, to be joined by the next LINE
  // of its layer and 3D-ness that starts where it ends (as read).
  bool line_run = false, line_3d = false;
  curves::Point line_end;
  std::string line_layer;
  InputBox header;     // the survey's: its header's extents
  InputBox box;        // the survey's: its vertices', in world coordinates as written
  InputReport report;  // the writing pass's, for what is said of the input
  // The writing pass's: the last vertex written of the polyline being
  // written, as written, and how many vertices were written where the one
  // before them in their polyline was.
  double last_written[3] = {};
  bool has_last_written = false;
  std::uint64_t coincident = 0;
  std::string layer;  // with a layer per input: the layer of its polylines
};

struct MergeFrame {
  MergeFrame(Output& result, const std::vector<MergeInput>& all)
      : out(result), inputs(all), warned(all.size() + 1), blocks(all.size() + 1) {}

  int val = 0;  // the group-code cell: the integers read after "$EXTMIN" and "$EXTMAX"
  Extents extents;
  std::uint64_t polylines_written = 0;  // over every input: what the result holds
  std::uint64_t vertices_written = 0;
  DrawingOptions drawing;  // what the script asked beyond copying polylines
  int i = 0;               // the current input's number, from 1
  Output& out;             // the resulting file's bytes
  const std::vector<MergeInput>& inputs;
  std::vector<bool> warned;          // inputs already warned about
  std::vector<std::string> reports;  // the lines said of the inputs so far
  InputState input;                  // the current input's
  std::vector<blocks::Store>
      blocks;  // by input, with --inserts: its block definitions, from its survey to its writing pass
  // Set in a frame whose turns run ahead of the input's own (on another
  // thread): the polylines they meet are counted here, not shown, and are
  // counted and shown where the input's own turns keep that work.
  std::uint64_t* held_polylines = nullptr;

  [[nodiscard]] const MergeInput& current() const { return inputs[static_cast<std::size_t>(i - 1)]; }
};
