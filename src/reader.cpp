// Byte scanning for the three reads, with text-mode rules applied per block.
#include "reader.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "host.h"

namespace {

using scan::is_digit;
using scan::is_space;

// Room after the sentinel for the 16-byte loads of the scanner.
constexpr std::size_t load_margin = 64;

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

void Token::grow(std::size_t at_least) {
  std::size_t wanted = capacity == 0 ? at_least : std::max(at_least, capacity * 2);
  auto bigger = std::make_unique<char[]>(wanted);
  if (length > 0) std::memcpy(bigger.get(), bytes.get(), length);
  bytes = std::move(bigger);
  capacity = wanted;
}

void Token::append(const char* p, std::size_t n) {
  if (length + n > capacity) grow(length + n);
  std::memcpy(bytes.get() + length, p, n);
  length += n;
}

namespace {

// What one load put into a block buffer.
struct Load {
  std::size_t n = 0;           // bytes of content, followed by a NUL
  std::uint64_t newlines = 0;  // line feeds among them
  bool done = false;           // nothing more will come from the source
  std::string error;           // why the source could not be read
};

// Reads from a descriptor, or from the memory given, into b (block bytes at
// most) until some content is there or the source ends, applies the
// text-mode rules (a byte 26 ends the content, and CRs are not seen), and
// marks the whitespace in bits.
Load load_block(int fd, std::string_view* memory, char* b, std::uint64_t* bits, std::size_t block) {
  Load l;
  while (!l.done) {
    std::size_t n = 0;
    if (memory != nullptr) {
      n = std::min(memory->size(), block);
      std::memcpy(b, memory->data(), n);
      memory->remove_prefix(n);
    } else if (fd >= 0) {
      long got = host::read_some(fd, b, block, l.error);
      n = got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    if (n == 0) {
      l.done = true;
      break;
    }
    b[n] = '\0';
    scan::Marks marks = scan::space_bits(b, n, bits);
    if (marks.text_mode) {
      // The bytes change: cut at a byte 26, drop the CRs, and mark again.
      if (const void* eot = std::memchr(b, 26, n)) {
        n = static_cast<std::size_t>(static_cast<const char*>(eot) - b);
        l.done = true;
      }
      n = drop_cr(b, n);
      b[n] = '\0';
      marks = scan::space_bits(b, n, bits);
    }
    if (n > 0) {
      l.n = n;
      l.newlines = marks.lines;
      return l;
    }
  }
  b[0] = '\0';
  scan::space_bits(b, 0, bits);
  return l;
}

}  // namespace

// Reading ahead: the second thread loads the next block of a file into a
// spare buffer while the current one is read; a refill then swaps the buffers.
struct Reader::Prefetch {
  explicit Prefetch(Helper& h) : helper(h) {}
  ~Prefetch() { settle(); }

  // Loads the next block of fd into the spare buffer.
  void start(int fd, std::size_t bytes, std::size_t words, std::size_t block) {
    if (buf.size() != bytes) buf.assign(bytes, '\0');
    if (space.size() != words) space.assign(words, 0);
    ticket = helper.post([this, fd, block] { result = load_block(fd, nullptr, buf.data(), space.data(), block); });
  }
  // Waits for the load and swaps its buffers with the caller's.
  Load take(std::vector<char>& bytes, std::vector<std::uint64_t>& bits) {
    settle();
    bytes.swap(buf);
    bits.swap(space);
    return std::move(result);
  }
  // Waits for a load still going on (before its descriptor is closed).
  void settle() {
    if (ticket != 0) helper.wait(ticket);
    ticket = 0;
  }
  [[nodiscard]] bool loading() const { return ticket != 0; }
  [[nodiscard]] bool uses(const Helper* h) const { return h == &helper; }

