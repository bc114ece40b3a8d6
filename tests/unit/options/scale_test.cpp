// --scale=F and --layer-per-input, merged in memory under every
// acceleration; the warning about vertices that rounding puts on the one
// before them, which default runs give, checked against the reference merge.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "in_process.h"
#include "merge/input_layer.h"

namespace {

using support::crlf;
constexpr auto header = support::result_header;
const std::string closing = "ENDSEC\r\n0\r\nEOF\r\n";

// A drawing: a header with these extents (none when empty), then ENTITIES
// of the lines ("|" for a line end).
std::string drawing(std::string_view extents, std::string_view lines) {
  std::string s;
  if (!extents.empty()) s = "  0\nSECTION\n  2\nHEADER\n" + std::string(extents) + "\n  0\nENDSEC\n";
  s += "  0\nSECTION\n  2\nENTITIES\n";
  for (char c : lines) s += c == '|' ? '\n' : c;
  return s + "\n  0\nENDSEC\n  0\nEOF\n";
}
constexpr std::string_view extents_1_to_4 =
    "  9\n$EXTMIN\n 10\n1.5\n 20\n-2\n 30\n0\n  9\n$EXTMAX\n 10\n4\n 20\n3.25\n 30\n1";

// Polylines and vertices as the result holds them.
const auto& polyline = support::result_polyline;
const auto& vertex = support::result_vertex;
const std::string& seqend = support::result_seqend;

// Entities in the layout copied as it stands.
constexpr std::string_view layout_polyline = "  0|POLYLINE|  8|L| 66|1| 70|0| 10|0| 20|0";
std::string layout_vertex(std::string_view x, std::string_view y, std::string_view z) {
  return "|  0|VERTEX|  8|L| 70|0| 10|" + std::string(x) + "| 20|" + std::string(y) + "| 30|" + std::string(z);
}

std::string said(std::string_view name, std::string_view what) {
  return "talvero: c:\\images\\t\\" + std::string(name) + ".dxf: " + std::string(what) + "\n";
}

DrawingOptions scale(double f) {
  DrawingOptions d;
  d.scaled = true;
  d.scale = f;
  return d;
}
DrawingOptions per_input(DrawingOptions d = {}) {
  d.layer_per_input = true;
  return d;
}

struct OptionCase {
  const char* label;
  DrawingOptions options;
  std::vector<reference::Input> inputs;
  std::string header;
  std::string result;  // between the header and the section's end
  std::string errors;
};
void PrintTo(const OptionCase& c, std::ostream* os) { *os << c.label; }

class ScaleAndLayers : public ::testing::TestWithParam<OptionCase> {};

TEST_P(ScaleAndLayers, GiveTheSameResultUnderEveryAcceleration) {
  const OptionCase& c = GetParam();
  for (const support::NamedAcceleration& a : support::accelerations()) {
    SCOPED_TRACE(a.name);
    for (std::size_t block : {std::size_t{16}, support::default_block}) {
      const support::MemoryMerge m = support::merge_in_memory(c.inputs, {a.fast, c.options}, block);
      EXPECT_EQ(m.end, MergeEnd::complete);
      EXPECT_EQ(support::first_difference(m.result, c.header + c.result + closing), "");
      EXPECT_EQ(m.errors, c.errors);
    }
  }
}

const std::string in_layout_1_to_4 =
    drawing(extents_1_to_4, std::string(layout_polyline) + layout_vertex("1.5", "-2", "0.004") +
                                layout_vertex("4", "3.25", "1") + "|  0|SEQEND");

INSTANTIATE_TEST_SUITE_P(
    Options, ScaleAndLayers,
    ::testing::Values(
        // Vertices and header extents multiplied before rounding.
        OptionCase{
            "scale_100_in_layout", scale(100), support::drawings({in_layout_1_to_4}),
            header("150", "-200", "0", "400", "325", "100"),
            polyline("L", "0") + vertex("L", "0", "150", "-199", "0") + vertex("L", "0", "400", "325", "100") + seqend,
            ""},
        // A negative factor makes each axis's largest value its smallest.
        OptionCase{"negative_scale_swaps_the_ends", scale(-2), support::drawings({in_layout_1_to_4}),
                   // x + 0.5 truncated: -3 is written -2. The merge's largest
                   // extents start at 0.
                   header("-8", "-6", "-2", "0", "4", "0"),
                   polyline("L", "0") + vertex("L", "0", "-2", "4", "0") + vertex("L", "0", "-7", "-6", "-1") + seqend,
                   ""},
        // A 2D polyline's elevation of 0.3 is written 0, scaled 3: then it
        // is written as a 3D polyline at 3. Without header extents, those of
        // the scaled vertices as written.
        OptionCase{"scaled_elevation_lifts_a_2d_polyline", scale(10),
                   support::drawings({drawing("",
                                              "  0|POLYLINE| 66|1| 30|0.3|  0|VERTEX| 10|0.44| 20|-0.46|  0|VERTEX| "
                                              "10|1.04| 20|2|  0|SEQEND")}),
                   header("4", "-4", "3", "10", "20", "3"),
                   polyline("0", "8") + vertex("0", "32", "4", "-4", "3") + vertex("0", "32", "10", "20", "3") + seqend,
                   said("a", "1 polyline and 2 vertices copied (3 entities read by their group codes)")},
        // Vertices by their group codes, taken in runs: each scaled, at the
        // polyline's elevation scaled, the one beyond the numbers left out.
        OptionCase{
            "scaled_run_at_elevation", scale(4),
            support::drawings({drawing("",
                                       "  0|POLYLINE| 66|1| 30|0.25|  0|VERTEX|  5|A1| 10|1.26| 20|2|  0|VERTEX|"
                                       "  5|A2| 10|2.5| 20|-2|  0|VERTEX|  5|A3| 10|1e308| 20|0|  0|VERTEX|  5|A4|"
                                       " 10|3.125| 20|0.1|  0|SEQEND")}),
            header("5", "-7", "1", "13", "8", "1"),  // -8 written -7, as rounding goes
            polyline("0", "8") + vertex("0", "32", "5", "8", "1") + vertex("0", "32", "10", "-7", "1") +
                vertex("0", "32", "13", "0", "1") + seqend,
            said("a",
                 "1 polyline and 3 vertices copied (4 entities read by their group codes); left out: 1 vertex "
                 "beyond the largest number once scaled")},
        // An elevation scaled beyond the numbers leaves every vertex out:
        // the box holds none, and the header its starting extremes.
        OptionCase{"elevation_beyond_the_numbers", scale(1e10),
                   support::drawings({drawing("",
                                              "  0|POLYLINE| 66|1| 30|1e300|  0|VERTEX|  5|A1| 10|1| 20|2|  0|VERTEX|"
                                              "  5|A2| 10|3| 20|4|  0|VERTEX|  5|A3| 10|5| 20|6|  0|SEQEND")}),
                   header("4000000", "4000000", "100000", "0", "0", "0"), polyline("0", "8") + seqend,
                   said("a",
                        "1 polyline copied (1 entity read by its group codes); left out: 3 vertices beyond the largest "
                        "number once scaled")},
        OptionCase{"converted_lwpolyline_scaled", scale(0.5),
                   support::drawings({drawing("", "  0|LWPOLYLINE|  8|W| 90|2| 10|3| 20|-3| 10|10| 20|7")}),
                   header("2", "-1", "0", "5", "4", "0"),
                   polyline("W", "0") + vertex("W", "0", "2", "-1", "0") + vertex("W", "0", "5", "4", "0") + seqend,
                   said("a", "1 polyline and 2 vertices copied (1 LWPOLYLINE converted)")},
        // A coordinate scaled beyond the largest number: its vertex is left
        // out, and so is the header's end that grows beyond it.
        OptionCase{
            "beyond_the_numbers_left_out", scale(1e300),
            support::drawings({drawing("  9\n$EXTMIN\n 10\n0\n 20\n0\n 30\n0\n  9\n$EXTMAX\n 10\n1e10\n 20\n0\n 30\n0",
                                       std::string(layout_polyline) + layout_vertex("0", "0", "0") +
                                           layout_vertex("1e10", "0", "0") + "|  0|SEQEND")}),
            header("0", "0", "0", "0", "0", "0"), polyline("L", "0") + vertex("L", "0", "0", "0", "0") + seqend,
            said("a", "1 polyline and 1 vertex copied; left out: 1 vertex beyond the largest number once scaled")},
        // Each input's polylines on a layer of its own; in the layout only
        // the layer item changes.
        OptionCase{"a_layer_per_input",
                   per_input(),
                   {{"c:\\images\\t\\north side.dxf", in_layout_1_to_4},
                    {"c:\\images\\t\\b.v2.dxf",
                     drawing(extents_1_to_4,
                             "  0|LWPOLYLINE|  8|W| 10|2| 20|2|  0|POLYLINE|  8|X| 66|1|  0|VERTEX| "
                             " 8|X| 10|3| 20|3|  0|SEQEND")}},
                   header("1", "-2", "0", "4", "3", "1"),
                   polyline("north side", "0") + vertex("north side", "0", "2", "-1", "0") +
                       vertex("north side", "0", "4", "3", "1") + seqend + polyline("b.v2", "0") +
                       vertex("b.v2", "0", "2", "2", "0") + seqend + polyline("b.v2", "0") +
                       vertex("b.v2", "0", "3", "3", "0") + seqend,
                   said("b.v2",
                        "2 polylines and 2 vertices copied (2 entities read by their group codes, 1 "
                        "LWPOLYLINE converted)")},
        // Vertices of the same bytes in two inputs are written on each one's layer.
        OptionCase{"the_same_vertices_in_two_inputs", per_input(),
                   support::drawings({in_layout_1_to_4, in_layout_1_to_4}), header("1", "-2", "0", "4", "3", "1"),
                   polyline("a", "0") + vertex("a", "0", "2", "-1", "0") + vertex("a", "0", "4", "3", "1") + seqend +
                       polyline("b", "0") + vertex("b", "0", "2", "-1", "0") + vertex("b", "0", "4", "3", "1") + seqend,
                   ""},
        // A vertex in the layout whose first item is a handle, its layer
        // (8) where the flags stand: written as one read by its group
        // codes, on the input's layer, with no flags.
        OptionCase{
            "layer_not_first_in_the_layout", per_input(),
            support::drawings({drawing(extents_1_to_4, std::string(layout_polyline) +
                                                           "|  0|VERTEX|  5|1F|  8|0| 10|1| 20|2| 30|1|  0|SEQEND")}),
            header("1", "-2", "0", "4", "3", "1"), polyline("a", "0") + vertex("a", "0", "1", "2", "1") + seqend, ""},
        // With a scale nothing collapses as the warning would say.
        OptionCase{"scaled_vertices_kept_apart_are_not_warned_about", per_input(scale(100)),
                   support::drawings({drawing("", std::string(layout_polyline) + layout_vertex("0.1", "0", "0") +
                                                      layout_vertex("0.2", "0", "0") + layout_vertex("0.3", "0", "0") +
                                                      "|  0|SEQEND")}),
                   header("10", "0", "0", "30", "0", "0"),
                   polyline("a", "0") + vertex("a", "0", "10", "0", "0") + vertex("a", "0", "20", "0", "0") +
                       vertex("a", "0", "30", "0", "0") + seqend,
                   ""}),
    [](const auto& info) { return std::string(info.param.label); });

// --- Layer names -------------------------------------------------------------

TEST(LayerOfInput, IsTheBaseNameWithWhatALayerCannotHoldReplaced) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"c:\\images\\m\\north.dxf", "north"},
      {"/home/u/plans/site.v2.DXF", "site.v2"},
      {"c:plan.dxf", "plan"},
      {"a<b>c\"d;e?f*g|h=i`j.dxf", "a_b_c_d_e_f_g_h_i_j"},
      {"tab\there\x7f.dxf", "tab_here_"},
      {"noextension", "noextension"},
      {".dxf", ".dxf"},
      {"dir/", "_"},
  };
  for (const auto& [path, layer] : cases) EXPECT_EQ(layer_of_input(path), layer) << path;
}

