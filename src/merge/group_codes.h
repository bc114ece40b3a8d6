// Reading an entity as the DXF structure has it: line by line, a group code
// on one line and its value on the next, spaces around both trimmed, from
// right after the entity's keyword up to the next group code 0.
#pragma once

#include <string>
#include <string_view>

#include "read/reader.h"

namespace groups {

// How an entity's groups ended.
enum class End {
  next_entity,  // at a group code 0, whose line is consumed: the next token is the next entity's name
  cut_off,      // the input ended inside the entity
  not_a_code,   // a group code line that is not a whole number (consumed)
};

// Reads the entity's groups from right after its keyword (the rest of the
// keyword's line is passed over), handing each to take(code, value).
template <class Take>
End read_entity(Reader& in, std::string& line, Take take);

// A whole value that is a number, as the reads take numbers; false otherwise.
[[nodiscard]] bool whole_integer(std::string_view text, int& value);
[[nodiscard]] bool whole_real(std::string_view text, double& value);

// The text with spaces and tabs around it removed.
[[nodiscard]] std::string_view trimmed(std::string_view text);

template <class Take>
End read_entity(Reader& in, std::string& line, Take take) {
  if (!in.read_line(line)) return End::cut_off;
  for (;;) {
    if (!in.read_line(line)) return End::cut_off;
    int code = 0;
    if (!whole_integer(trimmed(line), code)) return End::not_a_code;
    if (code == 0) return End::next_entity;
    if (!in.read_line(line)) return End::cut_off;
    take(code, trimmed(line));
  }
}

}  // namespace groups
