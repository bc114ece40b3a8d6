// The text of the entities the result holds, written once for every way an
// entity is read: an entity in the layout is copied item by item with the
// paddings of the layout's table, and one read by its group codes, or
// converted, is written as an entity in that layout would be.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "merge/entity_grammar.h"
#include "write/output.h"

namespace text {

// What "SEQEND" is written as: the keyword and a line holding 0.
inline constexpr std::string_view seqend = "SEQEND\r\n0\r\n";

// An entity in the layout, its items as read; coordinates rounded.
void write_polyline(Output& out, const grammar::ItemValues& v);
void write_vertex(Output& out, const grammar::ItemValues& v);

// A POLYLINE or VERTEX from what the result keeps of it.
void write_polyline(Output& out, std::string_view layer, int flags);
void write_vertex(Output& out, std::string_view layer, int flags, double x, double y, double z);

// Vertices of one layer and flags: the text around their coordinates is
// made once, as write_vertex makes it.
class VertexRun {
 public:
  // Makes the text for this layer and flags, unless it is made already.
  void prepare(std::string_view layer, int flags);
  // Returns the coordinates as written (numeric::as_written of each).
  std::array<double, 3> write(Output& out, double x, double y, double z) const;

 private:
  static constexpr std::size_t short_part = 64;

  std::string layer_;
  int flags_ = 0;
  bool made = false;
  std::string parts[4];  // before x, between x and y, between y and z, after z
  // The parts again, each in a word-copied block, when all are short (a
  // layer name of a usual length): a vertex is then fixed-size copies.
  bool short_parts = false;
  std::uint8_t part_length[4] = {};
  char padded[4][short_part] = {};
};

}  // namespace text
