// Reading and writing the entities the merge copies.
#include "merge/entities.h"

#include <cstring>
#include <utility>

#include "merge/entity_grammar.h"
#include "merge/group_codes.h"
#include "merge/inputs.h"
#include "state.h"

namespace {

// --- Writing ---------------------------------------------------------------

// Writes val after `spaces` spaces (at most 8), with a line end.
void write_val(Output& o, int val, int spaces) {
  char* p = o.room(32);
  std::memcpy(p, "        ", 8);
  p = put_int(p + spaces, val);
  p[0] = '\r';
  p[1] = '\n';
  o.advance(p + 2);
}

void write_rounded(Output& o, double x) {
  char* p = put_rounded(o.room(max_number_text + 2), x);
  p[0] = '\r';
  p[1] = '\n';
  o.advance(p + 2);
}

// A POLYLINE in the layout the result holds, from what was read of it.
void write_polyline(Output& o, std::string_view layer, int flags) {
  o.put("POLYLINE\r\n  8\r\n");
  o.line(layer);
  o.put("  66\r\n1\r\n 70\r\n");
  write_val(o, flags, 5);
  o.put(" 10\r\n     0\r\n 20\r\n0\r\n  0\r\n");
}

void write_vertex(Output& o, std::string_view layer, int flags, double x, double y, double z) {
  o.put("VERTEX\r\n  8\r\n");
  o.line(layer);
  o.put(" 70\r\n");
  write_val(o, flags, 4);
  o.put(" 10\r\n");
  write_rounded(o, x);
  o.put(" 20\r\n");
  write_rounded(o, y);
  o.put(" 30\r\n");
  write_rounded(o, z);
  o.put("  0\r\n");
}

// Starts a polyline in the result: one left open before it is closed first,
// so that the result's polylines never nest.
void open_polyline(MergeFrame& m) {
  if (m.polyline_open) m.out.put(grammar::seqend_text);
  m.polyline_open = true;
  count_written_polyline(m);
}

// --- The expected layout ---------------------------------------------------

// What an entity's eleven items held, when read as the writing pass reads them.
struct ItemValues {
  int ints[11] = {};
  double reals[3] = {};
};

// Reads item k as the writing pass reads it; false when the read fails, does
// not take a whole token, or the item does not hold what the layout has there.
template <const auto& items, std::size_t k>
bool read_item(MergeFrame& m, ItemValues& v) {
  constexpr grammar::Item item = items[k];
  if constexpr (item.read == grammar::Read::integer) {
    int x = 0;
    if (!f1.read_int(x) || !f1.at_token_end()) return false;
    if constexpr (item.expected >= 0)
      if (x != item.expected) return false;
    v.ints[k] = x;
    return true;
  } else if constexpr (item.read == grammar::Read::token) {
    return f1.read_token(m.item_tokens[grammar::tokens_before(items, k)]);
  } else {
    double x = 0;
    if (!f1.read_real(x) || !f1.at_token_end()) return false;
    v.reals[grammar::reals_before(items, k)] = x;
    return true;
  }
}

template <const auto& items, std::size_t... k>
bool read_in_layout(MergeFrame& m, ItemValues& v, std::index_sequence<k...>) {
  return (read_item<items, k>(m, v) && ...);
}

// Writes item k as the writing pass copies it.
template <const auto& items, std::size_t k>
void write_item(MergeFrame& m, const ItemValues& v) {
  constexpr grammar::Item item = items[k];
  if constexpr (item.read == grammar::Read::integer) {
    write_val(m.out, v.ints[k], item.space_sign ? (v.ints[k] < 0 ? 0 : 1) : item.spaces);
  } else if constexpr (item.read == grammar::Read::token) {
    m.out.line(m.item_tokens[grammar::tokens_before(items, k)].view());
  } else {
    write_rounded(m.out, v.reals[grammar::reals_before(items, k)]);
  }
}

template <const auto& items, std::size_t... k>
void write_in_layout(MergeFrame& m, const ItemValues& v, std::index_sequence<k...>) {
  (write_item<items, k>(m, v), ...);
}

// Reads the entity at the read position as the layout has it; false, with
// nothing consumed, when it is not in that layout. The writing pass's cells
// are left as its copy leaves them: val the last integer, texte the last
// token item, dval the last coordinate.
template <const auto& items>
bool take_in_layout(MergeFrame& m, Pass pass, ItemValues& v) {
  f1.mark();
  if (!read_in_layout<items>(m, v, std::make_index_sequence<items.size()>())) {
    f1.rewind();
    return false;
  }
  f1.forget_mark();
  m.val = v.ints[items.size() - 1];
  m.after_zero = true;
  if (pass == Pass::write) {
    constexpr int reals = grammar::reals_before(items, items.size());
    if constexpr (reals > 0) m.dval = v.reals[reals - 1];
  }
  return true;
}

// Leaves the entity's last token item in texte, as its copy item by item does.
template <const auto& items>
void keep_last_token(MergeFrame& m) {
  std::swap(m.texte, m.item_tokens[grammar::tokens_before(items, grammar::last_token(items))]);
}

// --- By group codes ----------------------------------------------------------

// What the groups of a POLYLINE, VERTEX or LWPOLYLINE hold that the result keeps.
struct Groups {
  std::string layer = "0";
  int flags = 0;
  double x = 0, y = 0, z = 0;
  bool has_z = false;
  double elevation = 0;
  numeric::Extrusion extrusion;
};

bool is_zero(std::string_view value) {
  double x = 0;
  return groups::whole_real(value, x) && x == 0;
}

// Takes a number value into *cell; a value that is not a number is warned about and not taken.
template <class Number>
bool take_number(MergeFrame& m, std::string_view value, Number& cell) {
  Number x{};
  bool ok = false;
  if constexpr (std::is_same_v<Number, int>)
    ok = groups::whole_integer(value, x);
  else
    ok = groups::whole_real(value, x);
  if (ok)
    cell = x;
  else
    warn_layout(m);
  return ok;
}

// Reads the groups of the entity at the read position with take, and
// leaves the cells and the next token's place as a read by groups does.
// Returns how the groups ended.
template <class Take>
groups::End read_by_groups(MergeFrame& m, Take take) {
  const groups::End end = groups::read_entity(f1, m.line, take);
  if (end != groups::End::next_entity) warn_layout(m);
  m.val = 0;
  m.after_zero = end == groups::End::next_entity;
  return end;
}

// The groups of a POLYLINE or VERTEX; bulges and widths counted as not
// carried. False when the input ended inside it: it is not taken.
bool read_entity_groups(MergeFrame& m, Pass pass, bool vertex, Groups& g) {
  return groups::End::cut_off != read_by_groups(m, [&](int code, std::string_view value) {
           switch (code) {
             case 8: g.layer = value; break;
             case 70: take_number(m, value, g.flags); break;
             case 10:  // a vertex's point (a polyline's holds nothing the result keeps)
               if (vertex) take_number(m, value, g.x);
               break;
             case 20:
               if (vertex) take_number(m, value, g.y);
               break;
             case 30:
               if (take_number(m, value, g.z)) g.has_z = true;
               break;
             case 40:
             case 41:
               if (pass == Pass::write && !is_zero(value)) ++m.report.widths;
               break;
             case 42:
               if (pass == Pass::write && !is_zero(value)) ++m.report.bulges;
               break;
             case 210:  // a polyline's extrusion
               if (!vertex) take_number(m, value, g.extrusion.x);
               break;
             case 220:
               if (!vertex) take_number(m, value, g.extrusion.y);
               break;
             case 230:
               if (!vertex) take_number(m, value, g.extrusion.z);
               break;
             default: break;
           }
         });
}

}  // namespace

