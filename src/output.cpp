// Output buffering: one large block per write call, made on the helper's
// thread when one is given.
#include "output.h"

#include <mutex>
#include <utility>

#include "host.h"

// The outcome of the writes made on the helper's thread.
struct Output::Writes {
  std::mutex mutex;
  bool failed = false;  // later writes are not made
  std::string error;    // the first failure, until taken
};

Output::Output(std::size_t capacity) : buf(capacity < 1024 ? 1024 : capacity) {}

Output::~Output() {
  if (helper != nullptr && last_ticket != 0) helper->wait(last_ticket);
}

void Output::attach(int fd_, std::string* capture_) {
  if (helper != nullptr && last_ticket != 0) helper->wait(last_ticket);
  fd = fd_;
  capture = capture_;
  used = 0;
  error_text.clear();
  if (writes) {
    std::lock_guard<std::mutex> lock(writes->mutex);
    writes->failed = false;
    writes->error.clear();
  }
}

void Output::set_background(Helper* h) {
  if (helper != nullptr && last_ticket != 0) helper->wait(last_ticket);
  take_background_error();
  helper = h;
  last_ticket = spare_ticket = 0;
  if (h == nullptr) {
    writes.reset();
    spare = {};
    return;
  }
  if (!writes) writes = std::make_unique<Writes>();
  spare.resize(buf.size());
}

bool Output::in_background() const { return helper != nullptr && capture == nullptr && fd >= 0; }

void Output::take_background_error() {
  if (!writes) return;
  std::lock_guard<std::mutex> lock(writes->mutex);
  if (!writes->error.empty() && error_text.empty()) error_text = std::exchange(writes->error, std::string());
}

// Hands a write of [p, p + n) to the helper's thread; returns its ticket.
Helper::Ticket Output::hand_over(const char* p, std::size_t n) {
  Writes* w = writes.get();
  const int to = fd;
  last_ticket = helper->post([w, to, p, n] {
    {
      std::lock_guard<std::mutex> lock(w->mutex);
      if (w->failed) return;
    }
    std::string why;
    if (host::write_all(to, p, n, why)) return;
    std::lock_guard<std::mutex> lock(w->mutex);
    w->failed = true;
    w->error = why.empty() ? "write error" : why;
  });
  return last_ticket;
}

void Output::flush() {
  if (used == 0) return;
  if (in_background() && !failed()) {
    // The filled buffer is written while the other one, once written, fills.
    const Helper::Ticket ticket = hand_over(buf.data(), used);
    if (spare_ticket != 0) helper->wait(spare_ticket);
    buf.swap(spare);
    spare_ticket = ticket;
    used = 0;
    return;
  }
  send(buf.data(), used);
  used = 0;
}

void Output::finish() {
  flush();
  if (helper != nullptr && last_ticket != 0) helper->wait(last_ticket);
  take_background_error();
}

std::uint64_t Output::put_in_place(std::string_view s) {
  if (s.size() < buf.size() / 4) {
    put(s);
    return 0;
  }
  flush();
  if (in_background() && !failed()) return hand_over(s.data(), s.size());
  send(s.data(), s.size());
  return 0;
}

void Output::wait_written(std::uint64_t ticket) {
  if (helper != nullptr && ticket != 0) helper->wait(ticket);
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
  } else if (in_background()) {
    helper->wait(hand_over(p, n));  // in order after what was handed over
    take_background_error();
  } else if (fd >= 0 && !host::write_all(fd, p, n, error_text) && error_text.empty()) {
    error_text = "write error";
  }
}
