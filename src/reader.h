// The reads the merge and the dialogue make: whitespace-separated tokens,
// integers and reals, under text-mode rules (every CR is dropped and a byte
// 26 ends the content), through one large buffer that is reused for every file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct Reader {
  explicit Reader(std::size_t block_size = std::size_t{1} << 20);

  // Starts reading a host file; false (reason in why) when it cannot be opened.
  [[nodiscard]] bool open_file(const std::string& host_path, std::string& why);
  // Starts reading a descriptor the reader does not own (standard input).
  void open_fd(int fd);
  // Starts reading bytes held in memory; they must outlive the reading.
  void open_memory(std::string_view bytes);
  void close();

  // Each read first skips whitespace, and returns false when it stores nothing.
  // Token read: the next run of non-whitespace bytes, whole, into `out`.
  bool read_token(std::string& out);
  // Integer read: optional sign and decimal digits, saturated to 32 bits.
  // A sign is consumed even when no digit follows it.
  bool read_int(int& out);
  // Real read: optional sign, digits, optional point and fraction, optional
  // exponent. A lone sign or point is consumed by the failing read.
  bool read_real(double& out);
  // Consumes a real exactly like read_real, without converting it.
  bool skip_real();
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

  std::string error_text;

 private:
  enum class Source { none, fd, memory };

  bool refill();
  bool skip_space();
  int peek_keep(std::string& kept, const char*& start);
  bool scan_real(bool convert, double& out);

  std::vector<char> buf;
  const char* pos = nullptr;  // next unread byte
  const char* end = nullptr;  // end of the bytes in buf (already free of CRs)
  Source source = Source::none;
  int fd = -1;
  bool owns_fd = false;
  std::string_view memory;
  bool source_done = false;  // nothing more will come from the source
  bool eof = false;
  std::uint64_t lines_before = 0;  // line feeds in blocks already consumed
  std::string real_text;           // a real that straddles two blocks
};
