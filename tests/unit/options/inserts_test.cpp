// --inserts: block references placed as the drawing places them, merged in
// memory under every acceleration and at a block size that cuts entities.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "in_process.h"

namespace {

// Coordinates are written as the merge rounds them: x + 0.5 truncated
// toward zero (-1 is written 0, -1.5 is written -1).

const auto& lines = support::spaced_lines;

// The result's polylines: "layer flags: x,y,z[@vertex flags] ..." each, joined by " | ".
std::string polylines_of(const std::string& result) {
  std::istringstream in(result);
  std::vector<std::string> l;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    l.push_back(line.substr(line.find_first_not_of(' ') == std::string::npos ? 0 : line.find_first_not_of(' ')));
  }
  std::string out;
  for (std::size_t k = 0; k + 10 < l.size(); ++k) {
    if (l[k] == "POLYLINE") {
      out += (out.empty() ? "" : " | ") + l[k + 2] + " " + l[k + 6] + ":";
    } else if (l[k] == "VERTEX") {
      out += " " + l[k + 6] + "," + l[k + 8] + "," + l[k + 10] + (l[k + 4] == "0" ? "" : "@" + l[k + 4]);
    }
  }
  return out;
}

constexpr std::string_view square_block =  // base (1,1): a closed LWPOLYLINE on layer 0
    "0 SECTION 2 BLOCKS 0 BLOCK 8 0 2 SQ 70 0 10 1 20 1 30 0 "
    "0 LWPOLYLINE 8 0 90 2 70 1 10 0 20 0 10 10 20 0 0 ENDBLK 8 0 0 ENDSEC ";

struct Case {
  const char* what;
  std::string drawing;
  std::string polylines;                // as polylines_of() gives them
  std::string said;                     // a part of standard error, or empty
  DrawingOptions drawing_options = {};  // besides --inserts
};

DrawingOptions curves_and_lines(bool curves, bool lines) {
  DrawingOptions o;
  o.curves = curves;
  o.lines = lines;
  return o;
}

// A block of base (0,0) holding an ARC of radius 10 from 0 to 90 degrees on layer 0.
constexpr std::string_view arc_block =
    "0 SECTION 2 BLOCKS 0 BLOCK 2 ARC 10 0 20 0 0 ARC 8 0 10 0 20 0 30 0 40 10 50 0 51 90 0 ENDBLK 0 ENDSEC ";

