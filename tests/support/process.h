// Runs of the built executable as a child process (POSIX hosts): standard
// input fed whole or piece by piece, arguments, a time limit, pipes or a
// terminal, and how it ended with what it wrote on standard output and error. The child inherits
// this process's environment (ScratchImages sets TALVERO_IMAGES).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace support {

// The console program this build made.
const char* talvero_executable();

struct ProcessOptions {
  std::vector<std::string> args;
  std::string shell_prefix;  // shell commands run before the program (a ulimit); empty: none
  std::chrono::milliseconds limit{60000};
  // Standard input, output and error on one pseudo-terminal, raw (no echo,
  // line ends as written): what the program writes there is all in `out`.
  bool terminal = false;
  std::string program = talvero_executable();
};

// How a run ended and what it wrote.
struct ProcessEnd {
  int exit_code = -1;      // the exit status, or -1 when a signal ended it
  int signal = 0;          // the signal that ended it, or 0
  bool timed_out = false;  // killed at its time limit
  std::string out;         // standard output
  std::string err;         // standard error
};

// A running program whose standard input is fed piece by piece.
class Process {
 public:
  explicit Process(const ProcessOptions& options = {});
  ~Process();  // kills it if it still runs
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Writes bytes to its standard input, collecting its output meanwhile.
  void send(std::string_view bytes);
  void close_input();
  // Waits until its standard output holds `text`; false when `limit` passes first.
  bool wait_for_output(std::string_view text, std::chrono::milliseconds limit);
  void signal(int sig);
  // Closes its standard input, collects the rest of its output and how it ended.
  ProcessEnd finish();

 private:
  // Moves output from the pipes; waits at most `wait_ms` for some.
  void pump(int wait_ms, std::string_view* pending_input);

  pid_t child = -1;
  int in_fd = -1, out_fd = -1, err_fd = -1;
  std::chrono::steady_clock::time_point deadline;
  ProcessEnd result;
};

// Runs the program to its end with `input` as its whole standard input.
ProcessEnd run_process(std::string_view input, const ProcessOptions& options = {});

}  // namespace support
