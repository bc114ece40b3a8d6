// The merge against the reference merge: random drawings, ordinary and
// awkward, with entities as other programs write them (read by their group
// codes, converted, left out, in block definitions), and drawings whose
// vertices depart from the layout of the ones before them, merged in memory
// with every acceleration over blocks of 16 bytes to 1 MiB, give the
// reference's result, console texts and messages byte for byte, and fail
// where it fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "in_process.h"

namespace {

// Random drawings.
class Drawing {
 public:
  // odd: percent of items outside the usual forms; keyword_layers: percent
  // of token items that read as keywords or are long (100: all "VERTEX").
  // steady: percent of items written the way the one before them was (one
  // a line, group codes padded alike, one layer), so that vertices mostly
  // repeat their layout and runs take them by it. other: percent of entities
  // as other programs write them, and the chance of block definitions.
  Drawing(unsigned seed, int odd, int keyword_layers, int steady = 0, int other = 0)
      : g(seed), odd(odd), keyword_layers(keyword_layers), steady(steady), other(other) {}

  std::string make(int entities) {
    text.clear();
    if (chance(50)) {
      section("HEADER");
      header();
      end_section();
    }
    if (chance(other)) {
      section("BLOCKS");
      text += "  0\nBLOCK\n  2\nB1\n  0\n";
      for (int k = 0; k < entities / 10; ++k) one_entity();
      text += "ENDBLK\n  0\n";
      end_section();
    }
    section("ENTITIES");
    text += "  0\n";
    for (int k = 0; k < entities; ++k) one_entity();
    if (chance(50)) text += "\n  0\nENDSEC\n  0\nEOF\n";
    return text;
  }

 private:
  bool chance(int percent) { return pick(100) < percent; }
  int pick(int n) { return static_cast<int>(g() % static_cast<unsigned>(n)); }
  std::string pick_of(std::initializer_list<const char*> texts) {
    auto it = texts.begin();
    std::advance(it, pick(static_cast<int>(texts.size())));
    return *it;
  }

  // Mostly one item a line; sometimes other whitespace, CRs, or nothing
  // where an item should be.
  void item(const std::string& t) {
    if (chance(steady)) {
      text += t + "\n";
      return;
    }
    if (chance(1)) return;
    text += t;
    const int k = pick(200);
    text += k < 170 ? "\n" : k < 185 ? "\r\n" : k < 190 ? " " : k < 194 ? "\t\n" : k < 197 ? "\n\n  " : "  \r\n";
  }
  void code(int c) {
    std::string t = std::to_string(c);
    if (chance(steady)) {
      text += std::string(3 - std::min<std::size_t>(t.size(), 3), ' ') + t + "\n";
      return;
    }
    if (chance(90)) t.insert(0, static_cast<std::size_t>(pick(4)), ' ');
    item(!chance(odd) ? t : integer());
  }
  std::string digits(int n) {
    std::string d;
    for (int k = 0; k < n; ++k) d += static_cast<char>('0' + pick(10));
    return d;
  }
  std::string integer() {
    if (!chance(odd)) return std::to_string(pick(100));
    return pick_of({"007", "00", "-3", "+7", "-0", "99999999", "123456789", "99999999999", "-2147483649", "-", "x",
                    "1.5", "7x", "VERTEX"});
  }
  std::string coordinate() {
    if (chance(odd)) {
      return pick_of({".5", "-.5", "5.", "-0.0", "0.49999999999999994", "2147483647.5", "-2147483648.7",
                      "4503599627370497", "1e999", "-1e999", "1e-999", "1.5x", ".", "-", "nan", "0x10", "12345678.5",
                      "1234567.12345678", "SEQEND"});
    }
    if (chance(80)) {
      std::string t = chance(30) ? "-" : chance(5) ? "+" : "";
      t += digits(pick(8));
      if (chance(90)) t += "." + digits(pick(9));
      if (t.find_first_of("0123456789") == std::string::npos) t += "5";
      if (chance(5)) t += pick_of({"e2", "E-3", "e+1", "e", "e+", "e40", "e-330"});
      return t;
    }
    // Whole and half numbers, and the values nearest them.
    const std::string w = std::to_string(pick(2000));
    return (chance(50) ? "-" : "") + w +
           pick_of({".5", ".0", ".49999999", ".50000001", ".4999999999999999999", ".", ""});
  }
  std::string layer() {
    if (keyword_layers >= 100) return "VERTEX";  // a layer that reads as a keyword, in every vertex
    if (chance(steady)) return "CONTOURS";
    if (!chance(keyword_layers)) return pick_of({"L", "CONTOURS", "CONTOURS_INDEX"});
    std::string t = pick_of({"VERTEX", "VERTEX", "VERTEX", "SEQEND", "POLYLINE", "$EXTMIN", "0"});
    if (chance(10)) t += std::string(300, 'A');
    return t;
  }

