// The second thread for runs ahead.
#include "ahead.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "scan.h"

Ahead::~Ahead() {
  if (!thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex);
    quit = true;
  }
  wake.notify_one();
  thread.join();
}

const char* Ahead::pick_start(const Reader::Loaded& b) const {
  if (!bulk_settings.ahead || b.pos >= b.end) return nullptr;
  const auto unread = static_cast<std::size_t>(b.end - b.pos);
  if (unread < bulk_settings.ahead_min_bytes) return nullptr;
  const std::size_t near = unread / 100 * static_cast<std::size_t>(100 - far_share);
  const std::string_view far(b.pos + near, unread - near);
  constexpr std::string_view keyword = "VERTEX";
  for (std::size_t at = far.find(keyword); at != std::string_view::npos; at = far.find(keyword, at + 1)) {
    const char* s = far.data() + at;
    // A whole token after the read position, ending before the loaded bytes
    // do (the byte at end is a NUL).
    if (s > b.pos && scan::is_space(static_cast<unsigned char>(s[-1])) && s + keyword.size() < b.end &&
        scan::is_space(static_cast<unsigned char>(s[keyword.size()])))
      return s;
  }
  return nullptr;
}

void Ahead::start_survey(const Reader::Loaded& b, const char* from) { start(false, b, from); }
void Ahead::start_write(const Reader::Loaded& b, const char* from) { start(true, b, from); }

void Ahead::start(bool write, const Reader::Loaded& b, const char* from) {
  if (!thread.joinable()) {
    // Output of a run ahead stays within its half block, plus room for one entity.
    thread = std::thread([this] { loop(); });
  }
  const auto wanted = static_cast<std::size_t>(b.end - from) + 64 * run_entity_room;
  if (write && out.size() < wanted) out.resize(wanted);
  {
    std::lock_guard<std::mutex> lock(mutex);
    job_write = write;
    job_block = b;
    job_from = from;
    posted = true;
    finished = false;
    finished_flag.store(false, std::memory_order_relaxed);
  }
  busy = true;
  wake.notify_one();
}

RunResult Ahead::wait() {
  // A run ahead usually ends within tens of microseconds of the main
  // thread's arrival: looking again for a while costs less than sleeping
  // and being woken.
  const bool early = finished_flag.load(std::memory_order_acquire);
  for (int k = 0; k < 20000 && !finished_flag.load(std::memory_order_acquire); ++k) std::this_thread::yield();
  std::unique_lock<std::mutex> lock(mutex);
  // The thread that waits gets the larger share next time.
  if (early)
    far_share = std::min(far_share + 2, 80);
  else
    far_share = std::max(far_share - 2, 20);
  done.wait(lock, [this] { return finished; });
  busy = false;
  return result;
}

void Ahead::loop() {
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    wake.wait(lock, [this] { return posted || quit; });
    if (quit) return;
    posted = false;
    const bool write = job_write;
    const Reader::Loaded block = job_block;
    const char* from = job_from;
    lock.unlock();
    RunResult r = write ? write_run(block, from, out.data(), out.data() + out.size())
                        : survey_run(block, from);
    lock.lock();
    result = r;
    finished = true;
    finished_flag.store(true, std::memory_order_release);
    done.notify_one();
  }
}
