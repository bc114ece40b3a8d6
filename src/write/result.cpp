// Temporary-then-rename handling of the resulting file.
#include "write/result.h"

#include "system/host.h"

bool ResultFile::create(const std::string& composed_path, std::string& why) {
  return create_as(composed_path, host::map_path(composed_path), why);
}

bool ResultFile::create_at(const std::string& path, std::string& why) { return create_as(path, path, why); }

bool ResultFile::create_as(const std::string& shown, const std::string& path, std::string& why) {
  discard();
  composed = shown;
  host_path = path;
  fd = host::create_temp_beside(host_path, temp_path, why);
  if (fd < 0) return false;
  out.attach(fd);
  return true;
}

bool ResultFile::commit(std::string& why) {
  out.finish();
  if (out.failed()) {
    why = out.error_text;
    discard();
    return false;
  }
  int closing = fd;
  fd = -1;
  return host::commit_temp(closing, temp_path, host_path, why);
}

void ResultFile::discard() {
  if (fd >= 0) {
    out.finish();  // no write may still be going on when the descriptor is closed
    host::discard_temp(fd, temp_path);
  }
  fd = -1;
  out.attach(-1);
}