 private:
  Helper& helper;
  Helper::Ticket ticket = 0;  // the load started and not yet taken
  std::vector<char> buf;
  std::vector<std::uint64_t> space;
  Load result;  // written by the second thread until the load is done
};

Reader::~Reader() = default;

void Reader::set_prefetch(Helper* h) {
  if (prefetcher && prefetcher->uses(h)) return;  // its buffers are kept
  prefetcher.reset();  // waits for a load still going on
  if (h != nullptr) prefetcher = std::make_unique<Prefetch>(*h);
}

Reader::Reader(std::size_t block_size)
    : buf((block_size < 16 ? 16 : block_size) + load_margin),
      block(buf.size() - load_margin),
      space(block / 64 + 2) {
  close();
}

void Reader::resize_block(std::size_t block_size) {
  close();
  buf.assign((block_size < 16 ? 16 : block_size) + load_margin, '\0');
  block = buf.size() - load_margin;
  space.assign(block / 64 + 2, 0);
  close();
}

bool Reader::open_file(const std::string& host_path, std::string& why) {
  close();
  int d = host::open_read(host_path, why);
  if (d < 0) return false;
  source = Source::fd;
  fd = d;
  owns_fd = true;
  if (prefetcher) prefetcher->start(fd, buf.size(), space.size(), block);
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
  if (prefetcher) prefetcher->settle();
  if (owns_fd) host::close_fd(fd);
  source = Source::none;
  fd = -1;
  owns_fd = false;
  memory = {};
  pos = end = buf.data();
  buf[0] = '\0';
  scan::space_bits(buf.data(), 0, space.data());
  source_done = false;
  eof = false;
  lines_before = 0;
  block_newlines = 0;
  error_text.clear();
}

std::uint64_t Reader::line() const {
  return lines_before + scan::count(buf.data(), pos, '\n') + 1;
}

// Loads the next block; only called once everything loaded is consumed.
bool Reader::refill() {
  lines_before += block_newlines;
  block_newlines = 0;
  char* b = buf.data();
  pos = end = b;
  *b = '\0';
  scan::space_bits(b, 0, space.data());
  if (source_done) return false;
  Load l;
  if (prefetcher && prefetcher->loading()) {
    l = prefetcher->take(buf, space);
    if (!l.done) prefetcher->start(fd, buf.size(), space.size(), block);
  } else {
    l = load_block(source == Source::fd ? fd : -1, source == Source::memory ? &memory : nullptr, b, space.data(), block);
  }
  if (!l.error.empty() && error_text.empty()) error_text = l.error;
  source_done = l.done;
  if (l.n == 0) {
    source_done = true;
    pos = end = buf.data();
    return false;
  }
  block_newlines = l.newlines;
  pos = buf.data();
  end = pos + l.n;
  ++blocks_loaded;
  return true;
}

bool Reader::skip_space_slow() {
  for (;;) {
    if (!refill()) {
      eof = true;
      return false;
    }
    pos = buf.data() + scan::next_bit<false>(space.data(), 0);
    if (pos < end) return true;
    pos = end;
  }
}

// Advances over token bytes up to whitespace or the end of the loaded bytes.
void Reader::pass_token_bytes() { pos = token_end(pos); }

// Goes on with a token that reached the end of the loaded bytes.
bool Reader::read_token_rest(Token& out, const char* start) {
  pass_token_bytes();
  out.assign(start, static_cast<std::size_t>(pos - start));
  while (pos == end) {
    if (!refill()) {
      eof = true;
      break;
    }
    start = pos;
    pass_token_bytes();
    out.append(start, static_cast<std::size_t>(pos - start));
  }
  return true;
}

bool Reader::skip_token_rest() {
  pass_token_bytes();
  while (pos == end) {
    if (!refill()) {
      eof = true;
      break;
    }
    pass_token_bytes();
  }
  return true;
}

bool Reader::scan_token(Token* out) {
  if (!skip_space()) return false;
  const char* start = pos;
  pos = token_end(pos);
  if (pos != end) {
    if (out != nullptr) out->assign(start, static_cast<std::size_t>(pos - start));
    return true;
  }
  return out != nullptr ? read_token_rest(*out, start) : skip_token_rest();
}

bool Reader::read_token(std::string& out) {
  if (!read_token(scratch)) return false;
  out.assign(scratch.view());
  return true;
}

void Reader::drop_rest_of_token() {
  if (eof) return;
  for (;;) {
    pass_token_bytes();
    if (pos != end) break;
    if (!refill()) {
      eof = true;
      break;
    }
  }
}

bool Reader::scan_int(int& out) {
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
  // Past 32 bits only the saturation matters, so the magnitude stops growing.
  constexpr std::uint64_t cap = std::uint64_t{1} << 40;
  std::uint64_t magnitude = 0;
  for (;;) {
    while (is_digit(*pos)) {
      magnitude = magnitude * 10 + static_cast<unsigned>(*pos - '0');
      if (magnitude > cap) magnitude = cap;
      ++pos;
    }
    if (pos != end) break;
    if (!refill()) {
      eof = true;
      break;
    }
  }
  out = saturate(negative, magnitude);
  return true;
}

// Returns the byte at the read position, loading the next block when needed;
// bytes of the item already scanned are first kept in `kept`. -1 at the end.
int Reader::peek_keep(Token& kept, const char*& start) {
  if (pos != end) return static_cast<unsigned char>(*pos);
  kept.append(start, static_cast<std::size_t>(pos - start));
  if (!refill()) {
    eof = true;
    start = pos;
    return -1;
  }
  start = pos;
  return static_cast<unsigned char>(*pos);
}

// Scans a real that lies wholly in the loaded bytes and converts it when its
// digits fit 64 bits. Returns false, consuming nothing, when the literal may
// go on past the loaded bytes or needs the general conversion.
template <bool convert>
bool Reader::fast_real(double& out, bool& found) {
  double value = 0;
  bool digits = false;
  const char* p = scan::real_literal<convert>(pos, &value, &digits);
  if (p == nullptr || p == end) return false;
  if (convert && digits) out = value;
  pos = p;
  found = digits;
  return true;
}

template bool Reader::fast_real<true>(double&, bool&);
template bool Reader::fast_real<false>(double&, bool&);

// The real read where the fast path declines: the literal may go on in the
// next block, or has long digit runs, or a large exponent.
bool Reader::slow_real(bool convert, double& out) {
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
    real_text.append(start, static_cast<std::size_t>(pos - start));
    text = real_text.view().data();
  }
  out = real_value(text, text + value_length);
  return true;
}

double real_value(const char* first, const char* last) {
  if (*first == '+') ++first;
  double value = 0;
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec == std::errc::result_out_of_range) {
    // Beyond the double range: the largest finite double, or zero.
    std::string copy(first, last);
    value = std::strtod(copy.c_str(), nullptr);
    if (std::isinf(value)) value = std::copysign(DBL_MAX, value);
  }
  return value;
}
