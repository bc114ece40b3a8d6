// Where a drawing's lines go: a large buffer written out as it fills, or, for a pass that only
// measures, bytes counted and dropped.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "gen/decimal.h"

// Room that any single entity item (up to a whole VERTEX) needs.
inline constexpr std::size_t kItemRoom = 512;

class Sink {
 public:
  // file == nullptr: count bytes only.
  Sink(std::FILE* file, bool crlf) : file_(file), crlf_(crlf), buf_(file ? kBuffer : kScratch) {}

  // Makes room for n more bytes; every put below but lines() assumes room was made.
  void reserve(std::size_t n) {
    if (pos_ + n > buf_.size()) flush();
  }

  void flush() {
    if (file_ != nullptr && pos_ != 0 && std::fwrite(buf_.data(), 1, pos_, file_) != pos_) failed_ = true;
    flushed_ += pos_;
    pos_ = 0;
  }

  void eol() {
    if (crlf_) buf_[pos_++] = '\r';
    buf_[pos_++] = '\n';
  }

  void text(std::string_view s) {
    std::memcpy(buf_.data() + pos_, s.data(), s.size());
    pos_ += s.size();
    eol();
  }

  // Every line of a block of text (each ending in '\n'), with this sink's line ends.
  void lines(std::string_view block) {
    while (!block.empty()) {
      const std::size_t n = block.find('\n');
      const std::string_view line = block.substr(0, n);
      reserve(line.size() + 2);
      text(line);
      block.remove_prefix(n == std::string_view::npos ? block.size() : n + 1);
    }
  }

  // A group code and its text value.
  void item(int c, std::string_view s) {
    code(c);
    text(s);
  }

  // Group code, right-aligned in three columns.
  void code(int c) {
    char* p = buf_.data() + pos_;
    char* end = put_digits(p + 3, static_cast<std::uint64_t>(c));  // scratch right of p
    const auto n = static_cast<std::size_t>(end - (p + 3));
    const std::size_t pad = n < 3 ? 3 - n : 0;
    std::memmove(p + pad, p + 3, n);
    std::memset(p, ' ', pad);
    pos_ += pad + n;
    eol();
  }

  // Integer value, right-aligned in `width` columns (0: no padding).
  void integer(std::int64_t v, std::size_t width = 0) {
    char tmp[24];
    char* q = tmp;
    if (v < 0) *q++ = '-';
    q = put_digits(q, v < 0 ? static_cast<std::uint64_t>(-v) : static_cast<std::uint64_t>(v));
    const auto n = static_cast<std::size_t>(q - tmp);
    for (std::size_t i = n; i < width; ++i) buf_[pos_++] = ' ';
    std::memcpy(buf_.data() + pos_, tmp, n);
    pos_ += n;
    eol();
  }

  void real(const Real& r) {
    char* p = buf_.data() + pos_;
    pos_ += static_cast<std::size_t>(put_real(p, r) - p);
    eol();
  }

  // Hexadecimal digits, upper case, at least `width` of them (handles).
  void hex(std::uint64_t v, int width = 1) {
    char digits[17];
    int n = 0;
    do {
      digits[n++] = "0123456789ABCDEF"[v % 16];
      v /= 16;
    } while (v != 0);
    while (n < width) digits[n++] = '0';
    while (n > 0) buf_[pos_++] = digits[--n];
    eol();
  }

  std::uint64_t bytes() const { return flushed_ + pos_; }
  bool failed() const { return failed_; }

 private:
  static constexpr std::size_t kBuffer = 8u << 20;
  static constexpr std::size_t kScratch = 256u << 10;

  std::FILE* file_;
  bool crlf_;
  std::vector<char> buf_;
  std::size_t pos_ = 0;
  std::uint64_t flushed_ = 0;
  bool failed_ = false;
};
