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
constexpr std::size_t max_token_item = 256;

// An entity writes its keyword, at most 9 integers (8 spaces, 9 characters,
// the line end, 8-byte stores), at most 2 tokens (copied 16 bytes at a time)
// and at most 3 coordinates (8-byte stores past the longest text).
static_assert(run_entity_room >= 10 + 9 * (8 + 9 + 2 + 8) + 2 * (max_token_item + 16 + 2) + 3 * (max_number_text + 2 + 8));

// True when the bytes at s are the keyword followed by whitespace. The byte
// at the end of the loaded bytes is a NUL: a keyword that may go on in the
// next block does not match.
template <std::size_t N>
HOT bool is_keyword_at(const char* s, const char (&keyword)[N]) {
  return std::memcmp(s, keyword, N - 1) == 0 && scan::is_space(static_cast<unsigned char>(s[N - 1]));
}

HOT bool space_at(const char* p) { return scan::is_space(static_cast<unsigned char>(*p)); }

// A real literal at s with long digit runs or a large exponent: the grammar
// alone, then the general conversion into *v when v is set. Returns the
// literal's end, or nullptr when it has no digit.
COLD const char* long_real(const char* s, double* v) {
  const char* value_end = nullptr;
  const char* q = scan::real_grammar(s, &value_end);
  if (q != nullptr && v != nullptr) *v = real_value(s, value_end);
  return q;
}

// The real literal at s: its end, or nullptr when it has no digit; with
// convert, its value in *v.
template <bool convert>
HOT const char* real_at(const char* s, double* v) {
  bool digits = false;
  const char* q = scan::real_literal<convert>(s, v, &digits);
  if (q == nullptr) return long_real(s, convert ? v : nullptr);
  return digits ? q : nullptr;
}

