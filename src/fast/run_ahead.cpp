// Runs ahead over a loaded block's far part, on another thread.
#include "fast/run_ahead.h"

#include <algorithm>
#include <string_view>

#include "fast/block_steps.h"
#include "merge/run_ahead.h"

namespace fast {

namespace {

// Whether the line before the one starting at `at` holds a group code 0
// (spaces before it), within the bytes from `base` on.
bool zero_before(const char* base, const char* at) {
  const char* p = at - 1;  // its line feed
  if (p > base && p[-1] == '\r') --p;
  if (p == base || *--p != '0') return false;
  while (p > base && p[-1] == ' ') --p;
  return p == base || p[-1] == '\n';
}

// The first line in [p, end) that holds POLYLINE or LWPOLYLINE alone, after
// a group code 0: where a run may start, as the main thread's turns take
// such a keyword as a turn of its own. Null when there is none.
const char* polyline_keyword(const char* base, const char* p, const char* end) {
  constexpr std::string_view name = "POLYLINE";
  const std::string_view bytes(p, static_cast<std::size_t>(end - p));
  for (std::size_t k = bytes.find(name); k != std::string_view::npos; k = bytes.find(name, k + name.size())) {
    const char* at = p + k;
    const char* after = at + name.size();
    if (at - base >= 2 && at[-1] == 'W' && at[-2] == 'L') at -= 2;
    if (after < end && (*after == '\n' || *after == '\r') && at > base && at[-1] == '\n' && zero_before(base, at))
      return at;
  }
  return nullptr;
}

}  // namespace

void RunAhead::start(Pass p, const MarkedBlock& b, const MergeFrame& m, std::size_t least) {
  const auto unread = static_cast<std::size_t>(b.end - b.pos);
  if (pending() || unread < least || unread == 0) return;
  const double near = 1.0 - share[static_cast<int>(p)];
  const char* at =
      polyline_keyword(b.base, b.pos + static_cast<std::size_t>(static_cast<double>(unread) * near), b.end);
  if (at == nullptr) return;
  if (!frame || &frame->inputs != &m.inputs) frame.emplace(out, m.inputs);
  MergeFrame& f = *frame;
  f.drawing = m.drawing;
  f.i = m.i;
  // The main thread's state now: mostly what it is once there, and where
  // it is not, its turn at the keyword says so.
  f.input = m.input;
  f.input.place = Place{Section::entities, false, false, true};
  f.held_polylines = &polylines;
  pass = p;
  from = at;
  ran = false;
  stop.store(false, std::memory_order_relaxed);
  MarkedBlock far = b;
  far.pos = at;
  ticket = thread.post([this, far] { pass == Pass::survey ? run<Pass::survey>(far) : run<Pass::write>(far); });
}

template <Pass p>
void RunAhead::run(MarkedBlock b) {
  BlockItems items(b);
  MergeFrame& f = *frame;
  LayoutShortcuts& shortcuts = p == Pass::survey ? survey_shortcuts : write_shortcuts;
  if (!turn_step<p>(items, f, shortcuts, plan)) return;
  // What the first turn did, the main thread does itself: the run's work
  // starts after it (what the output holds of an earlier run goes too).
  after_first = items.pos;
  first = f.input;
  clear_counts(f.input);
  polylines = 0;
  f.polylines_written = f.vertices_written = 0;
  out.attach(-1, &spilled);
  spilled.clear();
  ran = true;
  // Up to the first turn refused (mostly at the block's end), or until the
  // main thread arrives, or the output's buffer is full.
  const std::uint64_t handed_on = out.handed_on();
  while (!stop.load(std::memory_order_relaxed) && out.handed_on() == handed_on) {
    if (shortcuts.take(items, f)) continue;
    if (!turn_step<p>(items, f, shortcuts, plan)) break;
  }
  end = items.pos;
}

void RunAhead::stop_and_wait() {
  stop.store(true, std::memory_order_relaxed);
  thread.wait(ticket);
  ticket = 0;
}

bool RunAhead::keep(MergeFrame& m, const char*& pos) {
  double& s = share[static_cast<int>(pass)];
  s = std::clamp(s + (thread.done(ticket) ? 0.02 : -0.02), 0.1, 0.9);
  stop_and_wait();
  if (!ran || pos != after_first || !same_course(m, first)) return false;
  if (pass == Pass::write) {
    m.out.put_through(spilled);
    m.out.put_through(out.buffered());
  }
  keep_run(m, pass, *frame, polylines);
  ++kept;
  pos = end;
  return true;
}

void RunAhead::drop() {
  if (pending()) stop_and_wait();
}

}  // namespace fast
