// Output buffering: one large block per write.
#include "write/output.h"

#include "system/host.h"

Output::Output(std::size_t capacity) : buf(capacity < 1024 ? 1024 : capacity) {}

Output::~Output() {
  if (sink != nullptr) sink->wait();
}

void Output::attach(int fd_, std::string* capture_) {
  if (sink != nullptr) sink->wait();
  fd = fd_;
  capture = capture_;
  used = 0;
  sent = false;
  error_text.clear();
}

void Output::set_sink(OutputSink* s) {
  if (sink != nullptr) {
    sink->wait();
    if (error_text.empty()) error_text = sink->failure();
  }
  sink = s;
}

bool Output::failed() {
  if (error_text.empty() && sink != nullptr) error_text = sink->failure();
  return !error_text.empty();
}

void Output::flush() {
  if (used == 0) return;
  ++flushes;
  sent = true;
  if (sink != nullptr && to_descriptor() && !failed()) {
    sink->write(fd, buf, used);
  } else {
    send(buf.data(), used);
  }
  used = 0;
}

void Output::finish() {
  flush();
  if (sink != nullptr) sink->wait();
  (void)failed();
}

void Output::put_large(std::string_view s) {
  flush();
  ++flushes;
  if (s.size() < buf.size()) {
    std::memcpy(buf.data(), s.data(), s.size());
    used = s.size();
  } else {
    if (sink != nullptr) sink->wait();  // in order after what was handed over
    sent = true;
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
