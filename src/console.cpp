// Console streams and the pacing of progress output.
#include "console.h"

#include "host.h"
#include "state.h"

Console::Console() : out(std::size_t{64} << 10), in(std::size_t{64} << 10) {}

void Console::attach_standard() {
  out.attach(1);
  in.open_fd(0);
  terminal = host::is_terminal(1);
  last_flush_ms = host::now_ms();
}

void Console::attach_memory(std::string_view answers, std::string* shown) {
  out.attach(-1, shown);
  in.open_memory(answers);
  terminal = false;
}

void Console::paced_flush() {
  long long now = host::now_ms();
  if (now - last_flush_ms >= 100) {
    out.flush();
    last_flush_ms = now;
  }
}

void complain(std::string_view message) {
  console.flush();
  std::string text = "talvero: ";
  text += message;
  text += '\n';
  std::string why;
  (void)host::write_all(2, text.data(), text.size(), why);
}