  // Sections' starts and ends, whole lines.
  void section(const char* name) { text += std::string("  0\nSECTION\n  2\n") + name + "\n"; }
  void end_section() { text += "\n  0\nENDSEC\n"; }

  void one_entity() {
    if (chance(other)) {
      const int kind = pick(100);
      if (kind < 15) {
        departing_polyline();
      } else if (kind < 65) {
        departing_vertex();
      } else if (kind < 75) {
        lwpolyline();
      } else if (kind < 82) {
        entity("SEQEND", {{5, handle()}, {100, "EntityData"}, {8, layer()}});
      } else {
        left_out();
      }
      return;
    }
    const int kind = pick(100);
    if (kind < 4) {
      polyline();
    } else if (kind < 90) {
      vertex();
    } else if (kind < 94) {
      entity("SEQEND", {{8, "L"}});
    } else {
      item(pick_of({"LINE", "TEXT", "0", "8", "$EXTMAX", "10", "-1.5", "SEQEND", "VERTEX", "POLYLINE"}));
    }
  }

  // A keyword, its groups, and the group code 0 before the next entity.
  void entity(const char* keyword, const std::vector<std::pair<int, std::string>>& groups, bool end = true) {
    item(keyword);
    for (const auto& [c, value] : groups) {
      code(c);
      item(value);
    }
    if (end) code(0);
  }
  void header() {
    code(9);
    entity("$EXTMIN", {{10, coordinate()}, {20, coordinate()}, {30, coordinate()}}, false);
    code(9);
    entity("$EXTMAX", {{10, coordinate()}, {20, coordinate()}, {30, coordinate()}}, false);
  }
  void polyline() {
    entity("POLYLINE", {{8, layer()},
                        {66, !chance(keyword_layers) ? "1" : layer()},
                        {70, integer()},
                        {10, integer()},
                        {20, integer()}});
  }
  void vertex() {
    entity("VERTEX", {{8, layer()}, {70, integer()}, {10, coordinate()}, {20, coordinate()}, {30, coordinate()}});
  }

