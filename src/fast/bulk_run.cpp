// Bulk runs over a loaded block, reading items straight from its bytes and
// its whitespace bitmap; the entities' items come from the layout's table.
#include "fast/bulk_run.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "fast/group_layout.h"
#include "fast/numbers.h"
#include "fast/swar.h"
#include "fast/vertex_layout.h"
#include "merge/entity_grammar.h"

namespace fast {

namespace {

#define HOT TALVERO_ALWAYS_INLINE
#define COLD TALVERO_NOINLINE

// Longest token item a run copies; longer ones go to the general reads.
constexpr std::size_t max_token_item = 256;

// An entity writes its keyword, at most 9 integers (8 spaces, 9 characters,
// the line end, 8-byte stores), at most 2 tokens (copied 16 bytes at a time)
// and at most 3 coordinates (8-byte stores past the longest text).
static_assert(run_entity_room >=
              10 + 9 * (8 + 9 + 2 + 8) + 2 * (max_token_item + 16 + 2) + 3 * (max_number_text + 2 + 8));

// True when the bytes at s are the keyword followed by whitespace. The byte
// at the end of the loaded bytes is a NUL: a keyword that may go on in the
// next block does not match.
template <std::size_t N>
HOT bool is_keyword_at(const char* s, const char (&keyword)[N]) {
  return std::memcmp(s, keyword, N - 1) == 0 && is_space(static_cast<unsigned char>(s[N - 1]));
}

HOT bool space_at(const char* p) { return is_space(static_cast<unsigned char>(*p)); }

// Items read one after the other from a loaded block. Token starts come
// from a stream of bits derived from the whitespace bitmap a word at a time,
// so finding the next token never waits on the previous one. A numeric item
// is a whole token when whitespace follows what its grammar takes; the NUL
// at the end of the loaded bytes is not whitespace, so an item that may go
// on in the next block is refused. Every read fails when its token is not
// one the general reads would take whole.
struct ItemStream {
  ItemStream(const MarkedBlock& b, const char* from)
      : base(b.base), space(b.space), n(static_cast<std::size_t>(b.end - b.base)) {
    seek(from);
  }

  // Moves s to the next token's start; false when none starts before the
  // end of the loaded bytes.
  HOT bool next() {
    while (starts == 0) starts = start_bits(++word);
    const std::size_t i = word * 64 + static_cast<std::size_t>(std::countr_zero(starts));
    starts &= starts - 1;
    s = base + i;
    return i < n;
  }

  // The end of the token at s: the first whitespace bit after it, almost
  // always within the 8 bytes of the bitmap there.
  [[nodiscard]] HOT const char* token_end() const { return token_end(s); }
  [[nodiscard]] HOT const char* token_end(const char* t) const {
    const auto i = static_cast<std::size_t>(t - base);
    if constexpr (std::endian::native == std::endian::little) {
      std::uint64_t w;
      std::memcpy(&w, reinterpret_cast<const unsigned char*>(space) + i / 8, 8);
      w >>= i % 8;
      if (w != 0) return t + std::countr_zero(w);
    }
    return base + next_bit<true>(space, i);
  }

  // An integer item: sign and at most 8 digits (no saturation), whole.
  // length: its bytes; plain: digits only without a leading zero, so already
  // its value's text.
  HOT bool integer(std::size_t& length, bool& plain) {
    if (!next()) return false;
    const bool sign = *s == '-' || *s == '+';
    const int k = leading_digit_count(s + sign);
    length = static_cast<std::size_t>(k) + sign;
    if (k == 0 || !space_at(s + length)) return false;
    plain = !sign && (*s != '0' || k == 1);
    last_int = s;
    last_int_end = s + length;
    return true;
  }
  HOT bool integer() {
    std::size_t length;
    bool plain;
    return integer(length, plain);
  }
  // The value of an integer token accepted by integer().
  HOT static int int_value(const char* t) {
    const char* digits = t + (*t == '-' || *t == '+');
    std::uint64_t m;
    leading_digits(digits, &m);
    return *t == '-' ? -static_cast<int>(m) : static_cast<int>(m);
  }

  // Reading goes on from `from` (at most the end of the loaded bytes), as a
  // run does after vertices taken by their layout. The byte there starts a
  // token when it is not whitespace, whatever precedes it: the reads take
  // what follows the read position.
  HOT void seek(const char* from) {
    const auto f = static_cast<std::size_t>(from - base);
    word = f / 64;
    starts = (start_bits(word) | (~space[word] & (std::uint64_t{1} << (f % 64)))) & (~std::uint64_t{0} << (f % 64));
  }

  const char* base;
  const std::uint64_t* space;
  std::size_t n;                   // loaded bytes
  const char* s = nullptr;         // the token read last
  const char* last_int = nullptr;  // the last integer item's token
  const char* last_int_end = nullptr;
  const char* last_coordinate = nullptr;  // the last coordinate's token

 private:
  // Bytes that are not whitespace after whitespace; the byte before the
  // block counts as whitespace.
  [[nodiscard]] HOT std::uint64_t start_bits(std::size_t w) const {
    return ~space[w] & ((space[w] << 1) | (w == 0 ? 1 : space[w - 1] >> 63));
  }

  std::size_t word;
  std::uint64_t starts;
};

// Where a run writes its output, in room reserved beforehand.
struct OutputCursor {
  char* o;

