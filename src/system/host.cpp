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

#ifdef _WIN32
// Wildcards in the arguments are expanded by the C runtime before main, as
// the system's own command-line tools do ("C:\plans\*.dxf"; a quoted or
// unmatched pattern stays as written).
extern "C" {
int _dowildcard = -1;
}
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

// The temporary result file to remove if the process is stopped.
// Fixed storage: the handler may only touch what is already there.
char pending_temp[4096];
volatile std::sig_atomic_t pending_set = 0;

#ifdef _WIN32
HANDLE pending_handle = INVALID_HANDLE_VALUE;  // the temporary file's, as open

// Runs on a thread of its own while the merge goes on, and ends the process
// at once, as a Ctrl-C would end it. The temporary file is open with
// FILE_SHARE_DELETE, so it can be removed while a write to it is still
// going on; closed first, it is gone before the process ends.
BOOL WINAPI on_console_stop(DWORD) {
  if (pending_set) {
    CloseHandle(pending_handle);
    DeleteFileA(pending_temp);
  }
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}

// The C library's text for a system error, where there is one.
std::string error_text(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return std::strerror(ENOENT);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT: return std::strerror(EACCES);
    case ERROR_INVALID_NAME: return std::strerror(EINVAL);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return std::strerror(ENOSPC);
    default: return "error " + std::to_string(error);
  }
}

// An existing file or folder's handle, for looking at it (links followed).
HANDLE look_at(const std::string& path) {
  return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::optional<FileId> id_of(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info)) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}
#else
extern "C" void on_stop_signal(int sig) {
  if (pending_set) std::remove(pending_temp);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

std::optional<FileId> id_of(int status, const struct stat& st) {
  if (status != 0) return std::nullopt;
  return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}
#endif

void remember_temp(const std::string& path, [[maybe_unused]] int fd) {
  pending_set = 0;
  if (path.size() < sizeof pending_temp) {
    std::memcpy(pending_temp, path.c_str(), path.size() + 1);
#ifdef _WIN32
    pending_handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
#endif
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
    // Windows refuses to open a folder as "Permission denied".
    why = std::strerror(errno);
    if (is_folder(host_path)) why = "it is a folder";
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

std::optional<FileId> file_id(const std::string& host_path) {
#ifdef _WIN32
  HANDLE h = look_at(host_path);
  std::optional<FileId> id = id_of(h);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return id;
#else
  struct stat st {};
  return id_of(::stat(host_path.c_str(), &st), st);
#endif
}

std::optional<FileId> standard_output_id() {
#ifdef _WIN32
  HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(1));
  if (h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_DISK) return std::nullopt;
  return id_of(h);
#else
  struct stat st {};
  const int status = ::fstat(1, &st);
  if (status == 0 && !S_ISREG(st.st_mode)) return std::nullopt;
  return id_of(status, st);
#endif
}

bool same_file(const std::string& a, const std::string& b) {
  const std::optional<FileId> id = file_id(a);
  return id && id == file_id(b);
}

ResultPlace result_place(const std::string& host_path) {
  using Kind = ResultPlace::Kind;
#ifdef _WIN32
  // Devices (NUL, CON) and pipes are told apart by their handles.
  HANDLE h = look_at(host_path);
  if (h == INVALID_HANDLE_VALUE) return {Kind::none, host_path};
  ResultPlace place{Kind::file, host_path};
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(h) != FILE_TYPE_DISK) {
    place.kind = Kind::other;
  } else if (GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    place.kind = Kind::folder;
  } else if (DWORD a = GetFileAttributesA(host_path.c_str());
             a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT)) {
    // A link: the file it leads to is replaced.
    char final_path[4096];
    const DWORD n = GetFinalPathNameByHandleA(h, final_path, sizeof final_path, FILE_NAME_NORMALIZED);
    std::string p(final_path, n < sizeof final_path ? n : 0);
    if (p.starts_with("\\\\?\\UNC\\"))
      p.replace(0, 8, "\\\\");
    else if (p.starts_with("\\\\?\\"))
      p.erase(0, 4);
    if (!p.empty()) place.file = p;
  }
  CloseHandle(h);
  return place;
#else
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status st = fs::status(host_path, ec);
  if (fs::is_directory(st)) return {Kind::folder, host_path};
  // Written into through the path itself, whatever links lead there
  // (/dev/stdout leads to a descriptor, not to a path).
  if (fs::exists(st) && !fs::is_regular_file(st)) return {Kind::other, host_path};
  // A file, or nothing yet: the end of the path's links, which may not be
  // there yet. The system gives up after 40; so does this, leaving the
  // open to say why.
  fs::path file = host_path;
  for (int hops = 0; fs::is_symlink(fs::symlink_status(file, ec)); ++hops) {
    const fs::path to = fs::read_symlink(file, ec);
    if (ec || hops == 40) return {Kind::other, host_path};
    file = to.is_absolute() ? to : file.parent_path() / to;
  }
  return {fs::exists(st) ? Kind::file : Kind::none, file.string()};
#endif
}

int open_write(const std::string& host_path, std::string& why) {
#ifdef _WIN32
  const int fd = sys_open(host_path.c_str(), O_WRONLY | binary_flag, 0);
#else
  const int fd = sys_open(host_path.c_str(), O_WRONLY | O_NOCTTY, 0);
#endif
  if (fd < 0) why = std::strerror(errno);
  return fd;
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

namespace {

// Creates a file that is not there yet; -1 with `taken` set when the name is.
int create_new(const std::string& path, std::string& why, bool& taken) {
#ifdef _WIN32
  // Open for removal too: a Ctrl-C may remove it while it is written.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    why = error_text(error);
    return -1;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(h), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    why = std::strerror(errno);
    CloseHandle(h);
  }
  return fd;
#else
  const int fd = sys_open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  taken = fd < 0 && errno == EEXIST;
  if (fd < 0) why = std::strerror(errno);
  return fd;
#endif
}

}  // namespace

int create_temp_beside(const std::string& final_path, std::string& temp_path, std::string& why) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_path = final_path + std::string(temp_marker) + std::to_string(sys_pid()) + "-" + std::to_string(attempt);
    bool taken = false;
    int fd = create_new(temp_path, why, taken);
    if (fd >= 0) {
      remember_temp(temp_path, fd);
      return fd;
    }
    if (!taken) return -1;
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
  // Ctrl-C, Ctrl-Break and the console closing: the C library's SIGINT
  // would remove nothing (the file is still open) and sees no other.
  SetConsoleCtrlHandler(on_console_stop, TRUE);
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
