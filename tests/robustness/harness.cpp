// Child processes with piped standard streams, and scratch images folders.
#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace robustness {

namespace {

void check(bool ok, const char* what) {
  if (!ok) throw std::system_error(errno, std::generic_category(), what);
}

void close_quietly(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Reads what a non-blocking pipe holds into `into`; closes it at its end.
void drain(int& fd, std::string& into) {
  char chunk[65536];
  for (;;) {
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got > 0) {
      into.append(chunk, static_cast<std::size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    close_quietly(fd);
    return;
  }
}

// True for the name of a temporary result: "<name>.dxf.tmp<pid>-<n>".
bool is_temporary_name(const std::string& name) {
  std::size_t at = name.rfind(".dxf.tmp");
  if (at == std::string::npos) return false;
  std::string_view rest = std::string_view(name).substr(at + 8);
  std::size_t dash = rest.find('-');
  auto digits = [](std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
  };
  return dash != std::string_view::npos && digits(rest.substr(0, dash)) && digits(rest.substr(dash + 1));
}

}  // namespace

ToolProcess::ToolProcess(const RunOptions& options) : deadline(std::chrono::steady_clock::now() + options.limit) {
  // A program that stops reading must show up as a short write, not kill the test.
  std::signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  check(::pipe2(in, O_CLOEXEC) == 0 && ::pipe2(out, O_CLOEXEC) == 0 && ::pipe2(err, O_CLOEXEC) == 0, "pipe2");
  std::string images = options.images.string();
  std::string script = options.shell_prefix + "\nexec \"$0\"";
  child = ::fork();
  check(child >= 0, "fork");
  if (child == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::setenv("TALVERO_IMAGES", images.c_str(), 1);
    if (options.shell_prefix.empty())
      ::execl(TALVERO_EXE, TALVERO_EXE, static_cast<char*>(nullptr));
    else
      ::execl("/bin/sh", "sh", "-c", script.c_str(), TALVERO_EXE, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  in_fd = in[1];
  out_fd = out[0];
  err_fd = err[0];
  for (int fd : {in_fd, out_fd, err_fd}) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

ToolProcess::~ToolProcess() {
  if (child > 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }
  close_quietly(in_fd);
  close_quietly(out_fd);
  close_quietly(err_fd);
}

void ToolProcess::pump(int wait_ms, std::string_view* pending_input) {
  pollfd fds[3];
  nfds_t n = 0;
  if (out_fd >= 0) fds[n++] = {out_fd, POLLIN, 0};
  if (err_fd >= 0) fds[n++] = {err_fd, POLLIN, 0};
  bool writing = pending_input != nullptr && !pending_input->empty() && in_fd >= 0;
  if (writing) fds[n++] = {in_fd, POLLOUT, 0};
  if (n == 0) return;
  if (::poll(fds, n, wait_ms) <= 0) return;
  if (out_fd >= 0) drain(out_fd, result.out);
  if (err_fd >= 0) drain(err_fd, result.err);
  if (writing) {
    ssize_t put = ::write(in_fd, pending_input->data(), std::min<std::size_t>(pending_input->size(), 65536));
    if (put > 0)
      pending_input->remove_prefix(static_cast<std::size_t>(put));
    else if (put < 0 && errno != EAGAIN && errno != EINTR)
      *pending_input = {};  // the program no longer reads its input
  }
}

void ToolProcess::send(std::string_view bytes) {
  while (!bytes.empty() && in_fd >= 0 && std::chrono::steady_clock::now() < deadline) pump(100, &bytes);
}

void ToolProcess::close_input() { close_quietly(in_fd); }

bool ToolProcess::wait_for_output(std::string_view text, std::chrono::milliseconds limit) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (result.out.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() >= until || out_fd < 0) return false;
    pump(20, nullptr);
  }
  return true;
}

void ToolProcess::signal(int sig) { ::kill(child, sig); }

RunResult ToolProcess::finish() {
  close_input();
  while (out_fd >= 0 || err_fd >= 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      result.timed_out = true;
      ::kill(child, SIGKILL);
      break;
    }
    pump(100, nullptr);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  child = -1;
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  close_quietly(out_fd);
  close_quietly(err_fd);
  return result;
}

RunResult run_tool(std::string_view answers, const RunOptions& options) {
  ToolProcess p(options);
  p.send(answers);
  return p.finish();
}

Scratch::Scratch() {
  std::string pattern = (fs::temp_directory_path() / "talvero-robustness-XXXXXX").string();
  check(::mkdtemp(pattern.data()) != nullptr, "mkdtemp");
  base = pattern;
}

Scratch::~Scratch() {
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

fs::path Scratch::write(const fs::path& relative, std::string_view bytes) const {
  fs::path p = base / relative;
  fs::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + p.string());
  return p;
}

fs::path Scratch::copy_demo(std::string_view demo_name, const fs::path& relative) const {
  return write(relative, demo(demo_name));
}

std::vector<std::string> Scratch::temporaries() const {
  std::vector<std::string> found;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(base, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (is_temporary_name(it->path().filename().string())) found.push_back(fs::relative(it->path(), base).string());
  }
  return found;
}

bool Scratch::mount_small_tmpfs(const fs::path& relative, std::size_t bytes) {
  fs::path p = base / relative;
  fs::create_directories(p);
  std::string data = "size=" + std::to_string(bytes);
  if (::mount("tmpfs", p.c_str(), "tmpfs", 0, data.c_str()) != 0) return false;
  mounts.push_back(p);
  return true;
}

std::string read_file(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string demo(std::string_view name) {
  std::string text = read_file(fs::path(TALVERO_DEMO_DIR) / (std::string(name) + ".dxf"));
  if (text == "<missing>") throw std::runtime_error("demo drawing missing: " + std::string(name));
  return text;
}

std::size_t count_lines(std::string_view text, std::string_view line) {
  std::size_t n = 0;
  while (!text.empty()) {
    std::size_t e = text.find('\n');
    std::string_view l = text.substr(0, e);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    n += l == line;
    if (e == std::string_view::npos) break;
    text.remove_prefix(e + 1);
  }
  return n;
}

std::string composed(std::string_view folder, std::string_view name) {
  return "c:\\images\\" + std::string(folder) + "\\" + std::string(name) + ".dxf";
}

}  // namespace robustness