  HOT void put(const char* t, std::size_t n) {
    std::memcpy(o, t, n);
    o += n;
  }
  // n bytes (at most 16) from t, 16 readable there.
  HOT void put_short(const char* t, std::size_t n) {
    std::memcpy(o, t, 16);
    o += n;
  }
  HOT void line_end() {
    o[0] = '\r';
    o[1] = '\n';
    o += 2;
  }
  // An integer's text after `spaces` spaces (at most 8): the token itself
  // when plain, else its value's.
  HOT void integer(const char* s, std::size_t length, bool plain, int spaces) {
    std::memcpy(o, "        ", 8);
    if (plain) {
      std::memcpy(o + spaces, s, 8);  // 8 bytes are readable at s
      o += static_cast<std::size_t>(spaces) + length;
    } else {
      o = put_int_swar(o + spaces, ItemStream::int_value(s));
    }
    line_end();
  }
  // A text given whole.
  template <std::size_t N>
  HOT void text(const char (&t)[N]) {
    put(t, N - 1);
  }
  // A value's text after `spaces` spaces (at most 8).
  HOT void value(int v, int spaces) {
    std::memcpy(o, "        ", 8);
    o = put_int_swar(o + spaces, v);
    line_end();
  }
  HOT void token(const char* s, std::size_t length) {
    if (length <= 16)
      std::memcpy(o, s, 16);  // 16 bytes are readable at s and writable at o
    else
      std::memcpy(o, s, length);
    o += length;
    line_end();
  }
  HOT void rounded(double x) { o = put_rounded_swar(o, x); }
  // The coordinate literal [s, e) rounded, without a line end; false when it
  // is not one real literal.
  HOT bool rounded_literal(const char* s, const char* e) {
    char* end = put_rounded_literal(o, s, e);
    if (end == nullptr) return false;
    o = end;
    return true;
  }
};

// The items of the entities taken so far whose values the merge keeps.
struct Taken {
  const char* last_int = nullptr;
  const char* last_coordinate = nullptr;
  bool dval_is_value = false;  // the last coordinate is dval_value, not a token's
  double dval_value = 0;
  std::uint32_t vertices = 0;  // VERTEX entities taken

