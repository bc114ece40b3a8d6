// Whole merges of small drawings in memory: the survey's extents and counts,
// the console report, the result's bytes and the lines on standard error, as
// the reading and writing rules make them. Each merge is also checked
// against the reference merge, with every acceleration.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "in_process.h"

namespace {

using support::crlf;
constexpr auto header = support::result_header;

const std::string no_extents = header("4000000", "4000000", "100000", "0", "0", "0");
// A header section of extents -1000 to 1000, and the result's header for them.
const std::string header_last =
    "  0\nSECTION\n  2\nHEADER\n  9\n$EXTMIN\n 10\n-1000\n 20\n-1000\n 30\n-1000\n  9\n$EXTMAX\n 10\n1000\n 20\n"
    "1000\n 30\n1000\n  0\nENDSEC\n";
const std::string thousands = header("-1000", "-1000", "-1000", "1000", "1000", "1000");
const std::string closing = "ENDSEC\r\n0\r\nEOF\r\n";

// The merge of the drawings, checked against the reference merge.
support::MemoryMerge merged(std::initializer_list<std::string_view> bytes) {
  support::CheckedMerge m = support::checked_merge(support::drawings(bytes));
  EXPECT_EQ(m.disagreement, "");
  EXPECT_EQ(m.merged.end, MergeEnd::complete);
  return m.merged;
}

// What standard error says of drawing a, b, ... of support::drawings.
std::string said(char drawing, std::string_view what) {
  return "talvero: c:\\images\\t\\" + std::string(1, drawing) + ".dxf: " + std::string(what) + "\n";
}
std::string no_number(char drawing, int line, std::string_view value, std::string_view left_out) {
  return "talvero: warning: c:\\images\\t\\" + std::string(1, drawing) + ".dxf, line " + std::to_string(line) + ": \"" +
         std::string(value) + "\" is not a number: " + std::string(left_out) + "\n";
}
std::string warned(char drawing, int line) {
  return "talvero: warning: c:\\images\\t\\" + std::string(1, drawing) + ".dxf, line " + std::to_string(line) +
         ": an item the layout expects is missing; copied as read\n";
}
const std::string holds_none = "nothing was copied from it: it holds no polylines";

TEST(Merge, OnePolylineGivesTheHeaderItsEntitiesAndOneSectionEnd) {
  // Header extents (10.2, 20.9, 0.0) to (110.7, 220.1, 35.5), which hold
  // the vertices; a LINE that is left out.
  const support::MemoryMerge m =
      merged({"  0\nSECTION\n  2\nHEADER\n  9\n$EXTMIN\n 10\n10.2\n 20\n20.9\n 30\n0.0\n  9\n$EXTMAX\n 10\n110.7\n 20\n"
              "220.1\n 30\n35.5\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n  8\nL1\n 10\n1.0\n"
              "  0\nPOLYLINE\n  8\nL1\n 66\n1\n 70\n0\n 10\n0\n 20\n0\n"
              "  0\nVERTEX\n  8\nL1\n 70\n32\n 10\n12.5\n 20\n22.2\n 30\n0.49999999999999994\n"
              "  0\nVERTEX\n  8\nL1\n 70\n32\n 10\n12.7\n 20\n212.49\n 30\n7\n"
              "  0\nSEQEND\n  8\nL1\n  0\nENDSEC\n  0\nEOF\n"});
  EXPECT_EQ(m.result, header("10", "20", "0", "110", "220", "35") +
                          crlf({"POLYLINE", "  8", "L1",     "  66", "1",      " 70", "     0", " 10", "     0", " 20",
                                "0",        "  0", "VERTEX", "  8",  "L1",     " 70", "    32", " 10", "13",     " 20",
                                "22",       " 30", "0",      "  0",  "VERTEX", "  8", "L1",     " 70", "    32", " 10",
                                "13",       " 20", "212",    " 30",  "7",      "  0", "SEQEND", "0"}) +
                          closing);
  const std::string file_line = "\n\n\tFile 1 Name : c:\\images\\t\\a.dxf ";
  EXPECT_EQ(m.console, "\n\n\tTreatment\n" + file_line + "\n\n\trecord 1            \r        " +
                           "\n\n\tmin x = 10.200000 min y = 20.900000 \n\tmax x = 110.700000 max y = 220.100000 "
                           "\n\tmin z = 0.000000 max z = 35.500000 \n\n" +
                           file_line + "\n\n\t record 1            \r     ");
  EXPECT_EQ(m.errors, said('a', "1 polyline and 2 vertices copied; left out: 1 LINE"));
}

TEST(Merge, NoInputsGiveTheInitialExtentsAndAClosedEmptySection) {
  const support::MemoryMerge m = merged({});
  EXPECT_EQ(m.result, no_extents + closing);
  EXPECT_EQ(m.console,
            "\n\n\tTreatment\n\n\n\tmin x = 4000000.000000 min y = 4000000.000000 \n\tmax x = 0.000000 "
            "max y = 0.000000 \n\tmin z = 100000.000000 max z = 0.000000 \n\n");
}

// A polyline in the smallest layout: header extents and one vertex.
std::string drawing(const std::string& extmin, const std::string& extmax, const std::string& x) {
  return "0 SECTION 2 HEADER 9 $EXTMIN " + extmin + " 9 $EXTMAX " + extmax +
         " 0 ENDSEC 0 SECTION 2 ENTITIES 0 POLYLINE 8 L 66 1 70 0 10 0 20 0 0 VERTEX 8 L 70 0 10 " + x +
         " 20 1 30 2 0 SEQEND 0 ENDSEC 0 EOF\n";
}

std::string entities_of(std::string_view x) {
  return crlf({"POLYLINE", "  8", "L",   "  66",   "1",   " 70", "     0", " 10",   "     0",
               " 20",      "0",   "  0", "VERTEX", "  8", "L",   " 70",    "    0", " 10",
               x,          " 20", "1",   " 30",    "2",   "  0", "SEQEND", "0"});
}

TEST(Merge, TwoInputsFoldTheirExtentsAndShareOneSectionEnd) {
  // Each header's extents, widened to its vertex (x, 1, 2) where it lies
  // beyond them: the minima come from the vertices, -2.5 written as -2.
  const support::MemoryMerge m = merged(
      {drawing("10 5 20 7 30 2", "10 50 20 70 30 20", "1.5"), drawing("10 3 20 9 30 4", "10 30 20 90 30 40", "-2.5")});
  EXPECT_EQ(m.result, header("-2", "1", "2", "50", "90", "40") + entities_of("2") + entities_of("-2") + closing);
  EXPECT_EQ(m.errors, "");
}

TEST(Merge, AVertexBeyondWhereTheHeaderIsWrittenNeverNarrowsIt) {
  // -6.6 is written -6, beyond -6.05 written as -5: the extent stays -6.05.
  const support::MemoryMerge m = merged({drawing("10 -6.05 20 0 30 0", "10 10 20 10 30 10", "-6.6")});
  EXPECT_NE(m.console.find("min x = -6.050000 "), std::string::npos) << m.console;
}

TEST(Merge, NinetyNineInputsArePastedInOrder) {
  // Input k has extents (k, k, k) to (10k, 20k, 30k) and one vertex at x = k + 0.5;
  // the last input is the first one again.
  std::vector<reference::Input> inputs;
  std::string entities;
  for (int k = 1; k <= 99; ++k) {
    const int n = k == 99 ? 1 : k;
    const std::string s = std::to_string(n);
    inputs.push_back(
        {"c:\\images\\t\\p" + std::to_string(k) + ".dxf",
         drawing("10 " + s + " 20 " + s + " 30 " + s,
                 "10 " + std::to_string(10 * n) + " 20 " + std::to_string(20 * n) + " 30 " + std::to_string(30 * n),
                 s + ".5")});
    entities += entities_of(std::to_string(n + 1));
  }
  const support::CheckedMerge m = support::checked_merge(inputs);
  EXPECT_EQ(m.disagreement, "");
  EXPECT_EQ(m.merged.result, header("1", "1", "1", "980", "1960", "2940") + entities + closing);
  EXPECT_NE(m.merged.console.find("\tFile 99 Name : c:\\images\\t\\p99.dxf "), std::string::npos);
}

TEST(Merge, ExtentsGroupsInAnyOrderAndRepeated) {
  // A repeated 10 is folded too. The header's y runs from 7 down to -8,
  // which is no extent: the input's vertex gives y (1 to 1).
  const support::MemoryMerge m = merged({drawing("20 7 10 5 30 2 10 4", "30 3 20 -8 10 12.9", "5")});
  EXPECT_EQ(m.result, header("4", "1", "2", "12", "1", "3") + entities_of("5") + closing);
}

TEST(Merge, InputsWithoutHeaderExtentsGiveTheirVerticesBox) {
  // b has no header: its vertices as written (rounded, in world coordinates,
  // a 2D polyline's at its elevation) give its extents; c's header gives
  // its own, widened to its vertex beyond them; what is left out (a mesh's
  // vertices, block definitions) gives nothing.
  const std::string b =
      "0\nSECTION\n2\nBLOCKS\n0\nPOLYLINE\n8\nB\n66\n1\n70\n0\n10\n0\n20\n0\n0\nVERTEX\n8\nB\n70\n0\n10\n-900\n"
      "20\n0\n30\n0\n0\nSEQEND\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n0\nPOLYLINE\n8\nL\n66\n1\n70\n0\n10\n0\n20\n0\n"
      "0\nVERTEX\n8\nL\n70\n0\n10\n-7.6\n20\n2.5\n30\n-1\n0\nVERTEX\n8\nL\n70\n0\n10\n3\n20\n4\n30\n5\n0\nSEQEND\n"
      "0\nPOLYLINE\n8\nM\n70\n16\n0\nVERTEX\n8\nM\n10\n500\n20\n500\n0\nSEQEND\n0\nLWPOLYLINE\n8\nP\n38\n-30\n"
      "10\n1\n20\n9\n210\n0\n220\n0\n230\n-1\n0\nENDSEC\n0\nEOF\n";
  const support::MemoryMerge m = merged({drawing("10 10 20 10 30 10", "10 20 20 20 30 20", "0"), b,
                                         drawing("10 -2 20 -2 30 -2", "10 2 20 2 30 2", "50")});
  // x from -7 (b's -7.6, rounded) to 50 (c's vertex), y from -2 (c) to 20
  // (a), z from -2 (c) to 30 (b's LWPOLYLINE, mirrored).
  const std::string expected = header("-7", "-2", "-2", "50", "20", "30");
  EXPECT_EQ(m.result.substr(0, expected.size()), expected);
}

TEST(Merge, InputWithoutExtentsStillCountsItsPolylines) {
  const support::MemoryMerge m =
      merged({"0\nSECTION\n2\nENTITIES\n0\nPOLYLINE\n8\nL\n0\nPOLYLINE\n8\nL\n0\nENDSEC\n0\nEOF\n"});
  EXPECT_NE(m.console.find("\trecord 2            \r        "), std::string::npos);
  EXPECT_NE(m.console.find("min x = 4000000.000000"), std::string::npos);
}

TEST(Merge, ExtentsRepetitionEndsAtAFailedRead) {
  // Input a ends right after a coordinate: its value is taken and the survey
  // goes on. In b a value that is no number ends the repetition without
  // taking anything stale. Each failed read is warned about. Neither gives
  // both ends of an axis: no extents, and no vertices to give them.
  const support::MemoryMerge m =
      merged({"0 SECTION 2 HEADER 9 $EXTMIN 10 -5 20", "0 SECTION 2 HEADER\n9 $EXTMAX 10 77 20 abc 30 5"});
  EXPECT_EQ(m.result, no_extents + closing);
  EXPECT_EQ(m.errors, warned('a', 1) + warned('b', 2) + said('a', holds_none) + said('b', holds_none));
}

TEST(Merge, KeywordReadAsAnItemIsSeenByTheLaterTests) {
  // The fourth POLYLINE item reads VERTEX: a vertex copy follows at once.
  const support::MemoryMerge m =
      merged({"0 SECTION 2 ENTITIES 0 POLYLINE 8 L 66 VERTEX 70 0 10 0 20 0 0 8 L 70 0 10 1 20 2 30 3 0"});
  EXPECT_EQ(m.result, no_extents +
                          crlf({"POLYLINE", "  8", "L",   "  66",   "VERTEX", " 70", "     0", " 10",   "     0",
                                " 20",      "0",   "  0", "VERTEX", "  8",    "L",   " 70",    "    0", " 10",
                                "1",        " 20", "2",   " 30",    "3",      "  0", "SEQEND", "0"}) +
                          closing);
}

TEST(Merge, KeywordsAreExactAndCaseSensitive) {
  EXPECT_EQ(merged({"0 SECTION 2 HEADER 9 polyline POLYLINEX SEQENDS seqend Seqend VERTEX_ LWPOLYLINEX lwpolyline "
                    "$extmin $EXTMAXX 10 5 0 ENDSEC"})
                .result,
            no_extents + closing);
}

TEST(Merge, HeaderExtentsAreFoldedInBlockDefinitionsToo) {
  // Only the polyline keywords are passed over in BLOCKS.
  const support::MemoryMerge m =
      merged({"0 SECTION 2 BLOCKS 0 BLOCK 0 TEXT 1 $EXTMIN 10 5 20 6 30 7 0 TEXT 1 $EXTMAX 10 50 20 60 30 70 "
              "0 ENDBLK 0 ENDSEC"});
  EXPECT_EQ(m.result, header("5", "6", "7", "50", "60", "70") + closing);
}

// --- The entities of drawings from other programs ----------------------------

// A drawing of these ENTITIES, each line of the text separated by "|"; the
// entities start on line 5.
// An ENTITIES section of the lines ("|" for a line end), then a header
// whose extents are the input's: -1000 to 1000 on each axis, wherever it
// stands (the vertices lie within them).
std::string entities(std::string_view lines) {
  std::string s = "  0\nSECTION\n  2\nENTITIES\n";
  for (char c : lines) s += c == '|' ? '\n' : c;
  return s + "\n  0\nENDSEC\n" + header_last + "  0\nEOF\n";
}

// What the result holds: a POLYLINE and a VERTEX in the result's layout.
const auto& polyline = support::result_polyline;
const auto& vertex = support::result_vertex;
const std::string& seqend = support::result_seqend;

// A POLYLINE in the layout copied as it stands, layer L.
constexpr std::string_view in_layout = "  0|POLYLINE|  8|L| 66|1| 70|0| 10|0| 20|0";

struct EntityCase {
  const char* label;
  std::vector<std::string> inputs;
  std::string result;  // between the header and the section's end
  std::string errors;
  std::string header = {};  // the result's header, when not that of entities()
};
void PrintTo(const EntityCase& c, std::ostream* os) { *os << c.label; }

class Entities : public ::testing::TestWithParam<EntityCase> {};

TEST_P(Entities, AreCopiedReadConvertedOrLeftOutAsTheRulesSay) {
  const EntityCase& c = GetParam();
  std::vector<reference::Input> inputs;
  char name = 'a';
  for (const std::string& in : c.inputs) inputs.push_back({std::string("c:\\images\\t\\") + name++ + ".dxf", in});
  // Blocks of 16 bytes: the reads of the layout test are undone across blocks.
  const support::CheckedMerge m = support::checked_merge(inputs, {16, 61, support::default_block});
  EXPECT_EQ(m.disagreement, "");
  EXPECT_EQ(m.merged.end, MergeEnd::complete);
  EXPECT_EQ(m.merged.result, (c.header.empty() ? thousands : c.header) + c.result + closing);
  EXPECT_EQ(m.merged.errors, c.errors);
}

INSTANTIATE_TEST_SUITE_P(
    Layout, Entities,
    ::testing::Values(
        // Item 11 is not 0: read by group codes (the 7 is one of its groups).
        EntityCase{"polyline_item_11_not_0",
                   {entities("  0|POLYLINE|  8|L| 66|1| 70|1| 10|0| 20|0|  7|x|  0|VERTEX|  8|L| 70|0| 10|1.5| 20|2.5| "
                             "30|3.5|  0|SEQEND")},
                   polyline("L", "1") + vertex("L", "0", "2", "3", "4") + seqend,
                   said('a', "1 polyline and 1 vertex copied (1 entity read by its group codes)")},
        // Codes 11, 21 and 31 where 10, 20 and 30 stand: only the codes the result keeps are taken.
        EntityCase{"vertex_codes_other_than_10_20_30",
                   {entities(std::string(in_layout) +
                             "|  0|VERTEX|  8|L| 70|0| 11|1.5| 21|2.5| 31|3.5|  0|VERTEX|  8|L| 70|0| 10|1.5| 20|2.5| "
                             "31|3.5|  0|SEQEND")},
                   polyline("L", "0") + vertex("L", "0", "0", "0", "0") + vertex("L", "0", "2", "3", "0") + seqend,
                   said('a', "1 polyline and 2 vertices copied (2 entities read by their group codes)")},
        // The layout is one of items, whatever the whitespace between them.
        EntityCase{"items_on_one_line",
                   {entities("  0|POLYLINE 8 L 66 1 70 0 10 0 20 0 0 VERTEX 8 L 70 0 10 1.5 20 2.5 30 3.5 0|SEQEND")},
                   polyline("L", "0") + vertex("L", "0", "2", "3", "4") + seqend,
                   ""},
        // A coordinate that is not a whole token departs; read by group
        // codes, it is not a number: the vertex is left out, and the value
        // warned about on its line.
        EntityCase{"coordinate_not_a_whole_token",
                   {entities(std::string(in_layout) + "|  0|VERTEX|  8|L| 70|0| 10|1.5x| 20|2.5| 30|3.5|  0|SEQEND")},
                   polyline("L", "0") + seqend,
                   no_number('a', 24, "1.5x", "its vertex is left out") +
                       said('a', "1 polyline copied; left out: 1 vertex with a value that is not a number")},
        // Kinds left out as often are said in the order of their words.
        EntityCase{
            "left_out_kinds_in_the_order_said",
            {entities(std::string(in_layout) +
                      "|  0|VERTEX|  8|L| 70|0| 10|1.5x| 20|2.5| 30|3.5|  0|verticeV|  0|SEQEND")},
            polyline("L", "0") + seqend,
            no_number('a', 24, "1.5x", "its vertex is left out") +
                said('a', "1 polyline copied; left out: 1 vertex with a value that is not a number, 1 verticeV")},
        // Integers of any length are items of the layout.
        EntityCase{
            "long_integers",
            {entities("  0|POLYLINE|  8|L| 66|1| 70|0| 10|123456789| 20|-0000000001|  0|SEQEND")},
            crlf({"POLYLINE", "  8", "L", "  66", "1", " 70", "     0", " 10", "     123456789", " 20", "-1", "  0"}) +
                seqend,
            ""},
        // A vertex whose layer reads SEQEND ends its polyline, as the
        // keyword its copy leaves is seen; a POLYLINE whose fourth item reads
        // VERTEX is followed by a vertex, after an entity that ended with a
        // group code 0: read by its group codes when it departs.
        EntityCase{
            "keywords_left_by_items",
            {entities(std::string(in_layout) +
                      "|  0|VERTEX|  8|SEQEND| 70|6| 10|8.5| 20|1.5| 30|2|  0|SEQEND|  0|POLYLINE|  8|L| "
                      "66|VERTEX| 70|0| 10|0| 20|0|  0|  8|V| 10|1| 20|2|  0|SEQEND")},
            polyline("L", "0") + vertex("SEQEND", "6", "9", "2", "2") + seqend +
                crlf({"POLYLINE", "  8", "L", "  66", "VERTEX", " 70", "     0", " 10", "     0", " 20", "0", "  0"}) +
                vertex("V", "0", "1", "2", "0") + seqend,
            said('a', "2 polylines and 2 vertices copied (1 entity read by its group codes)")},
        // Flags of a vertex in the layout are copied as they stand, frame point or not.
        EntityCase{"vertex_in_layout_with_any_flags",
                   {entities(std::string(in_layout) + "|  0|VERTEX|  8|L| 70|16| 10|5| 20|5| 30|5|  0|SEQEND")},
                   polyline("L", "0") + vertex("L", "16", "5", "5", "5") + seqend,
                   ""}),
    [](const auto& info) { return std::string(info.param.label); });

INSTANTIATE_TEST_SUITE_P(
    GroupCodes, Entities,
    ::testing::Values(
        // Handles, owner handles, subclass markers, the elevation in the
        // polyline and the flags after the coordinates; values trimmed. A 2D
        // polyline with an elevation has its vertices at it, whatever their
        // own z, and is written as a 3D polyline (flag 8, its vertices 32).
        EntityCase{"as_other_programs_write_them",
                   {entities("  0|POLYLINE|  5|2F|100|EntityData|  8|  CONTOUR A\t |100|Polyline2d| 66|     1| 10|0.0| "
                             "20|0.0| 30|12.5| 70|     1|  0|VERTEX|  5|30|330|2F|100|EntityData|  8|CONTOUR A|100|"
                             "Vertex2d| 10|1.5| 20|-2.5| 70|     0|  0|VERTEX|  5|31|  8|CONTOUR A| 10|3.5| 20|4.5| "
                             "30|-7.5| 42|0.0| 40|0| 70|     0|  0|SEQEND|  5|32|100|EntityData|  8|CONTOUR A")},
                   polyline("CONTOUR A", "9") + vertex("CONTOUR A", "32", "2", "-2", "13") +
                       vertex("CONTOUR A", "32", "4", "5", "13") + seqend,
                   said('a', "1 polyline and 2 vertices copied (3 entities read by their group codes)")},
        // A vertex without a 30 lies at its polyline's elevation too; one
        // with a 30 that is no number is left out and warned about, on its
        // line; a polyline in the layout has no elevation: its vertices lie
        // where their own groups put them.
        EntityCase{
            "elevation_for_vertices_without_z",
            {entities("  0|POLYLINE|  8|L| 66|1| 30|5.5|  0|VERTEX|  8|L| 10|1| 20|2|  0|VERTEX|  8|L| 10|1| "
                      "20|2| 30|high|  0|SEQEND|" +
                      std::string(in_layout) + "|  0|VERTEX|  8|L| 10|1| 20|2|  0|VERTEX|  8|L| 10|1| 20|2| 30|7")},
            polyline("L", "8") + vertex("L", "32", "1", "2", "6") + seqend + polyline("L", "0") +
                vertex("L", "0", "1", "2", "0") + vertex("L", "0", "1", "2", "7") + seqend,
            no_number('a', 30, "high", "its vertex is left out") +
                said('a',
                     "2 polylines and 3 vertices copied (4 entities read by their group codes); left out: 1 "
                     "vertex with a value that is not a number")},
        // A 2D polyline whose elevation is written as 0 stays one, its
        // vertices at that elevation all the same; a 3D polyline's vertices
        // are where their groups put them (0 without a 30), whatever its
        // elevation.
        EntityCase{"heights_of_2d_and_3d_polylines",
                   {entities("  0|POLYLINE|  8|L| 30|0.4| 70|1|  0|VERTEX|  8|L| 10|1| 20|2| 30|9|  0|SEQEND|  "
                             "0|POLYLINE|  8|T| 30|50| 70|8|  0|VERTEX|  8|T| 10|1| 20|2|  0|VERTEX|  8|T| 10|1| "
                             "20|2| 30|3| 70|32|  0|SEQEND")},
                   polyline("L", "1") + vertex("L", "0", "1", "2", "0") + seqend + polyline("T", "8") +
                       vertex("T", "0", "1", "2", "0") + vertex("T", "32", "1", "2", "3") + seqend,
                   said('a', "2 polylines and 3 vertices copied (5 entities read by their group codes)")},
        // Vertices in the layout after a polyline read by its group codes
        // lie at its elevation too, their flags with 32 when it is written as 3D.
        EntityCase{
            "vertices_in_the_layout_at_an_elevation",
            {entities("  0|POLYLINE|  8|L| 66|1| 30|-20| 70|0|  0|VERTEX|  8|L| 70|1| 10|1| 20|2| 30|3|  "
                      "0|VERTEX|  8|L| 70|1| 10|4| 20|5| 30|6|  0|SEQEND")},
            polyline("L", "8") + vertex("L", "33", "1", "2", "-19") + vertex("L", "33", "4", "5", "-19") + seqend,
            said('a', "1 polyline and 2 vertices copied (1 entity read by its group codes)")},
        // Meshes are left out with their vertices (in the layout or not) and
        // their SEQEND; flags saturate to 32 bits.
        EntityCase{"meshes_left_out",
                   {entities("  0|POLYLINE|  5|A1|  8|M| 66|1| 70|16| 71|2| 72|2|  0|VERTEX|  8|M| 70|64| 10|1| 20|1| "
                             "30|1|  0|VERTEX|  8|M| 70|0| 10|2| 20|2| 30|2|  0|SEQEND|  0|POLYLINE|  8|F| 66|1| "
                             "70|64|  0|VERTEX|  8|F| 10|1| 20|1| 30|1| 70|192|  0|SEQEND|  0|POLYLINE|  8|W| "
                             "70|-99999999999|  0|VERTEX|  8|W| 10|1| 20|2|  0|SEQEND")},
                   polyline("W", "-2147483648") + vertex("W", "0", "1", "2", "0") + seqend,
                   said('a',
                        "1 polyline and 1 vertex copied (2 entities read by their group codes); left out: 1 "
                        "polyface mesh, 1 polygon mesh")},
        // Spline frame control points are not points of the path.
        EntityCase{"frame_points_left_out",
                   {entities("  0|POLYLINE|  8|S| 66|1| 70|4|  0|VERTEX|  8|S| 70|16| 10|1| 20|1|  0|VERTEX|  8|S| "
                             "70|8| 10|2| 20|3|  0|VERTEX|  8|S| 70|16| 10|4| 20|4|  0|SEQEND")},
                   polyline("S", "4") + vertex("S", "8", "2", "3", "0") + seqend,
                   said('a',
                        "1 polyline and 1 vertex copied (2 entities read by their group codes); left out: 2 "
                        "spline frame control points")},
        // A polyline's 10 and 20 hold nothing the result keeps: not read.
        EntityCase{"polyline_point_not_read",
                   {entities("  0|POLYLINE|  8|L| 10|x| 20|y| 70|1|  0|VERTEX|  8|L| 10|1| 20|2|  0|SEQEND")},
                   polyline("L", "1") + vertex("L", "0", "1", "2", "0") + seqend,
                   said('a', "1 polyline and 1 vertex copied (2 entities read by their group codes)")},
        // A 2D polyline's extrusion puts its vertices, at its elevation, in
        // world coordinates (here mirrored: x and z change sign), those in
        // the layout too; a 3D polyline's (flag 8) are there already.
        EntityCase{
            "extrusion",
            {entities("  0|POLYLINE|  8|L| 70|0| 30|2|210|0|220|0|230|-1|  0|VERTEX|  8|L| 10|1.5| 20|2| 30|2|  "
                      "0|VERTEX|  8|L| 10|-3| 20|4|  0|VERTEX|  8|L| 70|0| 10|5| 20|6| 30|7|  0|SEQEND|  "
                      "0|POLYLINE|  5|A|  8|T| 70|8|210|0|220|0|230|-1|  0|VERTEX|  8|T| 10|1| 20|2| 30|3|  0|SEQEND")},
            polyline("L", "8") + vertex("L", "32", "-1", "2", "-1") + vertex("L", "32", "3", "4", "-1") +
                vertex("L", "32", "-4", "6", "-1") + seqend + polyline("T", "8") + vertex("T", "0", "1", "2", "3") +
                seqend,
            said('a', "2 polylines and 4 vertices copied (5 entities read by their group codes)")},
        // The vertices part is left out when none was copied.
        EntityCase{"polyline_without_vertices",
                   {entities("  0|POLYLINE|  8|L| 70|1|  0|SEQEND")},
                   polyline("L", "1") + seqend,
                   said('a', "1 polyline copied (1 entity read by its group codes)")}),
    [](const auto& info) { return std::string(info.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Lwpolyline, Entities,
    ::testing::Values(
        // The closed and linetype-generation flags kept, the elevation for
        // every point (not 0: a 3D polyline, flag 8, its vertices 32), the
        // groups before the first point for the header; bulges and widths
        // other than 0 counted.
        EntityCase{"converted",
                   {entities("  0|LWPOLYLINE|  5|A|100|EntityData|  8|PLOT| 90|3| 70|131| 43|0.0| 38|2.5| 10|1.5| "
                             "20|2.5| 10|3| 20|4| 40|1| 41|1| 42|0.5| 10|5| 20|6| 42|0|  8|LATER")},
                   polyline("PLOT", "137") + vertex("PLOT", "32", "2", "3", "3") + vertex("PLOT", "32", "3", "4", "3") +
                       vertex("PLOT", "32", "5", "6", "3") + seqend,
                   said('a',
                        "1 polyline and 3 vertices copied (1 LWPOLYLINE converted; 1 bulge and 2 widths not "
                        "carried)")},
        // Its extrusion, after the points, puts them in world coordinates:
        // along x, a point (x, y) at elevation z lies at (z, x, y), in a
        // plane tilted from the world's: a 3D polyline.
        EntityCase{"extrusion",
                   {entities("  0|LWPOLYLINE|  8|P| 38|3| 10|1| 20|2| 10|-4| 20|5|210|2|220|0|230|0")},
                   polyline("P", "8") + vertex("P", "32", "3", "1", "2") + vertex("P", "32", "3", "-3", "5") + seqend,
                   said('a', "1 polyline and 2 vertices copied (1 LWPOLYLINE converted)")},
        // Without points: the header and its SEQEND; a point without its 20 lies at y 0.
        EntityCase{"without_points_or_y",
                   {entities("  0|LWPOLYLINE|  8|P2| 70|6| 43|0.5|  0|LWPOLYLINE|  8|P3| 10|7")},
                   polyline("P2", "0") + seqend + polyline("P3", "0") + vertex("P3", "0", "7", "0", "0") + seqend,
                   said('a', "2 polylines and 1 vertex copied (2 LWPOLYLINE converted; 1 width not carried)")},
        // A 20 before the first 10 is no point's: not read at all.
        EntityCase{"y_before_any_point",
                   {entities("  0|LWPOLYLINE|  8|P| 20|north| 10|1| 20|2")},
                   polyline("P", "0") + vertex("P", "0", "1", "2", "0") + seqend,
                   said('a', "1 polyline and 1 vertex copied (1 LWPOLYLINE converted)")},
        // Its elevation is the polyline's for the vertices after it; a
        // polyline left open before it is closed first.
        EntityCase{"after_an_open_polyline",
                   {entities(std::string(in_layout) + "|  0|LWPOLYLINE|  8|P| 38|-4.5| 10|1| 20|1|  0|VERTEX|  8|V| "
                                                      "10|1| 20|2|  0|SEQEND")},
                   polyline("L", "0") + seqend + polyline("P", "8") + vertex("P", "32", "1", "1", "-4") + seqend +
                       vertex("V", "32", "1", "2", "-4"),
                   said('a',
                        "2 polylines and 2 vertices copied (1 entity read by its group codes, 1 LWPOLYLINE "
                        "converted)")}),
    [](const auto& info) { return std::string(info.param.label); });

INSTANTIATE_TEST_SUITE_P(
    LeftOut, Entities,
    ::testing::Values(
        // Block definitions are not drawing: their polylines are counted,
        // nothing in them is copied, and only ENTITIES names left-out kinds.
        EntityCase{
            "block_definitions",
            {"  0\nSECTION\n  2\nBLOCKS\n  0\nBLOCK\n  2\nB1\n  0\nPOLYLINE\n  8\nB\n 66\n1\n 70\n0\n 10\n0\n 20\n0\n"
             "  0\nVERTEX\n  8\nB\n 70\n0\n 10\n1\n 20\n1\n 30\n1\n  0\nSEQEND\n  0\nLWPOLYLINE\n  8\nB\n 10\n1\n"
             " 20\n1\n  0\nENDBLK\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n  8\nL\n  0\nENDSEC\n",
             "  0\nSECTION\n  2\nBLOCKS\n  0\nBLOCK\n  0\nPOLYLINE\n  8\nB\n  0\nSEQEND\n  0\nENDBLK\n  0\nENDSEC\n" +
                 entities(std::string(in_layout) + "|  0|SEQEND")},
            polyline("L", "0") + seqend,
            said('a', holds_none + "; left out: 2 polylines of block definitions, 1 LINE") +
                said('b', "1 polyline copied; left out: 1 polyline of block definitions")},
        // Kinds most frequent first, then by name; integers after a 0 are no kind.
        EntityCase{"kinds_in_order",
                   {entities("  0|LINE|  8|L|  0|CIRCLE|  0|0|LINE|  0|ARC|  0|TEXT|  1|LINE")},
                   "",
                   said('a', holds_none + "; left out: 2 LINE, 1 ARC, 1 CIRCLE, 1 TEXT")},
        // A keyword where no entity starts is an ordinary word: nothing is
        // copied and nothing warned about. (A vertex's layer LWPOLYLINE is one.)
        EntityCase{"keywords_in_texts",
                   {entities("  0|TEXT|  8|L|  1|POLYLINE|  0|TEXT|  8|L|  1|VERTEX| 10|1|  0|MTEXT|  1|LWPOLYLINE|  "
                             "0|TEXT|  1|SEQEND|" +
                             std::string(in_layout) + "|  0|VERTEX|  8|LWPOLYLINE| 70|0| 10|1| 20|2| 30|3|  0|SEQEND")},
                   polyline("L", "0") + vertex("LWPOLYLINE", "0", "1", "2", "3") + seqend,
                   said('a', "1 polyline and 1 vertex copied; left out: 3 TEXT, 1 MTEXT")},
        // The SEQEND that ends an insertion's attributes is not copied.
        EntityCase{"attributes_of_an_insertion",
                   {entities(std::string(in_layout) +
                             "|  0|VERTEX|  8|L| 70|0| 10|1| 20|2| 30|3|  0|SEQEND|  0|INSERT|  8|L| 66|1|  2|B1|  "
                             "0|ATTRIB|  8|L|  1|V|  0|SEQEND|  8|L")},
                   polyline("L", "0") + vertex("L", "0", "1", "2", "3") + seqend,
                   said('a', "1 polyline and 1 vertex copied; left out: 1 ATTRIB, 1 INSERT")},
        // Vertices copied without a polyline are said, not "nothing copied".
        EntityCase{"vertex_without_polyline",
                   {entities("  0|VERTEX|  8|L| 70|0| 10|1| 20|2| 30|3")},
                   vertex("L", "0", "1", "2", "3"),
                   said('a', "0 polylines and 1 vertex copied")},
        // A polyline left open is closed before the next one and at the end
        // of its input; one ending its input with SEQEND gets it once.
        EntityCase{"open_polylines_closed",
                   {entities(std::string(in_layout) + "|  0|VERTEX|  8|L| 70|0| 10|1| 20|2| 30|3|" +
                             std::string(in_layout) + "|  0|VERTEX|  8|L| 70|0| 10|4| 20|5| 30|6"),
                    "  0\nSECTION\n  2\nENTITIES\n  0\nPOLYLINE\n  8\nL\n 66\n1\n 70\n0\n 10\n0\n 20\n0\n  0\nSEQEND\n",
                    "  0\nSECTION\n  2\nENTITIES\n  0\nSEQEND\n"},
                   polyline("L", "0") + vertex("L", "0", "1", "2", "3") + seqend + polyline("L", "0") +
                       vertex("L", "0", "4", "5", "6") + seqend + polyline("L", "0") + seqend,
                   said('c', holds_none)}),
    [](const auto& info) { return std::string(info.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Warnings, Entities,
    ::testing::Values(
        // A POLYLINE or VERTEX cut off by the end of the input is not taken;
        // the warning names the last line.
        EntityCase{"cut_off_vertex",
                   {"  0\nSECTION\n  2\nENTITIES\n  0\nPOLYLINE\n  8\nL\n 66\n1\n 70\n0\n 10\n0\n 20\n0\n  0\nVERTEX\n"
                    "  8\nL\n 10"},
                   polyline("L", "0") + seqend,
                   warned('a', 21),
                   no_extents},
        EntityCase{"cut_off_polyline",
                   {"  0\nSECTION\n  2\nENTITIES\n  0\nPOLYLINE\n  8\nL\n 70\n"},
                   "",
                   warned('a', 10) + said('a', holds_none),
                   no_extents},
        // An LWPOLYLINE cut off is converted with what was read (and its
        // vertices give the extents of an input without them).
        EntityCase{"cut_off_lwpolyline",
                   {"  0\nSECTION\n  2\nENTITIES\n  0\nLWPOLYLINE\n  8\nP\n 10\n1\n 20\n2\n 10\n3"},
                   polyline("P", "0") + vertex("P", "0", "1", "2", "0") + vertex("P", "0", "3", "0", "0") + seqend,
                   warned('a', 14) + said('a', "1 polyline and 2 vertices copied (1 LWPOLYLINE converted)"),
                   header("1", "0", "0", "3", "2", "0")},
        // A flag or elevation that is no number leaves out its polyline, even
        // after the first point, where it is not used; a point's coordinate
        // leaves out that point; the value is warned about on its line.
        EntityCase{"lwpolyline_values_that_are_no_numbers",
                   {entities("  0|LWPOLYLINE|  8|P| 10|1| 20|2| 70|x| 38|-3|  0|LWPOLYLINE|  8|Q| 10|1,5| 20|2| 10|3| "
                             "20|4|  0|LWPOLYLINE|  8|R| 10|5| 20|6|230|z|  0|SEQEND")},
                   polyline("Q", "0") + vertex("Q", "0", "3", "4", "0") + seqend,
                   no_number('a', 14, "x", "its polyline is left out, with its vertices") +
                       said('a',
                            "1 polyline and 1 vertex copied (1 LWPOLYLINE converted); left out: 2 polylines with a "
                            "value that is not a number, 1 vertex with a value that is not a number")},
        // A polyline whose flags are no number is left out with its
        // vertices, whatever they hold; a code line that is no integer ends
        // the entity. One warning per input: the first.
        EntityCase{
            "bad_values_and_codes",
            {entities("  0|POLYLINE|  8|L| 70|x1|  0|VERTEX| 10|1|xyz|VERTEX|2|  0|VERTEX| 10|3| 20|4| 70|1e1|  "
                      "0|SEQEND|" +
                      std::string(in_layout) + "|  0|VERTEX|  8|L| 10|one| 20|2|  0|VERTEX|  8|L| 10|3| 20|4")},
            polyline("L", "0") + vertex("L", "0", "3", "4", "0") + seqend,
            no_number('a', 10, "x1", "its polyline is left out, with its vertices") +
                said('a',
                     "1 polyline and 1 vertex copied (1 entity read by its group codes); left out: 1 polyline with a "
                     "value that is not a number, 1 vertex with a value that is not a number")}),
    [](const auto& info) { return std::string(info.param.label); });

// --- Inputs that are no text DXF drawing ---------------------------------------

// An ordinary drawing, before and after the one that is not.
const std::string good = entities(std::string(in_layout) + "|  0|SEQEND");

// The first bytes of a binary DXF drawing, its name's first word left to `word`.
std::string binary_start(std::string_view word) { return std::string(word) + " Binary DXF\r\n\x1a" + '\0'; }

struct RefusedCase {
  const char* label;
  std::string bytes;
  std::string why;
  std::string survey;  // what the survey of it shows after its file line
};
void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.label; }

class Refused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(Refused, FailsTheRunWithNothingWritten) {
  const RefusedCase& c = GetParam();
  const support::CheckedMerge m = support::checked_merge(support::drawings({good, c.bytes, good}), {16, 1 << 20});
  EXPECT_EQ(m.disagreement, "");
  EXPECT_EQ(m.merged.end, MergeEnd::input_failed);
  EXPECT_EQ(m.merged.result, "");
  EXPECT_EQ(m.merged.errors, said('b', c.why + "; nothing was written"));
  // The survey of the first input and of this one are shown; the third is not read.
  EXPECT_TRUE(m.merged.console.ends_with("\tFile 2 Name : c:\\images\\t\\b.dxf \n\n" + c.survey)) << m.merged.console;
}

const std::string no_section = "not a DXF drawing (it holds no SECTION)";
const std::string is_binary = "a binary DXF drawing, which cannot be read";

INSTANTIATE_TEST_SUITE_P(
    Input, Refused,
    ::testing::Values(RefusedCase{"empty", "", no_section, ""}, RefusedCase{"whitespace", " \r\n\t\n", no_section, ""},
                      RefusedCase{"carriage_returns_alone", std::string(100000, '\r'), no_section, ""},
                      RefusedCase{"section_after_byte_26", "\x1a  0\nSECTION\n", no_section, ""},
                      RefusedCase{"section_not_exactly", "0 section 0 SECTIONS 0 $SECTION 2 ENTITIES", no_section, ""},
                      // Its polylines are counted before the check.
                      RefusedCase{"polylines_without_section", "0 POLYLINE 8 L 66 1 70 0 10 0 20 0 0 SEQEND",
                                  no_section, "\trecord 1            \r        "},
                      // SECTION as an item of an entity is no section.
                      RefusedCase{"section_inside_an_entity", "0\nPOLYLINE\n8\nSECTION\n0\nSEQEND\n", no_section,
                                  "\trecord 1            \r        "},
                      RefusedCase{"binary", binary_start("Drawing") + "  0\nSECTION\n", is_binary, ""},
                      // Near misses are judged as text.
                      RefusedCase{"binary_start_one_byte_longer", binary_start("Drawings"), no_section, ""},
                      RefusedCase{"binary_start_without_its_nul",
                                  binary_start("Drawing").substr(0, 21) + "0 SECTION 2 ENTITIES", no_section, ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Merge, SectionAfterABinaryLookingStartIsADrawing) {
  // The sentinel's CR LF and byte 26 without the NUL after them: the content ends at the byte 26.
  const support::MemoryMerge m = merged({"0 SECTION 2 ENTITIES 0 ENDSEC 0 EOF\nDrawing Binary DXF\r\n\x1a"});
  EXPECT_EQ(m.result, no_extents + closing);
  EXPECT_EQ(m.errors, said('a', holds_none));
}

}  // namespace
