// Output buffering: one large block per write call.
#include "output.h"

#include "host.h"

Output::Output(std::size_t capacity) : buf(capacity < 1024 ? 1024 : capacity) {}

void Output::attach(int fd_, std::string* capture_) {
  fd = fd_;
  capture = capture_;
  used = 0;
  error_text.clear();
}

void Output::flush() {
  send(buf.data(), used);
  used = 0;
}

void Output::put_large(std::string_view s) {
  flush();
  if (s.size() < buf.size()) {
    std::memcpy(buf.data(), s.data(), s.size());
    used = s.size();
  } else {
    send(s.data(), s.size());
  }
}

void Output::send(const char* p, std::size_t n) {
  if (n == 0 || failed()) return;
  if (capture != nullptr) {
    capture->append(p, n);
  } else if (fd >= 0 && !host::write_all(fd, p, n, error_text) && error_text.empty()) {
    error_text = "write error";
  }
}