  // Entities as other programs write them: handles, subclass markers, the
  // flags after the coordinates, meshes, frame points, bulges and widths.
  std::string handle() {
    static const char digits[] = "0123456789ABCDEF";
    std::string h;
    for (int k = 0; k < 1 + pick(4); ++k) h += digits[pick(16)];
    return h;
  }
  std::string flags(std::initializer_list<const char*> usual) { return chance(80) ? pick_of(usual) : integer(); }
  void departing_polyline() {
    std::vector<std::pair<int, std::string>> groups = {{5, handle()}, {100, "EntityData"}, {8, layer()}};
    if (chance(70)) groups.push_back({100, "Polyline2d"});
    groups.push_back({66, "     1"});
    if (chance(50)) groups.insert(groups.end(), {{10, "0.0"}, {20, "0.0"}});
    if (chance(60)) groups.push_back({30, coordinate()});
    groups.push_back({70, flags({"0", "1", "8", "9", "4", "16", "64", "128"})});
    extrusion(groups);
    entity("POLYLINE", groups);
  }
  // Mostly none, or along +z; else mirrored, tilted, odd or no number.
  void extrusion(std::vector<std::pair<int, std::string>>& groups) {
    if (!chance(15)) return;
    const int kind = pick(4);
    const char* const directions[][3] = {
        {"0", "0", "1"}, {"0", "0", "-1"}, {"0.3", "-0.2", "0.9"}, {"x", "1e-300", "0"}};
    for (int k = 0; k < 3; ++k) groups.push_back({210 + 10 * k, directions[kind][k]});
  }
  void departing_vertex() {
    if (chance(steady)) {  // one program's vertices, in one layout but for their values and a bulge
      std::vector<std::pair<int, std::string>> groups = {{5, handle()},     {330, "1F"},       {100, "DbEntity"},
                                                         {8, layer()},      {100, "DbVertex"}, {10, coordinate()},
                                                         {20, coordinate()}};
      if (chance(10)) groups.push_back({30, coordinate()});
      if (chance(15)) groups.push_back({42, pick_of({"0", "0.41", "-1"})});
      groups.push_back({70, chance(95) ? "     0" : flags({"32", "16", "8"})});
      entity("VERTEX", groups);
      return;
    }
    std::vector<std::pair<int, std::string>> groups = {{5, handle()}, {8, layer()}};
    if (chance(50)) groups.push_back({100, "Vertex2d"});
    groups.insert(groups.end(), {{10, coordinate()}, {20, coordinate()}});
    if (chance(50)) groups.push_back({30, coordinate()});
    if (chance(20)) groups.push_back({42, pick_of({"0", "0.0", "0.41", "-1", "x"})});
    if (chance(10)) groups.push_back({pick_of({"40", "41"}) == std::string("40") ? 40 : 41, pick_of({"0", "2.5"})});
    groups.push_back({70, flags({"0", "32", "16", "8", "64", "128", "192"})});
    entity("VERTEX", groups);
  }
  void lwpolyline() {
    const int points = pick(12);
    std::vector<std::pair<int, std::string>> groups = {
        {5, handle()}, {100, "EntityData"}, {8, layer()}, {90, std::to_string(points)}};
    groups.push_back({70, flags({"0", "1", "128", "129", "6"})});
    if (chance(50)) groups.push_back({38, coordinate()});
    if (chance(20)) groups.push_back({43, pick_of({"0", "1.5"})});
    if (chance(5)) groups.push_back({20, coordinate()});  // before any point
    for (int k = 0; k < points; ++k) {
      groups.push_back({10, coordinate()});
      if (chance(95)) groups.push_back({20, coordinate()});
      if (chance(20)) groups.push_back({42, pick_of({"0", "0.41", "-1"})});
      if (chance(10)) groups.push_back({40, pick_of({"0", "2.5"})});
    }
    if (chance(5)) groups.push_back({8, "LATER"});
    extrusion(groups);
    entity("LWPOLYLINE", groups);
  }
  // Entities left out; texts holding keywords; an insertion's attributes ended by a SEQEND.
  void left_out() {
    const int kind = pick(3);
    if (kind == 0) {
      entity(pick_of({"LINE", "CIRCLE", "SPLINE", "3DFACE"}).c_str(),
             {{5, handle()}, {8, layer()}, {10, coordinate()}, {20, coordinate()}});
    } else if (kind == 1) {
      const std::string name = pick_of({"TEXT", "MTEXT"});
      std::vector<std::pair<int, std::string>> groups = {
          {8, layer()},
          {1, pick_of({"POLYLINE", "VERTEX", "SEQEND", "LWPOLYLINE", "ENDSEC", "SECTION", "plain words"})}};
      if (groups.back().second == "SECTION") groups.push_back({2, "OBJECTS"});  // read as a section's name
      entity(name.c_str(), groups);
    } else {
      entity("INSERT", {{8, layer()}, {66, "1"}, {2, "B1"}});
      entity("ATTRIB", {{8, layer()}, {1, "value"}});
      entity("SEQEND", {{8, layer()}});
    }
  }

