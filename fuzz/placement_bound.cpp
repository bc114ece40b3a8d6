// The bound on the work of block references (placement_bound.h). Built
// without the fuzzer's coverage, as the test support is: its branches are
// not the program's.
#include "placement_bound.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "merge/group_rules.h"
#include "read/integer_literal.h"
#include "read/real_literal.h"

namespace placement {

namespace {

// The input as the reads see it: cut at a byte 26, every CR dropped.
std::string as_read(std::string_view input) {
  input = input.substr(0, input.find('\x1a'));
  std::string text;
  text.reserve(input.size());
  for (char c : input)
    if (c != '\r') text += c;
  return text;
}

// A whitespace-separated token of the text, and where it starts.
struct Token {
  std::string_view text;
  std::size_t at;
};

std::vector<Token> tokens_of(std::string_view text) {
  std::vector<Token> out;
  for (std::size_t k = 0; k < text.size();) {
    if (is_space(static_cast<unsigned char>(text[k]))) {
      ++k;
      continue;
    }
    const std::size_t from = k;
    while (k < text.size() && !is_space(static_cast<unsigned char>(text[k]))) ++k;
    out.push_back({text.substr(from, k - from), from});
  }
  return out;
}

// What the groups of a BLOCK or INSERT say of its placing.
struct Placing {
  std::string name;   // in capitals, as blocks are found
  double copies = 1;  // of a reference's grid, at most
};

// The groups of the entity whose token is at `at`: from the line after the
// token's until a group code 0, a line that is no group code, or the end.
// Counts below 1, and counts along a way whose spacing is 0, place one copy;
// a value that is no number leaves the entity out, so it may count as
// anything.
Placing placing_at(std::string_view text, std::size_t at) {
  std::size_t feed = text.find('\n', at);  // ends the line read last
  auto next_line = [&](std::string_view& out) {
    if (feed == std::string_view::npos || feed + 1 == text.size()) return false;
    const std::size_t from = feed + 1;
    feed = text.find('\n', from);
    out = groups::trimmed(text.substr(from, feed == std::string_view::npos ? feed : feed - from));
    return true;
  };
  Placing p;
  int most[2] = {1, 1};             // 70, 71
  bool spaced[2] = {false, false};  // 44, 45 not 0
  std::string_view code_line, value;
  int code = 0;
  while (next_line(code_line) && literal::whole_integer(code_line, code) && code != 0 && next_line(value)) {
    int count = 0;
    double spacing = 0;
    if (code == 2) p.name = value;
    if ((code == 70 || code == 71) && literal::whole_integer(value, count))
      most[code - 70] = std::max(most[code - 70], count);
    if (code == 44 || code == 45)
      spaced[code - 44] = spaced[code - 44] || !literal::whole_real(value, spacing) || spacing != 0;
  }
  for (char& c : p.name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  p.copies = (spaced[0] ? most[0] : 1.0) * (spaced[1] ? most[1] : 1.0);
  return p;
}

// Lines whose text, trimmed, is the whole number n.
std::size_t lines_reading(std::string_view text, int n) {
  std::size_t count = 0;
  for (std::size_t from = 0; from < text.size();) {
    const std::size_t feed = std::min(text.find('\n', from), text.size());
    int v = 0;
    count += literal::whole_integer(groups::trimmed(text.substr(from, feed - from)), v) && v == n;
    from = feed + 1;
  }
  return count;
}

// Chains of references of distinct names, each name's references placing
// copies[name] copies at most: the copies of blocks they place. A chain of
// k names counts k! times the k-th elementary symmetric sum of the copies.
// Each name's copies are 1 at least, so a chain whose k! is above `most`
// ends the count: that term alone is.
double chained_copies(const std::map<std::string, double>& copies, double most) {
  std::size_t chain = copies.size();
  double factorial = 1;
  for (std::size_t k = 1; k < chain; ++k) {
    factorial *= static_cast<double>(k);
    if (factorial > most) chain = k;
  }
  std::vector<double> sums(chain + 1, 0.0);
  sums[0] = 1;
  for (const auto& [name, n] : copies)
    for (std::size_t k = chain; k >= 1; --k) sums[k] += sums[k - 1] * n;
  double placed = 0;
  factorial = 1;
  for (std::size_t k = 1; k <= chain; ++k) {
    factorial *= static_cast<double>(k);
    placed += factorial * sums[k];
  }
  return placed;
}

}  // namespace

double placing_work(std::string_view input, double most) {
  const std::string text = as_read(input);
  if (text.find("INSERT") == std::string::npos || text.find("BLOCK") == std::string::npos) return 0;
  const std::vector<Token> tokens = tokens_of(text);
  std::set<std::string> defined;
  for (const Token& t : tokens)
    if (t.text == "BLOCK") defined.insert(placing_at(text, t.at).name);
  std::map<std::string, double> copies;  // by the name of a block defined
  std::size_t references = 0, polylines = 0, vertices = lines_reading(text, 10);
  std::unordered_set<std::string_view> kinds;
  for (const Token& t : tokens) {
    int unused = 0;
    if (!literal::whole_integer(t.text, unused)) kinds.insert(t.text);
    polylines += t.text == "POLYLINE" || t.text == "LWPOLYLINE";
    vertices += t.text == "VERTEX";
    if (t.text != "INSERT") continue;
    ++references;
    Placing p = placing_at(text, t.at);
    if (defined.contains(p.name)) copies[std::move(p.name)] += p.copies;
  }
  if (copies.empty()) return 0;
  return chained_copies(copies, most) * static_cast<double>(1 + polylines + vertices + references + kinds.size());
}

}  // namespace placement
