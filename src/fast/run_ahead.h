// Runs ahead: while the main thread takes the near part of a loaded block,
// another thread (the worker's, between its other jobs) takes the far
// part, from the keyword of a polyline on, with the same steps
// (fast/block_steps.h), on a copy of the input's state and into an output
// of its own. When the main thread arrives at that keyword, and the turn it
// takes there ends where the run's first turn ended and in the state that
// turn left (merge/run_ahead.h), the turns after it would do what the run
// did: the main thread keeps that work and goes on where the run stopped.
// Otherwise the run is dropped; the result never depends on it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fast/bitmap.h"
#include "fast/layout_shortcuts.h"
#include "fast/worker.h"
#include "merge/entity_turn.h"
#include "merge/frame.h"
#include "write/output.h"

namespace fast {

class RunAhead {
 public:
  // On a thread of its own; threads false: each run is made at once, when
  // started (as when the system refuses a thread).
  explicit RunAhead(bool threads = true) : own(threads), thread(own) {}
  // Runs made on w's thread, between its other jobs.
  explicit RunAhead(Worker& w) : thread(w) {}
  RunAhead(const RunAhead&) = delete;
  RunAhead& operator=(const RunAhead&) = delete;
  ~RunAhead() { drop(); }

  // Whether the merge's options let runs ahead be made: not where what a
  // turn does depends on more than the input's state (the block
  // definitions held for block references).
  [[nodiscard]] static bool allowed(const MergeFrame& m) { return !m.drawing.inserts; }

  // Starts a run of the pass over block b's far part, when at least `least`
  // bytes are left to read there and a polyline's keyword is found in it.
  // The block must stay loaded until keep() or drop().
  void start(Pass pass, const MarkedBlock& b, const MergeFrame& m, std::size_t least);
  // A run is under way (until keep() or drop()), from the keyword at sync().
  [[nodiscard]] bool pending() const { return ticket != 0; }
  [[nodiscard]] const char* sync() const { return from; }
  // After the main thread took the turn at sync(), ending at `pos`: stops
  // the run, and keeps its work when the main thread is where its first turn
  // left it, moving pos to where it stopped; false when it is dropped.
  bool keep(MergeFrame& m, const char*& pos);
  // Stops the run under way, if any, and drops its work.
  void drop();
  // How many runs were kept so far.
  [[nodiscard]] std::uint64_t runs_kept() const { return kept; }

 private:
  template <Pass pass>
  void run(MarkedBlock b);
  void stop_and_wait();

  // How much of the unread bytes is left to the run, by pass: more when it
  // ended before the main thread arrived, less when it was stopped.
  double share[2] = {0.45, 0.45};
  Pass pass = Pass::survey;
  const char* from = nullptr;
  std::atomic<bool> stop{false};
  // The run's own: its frame, output (and what overflowed it), turns and shortcuts.
  std::optional<MergeFrame> frame;
  Output out{std::size_t{2} << 20};
  std::string spilled;
  TurnPlan plan;
  LayoutShortcuts survey_shortcuts{Pass::survey};
  LayoutShortcuts write_shortcuts{Pass::write};
  // What it did: polylines met after its first turn, the state that turn
  // left and where it ended, and where the run stopped.
  std::uint64_t polylines = 0;
  std::uint64_t kept = 0;
  bool ran = false;  // its first turn was taken
  InputState first;
  const char* after_first = nullptr;
  const char* end = nullptr;
  Worker::Ticket ticket = 0;
  Worker own;      // last: ended first, while the rest is still there
  Worker& thread;  // own, or a worker shared with other jobs
};

}  // namespace fast
