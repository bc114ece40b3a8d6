// The resulting file: written under a temporary name beside its final place
// and moved there only once complete, so a failed run leaves no half-written
// file and an existing file of that name keeps its bytes.
#pragma once

#include <string>

#include "write/output.h"

struct ResultFile {
  // Creates the temporary file for the composed path; false (reason in why) on failure.
  [[nodiscard]] bool create(const std::string& composed, std::string& why);
  // The same for a path on this host, shown as it is.
  [[nodiscard]] bool create_at(const std::string& host_path, std::string& why);
  // Flushes, closes and moves the file into place; false (reason in why) on failure.
  [[nodiscard]] bool commit(std::string& why);
  // Removes the temporary file, if any.
  void discard();
  [[nodiscard]] bool is_open() const { return fd >= 0; }

  Output out;
  std::string composed;   // the path as the console shows it
  std::string host_path;  // where it lands on this host
  std::string temp_path;
  int fd = -1;

 private:
  bool create_as(const std::string& shown, const std::string& path, std::string& why);
};
