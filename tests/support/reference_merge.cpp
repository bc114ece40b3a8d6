// The reference merge: every rule written out the plain way, a byte at a time.
#include "reference_merge.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <string_view>
#include <system_error>
#include <utility>

namespace reference {
namespace {

// ---------------------------------------------------------------------------
// Reading

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// An input's content as the reads see it: every CR dropped, nothing from the
// first byte 26 on.
std::string content_of(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (char c : bytes) {
    if (c == '\x1a') break;
    if (c != '\r') text += c;
  }
  return text;
}

// The reads over one input's content. A read that finds nothing stores
// nothing and says so.
class Text {
 public:
  explicit Text(const std::string& bytes) : text_(content_of(bytes)) {}

  // The next maximal run of non-whitespace bytes.
  bool token(std::string& out) {
    skip_space();
    if (at_ >= text_.size()) return false;
    std::size_t start = at_;
    while (at_ < text_.size() && !is_space(text_[at_])) ++at_;
    out.assign(text_, start, at_ - start);
    return true;
  }

  // An optional sign, then decimal digits; saturates to 32 bits. The sign is
  // consumed even when no digit follows it.
  bool integer(int& out) {
    skip_space();
    bool negative = false;
    if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) negative = text_[at_++] == '-';
    std::size_t start = at_;
    while (at_ < text_.size() && is_digit(text_[at_])) ++at_;
    if (at_ == start) return false;
    std::string literal = negative ? "-" : "";
    literal.append(text_, start, at_ - start);
    int value = 0;
    if (std::from_chars(literal.data(), literal.data() + literal.size(), value).ec == std::errc::result_out_of_range)
      value = negative ? INT_MIN : INT_MAX;
    out = value;
    return true;
  }

  // Optional sign, digits, optional point and fraction, optional exponent.
  // Without a mantissa digit the read fails, having consumed the sign and the
  // point; an exponent marker without digits is consumed and adds nothing.
  bool real(double& out) {
    skip_space();
    bool negative = false;
    if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) negative = text_[at_++] == '-';
    std::string whole, fraction;
    while (at_ < text_.size() && is_digit(text_[at_])) whole += text_[at_++];
    if (at_ < text_.size() && text_[at_] == '.') {
      ++at_;
      while (at_ < text_.size() && is_digit(text_[at_])) fraction += text_[at_++];
    }
    if (whole.empty() && fraction.empty()) return false;
    std::string exponent;  // its sign and digits, or empty
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      std::string sign;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) sign = text_[at_++];
      std::string digits;
      while (at_ < text_.size() && is_digit(text_[at_])) digits += text_[at_++];
      if (!digits.empty()) exponent = sign + digits;
    }
    out = to_double(negative, whole, fraction, exponent);
    return true;
  }

  // The rest of the line the read position is in, line feed included.
  void pass_rest_of_line() {
    while (at_ < text_.size() && text_[at_] != '\n') ++at_;
    if (at_ < text_.size()) ++at_;
  }

  // The line from the read position to the next line feed (or the end), the
  // read position then after that line feed; false at the end.
  bool line(std::string& out) {
    if (at_ >= text_.size()) return false;
    std::size_t start = at_;
    pass_rest_of_line();
    std::size_t end = at_ > start && text_[at_ - 1] == '\n' ? at_ - 1 : at_;
    out.assign(text_, start, end - start);
    return true;
  }

  // Where the next read starts; going back there, or on to a later place.
  std::size_t at() const { return at_; }
  void go_to(std::size_t at) { at_ = at; }
  // Whether the read position is at whitespace or at the end: the last read
  // took a whole token.
  bool at_token_end() const { return at_ >= text_.size() || is_space(text_[at_]); }
  // The 1-based line of a position: the line feeds before it, plus one.
  std::size_t line_of(std::size_t at) const {
    return static_cast<std::size_t>(std::count(text_.begin(), text_.begin() + static_cast<std::ptrdiff_t>(at), '\n')) +
           1;
  }

 private:
  void skip_space() {
    while (at_ < text_.size() && is_space(text_[at_])) ++at_;
  }

  static double to_double(bool negative, const std::string& whole, const std::string& fraction,
                          const std::string& exponent) {
    std::string literal = negative ? "-" : "";
    literal += whole.empty() ? "0" : whole;
    if (!fraction.empty()) literal.append(".").append(fraction);
    if (!exponent.empty()) literal.append("e").append(exponent);
    double value = 0;
    if (std::from_chars(literal.data(), literal.data() + literal.size(), value).ec == std::errc::result_out_of_range) {
      // Beyond the double range: the largest finite double; below it (short
      // of the smallest subnormal, which is kept): zero. Both keep the sign.
      double magnitude = overflows(whole, fraction, exponent) ? DBL_MAX : 0.0;
      value = negative ? -magnitude : magnitude;
    }
    return value;
  }

  // Whether a literal outside the double range lies above it rather than
  // below it: its first significant digit stands at a power of ten of 0 or
  // more. The exponent's digits are summed with a cap, as they may be many.
  static bool overflows(const std::string& whole, const std::string& fraction, const std::string& exponent) {
    std::int64_t power = 0;
    std::size_t first = whole.find_first_not_of('0');
    if (first != std::string::npos) {
      power = static_cast<std::int64_t>(whole.size() - first) - 1;
    } else {
      std::size_t in_fraction = fraction.find_first_not_of('0');
      if (in_fraction == std::string::npos) return false;  // zero is never out of range
      power = -static_cast<std::int64_t>(in_fraction) - 1;
    }
    std::int64_t e = 0;
    for (char c : exponent) {
      if (is_digit(c) && e < std::int64_t{1} << 40) e = e * 10 + (c - '0');
    }
    if (!exponent.empty() && exponent[0] == '-') e = -e;
    return power + e >= 0;
  }

  std::string text_;
  std::size_t at_ = 0;
};

