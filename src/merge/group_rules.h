// Entities read as the DXF structure has them: line by line, a group code
// on one line and its value on the next, spaces and tabs around both
// trimmed, from right after the entity's keyword up to the next group code
// 0. What each group code means to the merge is the table role_of(): the
// one place to change to take a group code into account.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "merge/curves.h"

#include "numeric/extrusion.h"
#include "read/characters.h"

namespace groups {

// The entities read by their group codes: BLOCK opens a block definition,
// INSERT places one (a block reference); from `line` on, the ones drawn
// as polylines by an option (shapes).
enum class Kind : std::uint8_t { polyline, vertex, lwpolyline, block, insert, line, arc, circle, ellipse, spline };

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
  space,    // 67: 1 (not 0) for an entity of paper space, a layout's
  name,     // 2: a BLOCK's name, or the block an INSERT places
  scale_x,  // an INSERT's 41, 42, 43
  scale_y,
  scale_z,
  rotation,  // 50, degrees
  columns,   // an INSERT's 70 and 71: a grid of copies
  rows,
  column_spacing,  // 44 and 45
  row_spacing,
  // Of the shapes:
  x2,      // 11: a LINE's end, an ELLIPSE's major axis; a SPLINE's fit point starts with it
  y2,      // 21
  z2,      // 31
  x3,      // 12: a SPLINE's start tangent (of a spline given by fit points)
  y3,      // 22
  z3,      // 32
  x4,      // 13: a SPLINE's end tangent
  y4,      // 23
  z4,      // 33
  size,    // 40: an ARC's or CIRCLE's radius, an ELLIPSE's ratio
  knot,    // 40 of a SPLINE
  weight,  // 41 of a SPLINE
  start,   // an ARC's 50 (degrees), an ELLIPSE's 41 (radians)
  end,     // an ARC's 51, an ELLIPSE's 42
  degree,  // 71 of a SPLINE
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

// The roles of a shape's groups.
constexpr Role shape_role(Kind kind, int code) {
  const bool spline = kind == Kind::spline, ellipse = kind == Kind::ellipse;
  const bool round = kind == Kind::arc || kind == Kind::circle;
  switch (code) {
    case 8: return Role::layer;
    case 67: return Role::space;
    case 10: return Role::x;
    case 20: return Role::y;
    case 30: return Role::z;
    case 11: return round ? Role::none : Role::x2;
    case 21: return round ? Role::none : Role::y2;
    case 31: return round ? Role::none : Role::z2;
    case 12: return spline ? Role::x3 : Role::none;
    case 22: return spline ? Role::y3 : Role::none;
    case 32: return spline ? Role::z3 : Role::none;
    case 13: return spline ? Role::x4 : Role::none;
    case 23: return spline ? Role::y4 : Role::none;
    case 33: return spline ? Role::z4 : Role::none;
    case 40: return spline ? Role::knot : kind == Kind::line ? Role::none : Role::size;
    case 41: return spline ? Role::weight : ellipse ? Role::start : Role::none;
    case 42: return ellipse ? Role::end : Role::none;
    case 50: return kind == Kind::arc ? Role::start : Role::none;
    case 51: return kind == Kind::arc ? Role::end : Role::none;
    case 70: return spline ? Role::flags : Role::none;
    case 71: return spline ? Role::degree : Role::none;
    // A LINE's extrusion gives its thickness a direction and moves no point.
    case 210: return round || ellipse ? Role::extrusion_x : Role::none;
    case 220: return round || ellipse ? Role::extrusion_y : Role::none;
    case 230: return round || ellipse ? Role::extrusion_z : Role::none;
    default: return Role::none;
  }
}

constexpr Role role_of(Kind kind, int code) {
  if (kind == Kind::block || kind == Kind::insert) return placing_role_of(kind, code);
  if (kind >= Kind::line) return shape_role(kind, code);
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
  double bulge = 0;          // the last bulge that is a number
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
      const bool number = in.real(value, v);
      (role == Role::bulge ? g.bulges : g.widths) += !number || v != 0;
      if (role == Role::bulge && number) g.bulge = v;
      return true;
    }
    default: return true;  // the shapes' own roles (take_shape_group)
  }
  return true;
}

