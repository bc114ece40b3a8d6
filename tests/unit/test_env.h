// Helpers for tests that run the dialogue and the merge in-process: a
// temporary images folder and the console held in memory.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <string_view>

#include <unistd.h>

#include "dialogue.h"
#include "merge.h"
#include "state.h"

namespace testenv {

// A fresh folder that stands for "c:\images\" while the object lives.
struct ImagesFolder {
  ImagesFolder() {
    static int counter = 0;
    root = std::filesystem::temp_directory_path() /
           ("talvero-test-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(root);
    ::setenv("TALVERO_IMAGES", root.c_str(), 1);
  }
  ~ImagesFolder() {
    ::unsetenv("TALVERO_IMAGES");
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  std::filesystem::path path(std::string_view folder, std::string_view name) const {
    return root / folder / (std::string(name) + ".dxf");
  }
  void write(std::string_view folder, std::string_view name, std::string_view bytes) const {
    std::filesystem::create_directories(root / folder);
    std::ofstream(path(folder, name), std::ios::binary) << bytes;
  }
  std::string read(std::string_view folder, std::string_view name) const {
    std::ifstream in(path(folder, name), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  bool exists(std::string_view folder, std::string_view name) const {
    return std::filesystem::exists(path(folder, name));
  }
  // Number of entries in a folder (to see that no temporary file is left).
  std::size_t entries(std::string_view folder) const {
    std::size_t n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(root / folder)) ++n;
    return n;
  }
  std::filesystem::path root;
};

// What one in-process run showed and returned.
struct Run {
  bool dialogue_ok = false;
  bool merge_ok = false;
  std::string shown;  // the console texts
};

inline Run run(std::string_view answers) {
  reset_state();
  Run r;
  console.attach_memory(answers, &r.shown);
  r.dialogue_ok = opening();
  if (r.dialogue_ok) r.merge_ok = treatment();
  console.flush();
  return r;
}

// Lines joined with CR LF, each ended by one.
inline std::string crlf(std::initializer_list<std::string_view> lines) {
  std::string s;
  for (auto l : lines) {
    s += l;
    s += "\r\n";
  }
  return s;
}

// The result's 27 header lines for the given truncated extents.
inline std::string header(std::string_view minx, std::string_view miny, std::string_view minz,
                          std::string_view maxx, std::string_view maxy, std::string_view maxz) {
  return crlf({"  0", "SECTION", "  2", "HEADER", "  9", "$EXTMIN", " 10", minx, " 20", miny, " 30", minz,
               "  9", "$EXTMAX", " 10", maxx, " 20", maxy, " 30", maxz, "  0", "ENDSEC", "  0", "SECTION",
               "  2", "ENTITIES", "  0"});
}

inline const std::string closing = "ENDSEC\r\n0\r\nEOF\r\n";

}  // namespace testenv
