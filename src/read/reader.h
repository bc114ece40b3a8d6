// The reads the merge and the dialogue make: whitespace-separated tokens,
// integers and reals, under text-mode rules (every CR is dropped and a byte
// 26 ends the content), through one large block buffer reused for every
// file. The reads scan the block byte by byte; a NUL stands after its last
// byte, so most loops need no bounds test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// A token's bytes. The storage grows to the longest token met and is kept,
// so reading a token costs one copy and no allocation.
struct Token {
  Token() { grow(256); }
  [[nodiscard]] std::string_view view() const { return {bytes.get(), length}; }
  [[nodiscard]] bool empty() const { return length == 0; }
  void clear() { length = 0; }
  // Whether the token is the keyword, compared whole and case-sensitively.
  [[nodiscard]] bool is(std::string_view keyword) const {
    return length == keyword.size() && std::memcmp(bytes.get(), keyword.data(), length) == 0;
  }
  void assign(const char* p, std::size_t n) {
    if (n > capacity) grow(n);
    std::memcpy(bytes.get(), p, n);
    length = n;
  }
  void append(const char* p, std::size_t n);

 private:
  void grow(std::size_t at_least);
  std::unique_ptr<char[]> bytes;
  std::size_t length = 0;
  std::size_t capacity = 0;
};

// Where a reader's bytes come from: a descriptor or bytes held in memory.
struct Source {
  int fd = -1;  // read from when memory is not used
  bool in_memory = false;
  std::string_view memory;  // what is left of the bytes in memory
  std::string head;         // its first bytes (up to head_size) as they are, before text-mode rules
  static constexpr std::size_t head_size = 32;
  bool changed = false;  // text-mode rules changed a block of it: they are applied to the next before it is marked
};

// Readable bytes after a block's content: a NUL, then room for the wide loads of scanners.
inline constexpr std::size_t block_margin = 64;

// One block of an input as loaded: its content under text-mode rules, then
// a NUL and the rest of block_margin.
struct Block {
  std::vector<char> bytes;  // capacity + block_margin
  std::size_t size = 0;     // content bytes
  std::uint64_t lines = 0;  // line feeds in the content
  bool last = false;        // nothing more comes from the source
  std::string error;        // why the source could not be read
};

// What loading notes of a block's bytes as it looks for the bytes that
// text-mode rules change.
struct BlockMarks {
  std::uint64_t lines = 0;  // line feeds
  bool text_mode = false;   // a CR or a byte 26 is there
};
// Looks over the n bytes at p (a NUL at p[n], block_margin bytes readable
// from p + n); context belongs to the marker.
using Marker = BlockMarks (*)(const char* p, std::size_t n, void* context);
BlockMarks plain_marks(const char* p, std::size_t n, void* context);

// Fills b with the next bytes of the source (at most capacity, at least one
// unless the source has ended), applies the text-mode rules and marks them.
void load_block(Source& source, Block& b, std::size_t capacity, Marker mark, void* context);

// Supplies a reader's blocks in a way of its own (the accelerator reads the
// next block while this one is read, and notes more as it loads).
class BlockLoader {
 public:
  virtual ~BlockLoader() = default;
  // Reading of the source starts; blocks are asked for with next() until
  // one is the last. The source is the reader's and stays in place.
  virtual void start(Source& source, std::size_t capacity) = 0;
  // Reading of the source stops: nothing may touch it after this returns.
  virtual void stop() = 0;
  // The next block; it stays valid until the next call to next() or stop().
  virtual Block& next() = 0;
};

