// One turn of a pass's loop: the next token read and acted on as the
// merge's rules say. This is the one reader of entities: both passes run it
// over the plain reads and, in builds with the accelerator, over the loaded
// block (merge/item_source.h says what a source offers).
//
// A turn reads all it acts on first, changing nothing, and then acts. A
// source that cannot tell what comes, or declines a case, makes the turn
// take nothing: the state, the console and the result are as they were, and
// the source's position is for its caller to put back.
//
// POLYLINE and VERTEX are read as they stand when they are in the expected
// layout (then copied exactly as written there), and by their group codes
// otherwise; LWPOLYLINE is converted to a POLYLINE with its vertices; what
// lies in block definitions is left out, unless block references are placed
// (--inserts): then the survey holds the definitions' polylines and
// references, and an INSERT of model space places its block's. With
// --lines and --curves, the shapes of the ENTITIES section (LINE; ARC,
// CIRCLE, ELLIPSE, SPLINE) are read by their group codes and drawn as
// polylines; with --inserts, those of block definitions are held with their
// polylines and placed with them.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "merge/entity_grammar.h"
#include "merge/entity_text.h"
#include "merge/frame.h"
#include "merge/group_rules.h"
#include "merge/inputs.h"
#include "numeric/extrusion.h"
#include "read/integer_literal.h"

enum class Pass { survey, write };

// How a turn ended.
enum class Turn {
  taken,    // the token and what follows it were acted on
  end,      // no token is left: the input is read
  refused,  // the source could not tell or declined: nothing changed
};

// What a turn took, for the accelerator's layout shortcuts to learn from:
// a vertex alone, in a polyline whose vertices are written as read.
enum class Took { other, vertex_in_layout, vertex_by_groups };

// What a turn read, before it acts; kept by its caller from one turn to the
// next so that its storage is reused.
struct TurnPlan {
  enum class How : std::uint8_t { none, layout, groups, cut_off };
  Place place;                // where the loop is once the turn has acted
  std::string_view left_out;  // a kind the writing pass leaves out (empty: none)
  How polyline = How::none;   // a POLYLINE met, and how it was read
  How vertex = How::none;     // a VERTEX met after it, or alone
  bool seqend = false;        // a SEQEND acted on
  bool lwpolyline = false;    // an LWPOLYLINE converted
  bool shape = false;         // a shape read (shape_kind): a LINE, ARC, CIRCLE, ELLIPSE or SPLINE
  bool shape_bad = false;     // a value of it is no number
  groups::Kind shape_kind = groups::Kind::line;
  groups::Shape shape_groups;
  std::vector<curves::Point> shape_points;  // its points as drawn, held until written
  bool polyline_bad = false;                // a coordinate, elevation or flag of it is no number
  bool vertex_bad = false;
  bool lwpolyline_bad = false;  // of the LWPOLYLINE itself; its points such are dropped
  std::uint32_t bad_points = 0;
  grammar::ItemValues polyline_items, vertex_items;
  groups::Groups polyline_groups, vertex_groups, lwpolyline_groups;
  std::vector<std::pair<double, double>> points;         // the LWPOLYLINE's, held until its extrusion is read
  std::vector<double> point_bulges;                      // and each point's bulge
  std::vector<std::pair<double, double>> bulged_points;  // with --curves: its points and its arcs' between
  text::VertexRun vertex_run;                            // the text of its vertices
  // Tokens and layers kept past the reads that gave them: the turn's
  // token, a POLYLINE's two token items and layer, a VERTEX's, and an
  // LWPOLYLINE's layer.
  std::string texte, polyline_copies[3], vertex_copies[3], lwpolyline_layer, shape_layer;
  // A BLOCK, ENDBLK or INSERT met, when block references are placed.
  bool block = false, block_end = false, insert = false;
  bool placing_bad = false;  // a value of the BLOCK or INSERT is no number
  groups::Groups placing_groups;
  std::string placing_copies[2];  // its name and layer
};