// Items read one after the other from a loaded block. Token starts come
// from a stream of bits derived from the whitespace bitmap a word at a time,
// so finding the next token never waits on the previous one. A numeric item
// is a whole token when whitespace follows what its grammar takes; the NUL
// at the end of the loaded bytes is not whitespace, so an item that may go
// on in the next block is refused. Every read fails when its token is not
// one the general reads would take whole.
struct Items {
  Items(const Reader::Loaded& b, const char* from)
      : base(b.base), space(b.space), n(static_cast<std::size_t>(b.end - b.base)) {
    const auto f = static_cast<std::size_t>(from - base);
    word = f / 64;
    // The byte at `from` starts a token when it is not whitespace, whatever
    // precedes it: the reads take what follows the read position.
    starts = (start_bits(word) | (~space[word] & (std::uint64_t{1} << (f % 64)))) & (~std::uint64_t{0} << (f % 64));
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
  [[nodiscard]] HOT const char* token_end() const {
    const auto i = static_cast<std::size_t>(s - base);
    if constexpr (std::endian::native == std::endian::little) {
      std::uint64_t w;
      std::memcpy(&w, reinterpret_cast<const unsigned char*>(space) + i / 8, 8);
      w >>= i % 8;
      if (w != 0) return s + std::countr_zero(w);
    }
    return base + scan::next_bit<true>(space, i);
  }

  // An integer item: sign and at most 8 digits (no saturation), whole.
  // length: its bytes; plain: digits only without a leading zero, so already
  // its value's text.
  HOT bool integer(std::size_t& length, bool& plain) {
    if (!next()) return false;
    const bool sign = *s == '-' || *s == '+';
    const int k = scan::leading_digit_count(s + sign);
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
    scan::leading_digits(digits, &m);
    return *t == '-' ? -static_cast<int>(m) : static_cast<int>(m);
  }

  // A real item, whole; converted into v with convert.
  template <bool convert>
  HOT bool real(double& v) {
    return next() && real_here<convert>(v);
  }
  template <bool convert>
  HOT bool real_here(double& v) const {
    const char* q = real_at<convert>(s, &v);
    return q != nullptr && space_at(q);
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
  // An integer's text after `spaces` spaces (at most 8): the token itself
  // when plain, else its value's.
  HOT void integer(const char* s, std::size_t length, bool plain, int spaces) {
    std::memcpy(o, "        ", 8);
    if (plain) {
      std::memcpy(o + spaces, s, 8);  // 8 bytes are readable at s
      o += static_cast<std::size_t>(spaces) + length;
    } else {
      o = put_int(o + spaces, Items::int_value(s));
    }
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
  // The k whole digits at d (at most 7, 8 bytes readable), with a minus sign
  // when negative and the last digit moved by change (no carry or borrow).
  HOT void whole(const char* d, int k, bool negative, int change) {
    *o = '-';
    o += negative;
    std::memcpy(o, d, 8);
    o[k - 1] = static_cast<char>(o[k - 1] + change);
    o += k;
    line_end();
  }
  HOT void rounded(int r) {
    o = put_int(o, r);
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
  return in.next() && in.next() && in.next() && in.next() && in.integer() && in.real<false>(unused) &&
         in.integer() && in.real<false>(unused) && in.integer() && in.real<false>(unused) && in.integer();
}

// Reads an integer item and writes it after `spaces` spaces.
HOT bool copy_int(Items& in, Text& out, int spaces) {
  std::size_t length;
  bool plain;
  if (!in.integer(length, plain)) return false;
  out.integer(in.s, length, plain, spaces);
  return true;
}

// Reads a coordinate and writes it rounded (x + 0.5 truncated toward zero).
// With at most 7 digits before and after the point and no exponent, the
// double nearest the literal lies within 2^-29 of it, while a literal that
// is not itself a whole or half number lies at least 10^-7 from every one:
// both round alike, and the first fraction digit decides.
HOT bool copy_coordinate(Items& in, Text& out) {
  if (!in.next()) return false;
  const char* p = in.s;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  const char* digits = p;
  const int k = scan::leading_digit_count(p);
  p += k;
  int fraction = 0;
  int first = 0;  // the first fraction digit
  if (*p == '.') {
    ++p;
    fraction = scan::leading_digit_count(p);
    if (fraction > 0) first = *p - '0';
    p += fraction;
  }
  if (k + fraction > 0 && k < 8 && fraction < 8 && space_at(p)) {
    // x >= 0 gives its whole part, plus one from a first fraction digit of 5
    // or more; x < 0 gives minus its whole part, plus one below that digit.
    const bool up = first >= 5;
    const int change = negative ? (up ? 0 : -1) : (up ? 1 : 0);
    const char last = k > 0 ? digits[k - 1] : '0';
    // Mostly the digits as written, the last one moved by one at most.
    if (k > 0 && digits[0] != '0' && (change == 0 || (change > 0 ? last != '9' : last != '0')) &&
        !(change < 0 && k == 1 && last == '1')) {
      out.whole(digits, k, negative, change);
    } else {
      std::uint64_t whole;
      scan::leading_digits(digits, &whole);
      auto r = static_cast<int>(whole);
      if (!negative)
        r += up;
      else
        r = r == 0 ? 0 : up ? -r : 1 - r;
      out.rounded(r);
    }
  } else {
    double x = 0;
    if (!in.real_here<true>(x)) return false;
    out.rounded(x);
  }
  in.last_coordinate = in.s;
  return true;
}

HOT bool copy_token(Items& in, Text& out) {
  if (!in.next()) return false;
  const char* e = in.token_end();
  const auto length = static_cast<std::size_t>(e - in.s);
  if (e == in.base + in.n || length > max_token_item) return false;  // may go on in the next block, or long
  out.token(in.s, length);
  return true;
}

// The writing pass's POLYLINE. Its fourth item is tested as the loop tests
// it: a VERTEX or SEQEND there is left to the general reads.
HOT bool copy_polyline(Items& in, Text& out) {
  out.put("POLYLINE\r\n", 10);
  if (!copy_int(in, out, 2) || !copy_token(in, out) || !copy_int(in, out, 2) || !copy_token(in, out)) return false;
  if (is_keyword_at(in.s, "VERTEX") || is_keyword_at(in.s, "SEQEND")) return false;
  if (!in.integer()) return false;
  const int val = Items::int_value(in.s);
  out.integer(in.s, 0, false, val < 0 ? 0 : 1);  // "% d": a space before a number that is not negative
  return copy_int(in, out, 5) && copy_int(in, out, 1) && copy_int(in, out, 5) && copy_int(in, out, 1) &&
         copy_int(in, out, 0) && copy_int(in, out, 2);
}

// The writing pass's VERTEX, coordinates rounded; a SEQEND as its second
// item is left to the general reads.
HOT bool copy_vertex(Items& in, Text& out) {
  out.put("VERTEX\r\n", 8);
  if (!copy_int(in, out, 2) || !copy_token(in, out)) return false;
  if (is_keyword_at(in.s, "SEQEND")) return false;
  return copy_int(in, out, 1) && copy_int(in, out, 4) && copy_int(in, out, 1) && copy_coordinate(in, out) &&
         copy_int(in, out, 1) && copy_coordinate(in, out) && copy_int(in, out, 1) && copy_coordinate(in, out) &&
         copy_int(in, out, 2);
}

// The items of the entities taken so far whose values the merge keeps.
struct Taken {
  const char* last_int = nullptr;
  const char* last_coordinate = nullptr;

  // Takes an entity whose items ended with an integer; returns its end.
  HOT const char* take(const Items& in) {
    last_int = in.last_int;
    last_coordinate = in.last_coordinate;
    return in.last_int_end;
  }
  // Works out the kept values, once per run.
  void finish(RunResult& r) const {
    if (last_int != nullptr) {
      r.has_val = true;
      r.val = Items::int_value(last_int);
    }
    if (last_coordinate != nullptr) {
      r.has_dval = true;
      real_at<true>(last_coordinate, &r.dval);
    }
  }
};

// The loops' next token: false, with why and at set, when the loop stops
// before it. In both loops, `at` is where the loop's next token read would
// start: the start of the token under consideration, or the end of the last
// entity taken. Reading again a token that is not a keyword changes nothing.
HOT bool next_top(Items& in, const char* sync, const char*& at, RunStop& why) {
  if (!in.next()) {
    why = RunStop::block_end;
    return false;
  }
  if (sync != nullptr && in.s >= sync) {
    why = in.s == sync ? RunStop::sync : RunStop::passed;
    at = in.s;
    return false;
  }
  at = in.s;
  return true;
}

}  // namespace

BulkSettings bulk_settings{true, std::thread::hardware_concurrency() > 1};

RunResult survey_run(const Reader::Loaded& b, const char* from, const char* sync) {
  RunResult r;
  Items in(b, from);
  Taken taken;
  const char* at = from;
  RunStop why = RunStop::block_end;
  while (next_top(in, sync, at, why)) {
    const char* s = in.s;
    if (is_keyword_at(s, "VERTEX")) {
      if (!skip_vertex(in)) {
        why = RunStop::general;
        break;
      }
      at = taken.take(in);
    } else if (is_keyword_at(s, "POLYLINE")) {
      ++r.polylines;
      at = s + 8;
    } else if (is_keyword_at(s, "$EXTMIN") || is_keyword_at(s, "$EXTMAX")) {
      why = RunStop::general;
      break;
    }
  }
  r.stop = at;
  r.why = why;
  taken.finish(r);
  return r;
}

RunResult write_run(const Reader::Loaded& b, const char* from, char* out, char* out_limit, const char* sync) {
  RunResult r;
  Items in(b, from);
  Taken taken;
  Text text{out};
  const char* at = from;
  RunStop why = RunStop::block_end;
  while (next_top(in, sync, at, why)) {
    const char* s = in.s;
    if (out_limit - text.o < static_cast<std::ptrdiff_t>(run_entity_room)) {
      why = RunStop::room;
      break;
    }
    if (is_keyword_at(s, "VERTEX")) {
      Text entity = text;
      if (!copy_vertex(in, entity)) {
        why = RunStop::general;
        break;
      }
      text = entity;
      at = taken.take(in);
    } else if (is_keyword_at(s, "POLYLINE")) {
      Text entity = text;
      if (!copy_polyline(in, entity)) {
        why = RunStop::general;
        break;
      }
      text = entity;
      at = taken.take(in);
      ++r.polylines;
    } else if (is_keyword_at(s, "SEQEND")) {
      text.put("SEQEND\r\n0\r\n", 11);
      at = s + 6;
    }
  }
  r.stop = at;
  r.why = why;
  r.out = text.o;
  taken.finish(r);
  return r;
}
