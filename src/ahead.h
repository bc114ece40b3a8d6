// Bulk runs ahead: the second thread runs a bulk run over the far part of
// the loaded block while the main thread works through the near part. The
// main thread keeps the far run's effect only when its own loop arrives
// exactly where the far run started; otherwise the far run is dropped, so
// the result never depends on it.
#pragma once

#include <cstddef>
#include <vector>

#include "bulk.h"
#include "helper.h"
#include "reader.h"

class Ahead {
 public:
  Ahead() = default;
  Ahead(const Ahead&) = delete;
  Ahead& operator=(const Ahead&) = delete;
  ~Ahead();

  // Runs ahead are made on h's thread; none without one.
  void use(Helper* h) { helper = h; }

  // Where a run ahead should start in block b: the first "VERTEX" token in
  // the far part of its unread bytes; nullptr when the block is too small
  // or none is there, or runs ahead are off. The far part's share follows
  // which thread had to wait for the other last time, so that both finish
  // together; where it starts changes how the work is shared, never the
  // result.
  // Each pass keeps its own share: their work per byte differs.
  [[nodiscard]] const char* pick_start(const Reader::Loaded& b, bool write) const;

  // Starts a survey or writing run from `from` in block b on the second
  // thread. The block must stay loaded until wait() returns.
  void start_survey(const Reader::Loaded& b, const char* from);
  void start_write(const Reader::Loaded& b, const char* from);
  // Whether a writing run from `from` in block b needs a larger output
  // buffer: one that moves it, so that what is still being written from the
  // present one must be waited for first.
  [[nodiscard]] bool must_grow(const Reader::Loaded& b, const char* from) const {
    return out.size() < room_wanted(b, from);
  }
  // Waits for the run started last; a writing run's output is in [out_begin(), result.out).
  RunResult wait();
  [[nodiscard]] const char* out_begin() const { return out.data(); }

 private:
  void start(bool write, const Reader::Loaded& b, const char* from);
  static std::size_t room_wanted(const Reader::Loaded& b, const char* from);

  Helper* helper = nullptr;
  Helper::Ticket ticket = 0;  // the run started and not yet waited for
  int far_share[2] = {20, 45};  // percent of the unread bytes left to the second thread, survey and writing
  bool writing = false;         // the pass of the run started last
  RunResult result;           // written by the second thread until the run is done
  std::vector<char> out;
};

// The main thread's bulk runs from the read position, with the run ahead
// started at sync (nullptr: none). own(sync) makes and takes a run that
// stops before the token at or after sync; the run ahead's result is handed
// to theirs() only when that loop arrives exactly where it started, and
// dropped otherwise. Returns once a run stops for the general reads or at
// the end of the loaded bytes.
template <class Own, class Theirs>
void run_with_ahead(Ahead& ahead, const char* sync, Own own, Theirs theirs) {
  for (;;) {
    const RunResult r = own(sync);
    if (r.why == RunStop::room) continue;  // the output was made room for: go on
    if (sync == nullptr) return;
    const RunResult far = ahead.wait();
    sync = nullptr;
    if (r.why == RunStop::sync) {
      theirs(far);
    } else if (r.why != RunStop::passed) {
      return;
    }
  }
}
