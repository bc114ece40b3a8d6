// Buffered byte output to a descriptor or, for tests, to a string.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "numbers.h"

struct Output {
  explicit Output(std::size_t capacity = std::size_t{1} << 20);

  // Sends everything to descriptor fd (not owned), or to *capture when set.
  void attach(int fd_, std::string* capture_ = nullptr);

  // Appends bytes as they stand.
  void put(std::string_view s) {
    if (s.size() <= buf.size() - used) {
      std::memcpy(buf.data() + used, s.data(), s.size());
      used += s.size();
    } else {
      put_large(s);
    }
  }
  // Appends bytes that stay in place until the call returns: large ones are
  // handed over directly, after what is buffered, without a copy.
  void put_in_place(std::string_view s) {
    if (s.size() < buf.size() / 4) return put(s);
    flush();
    send(s.data(), s.size());
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

  void put_int(int v) { advance(::put_int(room(12), v)); }
  void put_rounded(double x) { advance(::put_rounded(room(max_number_text), x)); }
  void put_truncated(double x) { advance(::put_truncated(room(max_number_text), x)); }
  void put_fixed6(double x) { advance(::put_fixed6(room(max_number_text), x)); }

  // Hands the buffered bytes to the descriptor or the capture.
  void flush();

  // The first write error, if any; later output is dropped.
  [[nodiscard]] bool failed() const { return !error_text.empty(); }
  std::string error_text;
  int fd = -1;

 private:
  void put_large(std::string_view s);
  void send(const char* p, std::size_t n);

  std::vector<char> buf;
  std::size_t used = 0;
  std::string* capture = nullptr;
};
