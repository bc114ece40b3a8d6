// Entities read as the DXF structure has them: line by line, a group code
// on one line and its value on the next, spaces and tabs around both
// trimmed, from right after the entity's keyword up to the next group code
// 0. What each group code means to the merge is the table role_of(): the
// one place to change to take a group code into account.
#pragma once

#include <cstdint>
#include <string_view>

#include "numeric/extrusion.h"
#include "read/characters.h"

namespace groups {

// The entities read by their group codes: BLOCK opens a block definition,
// INSERT places one (a block reference).
enum class Kind : std::uint8_t { polyline, vertex, lwpolyline, block, insert };

// What a group's value is to the merge.
enum class Role : std::uint8_t {
  none,       // nothing the result keeps
  layer,      // 8
  flags,      // 70
  x,          // a vertex's point; an LWPOLYLINE's point starts with it
  y,          // 20
  z,          // a vertex's z, or a POLYLINE's elevation
  elevation,  // an LWPOLYLINE's (38)
  bulge,      // not carried (the result's segments are straight), counted
  width,      // not carried, counted
  extrusion_x,
  extrusion_y,
  extrusion_z,
  space,  // 67: 1 (not 0) for an entity of paper space, a layout's
  name,   // 2: a BLOCK's name, or the block an INSERT places
  scale_x,  // an INSERT's 41, 42, 43
  scale_y,
  scale_z,
  rotation,        // 50, degrees
  columns,         // an INSERT's 70 and 71: a grid of copies
  rows,
  column_spacing,  // 44 and 45
  row_spacing,
};

// The roles of a BLOCK's and an INSERT's group codes.
constexpr Role placing_role_of(Kind kind, int code) {
  const bool insert = kind == Kind::insert;
  switch (code) {
    case 2: return Role::name;
    case 10: return Role::x;  // the block's base point, or where the INSERT puts it
    case 20: return Role::y;
    case 30: return Role::z;
    case 8: return insert ? Role::layer : Role::none;
    case 41: return insert ? Role::scale_x : Role::none;
    case 42: return insert ? Role::scale_y : Role::none;
    case 43: return insert ? Role::scale_z : Role::none;
    case 50: return insert ? Role::rotation : Role::none;
    case 70: return insert ? Role::columns : Role::none;
    case 71: return insert ? Role::rows : Role::none;
    case 44: return insert ? Role::column_spacing : Role::none;
    case 45: return insert ? Role::row_spacing : Role::none;
    case 210: return insert ? Role::extrusion_x : Role::none;
    case 220: return insert ? Role::extrusion_y : Role::none;
    case 230: return insert ? Role::extrusion_z : Role::none;
    case 67: return insert ? Role::space : Role::none;
    default: return Role::none;
  }
}

constexpr Role role_of(Kind kind, int code) {
  if (kind == Kind::block || kind == Kind::insert) return placing_role_of(kind, code);
  const bool vertex = kind == Kind::vertex, polyline = kind == Kind::polyline, lw = kind == Kind::lwpolyline;
  switch (code) {
    case 8: return Role::layer;
    case 70: return Role::flags;
    case 10: return polyline ? Role::none : Role::x;  // a polyline's point holds nothing the result keeps
    case 20: return polyline ? Role::none : Role::y;
    case 30: return lw ? Role::none : Role::z;
    case 38: return lw ? Role::elevation : Role::none;
    case 40:
    case 41: return Role::width;
    case 43: return lw ? Role::width : Role::none;
    case 42: return Role::bulge;
    case 210: return vertex ? Role::none : Role::extrusion_x;
    case 220: return vertex ? Role::none : Role::extrusion_y;
    case 230: return vertex ? Role::none : Role::extrusion_z;
    case 67: return vertex ? Role::none : Role::space;
    default: return Role::none;
  }
}

// What an INSERT holds beyond a point, a layer, an extrusion and a space.
struct Placing {
  double scale[3] = {1, 1, 1};
  double rotation = 0;
  int columns = 1, rows = 1;
  double column_spacing = 0, row_spacing = 0;
};

// What the groups of a POLYLINE, VERTEX, LWPOLYLINE, BLOCK or INSERT hold
// that the result keeps.
struct Groups {
  std::string_view layer = "0";
  int flags = 0;
  double x = 0, y = 0, z = 0;
  bool has_z = false;
  double elevation = 0;
  numeric::Extrusion extrusion;
  bool paper = false;        // of paper space
  std::uint32_t bulges = 0;  // bulges and widths that are not zero (a value that is no number counts)
  std::uint32_t widths = 0;
  std::string_view name;  // kept only until the next read, as the layer is
  Placing placing;
};

// How an entity's groups ended.
enum class End : std::uint8_t {
  next_entity,  // at a group code 0, whose line is consumed: the next token is the next entity's name
  cut_off,      // the input ended inside the entity
  not_a_code,   // a group code line that is not a whole number (consumed)
};

// The text with spaces and tabs around it removed.
constexpr std::string_view trimmed(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

// What the next group read was.
enum class Group : std::uint8_t {
  value,       // a group code and its value
  zero,        // the group code 0 (its line read, no value's)
  not_a_code,  // a group code line that is not a whole number (read)
  cut_off,     // the input ended first
};

// Reads the next group: its code's line, and unless that is 0 its value's,
// each trimmed. A source may read the common forms faster; it must read
// them as this does.
template <class Items>
Group read_group(Items& in, int& code, std::string_view& value) {
  std::string_view line;
  if (!in.line(line)) return Group::cut_off;
  if (!in.integer(trimmed(line), code)) return Group::not_a_code;
  if (code == 0) return Group::zero;
  if (!in.line(line)) return Group::cut_off;
  value = trimmed(line);
  return Group::value;
}

// Reads the entity's groups from right after its keyword (the rest of the
// keyword's line is passed over), handing each to take(code, value).
template <class Items, class Take>
End read_entity(Items& in, Take take) {
  std::string_view line;
  if (!in.line(line)) return End::cut_off;
  for (;;) {
    int code = 0;
    switch (in.group(code, line)) {
      case Group::value: take(code, line); break;
      case Group::zero: return End::next_entity;
      case Group::not_a_code: return End::not_a_code;
      case Group::cut_off: return End::cut_off;
    }
  }
}

// Takes a group's value into g by its role; false, g unchanged, when the
// role needs a number and the value is none (a space that is no number is
// model space). The layer is kept only until the next read: the caller
// keeps it longer where it must.
template <class Items>
bool take_group(Items& in, Groups& g, Role role, std::string_view value) {
  switch (role) {
    case Role::none: return true;
    case Role::layer: g.layer = value; return true;
    case Role::flags: return in.integer(value, g.flags);
    case Role::x: return in.real(value, g.x);
    case Role::y: return in.real(value, g.y);
    case Role::z:
      if (!in.real(value, g.z)) return false;
      g.has_z = true;
      return true;
    case Role::elevation: return in.real(value, g.elevation);
    case Role::extrusion_x: return in.real(value, g.extrusion.x);
    case Role::extrusion_y: return in.real(value, g.extrusion.y);
    case Role::extrusion_z: return in.real(value, g.extrusion.z);
    case Role::space: {
      int space = 0;
      g.paper = in.integer(value, space) && space != 0;
      return true;
    }
    case Role::name: g.name = value; return true;
    case Role::scale_x: return in.real(value, g.placing.scale[0]);
    case Role::scale_y: return in.real(value, g.placing.scale[1]);
    case Role::scale_z: return in.real(value, g.placing.scale[2]);
    case Role::rotation: return in.real(value, g.placing.rotation);
    case Role::columns: return in.integer(value, g.placing.columns);
    case Role::rows: return in.integer(value, g.placing.rows);
    case Role::column_spacing: return in.real(value, g.placing.column_spacing);
    case Role::row_spacing: return in.real(value, g.placing.row_spacing);
    case Role::bulge:
    case Role::width: {
      double v = 0;
      const bool counted = !in.real(value, v) || v != 0;
      (role == Role::bulge ? g.bulges : g.widths) += counted;
      return true;
    }
  }
  return true;
}

}  // namespace groups
