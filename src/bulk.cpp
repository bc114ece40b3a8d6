// Bulk runs over a loaded block, reading items straight from its bytes and
// its whitespace bitmap.
#include "bulk.h"

#include <bit>
#include <cstring>

#include "numbers.h"
#include "scan.h"

namespace {

#if defined(__GNUC__)
#define HOT [[gnu::always_inline]] inline
#define COLD [[gnu::noinline]]
#else
#define HOT inline
#define COLD
#endif

// Longest token item a run copies; longer ones go to the general reads.
constexpr std::ptrdiff_t max_token_item = 256;

HOT bool is(const char* s, std::ptrdiff_t n, const char* keyword, std::ptrdiff_t length) {
  return n == length && std::memcmp(s, keyword, static_cast<std::size_t>(length)) == 0;
}

// Items read one after the other from a loaded block. Token starts and
// ends come from two streams of bits derived from the whitespace bitmap, a
// word at a time, so finding the next token never waits on the previous one.
// Every read fails when its token is not one the general reads would take
// whole, or may go on past the loaded bytes.
struct Items {
  Items(const Reader::Loaded& b, const char* from)
      : base(b.base), space(b.space), n(static_cast<std::size_t>(b.end - b.base)) {
    const auto f = static_cast<std::size_t>(from - base);
    start_word = end_word = f / 64;
    const std::uint64_t at_or_after = ~std::uint64_t{0} << (f % 64);
    // The byte at `from` starts a token when it is not whitespace, whatever
    // precedes it: the reads take what follows the read position.
    starts = (start_bits(start_word) | (~space[start_word] & (std::uint64_t{1} << (f % 64)))) & at_or_after;
    ends = end_bits(end_word) & at_or_after & ~(std::uint64_t{1} << (f % 64));
  }

  // A token's bytes, where the next token read starts from ([s, e) of the
  // last token read), and whether the last read found a whole token.
  HOT bool token() {
    while (starts == 0) starts = start_bits(++start_word);
    const std::size_t i = start_word * 64 + static_cast<std::size_t>(std::countr_zero(starts));
    starts &= starts - 1;
    if (i >= n) return false;
    while (ends == 0) ends = end_bits(++end_word);
    const std::size_t j = end_word * 64 + static_cast<std::size_t>(std::countr_zero(ends));
    ends &= ends - 1;
    s = base + i;
    e = base + j;
    return j < n;  // a token ending at n may go on in the next block
  }

  HOT bool integer(int& v) {
    if (!token()) return false;
    const char* digits = s + (*s == '-' || *s == '+');
    std::uint64_t m;
    const int k = scan::leading_digits(digits, &m);  // at most 8 digits: no saturation
    if (k == 0 || digits + k != e) return false;
    v = *s == '-' ? -static_cast<int>(m) : static_cast<int>(m);
    return true;
  }

  template <bool convert>
  HOT bool real(double& v) {
    if (!token()) return false;
    bool digits = false;
    if (const char* q = scan::real_literal<convert>(s, &v, &digits)) return q == e && digits;
    return long_real<convert>(v);
  }

  // A literal with long digit runs or a large exponent: the general conversion.
  template <bool convert>
  COLD bool long_real(double& v) const {
    const char* value_end = nullptr;
    if (scan::real_grammar(s, &value_end) != e) return false;
    if (convert) v = real_value(s, value_end);
    return true;
  }

  const char* base;
  const std::uint64_t* space;
  std::size_t n;  // loaded bytes
  const char* s = nullptr;
  const char* e = nullptr;

 private:
  // Bytes that are not whitespace after whitespace, and whitespace after a
  // byte that is not; the byte before the block counts as whitespace.
  [[nodiscard]] HOT std::uint64_t after_space(std::size_t w) const {
    return (space[w] << 1) | (w == 0 ? 1 : space[w - 1] >> 63);
  }
  [[nodiscard]] HOT std::uint64_t start_bits(std::size_t w) const { return ~space[w] & after_space(w); }
  [[nodiscard]] HOT std::uint64_t end_bits(std::size_t w) const { return space[w] & ~after_space(w); }

  std::size_t start_word, end_word;
  std::uint64_t starts, ends;
};

// Output of one entity, in room reserved beforehand.
struct Text {
  char* o;

