// The accelerator behind the merge's door: each pass's turns run straight
// over the loaded block (its bytes and whitespace bitmap), with the layout
// shortcuts before them, until a turn is left to the plain reads; on a
// worker thread, the next block read ahead, the result written behind and,
// between those, runs ahead over each block's far part.
#include <cstdlib>
#include <memory>
#include <string_view>
#include <thread>

#include "fast/block_items.h"
#include "fast/block_steps.h"
#include "fast/double_buffering.h"
#include "fast/layout_shortcuts.h"
#include "fast/run_ahead.h"
#include "fast/worker.h"
#include "merge/accelerator.h"
#include "merge/entity_turn.h"
#include "merge/frame.h"
#include "read/reader.h"

bool acceleration_named(std::string_view name, Acceleration& settings) {
  if (name == "off")
    settings = {false, false, false};
  else if (name == "runs")
    settings = {true, false, false};
  else if (name == "worker")
    settings = {true, true, false};
  else if (name == "all")
    settings = {true, true, true};
  else
    return false;
  return true;
}

Acceleration default_acceleration() {
  const bool threads = std::thread::hardware_concurrency() > 1;
  Acceleration settings{true, threads, threads};
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
        loader(worker.get()),
        ahead(!s.runs || !s.ahead ? nullptr
              : worker != nullptr ? std::make_unique<RunAhead>(*worker)
                                  : std::make_unique<RunAhead>()) {
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
  // where the last one taken ended. A run ahead over the block's far part
  // is kept where the turns arrive at its start.
  template <Pass pass>
  void run(MergeFrame& m, LayoutShortcuts& shortcuts) {
    if (!settings.runs) return;
    const Reader::Loaded l = in.loaded();
    const std::uint64_t* bits = loader.bitmap_of(l.base);
    if (bits == nullptr) return;
    const MarkedBlock block{l.base, l.pos, l.end, bits};
    BlockItems items(block);
    // Worth a thread's start and wait where a quarter of a block is left.
    if (ahead != nullptr && RunAhead::allowed(m))
      ahead->start(pass, block, m, static_cast<std::size_t>(l.end - l.base) / 4);
    take_steps<pass>(items, m, shortcuts, plan, ahead.get());
    in.consume_to(items.pos);
  }

  const Acceleration settings;
  Reader& in;
  Output& out;
  const std::unique_ptr<Worker> worker;  // first made, last ended: the others hand it jobs
  ReadAhead loader;
  std::unique_ptr<BackgroundWrites> writes;
  // On the worker's thread where there is one, between its loads and
  // writes: on a thread of their own, three threads on two processors took
  // 1.07 times the wall time, waiting for a processor and each other's bytes.
  const std::unique_ptr<RunAhead> ahead;
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
