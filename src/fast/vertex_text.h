// The text a turn wrote for a vertex, kept by a layout shortcut to write
// again around other coordinates: the parts before, between and after the
// coordinates' own texts, and how the polyline placed its vertices when it
// was written (that text holds flags that follow from it). A z not read
// (the polyline's elevation, or 0) is written from its value, worked out
// once a run: polylines at other elevations share the text.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fast/numbers.h"
#include "fast/swar.h"
#include "merge/entity_grammar.h"
#include "merge/frame.h"

namespace fast {

struct VertexText {
  static constexpr std::size_t part_room = 320;  // a part and the 64-byte copies past it

  // Takes the text [text, end) the entities' writer wrote for a vertex; its
  // z is written as it stands (the polyline's elevation) unless z_read. False
  // when a part does not fit its room.
  bool learn(const char* text, const char* end, bool z_read, const InputState& s) {
    ready = false;
    // One line an item after the keyword's: the real items' lines are the coordinates.
    const char* line[grammar::vertex.size() + 2] = {text};
    std::size_t lines = 0;
    for (const char* p = text; p + 1 < end && lines <= grammar::vertex.size(); ++p)
      if (p[0] == '\r' && p[1] == '\n') line[++lines] = p + 2;
    if (lines != grammar::vertex.size() + 1 || line[lines] != end) return false;
    holes = z_read ? 3 : 2;
    const char* from = text;
    int r = 0;
    for (std::size_t k = 0; k < grammar::vertex.size() && r < 3; ++k) {
      if (grammar::vertex[k].read != grammar::Read::real) continue;
      if (!keep(r, from, line[k + 1])) return false;
      from = line[k + 2] - 2;  // the coordinate's line end starts the next part
      ++r;
    }
    if (!keep(3, from, end)) return false;
    made_3d = s.made_3d;
    at_elevation = s.at_elevation;
    layer = s.layer;
    ready = true;
    return true;
  }

  // Whether a vertex of the current polyline is written this way. With a
  // layer per input, the text holds the input's layer, not the vertex's own.
  [[nodiscard]] bool fits(const InputState& s) const {
    return ready && made_3d == s.made_3d && at_elevation == s.at_elevation && layer == s.layer;
  }

  // The text of a z not read, for the vertices of a run.
  struct FixedZ {
    std::size_t length = 0;
    char text[max_number_text + 32];  // with room for a 32-byte copy, its first 32 bytes set
  };
  // That of the current polyline, its elevation or 0 multiplied by *scale
  // when there is one (the caller has checked it stays a number).
  static void fix_z(FixedZ& z, const InputState& s, const double* scale) {
    double value = s.at_elevation ? s.elevation : 0.0;
    if (scale != nullptr) value *= *scale;
    std::memset(z.text, 0, 32);
    z.length = static_cast<std::size_t>(put_rounded(z.text, value) - z.text);
  }

  // Writes the text around the coordinate literals [start[k], end[k]),
  // rounded (multiplied by *scale first when there is one), each one's text
  // at [at[k], at_end[k]); nullptr when one is not a whole literal or grows
  // beyond the numbers (a turn leaves that vertex out). 4 * part_room +
  // 3 * (max_number_text + 8) bytes must be writable at o.
  TALVERO_ALWAYS_INLINE char* write(char* o, const char* const* start, const char* const* end, const double* scale,
                                    const FixedZ& z, const char** at, const char** at_end) const {
    put(o, 0);
    const int n = holes == 2 ? 2 : 3;  // bounded: the loop is unrolled
    TALVERO_UNROLL_3
    for (int k = 0; k < n; ++k) {
      at[k] = o;
      double v;
      if (scale == nullptr)
        o = put_rounded_literal(o, start[k], end[k]);
      else if (whole_real(start[k], end[k], v) && std::isfinite(v *= *scale))
        o = put_rounded(o, v);
      else
        return nullptr;
      if (o == nullptr) return nullptr;
      at_end[k] = o;
      put(o, k + 1);
    }
    if (n == 2) put_z(o, z);
    return o;
  }

  bool ready = false;
  int holes = 3;  // x, y and z read; or x and y, z written from its value

 private:
  bool keep(int k, const char* from, const char* to) {
    const auto n = static_cast<std::size_t>(to - from);
    if (n > part_room - 64) return false;
    std::memcpy(part[k], from, n);
    length[k] = static_cast<std::uint16_t>(n);
    return true;
  }
  // The z not read, and the part after it.
  TALVERO_ALWAYS_INLINE void put_z(char*& o, const FixedZ& z) const {
    std::memcpy(o, z.text, 32);  // mostly the whole text
    if (z.length > 32) std::memcpy(o + 32, z.text + 32, z.length - 32);
    o += z.length;
    put(o, 3);
  }
  TALVERO_ALWAYS_INLINE void put(char*& o, int k) const {
    const std::size_t n = length[k];
    std::memcpy(o, part[k], 16);  // mostly the whole part: those between coordinates are short
    if (n > 16) std::memcpy(o + 16, part[k] + 16, 48);
    if (n > 64) std::memcpy(o + 64, part[k] + 64, n - 64);
    o += n;
  }

  bool made_3d = false;
  bool at_elevation = false;
  std::string layer;  // the input's layer, with a layer per input
  std::uint16_t length[4] = {};
  alignas(16) char part[4][part_room] = {};
};

}  // namespace fast
