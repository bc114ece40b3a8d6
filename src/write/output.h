// Buffered byte output to a descriptor or, for tests, to a string.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "write/number_text.h"

// An output's buffer. Its bytes are left unset when it is made: its pages
// are then only touched where bytes are written (a run's output of a few
// bytes does not clear megabytes first).
class OutputBytes {
 public:
  explicit OutputBytes(std::size_t n = 0) : bytes(std::make_unique_for_overwrite<char[]>(n)), count(n) {}
  [[nodiscard]] char* data() { return bytes.get(); }
  [[nodiscard]] const char* data() const { return bytes.get(); }
  [[nodiscard]] std::size_t size() const { return count; }
  void swap(OutputBytes& other) noexcept {
    bytes.swap(other.bytes);
    std::swap(count, other.count);
  }

 private:
  std::unique_ptr<char[]> bytes;
  std::size_t count;
};

// Where an output's filled buffers go, when not written at once by the
// caller (the accelerator writes them on its worker thread while the next
// one fills).
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  // Writes the first n bytes of `full` to fd, now or later; may leave in
  // `full` another buffer of the same size to fill next.
  virtual void write(int fd, OutputBytes& full, std::size_t n) = 0;
  // Waits until every write handed over is made.
  virtual void wait() = 0;
  // The first write failure met, or empty.
  [[nodiscard]] virtual std::string failure() = 0;
};

struct Output {
  explicit Output(std::size_t capacity = std::size_t{1} << 20);
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Sends everything to descriptor fd (not owned), or to *capture when set.
  void attach(int fd_, std::string* capture_ = nullptr);
  // Hands filled buffers to sink (null: written by the caller at once).
  void set_sink(OutputSink* s);

  // Appends bytes as they stand.
  void put(std::string_view s) {
    if (s.size() <= buf.size() - used) {
      std::memcpy(buf.data() + used, s.data(), s.size());
      used += s.size();
    } else {
      put_large(s);
    }
  }
  // Appends bytes as they stand, however many, through the buffer: filled
  // buffers are handed on as usual (not written at once, as put() writes a
  // text longer than the buffer).
  void put_through(std::string_view s) {
    for (;;) {
      const std::size_t n = std::min(s.size(), buf.size() - used);
      std::memcpy(buf.data() + used, s.data(), n);
      used += n;
      s.remove_prefix(n);
      if (s.empty()) return;
      flush();
    }
  }
  // Appends a text and a CR LF line end.
  void line(std::string_view s) {
    put(s);
    put("\r\n");
  }
  // Returns room for n bytes (n at most the capacity); commit what was used with advance().
  char* room(std::size_t n) {
    if (buf.size() - used < n) flush();
    return buf.data() + used;
  }
  void advance(char* new_end) { used = static_cast<std::size_t>(new_end - buf.data()); }
  // The end of the buffer: room() returns at least n bytes before it.
  char* room_end() { return buf.data() + buf.size(); }
  [[nodiscard]] std::size_t capacity() const { return buf.size(); }
  // The end of the bytes buffered so far, and how many times the buffer was
  // handed on: bytes written since end() was taken are at it while
  // handed_on() stays the same.
  [[nodiscard]] const char* end() const { return buf.data() + used; }
  // The bytes buffered, not yet handed on.
  [[nodiscard]] std::string_view buffered() const { return {buf.data(), used}; }
  [[nodiscard]] std::uint64_t handed_on() const { return flushes; }
  // Whether the bytes go to a descriptor (not to a capture or nowhere).
  [[nodiscard]] bool to_descriptor() const { return capture == nullptr && fd >= 0; }

  void put_int(int v) { advance(::put_int(room(12), v)); }
  void put_rounded(double x) { advance(::put_rounded(room(max_number_text), x)); }
  void put_truncated(double x) { advance(::put_truncated(room(max_number_text), x)); }
  void put_fixed6(double x) { advance(::put_fixed6(room(max_number_text), x)); }

  // Hands the buffered bytes on.
  void flush();
  // The same, then waits until everything is written and takes any failure.
  void finish();

  // The first write error seen so far, if any; later output is dropped.
  [[nodiscard]] bool failed();
  // Whether bytes were handed on since attach(): a failed result written
  // into as it is made may then hold part of it.
  [[nodiscard]] bool sent_any() const { return sent; }
  std::string error_text;
  int fd = -1;

 private:
  void put_large(std::string_view s);
  void send(const char* p, std::size_t n);

  OutputBytes buf;
  std::size_t used = 0;
  std::uint64_t flushes = 0;
  bool sent = false;
  std::string* capture = nullptr;
  OutputSink* sink = nullptr;
};
