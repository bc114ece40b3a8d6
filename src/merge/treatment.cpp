// The merge as one routine: survey, extents report, writing pass, completion.
#include "merge/treatment.h"

#include <cmath>
#include <set>
#include <string>

#include "merge/passes.h"
#include "merge/report.h"
#include "state.h"
#include "system/host.h"

MergeEnd merge(const std::vector<MergeInput>& inputs, Output& out, const MergeOptions& options, MergeTotals* totals) {
  MergeFrame m(out, inputs);
  m.drawing = options.drawing;
  // Chords stay within the tolerance in the result's units, the rounding's.
  if (m.drawing.scaled) m.drawing.tolerance /= std::fabs(m.drawing.scale);
  const std::unique_ptr<Accelerator> fast = make_accelerator(options.fast, f1, out);
  const int count = static_cast<int>(inputs.size());
  console.text("\n\n\tTreatment\n");
  for (m.i = 1; m.i <= count; ++m.i)
    if (!survey_file(m, fast.get())) return MergeEnd::input_failed;
  show_extents(m.extents);

  write_header(out, m.extents);
  for (m.i = 1; m.i <= count; ++m.i) {
    if (!write_file(m, fast.get())) return MergeEnd::input_failed;
    if (out.failed()) return MergeEnd::output_failed;
  }
  // The ENTITIES section is closed once, after the last input.
  out.put("ENDSEC\r\n0\r\nEOF\r\n");
  if (totals != nullptr) *totals = {m.polylines_written, m.vertices_written, std::move(m.reports)};
  return MergeEnd::complete;
}

namespace {

bool abandon(const char* doing, const std::string& why) {
  console.complain(std::string("cannot ") + doing + " the resulting file " + both_paths(f2.composed, f2.host_path) +
                   ": " + why + "; " + std::string(f2.failure_leaves()));
  f2.discard();
  return false;
}

// A drawing given again, by its name or another name of the same file, is
// merged each time it is given but said once, where it is first given.
std::vector<MergeInput> marking_repeats(std::vector<MergeInput> inputs) {
  std::set<std::string> names;
  std::set<host::FileId> files;
  for (MergeInput& in : inputs) {
    const bool name_seen = !names.insert(in.name).second;
    const std::optional<host::FileId> id = in.bytes ? std::nullopt : host::file_id(in.host_path);
    const bool file_seen = id && !files.insert(*id).second;
    in.repeated = name_seen || file_seen;
  }
  return inputs;
}

}  // namespace

bool merge_into_result(const std::vector<MergeInput>& given, const MergeOptions& options) {
  const std::vector<MergeInput> inputs = marking_repeats(given);
  MergeTotals totals;
  const MergeEnd end = merge(inputs, f2.out, options, &totals);
  f1.close();
  if (end == MergeEnd::input_failed) {
    f2.discard();
    return false;
  }
  f2.out.finish();
  if (f2.out.failed()) return abandon("write", f2.out.error_text);
  std::string why;
  if (!f2.commit(why)) return abandon("complete", why);
  for (const std::string& report : totals.reports) console.note(report);
  console.note("wrote " + both_paths(f2.composed, f2.host_path) + ": " + counted(inputs.size(), "drawing", "drawings") +
               ", " + counted(totals.polylines, "polyline", "polylines") + ", " +
               counted(totals.vertices, "vertex", "vertices"));
  return true;
}

bool treatment(const MergeOptions& options) {
  std::vector<MergeInput> inputs;
  for (int i = 1; i <= num_arch; ++i) {
    std::string composed(reinterpret_cast<const char*>(capas[i].nombre));
    inputs.push_back({composed, host::map_path(composed), std::nullopt});
  }
  return merge_into_result(inputs, options);
}
