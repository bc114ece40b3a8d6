// The reads the merge and the dialogue make: whitespace-separated tokens,
// integers and reals, under text-mode rules (every CR is dropped and a byte
// 26 ends the content), through large block buffers that are reused for
// every file: the loaded one and, when reading ahead, the one being loaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "helper.h"
#include "scan.h"

// A token's bytes. The storage grows to the longest token met and is kept,
// so reading a token costs one copy and no allocation.
struct Token {
  Token() { grow(256); }
  [[nodiscard]] std::string_view view() const { return {bytes.get(), length}; }
  [[nodiscard]] bool empty() const { return length == 0; }
  void clear() { length = 0; }
  [[nodiscard]] bool is(std::string_view keyword) const {
    return length == keyword.size() && std::memcmp(bytes.get(), keyword.data(), length) == 0;
  }
  void assign(const char* p, std::size_t n) {
    if (n > capacity) grow(n);
    std::memcpy(bytes.get(), p, n);
    length = n;
  }
  // The same where 16 bytes are readable at p, as in the reader's buffer:
  // short tokens are copied without a call.
  void assign_padded(const char* p, std::size_t n) {
    if (n > 16) return assign(p, n);
    std::memcpy(bytes.get(), p, 16);  // the storage always holds at least 256 bytes
    length = n;
  }
  void append(const char* p, std::size_t n);

 private:
  void grow(std::size_t at_least);
  std::unique_ptr<char[]> bytes;
  std::size_t length = 0;
  std::size_t capacity = 0;
};

// The value of the real literal text [first, last) (exponent marker without
// digits left out): correctly rounded, or the largest finite double of its
// sign beyond the range, or zero below it.
double real_value(const char* first, const char* last);

struct Reader {
  explicit Reader(std::size_t block_size = std::size_t{1} << 20);
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;
  // Files opened later are read a block ahead on h's thread (none: not ahead).
  void set_prefetch(Helper* h);
  // Changes the block size (at least 16 bytes) and closes the reader.
  void resize_block(std::size_t block_size);

  // Starts reading a host file; false (reason in why) when it cannot be opened.
  [[nodiscard]] bool open_file(const std::string& host_path, std::string& why);
  // Starts reading a descriptor the reader does not own (standard input).
  void open_fd(int fd);
  // Starts reading bytes held in memory; they must outlive the reading.
  void open_memory(std::string_view bytes);
  void close();

  // Each read first skips whitespace, and returns false when it stores nothing.
  // Token read: the next run of non-whitespace bytes, whole.
  bool read_token(Token& out) { return scan_token(&out); }
  bool read_token(std::string& out);
  // Consumes a token exactly like read_token, without keeping it.
  bool skip_token() { return scan_token(nullptr); }
  // Integer read: optional sign and decimal digits, saturated to 32 bits.
  // A sign is consumed even when no digit follows it.
  bool read_int(int& out) { return scan_int(out); }
  // Real read: optional sign, digits, optional point and fraction, optional
  // exponent. A lone sign or point is consumed by the failing read.
  bool read_real(double& out) { return scan_real<true>(out); }
  // Consumes a real exactly like read_real, without converting it.
  bool skip_real() {
    double unused = 0;
    return scan_real<false>(unused);
  }
  // Drops the non-whitespace bytes at the read position (the rest of a token
  // an integer read refused).
  void drop_rest_of_token();

  // The end-of-input indication: set by a read that ran into the end; every
  // later read fails.
  [[nodiscard]] bool at_end() const { return eof; }
  // True when the host reported a read error; its reason is in error_text.
  [[nodiscard]] bool failed() const { return !error_text.empty(); }
  // The 1-based line of the read position, for messages.
  [[nodiscard]] std::uint64_t line() const;

  // The loaded block, for callers that scan it themselves: its bytes, the
  // read position in it, and its whitespace bitmap (bit k of word k / 64 set
  // when byte k is whitespace; the byte at end counts as whitespace, and 8
  // bytes of the bitmap are readable from any byte offset up to end + 1).
  // Nothing is loaded once the end indication is set.
  struct Loaded {
    const char* base;
    const char* pos;
    const char* end;
    const std::uint64_t* space;
  };
  [[nodiscard]] Loaded loaded() const { return {buf.data(), eof ? end : pos, end, space.data()}; }
  // Blocks loaded so far by this reader, over every file it read: tells
  // one loaded block from the next.
  [[nodiscard]] std::uint64_t loads() const { return blocks_loaded; }
  // Consumes the loaded bytes up to p (between the read position and end).
  void consume_to(const char* p) { pos = p; }

  std::string error_text;

 private:
  enum class Source { none, fd, memory };

  // The general scans, from the read position.
  bool scan_token(Token* out);
  bool scan_int(int& out);
  template <bool convert>
  bool scan_real(double& out) {
    if (!skip_space()) return false;
    bool found = false;
    if (fast_real<convert>(out, found)) return found;
    return slow_real(convert, out);
  }
  // Skips whitespace, loading blocks as needed; false (end indication set) at the end.
  bool skip_space() {
    if (eof) return false;
    pos = buf.data() + scan::next_bit<false>(space.data(), static_cast<std::size_t>(pos - buf.data()));
    if (pos < end) return true;
    pos = end;
    return skip_space_slow();
  }
  // The first whitespace byte at or after p, or the end of the loaded bytes.
  const char* token_end(const char* p) const {
    return buf.data() + scan::next_bit<true>(space.data(), static_cast<std::size_t>(p - buf.data()));
  }
  static int saturate(bool negative, std::uint64_t magnitude) {
    constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<int>::max());
    if (negative) return magnitude > max ? std::numeric_limits<int>::min() : -static_cast<int>(magnitude);
    return magnitude > max ? std::numeric_limits<int>::max() : static_cast<int>(magnitude);
  }

  bool refill();
  bool skip_space_slow();
  bool read_token_rest(Token& out, const char* start);
  bool skip_token_rest();
  void pass_token_bytes();
  bool slow_real(bool convert, double& out);
  template <bool convert>
  bool fast_real(double& out, bool& found);
  int peek_keep(Token& kept, const char*& start);

  std::vector<char> buf;      // one block, then the NUL sentinel and room for vector loads
  std::size_t block = 0;      // bytes loaded at most per block
  std::vector<std::uint64_t> space;  // one bit per loaded byte: set for whitespace
  const char* pos = nullptr;  // next unread byte
  const char* end = nullptr;  // end of the loaded bytes (free of CRs), where a NUL stands
  Source source = Source::none;
  int fd = -1;
  bool owns_fd = false;
  std::string_view memory;
  bool source_done = false;  // nothing more will come from the source
  bool eof = false;
  std::uint64_t blocks_loaded = 0;
  std::uint64_t block_newlines = 0;  // line feeds in the loaded block
  struct Prefetch;
  std::unique_ptr<Prefetch> prefetcher;
  std::uint64_t lines_before = 0;  // line feeds in blocks already consumed
  Token real_text;                 // a real that straddles two blocks
  Token scratch;                   // tokens read for a std::string caller
};
