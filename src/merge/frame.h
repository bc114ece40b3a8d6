// The merge's working data, handed from the survey to the writing pass unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "merge/report.h"
#include "numeric/extrusion.h"
#include "read/reader.h"
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
enum class Section { none, entities, blocks, other };

struct MergeFrame {
  MergeFrame(Output& result, const std::vector<MergeInput>& all) : out(result), inputs(all), warned(all.size() + 1) {}

  Token texte;        // the last token read, by either pass
  int val = 0;        // every integer read lands here, never reset
  double dval = 0.0;  // the vertex coordinate being copied
  Extents extents;
  int segm = 0;                         // POLYLINE entities met in the current input
  std::uint64_t polylines_written = 0;  // over every input: what the result holds
  std::uint64_t vertices_written = 0;
  int i = 0;    // the current input's number, from 1
  Output& out;  // the resulting file's bytes
  const std::vector<MergeInput>& inputs;
  std::vector<bool> warned;  // inputs already reported as departing from the layout

  // Where the current input's loop is, from its own tokens.
  Section section = Section::none;
  bool was_section = false;                       // the loop's last token was SECTION
  bool was_section_2 = false;                     // its last two were SECTION and 2: a section name comes next
  bool saw_section = false;                       // the input holds a SECTION
  bool after_zero = false;                        // the next token follows a group code 0: it starts an entity
  double elevation = 0.0;                         // the last polyline's elevation, for its vertices
  numeric::Extrusion extrusion;                   // and its extrusion, for those read by group codes
  std::vector<std::pair<double, double>> points;  // an LWPOLYLINE's, held until its extrusion is read
  bool in_mesh = false;                           // the vertices read belong to a mesh, left out
  bool polyline_open = false;                     // a POLYLINE was written and its SEQEND not yet
  InputReport report;                             // the writing pass's, for the current input
  std::vector<std::string> reports;               // the lines said of the inputs so far
  Token item_tokens[2];                           // token items of an entity read in the layout
  std::string line;                               // a line read by group codes

  [[nodiscard]] const MergeInput& input() const { return inputs[static_cast<std::size_t>(i - 1)]; }
};
