// The integer literal as the reads take it: an optional sign and decimal
// digits, its value saturated to the signed 32-bit range. This grammar is
// written here once: the reader's integer read, the whole-value test of
// group codes and values, and the accelerator's faster forms (checked
// against it) all take integers by it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

#include "read/characters.h"
#include "read/real_literal.h"

namespace literal {

// What an integer literal's scan found.
struct IntegerScan {
  std::size_t length = 0;  // bytes taken (a sign without digits too: a failing read consumes it)
  bool digits = false;     // a digit was found: a number was read
  int value = 0;           // saturated: 2147483647 or -2147483648 beyond the range
};

// Scans the literal that `in` offers byte by byte: in.peek() is the next
// byte (or -1 past the input), in.take() moves past it.
template <class Cursor>
IntegerScan scan_integer(Cursor& in) {
  IntegerScan r;
  int c = in.peek();
  const bool negative = c == '-';
  if (c == '+' || c == '-') {
    in.take();
    ++r.length;
    c = in.peek();
  }
  // Past 32 bits only the saturation matters, so the magnitude stops growing.
  constexpr std::uint64_t cap = std::uint64_t{1} << 40;
  std::uint64_t magnitude = 0;
  while (is_digit(c)) {
    r.digits = true;
    magnitude = std::min(magnitude * 10 + static_cast<unsigned>(c - '0'), cap);
    in.take();
    ++r.length;
    c = in.peek();
  }
  constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<int>::max());
  if (negative)
    r.value = magnitude > max ? std::numeric_limits<int>::min() : -static_cast<int>(magnitude);
  else
    r.value = magnitude > max ? std::numeric_limits<int>::max() : static_cast<int>(magnitude);
  return r;
}

// Whether the whole text is one integer literal; its value in `value`.
[[nodiscard]] inline bool whole_integer(std::string_view text, int& value) {
  SpanCursor in{text.data(), text.data() + text.size()};
  const IntegerScan s = scan_integer(in);
  if (!s.digits || s.length != text.size()) return false;
  value = s.value;
  return true;
}

}  // namespace literal
