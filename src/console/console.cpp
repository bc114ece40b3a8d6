// Console streams, the pacing of progress output, and diagnostics.
#include "console/console.h"

#include "system/host.h"

Console::Console() : out(std::size_t{64} << 10), in(std::size_t{64} << 10) {}

void Console::attach_standard() {
  out.attach(1);
  in.open_fd(0);
  quiet = false;
  terminal = host::is_terminal(1);
  input_terminal = host::is_terminal(0);
  error_terminal = host::is_terminal(2);
  shared = terminal && error_terminal;
  last_flush_ms = host::now_ms();
  errors = nullptr;
}

void Console::attach_memory(std::string_view answers, std::string* shown, std::string* errors_, bool typed) {
  out.attach(-1, shown);
  in.open_memory(answers);
  quiet = false;
  terminal = false;
  input_terminal = typed;
  error_terminal = false;
  shared = false;
  errors = errors_;
}

void Console::texts_to_standard_error() {
  out.flush();
  if (errors != nullptr)
    out.attach(-1, errors);
  else
    out.attach(2);
  terminal = error_terminal;
  shared = true;
}

void Console::paced_flush() {
  long long now = host::now_ms();
  if (now - last_flush_ms >= 100) {
    out.flush();
    last_flush_ms = now;
  }
}

void Console::complain(std::string_view message) {
  flush();
  to_standard_error("talvero: " + std::string(message) + "\n");
}

void Console::note(std::string_view message) {
  if (quiet) return;
  flush();
  // The running count ends its line with a carriage return, not a line feed.
  const bool below_count = shared && !noted_last;
  to_standard_error((below_count ? "\ntalvero: " : "talvero: ") + std::string(message) + "\n");
  noted_last = true;
}

void Console::to_standard_error(const std::string& line) {
  if (errors != nullptr) {
    *errors += line;
    return;
  }
  std::string why;
  (void)host::write_all(2, line.data(), line.size(), why);
}

std::string both_paths(std::string_view composed, std::string_view host_path) {
  if (composed == host_path) return std::string(composed);
  return std::string(composed) + " (" + std::string(host_path) + ")";
}
