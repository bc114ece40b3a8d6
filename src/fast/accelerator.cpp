// The accelerator behind the merge's door: bulk runs over each loaded block,
// and on a worker thread reading ahead, speculative runs and background
// writes.
#include <bit>
#include <cstdint>
#include <memory>
#include <string_view>
#include <thread>

#include "fast/bulk_run.h"
#include "fast/double_buffering.h"
#include "fast/run_ahead.h"
#include "fast/worker.h"
#include "merge/accelerator.h"
#include "merge/frame.h"
#include "merge/inputs.h"

Acceleration default_acceleration() { return {true, std::thread::hardware_concurrency() > 1}; }

namespace fast {

namespace {

bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

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
      speculative = std::make_unique<SpeculativeRun>(*worker, s.speculate_min_bytes);
    }
  }
  ~FastAccelerator() override {
    in.set_loader(nullptr);
    out.set_sink(nullptr);
  }
  FastAccelerator(const FastAccelerator&) = delete;
  FastAccelerator& operator=(const FastAccelerator&) = delete;

  void survey(MergeFrame& m) override {
    MarkedBlock b;
    if (!settings.bulk_runs || !marked(b)) return;
    const char* started = start_speculative(b, false);
    run_with_speculation(
        speculative.get(), started,
        [&](const char* sync) {
          const char* from = in.loaded().pos;
          const RunResult r = survey_run(b, from, m.after_zero, m.elevation, sync);
          take(m, r, false, from);
          return r;
        },
        [&](const RunResult& far) {
          if (m.after_zero) take(m, far, false, started);  // it started as after a group code 0
        });
  }

  void write(MergeFrame& m) override {
    MarkedBlock b;
    if (!settings.bulk_runs || !marked(b)) return;
    const char* started = start_speculative(b, true);
    run_with_speculation(
        speculative.get(), started,
        [&](const char* sync) {
          char* o = out.room(64 * run_entity_room);
          const char* from = in.loaded().pos;
          const RunResult r = write_run(b, from, m.after_zero, m.polyline_open, m.elevation, o, out.room_end(), sync);
          out.advance(r.out);
          take(m, r, true, from);
          return r;
        },
        [&](const RunResult& far) {
          if (!m.after_zero || !m.polyline_open) return;  // it started as after a 0, in a polyline
          if (far.elevation_guess_used && !same_bits(far.elevation_guess, m.elevation)) return;  // at its elevation
          // Its output follows what was written so far.
          const char* begin = speculative->out_begin();
          hand_over(std::string_view(begin, static_cast<std::size_t>(far.out - begin)));
          take(m, far, true, started);
        });
  }

 private:
  // The reader's loaded block with its whitespace bitmap; false when it has none.
  bool marked(MarkedBlock& b) const {
    const Reader::Loaded l = in.loaded();
    b = {l.base, l.pos, l.end, loader.bitmap_of(l.base)};
    return b.space != nullptr;
  }

  // Starts a speculative run in the loaded block, once per block; returns
  // where it starts, or nullptr.
  const char* start_speculative(const MarkedBlock& b, bool write) {
    if (speculative == nullptr || tried_block == in.loaded().number) return nullptr;
    tried_block = in.loaded().number;
    const char* from = speculative->pick_start(b, write);
    if (from == nullptr) return nullptr;
    if (write) {
      // The run writes where the last run's output may still be being
      // written from: the worker does its jobs one at a time in order, so
      // that write is done before this run starts. A buffer that must grow
      // moves, and waits for it.
      if (speculative->must_grow(b, from)) writes->wait_for(last_in_place);
      speculative->start_write(b, from);
    } else {
      speculative->start_survey(b, from);
    }
    return from;
  }

  // Folds what a run from `from` did into the merge's state and the
  // reader's position.
  void take(MergeFrame& m, const RunResult& r, bool write, const char* from) {
    in.consume_to(r.stop);
    if (r.stop != from) m.after_zero = r.after_zero;
    if (r.elevation_set) m.elevation = r.elevation;
    if (write) {
      m.polyline_open = r.polyline_open;
      m.report.by_group_codes += r.by_group_codes;
      m.report.bulges += r.bulges;
      m.report.widths += r.widths;
      if (m.section == Section::entities)
        for (std::uint32_t k = 0; k < r.name_count; ++k) m.report.leave_out(r.names[k]);
    }
    for (std::uint32_t k = 0; k < r.polylines; ++k) write ? count_written_polyline(m) : count_survey_polyline(m);
    if (r.has_val) m.val = r.val;
    if (write && r.has_dval) m.dval = r.dval;
    if (write) count_written_vertices(m, r.vertices);
  }

  // Appends a speculative run's output: copied when small, else written in
  // place on the worker after what is already handed over.
  void hand_over(std::string_view s) {
    if (s.size() < out.capacity() / 4 || !out.to_descriptor() || out.failed()) {
      out.put(s);
      return;
    }
    out.flush();
    last_in_place = writes->write_in_place(out.fd, s.data(), s.size());
  }

  const Acceleration settings;
  Reader& in;
  Output& out;
  const std::unique_ptr<Worker> worker;  // first made, last ended: the others hand it jobs
  ReadAhead loader;
  std::unique_ptr<BackgroundWrites> writes;
  std::unique_ptr<SpeculativeRun> speculative;
  std::uint64_t tried_block = ~std::uint64_t{0};  // the last block a speculative run was tried in
  Worker::Ticket last_in_place = 0;               // the result's write of the last run's output
};

}  // namespace

}  // namespace fast

std::unique_ptr<Accelerator> make_accelerator(const Acceleration& settings, Reader& in, Output& out) {
  if (!settings.bulk_runs && !settings.worker) return nullptr;
  return std::make_unique<fast::FastAccelerator>(settings, in, out);
}
