// Byte scanning for the three reads, with text-mode rules applied per block.
#include "reader.h"

#include <algorithm>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "host.h"

namespace {

// Whitespace as the C library classifies it in the "C" locale.
constexpr bool is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
constexpr bool is_digit(int c) { return static_cast<unsigned>(c - '0') < 10; }

struct SpaceTable {
  bool t[256] = {};
  constexpr SpaceTable() {
    for (int c = 0; c < 256; ++c) t[c] = is_space(static_cast<unsigned char>(c));
  }
};
constexpr SpaceTable space_table;
inline bool space(char c) { return space_table.t[static_cast<unsigned char>(c)]; }

// Removes every CR from [p, p+n) in place; returns the new length.
std::size_t drop_cr(char* p, std::size_t n) {
  char* first = static_cast<char*>(std::memchr(p, '\r', n));
  if (first == nullptr) return n;
  char* out = first;
  for (const char* in = first; in != p + n; ++in) {
    *out = *in;
    out += (*in != '\r');
  }
  return static_cast<std::size_t>(out - p);
}

}  // namespace

Reader::Reader(std::size_t block_size) : buf(block_size < 16 ? 16 : block_size) {}

bool Reader::open_file(const std::string& host_path, std::string& why) {
  close();
  int d = host::open_read(host_path, why);
  if (d < 0) return false;
  source = Source::fd;
  fd = d;
  owns_fd = true;
  return true;
}

void Reader::open_fd(int d) {
  close();
  source = Source::fd;
  fd = d;
  owns_fd = false;
}

void Reader::open_memory(std::string_view bytes) {
  close();
  source = Source::memory;
  memory = bytes;
}

void Reader::close() {
  if (owns_fd) host::close_fd(fd);
  source = Source::none;
  fd = -1;
  owns_fd = false;
  memory = {};
  pos = end = nullptr;
  source_done = false;
  eof = false;
  lines_before = 0;
  error_text.clear();
}

std::uint64_t Reader::line() const {
  const char* begin = buf.data();
  if (pos == nullptr) return lines_before + 1;
  return lines_before + static_cast<std::uint64_t>(std::count(begin, pos, '\n')) + 1;
}

// Loads the next block; only called once everything loaded is consumed.
bool Reader::refill() {
  char* b = buf.data();
  if (end != nullptr) lines_before += static_cast<std::uint64_t>(std::count(b, const_cast<char*>(end), '\n'));
  pos = end = b;
  while (!source_done) {
    std::size_t n = 0;
    if (source == Source::memory) {
      n = std::min(memory.size(), buf.size());
      std::memcpy(b, memory.data(), n);
      memory.remove_prefix(n);
    } else if (source == Source::fd) {
      long got = host::read_some(fd, b, buf.size(), error_text);
      n = got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    if (n == 0) {
      source_done = true;
      break;
    }
    // Text mode: a byte 26 ends the content, and CRs are not seen.
    if (const void* eot = std::memchr(b, 26, n)) {
      n = static_cast<std::size_t>(static_cast<const char*>(eot) - b);
      source_done = true;
    }
    n = drop_cr(b, n);
    if (n > 0) {
      end = b + n;
      return true;
    }
  }
  return false;
}

bool Reader::skip_space() {
  if (eof) return false;
  for (;;) {
    while (pos != end && space(*pos)) ++pos;
    if (pos != end) return true;
    if (!refill()) {
      eof = true;
      return false;
    }
  }
}

bool Reader::read_token(std::string& out) {
  if (!skip_space()) return false;
  const char* start = pos;
  while (pos != end && !space(*pos)) ++pos;
  out.assign(start, pos);
  while (pos == end) {
    if (!refill()) {
      eof = true;
      break;
    }
    start = pos;
    while (pos != end && !space(*pos)) ++pos;
    out.append(start, pos);
  }
  return true;
}

void Reader::drop_rest_of_token() {
  if (eof) return;
  for (;;) {
    while (pos != end && !space(*pos)) ++pos;
    if (pos != end) return;
    if (!refill()) {
      eof = true;
      return;
    }
  }
}

bool Reader::read_int(int& out) {
  if (!skip_space()) return false;
  bool negative = false;
  if (*pos == '+' || *pos == '-') {
    negative = *pos == '-';
    ++pos;
    if (pos == end && !refill()) {
      eof = true;
      return false;
    }
  }
  if (!is_digit(*pos)) return false;
  // Digits past 32 bits only keep the magnitude saturated.
  constexpr std::uint64_t cap = std::uint64_t{1} << 40;
  std::uint64_t magnitude = 0;
  for (;;) {
    while (pos != end && is_digit(*pos)) {
      if (magnitude < cap) magnitude = magnitude * 10 + static_cast<unsigned>(*pos - '0');
      ++pos;
    }
    if (pos != end) break;
    if (!refill()) {
      eof = true;
      break;
    }
  }
  constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<int>::max());
  if (negative)
    out = magnitude > max ? std::numeric_limits<int>::min() : -static_cast<int>(magnitude);
  else
    out = magnitude > max ? std::numeric_limits<int>::max() : static_cast<int>(magnitude);
  return true;
}

// Returns the byte at the read position, loading the next block when needed;
// bytes of the item already scanned are first kept in `kept`. -1 at the end.
int Reader::peek_keep(std::string& kept, const char*& start) {
  if (pos != end) return static_cast<unsigned char>(*pos);
  kept.append(start, pos);
  if (!refill()) {
    eof = true;
    start = pos;
    return -1;
  }
  start = pos;
  return static_cast<unsigned char>(*pos);
}

bool Reader::read_real(double& out) { return scan_real(true, out); }

bool Reader::skip_real() {
  double unused = 0;
  return scan_real(false, unused);
}

bool Reader::scan_real(bool convert, double& out) {
  if (!skip_space()) return false;
  real_text.clear();
  const char* start = pos;
  std::size_t length = 0;  // bytes of the literal scanned so far
  auto take = [&] {
    ++pos;
    ++length;
    return peek_keep(real_text, start);
  };
  int c = static_cast<unsigned char>(*pos);
  if (c == '+' || c == '-') c = take();
  bool digits = false;
  while (is_digit(c)) {
    digits = true;
    c = take();
  }
  if (c == '.') {
    c = take();
    while (is_digit(c)) {
      digits = true;
      c = take();
    }
  }
  if (!digits) return false;
  std::size_t value_length = length;
  if (c == 'e' || c == 'E') {
    c = take();
    if (c == '+' || c == '-') c = take();
    bool exponent_digits = false;
    while (is_digit(c)) {
      exponent_digits = true;
      c = take();
    }
    // An exponent marker without digits is consumed but adds nothing.
    if (exponent_digits) value_length = length;
  }
  if (!convert) return true;

  const char* text = pos - length;
  if (!real_text.empty()) {
    real_text.append(start, pos);
    text = real_text.data();
  }
  const char* first = text;
  const char* last = text + value_length;
  if (*first == '+') ++first;
  double value = 0;
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec == std::errc::result_out_of_range) {
    // Beyond the double range: the largest finite double, or zero.
    std::string copy(first, last);
    value = std::strtod(copy.c_str(), nullptr);
    if (std::isinf(value)) value = std::copysign(DBL_MAX, value);
  }
  out = value;
  return true;
}
