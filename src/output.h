// Buffered byte output to a descriptor or, for tests, to a string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "helper.h"
#include "numbers.h"

struct Output {
  explicit Output(std::size_t capacity = std::size_t{1} << 20);
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Sends everything to descriptor fd (not owned), or to *capture when set.
  void attach(int fd_, std::string* capture_ = nullptr);
  // Writes to the descriptor are made on h's thread while the buffer fills
  // again (none: by the caller); a failure shows at a later flush or finish().
  void set_background(Helper* h);

  // Appends bytes as they stand.
  void put(std::string_view s) {
    if (s.size() <= buf.size() - used) {
      std::memcpy(buf.data() + used, s.data(), s.size());
      used += s.size();
    } else {
      put_large(s);
    }
  }
  // Appends bytes without copying them when they are large: they are handed
  // over, after what is buffered, and must stay in place until
  // wait_written() of the returned ticket (0: nothing to wait for).
  std::uint64_t put_in_place(std::string_view s);
  void wait_written(std::uint64_t ticket);
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
  // The same, then waits for every write handed over and takes its failure.
  void finish();

  // The first write error seen so far, if any; later output is dropped.
  [[nodiscard]] bool failed() {
    take_background_error();
    return !error_text.empty();
  }
  std::string error_text;
  int fd = -1;

 private:
  struct Writes;
  void put_large(std::string_view s);
  void send(const char* p, std::size_t n);
  void take_background_error();
  Helper::Ticket hand_over(const char* p, std::size_t n);
  [[nodiscard]] bool in_background() const;

  std::vector<char> buf;
  std::size_t used = 0;
  std::string* capture = nullptr;
  Helper* helper = nullptr;
  std::unique_ptr<Writes> writes;   // what the writes on the helper's thread found
  std::vector<char> spare;          // the buffer being written there
  Helper::Ticket spare_ticket = 0;  // its write
  Helper::Ticket last_ticket = 0;   // the last write handed over
};