  std::mt19937 g;
  int odd;
  int keyword_layers;
  int steady;
  int other;
  std::string text;
};

struct Kind {
  const char* name;
  unsigned seed;
  int odd, keyword_layers, steady, other;
};
void PrintTo(const Kind& k, std::ostream* os) { *os << k.name; }

class Differential : public ::testing::TestWithParam<Kind> {};

TEST_P(Differential, SameBytesAsTheReferenceWhateverTheBlockSize) {
  const Kind& k = GetParam();
  Drawing drawing(k.seed, k.odd, k.keyword_layers, k.steady, k.other);
  // Tiny blocks on smaller drawings: with the worker, every block is handed over.
  const std::string a = drawing.make(400), b = drawing.make(200), c = drawing.make(3000), d = drawing.make(1500);
  EXPECT_EQ(support::checked_merge(support::drawings({a, b}), {16, 61, 64}).disagreement, "");
  const support::CheckedMerge m =
      support::checked_merge(support::drawings({c, d}), {1000, 4096, 65536, support::default_block});
  EXPECT_EQ(m.disagreement, "");
  EXPECT_GT(m.merged.result.size(), 100000u);
  // The survey stops at an input without a section, wherever it has read to.
  std::string no_section = b;
  for (std::size_t at = no_section.find("SECTION"); at != std::string::npos; at = no_section.find("SECTION", at + 8))
    no_section.replace(at, 7, "SECTIONS");
  const support::CheckedMerge failed = support::checked_merge(support::drawings({a, no_section, b}), {16, 4096});
  EXPECT_EQ(failed.disagreement, "");
  EXPECT_EQ(failed.merged.end, MergeEnd::input_failed);
}

INSTANTIATE_TEST_SUITE_P(RandomDrawings, Differential,
                         ::testing::Values(Kind{"ordinary", 1, 2, 2, 0, 5}, Kind{"awkward", 2, 15, 5, 0, 10},
                                           Kind{"keyword_layers", 3, 1, 30, 0, 5},
                                           Kind{"every_layer_vertex", 4, 0, 100, 0, 5}, Kind{"steady", 5, 1, 1, 98, 0},
                                           Kind{"mostly_steady", 6, 4, 2, 90, 2},
                                           Kind{"other_programs", 7, 1, 2, 30, 60},
                                           Kind{"other_programs_steady", 9, 1, 2, 90, 90},
                                           Kind{"other_programs_awkward", 8, 10, 10, 0, 50}),
                         [](const auto& info) { return std::string(info.param.name); });

// Vertices in one layout, coordinates varying.
std::string steady_vertex(const std::string& x, const std::string& y, const std::string& z) {
  return "VERTEX\n  8\nCONTOURS\n 70\n     0\n 10\n" + x + "\n 20\n" + y + "\n 30\n" + z + "\n  0\n";
}

const std::string entities = "  0\nSECTION\n  2\nENTITIES\n  0\n";
const std::string polyline = "POLYLINE\n  8\nCONTOURS\n 66\n1\n 70\n     0\n 10\n0\n 20\n0\n  0\n";

// Vertices as another program writes them, in one layout of their groups.
std::string departing_vertex(const std::string& x, const std::string& y, const std::string& handle) {
  return "VERTEX\n  5\n" + handle + "\n330\n1F\n100\nDbVertex\n  8\nCONTOURS\n 10\n" + x + "\n 20\n" + y +
         "\n 42\n0.5\n 70\n     0\n  0\n";
}

using Changes = std::vector<std::pair<const char*, const char*>>;

// Vertices that differ from the layout of the ones before them anywhere (an
// item, whitespace, a coordinate's form) are taken as the general reads take
// them: in the layout, by their group codes, or as words.
TEST(VerticesOutOfLayout, AreMergedAsByTheGeneralReads) {
  const Changes changes = {{"VERTEX", "VERTEXX"},
                           {"\n  8\n", "\n  9\n"},
                           {"CONTOURS", "CONTOURX"},
                           {"\n 70\n", "\n 71\n"},
                           {"     0", "     1"},
                           {"     0", "    00"},
                           {"\n 10\n", "\n 11\n"},
                           {"\n 10\n", "\n 10-"},
                           {"\n 10\n", "\n 10 "},
                           {"\n 20\n", "\n 21\n"},
                           {"\n 20\n", "\n 20+"},
                           {"\n  0\n", "\n  0+"},
                           {"\n 20\n", "\n  20\n"},
                           {"\n 20\n", "\n20\n"},
                           {"\n 20\n", "\n 020\n"},
                           {"\n 30\n", "\n 31\n"},
                           {"\n 30\n", "\t 30\n"},
                           {"\n  0\n", "\n  7\n"},
                           {"\n  0\n", "\n  8\n"},
                           {"\n  0\n", "\n  0\n\n"},
                           {"\n  0\n", "\n  -0\n"},
                           {"\n  0\n", "\n 42\n0.5\n  0\n"},
                           {"\n 70\n", "\n  5\n1F\n 70\n"},
                           {"\n 30\n", "\n 70\n0\n 30\n"},
                           {"1.25", "1.25e1"},
                           {"-2.5", "-2.5x"},
                           {"3.75", "+3.75"},
                           {"3.75", "3.7.5"},
                           {"1.25", "2.5e0"},
                           {"1.25", "-25e-1"},
                           {"-2.5", "-0.05e1"},
                           {"3.75", "9999999.5e0"},
                           {"3.75", "99999995e-1"},
                           {"1.25", "1e7"},
                           {"1.25", "-1e6"},
                           {"1.25", "1.5e-7"},
                           {"1.25", "5e-8"},
                           {"-2.5", "-1.5E+0"},
                           {"3.75", "0.4999999e0"},
                           {"1.25", "123.4567e-4"},
                           {"1.25", "-1234567.5e-7"},
                           {"1.25", "1.5e0001"},
                           {"1.25", "12.5e"},
                           {"1.25", "99999999.5"},
                           {"-2.5", "-0.5"},
                           {"3.75", "SEQEND"}};
  // Read by their group codes: values that are not one token, fixed groups
  // changed, groups added, missing or given twice.
  const Changes departing_changes = {{"\n330\n1F\n", "\n330\n1 F\n"},
                                     {"\n  5\n", "\n  5\n\n"},
                                     {"CONTOURS", "CONTOURX"},
                                     {"     0", "    16"},
                                     {"     0", "     1"},
                                     {"\n 42\n", "\n 41\n"},
                                     {"0.5", "0"},
                                     {"0.5", "x"},
                                     {"\n 42\n0.5", ""},
                                     {"\n 10\n", "\n 30\n4.5\n 10\n"},
                                     {"\n 20\n", "\n 10\n9.5\n 20\n"},
                                     {"\n 10\n", "\n 10\n "},
                                     {"1.25", "1.25e1"},
                                     {"1.25", "1.5e"},
                                     {"1.25", "12345678.5"},
                                     {"1.25", "847972.228840356"},
                                     {"1.25", "-1e999"},
                                     {"1.25", "1.25x"},
                                     {"1.25", "."},
                                     {"-2.5", "SEQEND"},
                                     {"-2.5", "-2.5 "},
                                     {"\n  0\n", "\n  0\n\n"},
                                     {"\n  0\n", "\n 0\n"}};
  std::string text = entities + polyline;
  auto add = [&](const Changes& table, auto vertex) {
    for (const auto& [from, to] : table) {
      for (int k = 0; k < 4; ++k) text += vertex(std::to_string(k) + ".5", "7.5", "-" + std::to_string(k) + ".5");
      std::string odd = vertex("1.25", "-2.5", "3.75");
      odd.replace(odd.find(from), std::string(from).size(), to);
      text += odd;
    }
  };
  add(changes, [](const std::string& x, const std::string& y, const std::string& z) { return steady_vertex(x, y, z); });
  add(departing_changes, departing_vertex);
  // In one layout of their groups but for a value that makes the second one a vertex in the layout.
  for (const char* flags : {"1F", "12"})
    text += "VERTEX\n999\nA\n  5\n" + std::string(flags) + "\n 10\n1.5\n 20\n2.5\n 30\n3.5\n  0\n";
  text += "SEQEND\n  8\nL\n  0\n";
  EXPECT_EQ(support::checked_merge(support::drawings({text, text}), {1000, support::default_block}).disagreement, "");
}

// The general reads go on from where runs of vertices stop with what the
// runs leave: the entity after them follows a group code 0, the elevation
// is that of the polyline read before them (a 2D one, written as 3D: its
// vertices, in the layout too, lie at it), and their polyline is still open.
TEST(VerticesOutOfLayout, AreReadWithWhatTheRunsLeft) {
  std::string text = entities + "POLYLINE\n  5\nA\n  8\nCONTOURS\n 30\n12.5\n 70\n     1\n  0\n" +
                     steady_vertex("7.5", "-1.5", "3.25");
  for (int k = 0; k < 200; ++k) text += steady_vertex(std::to_string(k) + ".5", "-1.5", "3.25");
  text += "VERTEX\n  5\nB\n  8\nCONTOURS\n 10\n1.5\n 20\n2.5\n  0\nSEQEND\n  0\nENDSEC\n  0\nEOF\n";
  const support::CheckedMerge m =
      support::checked_merge(support::drawings({text, text}), {1000, 4096, support::default_block});
  EXPECT_EQ(m.disagreement, "");
  EXPECT_EQ(support::count_lines(m.merged.result, "SEQEND"), 2u);
  const std::string last = "VERTEX\r\n  8\r\nCONTOURS\r\n 70\r\n    32\r\n 10\r\n2\r\n 20\r\n3\r\n 30\r\n13\r\n  0\r\n";
  // The first vertex in the layout, its 3.25 replaced by the elevation.
  EXPECT_NE(
      m.merged.result.find("VERTEX\r\n  8\r\nCONTOURS\r\n 70\r\n    32\r\n 10\r\n8\r\n 20\r\n-1\r\n 30\r\n13\r\n"),
      std::string::npos);
  ASSERT_NE(m.merged.result.find(last), std::string::npos);
  EXPECT_EQ(m.merged.result.find(last + "SEQEND\r\n0\r\nPOLYLINE"), m.merged.result.find(last));
  const std::string copied = ": 1 polyline and 202 vertices copied (2 entities read by their group codes)\n";
  EXPECT_EQ(m.merged.errors, "talvero: c:\\images\\t\\a.dxf" + copied + "talvero: c:\\images\\t\\b.dxf" + copied);
}

// Vertices read by their group codes without a z of their own lie at their
// polyline's elevation, which changes from one polyline to the next while
// their layout does not.
TEST(VerticesOutOfLayout, LieAtTheirOwnPolylinesElevation) {
  std::string text = entities;
  for (int p = 0; p < 40; ++p) {
    text +=
        "POLYLINE\n  5\nA\n  8\nCONTOURS\n 30\n" + std::to_string(p % 3 == 2 ? p : p / 3) + ".5\n 70\n     0\n  0\n";
    for (int k = 0; k < 12; ++k) text += departing_vertex(std::to_string(k) + ".25", "7.5", std::to_string(100 + k));
    text += "SEQEND\n  0\n";
  }
  text += "ENDSEC\n  0\nEOF\n";
  EXPECT_EQ(support::checked_merge(support::drawings({text}), {1000, support::default_block}).disagreement, "");
}

}  // namespace