  // Takes an entity whose items ended with an integer; returns its end.
  HOT const char* take(const ItemStream& in) {
    last_int = in.last_int;
    if (in.last_coordinate != nullptr) {
      last_coordinate = in.last_coordinate;
      dval_is_value = false;
    }
    return in.last_int_end;
  }
  // Works out the kept values, once per run.
  void finish(RunResult& r) const {
    r.vertices = vertices;
    if (last_int != nullptr) {
      r.has_val = true;
      r.val = ItemStream::int_value(last_int);
    }
    if (dval_is_value) {
      r.has_dval = true;
      r.dval = dval_value;
    } else if (last_coordinate != nullptr) {
      r.has_dval = true;
      real_at<true>(last_coordinate, &r.dval);
    }
  }
};

// Reads a coordinate without converting it; marks it.
HOT bool skip_coordinate(ItemStream& in, VertexLayout::Marks& m, int k) {
  if (!in.next()) return false;
  double unused = 0;
  const char* q = real_at<false>(in.s, &unused);
  if (q == nullptr || !space_at(q)) return false;
  m.start[k] = in.s;
  m.end[k] = q;
  return true;
}

// Whether the integer item just read holds what the layout has there.
template <grammar::Item item>
HOT bool holds_expected(const ItemStream& in) {
  if constexpr (item.expected >= 0) return ItemStream::int_value(in.s) == item.expected;
  return true;
}

// One item of an entity as the survey reads it: read and tested as the
// writing pass reads it, not written; reals consumed without conversion
// (and marked).
template <const auto& items, std::size_t k>
HOT bool skip_item(ItemStream& in, VertexLayout::Marks& m) {
  constexpr grammar::Item item = items[k];
  if constexpr (item.read == grammar::Read::token) return in.next();
  if constexpr (item.read == grammar::Read::real) return skip_coordinate(in, m, grammar::reals_before(items, k));
  return in.integer() && holds_expected<item>(in);
}

template <const auto& items, std::size_t... k>
HOT bool skip_items(ItemStream& in, VertexLayout::Marks& m, std::index_sequence<k...>) {
  m.keyword = in.s;
  return (skip_item<items, k>(in, m) && ...);
}

template <const auto& items>
HOT bool skip_entity(ItemStream& in, VertexLayout::Marks& m) {
  return skip_items<items>(in, m, std::make_index_sequence<items.size()>());
}

// Reads an integer item and writes it after `spaces` spaces.
HOT bool copy_int(ItemStream& in, OutputCursor& out, int spaces) {
  std::size_t length;
  bool plain;
  if (!in.integer(length, plain)) return false;
  out.integer(in.s, length, plain, spaces);
  return true;
}

// Reads a coordinate and writes it rounded; marks it.
HOT bool copy_coordinate(ItemStream& in, OutputCursor& out, VertexLayout::Marks& m, int k) {
  if (!in.next()) return false;
  m.out_start[k] = out.o;
  const char* q = in.token_end();
  if (q == in.base + in.n || !out.rounded_literal(in.s, q)) return false;  // may go on in the next block
  m.start[k] = in.s;
  m.end[k] = q;
  m.out_end[k] = out.o;
  out.line_end();
  in.last_coordinate = in.s;
  return true;
}

HOT bool copy_token(ItemStream& in, OutputCursor& out) {
  if (!in.next()) return false;
  const char* e = in.token_end();
  const auto length = static_cast<std::size_t>(e - in.s);
  if (e == in.base + in.n || length > max_token_item) return false;  // may go on in the next block, or long
  out.token(in.s, length);
  return true;
}

// One item of an entity, read and written as the layout's table says.
// The writing pass's loop tests POLYLINE, VERTEX and SEQEND in turn on
// whatever token it read last: an entity whose last token item is a keyword
// tested after its own is left to the general reads.
template <const auto& items, std::size_t k, bool polyline>
HOT bool copy_item(ItemStream& in, OutputCursor& out, VertexLayout::Marks& m) {
  constexpr grammar::Item item = items[k];
  if constexpr (item.read == grammar::Read::token) {
    if (!copy_token(in, out)) return false;
    if constexpr (k == grammar::last_token(items)) {
      if (is_keyword_at(in.s, "SEQEND")) return false;
      if constexpr (polyline)
        if (is_keyword_at(in.s, "VERTEX")) return false;
    }
    return true;
  } else if constexpr (item.read == grammar::Read::real) {
    return copy_coordinate(in, out, m, grammar::reals_before(items, k));
  } else if constexpr (item.space_sign) {
    if (!in.integer()) return false;
    const int val = ItemStream::int_value(in.s);
    out.integer(in.s, 0, false, val < 0 ? 0 : 1);
    return true;
  } else {
    return copy_int(in, out, item.spaces) && holds_expected<item>(in);
  }
}

template <const auto& items, bool polyline, std::size_t... k>
HOT bool copy_items(ItemStream& in, OutputCursor& out, VertexLayout::Marks& m, std::index_sequence<k...>) {
  return (copy_item<items, k, polyline>(in, out, m) && ...);
}

// The writing pass's POLYLINE.
HOT bool copy_polyline(ItemStream& in, OutputCursor& out) {
  VertexLayout::Marks unused;
  out.put("POLYLINE\r\n", 10);
  return copy_items<grammar::polyline, true>(in, out, unused, std::make_index_sequence<grammar::polyline.size()>());
}

// The writing pass's VERTEX, coordinates rounded; marks its parts.
HOT bool copy_vertex(ItemStream& in, OutputCursor& out, VertexLayout::Marks& m) {
  m.keyword = in.s;
  m.out = out.o;
  out.put("VERTEX\r\n", 8);
  return copy_items<grammar::vertex, false>(in, out, m, std::make_index_sequence<grammar::vertex.size()>());
}

// Keeps the layout of a vertex just taken, when the token after it starts
// within the loaded bytes.
void learn_layout(const ItemStream& in, VertexLayout::Marks& m, char* out_next, VertexLayout& layout) {
  m.last_int = in.last_int;
  m.out_next = out_next;
  const std::size_t next = next_bit<false>(in.space, static_cast<std::size_t>(in.last_int_end - in.base));
  layout.ready = false;
  if (next >= in.n) return;
  m.next = in.base + next;
  layout.learn(m, out_next != nullptr);
}

// Whether a loop stops before the top-level token at t, which starts at or
// after sync: why tells whether exactly there or past it.
HOT bool reached(const char* t, const char* sync, RunStop& why) {
  if (sync == nullptr || t < sync) return false;
  why = t == sync ? RunStop::sync : RunStop::passed;
  return true;
}

// How a sweep of vertices by their layout ended.
struct Sweep {
  const char* top;  // the top-level token reading goes on from
  bool stopped = false;
  RunStop why = RunStop::block_end;
};

// After a vertex a sweep took, whether it goes on to the top-level token
// at t: not when t is at or past sync, or when the pass stops it.
template <class Pass>
HOT bool goes_on_at(Sweep& sweep, const char* t, const char* sync, Pass& pass) {
  sweep.top = t;
  if (reached(t, sync, sweep.why)) {
    sweep.stopped = true;
    return false;
  }
  return pass.goes_on(sweep);
}

// Vertices from the top-level token t for as long as their bytes around the
// coordinates are the layout's. Each is started by pass.begin(), its
// coordinates handed to pass.coordinate(k, c, q) with their token [c, q),
// which tells whether the token is one real literal, and once whole it is
// kept by pass.keep(); pass.goes_on(sweep) may then stop the sweep.
// A coordinate's end is taken from the whitespace bitmap, and the literals
// are checked only once the vertex is read, so that finding the next
// coordinate need not wait for a literal to be read. A gap that matches ends
// within the loaded bytes, so every literal read starts there.
template <class Pass>
HOT Sweep sweep_vertices(const VertexLayout& layout, const ItemStream& in, const char* t, const char* sync,
                         Taken& taken, Pass& pass) {
  Sweep sweep{t};
  const char* end = in.base + in.n;
  while (end - t >= static_cast<std::ptrdiff_t>(VertexLayout::head_room) && layout.head_at(t)) {
    pass.begin();
    const char* c = t + layout.length[0];
    const char* z = nullptr;
    const char* q = nullptr;
    bool wrong = false;
    for (int k = 0; k < 3; ++k) {
      q = in.token_end(c);
      if (!layout.gap_at(k, q)) return sweep;
      wrong |= !pass.coordinate(k, c, q);
      z = c;
      c = q + layout.length[k + 1];
    }
    if (wrong) return sweep;
    pass.keep();
    ++taken.vertices;
    t = c;
    taken.last_int = q + layout.last_int;
    taken.last_coordinate = z;
    taken.dval_is_value = false;
    if (!goes_on_at(sweep, t, sync, pass)) break;
  }
  return sweep;
}

// The survey's vertices by their layout: the coordinates are only checked.
struct SkipByLayout {
  HOT void begin() {}
  HOT bool coordinate(int, const char* c, const char* q) { return is_whole_real(c, q); }
  HOT void keep() {}
  HOT bool goes_on(Sweep&) { return true; }
};
COLD Sweep skip_vertices(const VertexLayout& layout, const ItemStream& in, const char* t, const char* sync,
                         Taken& taken) {
  SkipByLayout pass;
  return sweep_vertices(layout, in, t, sync, taken, pass);
}

// The writing pass's vertices by their layout: each written as the layout's
// output with the coordinates' texts between its parts.
struct WriteByLayout {
  const VertexLayout& layout;
  OutputCursor& text;
  const char* out_limit;
  OutputCursor out{nullptr};

