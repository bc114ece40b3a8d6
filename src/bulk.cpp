// Bulk runs over a loaded block, reading items straight from its bytes and
// its whitespace bitmap.
#include "bulk.h"

#include <bit>
#include <cstring>
#include <thread>

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

// A real literal [s, e) with long digit runs or a large exponent: the
// grammar alone, then the general conversion into *v when v is set. Kept
// out of line (and apart from Items, whose fields then stay in registers).
COLD bool long_real(const char* s, const char* e, double* v) {
  const char* value_end = nullptr;
  if (scan::real_grammar(s, &value_end) != e) return false;
  if (v != nullptr) *v = real_value(s, value_end);
  return true;
}

// Items read one after the other from a loaded block. Token starts come
// from a stream of bits derived from the whitespace bitmap a word at a time,
// so finding the next token never waits on the previous one; a token's end
// is the first whitespace bit after its start, almost always within the
// 8 bytes of the bitmap there. Every read fails when its token is not one
// the general reads would take whole, or may go on past the loaded bytes.
struct Items {
  Items(const Reader::Loaded& b, const char* from)
      : base(b.base), space(b.space), n(static_cast<std::size_t>(b.end - b.base)) {
    const auto f = static_cast<std::size_t>(from - base);
    word = f / 64;
    // The byte at `from` starts a token when it is not whitespace, whatever
    // precedes it: the reads take what follows the read position.
    starts = (start_bits(word) | (~space[word] & (std::uint64_t{1} << (f % 64)))) & (~std::uint64_t{0} << (f % 64));
  }

  // Reads the next token into [s, e); false when there is none or it may go
  // on in the next block.
  HOT bool token() {
    while (starts == 0) starts = start_bits(++word);
    const std::size_t i = word * 64 + static_cast<std::size_t>(std::countr_zero(starts));
    starts &= starts - 1;
    if (i >= n) return false;
    std::size_t j;
    std::uint64_t w;
    std::memcpy(&w, reinterpret_cast<const unsigned char*>(space) + i / 8, 8);
    w >>= i % 8;
    if (std::endian::native == std::endian::little && w != 0)
      j = i + static_cast<std::size_t>(std::countr_zero(w));
    else
      j = scan::next_bit<true>(space, i);
    s = base + i;
    e = base + j;
    return j < n;  // a token ending at n may go on in the next block
  }

  HOT bool integer() {
    if (!token()) return false;
    const char* digits = s + (*s == '-' || *s == '+');
    const int k = scan::leading_digit_count(digits);  // at most 8 digits: no saturation
    if (k == 0 || digits + k != e) return false;
    last_int = s;
    return true;
  }
  // The same for an item written back: true in plain when the token is
  // digits only, without a leading zero, so already its value's text.
  HOT bool integer(bool& plain) {
    if (!token()) return false;
    const bool sign = *s == '-' || *s == '+';
    const int k = scan::leading_digit_count(s + sign);  // at most 8 digits: no saturation
    if (k == 0 || s + sign + k != e) return false;
    plain = !sign && (*s != '0' || k == 1);
    last_int = s;
    return true;
  }
  // The value of an integer token accepted by integer().
  static int int_value(const char* t) {
    const char* digits = t + (*t == '-' || *t == '+');
    std::uint64_t m;
    scan::leading_digits(digits, &m);
    return *t == '-' ? -static_cast<int>(m) : static_cast<int>(m);
  }

  template <bool convert>
  HOT bool real(double& v) {
    return token() && real_here<convert>(v);
  }
  // The token just read as a real.
  template <bool convert>
  HOT bool real_here(double& v) const {
    bool digits = false;
    if (const char* q = scan::real_literal<convert>(s, &v, &digits)) return q == e && digits;
    return long_real(s, e, convert ? &v : nullptr);
  }


  const char* base;
  const std::uint64_t* space;
  std::size_t n;  // loaded bytes
  const char* s = nullptr;
  const char* e = nullptr;
  const char* last_int = nullptr;  // the last integer item's token
  const char* last_coordinate = nullptr;  // the last coordinate's token
  const char* last_coordinate_end = nullptr;

