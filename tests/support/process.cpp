// Child processes with piped standard streams.
#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>

namespace support {

namespace {

void check(bool ok, const char* what) {
  if (!ok) throw std::system_error(errno, std::generic_category(), what);
}

void close_quietly(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Reads what a non-blocking pipe or terminal holds; closes it at its end (a
// terminal's end is an error once the program has closed its side).
void drain(int& fd, std::string& into) {
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got > 0) {
      into.append(chunk, static_cast<std::size_t>(got));
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) close_quietly(fd);
      return;
    }
  }
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> p;
  for (std::string& t : texts) p.push_back(t.data());
  p.push_back(nullptr);
  return p;
}

}  // namespace

const char* talvero_executable() { return TALVERO_EXE; }

Process::Process(const ProcessOptions& options) : deadline(std::chrono::steady_clock::now() + options.limit) {
  // A program that stops reading must show up as a short write, not end the test.
  std::signal(SIGPIPE, SIG_IGN);
  // Everything the child needs is made before the fork.
  std::vector<std::string> args;
  if (!options.shell_prefix.empty()) args = {"sh", "-c", options.shell_prefix + "\nexec \"$0\" \"$@\""};
  args.push_back(options.program);
  args.insert(args.end(), options.args.begin(), options.args.end());
  std::vector<char*> argv = pointers(args);
  const char* file = options.shell_prefix.empty() ? options.program.c_str() : "/bin/sh";

  // The child's standard streams, and this side of them.
  int streams[3];
  if (options.terminal) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    check(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0, "posix_openpt");
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    check(slave >= 0, "open the pseudo-terminal");
    termios raw{};
    check(::tcgetattr(slave, &raw) == 0, "tcgetattr");
    ::cfmakeraw(&raw);
    check(::tcsetattr(slave, TCSANOW, &raw) == 0, "tcsetattr");
    streams[0] = streams[1] = streams[2] = slave;
    out_fd = master;
    in_fd = ::fcntl(master, F_DUPFD_CLOEXEC, 0);
    check(in_fd >= 0, "dup");
  } else {
    int in[2], out[2], err[2];
    check(::pipe2(in, O_CLOEXEC) == 0 && ::pipe2(out, O_CLOEXEC) == 0 && ::pipe2(err, O_CLOEXEC) == 0, "pipe2");
    streams[0] = in[0], streams[1] = out[1], streams[2] = err[1];
    in_fd = in[1], out_fd = out[0], err_fd = err[0];
  }
  child = ::fork();
  check(child >= 0, "fork");
  if (child == 0) {
    if (options.terminal) ::setsid();
    for (int k = 0; k < 3; ++k) ::dup2(streams[k], k);
    std::signal(SIGPIPE, SIG_DFL);
    ::execv(file, argv.data());
    ::_exit(127);
  }
  for (int k = 0; k < 3; ++k)
    if (k == 0 || streams[k] != streams[0]) ::close(streams[k]);
  for (int fd : {in_fd, out_fd, err_fd})
    if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

Process::~Process() {
  if (child > 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }
  close_quietly(in_fd);
  close_quietly(out_fd);
  close_quietly(err_fd);
}

void Process::pump(int wait_ms, std::string_view* pending_input) {
  pollfd fds[3];
  nfds_t n = 0;
  if (out_fd >= 0) fds[n++] = {out_fd, POLLIN, 0};
  if (err_fd >= 0) fds[n++] = {err_fd, POLLIN, 0};
  const bool writing = pending_input != nullptr && !pending_input->empty() && in_fd >= 0;
  if (writing) fds[n++] = {in_fd, POLLOUT, 0};
  if (n == 0 || ::poll(fds, n, wait_ms) <= 0) return;
  if (out_fd >= 0) drain(out_fd, result.out);
  if (err_fd >= 0) drain(err_fd, result.err);
  if (writing) {
    const ssize_t put = ::write(in_fd, pending_input->data(), std::min<std::size_t>(pending_input->size(), 65536));
    if (put > 0)
      pending_input->remove_prefix(static_cast<std::size_t>(put));
    else if (put < 0 && errno != EAGAIN && errno != EINTR)
      *pending_input = {};  // the program no longer reads its input
  }
}

void Process::send(std::string_view bytes) {
  while (!bytes.empty() && in_fd >= 0 && std::chrono::steady_clock::now() < deadline) pump(100, &bytes);
}

void Process::close_input() { close_quietly(in_fd); }

bool Process::wait_for_output(std::string_view text, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (result.out.find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() >= until || out_fd < 0) return false;
    pump(20, nullptr);
  }
  return true;
}

void Process::signal(int sig) { ::kill(child, sig); }

ProcessEnd Process::finish() {
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

ProcessEnd run_process(std::string_view input, const ProcessOptions& options) {
  Process p(options);
  p.send(input);
  return p.finish();
}

}  // namespace support
