// Temporary-then-rename handling of the resulting file, and results written
// into as they are made.
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
  const host::ResultPlace place = host::result_place(path);
  target = place.file;
  switch (place.kind) {
    case host::ResultPlace::Kind::folder: why = "it is a folder"; return false;
    case host::ResultPlace::Kind::other:
      // Never replaced nor renamed over: a device stays a device.
      fd = host::open_write(path, why);
      break;
    case host::ResultPlace::Kind::file:
    case host::ResultPlace::Kind::none: fd = host::create_temp_beside(target, temp_path, why); break;
  }
  if (fd < 0) return false;
  owns_fd = true;
  out.attach(fd);
  return true;
}

void ResultFile::create_on_standard_output() {
  discard();
  composed = host_path = target = "standard output";
  fd = 1;
  owns_fd = false;
  out.attach(fd);
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
  if (!direct()) return host::commit_temp(closing, temp_path, target, why);
  if (owns_fd) host::close_fd(closing);
  return true;
}

void ResultFile::discard() {
  if (fd >= 0) {
    out.finish();  // no write may still be going on when the descriptor is closed
    if (!direct())
      host::discard_temp(fd, temp_path);
    else if (owns_fd)
      host::close_fd(fd);
  }
  fd = -1;
  temp_path.clear();
  out.attach(-1);
}

std::string_view ResultFile::failure_leaves() {
  return fd >= 0 && direct() && out.sent_any() ? "the result is incomplete" : "nothing was written";
}