 private:
  // Bytes that are not whitespace after whitespace; the byte before the
  // block counts as whitespace.
  [[nodiscard]] HOT std::uint64_t start_bits(std::size_t w) const {
    return ~space[w] & ((space[w] << 1) | (w == 0 ? 1 : space[w - 1] >> 63));
  }

  std::size_t word;
  std::uint64_t starts;
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
  // A token of at most 8 bytes after `spaces` spaces; 8 bytes are readable at s.
  HOT void short_token(const char* s, std::size_t n, int spaces) {
    std::memcpy(o, "        ", 8);
    std::memcpy(o + spaces, s, 8);
    o += static_cast<std::size_t>(spaces) + n;
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
HOT bool skip_vertex(Items& in) {
  double unused = 0;
  return in.token() && in.token() && in.token() && in.token() && in.integer() && in.real<false>(unused) &&
         in.integer() && in.real<false>(unused) && in.integer() && in.real<false>(unused) && in.integer();
}

// Reads an integer item and writes it after `spaces` spaces. Digits without
// a sign or a leading zero already are the decimal text of their value.
HOT bool copy_int(Items& in, Text& out, int spaces) {
  bool plain = false;
  if (!in.integer(plain)) return false;
  if (plain)
    out.short_token(in.s, static_cast<std::size_t>(in.e - in.s), spaces);
  else
    out.val(Items::int_value(in.s), spaces);
  return true;
}

// Reads a coordinate and writes it rounded (x + 0.5 truncated toward zero).
// With at most 7 digits before and after the point and no exponent, the
// double nearest the literal lies within 2^-29 of it, while a literal that
// is not itself a whole or half number lies at least 10^-7 from every one:
// both round alike, and the first fraction digit decides.
HOT bool copy_coordinate(Items& in, Text& out) {
  if (!in.token()) return false;
  const char* p = in.s;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  std::uint64_t whole;
  const int k = scan::leading_digits(p, &whole);
  p += k;
  int fraction = 0;
  int first = 0;  // the first fraction digit
  if (*p == '.') {
    ++p;
    fraction = scan::leading_digit_count(p);
    if (fraction > 0) first = *p - '0';
    p += fraction;
  }
  if (p == in.e && k + fraction > 0 && k < 8 && fraction < 8) {
    auto r = static_cast<int>(whole);
    if (!negative)
      r += first >= 5;
    else
      r = r == 0 ? 0 : first >= 5 ? -r : 1 - r;
    out.o = put_int(out.o, r);
    out.line_end();
  } else {
    double x = 0;
    if (!in.real_here<true>(x)) return false;
    out.rounded(x);
  }
  in.last_coordinate = in.s;
  in.last_coordinate_end = in.e;
  return true;
}

HOT bool copy_token(Items& in, Text& out) {
  if (!in.token() || in.e - in.s > max_token_item) return false;
  out.token(in.s, in.e);
  return true;
}

// The writing pass's POLYLINE. Its fourth item is tested as the loop tests
// it: a VERTEX or SEQEND there is left to the general reads.
HOT bool copy_polyline(Items& in, Text& out) {
  out.put("POLYLINE\r\n", 10);
  if (!copy_int(in, out, 2) || !copy_token(in, out) || !copy_int(in, out, 2) || !copy_token(in, out)) return false;
  const std::ptrdiff_t n = in.e - in.s;
  if (is(in.s, n, "VERTEX", 6) || is(in.s, n, "SEQEND", 6)) return false;
  if (!in.integer()) return false;
  const int val = Items::int_value(in.s);
  out.val(val, val < 0 ? 0 : 1);  // "% d": a space before a number that is not negative
  return copy_int(in, out, 5) && copy_int(in, out, 1) && copy_int(in, out, 5) && copy_int(in, out, 1) &&
         copy_int(in, out, 0) && copy_int(in, out, 2);
}

// The writing pass's VERTEX, coordinates rounded; a SEQEND as its second
// item is left to the general reads.
HOT bool copy_vertex(Items& in, Text& out) {
  out.put("VERTEX\r\n", 8);
  if (!copy_int(in, out, 2) || !copy_token(in, out)) return false;
  if (is(in.s, in.e - in.s, "SEQEND", 6)) return false;
  return copy_int(in, out, 1) && copy_int(in, out, 4) && copy_int(in, out, 1) && copy_coordinate(in, out) &&
         copy_int(in, out, 1) && copy_coordinate(in, out) && copy_int(in, out, 1) && copy_coordinate(in, out) &&
         copy_int(in, out, 2);
}

// The items of the entities taken so far whose values the merge keeps.
struct Taken {
  const char* last_int = nullptr;
  const char* last_coordinate = nullptr;
  const char* last_coordinate_end = nullptr;

  void take(const Items& in) {
    last_int = in.last_int;
    last_coordinate = in.last_coordinate;
    last_coordinate_end = in.last_coordinate_end;
  }
  // Works out the kept values, once per run.
  void finish(RunResult& r) const {
    if (last_int != nullptr) {
      r.has_val = true;
      r.val = Items::int_value(last_int);
    }
    if (last_coordinate != nullptr) {
      r.has_dval = true;
      bool digits = false;
      if (scan::real_literal<true>(last_coordinate, &r.dval, &digits) == nullptr) {
        const char* value_end = nullptr;
        scan::real_grammar(last_coordinate, &value_end);
        r.dval = real_value(last_coordinate, value_end);
      }
    }
  }
};

}  // namespace

BulkSettings bulk_settings{true, std::thread::hardware_concurrency() > 1};

RunResult survey_run(const Reader::Loaded& b, const char* from, const char* sync) {
  RunResult r;
  Items in(b, from);
  Taken taken;
  const char* at = from;  // where the loop's next token read starts from
  for (;;) {
    r.why = RunStop::block_end;
    if (!in.token()) break;
    const char* s = in.s;
    const std::ptrdiff_t n = in.e - s;
    if (sync != nullptr && s >= sync) {
      r.why = s == sync ? RunStop::sync : RunStop::passed;
      break;
    }
    if (is(s, n, "VERTEX", 6)) {
      r.why = RunStop::general;
      if (!skip_vertex(in)) break;
      taken.take(in);
    } else if (is(s, n, "POLYLINE", 8)) {
      ++r.polylines;
    } else if (is(s, n, "$EXTMIN", 7) || is(s, n, "$EXTMAX", 7)) {
      r.why = RunStop::general;
      break;
    }
    at = in.e;
  }
  r.stop = at;
  taken.finish(r);
  return r;
}

RunResult write_run(const Reader::Loaded& b, const char* from, char* out, char* out_limit, const char* sync) {
  RunResult r;
  Items in(b, from);
  Taken taken;
  Text text{out};
  const char* at = from;  // where the loop's next token read starts from
  for (;;) {
    r.why = RunStop::block_end;
    if (!in.token()) break;
    const char* s = in.s;
    const std::ptrdiff_t n = in.e - s;
    if (sync != nullptr && s >= sync) {
      r.why = s == sync ? RunStop::sync : RunStop::passed;
      break;
    }
    r.why = RunStop::room;
    if (out_limit - text.o < static_cast<std::ptrdiff_t>(run_entity_room)) break;
    r.why = RunStop::general;
    if (is(s, n, "VERTEX", 6)) {
      Text entity = text;
      if (!copy_vertex(in, entity)) break;
      text = entity;
      taken.take(in);
    } else if (is(s, n, "POLYLINE", 8)) {
      Text entity = text;
      if (!copy_polyline(in, entity)) break;
      text = entity;
      taken.take(in);
      ++r.polylines;
    } else if (is(s, n, "SEQEND", 6)) {
      text.put("SEQEND\r\n0\r\n", 11);
    }
    at = in.e;
  }
  r.stop = at;
  r.out = text.o;
  taken.finish(r);
  return r;
}