std::vector<Case> cases() {
  const std::string sq(square_block);
  auto entities = [](std::string_view body) { return "0 SECTION 2 ENTITIES " + std::string(body) + "0 ENDSEC 0 EOF"; };
  return {
      {"scaled unevenly and mirrored about the base point",
       sq + entities("0 INSERT 8 A 2 SQ 10 100 20 100 41 2 42 -3 "), "A 1: 98,103,0 118,103,0", ""},
      {"turned a quarter about the insertion point", sq + entities("0 INSERT 8 A 2 sq 10 5 20 5 50 90 "),
       "A 1: 6,4,0 6,14,0", ""},
      {"turned by an angle that is no quarter", sq + entities("0 INSERT 8 A 2 SQ 10 0 20 0 50 30 41 10 42 10 "),
       "A 1: -3,-13,0 83,36,0", ""},
      {"mirrored by the extrusion: the insertion point in its system",
       sq + entities("0 INSERT 8 A 2 SQ 10 10 20 0 30 0 210 0 220 0 230 -1 "), "A 1: -8,0,0 -18,0,0", ""},
      {"tilted by the extrusion: a 3D polyline", sq + entities("0 INSERT 8 A 2 SQ 10 0 20 3 210 1 220 0 230 0 "),
       "A 9: 0,0,2@32 0,9,2@32", ""},
      {"a grid of copies, turned with the reference, not scaled",
       sq + entities("0 INSERT 8 A 2 SQ 10 0 20 0 41 2 70 2 71 2 44 100 45 1000 "),
       "A 1: -1,0,0 18,0,0 | A 1: 98,0,0 118,0,0 | A 1: -1,999,0 18,999,0 | A 1: 98,999,0 118,999,0", ""},
      {"a grid whose spacing is 0 along a way places one copy along it",
       sq + entities("0 INSERT 8 A 2 SQ 10 0 20 0 70 3 71 0 44 0 45 0 "), "A 1: 0,0,0 9,0,0", ""},
      {"nested to any depth, layer 0 taken from the reference that places it",
       "0 SECTION 2 BLOCKS 0 BLOCK 2 IN 10 0 20 0 0 LWPOLYLINE 8 0 10 0 20 0 10 1 20 0 "
       "0 LWPOLYLINE 8 K 10 0 20 0 10 0 20 1 0 ENDBLK "
       "0 BLOCK 2 MID 10 0 20 0 0 INSERT 8 0 2 IN 10 10 20 0 0 ENDBLK "
       "0 BLOCK 2 OUT 10 0 20 0 0 INSERT 8 0 2 MID 10 0 20 0 50 90 0 ENDBLK 0 ENDSEC " +
           entities("0 INSERT 8 N 2 OUT 10 100 20 0 "),
       "N 0: 100,10,0 100,11,0 | K 0: 100,10,0 99,10,0", ""},
      {"a block that inserts itself is placed once, and said",
       "0 SECTION 2 BLOCKS 0 BLOCK 2 A 10 0 20 0 0 LWPOLYLINE 8 L 10 0 20 0 10 1 20 1 "
       "0 INSERT 2 B 10 5 20 0 0 ENDBLK 0 BLOCK 2 B 10 0 20 0 0 INSERT 2 A 10 0 20 0 0 ENDBLK 0 ENDSEC " +
           entities("0 INSERT 8 N 2 A 10 0 20 0 "),
       "L 0: 0,0,0 1,1,0", "block \"A\" inserts itself"},
      {"attributes after a reference are no polylines; a polyline after them is copied",
       sq + entities("0 INSERT 8 A 66 1 2 SQ 10 1 20 1 0 ATTRIB 8 A 1 text 2 TAG 0 SEQEND 8 A "
                     "0 POLYLINE 8 P 66 1 70 0 0 VERTEX 8 P 10 7 20 8 0 SEQEND "),
       "A 1: 0,0,0 10,0,0 | P 0: 7,8,0", "1 ATTRIB"},
      {"a block's other entities are not placed, and are said for each copy",
       "0 SECTION 2 BLOCKS 0 BLOCK 2 LN 10 0 20 0 0 LINE 8 0 10 0 20 0 11 1 21 1 0 LWPOLYLINE 8 0 10 0 20 0 10 1 "
       "20 0 0 ENDBLK 0 ENDSEC " +
           entities("0 INSERT 8 A 2 LN 10 0 20 0 0 INSERT 8 A 2 LN 10 5 20 0 "),
       "A 0: 0,0,0 1,0,0 | A 0: 5,0,0 6,0,0", "2 block references placed); left out: 2 LINE"},
      {"a reference of paper space is left out", sq + entities("0 INSERT 8 A 67 1 2 SQ 10 0 20 0 "), "",
       "1 block reference of paper space"},
      {"a reference to a block not defined is left out", sq + entities("0 INSERT 8 A 2 NONE 10 0 20 0 "), "",
       "1 block reference to a block not defined"},
      {"a block's 2D POLYLINE at its elevation, read by group codes, placed up: a 3D polyline",
       "0 SECTION 2 BLOCKS 0 BLOCK 2 E 10 0 20 0 0 POLYLINE 8 0 66 1 70 0 30 5 0 VERTEX 8 0 10 1 20 2 30 9 "
       "0 VERTEX 8 0 70 16 10 3 20 3 0 VERTEX 8 0 10 3 20 4 0 SEQEND 0 ENDBLK 0 ENDSEC " +
           entities("0 INSERT 8 A 2 E 10 0 20 0 30 1 "),
       "A 8: 1,2,6@32 3,4,6@32", "1 spline frame control point"},
      {"block definitions after the entities that place them",
       "0 SECTION 2 ENTITIES 0 INSERT 8 A 2 SQ 10 1 20 1 0 ENDSEC " + sq + "0 EOF", "A 1: 0,0,0 10,0,0", ""},
      // Three chords (at 0, 30, 60 and 90 degrees) keep a radius of 10 within 0.5.
      {"with --curves, a block's arc placed", std::string(arc_block) + entities("0 INSERT 8 A 2 ARC 10 100 20 0 "),
       "A 0: 110,0,0 109,5,0 105,9,0 100,10,0", "1 block reference placed, 1 ARC drawn)",
       curves_and_lines(true, false)},
      {"with --curves, a mirrored block's arc turns the other way, through the mirrored quarter",
       std::string(arc_block) + entities("0 INSERT 8 A 2 ARC 10 0 20 0 41 -1 "), "A 0: -9,0,0 -8,5,0 -4,9,0 0,10,0", "",
       curves_and_lines(true, false)},
      {"with --curves, an arc nested in a turned block, the outer reference scaled",
       std::string(arc_block.substr(0, arc_block.size() - 9)) +
           "0 BLOCK 2 TURNED 10 0 20 0 0 INSERT 8 0 2 ARC 10 0 20 0 50 90 0 ENDBLK 0 ENDSEC " +
           entities("0 INSERT 8 N 2 TURNED 10 100 20 100 41 2 42 2 "),
       "N 0: 100,120,0 92,118,0 86,114,0 82,108,0 80,100,0", "1 ARC drawn", curves_and_lines(true, false)},
      {"with --curves, a block's bulge placed as an arc, not said as a bulge",
       "0 SECTION 2 BLOCKS 0 BLOCK 2 B 10 0 20 0 0 LWPOLYLINE 8 0 70 0 10 0 20 0 42 1 10 20 20 0 0 ENDBLK 0 ENDSEC " +
           entities("0 INSERT 8 A 2 B 10 0 20 0 "),
       "A 0: 0,0,0 2,-5,0 7,-9,0 13,-9,0 18,-5,0 20,0,0", "(1 block reference placed)", curves_and_lines(true, false)},
      {"with --lines, a block's lines joined where one starts where the last ends, and placed",
       "0 SECTION 2 BLOCKS 0 BLOCK 2 L 10 0 20 0 0 LINE 8 K 10 0 20 0 11 1 21 0 0 LINE 8 K 10 1 20 0 11 1 21 1 "
       "0 LINE 8 K 10 5 20 5 11 6 21 5 0 ENDBLK 0 ENDSEC " +
           entities("0 INSERT 8 A 2 L 10 10 20 0 50 90 "),
       "K 0: 10,0,0 10,1,0 9,1,0 | K 0: 5,5,0 5,6,0", "(1 block reference placed, 3 LINE drawn)",
       curves_and_lines(false, true)},
      {"with --curves alone, a block's lines stay left out for each copy, its circle is drawn",
       "0 SECTION 2 BLOCKS 0 BLOCK 2 LC 10 0 20 0 0 LINE 8 0 10 0 20 0 11 1 21 1 0 CIRCLE 8 0 10 0 20 0 40 0.1 "
       "0 ENDBLK 0 ENDSEC " +
           entities("0 INSERT 8 A 2 LC 10 0 20 0 0 INSERT 8 A 2 LC 10 5 20 0 "),
       "A 1: 0,0,0 0,0,0 0,0,0 | A 1: 5,0,0 5,0,0 5,0,0", "2 CIRCLE drawn); left out: 2 LINE",
       curves_and_lines(true, false)},
  };
}

