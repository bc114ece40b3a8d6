// Byte scanning for the three reads, with text-mode rules applied per block.
#include "read/reader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "read/characters.h"
#include "read/integer_literal.h"
#include "read/line_ends.h"
#include "read/real_literal.h"
#include "system/host.h"

namespace {

// Bytes a token does not go on through: whitespace, and the NUL that ends
// the loaded bytes (a NUL inside them is a token byte, told apart by place).
constexpr auto token_stops = [] {
  std::array<bool, 256> t{};
  for (int c = 0; c < 256; ++c) t[c] = c == 0 || is_space(static_cast<unsigned char>(c));
  return t;
}();

bool stops_token(char c) { return token_stops[static_cast<unsigned char>(c)]; }

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

BlockMarks plain_marks(const char* p, std::size_t n, void*) {
  BlockMarks m;
  for (std::size_t k = 0; k < n; ++k) {
    m.lines += p[k] == '\n';
    m.text_mode = m.text_mode || p[k] == '\r' || p[k] == 26;
  }
  return m;
}

void load_block(Source& source, Block& b, std::size_t capacity, Marker mark, void* context) {
  if (b.bytes.size() != capacity + block_margin) b.bytes.assign(capacity + block_margin, '\0');
  b.size = 0;
  b.lines = 0;
  b.last = false;
  b.error.clear();
  char* p = b.bytes.data();
  while (!b.last) {
    std::size_t n = 0;
    if (source.in_memory) {
      n = std::min(source.memory.size(), capacity);
      std::memcpy(p, source.memory.data(), n);
      source.memory.remove_prefix(n);
    } else if (source.fd >= 0) {
      long got = host::read_some(source.fd, p, capacity, b.error);
      n = got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    if (n == 0) {
      b.last = true;
      break;
    }
    // The first bytes may come in more than one read (small blocks, pipes).
    if (source.head.size() < Source::head_size)
      source.head.append(p, std::min(n, Source::head_size - source.head.size()));
    p[n] = '\0';
    // Cuts at a byte 26 and drops the CRs.
    const auto apply_text_mode = [&] {
      if (const void* eot = std::memchr(p, 26, n)) {
        n = static_cast<std::size_t>(static_cast<const char*>(eot) - p);
        b.last = true;
      }
      n = drop_cr(p, n);
      p[n] = '\0';
    };
    // A drawing with CR LF line ends has CRs in every block: after the
    // first, each is marked once, with its CRs dropped.
    if (source.changed) apply_text_mode();
    BlockMarks marks = mark(p, n, context);
    if (marks.text_mode) {  // the bytes change: marked again
      apply_text_mode();
      marks = mark(p, n, context);
      source.changed = true;
    }
    if (n > 0) {
      b.size = n;
      b.lines = marks.lines;
      return;
    }
  }
  p[0] = '\0';
  mark(p, 0, context);
}

Reader::Reader(std::size_t block_size) : capacity(std::max<std::size_t>(block_size, 16)) {
  own.bytes.assign(capacity + block_margin, '\0');
  close();
}

Reader::~Reader() { close(); }

void Reader::set_loader(BlockLoader* l) {
  close();
  loader = l;
}

void Reader::resize_block(std::size_t block_size) {
  close();
  capacity = std::max<std::size_t>(block_size, 16);
  own.bytes.assign(capacity + block_margin, '\0');
  close();
}

bool Reader::open_file(const std::string& host_path, std::string& why) {
  close();
  int d = host::open_read(host_path, why);
  if (d < 0) return false;
  source.fd = d;
  owns_fd = true;
  open = true;
  if (loader != nullptr) {
    loading = loader;
    loading->start(source, capacity);
  }
  return true;
}

void Reader::open_fd(int d) {
  close();
  source.fd = d;
  open = true;
}

void Reader::open_memory(std::string_view bytes) {
  close();
  source.in_memory = true;
  source.memory = bytes;
  open = true;
  if (loader != nullptr) {
    loading = loader;
    loading->start(source, capacity);
  }
}

void Reader::mark() {
  marked = true;
  mark_pos = pos;
  kept.clear();
}

void Reader::forget_mark() {
  marked = false;
  kept.clear();
}

void Reader::rewind() {
  marked = false;
  eof = false;
  if (mark_pos != nullptr) {  // still in the block of the mark
    pos = mark_pos;
    return;
  }
  // The bytes of the blocks left since the mark are read again, then the
  // loaded block from its start.
  if (block != &replay) resume = block;
  replay.bytes.assign(kept.size() + block_margin, '\0');
  std::memcpy(replay.bytes.data(), kept.data(), kept.size());
  replay.size = kept.size();
  replay.lines = static_cast<std::uint64_t>(std::count(kept.begin(), kept.end(), '\n'));
  kept.clear();
  // Every block left since the mark is counted whole; the replay's line
  // feeds are those after the mark in them.
  lines_before -= replay.lines;
  block = &replay;
  pos = replay.bytes.data();
  end = pos + replay.size;
}

void Reader::leave_replay() {
  if (marked) {
    const char* from = mark_pos != nullptr ? mark_pos : replay.bytes.data();
    kept.append(from, static_cast<std::size_t>(replay.bytes.data() + replay.size - from));
    mark_pos = nullptr;
  }
  lines_before += replay.lines;
  block = resume;
  pos = block->bytes.data();
  end = pos + block->size;
  ++blocks_loaded;
}

void Reader::close() {
  if (loading != nullptr) loading->stop();
  loading = nullptr;
  if (owns_fd) host::close_fd(source.fd);
  source = Source{};
  owns_fd = false;
  open = false;
  block = &own;
  own.size = 0;
  own.lines = 0;
  own.last = false;
  own.bytes[0] = '\0';
  pos = end = own.bytes.data();
  eof = false;
  source_done = false;
  marked = false;
  kept.clear();
  resume = nullptr;
  lines_before = 0;
  error_text.clear();
}

std::uint64_t Reader::line() const {
  return lines_before +
         static_cast<std::uint64_t>(std::count(static_cast<const char*>(block->bytes.data()), pos, '\n')) + 1;
}

// Loads the next block; only called once everything loaded is consumed.
bool Reader::refill() {
  if (block == &replay) {
    leave_replay();
    return true;
  }
  if (!open || source_done) {
    pos = end = block->bytes.data() + block->size;
    return false;
  }
  if (marked) {
    const char* from = mark_pos != nullptr ? mark_pos : block->bytes.data();
    kept.append(from, static_cast<std::size_t>(end - from));
    mark_pos = nullptr;
  }
  lines_before += block->lines;
  if (loading != nullptr) {
    block = &loading->next();
  } else {
    load_block(source, own, capacity, plain_marks, nullptr);
    block = &own;
  }
  if (!block->error.empty() && error_text.empty()) error_text = block->error;
  source_done = block->last;
  pos = block->bytes.data();
  end = pos + block->size;
  ++blocks_loaded;
  return block->size > 0;
}

bool Reader::skip_space() {
  if (eof) return false;
  for (;;) {
    while (is_space(static_cast<unsigned char>(*pos))) ++pos;  // the NUL at end stops it
    if (pos != end) return true;
    if (!refill()) {
      eof = true;
      return false;
    }
  }
}

bool Reader::scan_token(Token* out) {
  if (!skip_space()) return false;
  const char* start = pos;
  bool kept = false;
  for (;;) {
    while (!stops_token(*pos)) ++pos;
    if (*pos == '\0' && pos != end) {
      ++pos;  // a NUL byte inside the token
      continue;
    }
    if (pos != end) break;
    // The token may go on in the next block.
    if (out != nullptr) {
      if (kept)
        out->append(start, static_cast<std::size_t>(pos - start));
      else
        out->assign(start, static_cast<std::size_t>(pos - start));
    }
    kept = true;
    if (!refill()) {
      eof = true;
      return true;
    }
    start = pos;
  }
  if (out != nullptr) {
    if (kept)
      out->append(start, static_cast<std::size_t>(pos - start));
    else
      out->assign(start, static_cast<std::size_t>(pos - start));
  }
  return true;
}

bool Reader::read_line(std::string_view& out) {
  if (eof) return false;
  line_ended = true;
  const auto* feed = static_cast<const char*>(std::memchr(pos, '\n', static_cast<std::size_t>(end - pos)));
  if (feed != nullptr) {
    out = std::string_view(pos, static_cast<std::size_t>(feed - pos));
    pos = feed + 1;
    return true;
  }
  // The line goes on in the next block, or ends the input.
  line_text.clear();
  for (;;) {
    line_text.append(pos, end);
    pos = end;
    if (!refill()) {
      eof = true;
      line_ended = false;
      out = line_text;
      return !line_text.empty();
    }
    feed = static_cast<const char*>(std::memchr(pos, '\n', static_cast<std::size_t>(end - pos)));
    if (feed != nullptr) {
      line_text.append(pos, feed);
      pos = feed + 1;
      out = line_text;
      return true;
    }
  }
}

bool Reader::read_line(std::string& out) {
  std::string_view line;
  const bool read = read_line(line);
  out.assign(read ? line : std::string_view{});
  return read;
}

bool Reader::at_token_end() {
  if (eof) return true;
  if (pos == end && !refill()) {
    eof = true;
    return true;
  }
  return is_space(static_cast<unsigned char>(*pos));
}

bool Reader::read_token(std::string_view& out) {
  if (!skip_space()) return false;
  const char* start = pos;
  while (!stops_token(*pos)) ++pos;
  if (pos != end && *pos != '\0') {  // whitespace ends it within the block
    out = std::string_view(start, static_cast<std::size_t>(pos - start));
    return true;
  }
  // A NUL byte inside it, or it may go on in the next block.
  pos = start;
  scan_token(&scratch);
  out = scratch.view();
  return true;
}

bool Reader::read_token(std::string& out) {
  if (!read_token(scratch)) return false;
  out.assign(scratch.view());
  return true;
}

void Reader::drop_rest_of_token() {
  if (eof) return;
  for (;;) {
    while (!stops_token(*pos) || (*pos == '\0' && pos != end)) ++pos;
    if (pos != end) return;
    if (!refill()) {
      eof = true;
      return;
    }
  }
}

// The read position as a cursor for the literals' grammars: a literal that
// reaches the end of the loaded bytes goes on in the next block, its bytes
// so far kept in `kept` when given.
struct Reader::BlockCursor {
  Reader& r;
  Token* kept;  // null: the literal's text is not wanted
  const char* start;
  int peek() {
    if (r.pos != r.end) return static_cast<unsigned char>(*r.pos);
    if (kept != nullptr) kept->append(start, static_cast<std::size_t>(r.pos - start));
    const bool more = r.refill();
    start = r.pos;
    if (!more) {
      r.eof = true;
      return -1;
    }
    return static_cast<unsigned char>(*r.pos);
  }
  void take() { ++r.pos; }
};

bool Reader::read_int(int& out) {
  if (!skip_space()) return false;
  BlockCursor in{*this, nullptr, pos};
  const literal::IntegerScan s = literal::scan_integer(in);
  if (!s.digits) return false;
  out = s.value;
  return true;
}

bool Reader::scan_real(double* out) {
  if (!skip_space()) return false;
  // Mostly the literal ends within the loaded bytes: the NUL at end stops
  // the grammar there, and only a literal that reaches it is read again
  // across blocks.
  literal::TextCursor within{pos};
  literal::RealScan s = literal::scan_real(within);
  if (within.p != end) {
    pos = within.p;
    if (!s.digits) return false;
    if (out != nullptr) *out = literal::real_value(pos - s.length, pos - s.length + s.value_length);
    return true;
  }
  real_text.clear();
  BlockCursor in{*this, out != nullptr ? &real_text : nullptr, pos};
  s = literal::scan_real(in);
  if (!s.digits) return false;
  if (out == nullptr) return true;
  const char* text = pos - s.length;
  if (!real_text.empty()) {
    real_text.append(in.start, static_cast<std::size_t>(pos - in.start));
    text = real_text.view().data();
  }
  *out = literal::real_value(text, text + s.value_length);
  return true;
}
