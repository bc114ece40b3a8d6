// The door to the accelerator (src/fast): optional speed-ups of both passes
// that change no byte of the result and no console text. The merge makes
// one for its reader and result, and asks it, before each turn of either
// pass's loop, to take what it can from the read position. Builds without
// the accelerator (TALVERO_FAST off) make none.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

struct MergeFrame;
struct Reader;
struct Output;

// What the accelerator may do.
struct Acceleration {
  bool runs = true;    // turns and layout shortcuts straight over each loaded block
  bool worker = true;  // a second thread reads the next block and writes the result
  bool ahead = true;   // with runs, runs ahead over each block's far part (on the worker's thread)
};
// What the build can do, as TALVERO_ACCEL asks ("off", "runs", "worker" or
// "all": to pin a fault on one part without a rebuild); by default
// everything, the threads only where there is more than one processor.
Acceleration default_acceleration();
// The settings a value of TALVERO_ACCEL names; false when it names none.
[[nodiscard]] bool acceleration_named(std::string_view name, Acceleration& settings);

class Accelerator {
 public:
  virtual ~Accelerator() = default;
  // Takes what it can of the survey's loop from the read position, leaving
  // m, the console and the reader as the plain turns would have.
  virtual void survey(MergeFrame& m) = 0;
  // The same for the writing pass, whose output goes to the result.
  virtual void write(MergeFrame& m) = 0;
};

// An accelerator that reads through `in` and writes into `out` while it
// lives; null when the build has none or the settings leave it nothing to do.
std::unique_ptr<Accelerator> make_accelerator(const Acceleration& settings, Reader& in, Output& out);