TEST(Inserts, PlaceEachReferenceAsTheDrawingDoesUnderEveryAcceleration) {
  MergeOptions options;
  for (const Case& c : cases()) {
    options.drawing = c.drawing_options;
    options.drawing.inserts = true;
    const std::string drawing = lines(c.drawing);
    std::string first;
    for (const support::NamedAcceleration& a : support::accelerations()) {
      for (const std::size_t block : {std::size_t{16}, support::default_block}) {
        SCOPED_TRACE(std::string(c.what) + ", " + a.name + ", block " + std::to_string(block));
        options.fast = a.fast;
        const support::MemoryMerge m = support::merge_in_memory(support::drawings({drawing}), options, block);
        ASSERT_EQ(m.end, MergeEnd::complete) << m.errors;
        EXPECT_EQ(polylines_of(m.result), c.polylines);
        if (!c.said.empty()) {
          EXPECT_NE(m.errors.find(c.said), std::string::npos) << m.errors;
        }
        EXPECT_EQ(m.errors.find("INSERT"), std::string::npos) << m.errors;
        if (first.empty()) first = m.result + m.console + m.errors;
        EXPECT_EQ(m.result + m.console + m.errors, first);
      }
    }
  }
}

// The extents of an input whose header has none come from the vertices
// written, placed ones included; a recursion is said once per input.
TEST(Inserts, PlacedVerticesMakeTheExtentsAndARecursionIsSaidOnce) {
  MergeOptions options;
  options.drawing.inserts = true;
  const std::string drawing =
      lines(std::string(square_block) + "0 SECTION 2 ENTITIES 0 INSERT 2 SQ 10 100 20 200 30 3 41 2 0 ENDSEC 0 EOF");
  const support::MemoryMerge m = support::merge_in_memory(support::drawings({drawing}), options);
  EXPECT_NE(m.result.find("$EXTMIN\r\n 10\r\n98\r\n 20\r\n199\r\n 30\r\n3\r\n"), std::string::npos) << m.result;
  EXPECT_NE(m.result.find("$EXTMAX\r\n 10\r\n118\r\n 20\r\n199\r\n 30\r\n3\r\n"), std::string::npos) << m.result;

  const std::string looping = lines(
      "0 SECTION 2 BLOCKS 0 BLOCK 2 A 10 0 20 0 0 INSERT 2 A 10 1 20 0 0 LWPOLYLINE 10 0 20 0 0 ENDBLK 0 ENDSEC "
      "0 SECTION 2 ENTITIES 0 INSERT 2 A 0 INSERT 2 a 0 ENDSEC 0 EOF");
  const support::MemoryMerge twice = support::merge_in_memory(support::drawings({looping}), options);
  EXPECT_EQ(support::count_lines(twice.errors, ""), 0u);
  EXPECT_EQ(twice.errors.find("inserts itself"), twice.errors.rfind("inserts itself")) << twice.errors;
  EXPECT_NE(twice.errors.find("inserts itself"), std::string::npos) << twice.errors;
  EXPECT_EQ(twice.totals.polylines, 2u);
}

}  // namespace

namespace {

// A chain of blocks nested a hundred thousand deep is placed whole: the
// references are not followed on the program's stack.
TEST(Inserts, AChainOfBlocksNestedDeeplyIsPlacedWhole) {
  MergeOptions options;
  options.drawing.inserts = true;
  std::string chain = "0 SECTION 2 BLOCKS ";
  const int blocks_in_chain = 100000;
  for (int k = 0; k < blocks_in_chain; ++k)
    chain += "0 BLOCK 2 B" + std::to_string(k) + " 10 0 20 0 0 LWPOLYLINE 10 0 20 0 0 INSERT 2 B" +
             std::to_string(k + 1) + " 10 0 20 1 0 ENDBLK ";
  chain += "0 ENDSEC 0 SECTION 2 ENTITIES 0 INSERT 2 B0 0 ENDSEC 0 EOF";
  const support::MemoryMerge m = support::merge_in_memory(support::drawings({lines(chain)}), options);
  ASSERT_EQ(m.end, MergeEnd::complete);
  EXPECT_EQ(m.totals.polylines, static_cast<std::uint64_t>(blocks_in_chain));
  EXPECT_NE(m.errors.find("1 block reference to a block not defined"), std::string::npos) << m.errors;
}

}  // namespace
