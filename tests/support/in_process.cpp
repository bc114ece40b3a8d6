// In-process runs of the dialogue and the merge.
#include "in_process.h"

#include "dialogue/opening.h"
#include "state.h"

namespace support {

namespace {

ProgramRun run(std::string_view answers, const MergeOptions* options, const std::function<void()>& before_merge,
               bool typed = false) {
  ProgramRun r;
  reset_state();
  console.attach_memory(answers, &r.shown, &r.errors, typed);
  r.opened = opening();
  if (r.opened && before_merge) before_merge();
  if (r.opened && options != nullptr) r.merged = treatment(*options);
  console.flush();
  console.attach_memory({}, nullptr);
  return r;
}

}  // namespace

ProgramRun run_program(std::string_view answers, const MergeOptions& options,
                       const std::function<void()>& before_merge) {
  return run(answers, &options, before_merge);
}

ProgramRun run_opening(std::string_view answers, bool typed) { return run(answers, nullptr, {}, typed); }

MemoryMerge merge_in_memory(const std::vector<reference::Input>& inputs, const MergeOptions& options,
                            std::size_t block) {
  Restore restore;
  restore.block_size(block);
  std::vector<MergeInput> from_memory;
  for (const reference::Input& in : inputs) from_memory.push_back({in.name, {}, std::string_view(in.bytes)});
  MemoryMerge m;
  console.attach_memory({}, &m.console, &m.errors);
  {
    Output out;
    out.attach(-1, &m.result);
    m.end = merge(from_memory, out, options, &m.totals);
    out.finish();
  }
  // As a complete run says them (its closing line aside).
  if (m.end == MergeEnd::complete)
    for (const std::string& report : m.totals.reports) m.errors += "talvero: " + report + "\n";
  console.flush();
  console.attach_memory({}, nullptr);
  f1.close();
  return m;
}

std::string crlf(std::initializer_list<std::string_view> lines) {
  std::string s;
  for (std::string_view l : lines) (s += l) += "\r\n";
  return s;
}

std::string result_polyline(std::string_view layer, std::string_view flags) {
  return crlf(
      {"POLYLINE", "  8", layer, "  66", "1", " 70", "     " + std::string(flags), " 10", "     0", " 20", "0", "  0"});
}
std::string result_vertex(std::string_view layer, std::string_view flags, std::string_view x, std::string_view y,
                          std::string_view z) {
  return crlf({"VERTEX", "  8", layer, " 70", "    " + std::string(flags), " 10", x, " 20", y, " 30", z, "  0"});
}
const std::string result_seqend = crlf({"SEQEND", "0"});

std::string spaced_lines(std::string_view groups) {
  std::string text(groups);
  for (char& c : text)
    if (c == ' ') c = '\n';
  return text + "\n";
}

std::string result_header(std::string_view minx, std::string_view miny, std::string_view minz, std::string_view maxx,
                          std::string_view maxy, std::string_view maxz) {
  return crlf({"  0", "SECTION", "  2", "HEADER", "  9",     "$EXTMIN", " 10", minx,       " 20",
               miny,  " 30",     minz,  "  9",    "$EXTMAX", " 10",     maxx,  " 20",      maxy,
               " 30", maxz,      "  0", "ENDSEC", "  0",     "SECTION", "  2", "ENTITIES", "  0"});
}

std::vector<reference::Input> drawings(std::initializer_list<std::string_view> bytes) {
  std::vector<reference::Input> inputs;
  char name = 'a';
  for (std::string_view b : bytes) inputs.push_back({std::string("c:\\images\\t\\") + name++ + ".dxf", std::string(b)});
  return inputs;
}

std::vector<NamedAcceleration> accelerations() {
  std::vector<NamedAcceleration> all;
  for (const char* name : {"off", "runs", "worker", "all"}) {
    Acceleration settings;
    if (acceleration_named(name, settings)) all.push_back({name, settings});
  }
  return all;
}

CheckedMerge checked_merge(const std::vector<reference::Input>& inputs, const std::vector<std::size_t>& blocks) {
  const reference::Merged expected = reference::merge(inputs);
  CheckedMerge checked;
  bool first = true;
  auto compare = [&](const MemoryMerge& m) -> std::string {
    if (expected.failed != (m.end == MergeEnd::input_failed) || (!expected.failed && m.end != MergeEnd::complete))
      return expected.failed ? "the merge did not fail" : "the merge did not complete";
    if (std::string d = first_difference(m.result, expected.result); !d.empty()) return "result " + d;
    if (std::string d = first_difference(m.console, expected.console); !d.empty()) return "console " + d;
    if (m.totals.polylines != expected.polylines || m.totals.vertices != expected.vertices)
      return "counted " + std::to_string(m.totals.polylines) + " polylines and " + std::to_string(m.totals.vertices) +
             " vertices written, against " + std::to_string(expected.polylines) + " and " +
             std::to_string(expected.vertices);
    if (std::string d = first_difference(m.errors, expected.errors); !d.empty()) return "messages " + d;
    return {};
  };
  for (std::size_t block : blocks) {
    for (const NamedAcceleration& a : accelerations()) {
      MemoryMerge m = merge_in_memory(inputs, {a.fast, {}}, block);
      const std::string difference = compare(m);
      if (first) checked.merged = std::move(m);
      first = false;
      if (!difference.empty()) {
        checked.disagreement = a.name + ", blocks of " + std::to_string(block) + ": " + difference;
        return checked;
      }
    }
  }
  return checked;
}

std::size_t count_lines(std::string_view text, std::string_view line) {
  std::size_t n = 0;
  while (!text.empty()) {
    const std::size_t e = text.find('\n');
    std::string_view l = text.substr(0, e);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    n += l == line;
    if (e == std::string_view::npos) break;
    text.remove_prefix(e + 1);
  }
  return n;
}

std::string first_difference(std::string_view a, std::string_view b) {
  if (a == b) return {};
  std::size_t k = 0;
  while (k < a.size() && k < b.size() && a[k] == b[k]) ++k;
  return "at byte " + std::to_string(k) + ": \"" + std::string(a.substr(k, 40)) + "\" against \"" +
         std::string(b.substr(k, 40)) + "\"";
}

}  // namespace support
