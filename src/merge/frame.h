// The merge's working data, handed from the survey to the writing pass unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "read/reader.h"
#include "write/output.h"

// One drawing to merge: the path the console shows, and where its bytes are.
struct MergeInput {
  std::string name;                       // the composed path ("c:\images\m\a.dxf")
  std::string host_path;                  // the file read, when bytes is not set
  std::optional<std::string_view> bytes;  // the drawing held in memory instead
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

  [[nodiscard]] const MergeInput& input() const { return inputs[static_cast<std::size_t>(i - 1)]; }
};
