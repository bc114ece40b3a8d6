// The merge as one routine: survey, extents report, writing pass, completion.
#include <string>

#include "bulk.h"
#include "host.h"
#include "merge.h"
#include "state.h"

namespace {

std::string where(int i) {
  std::string composed(reinterpret_cast<const char*>(capas[i].nombre));
  return composed + " (" + host::map_path(composed) + ")";
}

bool abandon() {
  f1.close();
  f2.discard();
  return false;
}

bool result_write_failed() {
  if (!f2.out.failed()) return false;
  complain("cannot write the resulting file " + f2.composed + " (" + f2.host_path + "): " +
           f2.out.error_text + "; nothing was written");
  return true;
}

}  // namespace

void show_file_line(int i) {
  console.text("\n\n\tFile ");
  console.out.put_int(i);
  console.text(" Name : ");
  console.text(reinterpret_cast<const char*>(capas[i].nombre));
  console.text(" ");
}

void show_count(MergeFrame& m, std::string_view before, std::string_view after) {
  ++m.segm;
  console.text(before);
  console.out.put_int(m.segm);
  console.text(after);
  console.progress();
}

bool open_input(int i) {
  std::string why;
  std::string composed(reinterpret_cast<const char*>(capas[i].nombre));
  if (f1.open_file(host::map_path(composed), why)) return true;
  complain("cannot open " + where(i) + ": " + why + "; nothing was written");
  return false;
}

bool close_input(int i) {
  bool ok = !f1.failed();
  if (!ok) complain("cannot read " + where(i) + ": " + f1.error_text + "; nothing was written");
  f1.close();
  return ok;
}

const char* start_ahead(MergeFrame& m, bool write) {
  if (m.ahead_tried == f1.loads()) return nullptr;
  m.ahead_tried = f1.loads();
  const Reader::Loaded block = f1.loaded();
  const char* from = m.ahead.pick_start(block, write);
  if (from == nullptr) return nullptr;
  if (write) {
    // The run writes where the last run's output may still be being written
    // from: the second thread does its jobs one at a time in order, so that
    // write is done before this run starts. A buffer that must grow moves,
    // and waits for it.
    if (m.ahead.must_grow(block, from)) f2.out.wait_written(m.ahead_written);
    m.ahead.start_write(block, from);
  } else {
    m.ahead.start_survey(block, from);
  }
  return from;
}

void warn_layout(MergeFrame& m, int i) {
  if (m.warned[i]) return;
  m.warned[i] = true;
  complain("warning: " + std::string(reinterpret_cast<const char*>(capas[i].nombre)) + ", line " +
           std::to_string(f1.line()) + ": an item the layout expects is missing; copied as read");
}

bool treatment() {
  MergeFrame m;
  Helper* second = bulk_settings.ahead ? &helper : nullptr;
  f1.set_prefetch(second);
  f2.out.set_background(second);
  m.ahead.use(second);
  console.text("\n\n\tTreatment\n");
  for (int i = 1; i <= num_arch; ++i)
    if (!survey_file(m, i)) return abandon();
  show_extents(m.extents);

  write_header(m.extents);
  for (int i = 1; i <= num_arch; ++i) {
    if (!write_file(m, i)) return abandon();
    if (result_write_failed()) return abandon();
  }
  // The ENTITIES section is closed once, after the last input.
  f2.out.put("ENDSEC\r\n0\r\nEOF\r\n");
  f2.out.finish();
  if (result_write_failed()) return abandon();
  std::string why;
  if (!f2.commit(why)) {
    complain("cannot complete the resulting file " + f2.composed + " (" + f2.host_path + "): " + why +
             "; nothing was written");
    return false;
  }
  return true;
}
