// The real literal as the reads take it: an optional sign, digits, an
// optional point and fraction digits, and an optional exponent (e or E, an
// optional sign, digits), with at least one digit before the exponent. An
// exponent marker without digits is part of the literal (it is consumed) but
// not of its value. This grammar is written here once; the accelerator's
// faster forms are checked against it.
#pragma once

#include <cstddef>
#include <string_view>

#include "read/characters.h"

namespace literal {

// Where a literal's parts end, counted from its first byte.
struct RealScan {
  std::size_t length = 0;        // bytes the literal takes (a failed one too: a lone sign or point)
  std::size_t value_length = 0;  // bytes of the text its value is read from
  bool digits = false;           // a mantissa digit was found: a number was read
};

// Scans the literal that `in` offers byte by byte: in.peek() is the next
// byte (or -1 past the input), in.take() moves past it.
template <class Cursor>
RealScan scan_real(Cursor& in) {
  RealScan r;
  int c = in.peek();
  auto take = [&] {
    in.take();
    ++r.length;
    return in.peek();
  };
  if (c == '+' || c == '-') c = take();
  while (is_digit(c)) {
    r.digits = true;
    c = take();
  }
  if (c == '.') {
    c = take();
    while (is_digit(c)) {
      r.digits = true;
      c = take();
    }
  }
  if (!r.digits) return r;
  r.value_length = r.length;
  if (c == 'e' || c == 'E') {
    c = take();
    if (c == '+' || c == '-') c = take();
    bool exponent_digits = false;
    while (is_digit(c)) {
      exponent_digits = true;
      c = take();
    }
    if (exponent_digits) r.value_length = r.length;
  }
  return r;
}

// A cursor over bytes in memory that end with a byte no literal continues
// with (a NUL, whitespace).
struct TextCursor {
  const char* p;
  [[nodiscard]] int peek() const { return static_cast<unsigned char>(*p); }
  void take() { ++p; }
};

// A cursor over the bytes [p, end): -1 at end.
struct SpanCursor {
  const char* p;
  const char* end;
  [[nodiscard]] int peek() const { return p == end ? -1 : static_cast<unsigned char>(*p); }
  void take() { ++p; }
};

// The value of the literal text [first, last) (its value part): correctly
// rounded, or the largest finite double of its sign beyond the range, or
// what the C library gives below it (zero or a subnormal).
double real_value(const char* first, const char* last);

// Whether the whole text is one real literal; its value in `value`.
[[nodiscard]] bool whole_real(std::string_view text, double& value);
// The same test without the value.
[[nodiscard]] bool is_whole_real(std::string_view text);

}  // namespace literal
