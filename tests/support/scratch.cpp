// The scratch images folder.
#include "scratch.h"

#include <sys/mount.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "system/host.h"

namespace support {

ScratchImages::ScratchImages() {
  std::string pattern = (fs::temp_directory_path() / "talvero-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::system_error(errno, std::generic_category(), "mkdtemp");
  base = pattern;
  restore.env("TALVERO_IMAGES", base.string());
}

ScratchImages::~ScratchImages() {
  for (const fs::path& m : mounts) ::umount2(m.c_str(), MNT_DETACH);
  std::error_code ec;
  // Folders a test made read-only must be writable again to be emptied.
  for (auto it = fs::recursive_directory_iterator(base, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(base, ec);
}

fs::path ScratchImages::write(std::string_view relative, std::string_view bytes) const {
  const fs::path p = path(relative);
  fs::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + p.string());
  return p;
}

std::string ScratchImages::read(std::string_view relative) const { return read_file(path(relative)); }

bool ScratchImages::exists(std::string_view relative) const {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path(relative), ec));
}

std::vector<std::string> ScratchImages::entries(std::string_view folder) const {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(path(folder))) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> ScratchImages::temporaries() const {
  std::vector<std::string> found;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(base, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (host::is_temporary_name(it->path().filename().string()))
      found.push_back(fs::relative(it->path(), base).string());
  }
  return found;
}

bool ScratchImages::mount_small_tmpfs(std::string_view relative, std::size_t bytes) {
  const fs::path p = path(relative);
  fs::create_directories(p);
  const std::string data = "size=" + std::to_string(bytes);
  if (::mount("tmpfs", p.c_str(), "tmpfs", 0, data.c_str()) != 0) return false;
  mounts.push_back(p);
  return true;
}

std::string read_file(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path.string());
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string composed(std::string_view relative) {
  std::string s(host::images_prefix);
  for (char c : relative) s += c == '/' ? '\\' : c;
  return s;
}

}  // namespace support