void note_token(MergeFrame& m, Pass pass) {
  const Token& t = m.texte;
  const bool starts_entity = m.after_zero;
  m.after_zero = t.is("0");
  const bool names_section = m.was_section_2;
  m.was_section_2 = m.was_section && t.is("2");
  m.was_section = t.is("SECTION");
  if (m.was_section) m.saw_section = true;
  if (names_section) {
    m.section = t.is("ENTITIES") ? Section::entities : t.is("BLOCKS") ? Section::blocks : Section::other;
  } else if (t.is("ENDSEC")) {
    m.section = Section::none;
    return;
  }
  if (pass != Pass::write) return;
  if (m.section == Section::blocks) {
    if (t.is("POLYLINE") || t.is("LWPOLYLINE")) m.report.leave_out(block_polylines);
  } else if (m.section == Section::entities && starts_entity && !t.is("POLYLINE") && !t.is("VERTEX") &&
             !t.is("SEQEND") && !t.is("LWPOLYLINE")) {
    int unused = 0;
    if (!groups::whole_integer(t.view(), unused)) m.report.leave_out(t.view());
  }
}

void take_polyline(MergeFrame& m, Pass pass, bool entity_start) {
  ItemValues v;
  if (take_in_layout<grammar::polyline>(m, pass, v)) {
    m.in_mesh = false;
    m.elevation = 0;
    m.extrusion = {};
    if (pass == Pass::survey) return count_survey_polyline(m);
    open_polyline(m);
    m.out.put("POLYLINE\r\n");
    write_in_layout<grammar::polyline>(m, v, std::make_index_sequence<grammar::polyline.size()>());
    keep_last_token<grammar::polyline>(m);
    return;
  }
  // Not in the layout, and not after a group code 0: a word such as a
  // text's value, not an entity.
  if (!entity_start) return;
  Groups g;
  if (!read_entity_groups(m, pass, false, g)) return;
  m.elevation = g.has_z ? g.z : 0.0;
  // A 3D polyline's vertices are in world coordinates already.
  m.extrusion = (g.flags & 8) != 0 ? numeric::Extrusion{} : g.extrusion;
  m.in_mesh = (g.flags & (16 | 64)) != 0;
  if (m.in_mesh) {
    if (pass == Pass::write) m.report.leave_out((g.flags & 16) != 0 ? polygon_meshes : polyface_meshes);
    return;
  }
  if (pass == Pass::survey) return count_survey_polyline(m);
  open_polyline(m);
  ++m.report.by_group_codes;
  write_polyline(m.out, g.layer, g.flags);
}

