// The door to the accelerator (src/fast): optional speed-ups of both passes
// that change no byte of the result and no console text. The merge makes
// one for its reader and result, and asks it, before each token read of
// either pass's loop, to take what it can from the read position. Builds
// without the accelerator (TALVERO_FAST off) make none.
#pragma once

#include <cstddef>
#include <memory>

struct MergeFrame;
struct Reader;
struct Output;

// What the accelerator may do.
struct Acceleration {
  bool bulk_runs = true;  // both passes' loops run straight over the loaded block
  bool worker = true;     // a second thread reads ahead, runs speculatively and writes the result
  std::size_t speculate_min_bytes = std::size_t{1} << 16;  // unread bytes a block needs for a speculative run
};
// Everything on, the worker only where there is more than one processor.
Acceleration default_acceleration();

class Accelerator {
 public:
  virtual ~Accelerator() = default;
  // Takes what it can of the survey's loop from the read position, leaving
  // m, the console and the reader as the general reads would have.
  virtual void survey(MergeFrame& m) = 0;
  // The same for the writing pass, whose output goes to the result.
  virtual void write(MergeFrame& m) = 0;
};

// An accelerator that reads through `in` and writes into `out` while it
// lives; null when the build has none or the settings leave it nothing to do.
std::unique_ptr<Accelerator> make_accelerator(const Acceleration& settings, Reader& in, Output& out);
