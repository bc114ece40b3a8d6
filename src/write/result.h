// The resulting file: written under a temporary name beside its final place
// and moved there only once complete, so a failed run leaves no half-written
// file and an existing file of that name keeps its bytes. A device, a FIFO
// or standard output is written into as the result is made instead.
#pragma once

#include <string>
#include <string_view>

#include "write/output.h"

struct ResultFile {
  // Creates the temporary file for the composed path, or opens the device or
  // FIFO it names; false (reason in why) on failure.
  [[nodiscard]] bool create(const std::string& composed, std::string& why);
  // The same for a path on this host, shown as it is.
  [[nodiscard]] bool create_at(const std::string& host_path, std::string& why);
  // The result goes to standard output.
  void create_on_standard_output();
  // Flushes, closes and moves the file into place; false (reason in why) on failure.
  [[nodiscard]] bool commit(std::string& why);
  // Removes the temporary file, if any.
  void discard();
  [[nodiscard]] bool is_open() const { return fd >= 0; }
  // What a failed run leaves, as its line says it: nothing, or, where the
  // result is written into as it is made, part of it.
  [[nodiscard]] std::string_view failure_leaves();

  Output out;
  std::string composed;   // the path as the console shows it
  std::string host_path;  // where it lands on this host
  std::string target;     // the file replaced or made: host_path, or where its links lead
  std::string temp_path;  // empty when written into directly
  int fd = -1;

 private:
  bool create_as(const std::string& shown, const std::string& path, std::string& why);
  bool direct() const { return temp_path.empty(); }
  bool owns_fd = false;  // standard output is left open
};
