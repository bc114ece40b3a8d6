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
  console.complain("cannot open " + where(in) + ": " + why + "; nothing was written");
  return false;
}

bool close_input(const MergeFrame& m) {
  bool ok = !f1.failed();
  if (!ok) console.complain("cannot read " + where(m.input()) + ": " + f1.error_text + "; nothing was written");
  f1.close();
  return ok;
}

void count_survey_polyline(MergeFrame& m) { count(m, "\trecord ", "            \r        "); }
void count_written_polyline(MergeFrame& m) {
  ++m.polylines_written;
  count(m, "\t record ", "            \r     ");
}

void warn_layout(MergeFrame& m) {
  const auto k = static_cast<std::size_t>(m.i);
  if (m.warned[k]) return;
  m.warned[k] = true;
  console.complain("warning: " + m.input().name + ", line " + std::to_string(f1.line()) +
                   ": an item the layout expects is missing; copied as read");
}
