// Fuzzes a whole merge in memory. The fuzzer's bytes, cut in two at the first
// separator line, are one or two input drawings. Merged with the plain reads
// alone, they must give the reference merge's result and console texts byte
// for byte; merged with every other setting of the accelerator the build has
// (runs over each block, and for some inputs with the threads) over
// small blocks, the same bytes and messages. One input in eight is merged
// again with a set of the drawing options (see drawing_options), with the
// plain reads and with the accelerator: both must give the same bytes and
// messages, a result that opens and closes as a drawing does.
#include <sanitizer/common_interface_defs.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "in_process.h"
#include "merge/treatment.h"
#include "placement_bound.h"
#include "reference_merge.h"
#include "state.h"

namespace {

constexpr std::string_view separator = "\n--8<--\n";

// Says what broke where the sanitizers report (standard error may be closed), then stops.
void require(bool ok, const std::string& what) {
  if (ok) return;
  __sanitizer_report_error_summary(("fuzz_merge: " + what).c_str());
  std::abort();
}

void require_same(const std::string& got, const std::string& want, const char* what) {
  if (got != want) require(false, what + (" " + support::first_difference(got, want)));
}

// Tokens of `input` that make the writing pass copy an entity, and its
// lines (an LWPOLYLINE writes a VERTEX for each point, its layer each time).
std::size_t entity_keywords(std::string_view input) {
  std::size_t n = 0;
  for (std::string_view k : {"POLYLINE", "VERTEX", "SEQEND"})
    for (std::size_t at = input.find(k); at != std::string_view::npos; at = input.find(k, at + 1)) ++n;
  for (char c : input) n += c == '\n';
  return n;
}

// Largest output of one entity copy besides its copied tokens: a VERTEX writes
// eight integers and three coordinates, each rounded to up to 310 characters.
constexpr std::size_t entity_bound = 1100;
// The header's six extents may be as long.
constexpr std::size_t header_bound = 4096;

struct Run {
  std::string result, shown, errors;
  bool failed = false;  // an input was no text DXF drawing
};

Output result(std::size_t{1} << 20);  // made once; the accelerator asks it for room for whole runs

Run run(const std::vector<MergeInput>& inputs, const MergeOptions& options) {
  Run r;
  console.attach_memory({}, &r.shown, &r.errors);
  result.attach(-1, &r.result);
  MergeTotals totals;
  const MergeEnd end = merge(inputs, result, options, &totals);
  require(end != MergeEnd::output_failed, "a merge into memory could not write");
  r.failed = end == MergeEnd::input_failed;
  if (!r.failed)
    for (const std::string& report : totals.reports) r.errors += "talvero: " + report + "\n";
  result.finish();
  console.flush();
  console.attach_memory({}, nullptr);
  result.attach(-1);
  f1.close();
  return r;
}

bool whole_drawing(std::string_view text) {
  return text.starts_with("  0\r\nSECTION\r\n  2\r\nHEADER\r\n") && text.ends_with("EOF\r\n");
}

// Whether every number of the input is below 1000 in magnitude: no digits
// before a point or without one run longer than 3, and no exponent.
bool small_numbers(std::string_view input) {
  std::size_t run = 0;
  for (std::size_t k = 0; k < input.size(); ++k) {
    const char c = input[k];
    if (c >= '0' && c <= '9') {
      const bool fraction = run == 0 && k > 0 && input[k - 1] == '.';
      if (fraction) {
        while (k + 1 < input.size() && input[k + 1] >= '0' && input[k + 1] <= '9') ++k;
        continue;
      }
      if (++run > 3) return false;
      continue;
    }
    run = 0;
    if ((c == 'e' || c == 'E') && k > 0 && input[k - 1] >= '0' && input[k - 1] <= '9') return false;
  }
  return true;
}

// The most work block references may make a merge do (placement_bound.h):
// fewer polylines and vertices placed in each pass, so that an input at the
// bound runs in some 25 ms under the sanitizers and writes a few megabytes,
// where a grid of 32767 by 32767 copies, or blocks nesting copies of copies,
// ran the fuzzer out of memory. Nearly every fuzzed drawing that holds block
// references is below it: the bound is loose, but only the rare drawing
// with grids or deep nesting comes near.
constexpr double placing_budget = 20000;

// Whether the block references of the inputs place little enough.
bool few_placings(const std::vector<std::string_view>& parts) {
  double work = 0;
  for (std::string_view part : parts) work += placement::placing_work(part, placing_budget);
  return work <= placing_budget;
}

// The drawing options, picked by an input's hash: lines as polylines, scaled
// or not, on their own layers or on a layer per input; curves too where every
// number is small, and block references placed where they place little. The
// options' output is not bounded by the input's size (a curve's chords grow
// with its radius, block references multiply their blocks), so each is
// fuzzed where a bound taken from the input keeps it small.
DrawingOptions drawing_options(std::size_t set, std::size_t hash, std::string_view input, bool inserts) {
  DrawingOptions d;
  d.lines = true;
  d.curves = small_numbers(input);
  d.inserts = inserts;
  d.layer_per_input = (hash >> 11 & 1) != 0;
  if (set == 1) {
    d.scaled = true;
    d.scale = hash >> 10 & 1 ? 100.0 : -0.001;
  }
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  f1.resize_block(509);  // items straddle blocks
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> parts = {all};
  if (std::size_t cut = all.find(separator); cut != std::string_view::npos)
    parts = {all.substr(0, cut), all.substr(cut + separator.size())};

  std::vector<MergeInput> inputs;
  std::vector<reference::Input> plain;
  for (std::string_view part : parts) {
    std::string name = "c:\\images\\m\\" + std::string(1, static_cast<char>('a' + inputs.size())) + ".dxf";
    inputs.push_back({name, "", part});
    plain.push_back({name, std::string(part)});
  }

  const reference::Merged expected = reference::merge(plain);
  Acceleration off;
  require(acceleration_named("off", off), "no setting named off");
  const Run general = run(inputs, {off, {}});
  require_same(general.result, expected.result, "the plain reads' result differs from the reference:");
  require_same(general.shown, expected.console, "the plain reads' console differs from the reference:");
  require_same(general.errors, expected.errors, "the plain reads' messages differ from the reference:");
  require(general.failed == expected.failed, "the plain reads and the reference disagree on failing");
  // A merge with the threads costs milliseconds: each hand-over that finds
  // the other thread asleep waits for a processor to wake. One input in 32,
  // picked by its bytes so that a failure repeats, has the worker and the
  // runs ahead; another one in 32 the worker alone.
  const std::size_t hash = std::hash<std::string_view>{}(all);
  const char* setting = hash % 32 == 0 ? "all" : hash % 32 == 16 ? "worker" : "runs";
  Acceleration fast;
  if (acceleration_named(setting, fast)) {
    const Run accelerated = run(inputs, {fast, {}});
    require_same(accelerated.result, general.result, "the accelerator changed the result:");
    require_same(accelerated.shown, general.shown, "the accelerator changed the console texts:");
    require_same(accelerated.errors, general.errors, "the accelerator changed the warnings:");
    require(accelerated.failed == general.failed, "the accelerator changed whether the merge fails");
  }
  if (general.failed) return 0;  // nothing is written

  const std::string& text = general.result;
  require(whole_drawing(text), "the result does not begin with the header or end with EOF");
  if ((hash >> 5 & 7) == 0) {
    const std::size_t set = hash >> 9 & 1;
    // The options' results are checked against each other, not the reference merge.
    MergeOptions with{off, drawing_options(set, hash, all, few_placings(parts))};
    const Run plain_reads = run(inputs, with);
    require(!plain_reads.failed && whole_drawing(plain_reads.result), "a merge with options is no drawing");
    if (acceleration_named(setting, with.fast)) {
      const Run accelerated = run(inputs, with);
      require_same(accelerated.result, plain_reads.result, "the accelerator changed the result with options:");
      require_same(accelerated.errors, plain_reads.errors, "the accelerator changed the warnings with options:");
    }
  }
  std::size_t keywords = 0;
  for (std::string_view part : parts) keywords += entity_keywords(part);
  require(text.size() <= header_bound + 3 * size + (entity_bound + size) * (keywords + 2 * parts.size()),
          "the result is larger than its inputs allow");
  return 0;
}
