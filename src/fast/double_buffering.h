// Double buffering on the worker thread: while the main thread reads one
// block of an input, the next is loaded into a second buffer (reading
// ahead); while the main thread fills one output buffer, the other is
// written (background writes). Loading also makes each block's whitespace
// bitmap, in the same pass that looks for the bytes text-mode rules change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "fast/worker.h"
#include "read/reader.h"
#include "write/output.h"

namespace fast {

// Blocks for a reader, each with its whitespace bitmap; the next one is
// loaded on the worker (none: when asked for, in the caller).
class ReadAhead final : public BlockLoader {
 public:
  explicit ReadAhead(Worker* w) : worker(w) {}
  ~ReadAhead() override { stop(); }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  void start(Source& s, std::size_t capacity) override;
  void stop() override;
  Block& next() override;

  // The whitespace bitmap of the block at `base` that next() gave, or null
  // when the block is none of this loader's.
  [[nodiscard]] const std::uint64_t* bitmap_of(const char* base) const;

 private:
  struct Slot {
    Block block;
    std::vector<std::uint64_t> bits;
  };
  void load(Slot& slot);
  void start_loading(Slot& slot);

  Worker* worker;
  Slot slots[2];
  int current = 1;            // the slot next() gave last
  Worker::Ticket ticket = 0;  // the load started into the other slot, not yet taken
  Source* source = nullptr;
  std::size_t capacity = 0;
};

// Writes of an output on the worker, in the order handed over.
class BackgroundWrites final : public OutputSink {
 public:
  explicit BackgroundWrites(Worker& w) : worker(w) {}
  ~BackgroundWrites() override { wait(); }
  BackgroundWrites(const BackgroundWrites&) = delete;
  BackgroundWrites& operator=(const BackgroundWrites&) = delete;

  // Writes the filled buffer on the worker and leaves the other one, once
  // its own write is done, to fill next.
  void write(int fd, OutputBytes& full, std::size_t n) override;
  void wait() override;
  [[nodiscard]] std::string failure() override;

 private:
  Worker& worker;
  std::mutex mutex;                 // guards what the writes found
  bool failed = false;              // later writes are not made
  std::string error;                // the first failure
  OutputBytes spare;                // the buffer being written
  Worker::Ticket spare_ticket = 0;  // its write
  Worker::Ticket last_ticket = 0;   // the last write handed over
};

}  // namespace fast
