// The accelerator behind the merge's door: each pass's turns run straight
// over the loaded block (its bytes and whitespace bitmap), with the layout
// shortcuts before them, until a turn is left to the plain reads; and on a
// worker thread, the next block read ahead and the result written behind.
#include <cstdlib>
#include <memory>
#include <string_view>
#include <thread>

#include "fast/block_items.h"
#include "fast/double_buffering.h"
#include "fast/layout_shortcuts.h"
#include "fast/worker.h"
#include "merge/accelerator.h"
#include "merge/entity_turn.h"
#include "merge/frame.h"
#include "read/reader.h"

bool acceleration_named(std::string_view name, Acceleration& settings) {
  if (name == "off")
    settings = {false, false};
  else if (name == "runs")
    settings = {true, false};
  else if (name == "all")
    settings = {true, true};
  else
    return false;
  return true;
}

Acceleration default_acceleration() {
  Acceleration settings{true, std::thread::hardware_concurrency() > 1};
  if (const char* asked = std::getenv("TALVERO_ACCEL"); asked != nullptr) (void)acceleration_named(asked, settings);
  return settings;
}

namespace fast {

namespace {

class FastAccelerator final : public Accelerator {
 public:
  FastAccelerator(const Acceleration& s, Reader& reader, Output& result)
      : settings(s),
        in(reader),
        out(result),
        worker(s.worker ? std::make_unique<Worker>() : nullptr),
        loader(worker.get()) {
    in.set_loader(&loader);
    if (worker != nullptr) {
      writes = std::make_unique<BackgroundWrites>(*worker);
      out.set_sink(writes.get());
    }
  }
  ~FastAccelerator() override {
    in.set_loader(nullptr);
    out.set_sink(nullptr);
  }
  FastAccelerator(const FastAccelerator&) = delete;
  FastAccelerator& operator=(const FastAccelerator&) = delete;

  void survey(MergeFrame& m) override { run<Pass::survey>(m, survey_shortcuts); }
  void write(MergeFrame& m) override { run<Pass::write>(m, write_shortcuts); }

 private:
  // Turns over the loaded block from the read position, the layout
  // shortcuts first, until one is refused; the reader then goes on from
  // where the last one taken ended.
  template <Pass pass>
  void run(MergeFrame& m, LayoutShortcuts& shortcuts) {
    if (!settings.runs) return;
    const Reader::Loaded l = in.loaded();
    const std::uint64_t* bits = loader.bitmap_of(l.base);
    if (bits == nullptr) return;
    BlockItems items({l.base, l.pos, l.end, bits});
    for (;;) {
      if (shortcuts.take(items, m)) continue;
      const char* before = items.pos;
      const char* keyword = items.token_start(before);
      const char* text = out.end();
      const std::uint64_t handed_on = out.handed_on();
      Took took = Took::other;
      if (turn<pass>(items, m, plan, &took) != Turn::taken) {
        items.pos = before;
        break;
      }
      if (took != Took::other && out.handed_on() == handed_on)
        shortcuts.learn(took, items, keyword, text, out.end(), m);
    }
    in.consume_to(items.pos);
  }

  const Acceleration settings;
  Reader& in;
  Output& out;
  const std::unique_ptr<Worker> worker;  // first made, last ended: the others hand it jobs
  ReadAhead loader;
  std::unique_ptr<BackgroundWrites> writes;
  TurnPlan plan;
  LayoutShortcuts survey_shortcuts{Pass::survey};
  LayoutShortcuts write_shortcuts{Pass::write};
};

}  // namespace

}  // namespace fast

std::unique_ptr<Accelerator> make_accelerator(const Acceleration& settings, Reader& in, Output& out) {
  if (!settings.runs && !settings.worker) return nullptr;
  return std::make_unique<fast::FastAccelerator>(settings, in, out);
}