  HOT void begin() {
    out = text;
    std::memcpy(out.o, layout.head_out, 64);
    if (layout.out_length[0] > 64) std::memcpy(out.o + 64, layout.head_out + 64, 64);
    out.o += layout.out_length[0];
  }
  HOT bool coordinate(int k, const char* c, const char* q) {
    const bool whole = out.rounded_literal(c, q);
    out.put_short(layout.gaps_out[k], layout.out_length[k + 1]);
    return whole;
  }
  HOT void keep() { text = out; }
  HOT bool goes_on(Sweep& sweep) {
    if (out_limit - text.o >= static_cast<std::ptrdiff_t>(run_entity_room)) return true;
    sweep.stopped = true;
    sweep.why = RunStop::room;
    return false;
  }
};
COLD Sweep write_vertices(const VertexLayout& layout, const ItemStream& in, const char* t, OutputCursor& text,
                          const char* out_limit, const char* sync, Taken& taken) {
  static_assert(VertexLayout::head_out_room <= 128 && VertexLayout::gap_room <= 16);
  static_assert(run_entity_room >= VertexLayout::head_out_room + 3 * (max_number_text + VertexLayout::gap_room + 8));
  WriteByLayout pass{layout, text, out_limit};
  return sweep_vertices(layout, in, t, sync, taken, pass);
}

// What a loop does after a sweep: stop (why and at set), read its next
// token from where the sweep ended, or go on with the token it was at.
enum class AfterSweep { stop, moved, same };
// After vertices read by their group codes, no coordinate token is the last
// one read (by_groups).
HOT AfterSweep after_sweep(const Sweep& sweep, ItemStream& in, const Taken& taken, const char*& at, RunStop& why,
                           bool& zero, bool by_groups = false) {
  if (sweep.top != in.s) zero = true;  // vertices were taken: each ends with a group code 0
  if (sweep.stopped) {
    why = sweep.why;
    at = sweep.top;
    return AfterSweep::stop;
  }
  if (sweep.top == in.s) return AfterSweep::same;
  in.seek(sweep.top);
  in.last_int = taken.last_int;
  in.last_coordinate = by_groups ? nullptr : taken.last_coordinate;
  at = sweep.top;
  return AfterSweep::moved;
}

// The loops' next token: false, with why and at set, when the loop stops
// before it. In both loops, `at` is where the loop's next token read would
// start: the start of the token under consideration, or the end of the last
// entity taken. Reading again a token that is not a keyword changes nothing.
HOT bool next_top(ItemStream& in, const char* sync, const char*& at, RunStop& why) {
  if (!in.next()) {
    why = RunStop::block_end;
    return false;
  }
  at = in.s;
  return !reached(in.s, sync, why);
}

// --- Entities read by their group codes ---------------------------------------
// A POLYLINE or VERTEX not in the layout, read line by line as the general
// reads by group codes take it, for as long as every line is a plain one
// within the loaded bytes; anything else (a line that may go on in the next
// block, a number that is not a plain one, a mesh, a frame point, a long
// layer) is left to them.

HOT bool blank(char c) { return c == ' ' || c == '\t'; }

// The layer of an entity without one, with the readable bytes a token copy needs.
constexpr char default_layer[16] = "0";

// What the groups of a POLYLINE or VERTEX hold that the result keeps.
struct GroupValues {
  std::string_view layer{default_layer, 1};
  int flags = 0;
  double x = 0, y = 0, z = 0;
  bool has_z = false;
  std::uint32_t bulges = 0, widths = 0;
};

// The line starting at p: trimmed in *text, and p moved past its line feed;
// false when it may go on past the loaded bytes.
HOT bool read_line_at(const ItemStream& in, const char*& p, std::string_view* text) {
  const char* const end = in.base + in.n;
  const char* q = p;
  while (*q != '\n') {
    if (q == end) return false;  // the NUL after the loaded bytes
    ++q;
  }
  if (text != nullptr) {
    const char* a = p;
    const char* b = q;
    while (a != b && blank(*a)) ++a;
    while (b != a && blank(b[-1])) --b;
    *text = std::string_view(a, static_cast<std::size_t>(b - a));
  }
  p = q + 1;
  return true;
}

// A whole value that is an integer, and one that is a real literal (a line
// trimmed: whitespace follows it).
HOT bool plain_integer(std::string_view t, int& v) { return whole_integer(t.data(), t.data() + t.size(), v); }
HOT bool plain_number(std::string_view t, double& v) { return whole_real(t.data(), t.data() + t.size(), v); }

HOT bool is_zero_value(std::string_view t) {
  double v = 0;
  return plain_number(t, v) && v == 0;
}

// Where the groups' value lines lie, as read_groups met them (for a vertex
// whose layout is to be learnt): value k is the line [start[k], end[k]),
// its line feed at end[k]. Groups past the room are not kept.
struct GroupLines {
  static constexpr std::size_t room = GroupLayout::part_room;
  std::size_t count = 0;
  int code[room];
  const char* start[room];
  const char* end[room];
};

// Reads the groups from the line after the keyword at `keyword_end` up to a
// group code 0: true with the values, the place after that code's line in
// next and its digit in zero_digit; their lines kept in lines when given.
HOT bool read_groups(const ItemStream& in, const char* keyword_end, GroupValues& g, const char*& next,
                     const char*& zero_digit, GroupLines* lines = nullptr) {
  const char* p = keyword_end;
  if (!read_line_at(in, p, nullptr)) return false;  // the rest of the keyword's line
  for (;;) {
    std::string_view code_text, value;
    int code = 0;
    if (!read_line_at(in, p, &code_text) || !plain_integer(code_text, code)) return false;
    if (code == 0) {
      next = p;
      zero_digit = code_text.data() + (code_text[0] == '-' || code_text[0] == '+');
      return true;
    }
    const char* const line = p;
    if (!read_line_at(in, p, &value)) return false;
    if (lines != nullptr && lines->count < GroupLines::room) {
      lines->code[lines->count] = code;
      lines->start[lines->count] = line;
      lines->end[lines->count++] = p - 1;
    }
    switch (code) {
      case 8:
        if (value.size() > max_token_item) return false;
        g.layer = value;
        break;
      case 70:
        if (!plain_integer(value, g.flags)) return false;
        break;
      case 10:
        if (!plain_number(value, g.x)) return false;
        break;
      case 20:
        if (!plain_number(value, g.y)) return false;
        break;
      case 30:
        if (!plain_number(value, g.z)) return false;
        g.has_z = true;
        break;
      case 40:
      case 41: g.widths += !is_zero_value(value); break;
      case 42: g.bulges += !is_zero_value(value); break;
      case 210:
      case 220:
      case 230: {  // an extrusion that moves points is left to the general reads
        double v = 0;
        if (!plain_number(value, v) || (code == 230 ? v <= 0 : v != 0)) return false;
        break;
      }
      default: break;
    }
  }
}

// What a run keeps of the entities it read by group codes.
struct GroupRuns {
  double elevation;             // the polyline's elevation, for the vertices after it
  bool elevation_known = true;  // false in a speculative survey run, until it takes a POLYLINE
  bool guessed = false;         // it is a speculative writing run's guess, until it takes a POLYLINE
  bool guess_used = false;      // a vertex was written at the guess
  bool elevation_set = false;
  std::uint32_t by_group_codes = 0, bulges = 0, widths = 0;

