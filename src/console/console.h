// The operator's console and the program's diagnostics: texts buffered on
// standard output, answers from standard input, and one-line messages on
// standard error.
#pragma once

#include <string>
#include <string_view>

#include "read/reader.h"
#include "write/output.h"

struct Console {
  Console();

  // Connects to the process's standard streams.
  void attach_standard();
  // Takes answers from memory (they must outlive the dialogue) and collects
  // the texts in *shown (for tests); messages go to *errors when set. The
  // answers are taken as typed at a terminal when `typed`, else as piped.
  void attach_memory(std::string_view answers, std::string* shown, std::string* errors = nullptr, bool typed = false);
  // Texts go to standard error from now on (standard output carries the result).
  void texts_to_standard_error();

  // Shows a text (buffered).
  void text(std::string_view s) {
    out.put(s);
    noted_last = false;
  }
  // Shows everything so far: before each question and at each file line.
  void flush() { out.flush(); }
  // After a running count: keeps a terminal up to date at least every tenth
  // of a second without a write per count.
  void progress() {
    if (terminal) paced_flush();
  }
  // Whether the answers come from a terminal, where what is typed ahead
  // may wait for later questions and a refused answer may be typed again.
  [[nodiscard]] bool answers_from_terminal() const { return input_terminal; }

  // Writes "talvero: " and a one-line message on standard error, after
  // showing what the console holds so the two streams read in order.
  void complain(std::string_view message);
  // The same for what is not a failure (the line that closes a run): where
  // the texts are shown too (a terminal, or standard error carrying them) it
  // starts on a line of its own, below the running count.
  void note(std::string_view message);
  // Texts and notes from now on are dropped (quiet runs); complaints still go out.
  void silence() {
    out.attach(-1);
    quiet = true;
  }

  Output out;
  Reader in;

 private:
  void paced_flush();

  void to_standard_error(const std::string& line);

  bool terminal = false;        // standard output is a terminal
  bool error_terminal = false;  // standard error is a terminal
  bool input_terminal = false;  // standard input is a terminal
  bool shared = false;          // texts and notes end up in one place
  bool quiet = false;
  bool noted_last = false;  // the last thing in that shared place was a note, ended with a line feed
  long long last_flush_ms = 0;
  std::string* errors = nullptr;  // standard error when null
};

// A file's composed path and where it lies on this host, as messages name
// it: "c:\images\m\a.dxf (/data/m/a.dxf)"; once when both are the same.
std::string both_paths(std::string_view composed, std::string_view host_path);