// A line of a group code or value without the spaces and tabs around it.
std::string trimmed(const std::string& line) {
  std::size_t first = line.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return line.substr(first, line.find_last_not_of(" \t") + 1 - first);
}

// Whether a value is one read (an integer, saturated to 32 bits, or a real)
// and nothing else.
template <class Number>
bool whole(const std::string& value, Number& out, bool (Text::*read)(Number&)) {
  if (value.empty() || is_space(value[0])) return false;
  Text text(value);
  Number number = 0;
  if (!(text.*read)(number) || text.at() != value.size()) return false;
  out = number;
  return true;
}
bool whole_integer(const std::string& value, int& out) { return whole(value, out, &Text::integer); }
bool whole_real(const std::string& value, double& out) { return whole(value, out, &Text::real); }

// Whether the file's first bytes are the sentinel of a binary DXF drawing: 18
// bytes of text ending in "Binary DXF", then CR LF, byte 26 and byte 0.
bool binary(const std::string& bytes) {
  return bytes.size() >= 22 && bytes.compare(8, 10, "Binary DXF") == 0 &&
         bytes.compare(18, 4, std::string("\r\n\x1a\0", 4)) == 0;
}

// ---------------------------------------------------------------------------
// Numbers as text

// The decimal digits of a whole, non-negative double, exactly.
std::string digits_of(double whole) {
  char buffer[400];  // the largest double has 309 digits
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, whole, std::chars_format::fixed, 0).ptr);
}

std::string plus_one(std::string digits) {
  std::size_t i = digits.size();
  while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
  if (i == 0) return digits.insert(0, 1, '1');
  ++digits[i - 1];
  return digits;
}

// For digits standing for a number of at least 1.
std::string minus_one(std::string digits) {
  std::size_t i = digits.size();
  while (digits[i - 1] == '0') digits[--i] = '9';
  --digits[i - 1];
  std::size_t lead = digits.find_first_not_of('0');
  return lead == std::string::npos ? "0" : digits.substr(lead);
}

std::string signed_text(bool negative, const std::string& magnitude) {
  return negative && magnitude != "0" ? std::string("-").append(magnitude) : magnitude;
}

// An extent: truncated toward zero, as the exact integer.
std::string truncated(double x) { return signed_text(x < 0, digits_of(std::fabs(std::trunc(x)))); }

// A vertex coordinate: x + 0.5, the sum taken exactly, truncated toward zero.
std::string rounded(double x) {
  double whole = 0;
  double fraction = std::modf(x, &whole);  // both exact, of the sign of x
  std::string magnitude = digits_of(std::fabs(whole));
  if (x >= 0) return fraction >= 0.5 ? plus_one(magnitude) : magnitude;
  // x < 0: x + 0.5 lies in (whole - 0.5, whole + 0.5].
  if (whole == 0) return "0";
  return signed_text(true, fraction > -0.5 ? minus_one(magnitude) : magnitude);
}

std::string six_decimals(double x) {
  int size = std::snprintf(nullptr, 0, "%lf", x);
  std::string s(static_cast<std::size_t>(size) + 1, '\0');
  std::snprintf(s.data(), s.size(), "%lf", x);
  s.resize(static_cast<std::size_t>(size));
  return s;
}

