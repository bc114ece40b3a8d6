// Per-input helpers of both passes.
#include "merge/inputs.h"

#include <string>

#include "state.h"

void show_file_line(const MergeFrame& m) {
  console.text("\n\n\tFile ");
  console.out.put_int(m.i);
  console.text(" Name : ");
  console.text(m.input().name);
  console.text(" ");
}

namespace {

std::string where(const MergeInput& in) { return in.bytes ? in.name : both_paths(in.name, in.host_path); }

void count(MergeFrame& m, std::string_view before, std::string_view after) {
  ++m.segm;
  console.text(before);
  console.out.put_int(m.segm);
  console.text(after);
  console.progress();
}

}  // namespace

bool open_input(const MergeFrame& m) {
  const MergeInput& in = m.input();
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
    console.complain("cannot read " + where(m.input()) + ": " + f1.error_text + "; " +
                     std::string(f2.failure_leaves()));
  f1.close();
  return ok;
}

void count_survey_polyline(MergeFrame& m) { count(m, "\trecord ", "            \r        "); }
void count_written_vertices(MergeFrame& m, std::uint64_t n) {
  m.vertices_written += n;
  m.report.vertices += n;
}

void count_written_polyline(MergeFrame& m) {
  ++m.polylines_written;
  ++m.report.polylines;
  count(m, "\t record ", "            \r     ");
}

void warn_layout(MergeFrame& m) {
  const auto k = static_cast<std::size_t>(m.i);
  if (m.warned[k] || m.input().repeated) return;
  m.warned[k] = true;
  console.complain("warning: " + m.input().name + ", line " + std::to_string(f1.line()) +
                   ": an item the layout expects is missing; copied as read");
}

void start_input(MergeFrame& m) {
  m.segm = 0;
  m.section = Section::none;
  m.was_section = m.was_section_2 = false;
  m.saw_section = false;
  m.after_zero = false;
  m.elevation = 0.0;
  m.extrusion = {};
  m.in_mesh = false;
  m.polyline_open = false;
  m.report = InputReport{};
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
  else if (!m.saw_section)
    why = "not a DXF drawing (it holds no SECTION)";
  else
    return true;
  console.complain(where(m.input()) + ": " + why + "; " + std::string(f2.failure_leaves()));
  return false;
}

void report_input(MergeFrame& m) {
  if (m.input().repeated) return;
  std::string line = m.report.line(m.input().name);
  if (!line.empty()) m.reports.push_back(std::move(line));
}