// --- The rounding warning (default runs) ---------------------------------------

std::string collapse_warning(std::string_view name, int coincident, int of) {
  return "talvero: warning: c:\\images\\t\\" + std::string(name) + ".dxf: rounding to whole units puts " +
         std::to_string(coincident) + " of its " + std::to_string(of) +
         " vertices where the vertex before them lies; --scale=F keeps them apart\n";
}

// n vertices in the layout, x = 0.01 * k (all written 0 up to k = 49), in
// polylines of `per_polyline` vertices.
std::string creeping(int n, int per_polyline, bool by_group_codes) {
  std::string lines;
  for (int k = 0; k < n; ++k) {
    if (k % per_polyline == 0) lines += (k > 0 ? "|  0|SEQEND|" : "") + std::string(layout_polyline);
    const std::string x = std::to_string(k / 100) + "." + std::to_string(k % 100 / 10) + std::to_string(k % 10);
    lines += by_group_codes ? "|  0|VERTEX|  5|" + std::to_string(100 + k) + "| 10|" + x + "| 20|7.2| 30|1"
                            : layout_vertex(x, "7.2", "1");
  }
  return drawing(extents_1_to_4, lines + "|  0|SEQEND");
}

struct CollapseCase {
  const char* label;
  std::string bytes;
  std::string errors;
};
void PrintTo(const CollapseCase& c, std::ostream* os) { *os << c.label; }

