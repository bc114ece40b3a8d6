// Per-input helpers of both passes.
#include "merge/inputs.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "merge/input_layer.h"
#include "numeric/rounding.h"

#include "state.h"

void show_file_line(const MergeFrame& m) {
  console.text("\n\n\tFile ");
  console.out.put_int(m.i);
  console.text(" Name : ");
  console.text(m.current().name);
  console.text(" ");
}

namespace {

std::string where(const MergeInput& in) { return in.bytes ? in.name : both_paths(in.name, in.host_path); }

void count(MergeFrame& m, std::string_view before, std::string_view after) {
  ++m.input.segm;
  console.text(before);
  console.out.put_int(m.input.segm);
  console.text(after);
  console.progress();
}

}  // namespace

bool open_input(const MergeFrame& m) {
  const MergeInput& in = m.current();
  if (in.bytes) {
    f1.open_memory(*in.bytes);
    return true;
  }
  std::string why;
  if (f1.open_file(in.host_path, why)) return true;
  console.complain("cannot open " + where(in) + ": " + why + "; " + std::string(f2.failure_leaves()));
  return false;
}

bool close_input(const MergeFrame& m) {
  bool ok = !f1.failed();
  if (!ok)
    console.complain("cannot read " + where(m.current()) + ": " + f1.error_text + "; " +
                     std::string(f2.failure_leaves()));
  f1.close();
  return ok;
}

void count_survey_polyline(MergeFrame& m) {
  if (m.held_polylines != nullptr) {
    ++*m.held_polylines;
    return;
  }
  count(m, "\trecord ", "            \r        ");
}
void count_written_vertices(MergeFrame& m, std::uint64_t n) {
  m.vertices_written += n;
  m.input.report.vertices += n;
}

void count_written_polyline(MergeFrame& m) {
  if (m.held_polylines != nullptr) {
    ++*m.held_polylines;
    return;
  }
  ++m.polylines_written;
  ++m.input.report.polylines;
  count(m, "\t record ", "            \r     ");
}

void warn_layout(MergeFrame& m) {
  const auto k = static_cast<std::size_t>(m.i);
  if (m.warned[k] || m.current().repeated) return;
  m.warned[k] = true;
  console.complain("warning: " + m.current().name + ", line " + std::to_string(f1.line()) +
                   ": an item the layout expects is missing; copied as read");
}

void warn_no_number(MergeFrame& m, std::string_view value, std::string_view left_out) {
  const auto k = static_cast<std::size_t>(m.i);
  if (m.warned[k] || m.current().repeated) return;
  m.warned[k] = true;
  // The value's line: the one just read, whose line feed the read position follows.
  const std::uint64_t line = f1.line() - (f1.last_line_ended() ? 1 : 0);
  constexpr std::size_t shown = 40;
  const std::string quoted = value.size() <= shown ? std::string(value) : std::string(value.substr(0, shown)) + "...";
  console.complain("warning: " + m.current().name + ", line " + std::to_string(line) + ": \"" + quoted +
                   "\" is not a number: " + std::string(left_out));
}

namespace {

// A header's extents multiplied by `scale`: a negative one makes each
// axis's largest value its smallest; an end that grows beyond the largest
// number is none.
InputBox scaled(const InputBox& b, double scale) {
  const bool swap = scale < 0;
  InputBox s;
  for (int k = 0; k < 3; ++k) {
    s.min[k] = (swap ? b.max[k] : b.min[k]) * scale;
    s.max[k] = (swap ? b.min[k] : b.max[k]) * scale;
    s.has_min[k] = (swap ? b.has_max[k] : b.has_min[k]) && std::isfinite(s.min[k]);
    s.has_max[k] = (swap ? b.has_min[k] : b.has_max[k]) && std::isfinite(s.max[k]);
  }
  return s;
}

}  // namespace

InputBox header_in_result(const MergeFrame& m) {
  return m.drawing.scaled ? scaled(m.input.header, m.drawing.scale) : m.input.header;
}

void fold_input_extents(MergeFrame& m) {
  const InputBox header = header_in_result(m);
  const InputBox& box = m.input.box;
  Extents& e = m.extents;
  double* const minimum[3] = {&e.minx, &e.miny, &e.minalt};
  double* const maximum[3] = {&e.maxx, &e.maxy, &e.maxalt};
  for (int k = 0; k < 3; ++k) {
    // The header's extents where it gives both ends in order, widened to
    // every vertex copied that is written beyond where a vertex at them
    // would be (so that vertices within them leave them as they are); else
    // the vertices' own.
    const bool given = header.usable(k);
    double low = header.min[k], high = header.max[k];
    if (box.has_min[k]) {
      if (!given || box.min[k] < numeric::as_written(low)) low = given ? std::min(low, box.min[k]) : box.min[k];
      if (!given || box.max[k] > numeric::as_written(high)) high = given ? std::max(high, box.max[k]) : box.max[k];
    } else if (!given) {
      continue;
    }
    if (*minimum[k] > low) *minimum[k] = low;
    if (*maximum[k] < high) *maximum[k] = high;
  }
}

void start_input(MergeFrame& m) {
  m.input = InputState{};
  if (m.drawing.layer_per_input) m.input.layer = layer_of_input(m.current().name);
}

void warn_coincident(const MergeFrame& m) {
  const InputState& s = m.input;
  if (m.drawing.scaled || m.current().repeated || s.coincident * 2 <= s.report.vertices) return;
  console.complain("warning: " + m.current().name + ": rounding to whole units puts " + std::to_string(s.coincident) +
                   " of its " + std::to_string(s.report.vertices) +
                   " vertices where the vertex before them lies; --scale=F keeps them apart");
}

namespace {

// The first bytes of a binary DXF drawing end like this.
constexpr std::string_view binary_end = "Binary DXF\r\n\x1a";
constexpr std::size_t binary_sentinel = 22;

bool is_binary_dxf(std::string_view head) {
  return head.size() >= binary_sentinel && head[binary_sentinel - 1] == '\0' &&
         head.substr(0, binary_sentinel - 1).ends_with(binary_end);
}

}  // namespace

bool check_drawing(const MergeFrame& m, std::string_view raw_head) {
  std::string why;
  if (is_binary_dxf(raw_head))
    why = "a binary DXF drawing, which cannot be read";
  else if (!m.input.saw_section)
    why = "not a DXF drawing (it holds no SECTION)";
  else
    return true;
  console.complain(where(m.current()) + ": " + why + "; " + std::string(f2.failure_leaves()));
  return false;
}

void report_input(MergeFrame& m) {
  if (m.current().repeated) return;
  std::string line = m.input.report.line(m.current().name);
  if (!line.empty()) m.reports.push_back(std::move(line));
}
