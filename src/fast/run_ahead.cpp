// Speculative runs on the worker thread.
#include "fast/run_ahead.h"

#include <algorithm>
#include <limits>
#include <string_view>

namespace fast {

SpeculativeRun::~SpeculativeRun() {
  if (ticket != 0) worker.wait(ticket);
}

const char* SpeculativeRun::pick_start(const MarkedBlock& b, bool write) const {
  if (b.pos >= b.end) return nullptr;
  const auto unread = static_cast<std::size_t>(b.end - b.pos);
  if (unread < min_unread) return nullptr;
  const std::size_t near = unread / 100 * static_cast<std::size_t>(100 - far_share[write]);
  const std::string_view far(b.pos + near, unread - near);
  constexpr std::string_view keyword = "VERTEX";
  for (std::size_t at = far.find(keyword); at != std::string_view::npos; at = far.find(keyword, at + 1)) {
    const char* s = far.data() + at;
    // A whole token after the read position, ending before the loaded bytes
    // do (the byte at end is a NUL).
    if (s > b.pos && is_space(static_cast<unsigned char>(s[-1])) && s + keyword.size() < b.end &&
        is_space(static_cast<unsigned char>(s[keyword.size()])))
      return s;
  }
  return nullptr;
}

void SpeculativeRun::start_survey(const MarkedBlock& b, const char* from) { start(false, b, from); }
void SpeculativeRun::start_write(const MarkedBlock& b, const char* from) { start(true, b, from); }

// Output of a run stays within the bytes it reads, plus room for the
// entities that write more than they read; a run that fills it stops early.
std::size_t SpeculativeRun::room_wanted(const MarkedBlock& b, const char* from) {
  return static_cast<std::size_t>(b.end - from) + 64 * run_entity_room;
}

void SpeculativeRun::start(bool write, const MarkedBlock& b, const char* from) {
  writing = write;
  const std::size_t wanted = room_wanted(b, from);
  if (write && out.size() < wanted)
    out.resize(std::max(wanted, static_cast<std::size_t>(b.end - b.base) + 64 * run_entity_room));
  ticket = worker.post([this, write, b, from] {
    // It starts at a VERTEX, as if after a group code 0 and within a polyline
    // whose elevation is guessed (the run is kept only where all that holds);
    // the survey needs no elevation.
    constexpr double unknown = std::numeric_limits<double>::quiet_NaN();
    result = write ? write_run(b, from, true, true, elevation_guess(b, from), out.data(), out.data() + out.size(),
                               nullptr, true)
                   : survey_run(b, from, true, unknown);
  });
}

RunResult SpeculativeRun::wait() {
  // The thread that waits gets the larger share next time.
  if (worker.done(ticket))
    far_share[writing] = std::min(far_share[writing] + 2, 90);
  else
    far_share[writing] = std::max(far_share[writing] - 2, 5);
  worker.wait(ticket);
  ticket = 0;
  return result;
}

}  // namespace fast