  HOT void put(const char* t, std::size_t n) {
    std::memcpy(o, t, n);
    o += n;
  }
  HOT void line_end() {
    o[0] = '\r';
    o[1] = '\n';
    o += 2;
  }
  // val after `spaces` spaces (at most 8).
  HOT void val(int v, int spaces) {
    std::memcpy(o, "        ", 8);
    o = put_int(o + spaces, v);
    line_end();
  }
  HOT void token(const char* s, const char* e) {
    const auto n = static_cast<std::size_t>(e - s);
    if (n <= 16)
      std::memcpy(o, s, 16);  // 16 bytes are readable at s and writable at o
    else
      std::memcpy(o, s, n);
    o += n;
    line_end();
  }
  HOT void rounded(double x) {
    o = put_rounded(o, x);
    line_end();
  }
};

// The survey's VERTEX: four token items, then integer and real items in
// turn, the reals consumed without conversion.
HOT bool skip_vertex(Items& in, int& val) {
  double unused = 0;
  return in.token() && in.token() && in.token() && in.token() && in.integer(val) && in.real<false>(unused) &&
         in.integer(val) && in.real<false>(unused) && in.integer(val) && in.real<false>(unused) && in.integer(val);
}

// Reads an integer item into val and writes it after `spaces` spaces.
HOT bool copy_int(Items& in, Text& out, int& val, int spaces) {
  if (!in.integer(val)) return false;
  out.val(val, spaces);
  return true;
}

HOT bool copy_token(Items& in, Text& out) {
  if (!in.token() || in.e - in.s > max_token_item) return false;
  out.token(in.s, in.e);
  return true;
}

// The writing pass's POLYLINE. Its fourth item is tested as the loop tests
// it: a VERTEX or SEQEND there is left to the general reads.
HOT bool copy_polyline(Items& in, Text& out, int& val) {
  out.put("POLYLINE\r\n", 10);
  if (!copy_int(in, out, val, 2) || !copy_token(in, out) || !copy_int(in, out, val, 2) || !copy_token(in, out))
    return false;
  const std::ptrdiff_t n = in.e - in.s;
  if (is(in.s, n, "VERTEX", 6) || is(in.s, n, "SEQEND", 6)) return false;
  if (!in.integer(val)) return false;
  out.val(val, val < 0 ? 0 : 1);  // "% d": a space before a number that is not negative
  return copy_int(in, out, val, 5) && copy_int(in, out, val, 1) && copy_int(in, out, val, 5) &&
         copy_int(in, out, val, 1) && copy_int(in, out, val, 0) && copy_int(in, out, val, 2);
}

// The writing pass's VERTEX, coordinates rounded; a SEQEND as its second
// item is left to the general reads.
HOT bool copy_vertex(Items& in, Text& out, int& val, double& dval) {
  out.put("VERTEX\r\n", 8);
  if (!copy_int(in, out, val, 2) || !copy_token(in, out)) return false;
  if (is(in.s, in.e - in.s, "SEQEND", 6)) return false;
  if (!copy_int(in, out, val, 1) || !copy_int(in, out, val, 4) || !copy_int(in, out, val, 1)) return false;
  for (int axis = 0; axis < 3; ++axis) {
    if (!in.real<true>(dval)) return false;
    out.rounded(dval);
    if (!copy_int(in, out, val, axis < 2 ? 1 : 2)) return false;
  }
  return true;
}

}  // namespace

RunResult survey_run(const Reader::Loaded& b, const char* from, const char* sync) {
  RunResult r;
  Items in(b, from);
  const char* at = from;  // where the loop's next token read starts from
  for (;;) {
    if (!in.token()) {
      r.stop = at;
      r.why = RunStop::block_end;
      return r;
    }
    const char* s = in.s;
    const std::ptrdiff_t n = in.e - s;
    if (sync != nullptr && s >= sync) {
      r.stop = at;
      r.why = s == sync ? RunStop::sync : RunStop::passed;
      return r;
    }
    if (is(s, n, "VERTEX", 6)) {
      int val = 0;
      if (!skip_vertex(in, val)) {
        r.stop = at;
        r.why = RunStop::general;
        return r;
      }
      r.has_val = true;
      r.val = val;
    } else if (is(s, n, "POLYLINE", 8)) {
      ++r.polylines;
    } else if (is(s, n, "$EXTMIN", 7) || is(s, n, "$EXTMAX", 7)) {
      r.stop = at;
      r.why = RunStop::general;
      return r;
    }
    at = in.e;
  }
}

RunResult write_run(const Reader::Loaded& b, const char* from, char* out, char* out_limit, const char* sync) {
  RunResult r;
  Items in(b, from);
  Text text{out};
  const char* at = from;  // where the loop's next token read starts from
  for (;;) {
    auto stop = [&](RunStop why) {
      r.stop = at;
      r.why = why;
      r.out = text.o;
      return r;
    };
    if (!in.token()) return stop(RunStop::block_end);
    const char* s = in.s;
    const std::ptrdiff_t n = in.e - s;
    if (sync != nullptr && s >= sync) return stop(s == sync ? RunStop::sync : RunStop::passed);
    if (out_limit - text.o < static_cast<std::ptrdiff_t>(run_entity_room)) return stop(RunStop::room);
    if (is(s, n, "VERTEX", 6)) {
      Text entity = text;
      int val = 0;
      double dval = 0;
      if (!copy_vertex(in, entity, val, dval)) return stop(RunStop::general);
      text = entity;
      r.has_val = r.has_dval = true;
      r.val = val;
      r.dval = dval;
    } else if (is(s, n, "POLYLINE", 8)) {
      Text entity = text;
      int val = 0;
      if (!copy_polyline(in, entity, val)) return stop(RunStop::general);
      text = entity;
      r.has_val = true;
      r.val = val;
      ++r.polylines;
    } else if (is(s, n, "SEQEND", 6)) {
      text.put("SEQEND\r\n0\r\n", 11);
    }
    at = in.e;
  }
}
