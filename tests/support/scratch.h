// A scratch images folder: a fresh temporary folder that stands for
// "c:\images\" (TALVERO_IMAGES names it) while the object lives, removed with
// everything in it at the end. Paths are given relative to it ("m/a.dxf").
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "restore.h"

namespace support {

namespace fs = std::filesystem;

class ScratchImages {
 public:
  ScratchImages();
  ~ScratchImages();
  ScratchImages(const ScratchImages&) = delete;
  ScratchImages& operator=(const ScratchImages&) = delete;

  [[nodiscard]] const fs::path& root() const { return base; }
  [[nodiscard]] fs::path path(std::string_view relative) const { return base / relative; }
  // Writes a file, making its folders.
  fs::path write(std::string_view relative, std::string_view bytes) const;
  // A file's bytes; throws when it cannot be read.
  [[nodiscard]] std::string read(std::string_view relative) const;
  [[nodiscard]] bool exists(std::string_view relative) const;
  // The names in a folder, sorted.
  [[nodiscard]] std::vector<std::string> entries(std::string_view folder) const;
  // Temporary result files anywhere below the root ("<name>.tmp<pid>-<n>"), relative.
  [[nodiscard]] std::vector<std::string> temporaries() const;
  // Mounts a tmpfs of `bytes` at a new folder; false when this host does not allow it.
  bool mount_small_tmpfs(std::string_view relative, std::size_t bytes);

 private:
  fs::path base;
  std::vector<fs::path> mounts;
  Restore restore;
};

// A file's bytes; throws when it cannot be read.
std::string read_file(const fs::path& path);

// The path the program composes and shows for a file of the images folder:
// "m/a.dxf" gives "c:\images\m\a.dxf".
std::string composed(std::string_view relative);

}  // namespace support
