// The worker thread's job queue. A caller waiting for a job looks for its
// end a while before sleeping: the job is short (a block's worth of work)
// and most such waits end soon. The thread itself sleeps as soon as it has
// no job: the next one comes when the caller has used up a block, and
// looking for it that long would keep a processor busy for nothing.
#include "fast/worker.h"

#include <chrono>
#include <system_error>
#include <utility>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace fast {

namespace {

// How long a side keeps looking before it sleeps.
constexpr auto look_for = std::chrono::microseconds(200);

void pause() {
#if defined(__SSE2__) || defined(_M_X64)
  _mm_pause();
#else
  std::this_thread::yield();
#endif
}

// Looks for ready() until it holds or the time is up.
template <class Ready>
bool look(Ready ready) {
  const auto until = std::chrono::steady_clock::now() + look_for;
  for (int k = 0;; ++k) {
    if (ready()) return true;
    for (int p = 0; p < 16; ++p) pause();
    if (k % 16 == 15 && std::chrono::steady_clock::now() > until) return false;
  }
}

}  // namespace

Worker::~Worker() {
  if (!thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex);
    quit = true;
  }
  wake.notify_one();
  thread.join();
}

Worker::Ticket Worker::post(std::function<void()> job) {
  if (!thread.joinable() && !no_thread) {
    try {
      thread = std::thread([this] { loop(); });
    } catch (const std::system_error&) {
      no_thread = true;  // the system refuses another thread: the work is done all the same
    }
  }
  if (no_thread) {
    job();
    std::lock_guard<std::mutex> lock(mutex);
    completed = ++given;
    completed_seen.store(completed, std::memory_order_release);
    return given;
  }
  bool sleeping;
  Ticket t;
  {
    std::lock_guard<std::mutex> lock(mutex);
    jobs.push_back(std::move(job));
    t = ++given;
    sleeping = idle;
  }
  if (sleeping) wake.notify_one();
  return t;
}

bool Worker::done(Ticket t) { return completed_seen.load(std::memory_order_acquire) >= t; }

void Worker::wait(Ticket t) {
  if (look([&] { return done(t); })) return;
  std::unique_lock<std::mutex> lock(mutex);
  if (completed >= t) return;
  waiting = true;
  finished.wait(lock, [&] { return completed >= t; });
  waiting = false;
}

void Worker::loop() {
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    if (jobs.empty()) {
      if (quit) return;
      idle = true;
      wake.wait(lock, [this] { return !jobs.empty() || quit; });
      idle = false;
      continue;
    }
    std::function<void()> job = std::move(jobs.front());
    jobs.pop_front();
    lock.unlock();
    job();
    lock.lock();
    ++completed;
    completed_seen.store(completed, std::memory_order_release);
    if (waiting) finished.notify_all();
  }
}

}  // namespace fast
