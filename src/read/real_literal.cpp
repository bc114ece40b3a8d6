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

}  // namespace literal
