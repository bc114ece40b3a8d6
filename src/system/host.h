// Host file access: the one place that knows about the operating system
// (path mapping, binary-mode descriptors, the temporary result file, signals).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace host {

// The composed path prefix that stands for the images folder.
inline constexpr std::string_view images_prefix = "c:\\images\\";

// Maps a composed path ("c:\images\..." with backslashes) onto the host: the
// part after the prefix is taken relative to $TALVERO_IMAGES when it is set,
// else to "c:\images\" on Windows and to "./images" elsewhere; backslashes
// become the host's separator.
[[nodiscard]] std::string map_path(std::string_view composed);

// Opens a file for reading in binary mode. Returns a descriptor, or -1 with
// the reason in `why` (a folder counts as a file that cannot be opened, and
// is said to be one).
[[nodiscard]] int open_read(const std::string& host_path, std::string& why);

// Reads up to n bytes; returns the count, 0 at the end, -1 on error (reason in why).
[[nodiscard]] long read_some(int fd, char* buf, std::size_t n, std::string& why);

// Writes all n bytes; returns false on error (reason in why).
[[nodiscard]] bool write_all(int fd, const char* buf, std::size_t n, std::string& why);

void close_fd(int fd);

// True when the file can be opened for reading; else the reason in why.
[[nodiscard]] bool can_read(const std::string& host_path, std::string& why);

// True when the path names a folder (following links).
[[nodiscard]] bool is_folder(const std::string& host_path);

// What the permission bits of an existing file allow.
enum class Existing { none, writable, write_protected };
[[nodiscard]] Existing existing_file(const std::string& host_path);

// True when the environment names the folder that stands for "c:\images\".
[[nodiscard]] bool images_folder_set();

// What tells files apart on this host (device and file number), for a file
// that is there; standard output's when it is a file.
using FileId = std::pair<std::uint64_t, std::uint64_t>;
[[nodiscard]] std::optional<FileId> file_id(const std::string& host_path);
[[nodiscard]] std::optional<FileId> standard_output_id();

// True when both paths exist and name the same file.
[[nodiscard]] bool same_file(const std::string& a, const std::string& b);

// What a result's path names. A device or a FIFO (`other`) is written into
// as it stands; a file, or nothing yet, is replaced or made at `file`: the
// path itself, or where its symbolic links lead, so that they are kept.
struct ResultPlace {
  enum class Kind { none, file, folder, other } kind = Kind::none;
  std::string file;
};
[[nodiscard]] ResultPlace result_place(const std::string& host_path);

// Opens an existing file for writing into it (a device, a FIFO): a
// descriptor, or -1 with the reason in why.
[[nodiscard]] int open_write(const std::string& host_path, std::string& why);

// Creates a new, empty temporary file next to `final_path` (exclusively, so
// nothing existing is touched) and registers it for removal if the process
// is stopped (a signal; on Windows Ctrl-C, Ctrl-Break or the console
// closing). Returns a descriptor or -1 with the reason in why.
[[nodiscard]] int create_temp_beside(const std::string& final_path, std::string& temp_path, std::string& why);

// True for a name create_temp_beside gives: "<name>.tmp<pid>-<n>".
[[nodiscard]] bool is_temporary_name(std::string_view file_name);

// Closes the temporary file and moves it over `final_path`, which keeps the
// permission bits of the file it replaces; false with the reason on failure.
[[nodiscard]] bool commit_temp(int fd, const std::string& temp_path, const std::string& final_path, std::string& why);

// Closes and removes the temporary file, leaving whatever `final_path` held untouched.
void discard_temp(int fd, const std::string& temp_path);

// Puts the standard streams in binary mode, and makes write errors and
// hang-ups reach the program as errors it can clean up after. (On Windows,
// wildcards in the arguments are expanded before main, as by the system's
// own command-line tools.)
void prepare_process();

[[nodiscard]] bool is_terminal(int fd);

// Milliseconds from an arbitrary fixed point, for pacing console flushes.
[[nodiscard]] long long now_ms();

}  // namespace host