void take_vertex(MergeFrame& m, Pass pass, bool entity_start) {
  ItemValues v;
  if (take_in_layout<grammar::vertex>(m, pass, v)) {
    if (pass == Pass::survey) return;
    if (!m.in_mesh) {
      numeric::to_world(m.extrusion, v.reals[0], v.reals[1], v.reals[2]);  // when its polyline has an extrusion
      m.dval = v.reals[2];
      count_written_vertices(m);
      m.out.put("VERTEX\r\n");
      write_in_layout<grammar::vertex>(m, v, std::make_index_sequence<grammar::vertex.size()>());
    }
    keep_last_token<grammar::vertex>(m);
    return;
  }
  if (!entity_start) return;
  Groups g;
  if (!read_entity_groups(m, pass, true, g)) return;
  if (pass == Pass::survey || m.in_mesh) return;
  if ((g.flags & 16) != 0) return m.report.leave_out(frame_points);
  double x = g.x, y = g.y, z = g.has_z ? g.z : m.elevation;
  numeric::to_world(m.extrusion, x, y, z);
  m.dval = z;
  count_written_vertices(m);
  ++m.report.by_group_codes;
  write_vertex(m.out, g.layer, g.flags, x, y, z);
}

void take_seqend(MergeFrame& m, Pass pass) {
  if (m.in_mesh) {
    m.in_mesh = false;
    return;
  }
  // Only the end of a polyline written: a SEQEND also ends the attributes
  // of a block's insertion, which are not copied.
  if (pass == Pass::write) close_polyline(m);
}

void close_polyline(MergeFrame& m) {
  if (!m.polyline_open) return;
  m.out.put(grammar::seqend_text);
  m.polyline_open = false;
}

void take_lwpolyline(MergeFrame& m, Pass pass) {
  Groups g, later;       // later: the header's groups after the first point
  bool pointed = false;  // a point was read: the header's groups are those before it
  bool point = false;    // a point is pending: its 10 read
  double x = 0, y = 0;
  const bool write = pass == Pass::write;
  // The points are held: the extrusion comes after them.
  m.points.clear();
  auto end_point = [&] {
    if (point && write) m.points.emplace_back(x, y);
    point = false;
  };
  read_by_groups(m, [&](int code, std::string_view value) {
    switch (code) {
      case 8:
        if (!pointed) g.layer = value;
        break;
      case 70:  // one after the first point is checked, not used
        take_number(m, value, pointed ? later.flags : g.flags);
        break;
      case 38: take_number(m, value, pointed ? later.elevation : g.elevation); break;
      case 10:
        end_point();
        pointed = point = true;
        x = y = 0;
        take_number(m, value, x);
        break;
      case 20:
        if (point) take_number(m, value, y);  // a 20 before the first 10 is no point's
        break;
      case 40:
      case 41:
      case 43:
        if (write && !is_zero(value)) ++m.report.widths;
        break;
      case 42:
        if (write && !is_zero(value)) ++m.report.bulges;
        break;
      case 210: take_number(m, value, g.extrusion.x); break;
      case 220: take_number(m, value, g.extrusion.y); break;
      case 230: take_number(m, value, g.extrusion.z); break;
      default: break;
    }
  });
  end_point();
  m.in_mesh = false;
  m.elevation = g.elevation;
  m.extrusion = g.extrusion;
  if (!write) return count_survey_polyline(m);
  open_polyline(m);
  write_polyline(m.out, g.layer, g.flags & (1 | 128));
  for (auto [px, py] : m.points) {
    double pz = g.elevation;
    numeric::to_world(g.extrusion, px, py, pz);
    write_vertex(m.out, g.layer, 0, px, py, pz);
    m.dval = pz;
  }
  close_polyline(m);
  count_written_vertices(m, m.points.size());
  ++m.report.converted;
}
