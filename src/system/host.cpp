// Host file access for Windows and Unix-like hosts.
#include "system/host.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace host {

namespace {

#ifdef _WIN32
constexpr char separator = '\\';
constexpr int binary_flag = _O_BINARY;
int sys_open(const char* p, int flags, int mode) { return ::_open(p, flags, mode); }
long sys_read(int fd, char* b, std::size_t n) {
  return ::_read(fd, b, static_cast<unsigned>(n > (1u << 30) ? (1u << 30) : n));
}
long sys_write(int fd, const char* b, std::size_t n) {
  return ::_write(fd, b, static_cast<unsigned>(n > (1u << 30) ? (1u << 30) : n));
}
int sys_close(int fd) { return ::_close(fd); }
int sys_pid() { return ::_getpid(); }
#else
constexpr char separator = '/';
constexpr int binary_flag = 0;
int sys_open(const char* p, int flags, int mode) { return ::open(p, flags, mode); }
long sys_read(int fd, char* b, std::size_t n) { return ::read(fd, b, n); }
long sys_write(int fd, const char* b, std::size_t n) { return ::write(fd, b, n); }
int sys_close(int fd) { return ::close(fd); }
int sys_pid() { return ::getpid(); }
#endif

// The temporary result file to remove if a signal stops the process.
// Fixed storage: the handler may only touch what is already there.
char pending_temp[4096];
volatile std::sig_atomic_t pending_set = 0;

extern "C" void on_stop_signal(int sig) {
  if (pending_set) std::remove(pending_temp);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

void remember_temp(const std::string& path) {
  pending_set = 0;
  if (path.size() < sizeof pending_temp) {
    std::memcpy(pending_temp, path.c_str(), path.size() + 1);
    pending_set = 1;
  }
}

}  // namespace

std::string map_path(std::string_view composed) {
  std::string_view rest = composed;
  if (rest.substr(0, images_prefix.size()) == images_prefix) rest.remove_prefix(images_prefix.size());
  std::string out;
  if (const char* base = std::getenv("TALVERO_IMAGES"); base != nullptr && *base != '\0') {
    out = base;
  } else {
#ifdef _WIN32
    out = std::string(images_prefix);
#else
    out = "images";
#endif
  }
  if (out.back() != separator && out.back() != '/') out += separator;
  for (char c : rest) out += (c == '\\') ? separator : c;
  return out;
}

int open_read(const std::string& host_path, std::string& why) {
  int fd = sys_open(host_path.c_str(), O_RDONLY | binary_flag, 0);
  if (fd < 0) {
    why = std::strerror(errno);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && (st.st_mode & S_IFMT) == S_IFDIR) {
    sys_close(fd);
    why = "it is a folder";
    return -1;
  }
  return fd;
}

long read_some(int fd, char* buf, std::size_t n, std::string& why) {
  for (;;) {
    long got = sys_read(fd, buf, n);
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    why = std::strerror(errno);
    return -1;
  }
}

bool write_all(int fd, const char* buf, std::size_t n, std::string& why) {
  while (n > 0) {
    long put = sys_write(fd, buf, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      why = put < 0 ? std::strerror(errno) : "nothing could be written";
      return false;
    }
    buf += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

void close_fd(int fd) {
  if (fd >= 0) sys_close(fd);
}

bool can_read(const std::string& host_path, std::string& why) {
  const int fd = open_read(host_path, why);
  close_fd(fd);
  return fd >= 0;
}

bool is_folder(const std::string& host_path) {
  std::error_code ec;
  return std::filesystem::is_directory(host_path, ec);
}

Existing existing_file(const std::string& host_path) {
  struct stat st {};
  if (::stat(host_path.c_str(), &st) != 0) return Existing::none;
#ifdef _WIN32
  const bool writable = (st.st_mode & _S_IWRITE) != 0;
#else
  const bool writable = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
#endif
  return writable ? Existing::writable : Existing::write_protected;
}

bool images_folder_set() {
  const char* base = std::getenv("TALVERO_IMAGES");
  return base != nullptr && *base != '\0';
}

bool same_file(const std::string& a, const std::string& b) {
  std::error_code ec;
  bool same = std::filesystem::equivalent(a, b, ec);
  return !ec && same;
}

namespace {
constexpr std::string_view temp_marker = ".tmp";  // then the process id, a dash and the attempt
}  // namespace

bool is_temporary_name(std::string_view file_name) {
  std::size_t at = file_name.rfind(temp_marker);
  if (at == std::string_view::npos) return false;
  std::string_view rest = file_name.substr(at + temp_marker.size());
  std::size_t dash = rest.find('-');
  auto digits = [](std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
  };
  return dash != std::string_view::npos && digits(rest.substr(0, dash)) && digits(rest.substr(dash + 1));
}

int create_temp_beside(const std::string& final_path, std::string& temp_path, std::string& why) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_path = final_path + std::string(temp_marker) + std::to_string(sys_pid()) + "-" + std::to_string(attempt);
    int fd = sys_open(temp_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | binary_flag, 0666);
    if (fd >= 0) {
      remember_temp(temp_path);
      return fd;
    }
    if (errno != EEXIST) {
      why = std::strerror(errno);
      return -1;
    }
  }
  why = "no free temporary name";
  return -1;
}

bool commit_temp(int fd, const std::string& temp_path, const std::string& final_path, std::string& why) {
  // A file replaced keeps its permission bits; a new one has the usual mode.
  struct stat replaced {};
  if (::stat(final_path.c_str(), &replaced) == 0 && (replaced.st_mode & S_IFMT) == S_IFREG) {
#ifdef _WIN32
    (void)::_chmod(temp_path.c_str(), replaced.st_mode & (_S_IREAD | _S_IWRITE));
#else
    (void)::fchmod(fd, replaced.st_mode & 07777);
#endif
  }
  if (sys_close(fd) != 0) {
    why = std::strerror(errno);
    discard_temp(-1, temp_path);
    return false;
  }
#ifdef _WIN32
  bool moved =
      MoveFileExA(temp_path.c_str(), final_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!moved) why = "cannot replace the file (error " + std::to_string(GetLastError()) + ")";
#else
  bool moved = std::rename(temp_path.c_str(), final_path.c_str()) == 0;
  if (!moved) why = std::strerror(errno);
#endif
  if (!moved) {
    discard_temp(-1, temp_path);
    return false;
  }
  pending_set = 0;
  return true;
}

void discard_temp(int fd, const std::string& temp_path) {
  close_fd(fd);
  std::remove(temp_path.c_str());
  pending_set = 0;
}

void prepare_process() {
#ifdef _WIN32
  _setmode(0, _O_BINARY);
  _setmode(1, _O_BINARY);
  _setmode(2, _O_BINARY);
  std::signal(SIGINT, on_stop_signal);
  std::signal(SIGTERM, on_stop_signal);
#else
  // A full disk or a file size limit must show up as a write error, and a
  // closed console must not kill the merge.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGHUP, on_stop_signal);
  std::signal(SIGINT, on_stop_signal);
  std::signal(SIGTERM, on_stop_signal);
#endif
}

bool is_terminal(int fd) {
#ifdef _WIN32
  return ::_isatty(fd) != 0;
#else
  return ::isatty(fd) != 0;
#endif
}

long long now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace host
