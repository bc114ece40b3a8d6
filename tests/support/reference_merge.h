// A plain merge to compare the program's merge with: both passes over inputs
// held whole in memory, read a byte at a time, written into a string. It takes
// nothing from the program's sources; it follows the reading and writing rules
// of README.md ("What the tool reads and writes", and the rules for drawings
// written by other programs) as simply as they read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace reference {

struct Input {
  std::string name;   // the input's path as the console shows it, e.g. "c:\\images\\t\\a.dxf"
  std::string bytes;  // the file's bytes, as stored
  // The file read on the host, which messages name beside `name` when it
  // differs; empty for a drawing held in memory, named by `name` alone.
  std::string host_path = {};
};

struct Merged {
  std::string result;           // the resulting file's bytes; empty when the run failed
  std::string console;          // the console texts from "\n\n\tTreatment\n" to the end, or to the failure
  std::string errors;           // the merge's lines on standard error ("talvero: ...\n"), in order
  bool failed = false;          // the run failed (its line is the last of `errors`): nothing was written
  std::uint64_t polylines = 0;  // POLYLINE and VERTEX entities written
  std::uint64_t vertices = 0;
};

// Both passes over the inputs, in order.
Merged merge(const std::vector<Input>& inputs);

}  // namespace reference