// "1 vertex", "2 vertices".
std::string counted(long long n, const std::string& one, const std::string& many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// An extrusion direction (210, 220, 230): the points of a 2D polyline or an
// LWPOLYLINE lie in the system it defines and are written in world
// coordinates. Along +z (or zero) it changes nothing.
struct Direction {
  double x = 0.0, y = 0.0, z = 1.0;
  bool changes_points() const { return x != 0.0 || y != 0.0 || z < 0.0; }
};

Direction normalized(Direction d) {
  const double big = std::max(std::max(std::fabs(d.x), std::fabs(d.y)), std::fabs(d.z));
  d = {d.x / big, d.y / big, d.z / big};  // no square overflows
  const double length = std::hypot(d.x, d.y, d.z);
  return {d.x / length, d.y / length, d.z / length};
}

Direction crossed(const Direction& a, const Direction& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// The arbitrary axis rule: the system's x axis is world y (world z when the
// direction is within 1/64 of world z in x and y) crossed with the
// direction, its y axis the direction crossed with its x axis.
void to_world(const Direction& extrusion, double& x, double& y, double& z) {
  const Direction n = normalized(extrusion);
  const bool near_z = std::fabs(n.x) < 1.0 / 64 && std::fabs(n.y) < 1.0 / 64;
  const Direction ax = normalized(crossed(near_z ? Direction{0, 1, 0} : Direction{0, 0, 1}, n));
  const Direction ay = normalized(crossed(n, ax));
  const double px = x, py = y, pz = z;
  x = std::clamp(px * ax.x + py * ay.x + pz * n.x, -DBL_MAX, DBL_MAX);
  y = std::clamp(px * ax.y + py * ay.y + pz * n.y, -DBL_MAX, DBL_MAX);
  z = std::clamp(px * ax.z + py * ay.z + pz * n.z, -DBL_MAX, DBL_MAX);
}

// ---------------------------------------------------------------------------
// The merge

struct Extents {
  double minx = 4000000.0, miny = 4000000.0, minz = 100000.0;
  double maxx = 0.0, maxy = 0.0, maxz = 0.0;
};

// Where a pass's loop is in one input, from the tokens it reads itself.
struct Place {
  std::string section;      // the section entered ("ENTITIES", "BLOCKS", ...); empty outside one
  std::string last;         // the loop's last token
  std::string before_last;  // and the one before it
  bool after_zero = false;  // the next token the loop reads follows a group code 0
  bool saw_section = false;
  // The last polyline: its elevation, whether its vertices lie at it (a 2D
  // polyline with one, whatever their own z), its extrusion, whether it was
  // written as a 3D polyline (flag 8, its vertices flag 32), and whether
  // its vertices, and the next SEQEND, are left out (a mesh's, paper
  // space's, or those of a polyline left out for a value that is no number).
  double elevation = 0.0;
  bool at_elevation = false;
  Direction extrusion;
  bool made_3d = false;
  bool leaving_out = false;

  // Takes a token the loop has read; says whether it follows a group code 0:
  // the loop's previous token was "0", or the entity read before it ended
  // with group code 0.
  bool enter(const std::string& token) {
    const bool follows_zero = after_zero;
    if (before_last == "SECTION" && last == "2") {
      section = token;
    } else if (token == "ENDSEC") {
      section.clear();
    }
    if (token == "SECTION") saw_section = true;
    before_last = last;
    last = token;
    after_zero = token == "0";
    return follows_zero;
  }
};

// The items after "POLYLINE" and "VERTEX", as the writing pass reads them:
// i integer, t token, r real.
constexpr const char* polyline_items = "ititiiiiiii";
constexpr const char* vertex_items = "itiiiririri";

// One group of an entity read by its group codes.
struct Group {
  int code = 0;
  std::string value;     // trimmed
  std::size_t line = 0;  // where its value line starts
};

// What one input's writing pass reports on standard error.
struct Report {
  long long polylines = 0;  // written: POLYLINE copied or read by group codes, LWPOLYLINE converted
  long long vertices = 0;   // written: VERTEX, and the points of LWPOLYLINE
  long long by_codes = 0;   // of those written, POLYLINE and VERTEX read by their group codes
  long long converted = 0;  // LWPOLYLINE
  long long bulges = 0;
  long long widths = 0;
  std::map<std::string, long long> left_out;  // by kind: an entity's name, or one of the kinds below
};

// Left-out kinds that are not entity names, with their names for one.
const std::map<std::string, std::string> singular = {
    {"polygon meshes", "polygon mesh"},
    {"polyface meshes", "polyface mesh"},
    {"spline frame control points", "spline frame control point"},
    {"polylines of block definitions", "polyline of block definitions"},
    {"polylines of paper space", "polyline of paper space"},
    {"polylines with a value that is not a number", "polyline with a value that is not a number"},
    {"vertices with a value that is not a number", "vertex with a value that is not a number"},
};

// An input's smallest and largest x, y and z: its header's, or its vertices'.
struct Box {
  double min[3] = {}, max[3] = {};
  bool has_min[3] = {}, has_max[3] = {};
  bool usable(int k) const { return has_min[k] && has_max[k] && min[k] <= max[k]; }
  bool usable() const { return usable(0) && usable(1) && usable(2); }
  void lower(int k, double v) {
    if (!has_min[k] || min[k] > v) min[k] = v;
    has_min[k] = true;
  }
  void raise(int k, double v) {
    if (!has_max[k] || max[k] < v) max[k] = v;
    has_max[k] = true;
  }
};

// A coordinate as the result holds it, as a number.
double as_written(double x) {
  const std::string text = rounded(x);
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

class Merge {
 public:
  Merged run(const std::vector<Input>& inputs) {
    warned_.assign(inputs.size(), false);
    console_ += "\n\n\tTreatment\n";
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      if (!survey(i, inputs[i])) return {"", std::move(console_), std::move(errors_), true};
    }
    say({"\n\n\tmin x = ", six_decimals(ext_.minx), " min y = ", six_decimals(ext_.miny), " "});
    say({"\n\tmax x = ", six_decimals(ext_.maxx), " max y = ", six_decimals(ext_.maxy), " "});
    say({"\n\tmin z = ", six_decimals(ext_.minz), " max z = ", six_decimals(ext_.maxz), " \n\n"});

    for (const char* l : {"  0", "SECTION", "  2", "HEADER", "  9", "$EXTMIN", " 10"}) line(l);
    line(truncated(ext_.minx));
    line(" 20");
    line(truncated(ext_.miny));
    line(" 30");
    line(truncated(ext_.minz));
    line("  9");
    line("$EXTMAX");
    line(" 10");
    line(truncated(ext_.maxx));
    line(" 20");
    line(truncated(ext_.maxy));
    line(" 30");
    line(truncated(ext_.maxz));
    for (const char* l : {"  0", "ENDSEC", "  0", "SECTION", "  2", "ENTITIES", "  0"}) line(l);

    for (std::size_t i = 0; i < inputs.size(); ++i) write(i, inputs[i]);
    // One section end after the last input's entities, whatever the inputs hold.
    line("ENDSEC");
    line("0");
    line("EOF");
    // What is said of the inputs comes once the result is complete.
    return {std::move(result_), std::move(console_), std::move(errors_) + reports_, false, polylines_, vertices_};
  }

 private:
  // --- the survey ---

  // Each pass reads a token and dispatches it until a token read fails; the
  // last token, the last integer and the last coordinate carry from input to
  // input and from the survey to the writing pass.
  bool survey(std::size_t index, const Input& input) {
    say({"\n\n\tFile ", std::to_string(index + 1), " Name : ", input.name, " \n\n"});
    current_ = index;
    input_ = &input;
    writing_ = false;
    if (binary(input.bytes)) return fail("a binary DXF drawing, which cannot be read; nothing was written");
    Text in(input.bytes);
    Place place;
    records_ = 0;
    header_ = Box();
    box_points_.clear();
    while (in.token(texte_)) {
      const bool follows_zero = place.enter(texte_);
      if (texte_ == "$EXTMIN") {
        fold(in, true);
      } else if (texte_ == "$EXTMAX") {
        fold(in, false);
      } else if (place.section == "BLOCKS") {
        // Polylines of block definitions are neither counted nor copied.
      } else if (texte_ == "POLYLINE") {
        polyline(in, place, follows_zero);
      } else if (texte_ == "VERTEX") {
        vertex(in, place, follows_zero);
      } else if (texte_ == "SEQEND") {
        place.leaving_out = false;
      } else if (texte_ == "LWPOLYLINE" && follows_zero) {
        lwpolyline(in, place);
      }
    }
    // Each axis from the header where it gives both ends in order, widened
    // to every vertex copied written beyond it; else from the vertices alone.
    double* minimum[3] = {&ext_.minx, &ext_.miny, &ext_.minz};
    double* maximum[3] = {&ext_.maxx, &ext_.maxy, &ext_.maxz};
    for (int k = 0; k < 3; ++k) {
      Box both;
      const bool given = header_.usable(k);
      if (given) {
        both.lower(k, header_.min[k]);
        both.raise(k, header_.max[k]);
      }
      // A vertex is beyond them when it is written beyond where a vertex at
      // them would be.
      for (std::size_t v = 0; v < box_points_.size(); ++v) {
        const double c = as_written(box_points_[v][static_cast<std::size_t>(k)]);
        if (!given || c < as_written(header_.min[k])) both.lower(k, c);
        if (!given || c > as_written(header_.max[k])) both.raise(k, c);
      }
      if (both.has_min[k] && *minimum[k] > both.min[k]) *minimum[k] = both.min[k];
      if (both.has_max[k] && *maximum[k] < both.max[k]) *maximum[k] = both.max[k];
    }
    if (!place.saw_section) return fail("not a DXF drawing (it holds no SECTION); nothing was written");
    return true;
  }

  // A vertex the survey finds copied, in world coordinates.
  void into_box(double x, double y, double z) { box_points_.push_back({x, y, z}); }

  // Groups 10, 20 and 30 after $EXTMIN (lowering) or $EXTMAX (raising), up to
  // another code or a failed read.
  void fold(Text& in, bool minimum) {
    if (!check(in, in.integer(val_))) return;
    while (val_ == 10 || val_ == 20 || val_ == 30) {
      double value = 0;
      if (!check(in, in.real(value))) return;
      const int axis = val_ == 10 ? 0 : val_ == 20 ? 1 : 2;
      minimum ? header_.lower(axis, value) : header_.raise(axis, value);
      if (!check(in, in.integer(val_))) return;
    }
  }

  // --- the writing pass ---

  void write(std::size_t index, const Input& input) {
    say({"\n\n\tFile ", std::to_string(index + 1), " Name : ", input.name, " "});
    say({"\n\n"});
    current_ = index;
    input_ = &input;
    writing_ = true;
    report_ = Report();
    open_ = false;
    has_last_ = false;
    coincident_ = 0;
    Text in(input.bytes);
    Place place;
    records_ = 0;
    while (in.token(texte_)) {
      bool follows_zero = place.enter(texte_);
      if (place.section == "BLOCKS") {
        if (texte_ == "POLYLINE" || texte_ == "LWPOLYLINE") ++report_.left_out["polylines of block definitions"];
        continue;
      }
      if (follows_zero && place.section == "ENTITIES" && left_out_kind(texte_)) ++report_.left_out[texte_];
      // An LWPOLYLINE only as read after a code 0, never as the layer of
      // an entity just copied.
      if (texte_ == "LWPOLYLINE") {
        if (follows_zero) lwpolyline(in, place);
        continue;
      }
      // Each test is made on whatever texte holds by then: a POLYLINE whose
      // fourth item reads VERTEX is followed at once by a vertex.
      if (texte_ == "POLYLINE") {
        polyline(in, place, follows_zero);
        follows_zero = place.after_zero;
      }
      if (texte_ == "VERTEX") {
        vertex(in, place, follows_zero);
        follows_zero = place.after_zero;
      }
      if (texte_ == "SEQEND") {
        // Only the end of a polyline written is copied (its groups pass by as
        // tokens): a SEQEND also ends the attributes of an insertion.
        if (place.leaving_out) {
          place.leaving_out = false;
        } else {
          close_polyline();
        }
      }
    }
    close_polyline();  // one left open at the end of the input
    // Rounding that puts most vertices on the one before them is said.
    if (2 * coincident_ > static_cast<std::uint64_t>(report_.vertices))
      errors_ += "talvero: warning: " + input.name + ": rounding to whole units puts " + std::to_string(coincident_) +
                 " of its " + std::to_string(report_.vertices) +
                 " vertices where the vertex before them lies; --scale=F keeps them apart\n";
    polylines_ += static_cast<std::uint64_t>(report_.polylines);
    vertices_ += static_cast<std::uint64_t>(report_.vertices);
    tell_what_was_copied();
  }

  // A token after a group code 0 in ENTITIES that names an entity left out.
  static bool left_out_kind(const std::string& token) {
    int ignored = 0;
    if (whole_integer(token, ignored)) return false;
    for (const char* keyword : {"POLYLINE", "VERTEX", "SEQEND", "LWPOLYLINE", "ENDSEC"})
      if (token == keyword) return false;
    return true;
  }

  // --- the entities, in both passes ---

  // A POLYLINE keyword the loop dispatches (outside block definitions).
  void polyline(Text& in, Place& place, bool follows_zero) {
    std::size_t end = 0;
    if (in_layout(in, false, end)) {
      start_polyline(place, 0.0, false, Direction());
      place.after_zero = true;
      if (writing_) {
        copy_polyline(in);
      } else {
        in.go_to(end);
        val_ = 0;
        count_record();
      }
      return;
    }
    if (!follows_zero) return;  // not in the layout and not after a code 0: a word, not an entity
    std::string layer = "0";
    int flags = 0;
    double elevation = 0.0;
    bool paper = false;
    Direction extrusion;
    bool bad = false;
    for (const Group& g : groups(in, place)) {
      if (g.code == 8) layer = g.value;
      if (g.code == 67) paper = space(g.value);
      if (g.code == 70) bad |= !take(in, g, flags, its_polyline);
      if (g.code == 30) bad |= !take(in, g, elevation, its_polyline);
      if (g.code == 210) bad |= !take(in, g, extrusion.x, its_polyline);
      if (g.code == 220) bad |= !take(in, g, extrusion.y, its_polyline);
      if (g.code == 230) bad |= !take(in, g, extrusion.z, its_polyline);
      count_not_carried(g);
    }
    cut(in);
    if (cut_off_) return;  // the input ended inside it: not taken
    const char* left_out = bad                 ? "polylines with a value that is not a number"
                           : paper             ? "polylines of paper space"
                           : (flags & 16) != 0 ? "polygon meshes"
                           : (flags & 64) != 0 ? "polyface meshes"
                                               : nullptr;
    if (left_out != nullptr) {
      place.leaving_out = true;
      if (writing_) ++report_.left_out[left_out];
      return;
    }
    start_polyline(place, elevation, (flags & 8) != 0, extrusion);
    count_record();
    if (!writing_) return;
    write_polyline_header(layer, place.made_3d ? flags | 8 : flags);
    ++report_.by_codes;
  }

  // The state of the polyline whose vertices come. A 3D polyline's vertices
  // are where their groups put them; a 2D polyline's lie at its elevation
  // when it has one, whatever their own z, in its extrusion's system. One
  // whose vertices do not all lie at height 0 as written (a tilted system,
  // or an elevation not written as 0) is written as a 3D polyline.
  static void start_polyline(Place& place, double elevation, bool three_d, const Direction& extrusion) {
    place.leaving_out = false;
    place.elevation = elevation;
    place.at_elevation = !three_d && elevation != 0.0;
    place.extrusion = three_d ? Direction() : extrusion;
    double x = 0.0, y = 0.0, z = elevation;
    if (place.extrusion.changes_points()) to_world(place.extrusion, x, y, z);
    place.made_3d = !three_d && (place.extrusion.x != 0.0 || place.extrusion.y != 0.0 || rounded(z) != "0");
  }

  // A vertex of the polyline in world coordinates.
  static void place_vertex(const Place& place, double& x, double& y, double& z) {
    if (place.at_elevation) z = place.elevation;
    if (place.extrusion.changes_points()) to_world(place.extrusion, x, y, z);
  }

  // A VERTEX keyword the loop dispatches, or that a POLYLINE's items leave in texte.
  void vertex(Text& in, Place& place, bool follows_zero) {
    std::size_t end = 0;
    if (in_layout(in, true, end)) {
      place.after_zero = true;
      if (writing_) {
        copy_vertex(in, place);
      } else {
        if (!place.leaving_out) {
          double point[3] = {};
          take_layout_point(in, point);
          place_vertex(place, point[0], point[1], point[2]);
          into_box(point[0], point[1], point[2]);
        }
        in.go_to(end);
        val_ = 0;
      }
      return;
    }
    if (!follows_zero) return;
    std::string layer = "0";
    int flags = 0;
    double x = 0.0, y = 0.0, z = 0.0;
    bool bad = false;
    for (const Group& g : groups(in, place)) {
      if (g.code == 8) layer = g.value;
      if (g.code == 70) bad |= !take(in, g, flags, its_vertex);
      if (g.code == 10) bad |= !take(in, g, x, its_vertex);
      if (g.code == 20) bad |= !take(in, g, y, its_vertex);
      if (g.code == 30) bad |= !take(in, g, z, its_vertex);
      count_not_carried(g);
    }
    cut(in);
    if (cut_off_ || place.leaving_out) return;
    if (bad) {
      if (writing_) ++report_.left_out["vertices with a value that is not a number"];
      return;
    }
    if ((flags & 16) != 0) {
      if (writing_) ++report_.left_out["spline frame control points"];
      return;
    }
    place_vertex(place, x, y, z);
    if (!writing_) return into_box(x, y, z);
    dval_ = z;
    if (place.made_3d) flags |= 32;
    for (const std::string& l : {std::string("VERTEX"), std::string("  8"), layer, std::string(" 70"),
                                 "    " + std::to_string(flags), std::string(" 10"), rounded(x), std::string(" 20"),
                                 rounded(y), std::string(" 30"), rounded(z), std::string("  0")})
      line(l);
    written({rounded(x), rounded(y), rounded(z)});
    ++report_.vertices;
    ++report_.by_codes;
  }

  // The coordinates of a vertex in the layout, read from after its keyword.
  static void take_layout_point(Text& in, double point[3]) {
    const std::size_t start = in.at();
    std::string token;
    int integer = 0;
    for (int k = 0; k < 4; ++k) in.token(token);
    for (int k = 0; k < 3; ++k) {
      in.integer(integer);
      in.real(point[k]);
    }
    in.go_to(start);
  }

  // An LWPOLYLINE after a group code 0 (outside block definitions): a
  // POLYLINE with one VERTEX per point and a SEQEND. A point with a
  // coordinate that is no number is left out; the polyline is, with a
  // flag, elevation or extrusion that is none.
  void lwpolyline(Text& in, Place& place) {
    std::string layer = "0";
    int flags = 0;
    double elevation = 0.0;
    bool paper = false, bad = false;
    // What the header is written with: the groups before the first point.
    bool header = false;
    std::string header_layer;
    int header_flags = 0;
    double header_elevation = 0.0;
    struct Point {
      double x = 0.0, y = 0.0;
      bool bad = false;
    };
    std::vector<Point> points;
    long long bulges = 0, widths = 0;
    Direction extrusion;  // it comes after the points, as a rule
    for (const Group& g : groups(in, place)) {
      if (g.code == 210) bad |= !take(in, g, extrusion.x, its_polyline);
      if (g.code == 220) bad |= !take(in, g, extrusion.y, its_polyline);
      if (g.code == 230) bad |= !take(in, g, extrusion.z, its_polyline);
      if (g.code == 67) paper = space(g.value);
      if (g.code == 8) layer = g.value;
      if (g.code == 70) bad |= !take(in, g, flags, its_polyline);
      if (g.code == 38) bad |= !take(in, g, elevation, its_polyline);
      if (g.code == 10) {
        if (!header) {
          header = true;
          header_layer = layer;
          header_flags = flags;
          header_elevation = elevation;
        }
        points.emplace_back();
        points.back().bad = !take(in, g, points.back().x, its_vertex);
      }
      if (g.code == 20 && !points.empty()) points.back().bad |= !take(in, g, points.back().y, its_vertex);
      // Bulges and widths are only counted: any value but a number equal to 0.
      if (g.code == 40 || g.code == 41 || g.code == 42 || g.code == 43) {
        double value = 0.0;
        if (!whole_real(g.value, value) || value != 0.0) ++(g.code == 42 ? bulges : widths);
      }
    }
    cut(in);
    if (!header) {
      header_layer = layer;
      header_flags = flags;
      header_elevation = elevation;
    }
    if (writing_) {
      report_.bulges += bulges;
      report_.widths += widths;
      for (const Point& p : points)
        if (p.bad) ++report_.left_out["vertices with a value that is not a number"];
    }
    if (bad || paper) {
      place.leaving_out = true;
      if (writing_)
        ++report_.left_out[bad ? "polylines with a value that is not a number" : "polylines of paper space"];
      return;
    }
    start_polyline(place, header_elevation, false, extrusion);
    count_record();
    if (writing_) write_polyline_header(header_layer, (header_flags & (1 | 128)) | (place.made_3d ? 8 : 0));
    for (Point p : points) {
      if (p.bad) continue;
      double z = header_elevation;
      if (extrusion.changes_points()) to_world(extrusion, p.x, p.y, z);
      if (!writing_) {
        into_box(p.x, p.y, z);
        continue;
      }
      for (const std::string& l :
           {std::string("VERTEX"), std::string("  8"), header_layer, std::string(" 70"),
            std::string(place.made_3d ? "    32" : "    0"), std::string(" 10"), rounded(p.x), std::string(" 20"),
            rounded(p.y), std::string(" 30"), rounded(z), std::string("  0")})
        line(l);
      written({rounded(p.x), rounded(p.y), rounded(z)});
      ++report_.vertices;
    }
    if (!writing_) return;
    close_polyline();
    ++report_.converted;
  }

  // Whether a 67 group's value puts the entity in paper space: a whole number other than 0.
  static bool space(const std::string& value) {
    int space = 0;
    return whole_integer(value, space) && space != 0;
  }

  // A vertex written, its coordinates as written: counted when they are
  // those of the vertex before it in its polyline.
  void written(const std::array<std::string, 3>& point) {
    if (has_last_ && point == last_) ++coincident_;
    last_ = point;
    has_last_ = true;
  }

  void close_polyline() {
    has_last_ = false;  // a polyline's first vertex has none before it
    if (!open_) return;
    line("SEQEND");
    line("0");
    open_ = false;
  }

  // Every polyline written starts here: one still open is closed first.
  void write_polyline_header(const std::string& layer, int flags) {
    close_polyline();
    open_ = true;
    for (const std::string& l :
         {std::string("POLYLINE"), std::string("  8"), layer, std::string("  66"), std::string("1"), std::string(" 70"),
          "     " + std::to_string(flags), std::string(" 10"), std::string("     0"), std::string(" 20"),
          std::string("0"), std::string("  0")})
      line(l);
    ++report_.polylines;
  }

  // Whether the eleven items after the keyword are in the expected layout:
  // each read as the writing pass reads it succeeds and takes one whole
  // token, item 11 is 0 and, for a VERTEX, items 5, 7 and 9 are 10, 20 and
  // 30. The input is read again from where it was; `end` is where the items end.
  static bool in_layout(Text& in, bool vertex, std::size_t& end) {
    const std::size_t start = in.at();
    const char* items = vertex ? vertex_items : polyline_items;
    bool ok = true;
    for (int k = 0; k < 11 && ok; ++k) {
      int integer = 0;
      double real = 0.0;
      std::string token;
      if (items[k] == 't') ok = in.token(token);
      if (items[k] == 'i') ok = in.integer(integer) && in.at_token_end();
      if (items[k] == 'r') ok = in.real(real) && in.at_token_end();
      if (ok && k == 10) ok = integer == 0;
      if (ok && vertex && k == 4) ok = integer == 10;
      if (ok && vertex && k == 6) ok = integer == 20;
      if (ok && vertex && k == 8) ok = integer == 30;
    }
    end = in.at();
    in.go_to(start);
    return ok;
  }

  // Reads an entity by its group codes, from right after its keyword: the
  // rest of the keyword's line, then pairs of lines (code, value) up to a
  // code 0, whose line is consumed. A code that is not an integer, or the end
  // of the input, ends it too; `cut_at_` is then where the read stopped, for
  // the warning, which comes after those about its values (cut()).
  std::vector<Group> groups(Text& in, Place& place) {
    std::vector<Group> read;
    place.after_zero = false;
    cut_at_ = std::string::npos;
    cut_off_ = false;
    in.pass_rest_of_line();
    std::string code_line, value_line;
    for (;;) {
      int code = 0;
      if (!in.line(code_line)) {
        cut_at_ = in.at();
        cut_off_ = true;
        break;
      }
      if (!whole_integer(trimmed(code_line), code)) {
        cut_at_ = in.at();
        break;
      }
      if (code == 0) {
        place.after_zero = true;
        break;
      }
      const std::size_t value_at = in.at();
      if (!in.line(value_line)) {
        cut_at_ = in.at();
        cut_off_ = true;
        break;
      }
      read.push_back({code, trimmed(value_line), value_at});
    }
    val_ = 0;
    return read;
  }

  // Bulges (42) and widths (40, 41) of a POLYLINE or VERTEX read by its
  // group codes, in the writing pass: any value but a number equal to 0.
  void count_not_carried(const Group& g) {
    if (!writing_ || (g.code != 40 && g.code != 41 && g.code != 42)) return;
    double value = 0.0;
    if (!whole_real(g.value, value) || value != 0.0) ++(g.code == 42 ? report_.bulges : report_.widths);
  }

  // The warning for an entity whose groups did not end with a code 0.
  void cut(const Text& in) {
    if (cut_at_ != std::string::npos) warn(in, cut_at_);
  }

  // What is left out for a value that is no number, as the warning says it.
  static constexpr const char* its_vertex = "its vertex is left out";
  static constexpr const char* its_polyline = "its polyline is left out, with its vertices";

  // A number value of a group; one that is not a number is not taken, and
  // is warned about, with what is left out for it.
  bool take(const Text& in, const Group& g, int& out, const char* left_out) {
    if (whole_integer(g.value, out)) return true;
    warn_value(in, g, left_out);
    return false;
  }
  bool take(const Text& in, const Group& g, double& out, const char* left_out) {
    if (whole_real(g.value, out)) return true;
    warn_value(in, g, left_out);
    return false;
  }

  // --- the copy of the expected layout: each item read and written at once ---

  void copy_polyline(Text& in) {
    count_record();
    close_polyline();
    open_ = true;
    line("POLYLINE");
    integer(in, "  ");
    token(in);
    integer(in, "  ");
    token(in);
    check(in, in.integer(val_));  // written with a space in place of a plus sign
    line(val_ >= 0 ? " " : "", std::to_string(val_));
    integer(in, "     ");
    integer(in, " ");
    integer(in, "     ");
    integer(in, " ");
    integer(in, "");
    integer(in, "  ");
    ++report_.polylines;
  }

  // A vertex of a polyline left out is read the same way, and not written.
  // The coordinates are placed as the polyline places its vertices, and the
  // flags of a vertex of a polyline written as a 3D one get 32.
  void copy_vertex(Text& in, const Place& place) {
    const std::size_t before = result_.size();
    line("VERTEX");
    integer(in, "  ");
    token(in);
    integer(in, " ");
    check(in, in.integer(val_));
    line("    ", std::to_string(place.made_3d ? val_ | 32 : val_));
    int codes[3] = {};
    double point[3] = {};
    for (int k = 0; k < 3; ++k) {
      check(in, in.integer(codes[k]));
      check(in, in.real(point[k]));
    }
    place_vertex(place, point[0], point[1], point[2]);
    for (int k = 0; k < 3; ++k) {
      line(" ", std::to_string(codes[k]));
      line(rounded(point[k]));
    }
    dval_ = point[2];
    integer(in, "  ");
    if (!place.leaving_out) {
      written({rounded(point[0]), rounded(point[1]), rounded(point[2])});
      ++report_.vertices;
    } else {
      result_.resize(before);
    }
  }

  // Each item is read and written at once; a failed read writes the previous value.
  void integer(Text& in, const char* padding) {
    check(in, in.integer(val_));
    line(padding, std::to_string(val_));
  }
  void token(Text& in) {
    check(in, in.token(texte_));
    line(texte_);
  }
  void coordinate(Text& in) {
    check(in, in.real(dval_));
    line(rounded(dval_));
  }

  // --- what the console and standard error show ---

  void count_record() {
    ++records_;
    if (writing_) {
      say({"\t record ", std::to_string(records_), "            \r     "});
    } else {
      say({"\trecord ", std::to_string(records_), "            \r        "});
    }
  }

  // A read that failed: the warning, once per input, with the line of the
  // read position right after it.
  bool check(const Text& in, bool read) {
    if (!read) warn(in, in.at());
    return read;
  }
  // A value that is no number: the warning, once per input, with its line.
  void warn_value(const Text& in, const Group& g, const char* left_out) {
    if (warned_[current_]) return;
    warned_[current_] = true;
    const std::string shown = g.value.size() <= 40 ? g.value : g.value.substr(0, 40) + "...";
    errors_ += "talvero: warning: " + input_->name + ", line " + std::to_string(in.line_of(g.line)) + ": \"" + shown +
               "\" is not a number: " + left_out + "\n";
  }
  void warn(const Text& in, std::size_t at) {
    if (warned_[current_]) return;
    warned_[current_] = true;
    errors_ += "talvero: warning: " + input_->name + ", line " + std::to_string(in.line_of(at)) +
               ": an item the layout expects is missing; copied as read\n";
  }

  // The input as messages name it: its path, and the host's path when it differs.
  std::string named() const {
    const Input& in = *input_;
    return in.host_path.empty() || in.host_path == in.name ? in.name : in.name + " (" + in.host_path + ")";
  }

  bool fail(const std::string& why) {
    errors_ += "talvero: " + named() + ": " + why + "\n";
    return false;
  }

  // After an input's writing pass, when anything was read by group codes,
  // converted or left out, or nothing copied: what was copied from it and
  // what was not. The input is named by its path alone, as in the warnings.
  void tell_what_was_copied() {
    const Report& r = report_;
    if (r.by_codes == 0 && r.converted == 0 && r.left_out.empty() && r.polylines > 0) return;
    std::string text = "talvero: " + input_->name + ": ";
    if (r.polylines == 0 && r.vertices == 0) {
      text += "nothing was copied from it: it holds no polylines";
    } else {
      text += counted(r.polylines, "polyline", "polylines");
      if (r.vertices > 0) text += " and " + counted(r.vertices, "vertex", "vertices");
      text += " copied";
      std::vector<std::string> how, lost;
      if (r.by_codes > 0)
        how.push_back(counted(r.by_codes, "entity read by its", "entities read by their") + " group codes");
      if (r.converted > 0) how.push_back(std::to_string(r.converted) + " LWPOLYLINE converted");
      if (r.bulges > 0) lost.push_back(counted(r.bulges, "bulge", "bulges"));
      if (r.widths > 0) lost.push_back(counted(r.widths, "width", "widths"));
      if (!how.empty() || !lost.empty()) {
        text += " (";
        for (std::size_t k = 0; k < how.size(); ++k) text += (k > 0 ? ", " : "") + how[k];
        if (!lost.empty()) {
          text += how.empty() ? "" : "; ";
          text += lost[0] + (lost.size() > 1 ? " and " + lost[1] : "") + " not carried";
        }
        text += ")";
      }
    }
    if (!r.left_out.empty()) {
      // Most frequent first, then by name.
      std::vector<std::pair<long long, std::string>> kinds;
      for (const auto& [kind, n] : r.left_out) {
        auto one = singular.find(kind);
        kinds.emplace_back(n, n == 1 && one != singular.end() ? one->second : kind);
      }
      std::sort(kinds.begin(), kinds.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
      });
      text += "; left out: ";
      for (std::size_t k = 0; k < kinds.size(); ++k)
        text += (k > 0 ? ", " : "") + std::to_string(kinds[k].first) + " " + kinds[k].second;
    }
    reports_ += text + "\n";
  }

  // A line of the result, in one or two parts, ended with CR LF.
  void line(std::string_view text, std::string_view more = {}) { result_.append(text).append(more).append("\r\n"); }

  // Console texts are written as they stand.
  void say(std::initializer_list<std::string_view> parts) {
    for (std::string_view part : parts) console_.append(part);
  }

  std::string texte_;  // the last token read, never cleared
  int val_ = 0;        // the last integer read, never reset
  double dval_ = 0.0;  // the last coordinate read by the writing pass
  Extents ext_;
  Box header_;                                     // the survey's: the current input's header extents
  std::vector<std::array<double, 3>> box_points_;  // and the vertices it copies
  std::string result_;
  std::string console_;
  std::string errors_;
  std::vector<bool> warned_;  // inputs already warned about, over both passes
  std::size_t current_ = 0;   // the input being read, from 0
  const Input* input_ = nullptr;
  bool writing_ = false;                    // the pass is the writing pass
  int records_ = 0;                         // the current input's polylines counted on the console
  Report report_;                           // the writing pass's, for the current input
  std::size_t cut_at_ = std::string::npos;  // where the last entity read by group codes was cut short
  bool cut_off_ = false;                    // it was cut short by the end of the input
  bool open_ = false;                       // a POLYLINE written, its SEQEND not yet
  std::array<std::string, 3> last_;         // the last vertex written of the polyline, as written
  bool has_last_ = false;
  std::uint64_t coincident_ = 0;                // vertices of the input written where the one before them was
  std::uint64_t polylines_ = 0, vertices_ = 0;  // written, over every input
  std::string reports_;                         // the lines said of the inputs
};

}  // namespace

Merged merge(const std::vector<Input>& inputs) { return Merge().run(inputs); }

}  // namespace reference
