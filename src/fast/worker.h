// The worker thread: the accelerator's second thread, which runs the jobs
// handed to it one after the other, in the order they were given (loading
// the next block, runs ahead, writes of the result). With a single
// thread besides the main one, the two never compete for a processor on a
// two-processor machine.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace fast {

class Worker {
 public:
  using Ticket = std::uint64_t;  // a job's place in the order; 0 stands for no job

  // threads false: every job is run at once by the caller (as when the
  // system refuses a thread).
  explicit Worker(bool threads = true) : no_thread(!threads) {}
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  // Runs the jobs still waiting, then ends the thread.
  ~Worker();

  // Hands a job over; the thread starts with the first one. When no thread
  // can be started, every job is run at once by the caller.
  Ticket post(std::function<void()> job);
  // Waits until job t and every job given before it are done.
  void wait(Ticket t);
  // Whether job t is done, without waiting.
  [[nodiscard]] bool done(Ticket t);

 private:
  void loop();

  std::thread thread;
  std::mutex mutex;
  std::condition_variable wake;      // a job was given, or the thread must end
  std::condition_variable finished;  // a job was done
  std::deque<std::function<void()>> jobs;
  Ticket given = 0;
  Ticket completed = 0;
  std::atomic<Ticket> completed_seen{0};  // completed, read without the lock
  bool idle = false;                      // the thread sleeps until a job is given
  bool waiting = false;                   // a caller sleeps until a job is done
  bool quit = false;
  bool no_thread = false;  // starting the thread failed: jobs run in the caller
};

}  // namespace fast
