// The command line: with no arguments the dialogue; with -o, a script's
// merge of the drawings it names, without questions.
#pragma once

#include <string>
#include <vector>

#include "merge/drawing_options.h"

struct CommandLine {
  enum class Mode { dialogue, script, help, version, usage_error } mode = Mode::dialogue;
  bool quiet = false;               // -q: nothing on standard output, no closing line
  bool force = false;               // -f: an existing result may be replaced
  std::string result;               // -o RESULT
  std::vector<std::string> inputs;  // the drawings, host paths as given
  DrawingOptions drawing;           // what is taken beyond polylines, and how
  std::string error;                // why the arguments were refused
};

// Reads the arguments after the program's name.
[[nodiscard]] CommandLine parse_command_line(const std::vector<std::string>& args);

// The help text, for both ways of running.
extern const char* const usage_text;

// Runs a script's merge: the result and the inputs are host paths as given,
// the result "-" standard output. Returns the exit status: 0 when the result
// is complete, 1 when the run failed (said in one line on standard error;
// nothing is written, or, into standard output, a device or a FIFO, the
// result may be incomplete).
[[nodiscard]] int run_script(const CommandLine& command);
