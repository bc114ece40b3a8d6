// Speculative parsing: while the main thread works through the near part of
// the loaded block, the worker runs a bulk run over its far part, started
// at a guess of where an entity begins (a "VERTEX" token). The main thread
// keeps that run's effect only when its own loop arrives exactly where the
// run started; otherwise the run is dropped, so the result never depends on
// the guess.
#pragma once

#include <cstddef>
#include <vector>

#include "fast/bulk_run.h"
#include "fast/worker.h"

namespace fast {

class SpeculativeRun {
 public:
  SpeculativeRun(Worker& w, std::size_t min_bytes) : worker(w), min_unread(min_bytes) {}
  SpeculativeRun(const SpeculativeRun&) = delete;
  SpeculativeRun& operator=(const SpeculativeRun&) = delete;
  ~SpeculativeRun();

  // Where a run should start in block b: the first "VERTEX" token in the far
  // part of its unread bytes; nullptr when the block is too small or none is
  // there. The far part's share follows which thread had to wait for the
  // other last time, so that both finish together; where it starts changes
  // how the work is shared, never the result. Each pass keeps its own
  // share: their work per byte differs.
  [[nodiscard]] const char* pick_start(const MarkedBlock& b, bool write) const;

  // Starts a survey or writing run from `from` in block b on the worker.
  // The block must stay loaded until wait() returns.
  void start_survey(const MarkedBlock& b, const char* from);
  void start_write(const MarkedBlock& b, const char* from);
  // Whether a writing run from `from` in block b needs a larger output
  // buffer: one that moves it, so that what is still being written from the
  // present one must be waited for first.
  [[nodiscard]] bool must_grow(const MarkedBlock& b, const char* from) const {
    return out.size() < room_wanted(b, from);
  }
  // Waits for the run started last; a writing run's output is in [out_begin(), result.out).
  RunResult wait();
  [[nodiscard]] const char* out_begin() const { return out.data(); }

 private:
  void start(bool write, const MarkedBlock& b, const char* from);
  static std::size_t room_wanted(const MarkedBlock& b, const char* from);

  Worker& worker;
  std::size_t min_unread;       // unread bytes a block needs for a run
  Worker::Ticket ticket = 0;    // the run started and not yet waited for
  int far_share[2] = {20, 45};  // percent of the unread bytes left to the worker, survey and writing
  bool writing = false;         // the pass of the run started last
  RunResult result;             // written by the worker until the run is done
  std::vector<char> out;
};

// The main thread's bulk runs from the read position, with the speculative
// run started at sync (nullptr: none). own(sync) makes and takes a run that
// stops before the token at or after sync; the speculative run's result is
// handed to theirs() only when that loop arrives exactly where it started,
// and dropped otherwise. Returns once a run stops for the general reads or
// at the end of the loaded bytes.
template <class Own, class Theirs>
void run_with_speculation(SpeculativeRun* speculative, const char* sync, Own own, Theirs theirs) {
  for (;;) {
    const RunResult r = own(sync);
    if (r.why == RunStop::room) continue;  // the output was made room for: go on
    if (sync == nullptr) return;
    const RunResult far = speculative->wait();
    sync = nullptr;
    if (r.why == RunStop::sync) {
      theirs(far);
    } else if (r.why != RunStop::passed) {
      return;
    }
  }
}

}  // namespace fast