class Collapse : public ::testing::TestWithParam<CollapseCase> {};

TEST_P(Collapse, IsSaidOncePerInputWhenMoreThanHalfCoincide) {
  const CollapseCase& c = GetParam();
  // Blocks of 61 bytes cut the shortcuts' runs between blocks.
  const support::CheckedMerge m = support::checked_merge(support::drawings({c.bytes}), {61, support::default_block});
  EXPECT_EQ(m.disagreement, "");
  EXPECT_EQ(m.merged.errors, c.errors);
}

INSTANTIATE_TEST_SUITE_P(
    Rounding, Collapse,
    ::testing::Values(
        // 0.00 to 0.49 are written 0 and 0.50 to 0.99 written 1: 98 of 100
        // follow an equal one.
        CollapseCase{"in_layout", creeping(100, 100, false), collapse_warning("a", 98, 100)},
        CollapseCase{"by_group_codes", creeping(100, 100, true),
                     collapse_warning("a", 98, 100) +
                         said("a", "1 polyline and 100 vertices copied (100 entities read by their group codes)")},
        // A polyline's first vertex follows none: 10 polylines of 2 give 10 of 20.
        CollapseCase{"half_is_not_more_than_half", creeping(20, 2, false), ""},
        CollapseCase{"polylines_of_three", creeping(30, 3, false), collapse_warning("a", 20, 30)},
        // Equal x and y but another z: apart.
        CollapseCase{"another_height_keeps_them_apart",
                     drawing(extents_1_to_4, std::string(layout_polyline) + layout_vertex("1", "1", "0") +
                                                 layout_vertex("1", "1", "1") + layout_vertex("1.2", "1", "1.3") +
                                                 "|  0|SEQEND"),
                     ""}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
