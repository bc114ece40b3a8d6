// Layout shortcuts: learning a vertex's layout from the turn that took it,
// and taking the vertices after it that share it.
#include "fast/layout_shortcuts.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

#include "fast/numbers.h"
#include "merge/entities.h"

namespace fast {

namespace {

// Room for the most text one vertex of a shortcut writes: its parts, three
// coordinates and the 8-byte stores past them.
constexpr std::size_t vertex_room = 4 * VertexText::part_room + 3 * (max_number_text + 8);

// Whether the n bytes at p are those at t (32 bytes readable there), where
// `readable` bytes are readable at p: short ones a vector at a time.
TALVERO_ALWAYS_INLINE bool same_bytes(const char* p, const char* t, std::size_t n, std::ptrdiff_t readable) {
#ifdef TALVERO_SSE2
  if (n <= 32 && readable >= 32) return VertexLayout::same_sse2(p, t, n, 2);
#endif
  return std::memcmp(p, t, n) == 0;
}

// Follows, in the writing pass, which vertices of a shortcut are written
// where the one before them in the run was. A vertex is compared two
// vertices later: its text and the bytes after it, just stored, are then
// no longer in flight, and reading them back does not wait for the stores.
// Two vertices written by one vertex text (the same parts between, which
// no number's text holds) while the buffer stayed the same are compared by
// their texts from x's to the last coordinate written; others by their
// values as written, from the literals. The run's first and last vertex
// are taken by value, as the merge's state compares them. Scaled vertices
// are not followed: they are not said to coincide.
class Coincidences {
 public:
  // The z written where a vertex's own is not: the polyline's elevation, or 0.
  Coincidences(const MergeFrame& m)
      : out(m.out),
        counting(!m.drawing.scaled),
        fixed_z(numeric::as_written(m.input.at_elevation ? m.input.elevation : 0.0)) {}

  // The run's vertex i, written by `text`: coordinates [start[k], end[k])
  // read, the first text.holes of them written at [at[k], at_end[k]) (32
  // bytes readable from at[0]).
  TALVERO_ALWAYS_INLINE void written(Shortcut& run, const VertexText& text, const char* const* start,
                                     const char* const* end, const char* const* at, const char* const* at_end) {
    if (!counting) return;
    const std::uint64_t i = run.vertices;
    if (i == 0) values(text.holes, start, end, run.first);
    if (i >= 3) run.coincident += same(i - 2);
    Written& w = kept[i % ring];
    w.text = &text;
    w.flushes = out.handed_on();
    w.from = at[0];
    w.to = at_end[text.holes - 1];
    for (int k = 0; k < 3; ++k) {
      w.start[k] = start[k];
      w.end[k] = end[k];
    }
  }

  // The run's last vertices compared, and the last one taken as written,
  // once the run is over (the survey writes none).
  void finish(Shortcut& run) const {
    const std::uint64_t n = run.vertices;
    if (!counting || kept[0].text == nullptr) return;
    for (std::uint64_t j = n >= 3 ? n - 2 : 1; j < n; ++j) run.coincident += same(j);
    const Written& last = kept[(n - 1) % ring];
    values(last.text->holes, last.start, last.end, run.last);
  }

 private:
  struct Written {
    const VertexText* text = nullptr;
    std::uint64_t flushes = 0;
    const char* from = nullptr;  // the text from x's to the last coordinate written
    const char* to = nullptr;
    const char* start[3] = {};  // the literals read
    const char* end[3] = {};
  };
  static constexpr std::uint64_t ring = 4;  // the last vertices written, by their number in the run

  // Whether vertex j lies where vertex j - 1 does.
  TALVERO_ALWAYS_INLINE bool same(std::uint64_t j) const {
    const Written& a = kept[j % ring];
    const Written& b = kept[(j - 1) % ring];
    const auto n = static_cast<std::size_t>(a.to - a.from);
    if (a.text == b.text && a.flushes == b.flushes && a.flushes == out.handed_on())  // z, when not read, is the run's
      return n == static_cast<std::size_t>(b.to - b.from) && same_bytes(a.from, b.from, n, 32);
    double here[3], there[3];
    values(a.text->holes, a.start, a.end, here);
    values(b.text->holes, b.start, b.end, there);
    return here[0] == there[0] && here[1] == there[1] && here[2] == there[2];
  }

