// Writing the entities the result holds, item by item as the layout's table says.
#include "merge/entity_text.h"

#include <cstring>
#include <utility>

namespace text {

namespace {

// Room for one item's line: 8 spaces, the longest number and the line end.
constexpr std::size_t item_room = 8 + max_number_text + 2;

// Text kept in a string, as the parts of a vertex run are made.
struct StringSink {
  std::string& s;
  char* room(std::size_t n) {
    const std::size_t at = s.size();
    s.resize(at + n);
    return s.data() + at;
  }
  void advance(char* end) { s.resize(static_cast<std::size_t>(end - s.data())); }
  void line(std::string_view t) { s.append(t).append("\r\n"); }
};

template <class Sink>
void write_integer(Sink& o, int v, int spaces) {
  char* p = o.room(item_room);
  std::memcpy(p, "        ", 8);
  p = put_int(p + spaces, v);
  p[0] = '\r';
  p[1] = '\n';
  o.advance(p + 2);
}

template <class Sink>
void write_rounded(Sink& o, double x) {
  char* p = put_rounded(o.room(item_room), x);
  p[0] = '\r';
  p[1] = '\n';
  o.advance(p + 2);
}

template <const auto& items, std::size_t k, class Sink>
void write_item(Sink& o, const grammar::ItemValues& v) {
  constexpr grammar::Item item = items[k];
  if constexpr (item.read == grammar::Read::integer) {
    write_integer(o, v.ints[k], item.space_sign ? (v.ints[k] < 0 ? 0 : 1) : item.spaces);
  } else if constexpr (item.read == grammar::Read::token) {
    o.line(v.tokens[grammar::tokens_before(items, k)]);
  } else {
    write_rounded(o, v.reals[grammar::reals_before(items, k)]);
  }
}

template <const auto& items, class Sink, std::size_t... k>
void write_items(Sink& o, std::string_view keyword, const grammar::ItemValues& v, std::index_sequence<k...>) {
  o.line(keyword);
  (write_item<items, k>(o, v), ...);
}

grammar::ItemValues vertex_values(std::string_view layer, int flags) {
  grammar::ItemValues v;
  const int ints[11] = {8, 0, 70, flags, 10, 0, 20, 0, 30, 0, 0};
  std::memcpy(v.ints, ints, sizeof ints);
  v.tokens[0] = layer;
  return v;
}

}  // namespace

void write_polyline(Output& out, const grammar::ItemValues& v) {
  write_items<grammar::polyline>(out, "POLYLINE", v, std::make_index_sequence<grammar::polyline.size()>());
}

void write_vertex(Output& out, const grammar::ItemValues& v) {
  write_items<grammar::vertex>(out, "VERTEX", v, std::make_index_sequence<grammar::vertex.size()>());
}

void write_polyline(Output& out, std::string_view layer, int flags) {
  grammar::ItemValues v;
  const int ints[11] = {8, 0, 66, 0, 70, flags, 10, 0, 20, 0, 0};
  std::memcpy(v.ints, ints, sizeof ints);
  v.tokens[0] = layer;
  v.tokens[1] = "1";
  write_polyline(out, v);
}

void write_vertex(Output& out, std::string_view layer, int flags, double x, double y, double z) {
  grammar::ItemValues v = vertex_values(layer, flags);
  v.reals[0] = x;
  v.reals[1] = y;
  v.reals[2] = z;
  write_vertex(out, v);
}

void VertexRun::prepare(std::string_view layer, int flags) {
  if (made && layer == layer_ && flags == flags_) return;
  made = true;
  layer_ = layer;
  flags_ = flags;
  // The vertex's text from the table, in parts cut around its real items.
  const grammar::ItemValues v = vertex_values(layer, flags);
  auto render = [&]<std::size_t... k>(std::index_sequence<k...>) {
    int part = 0;
    for (std::string& p : parts) p.clear();
    parts[0] = "VERTEX\r\n";
    auto one = [&]<std::size_t n>(std::integral_constant<std::size_t, n>) {
      if constexpr (grammar::vertex[n].read == grammar::Read::real) {
        ++part;
      } else {
        StringSink sink{parts[part]};
        write_item<grammar::vertex, n>(sink, v);
      }
    };
    (one(std::integral_constant<std::size_t, k>{}), ...);
  };
  render(std::make_index_sequence<grammar::vertex.size()>());
  short_parts = true;
  for (int k = 0; k < 4; ++k) {
    // The coordinates' line ends go into the parts after them.
    if (k > 0) parts[k].insert(0, "\r\n");
    short_parts = short_parts && parts[k].size() <= short_part;
    if (!short_parts) continue;
    part_length[k] = static_cast<std::uint8_t>(parts[k].size());
    std::memcpy(padded[k], parts[k].data(), parts[k].size());
  }
}

std::array<double, 3> VertexRun::write(Output& out, double x, double y, double z) const {
  const double coordinates[3] = {x, y, z};
  std::array<double, 3> written;
  const std::size_t room = parts[0].size() + parts[1].size() + parts[2].size() + parts[3].size() + 3 * item_room;
  if (short_parts && room + short_part <= out.capacity()) {
    char* p = out.room(room + short_part);  // each part copied whole, its room beyond the last
    std::memcpy(p, padded[0], short_part);
    p += part_length[0];
    for (int k = 0; k < 3; ++k) {
      p = put_rounded(p, coordinates[k], written[k]);
      std::memcpy(p, padded[k + 1], short_part);
      p += part_length[k + 1];
    }
    out.advance(p);
    return written;
  }
  if (room > out.capacity()) {  // a layer longer than the output's buffer
    out.put(parts[0]);
    for (int k = 0; k < 3; ++k) {
      out.put_rounded(coordinates[k]);
      written[k] = numeric::as_written(coordinates[k]);
      out.put(parts[k + 1]);
    }
    return written;
  }
  // All of it in room asked for once.
  char* p = out.room(room);
  std::memcpy(p, parts[0].data(), parts[0].size());
  p += parts[0].size();
  for (int k = 0; k < 3; ++k) {
    p = put_rounded(p, coordinates[k], written[k]);
    std::memcpy(p, parts[k + 1].data(), parts[k + 1].size());
    p += parts[k + 1].size();
  }
  out.advance(p);
  return written;
}

}  // namespace text
