// Fuzzes the reads over bytes held in memory. The same sequence of reads runs
// on three readers: one with a small block (so items straddle blocks) through
// the plain calls, one holding everything in a single block through the fast
// calls (Token, skip_token), and one that skips what it can instead of
// converting it. All three must agree on every outcome. With the
// accelerator, its numbers (integers, reals, rounded coordinates) must also
// agree with the general reads on every token and every line of the content.
//
// Input layout: byte 0 picks the small block size, byte 1 the number k of
// operation bytes taken from the end; the bytes between are the content.
#include <sanitizer/common_interface_defs.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "read/reader.h"
#ifdef TALVERO_FAST
#include <bit>

#include "fast/numbers.h"
#include "read/integer_literal.h"
#include "read/real_literal.h"
#include "write/number_text.h"
#endif

namespace {

// Says what broke where the sanitizers report (standard error may be closed), then stops.
[[noreturn]] void fail(const char* what, std::size_t step) {
  std::string text = "fuzz_reader: " + std::string(what) + " (operation " + std::to_string(step) + ")";
  __sanitizer_report_error_summary(text.c_str());
  std::abort();
}

#define REQUIRE(cond)               \
  do {                              \
    if (!(cond)) fail(#cond, step); \
  } while (0)

bool whitespace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// What one operation on one reader gave.
struct Outcome {
  bool stored = false;
  std::string token;
  int integer = 0;
  double real = 0;
  bool at_end = false;
  std::uint64_t line = 0;
};

enum Op : unsigned {
  token,
  integer,
  real,
  skip,
  drop_rest,
  line_number,  // line() counts from the block's start: an operation, not a check after each read
  skip_token,   // a token consumed without keeping it
  op_count
};

// Which of the three readers runs an operation.
enum class Role { plain, fast, skipping };

Token token_storage;

bool read_real(Reader& r, Role role, double& out) { return role == Role::skipping ? r.skip_real() : r.read_real(out); }

Outcome apply(Reader& r, unsigned op, Role role) {
  Outcome o;
  switch (op) {
    case token:
      if (role == Role::fast) {
        o.stored = r.read_token(token_storage);
        if (o.stored) o.token = token_storage.view();
      } else {
        o.stored = r.read_token(o.token);
      }
      break;
    case integer: o.stored = r.read_int(o.integer); break;
    case real: o.stored = read_real(r, role, o.real); break;
    case skip: o.stored = r.skip_real(); break;
    case drop_rest: r.drop_rest_of_token(); break;
    case line_number: o.line = r.line(); break;
    default: {
      std::string unused;
      o.stored = role == Role::plain ? r.read_token(unused) : r.skip_token();
      break;
    }
  }
  o.at_end = r.at_end();
  return o;
}

#ifdef TALVERO_FAST
// The accelerator's numbers against the general reads on the token [s, e)
// (the byte at e is whitespace or a NUL, 64 bytes readable from it); step,
// said when they differ, is where the token starts in the content.
void check_numbers(const char* s, const char* e, std::size_t step) {
  const std::string_view t(s, static_cast<std::size_t>(e - s));
  int i = 0, fast_i = 0;
  const bool integer = literal::whole_integer(t, i);
  REQUIRE(fast::whole_integer(s, e, fast_i) == integer && (!integer || fast_i == i));
  double x = 0, fast_x = 0;
  const bool real = literal::whole_real(t, x);
  REQUIRE(fast::is_whole_real(s, e) == real);
  REQUIRE(fast::whole_real(s, e, fast_x) == real);
  REQUIRE(!real || std::bit_cast<std::uint64_t>(fast_x) == std::bit_cast<std::uint64_t>(x));
  char out[max_number_text + 8];
  char* end = fast::put_rounded_literal(out, s, e);
  REQUIRE((end != nullptr) == real &&
          (!real || std::string_view(out, static_cast<std::size_t>(end - out)) == rounded_text(x)));
}

// Every whitespace-separated token of the content, and every line of it
// with its blanks (ended by its line feed, or the NUL after the content).
void check_numbers_in(std::string_view content) {
  std::string bytes(content);
  bytes.append(64, '\0');
  const char* const first = bytes.data();
  const char* const last = first + content.size();
  const char* token = nullptr;
  const char* line = first;
  for (const char* p = first; p <= last; ++p) {
    const bool space = p == last || whitespace(*p);
    if (space && token != nullptr) check_numbers(token, p, static_cast<std::size_t>(token - first));
    if (!space && token == nullptr) token = p;
    if (space) token = nullptr;
    if (p == last || *p == '\n') {
      check_numbers(line, p, static_cast<std::size_t>(line - first));
      line = p + 1;
    }
  }
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t block = 16 + data[0] % 64;
  const std::size_t op_bytes = std::min<std::size_t>(data[1], size - 2);
  const std::string_view content(reinterpret_cast<const char*>(data) + 2, size - 2 - op_bytes);
  const std::uint8_t* ops = data + size - op_bytes;
#ifdef TALVERO_FAST
  check_numbers_in(content);
#endif

  // What the text-mode rules leave of the content: nothing after a byte 26, no CR.
  std::string_view visible = content.substr(0, std::min(content.find('\x1a'), content.size()));
  const auto visible_bytes =
      static_cast<std::size_t>(std::count_if(visible.begin(), visible.end(), [](char c) { return c != '\r'; }));
  const auto last_line = static_cast<std::uint64_t>(std::count(visible.begin(), visible.end(), '\n')) + 1;

  Reader small(block), whole(content.size() + 16), skipping(16);
  small.open_memory(content);
  whole.open_memory(content);
  skipping.open_memory(content);

  std::size_t token_bytes = 0;
  std::uint64_t previous_line = 1;
  // Each operation consumes bytes or fails in place, so a bounded number of
  // them, cycling through the operation bytes, is enough to cover the content.
  const std::size_t steps = 2 * content.size() + 8;
  for (std::size_t step = 0; step < steps; ++step) {
    unsigned op = op_bytes == 0 ? step % op_count : ops[step % op_bytes] % op_count;
    bool was_at_end = small.at_end();
    Outcome a = apply(small, op, Role::plain);
    Outcome b = apply(whole, op, Role::fast);
    Outcome c = apply(skipping, op, Role::skipping);

    REQUIRE(a.stored == b.stored && a.stored == c.stored);
    REQUIRE(a.token == b.token);
    REQUIRE(a.integer == b.integer && a.integer == c.integer);
    REQUIRE(std::memcmp(&a.real, &b.real, sizeof a.real) == 0);
    REQUIRE(a.at_end == b.at_end && a.at_end == c.at_end);
    REQUIRE(a.line == b.line && a.line == c.line);
    REQUIRE(a.token == c.token);

    // Once the end is met every read fails, and the end stays.
    if (was_at_end) REQUIRE(!a.stored && a.at_end);
    // A token is a non-empty run of bytes that are not whitespace, CR or byte 26.
    if (op == token && a.stored) {
      REQUIRE(!a.token.empty());
      REQUIRE(std::none_of(a.token.begin(), a.token.end(), [](char ch) { return whitespace(ch) || ch == '\x1a'; }));
      token_bytes += a.token.size();
      REQUIRE(token_bytes <= visible_bytes);
    }
    // Reals are finite: out-of-range literals saturate, "nan" and "inf" fail.
    if (op == real && a.stored) REQUIRE(std::isfinite(a.real));
    if (op == line_number) {
      REQUIRE(a.line >= previous_line && a.line <= last_line);
      previous_line = a.line;
    }
    if (a.at_end && was_at_end) break;
  }
  return 0;
}