  void finish(RunResult& r) const {
    r.elevation = elevation;
    r.elevation_set = elevation_set;
    r.elevation_guess_used = guess_used;
    r.by_group_codes = by_group_codes;
    r.bulges = bulges;
    r.widths = widths;
  }
};

// Whether the entity at the top-level token `keyword` is in the layout, as
// the general reads test it (integers of any length, every real literal):
// the run's own reads refuse some that are (long integers, a last token item
// that is a keyword, items past the loaded bytes), and only one that is not
// may be read by its group codes. Unknown when the loaded bytes end first.
// With wild given, a token for which it holds may be any token: it passes
// every test, so that `no` holds whatever it is.
enum class InLayout { yes, no, unknown };
constexpr auto no_wild_token = [](const char*) { return false; };
template <const auto& items, class Wild = decltype(no_wild_token)>
COLD InLayout layout_at(const ItemStream& from, const char* keyword, const Wild& wild = no_wild_token) {
  ItemStream in = from;
  in.seek(keyword);
  in.next();
  for (const grammar::Item& item : items) {
    if (!in.next()) return InLayout::unknown;
    const char* e = in.token_end();
    if (e == in.base + in.n) return InLayout::unknown;  // the token may go on in the next block
    if (item.read == grammar::Read::token || wild(in.s)) continue;
    if (item.read == grammar::Read::real) {
      double unused = 0;
      if (real_at<false>(in.s, &unused) != e) return InLayout::no;
      continue;
    }
    const bool negative = *in.s == '-';
    const char* d = in.s + (negative || *in.s == '+');
    std::int64_t magnitude = 0;
    const char* p = d;
    for (; is_digit(*p); ++p) magnitude = std::min<std::int64_t>(magnitude * 10 + (*p - '0'), std::int64_t{1} << 40);
    if (p == d || p != e) return InLayout::no;
    if (item.expected >= 0 && (negative ? -magnitude : magnitude) != item.expected) return InLayout::no;
  }
  return InLayout::yes;
}

// The start of a vertex written from its groups, up to its x.
HOT void put_vertex_head(OutputCursor& out, const GroupValues& g) {
  out.text("VERTEX\r\n  8\r\n");
  out.token(g.layer.data(), g.layer.size());
  out.text(" 70\r\n");
  out.value(g.flags, 4);
  out.text(" 10\r\n");
}

// --- Vertices by the layout of their groups ----------------------------------

// Whether the line [v, e) is one token, with no blank around it.
HOT bool one_token_line(const ItemStream& in, const char* v, const char* e) {
  return v != e && !space_at(v) && in.token_end(v) == e;
}

// Takes the layout of the vertex at `keyword` just read by its group codes
// (into g and lines), the line of its group code 0 ending at next; false,
// and nothing kept, when it does not fit the room, lacks x or y, gives a
// coordinate twice or not as a line of one token (or a bulge or width), or
// when the layout test of the general reads might not refuse every vertex
// of that layout (it must, for such vertices to be read by their group codes).
COLD bool learn_groups(const ItemStream& in, const char* keyword, const GroupLines& lines, const char* next,
                       const char* zero_digit, const GroupValues& g, GroupLayout& layout) {
  using Line = GroupLayout::Line;
  layout.ready = false;
  layout.parts = 0;
  if (lines.count == GroupLines::room) return false;  // perhaps more than were kept
  std::size_t fixed = 0;
  const char* from = keyword;  // the fixed bytes not yet in a part
  auto add = [&](const char* to, Line line) {
    const auto n = static_cast<std::size_t>(to - from);
    if (layout.parts == GroupLayout::part_room || fixed + n > GroupLayout::fixed_room) return false;
    std::memcpy(layout.fixed + fixed, from, n);
    layout.part[layout.parts++] = {static_cast<std::uint16_t>(fixed), static_cast<std::uint16_t>(n), line};
    fixed += n;
    return true;
  };
  const char* value_start[GroupLayout::part_room];  // the values read, a line of one token each
  const char* value_end[GroupLayout::part_room];
  unsigned coordinates = 0;
  for (std::size_t k = 0; k < lines.count; ++k) {
    const char* v = lines.start[k];
    const char* e = lines.end[k];
    Line line = Line::any;
    switch (lines.code[k]) {
      case 8:
      case 70:
      case 210:
      case 220:
      case 230: continue;  // kept as they stand, with the fixed bytes
      case 10: line = Line::x; break;
      case 20: line = Line::y; break;
      case 30: line = Line::z; break;
      case 40:
      case 41: line = Line::width; break;
      case 42: line = Line::bulge; break;
      default: break;
    }
    if (!one_token_line(in, v, e)) {
      if (line == Line::any) continue;
      return false;
    }
    if (line >= Line::x && line <= Line::z) {
      const unsigned bit = 1u << static_cast<unsigned>(line);
      if ((coordinates & bit) != 0) return false;
      coordinates |= bit;
    }
    if (!add(v, line)) return false;
    value_start[layout.parts - 1] = v;
    value_end[layout.parts - 1] = e;
    from = e + 1;
  }
  const unsigned x_and_y = (1u << static_cast<unsigned>(Line::x)) | (1u << static_cast<unsigned>(Line::y));
  if ((coordinates & x_and_y) != x_and_y || !add(next, Line::end)) return false;
  const std::size_t values = layout.parts - 1u;
  auto any_token = [&](const char* t) {
    if (t >= next) return true;  // the entities after the vertex
    for (std::size_t k = 0; k < values; ++k)
      if (t >= value_start[k] && t < value_end[k]) return true;
    return false;
  };
  if (layout_at<grammar::vertex>(in, keyword, any_token) != InLayout::no) return false;
  OutputCursor out{layout.head_out};
  put_vertex_head(out, g);
  layout.head_out_length = static_cast<std::uint16_t>(out.o - layout.head_out);
  layout.has_z = (coordinates & (1u << static_cast<unsigned>(Line::z))) != 0;
  layout.zero_digit = static_cast<std::int16_t>(zero_digit - next);
  layout.ready = true;
  return true;
}

// The values of a vertex that has a group layout's fixed bytes.
struct GroupMatch {
  const char* start[3] = {};  // x, y, z: their tokens
  const char* end[3] = {};
  std::uint32_t bulges = 0, widths = 0;
  const char* next = nullptr;  // after the line of its group code 0
};

// Whether the n bytes at p are those at t (32 bytes readable there), where
// `readable` bytes are readable at p: short ones a vector at a time.
HOT bool same_bytes(const char* p, const char* t, std::size_t n, std::ptrdiff_t readable) {
#ifdef TALVERO_SSE2
  if (n <= 32 && readable >= 32) return VertexLayout::same_sse2(p, t, n, 2);
#endif
  return std::memcmp(p, t, n) == 0;
}

// Whether the vertex at the top-level token t has the layout's fixed bytes,
// and its values are lines of one token within the loaded bytes.
HOT bool match_groups(const GroupLayout& layout, const ItemStream& in, const char* t, GroupMatch& m) {
  using Line = GroupLayout::Line;
  const char* const end = in.base + in.n;
  const char* p = t;
  for (const GroupLayout::Part* part = layout.part;; ++part) {
    if (end - p < part->length || !same_bytes(p, layout.fixed + part->from, part->length, end - p)) return false;
    p += part->length;
    if (part->line == Line::end) break;
    if (p == end || space_at(p)) return false;
    const char* q = in.token_end(p);
    if (q >= end || *q != '\n') return false;
    switch (part->line) {
      case Line::x:
      case Line::y:
      case Line::z: {
        const int k = static_cast<int>(part->line) - static_cast<int>(Line::x);
        m.start[k] = p;
        m.end[k] = q;
        break;
      }
      case Line::bulge: m.bulges += !is_zero_value(std::string_view(p, static_cast<std::size_t>(q - p))); break;
      case Line::width: m.widths += !is_zero_value(std::string_view(p, static_cast<std::size_t>(q - p))); break;
      default: break;
    }
    p = q + 1;
  }
  m.next = p;
  return true;
}

// Vertices from the top-level token t (after a group code 0) for as long as
// they have one of the layouts' fixed bytes. Each is handed to
// pass.vertex(layout, match), which tells whether it takes it; pass.goes_on(sweep)
// may then stop the sweep.
template <class Pass>
HOT Sweep sweep_groups(GroupLayouts& layouts, const ItemStream& in, const char* t, const char* sync, Taken& taken,
                       Pass& pass) {
  Sweep sweep{t};
  for (;;) {
    GroupMatch m;
    int k = layouts.last;
    if (!layouts.slot[k].ready || !match_groups(layouts.slot[k], in, t, m)) {
      k ^= 1;
      m = GroupMatch{};
      if (!layouts.slot[k].ready || !match_groups(layouts.slot[k], in, t, m)) break;
    }
    const GroupLayout* layout = &layouts.slot[k];
    if (!pass.vertex(*layout, m)) break;
    layouts.matched(k);
    t = m.next;
    taken.last_int = t + layout->zero_digit;
    if (!goes_on_at(sweep, t, sync, pass)) break;
  }
  return sweep;
}

// The survey's vertices by their group layout: the coordinates are only checked.
struct SkipByGroups {
  HOT bool vertex(const GroupLayout& layout, const GroupMatch& m) {
    for (int k = 0; k < 2 + layout.has_z; ++k)
      if (!is_whole_real(m.start[k], m.end[k])) return false;
    return true;
  }
  HOT bool goes_on(Sweep&) { return true; }
};
COLD Sweep skip_by_groups(GroupLayouts& layouts, const ItemStream& in, const char* t, const char* sync, Taken& taken) {
  SkipByGroups pass;
  return sweep_groups(layouts, in, t, sync, taken, pass);
}

// The writing pass's vertices by their group layout, written as
// take_by_groups writes them.
struct WriteByGroups {
  OutputCursor& text;
  const char* out_limit;
  GroupRuns& runs;
  Taken& taken;
  bool any = false;
  const char* last_z = nullptr;  // the last vertex's z, or null: it is at the elevation