  // The literals of a vertex the shortcut wrote are whole: their values as written.
  void values(int holes, const char* const* start, const char* const* end, double* v) const {
    v[2] = fixed_z;
    for (int k = 0; k < holes; ++k)
      if (!written_value(start[k], end[k], v[k])) v[k] = std::numeric_limits<double>::quiet_NaN();
  }

  const Output& out;
  const bool counting;
  const double fixed_z;
  Written kept[ring];
};

}  // namespace

bool LayoutShortcuts::take(BlockItems& in, MergeFrame& m) {
  if (!shortcut_allowed(m)) return false;
  if (pass == Pass::write) return m.out.capacity() >= 2 * vertex_room && take_in<Pass::write>(in, m);
  return take_in<Pass::survey>(in, m);
}

// Each pass's loops made apart: neither then carries the other's tests.
template <Pass p>
bool LayoutShortcuts::take_in(BlockItems& in, MergeFrame& m) {
  if (m.drawing.scaled || m.input.bulging) return take_in_layout<true, p>(in, m) || take_by_groups<true, p>(in, m);
  return take_in_layout<false, p>(in, m) || take_by_groups<false, p>(in, m);
}

// The scale asked for, or null.
const double* scale_of(const MergeFrame& m) { return m.drawing.scaled ? &m.drawing.scale : nullptr; }

// The point of a vertex taken, as read in its polyline's system: its z the
// polyline's elevation when it has one, else its own (0 when it has none).
// Its literals are whole: the shortcut checked them.
curves::Point read_point(const InputState& s, const char* const* start, const char* const* end, bool has_z) {
  double v[3] = {};
  for (int k = 0; k < 2 + has_z; ++k) (void)whole_real(start[k], end[k], v[k]);
  return {v[0], v[1], s.at_elevation ? s.elevation : v[2]};
}

// The box of a run's vertices in the survey, each end taken without a
// branch: an axis without a vertex has its smallest above its largest.
struct RunBox {
  double min[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, max[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  [[nodiscard]] InputBox box() const {
    InputBox b;
    for (int k = 0; k < 3; ++k) {
      if (min[k] > max[k]) continue;
      b.take_min(k, min[k]);
      b.take_max(k, max[k]);
    }
    return b;
  }
};

// In the survey, the n coordinates [start[k], end[k]) of a vertex (x, y,
// and z when n is 3), taken into the box of a sweep's vertices as written
// (multiplied by *scale first when there is one); false, nothing taken, when
// one is not a whole literal or grows beyond the numbers.
TALVERO_ALWAYS_INLINE bool survey_point(RunBox& box, const char* const* start, const char* const* end, int n,
                                        const double* scale) {
  double c[3] = {};
  TALVERO_UNROLL_3
  for (int k = 0; k < n; ++k) {
    if (scale == nullptr) {
      if (!written_value(start[k], end[k], c[k])) return false;
    } else {
      if (!whole_real(start[k], end[k], c[k]) || !std::isfinite(c[k] *= *scale)) return false;
      c[k] = numeric::as_written(c[k]);
    }
  }
  TALVERO_UNROLL_3
  for (int k = 0; k < n; ++k) {
    box.min[k] = c[k] < box.min[k] ? c[k] : box.min[k];
    box.max[k] = c[k] > box.max[k] ? c[k] : box.max[k];
  }
  return true;
}

// --- Vertices in the layout ---------------------------------------------------

template <bool options, Pass p>
bool LayoutShortcuts::take_in_layout(BlockItems& in, MergeFrame& m) {
  const bool write = p == Pass::write;
  const char* t = in.token_start(in.pos);
  // Mostly asked at a turn that is no such vertex: told before the run is set up.
  const auto at_vertex = [&](const VertexLayout& l) {
    return in.end - t >= static_cast<std::ptrdiff_t>(VertexLayout::head_room) && l.head_at(t);
  };
  const auto fits = [&](const InLayout& l) { return l.ready && at_vertex(l) && (!write || l.text.fits(m.input)); };
  int slot = in_layout.last;
  if (!fits(in_layout.slot[slot]) && !fits(in_layout.slot[slot ^= 1])) return false;
  // A copy the output's stores cannot reach: its bytes stay in registers.
  const InLayout& chosen = slot == 0 ? in_layout.slot[0] : in_layout.slot[1];  // one pointer, held
  const VertexLayout layout = chosen;
  const VertexText& text = chosen.text;
  Shortcut run;
  RunBox surveyed;
  Coincidences coincidences(m);
  const double* const scale = options ? scale_of(m) : nullptr;
  VertexText::FixedZ fixed_z;  // worked out once the run has a vertex: most shortcuts asked take none
  // The arc of a bulge before the first vertex, drawn once it is taken.
  bool arc_first = options && arc_waits(m.input);
  do {
    // Each coordinate's end comes from the whitespace bitmap and the bytes
    // after it must be the gap learnt: the literals are checked once all
    // three are found.
    const char* c = t + layout.length[0];
    const char* start[3];
    const char* end[3];
    bool gaps = true;
    TALVERO_UNROLL_3
    for (int k = 0; k < 3 && gaps; ++k) {
      const char* q = in.token_end(c);
      gaps = layout.gap_at(k, q);
      start[k] = c;
      end[k] = q;
      c = q + layout.length[k + 1];
    }
    // A z not written as read must still be a whole literal.
    if (!gaps ||
        (write && text.holes == 2 && !BlockItems::is_real({start[2], static_cast<std::size_t>(end[2] - start[2])})))
      break;
    if (write) {
      if (run.vertices == 0) VertexText::fix_z(fixed_z, m.input, scale);
      const char *at[3] = {}, *at_end[3] = {};
      char* o = text.write(m.out.room(vertex_room), start, end, scale, fixed_z, at, at_end);
      if (o == nullptr) break;
      if (arc_first) {  // the vertex's text goes after the arc: written again there
        bulge_of_shortcut(m, p, read_point(m.input, start, end, true), 0, {}, arc, arc_text);
        o = text.write(m.out.room(vertex_room), start, end, scale, fixed_z, at, at_end);
      }
      m.out.advance(o);
      coincidences.written(run, text, start, end, at, at_end);
    } else {
      if (!survey_point(surveyed, start, end, 3, scale)) break;
      if (arc_first) bulge_of_shortcut(m, p, read_point(m.input, start, end, true), 0, {}, arc, arc_text);
    }
    arc_first = false;
    ++run.vertices;
    t = c;
  } while (at_vertex(layout));
  if (run.vertices == 0) return false;
  in_layout.matched(slot);
  in.pos = t;
  coincidences.finish(run);
  took_vertices(m, p, run);
  if (!write) survey_vertices(m, surveyed.box(), true);
  return true;
}

// --- Vertices by their group codes ----------------------------------------------

namespace {

// A coordinate or counted value read from its line.
struct GroupMatch {
  const char* start[3] = {};  // x, y, z: their tokens
  const char* end[3] = {};
  std::uint64_t bulges = 0, widths = 0;
  double bulge = 0;            // the last bulge that is a number
  bool odd_bulge = false;      // a bulge that is no number
  const char* next = nullptr;  // after the line of its group code 0
};

// Whether the vertex at t has the layout's fixed bytes, and its values are
// lines of one token within the loaded bytes.
TALVERO_ALWAYS_INLINE bool match_groups(const GroupLayout& layout, const BlockItems& in, const char* t, bool count,
                                        GroupMatch& m) {
  const char* p = t;
  for (const GroupLayout::Part* part = layout.part;; ++part) {
    if (in.end - p < part->length || !same_bytes(p, layout.fixed + part->from, part->length, in.end - p)) return false;
    p += part->length;
    if (part->end) break;
    if (p == in.end || is_space(static_cast<unsigned char>(*p))) return false;
    const char* q = in.token_end(p);
    if (q >= in.end || *q != '\n') return false;
    const std::string_view value(p, static_cast<std::size_t>(q - p));
    switch (part->role) {
      case groups::Role::x:
      case groups::Role::y:
      case groups::Role::z: {
        const int k = static_cast<int>(part->role) - static_cast<int>(groups::Role::x);
        m.start[k] = p;
        m.end[k] = q;
        break;
      }
      case groups::Role::bulge:
      case groups::Role::width:
        if (count) {
          groups::Groups g;
          g.bulge = std::numeric_limits<double>::quiet_NaN();  // left so by a bulge that is no number
          (void)groups::take_group(in, g, part->role, value);
          m.bulges += g.bulges;
          m.widths += g.widths;
          if (part->role == groups::Role::bulge) {
            if (std::isnan(g.bulge))
              m.odd_bulge = true;
            else
              m.bulge = g.bulge;
          }
        }
        break;
      default: break;
    }
    p = q + 1;
  }
  m.next = p;
  return true;
}

}  // namespace

template <bool options, Pass p>
bool LayoutShortcuts::take_by_groups(BlockItems& in, MergeFrame& m) {
  GroupLayouts& layouts = by_groups;
  if (!m.input.place.after_zero || (!layouts.slot[0].ready && !layouts.slot[1].ready)) return false;
  const bool write = p == Pass::write;
  Shortcut run;
  run.by_group_codes = true;
  RunBox surveyed;
  Coincidences coincidences(m);
  const double* const scale = options ? scale_of(m) : nullptr;
  VertexText::FixedZ fixed_z;  // worked out once the run has a vertex: most shortcuts asked take none
  // While bulges are drawn as arcs, a vertex with one ends the run: the next
  // run draws its arc before its first vertex.
  const bool bulging = options && m.input.bulging;
  bool arc_first = options && arc_waits(m.input);
  bool has_z = true;  // every vertex taken has a z
  const char* t = in.token_start(in.pos);
  const auto fits = [&](const GroupLayout& l) { return l.ready && (!write || l.text.fits(m.input)); };
  for (;;) {
    GroupMatch g;
    int k = layouts.last;
    const bool count = write || bulging;
    if (!fits(layouts.slot[k]) || !match_groups(layouts.slot[k], in, t, count, g)) {
      k ^= 1;
      g = GroupMatch{};
      if (!fits(layouts.slot[k]) || !match_groups(layouts.slot[k], in, t, count, g)) break;
    }
    // A bulge that is no number, or one given twice, is left to a turn.
    if (bulging && (g.odd_bulge || g.bulges > 1 || (g.bulges == 1 && g.bulge == 0))) break;
    const bool own_bulge = bulging && g.bulge != 0;
    const GroupLayout& layout = layouts.slot[k];
    const auto bulge_here = [&] {
      bulge_of_shortcut(m, p, read_point(m.input, g.start, g.end, layout.has_z), g.bulge, layout.layer, arc, arc_text);
    };
    const int read = 2 + layout.has_z;
    if (!write && run.vertices > 0 && layout.has_z != has_z) break;  // the box's z is of one kind
    has_z = layout.has_z;
    if (write) {
      // Each coordinate read is a whole literal, written or not.
      bool reals = true;
      for (int c = layout.text.holes; c < read; ++c)
        reals = reals && BlockItems::is_real({g.start[c], static_cast<std::size_t>(g.end[c] - g.start[c])});
      if (!reals) break;
      if (run.vertices == 0) VertexText::fix_z(fixed_z, m.input, scale);
      const char *at[3] = {}, *at_end[3] = {};
      char* o = layout.text.write(m.out.room(vertex_room), g.start, g.end, scale, fixed_z, at, at_end);
      if (o == nullptr) break;
      if (arc_first || own_bulge) {
        bulge_here();
        if (arc_first)
          o = layout.text.write(m.out.room(vertex_room), g.start, g.end, scale, fixed_z, at, at_end);  // after the arc
      }
      m.out.advance(o);
      coincidences.written(run, layout.text, g.start, g.end, at, at_end);
    } else {
      if (!survey_point(surveyed, g.start, g.end, read, scale)) break;
      if (arc_first || own_bulge) bulge_here();
    }
    arc_first = false;
    layouts.matched(k);
    ++run.vertices;
    run.bulges += g.bulges;
    run.widths += g.widths;
    t = g.next;
    if (own_bulge) break;
  }
  if (run.vertices == 0) return false;
  in.pos = t;
  coincidences.finish(run);
  took_vertices(m, p, run);
  if (!write) survey_vertices(m, surveyed.box(), has_z);
  return true;
}

// --- Learning -----------------------------------------------------------------------

namespace {

// Takes the layout of the vertex in the layout from its keyword to in.pos:
// the bytes before each coordinate, and after the last up to the next token.
bool learn_in_layout(VertexLayout& layout, const BlockItems& in, const char* keyword) {
  const char* from = keyword;  // the bytes not yet in a part
  const char* p = in.token_end(keyword);
  int part = 0;
  for (const grammar::Item& item : grammar::vertex) {
    const char* s = in.token_start(p);
    p = in.token_end(s);
    if (item.read != grammar::Read::real) continue;
    if (!layout.keep(part++, from, s)) return false;
    from = p;
  }
  const char* next = in.token_start(p);
  return next < in.end && layout.keep(3, from, next);
}

// Whether the line [v, e) is one token, with no blank around it.
bool one_token_line(const BlockItems& in, const char* v, const char* e) {
  return v != e && !is_space(static_cast<unsigned char>(*v)) && in.token_end(v) == e;
}

// Takes the layout of the vertex read by its group codes from its keyword
// to in.pos (after its group code 0's line), and of its text; false, and
// nothing kept, when it does not fit the room, lacks x or y, gives a
// coordinate twice or not as a line of one token, or when the layout test
// might take some vertex of that layout in the layout (such vertices must
// be read by their group codes for the layout to hold for them).
bool learn_groups(GroupLayout& layout, const BlockItems& in, const char* keyword, const char* text,
                  const char* text_end, bool write, const InputState& state) {
  layout.ready = false;
  layout.parts = 0;
  std::size_t fixed = 0;
  const char* from = keyword;  // the fixed bytes not yet in a part
  auto add = [&](const char* to, bool end, groups::Role role) {
    const auto n = static_cast<std::size_t>(to - from);
    if (layout.parts == GroupLayout::part_room || fixed + n > GroupLayout::fixed_room) return false;
    std::memcpy(layout.fixed + fixed, from, n);
    layout.part[layout.parts++] = {static_cast<std::uint16_t>(fixed), static_cast<std::uint16_t>(n), end, role};
    fixed += n;
    return true;
  };
  std::string_view layer = "0";
  const char* value_start[GroupLayout::part_room];  // the values read anew, a line of one token each
  const char* value_end[GroupLayout::part_room];
  unsigned coordinates = 0;
  // The lines after the keyword's own, in pairs, up to the group code 0.
  const char* p = static_cast<const char*>(std::memchr(keyword, '\n', static_cast<std::size_t>(in.pos - keyword)));
  for (;;) {
    if (p == nullptr) return false;
    const char* code_line = p + 1;
    const char* code_end =
        static_cast<const char*>(std::memchr(code_line, '\n', static_cast<std::size_t>(in.pos - code_line)));
    if (code_end == nullptr) return false;
    int code = 0;
    if (!literal::whole_integer(groups::trimmed({code_line, static_cast<std::size_t>(code_end - code_line)}), code))
      return false;
    if (code == 0) break;
    const char* v = code_end + 1;
    const char* e = static_cast<const char*>(std::memchr(v, '\n', static_cast<std::size_t>(in.pos - v)));
    if (e == nullptr) return false;
    p = e;
    const groups::Role role = groups::role_of(groups::Kind::vertex, code);
    // The layer and flags stay as they stand, with the fixed bytes: the
    // text written before the coordinates holds them.
    if (role == groups::Role::layer) layer = groups::trimmed({v, static_cast<std::size_t>(e - v)});
    if (role == groups::Role::layer || role == groups::Role::flags) continue;
    if (!one_token_line(in, v, e)) {
      if (role == groups::Role::none) continue;
      return false;
    }
    if (role == groups::Role::x || role == groups::Role::y || role == groups::Role::z) {
      const unsigned bit = 1u << static_cast<unsigned>(role);
      if ((coordinates & bit) != 0) return false;
      coordinates |= bit;
    }
    if (!add(v, false, role)) return false;
    value_start[layout.parts - 1] = v;
    value_end[layout.parts - 1] = e;
    from = e + 1;
  }
  const unsigned x_and_y =
      (1u << static_cast<unsigned>(groups::Role::x)) | (1u << static_cast<unsigned>(groups::Role::y));
  if ((coordinates & x_and_y) != x_and_y || !add(in.pos, true, groups::Role::none)) return false;
  // Whatever the values hold, the layout test refuses the vertex.
  const std::size_t values = layout.parts - 1u;
  const char* q = in.token_end(keyword);
  const bool may_be_in_layout = grammar::layout_may_hold<grammar::vertex>([&](std::string_view& t, bool& wild) {
    const char* s = in.token_start(q);
    if (s >= in.pos) {  // the entities after the vertex
      wild = true;
      return;
    }
    q = in.token_end(s);
    t = std::string_view(s, static_cast<std::size_t>(q - s));
    wild = false;
    for (std::size_t k = 0; k < values && !wild; ++k) wild = s >= value_start[k] && s < value_end[k];
  });
  if (may_be_in_layout) return false;
  layout.has_z = (coordinates & (1u << static_cast<unsigned>(groups::Role::z))) != 0;
  layout.layer = layer;
  // The text written holds z as read, or the polyline's elevation, or 0.
  if (write && !layout.text.learn(text, text_end, layout.has_z && !state.at_elevation, state)) return false;
  layout.ready = true;
  return true;
}

// Whether a layout ready holds the vertex a turn took, from its keyword to
// in.pos, and writes it as that turn did: it is not learnt again (a turn
// takes such a vertex where a shortcut stood aside, before an arc say).
bool known_groups(const GroupLayouts& layouts, const BlockItems& in, const char* keyword, bool write,
                  const InputState& state) {
  for (const GroupLayout& layout : layouts.slot) {
    GroupMatch g;
    if (layout.ready && (!write || layout.text.fits(state)) && match_groups(layout, in, keyword, false, g) &&
        g.next == in.pos)
      return true;
  }
  return false;
}

}  // namespace

void LayoutShortcuts::learn(Took took, const BlockItems& in, const char* keyword, const char* text,
                            const char* text_end, const MergeFrame& m) {
  const bool write = pass == Pass::write;
  if (took == Took::vertex_in_layout) {
    // Into the slot of a layout with the same head (a shortcut stood aside
    // for it, before an arc say), else the one not used last.
    const auto same_head = [&](int k) { return in_layout.slot[k].ready && in_layout.slot[k].head_at(keyword); };
    const int k = same_head(0) ? 0 : same_head(1) ? 1 : in_layout.last ^ 1;
    InLayout& l = in_layout.slot[k];
    l.ready =
        learn_in_layout(l, in, keyword) && (!write || l.text.learn(text, text_end, !m.input.at_elevation, m.input));
    if (l.ready) in_layout.last = k;
  } else if (took == Took::vertex_by_groups && !known_groups(by_groups, in, keyword, write, m.input) &&
             by_groups.learns_next()) {
    if (learn_groups(by_groups.victim(), in, keyword, text, text_end, write, m.input)) by_groups.learnt();
  }
}

}  // namespace fast