struct Reader {
  explicit Reader(std::size_t block_size = std::size_t{1} << 20);
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // Blocks of the sources opened later come from the loader (null: read here).
  void set_loader(BlockLoader* l);
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
  // The same as a view, valid until the next read or rewind: into the
  // loaded block, or into the reader's own copy of a token that straddles two.
  bool read_token(std::string_view& out);
  // Consumes a token exactly like read_token, without keeping it.
  bool skip_token() { return scan_token(nullptr); }
  // Integer read: optional sign and decimal digits, saturated to 32 bits.
  // A sign is consumed even when no digit follows it.
  bool read_int(int& out);
  // Real read: the literal of read/real_literal.h. A lone sign or point is
  // consumed by the failing read.
  bool read_real(double& out) { return scan_real(&out); }
  // Consumes a real exactly like read_real, without converting it.
  bool skip_real() { return scan_real(nullptr); }
  // Drops the non-whitespace bytes at the read position (the rest of a token
  // an integer read refused).
  void drop_rest_of_token();
  // Line read: the rest of the line at the read position, without its line
  // feed (which is consumed); false at the end of the input, nothing left.
  bool read_line(std::string& out);
  // The same as a view, valid until the next read or rewind.
  bool read_line(std::string_view& out);
  // Whether the last line read ended with its line feed (else with the input).
  [[nodiscard]] bool last_line_ended() const { return line_ended; }
  // Whether the read position is at whitespace or the end of the input: an
  // item just read was a whole token.
  [[nodiscard]] bool at_token_end();

  // Marks the read position, so that what is read from there on can be
  // read again: rewind() goes back to it, forget_mark() drops it. The bytes
  // read since the mark are kept while it stands.
  void mark();
  void rewind();
  void forget_mark();

  // The end-of-input indication: set by a read that ran into the end; every
  // later read fails.
  [[nodiscard]] bool at_end() const { return eof; }
  // True when the host reported a read error; its reason is in error_text.
  [[nodiscard]] bool failed() const { return !error_text.empty(); }
  // The 1-based line of the read position, for messages.
  [[nodiscard]] std::uint64_t line() const;
  // The source's first bytes (up to Source::head_size) as they are, before
  // text-mode rules (known once the reads have loaded them).
  [[nodiscard]] std::string_view raw_head() const { return source.head; }

  // For a caller that scans the loaded block itself: its bytes (a NUL at
  // end), the read position in it, and which load it is (a number that
  // differs from one loaded block to the next). Nothing is loaded once the
  // end indication is set.
  struct Loaded {
    const char* base;
    const char* pos;
    const char* end;
    std::uint64_t number;
  };
  [[nodiscard]] Loaded loaded() const { return {block->bytes.data(), eof ? end : pos, end, blocks_loaded}; }
  // Consumes the loaded bytes up to p (between the read position and end).
  void consume_to(const char* p) { pos = p; }

  std::string error_text;

 private:
  struct BlockCursor;
  bool scan_token(Token* out);
  bool scan_real(double* out);
  // Skips whitespace, loading blocks as needed; false (end indication set) at the end.
  bool skip_space();
  bool refill();

  void leave_replay();

  Block own;                // the block when no loader supplies them
  Block replay;             // bytes read again after a rewind, before the block they came before
  Block* resume = nullptr;  // the block to go on with once the replay is read
  bool marked = false;
  const char* mark_pos = nullptr;  // the mark, while it is in the loaded block
  std::string kept;                // bytes from the mark of blocks already left
  Block* block = &own;             // the loaded block
  std::size_t capacity;            // bytes loaded at most per block
  const char* pos;                 // next unread byte
  const char* end;                 // end of the loaded bytes, where a NUL stands
  Source source;
  bool owns_fd = false;
  bool open = false;
  BlockLoader* loader = nullptr;
  BlockLoader* loading = nullptr;  // the loader of the source being read
  bool eof = false;
  bool source_done = false;  // the last block of the source is loaded
  std::uint64_t blocks_loaded = 0;
  std::uint64_t lines_before = 0;  // line feeds in blocks already consumed
  Token real_text;                 // a real that straddles two blocks
  Token scratch;                   // tokens read for a std::string caller, or straddling two blocks as views
  std::string line_text;           // a line that straddles two blocks, read as a view
  bool line_ended = false;         // the last line read ended with its line feed
};