  HOT bool vertex(const GroupLayout& layout, const GroupMatch& m) {
    if (!layout.has_z && !runs.elevation_known) return false;
    OutputCursor out = text;
    std::memcpy(out.o, layout.head_out, layout.head_out_length);
    out.o += layout.head_out_length;
    if (!out.rounded_literal(m.start[0], m.end[0])) return false;
    out.line_end();
    out.text(" 20\r\n");
    if (!out.rounded_literal(m.start[1], m.end[1])) return false;
    out.line_end();
    out.text(" 30\r\n");
    if (!layout.has_z)
      out.rounded(runs.elevation);
    else if (!out.rounded_literal(m.start[2], m.end[2]))
      return false;
    out.line_end();
    out.text("  0\r\n");
    text = out;
    runs.guess_used |= !layout.has_z && runs.guessed;
    ++runs.by_group_codes;
    runs.bulges += m.bulges;
    runs.widths += m.widths;
    ++taken.vertices;
    any = true;
    last_z = layout.has_z ? m.start[2] : nullptr;
    return true;
  }
  HOT bool goes_on(Sweep& sweep) {
    if (out_limit - text.o >= static_cast<std::ptrdiff_t>(run_entity_room)) return true;
    sweep.stopped = true;
    sweep.why = RunStop::room;
    return false;
  }
  // The last coordinate read, as take_by_groups keeps it.
  void finish() const {
    if (!any) return;
    taken.dval_is_value = true;
    taken.dval_value = runs.elevation;
    if (last_z != nullptr) real_at<true>(last_z, &taken.dval_value);
  }
};
COLD Sweep write_by_groups(GroupLayouts& layouts, const ItemStream& in, const char* t, OutputCursor& text,
                           const char* out_limit, const char* sync, Taken& taken, GroupRuns& runs) {
  static_assert(run_entity_room >= GroupLayout::head_out_room + 3 * (max_number_text + 2 + 8) + 15);
  WriteByGroups pass{text, out_limit, runs, taken};
  const Sweep sweep = sweep_groups(layouts, in, t, sync, taken, pass);
  pass.finish();
  return sweep;
}

// A POLYLINE or VERTEX at the top-level token `keyword` read by its group codes:
// false when the general reads must take it. Otherwise the entity is taken
// (written with out when set) and the stream moved past it.
// A vertex taken is learnt into one of layouts, when given.
template <bool vertex>
HOT bool take_by_groups(ItemStream& in, const char* keyword, OutputCursor* out, Taken& taken, GroupRuns& runs,
                        const char*& at, GroupLayouts* layouts = nullptr) {
  GroupValues g;
  const char* next = nullptr;
  const char* zero_digit = nullptr;
  const InLayout layout = vertex ? layout_at<grammar::vertex>(in, keyword) : layout_at<grammar::polyline>(in, keyword);
  if (layout != InLayout::no) return false;
  const bool learn = vertex && layouts != nullptr && layouts->learns_next();
  GroupLines lines;
  if (!read_groups(in, keyword + (vertex ? 6 : 8), g, next, zero_digit, learn ? &lines : nullptr)) return false;
  if (vertex) {
    if ((g.flags & 16) != 0) return false;  // a frame point, left out and counted by the general reads
    if (out != nullptr) {                   // the survey writes nothing: the elevation does not matter there
      if (!g.has_z && !runs.elevation_known) return false;
      runs.guess_used |= !g.has_z && runs.guessed;
      const double z = g.has_z ? g.z : runs.elevation;
      put_vertex_head(*out, g);
      out->rounded(g.x);
      out->line_end();
      out->text(" 20\r\n");
      out->rounded(g.y);
      out->line_end();
      out->text(" 30\r\n");
      out->rounded(z);
      out->line_end();
      out->text("  0\r\n");
      taken.dval_is_value = true;
      taken.dval_value = z;
      ++taken.vertices;
    }
    if (learn && learn_groups(in, keyword, lines, next, zero_digit, g, layouts->victim())) layouts->learnt();
  } else {
    if ((g.flags & (16 | 64)) != 0) return false;  // a mesh, left out with its vertices by the general reads
    runs.elevation = g.has_z ? g.z : 0.0;
    runs.elevation_set = runs.elevation_known = true;
    runs.guessed = false;
    if (out != nullptr) {
      out->text("POLYLINE\r\n  8\r\n");
      out->token(g.layer.data(), g.layer.size());
      out->text("  66\r\n1\r\n 70\r\n");
      out->value(g.flags, 5);
      out->text(" 10\r\n     0\r\n 20\r\n0\r\n  0\r\n");
    }
  }
  if (out != nullptr) {
    ++runs.by_group_codes;
    runs.bulges += g.bulges;
    runs.widths += g.widths;
  }
  taken.last_int = zero_digit;
  in.last_coordinate = nullptr;
  in.seek(next);
  at = next;
  return true;
}

// Whether [s, e) is a whole integer token: an optional sign and digits.
HOT bool is_integer_token(const char* s, const char* e) {
  s += *s == '-' || *s == '+';
  if (s == e) return false;
  for (; s != e; ++s)
    if (!is_digit(*s)) return false;
  return true;
}

// A top-level token no entity copy takes, passed over: at moves past it and
// zero tells whether it is a group code 0; a name after a group code 0 (an
// entity left out) is handed back in r. False, with why set, when the loop
// must see it itself: a section's start or end, an LWPOLYLINE, a name when
// r holds as many as it can, or a token that may go on in the next block.
HOT bool other_top(const ItemStream& in, bool& zero, const char*& at, RunStop& why, RunResult& r) {
  const char* s = in.s;
  const char* e = in.token_end();
  why = RunStop::general;
  if (is_keyword_at(s, "SECTION") || is_keyword_at(s, "ENDSEC") || is_keyword_at(s, "LWPOLYLINE")) return false;
  if (e == in.base + in.n) {
    why = RunStop::block_end;
    return false;
  }
  if (zero && !is_integer_token(s, e)) {
    if (r.name_count == RunResult::names_room) return false;
    r.names[r.name_count++] = std::string_view(s, static_cast<std::size_t>(e - s));
  }
  zero = e - s == 1 && *s == '0';
  at = e;
  return true;
}

}  // namespace

RunResult survey_run(const MarkedBlock& b, const char* from, bool zero, double elevation, const char* sync) {
  RunResult r;
  ItemStream in(b, from);
  Taken taken;
  GroupRuns runs{elevation, !std::isnan(elevation)};
  VertexLayout layout;
  GroupLayouts groups;
  const char* at = from;
  RunStop why = RunStop::block_end;
  while (next_top(in, sync, at, why)) {
    if (layout.ready) {
      const AfterSweep next = after_sweep(skip_vertices(layout, in, in.s, sync, taken), in, taken, at, why, zero);
      if (next == AfterSweep::stop) break;
      if (next == AfterSweep::moved) continue;
    }
    if (zero && (groups.slot[0].ready || groups.slot[1].ready)) {
      const AfterSweep next =
          after_sweep(skip_by_groups(groups, in, in.s, sync, taken), in, taken, at, why, zero, true);
      if (next == AfterSweep::stop) break;
      if (next == AfterSweep::moved) continue;
    }
    const char* s = in.s;
    if (is_keyword_at(s, "VERTEX")) {
      VertexLayout::Marks marks;
      if (skip_entity<grammar::vertex>(in, marks)) {
        at = taken.take(in);
        learn_layout(in, marks, nullptr, layout);
      } else if (!zero || !take_by_groups<true>(in, s, nullptr, taken, runs, at, &groups)) {
        why = RunStop::general;
        break;
      }
      zero = true;
    } else if (is_keyword_at(s, "POLYLINE")) {
      VertexLayout::Marks unused;
      if (skip_entity<grammar::polyline>(in, unused)) {
        at = taken.take(in);
        runs.elevation = 0;
        runs.elevation_set = runs.elevation_known = true;
        runs.guessed = false;
      } else if (!zero || !take_by_groups<false>(in, s, nullptr, taken, runs, at)) {
        why = RunStop::general;
        break;
      }
      zero = true;
      ++r.polylines;
    } else if (is_keyword_at(s, "SEQEND")) {
      zero = false;
    } else if (is_keyword_at(s, "$EXTMIN") || is_keyword_at(s, "$EXTMAX")) {
      why = RunStop::general;
      break;
    } else if (!other_top(in, zero, at, why, r)) {
      break;
    }
  }
  r.stop = at;
  r.why = why;
  r.after_zero = zero;
  taken.finish(r);
  runs.finish(r);
  return r;
}

RunResult write_run(const MarkedBlock& b, const char* from, bool zero, bool open, double elevation, char* out,
                    char* out_limit, const char* sync, bool elevation_guessed) {
  RunResult r;
  ItemStream in(b, from);
  Taken taken;
  GroupRuns runs{elevation, !std::isnan(elevation), elevation_guessed};
  r.elevation_guess = elevation;
  VertexLayout layout;
  GroupLayouts groups;
  OutputCursor text{out};
  const char* at = from;
  RunStop why = RunStop::block_end;
  while (next_top(in, sync, at, why)) {
    if (out_limit - text.o < static_cast<std::ptrdiff_t>(run_entity_room)) {
      why = RunStop::room;
      break;
    }
    if (layout.ready) {
      const AfterSweep next =
          after_sweep(write_vertices(layout, in, in.s, text, out_limit, sync, taken), in, taken, at, why, zero);
      if (next == AfterSweep::stop) break;
      if (next == AfterSweep::moved) continue;
    }
    if (zero && (groups.slot[0].ready || groups.slot[1].ready)) {
      const AfterSweep next = after_sweep(write_by_groups(groups, in, in.s, text, out_limit, sync, taken, runs), in,
                                          taken, at, why, zero, true);
      if (next == AfterSweep::stop) break;
      if (next == AfterSweep::moved) continue;
    }
    const char* s = in.s;
    if (is_keyword_at(s, "VERTEX")) {
      OutputCursor entity = text;
      VertexLayout::Marks marks;
      if (copy_vertex(in, entity, marks)) {
        text = entity;
        at = taken.take(in);
        ++taken.vertices;
        learn_layout(in, marks, text.o, layout);
      } else {
        entity = text;
        if (!zero || !take_by_groups<true>(in, s, &entity, taken, runs, at, &groups)) {
          why = RunStop::general;
          break;
        }
        text = entity;
      }
      zero = true;
    } else if (is_keyword_at(s, "POLYLINE")) {
      // A polyline left open is closed first, as the general reads do.
      OutputCursor before = text;
      if (open) before.text("SEQEND\r\n0\r\n");
      OutputCursor entity = before;
      if (copy_polyline(in, entity)) {
        at = taken.take(in);
        runs.elevation = 0;
        runs.elevation_set = runs.elevation_known = true;
        runs.guessed = false;
      } else {
        entity = before;
        if (!zero || !take_by_groups<false>(in, s, &entity, taken, runs, at)) {
          why = RunStop::general;
          break;
        }
      }
      text = entity;
      zero = true;
      open = true;
      ++r.polylines;
    } else if (is_keyword_at(s, "SEQEND")) {
      if (open) text.text("SEQEND\r\n0\r\n");  // only the end of a polyline written
      open = false;
      at = s + 6;
      zero = false;
    } else if (!other_top(in, zero, at, why, r)) {
      break;
    }
  }
  r.stop = at;
  r.why = why;
  r.out = text.o;
  r.after_zero = zero;
  r.polyline_open = open;
  taken.finish(r);
  runs.finish(r);
  return r;
}

double elevation_guess(const MarkedBlock& b, const char* from) {
  constexpr double none = std::numeric_limits<double>::quiet_NaN();
  const std::string_view before(b.base, static_cast<std::size_t>(from - b.base));
  const std::size_t at = before.rfind("\nPOLYLINE\n");
  if (at == std::string_view::npos) return none;
  const ItemStream in(b, b.base + at + 1);
  GroupValues g;
  const char* next = nullptr;
  const char* zero_digit = nullptr;
  if (!read_groups(in, b.base + at + 9, g, next, zero_digit)) return none;
  return g.has_z ? g.z : 0.0;
}

}  // namespace fast
