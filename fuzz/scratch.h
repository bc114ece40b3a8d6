// What the file-based fuzz targets share: a scratch images folder removed at
// exit, file helpers, and failure reports the sanitizers show.
#pragma once

#include <sanitizer/common_interface_defs.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace fs = std::filesystem;

// The folder TALVERO_IMAGES names during fuzzing.
inline fs::path scratch;

struct RemoveScratch {
  ~RemoveScratch() {
    std::error_code ec;
    if (!scratch.empty()) fs::remove_all(scratch, ec);
  }
};
inline RemoveScratch remove_scratch;

// Says what broke where the sanitizers report (standard error may be closed), then stops.
[[noreturn]] inline void fail(const std::string& what) {
  __sanitizer_report_error_summary(what.c_str());
  std::abort();
}

inline void require(bool ok, const char* what) {
  if (!ok) fail(what);
}

inline std::string read(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline void write(const fs::path& p, std::string_view bytes) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  require(static_cast<bool>(f), "cannot write a scratch file");
}
