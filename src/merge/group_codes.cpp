// Group values as numbers.
#include "merge/group_codes.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "read/real_literal.h"

namespace groups {

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool whole_integer(std::string_view text, int& value) {
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return literal::is_digit(c); })) return false;
  std::int64_t magnitude = 0;
  for (char c : text) magnitude = std::min<std::int64_t>(magnitude * 10 + (c - '0'), std::int64_t{1} << 40);
  value = static_cast<int>(std::clamp<std::int64_t>(negative ? -magnitude : magnitude, std::numeric_limits<int>::min(),
                                                    std::numeric_limits<int>::max()));
  return true;
}

bool whole_real(std::string_view text, double& value) {
  const std::string copy(text);  // the grammar needs a byte no literal goes on with after it
  literal::TextCursor in{copy.c_str()};
  const literal::RealScan s = literal::scan_real(in);
  if (!s.digits || s.length != copy.size()) return false;
  value = literal::real_value(copy.c_str(), copy.c_str() + s.value_length);
  return true;
}

}  // namespace groups
