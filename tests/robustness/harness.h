// Whole runs of the built executable for the robustness tests: answers on
// standard input, the images folder in TALVERO_IMAGES, a time limit, and a
// scratch images folder that each test builds and throws away.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace robustness {

namespace fs = std::filesystem;

// How a run ended and what it showed.
struct RunResult {
  int exit_code = -1;      // the exit status, or -1 when a signal ended the run
  int signal = 0;          // the signal that ended the run, or 0
  bool timed_out = false;  // the run was killed at its time limit
  std::string out;         // standard output
  std::string err;         // standard error
};

struct RunOptions {
  fs::path images;           // what TALVERO_IMAGES names
  std::string shell_prefix;  // shell commands run before the program (such as a ulimit); empty: none
  std::chrono::seconds limit{60};
};

// A running program whose standard input the test feeds piece by piece.
class ToolProcess {
 public:
  explicit ToolProcess(const RunOptions& options);
  ~ToolProcess();
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  // Writes bytes to the program's standard input, collecting its output meanwhile.
  void send(std::string_view bytes);
  // Closes the program's standard input.
  void close_input();
  // Waits until standard output holds `text` or the limit passes; true when it does.
  bool wait_for_output(std::string_view text, std::chrono::milliseconds limit);
  void signal(int sig);
  // Closes standard input, collects the rest of the output and the exit status.
  RunResult finish();

  [[nodiscard]] pid_t pid() const { return child; }

 private:
  // Moves output from the pipes into result; waits at most `wait_ms` for some.
  void pump(int wait_ms, std::string_view* pending_input);

  pid_t child = -1;
  int in_fd = -1, out_fd = -1, err_fd = -1;
  std::chrono::steady_clock::time_point deadline;
  RunResult result;
};

// Runs the program to its end with `answers` as its whole standard input.
RunResult run_tool(std::string_view answers, const RunOptions& options);

// A fresh images folder, removed with everything in it at the end of the test.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  [[nodiscard]] const fs::path& root() const { return base; }
  // Writes a file (and its folders) below the root.
  fs::path write(const fs::path& relative, std::string_view bytes) const;
  // Copies a demo drawing under `relative`.
  fs::path copy_demo(std::string_view demo_name, const fs::path& relative) const;
  // Files below the root whose names show a temporary result ("<name>.dxf.tmp<pid>-<n>").
  [[nodiscard]] std::vector<std::string> temporaries() const;
  // Mounts a tmpfs of `bytes` at `relative`; false when this host does not allow it.
  bool mount_small_tmpfs(const fs::path& relative, std::size_t bytes);

 private:
  fs::path base;
  std::vector<fs::path> mounts;
};

// The whole content of a file, or "<missing>" when it cannot be read.
std::string read_file(const fs::path& path);

// The demo drawing's bytes.
std::string demo(std::string_view name);

// Number of lines of `text` equal to `line` (CR LF or LF ends).
std::size_t count_lines(std::string_view text, std::string_view line);

// The composed path the program shows for a file of the images folder.
std::string composed(std::string_view folder, std::string_view name);

}  // namespace robustness