// The rest of the turn's helpers; turn() below is the door.
namespace turn_detail {

// The kind of shape an entity named t is, when an option draws it.
inline bool drawn_shape(const DrawingOptions& o, std::string_view t, groups::Kind& kind) {
  if (o.lines && t == "LINE") {
    kind = groups::Kind::line;
    return true;
  }
  if (!o.curves) return false;
  const std::pair<std::string_view, groups::Kind> curves[] = {{"ARC", groups::Kind::arc},
                                                              {"CIRCLE", groups::Kind::circle},
                                                              {"ELLIPSE", groups::Kind::ellipse},
                                                              {"SPLINE", groups::Kind::spline}};
  for (const auto& [name, k] : curves)
    if (t == name) {
      kind = k;
      return true;
    }
  return false;
}

// Follows the token the loop just read: sections entered and left, whether
// the next token starts an entity, a shape an option draws, and (writing
// pass) what is left out.
template <Pass pass>
void note_token(TurnPlan& p, std::string_view t, const DrawingOptions& drawing) {
  const bool inserts = drawing.inserts;
  Place& w = p.place;
  const bool starts_entity = w.after_zero;
  w.after_zero = t == "0";
  const bool names_section = w.was_section_2;
  w.was_section_2 = w.was_section && t == "2";
  w.was_section = t == "SECTION";
  if (names_section) {
    w.section = t == "ENTITIES" ? Section::entities : t == "BLOCKS" ? Section::blocks : Section::other;
  } else if (t == "ENDSEC") {
    w.section = Section::none;
    return;
  }
  // The survey holds those of block definitions for the references that place them.
  const bool held = pass == Pass::survey && inserts && w.section == Section::blocks;
  if ((w.section == Section::entities || held) && starts_entity && drawn_shape(drawing, t, p.shape_kind)) {
    p.shape = true;
    return;
  }
  if constexpr (pass == Pass::survey) {
    // In a block definition held for its references, an entity that is no
    // polyline is not placed: it is said once for each copy placed.
    if (inserts && w.section == Section::blocks && starts_entity && t != "POLYLINE" && t != "VERTEX" && t != "SEQEND" &&
        t != "LWPOLYLINE" && t != "INSERT" && t != "BLOCK" && t != "ENDBLK") {
      int unused = 0;
      if (!literal::whole_integer(t, unused)) p.left_out = t;
    }
    return;
  }
  if (w.section == Section::blocks) {
    // Placed through their references when those are placed.
    if ((t == "POLYLINE" || t == "LWPOLYLINE") && !inserts) p.left_out = block_polylines;
  } else if (w.section == Section::entities && starts_entity && t != "POLYLINE" && t != "VERTEX" && t != "SEQEND" &&
             t != "LWPOLYLINE" && !(inserts && t == "INSERT")) {
    int unused = 0;
    if (!literal::whole_integer(t, unused)) p.left_out = t;
  }
}

// Says, once per input, that an item the layout expects is missing; a
// source that does not warn declines the turn instead.
template <class Items>
void warn(Items& in, MergeFrame& m) {
  if constexpr (Items::general)
    warn_layout(m);
  else
    in.decline();
}

// Says, once per input, that a value read just now is no number and what is
// left out for it; a source that does not warn declines the turn instead.
template <class Items>
void warn_value(Items& in, MergeFrame& m, std::string_view value, std::string_view left_out) {
  if constexpr (Items::general)
    warn_no_number(m, value, left_out);
  else
    in.decline();
}

// What is left out for a value that is no number.
inline constexpr std::string_view its_vertex = "its vertex is left out";
inline constexpr std::string_view its_polyline = "its polyline is left out, with its vertices";
inline constexpr std::string_view its_shape = "it is left out";

// Reads the groups of the entity after its keyword into g by the roles of
// `kind`; a coordinate, elevation or flag that is no number makes it bad,
// and is warned about; groups that do not end at a group code 0 are too.
// The layer is kept in `copy`.
template <class Items>
groups::End read_groups(Items& in, MergeFrame& m, groups::Kind kind, groups::Groups& g, std::string& copy, bool& bad) {
  bad = false;
  const groups::End end = groups::read_entity(in, [&](int code, std::string_view value) {
    const groups::Role role = groups::role_of(kind, code);
    if (!groups::take_group(in, g, role, value)) {
      if (!bad) warn_value(in, m, value, kind == groups::Kind::vertex ? its_vertex : its_polyline);
      bad = true;
    }
    if (role == groups::Role::layer) g.layer = in.keep(value, copy);
  });
  if (end != groups::End::next_entity) warn(in, m);
  return end;
}

// A POLYLINE or VERTEX after its keyword: in the layout (nothing is
// consumed when it is not), else by its group codes when it starts an
// entity; texte is left as the copy item by item leaves it. copies: room
// for the token items, then the layer read by group codes.
template <Pass pass, const auto& items, class Items>
TurnPlan::How read_entity(Items& in, MergeFrame& m, TurnPlan& p, bool entity_start, grammar::ItemValues& v,
                          groups::Groups& g, groups::Kind kind, std::string* copies, bool& bad,
                          std::string_view& texte) {
  in.mark();
  if (grammar::read_layout<items>(in, v, copies)) {
    in.forget_mark();
    p.place.after_zero = true;
    if constexpr (pass == Pass::write) texte = v.tokens[grammar::last_token_number(items)];
    return TurnPlan::How::layout;
  }
  in.rewind();
  // Not in the layout, and not after a group code 0: a word such as a
  // text's value, not an entity.
  if (!entity_start) return TurnPlan::How::none;
  g = groups::Groups{};
  const groups::End end = read_groups(in, m, kind, g, copies[2], bad);
  p.place.after_zero = end == groups::End::next_entity;
  return end == groups::End::cut_off ? TurnPlan::How::cut_off : TurnPlan::How::groups;
}

// An LWPOLYLINE after its keyword: the header's groups before the first
// point are its own, a 70 or 38 after one is checked and not used, a 20
// before the first 10 is no point's. A point whose coordinate is no number
// is dropped; a header's value that is no number makes it bad. rounded_only:
// its points are read as values the result writes as it writes theirs.
template <class Items>
void read_lwpolyline_as(Items& in, MergeFrame& m, TurnPlan& p, bool rounded_only) {
  groups::Groups& g = p.lwpolyline_groups;
  g = groups::Groups{};
  groups::Groups later;  // the header's groups after the first point
  bool pointed = false;  // a point was read
  bool point = false;    // a point is pending: its 10 read
  bool point_bad = false;
  double x = 0, y = 0, bulge = 0;
  p.points.clear();
  p.point_bulges.clear();
  p.lwpolyline_bad = false;
  p.bad_points = 0;
  auto end_point = [&] {
    if (point && point_bad) ++p.bad_points;
    if (point && !point_bad) {
      p.points.emplace_back(x, y);
      p.point_bulges.push_back(bulge);
    }
    point = false;
  };
  auto coordinate = [&](std::string_view value, double& cell) TALVERO_INLINE_LAMBDA {
    if (rounded_only ? in.written(value, cell) : in.real(value, cell)) return;
    if (!point_bad && !p.lwpolyline_bad) warn_value(in, m, value, its_vertex);
    point_bad = true;
  };
  const groups::End end = groups::read_entity(in, [&](int code, std::string_view value) TALVERO_INLINE_LAMBDA {
    const groups::Role role = groups::role_of(groups::Kind::lwpolyline, code);
    switch (role) {
      case groups::Role::layer:
        if (!pointed) g.layer = in.keep(value, p.lwpolyline_layer);
        return;
      case groups::Role::x:
        end_point();
        pointed = point = true;
        point_bad = false;
        x = y = bulge = 0;
        return coordinate(value, x);
      case groups::Role::y:
        if (point) coordinate(value, y);
        return;
      case groups::Role::bulge:
        if (point) in.real(value, bulge);  // one that is no number is counted below, not drawn
        break;
      default: break;
    }
    // The header's groups (checked, not used, after the first point).
    const bool header = role == groups::Role::flags || role == groups::Role::elevation;
    if (groups::take_group(in, header && pointed ? later : g, role, value)) return;
    if (!p.lwpolyline_bad) warn_value(in, m, value, its_polyline);
    p.lwpolyline_bad = true;
  });
  if (end != groups::End::next_entity) warn(in, m);
  end_point();
  p.place.after_zero = end == groups::End::next_entity;
  p.lwpolyline = true;
}

// Where nothing moves an LWPOLYLINE's points, all that is done to them is
// rounding: a loaded block's digits tell what the result holds for them
// without their exact values. Not where arcs are drawn through them, they
// are scaled or blocks are placed, nor when the extrusion, read after them,
// moves them: they are read again.
template <class Items>
void read_lwpolyline(Items& in, MergeFrame& m, TurnPlan& p) {
  const bool rounded_only = !Items::general && !m.drawing.curves && !m.drawing.scaled && !m.drawing.inserts;
  if (rounded_only) in.mark();
  read_lwpolyline_as(in, m, p, rounded_only);
  if (rounded_only && numeric::moves_points(p.lwpolyline_groups.extrusion)) {
    in.rewind();
    read_lwpolyline_as(in, m, p, false);
  }
}

// What is left out for a BLOCK's or an INSERT's value that is no number.
inline constexpr std::string_view its_block = "its block's polylines are left out";
inline constexpr std::string_view its_reference = "its block reference is left out";

// A BLOCK or an INSERT after its keyword, when block references are placed:
// its groups into p.placing_groups, its name and layer kept.
template <class Items>
void read_placing(Items& in, MergeFrame& m, TurnPlan& p, groups::Kind kind) {
  groups::Groups& g = p.placing_groups;
  g = groups::Groups{};
  p.placing_bad = false;
  const groups::End end = groups::read_entity(in, [&](int code, std::string_view value) {
    const groups::Role role = groups::role_of(kind, code);
    if (!groups::take_group(in, g, role, value)) {
      if (!p.placing_bad) warn_value(in, m, value, kind == groups::Kind::block ? its_block : its_reference);
      p.placing_bad = true;
    }
    if (role == groups::Role::name) g.name = in.keep(value, p.placing_copies[0]);
    if (role == groups::Role::layer) g.layer = in.keep(value, p.placing_copies[1]);
  });
  if (end != groups::End::next_entity) warn(in, m);
  p.place.after_zero = end == groups::End::next_entity;
  // An entity cut off by the end of the input is not taken.
  (kind == groups::Kind::block ? p.block : p.insert) = end != groups::End::cut_off;
}

// A shape after its keyword, by its group codes. A value that is no number
// makes it bad and is warned about.
template <class Items>
void read_shape(Items& in, MergeFrame& m, TurnPlan& p) {
  groups::Shape& s = p.shape_groups;
  s.clear();
  p.shape_bad = false;
  const groups::End end = groups::read_entity(in, [&](int code, std::string_view value) {
    const groups::Role role = groups::role_of(p.shape_kind, code);
    if (!groups::take_shape_group(in, s, p.shape_kind, role, value)) {
      if (!p.shape_bad) warn_value(in, m, value, its_shape);
      p.shape_bad = true;
    }
    if (role == groups::Role::layer) s.layer = in.keep(value, p.shape_layer);
  });
  if (end != groups::End::next_entity) warn(in, m);
  p.place.after_zero = end == groups::End::next_entity;
  if (end == groups::End::cut_off) p.shape_bad = true;  // not drawn: its groups may be cut short
}

// Folds the groups 10 x, 20 y, 30 z that follow "$EXTMIN" or "$EXTMAX", until
// a group code other than 10, 20 and 30, or a read that fails.
void fold_extents(MergeFrame& m, bool minimum);

// Reads what the turn acts on.
template <Pass pass, class Items>
void read_turn(Items& in, MergeFrame& m, TurnPlan& p, std::string_view texte) {
  const bool entity_start = p.place.after_zero;
  note_token<pass>(p, texte, m.drawing);
  if (p.shape) return read_shape(in, m, p);
  const bool inserts = m.drawing.inserts;
  // Block references, and the definitions they place, when they are placed.
  if (inserts && entity_start && p.place.section != Section::other && p.place.section != Section::none) {
    const bool defining = p.place.section == Section::blocks;
    if (texte == "INSERT" && (pass == Pass::survey || !defining)) return read_placing(in, m, p, groups::Kind::insert);
    if (pass == Pass::survey && defining && texte == "BLOCK") return read_placing(in, m, p, groups::Kind::block);
    if (pass == Pass::survey && defining && texte == "ENDBLK") {
      p.block_end = true;
      return;
    }
  }
  if constexpr (pass == Pass::survey) {
    if (texte == "$EXTMIN" || texte == "$EXTMAX") {
      if constexpr (Items::general)
        fold_extents(m, texte == "$EXTMIN");
      else
        in.decline();
    } else if (p.place.section == Section::blocks && !inserts) {
      // the polylines of block definitions are not drawing
    } else if (texte == "POLYLINE") {
      p.polyline =
          read_entity<pass, grammar::polyline>(in, m, p, entity_start, p.polyline_items, p.polyline_groups,
                                               groups::Kind::polyline, p.polyline_copies, p.polyline_bad, texte);
    } else if (texte == "VERTEX") {
      p.vertex = read_entity<pass, grammar::vertex>(in, m, p, entity_start, p.vertex_items, p.vertex_groups,
                                                    groups::Kind::vertex, p.vertex_copies, p.vertex_bad, texte);
    } else if (texte == "SEQEND") {
      p.seqend = true;
    } else if (texte == "LWPOLYLINE" && entity_start) {
      read_lwpolyline(in, m, p);
    }
  } else {
    if (p.place.section == Section::blocks) return;  // block definitions are not drawing
    // LWPOLYLINE is an entity only as read after a group code 0, never as
    // the layer of an entity just copied.
    if (texte == "LWPOLYLINE") {
      if (entity_start) read_lwpolyline(in, m, p);
      return;
    }
    // The tests are made in turn on whatever texte holds by then: a POLYLINE
    // whose fourth item reads VERTEX is followed at once by a vertex.
    bool start = entity_start;
    if (texte == "POLYLINE") {
      p.polyline =
          read_entity<pass, grammar::polyline>(in, m, p, start, p.polyline_items, p.polyline_groups,
                                               groups::Kind::polyline, p.polyline_copies, p.polyline_bad, texte);
      start = p.place.after_zero;
    }
    if (texte == "VERTEX") {
      p.vertex = read_entity<pass, grammar::vertex>(in, m, p, start, p.vertex_items, p.vertex_groups,
                                                    groups::Kind::vertex, p.vertex_copies, p.vertex_bad, texte);
    }
    if (texte == "SEQEND") p.seqend = true;
  }
}

// Whether a token read where no entity starts and no section is named
// leaves the loop where it was: it is none of the words note_token and
// read_turn look for there (keep them together), nor "0".
inline bool quiet_token(std::string_view t) {
  // Most tokens, group codes and values alike, start with none of the words' first bytes.
  if (t.empty() || std::string_view("SE$PVL").find(t[0]) == std::string_view::npos) return t != "0";
  for (std::string_view word :
       {"SECTION", "ENDSEC", "$EXTMIN", "$EXTMAX", "POLYLINE", "VERTEX", "SEQEND", "LWPOLYLINE"})
    if (t == word) return false;
  return true;
}

// The quiet tokens after a turn's own, and the "0" that ends them, taken in
// the same turn: each would be a turn of its own that leaves the place as
// it found it ("0" that an entity starts next). Only after a turn that read
// nothing past its token and left no entity starting and no section to
// name. Stops where the source does not hold the next token: the next turn
// starts there.
template <class Items>
void read_quiet_tokens(Items& in, TurnPlan& p) {
  Place& w = p.place;
  if (w.after_zero || w.was_section || w.was_section_2 || p.shape || p.lwpolyline || p.block || p.block_end ||
      p.insert || p.polyline != TurnPlan::How::none || p.vertex != TurnPlan::How::none)
    return;
  for (;;) {
    in.mark();
    std::string_view t;
    if (!in.held_token(t)) break;
    if (t == "0") {
      in.forget_mark();
      w.after_zero = true;
      return;
    }
    if (!quiet_token(t)) break;
    in.forget_mark();
  }
  in.rewind();
}

// Acts on what was read.
template <Pass pass>
Took act(MergeFrame& m, TurnPlan& p);

}  // namespace turn_detail

// One turn from the source's read position.
template <Pass pass, class Items>
Turn turn(Items& in, MergeFrame& m, TurnPlan& p, Took* took = nullptr) {
  std::string_view texte;
  if (!in.token(texte)) return in.sure() ? Turn::end : Turn::refused;
  texte = in.keep(texte, p.texte);  // the reads after it may move what it was read from
  p.place = m.input.place;
  p.left_out = {};
  p.polyline = p.vertex = TurnPlan::How::none;
  p.seqend = p.lwpolyline = p.shape = false;
  p.block = p.block_end = p.insert = false;
  turn_detail::read_turn<pass>(in, m, p, texte);
  if (!in.sure()) return Turn::refused;
  turn_detail::read_quiet_tokens(in, p);
  const Took what = turn_detail::act<pass>(m, p);
  if (took != nullptr) *took = what;
  return Turn::taken;
}