// What the groups of a shape (LINE, ARC, CIRCLE, ELLIPSE, SPLINE) hold that
// its drawing needs. A SPLINE's 10 and 11 each start a point of their own.
struct Shape {
  std::string_view layer = "0";
  bool paper = false;
  curves::Point first, second;  // 10/20/30, 11/21/31
  double size = 1;              // radius or ratio
  double start = 0, end = 0;    // angles or parameters
  bool has_end = false;
  int degree = 3, flags = 0;
  numeric::Extrusion extrusion;
  std::vector<double> knots, weights;
  std::vector<curves::Point> controls, fits;
  curves::Point start_tangent, end_tangent;  // a SPLINE's 12/22/32, 13/23/33
  bool has_start_tangent = false, has_end_tangent = false;

  // Back to no groups read, its lists' storage kept.
  void clear() {
    layer = "0";
    paper = false;
    first = second = {};
    size = 1;
    start = end = 0;
    has_end = false;
    degree = 3;
    flags = 0;
    extrusion = {};
    knots.clear(), weights.clear(), controls.clear(), fits.clear();
    start_tangent = end_tangent = {};
    has_start_tangent = has_end_tangent = false;
  }
};

// Takes a shape's group into s by its role; false, s unchanged, when the
// role needs a number and the value is none.
template <class Items>
bool take_shape_group(Items& in, Shape& s, Kind kind, Role role, std::string_view value) {
  const bool spline = kind == Kind::spline;
  double v = 0;
  auto coordinate = [&](std::vector<curves::Point>& points, curves::Point& alone, double curves::Point::*axis,
                        bool starts) {
    if (!in.real(value, v)) return false;
    if (!spline) {
      alone.*axis = v;
    } else {
      if (starts || points.empty()) points.emplace_back();
      points.back().*axis = v;
    }
    return true;
  };
  // A tangent given by any of its three groups is given, its others 0.
  auto tangent = [&](curves::Point& t, bool& given, double curves::Point::*axis) {
    if (!in.real(value, v)) return false;
    t.*axis = v;
    given = true;
    return true;
  };
  switch (role) {
    case Role::x: return coordinate(s.controls, s.first, &curves::Point::x, true);
    case Role::y: return coordinate(s.controls, s.first, &curves::Point::y, false);
    case Role::z: return coordinate(s.controls, s.first, &curves::Point::z, false);
    case Role::x2: return coordinate(s.fits, s.second, &curves::Point::x, true);
    case Role::y2: return coordinate(s.fits, s.second, &curves::Point::y, false);
    case Role::z2: return coordinate(s.fits, s.second, &curves::Point::z, false);
    case Role::x3: return tangent(s.start_tangent, s.has_start_tangent, &curves::Point::x);
    case Role::y3: return tangent(s.start_tangent, s.has_start_tangent, &curves::Point::y);
    case Role::z3: return tangent(s.start_tangent, s.has_start_tangent, &curves::Point::z);
    case Role::x4: return tangent(s.end_tangent, s.has_end_tangent, &curves::Point::x);
    case Role::y4: return tangent(s.end_tangent, s.has_end_tangent, &curves::Point::y);
    case Role::z4: return tangent(s.end_tangent, s.has_end_tangent, &curves::Point::z);
    case Role::size: return in.real(value, s.size);
    case Role::start: return in.real(value, s.start);
    case Role::end: return (s.has_end = in.real(value, s.end));
    case Role::knot:
    case Role::weight:
      if (!in.real(value, v)) return false;
      (role == Role::knot ? s.knots : s.weights).push_back(v);
      return true;
    case Role::degree: return in.integer(value, s.degree);
    case Role::flags: return in.integer(value, s.flags);
    case Role::extrusion_x: return in.real(value, s.extrusion.x);
    case Role::extrusion_y: return in.real(value, s.extrusion.y);
    case Role::extrusion_z: return in.real(value, s.extrusion.z);
    case Role::layer: s.layer = value; return true;
    case Role::space: {
      int space = 0;
      s.paper = in.integer(value, space) && space != 0;
      return true;
    }
    default: return true;
  }
}

}  // namespace groups
