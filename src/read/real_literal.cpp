// The value of a real literal.
#include "read/real_literal.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace literal {

double real_value(const char* first, const char* last) {
  if (*first == '+') ++first;  // std::from_chars takes no plus sign
  double value = 0;
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec == std::errc::result_out_of_range) {
    // Beyond the double range: the largest finite double, or what is left below it.
    std::string copy(first, last);
    value = std::strtod(copy.c_str(), nullptr);
    if (std::isinf(value)) value = std::copysign(DBL_MAX, value);
  }
  return value;
}

namespace {

// The scan of a whole text: a literal that takes every byte of it.
bool scan_whole(std::string_view text, RealScan& s) {
  SpanCursor in{text.data(), text.data() + text.size()};
  s = scan_real(in);
  return s.digits && s.length == text.size();
}

}  // namespace

bool whole_real(std::string_view text, double& value) {
  RealScan s;
  if (!scan_whole(text, s)) return false;
  value = real_value(text.data(), text.data() + s.value_length);
  return true;
}

bool is_whole_real(std::string_view text) {
  RealScan s;
  return scan_whole(text, s);
}

}  // namespace literal
