// The merge: a survey of every input's header extents, then the writing pass.
#pragma once

#include <string>
#include <string_view>

#include "ahead.h"
#include "reader.h"

// The running extremes of the inputs' header extents.
struct Extents {
  double minx = 4000000.0;  // smallest x of any "$EXTMIN"
  double miny = 4000000.0;  // smallest y of any "$EXTMIN"
  double minalt = 100000.0; // smallest z of any "$EXTMIN"
  double maxx = 0.0;        // largest x of any "$EXTMAX"
  double maxy = 0.0;        // largest y of any "$EXTMAX"
  double maxalt = 0.0;      // largest z of any "$EXTMAX"
};

// The merge's working data, handed from the survey to the writing pass unchanged.
struct MergeFrame {
  Token texte;             // the last token read, by either pass
  int val = 0;             // every integer read lands here, never reset
  double dval = 0.0;       // the vertex coordinate being copied
  Extents extents;
  int segm = 0;            // POLYLINE entities met in the current input
  bool warned[100] = {};   // inputs already reported as departing from the layout
  Ahead ahead;             // the second thread for bulk runs ahead of the read position
  std::uint64_t ahead_tried = ~std::uint64_t{0};  // the last block (Reader::loads) a run ahead was tried in
  std::uint64_t ahead_written = 0;  // the result's write of the last run ahead's output (Output::put_in_place)
};

// Starts a run ahead in the loaded block, once per block; returns where it
// starts, or nullptr.
const char* start_ahead(MergeFrame& m, bool write);

// Runs both passes over capas[1..num_arch] and completes f2. Returns false,
// after saying why on standard error, when an input cannot be read or the
// result cannot be written; f2 is then removed and nothing else is touched.
[[nodiscard]] bool treatment();

// The halves of treatment, one input at a time; false when it cannot be read.
[[nodiscard]] bool survey_file(MergeFrame& m, int i);
void show_extents(const Extents& e);
void write_header(const Extents& e);
[[nodiscard]] bool write_file(MergeFrame& m, int i);

// Shared by both passes: the console line naming input i, opening and closing it, and the one warning
// per input about a read that found no item where the layout expects one.
void show_file_line(int i);
// Counts a POLYLINE in m.segm and shows the count between the two texts.
void show_count(MergeFrame& m, std::string_view before, std::string_view after);
[[nodiscard]] bool open_input(int i);
[[nodiscard]] bool close_input(int i);
void warn_layout(MergeFrame& m, int i);

inline bool is_keyword(const Token& texte, std::string_view keyword) { return texte.is(keyword); }
