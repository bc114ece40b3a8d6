// Whole merges in-process: survey, console report and the result's bytes.
#include <gtest/gtest.h>

#include <string>

#include "test_env.h"

namespace {

using testenv::closing;
using testenv::crlf;
using testenv::header;
using testenv::ImagesFolder;
using testenv::run;

// One polyline with two vertices; header extents (10.2, 20.9, 0.0) to (110.7, 220.1, 35.5).
const char* const ONE_POLYLINE = R"(  0
SECTION
  2
HEADER
  9
$EXTMIN
 10
10.2
 20
20.9
 30
0.0
  9
$EXTMAX
 10
110.7
 20
220.1
 30
35.5
  0
ENDSEC
  0
SECTION
  2
ENTITIES
  0
LINE
  8
L1
 10
1.0
  0
POLYLINE
  8
L1
 66
1
 70
0
 10
0
 20
0
  0
VERTEX
  8
L1
 70
32
 10
12.5
 20
-12.2
 30
0.49999999999999994
  0
VERTEX
  8
L1
 70
32
 10
-12.7
 20
12.49
 30
7
  0
SEQEND
  8
L1
  0
ENDSEC
  0
EOF
)";

const std::string ONE_POLYLINE_ENTITIES =
    crlf({"POLYLINE", "  8", "L1", "  66", "1", " 70", "     0", " 10", "     0", " 20", "0", "  0",
          "VERTEX", "  8", "L1", " 70", "    32", " 10", "13", " 20", "-11", " 30", "0", "  0",
          "VERTEX", "  8", "L1", " 70", "    32", " 10", "-12", " 20", "12", " 30", "7", "  0",
          "SEQEND", "0"});

// A polyline in the smallest layout: header extents and one vertex.
std::string drawing(const std::string& extmin, const std::string& extmax, const std::string& x) {
  return "0 SECTION 2 HEADER 9 $EXTMIN " + extmin + " 9 $EXTMAX " + extmax +
         " 0 ENDSEC 0 SECTION 2 ENTITIES 0 POLYLINE 8 L 66 1 70 0 10 0 20 0 0 VERTEX 8 L 70 0 10 " + x +
         " 20 1 30 2 0 SEQEND 0 ENDSEC 0 EOF\n";
}

std::string entities_of(const std::string& x) {
  return crlf({"POLYLINE", "  8", "L", "  66", "1", " 70", "     0", " 10", "     0", " 20", "0", "  0",
               "VERTEX", "  8", "L", " 70", "    0", " 10", x, " 20", "1", " 30", "2", "  0", "SEQEND", "0"});
}

const std::string no_extents = header("4000000", "4000000", "100000", "0", "0", "0");

class Merge : public ::testing::Test {
 protected:
  void TearDown() override { reset_state(); }
  std::string result() { return images.read("t", "out"); }
  ImagesFolder images;
};

TEST_F(Merge, OnePolylineGivesTheHeaderItsEntitiesAndOneSectionEnd) {
  images.write("t", "a", ONE_POLYLINE);
  auto r = run("t 1 a out");
  ASSERT_TRUE(r.merge_ok);
  EXPECT_EQ(result(), header("10", "20", "0", "110", "220", "35") + ONE_POLYLINE_ENTITIES + closing);
  const std::string file_line = "\n\n\tFile 1 Name : c:\\images\\t\\a.dxf ";
  const std::string report =
      "\n\n\tTreatment\n" + file_line + "\n\n" + "\trecord 1            \r        " +
      "\n\n\tmin x = 10.200000 min y = 20.900000 \n\tmax x = 110.700000 max y = 220.100000 "
      "\n\tmin z = 0.000000 max z = 35.500000 \n\n" +
      file_line + "\n\n" + "\t record 1            \r     ";
  EXPECT_TRUE(r.shown.ends_with(report)) << r.shown;  // and no final line feed
  EXPECT_EQ(images.entries("t"), 2u);                 // no temporary file left
}

TEST_F(Merge, CrLfInputGivesTheSameResult) {
  std::string input;
  for (const char* p = ONE_POLYLINE; *p; ++p) input += (*p == '\n') ? std::string("\r\n") : std::string(1, *p);
  images.write("t", "a", input);
  ASSERT_TRUE(run("t 1 a out").merge_ok);
  EXPECT_EQ(result(), header("10", "20", "0", "110", "220", "35") + ONE_POLYLINE_ENTITIES + closing);
}

TEST_F(Merge, NoInputsGiveTheInitialExtentsAndAClosedEmptySection) {
  std::filesystem::create_directories(images.root / "t0");
  for (const char* count : {"0", "-3"}) {
    auto r = run(std::string("t0 ") + count + " out");
    ASSERT_TRUE(r.merge_ok);
    EXPECT_EQ(images.read("t0", "out"), no_extents + closing);
    EXPECT_TRUE(r.shown.ends_with(
        "\n\n\tTreatment\n\n\n\tmin x = 4000000.000000 min y = 4000000.000000 \n\tmax x = 0.000000 "
        "max y = 0.000000 \n\tmin z = 100000.000000 max z = 0.000000 \n\n"));
  }
}

TEST_F(Merge, TwoInputsShareOneSectionEnd) {
  images.write("t", "a", drawing("10 5 20 7 30 2", "10 50 20 70 30 20", "1.5"));
  images.write("t", "b", drawing("10 3 20 9 30 4", "10 30 20 90 30 40", "-2.5"));
  ASSERT_TRUE(run("t 2 a b out").merge_ok);
  EXPECT_EQ(result(), header("3", "7", "2", "50", "90", "40") + entities_of("2") + entities_of("-2") + closing);
}

TEST_F(Merge, SameInputNamedTwiceIsPastedTwice) {
  images.write("t", "a", drawing("10 5 20 7 30 2", "10 50 20 70 30 20", "1.5"));
  ASSERT_TRUE(run("t 2 a a out").merge_ok);
  EXPECT_EQ(result(), header("5", "7", "2", "50", "70", "20") + entities_of("2") + entities_of("2") + closing);
}

TEST_F(Merge, ExtentsGroupsInAnyOrderAndRepeated) {
  images.write("t", "a", drawing("20 7 10 5 30 2 10 4", "30 3 20 -8 10 12.9", "0"));
  ASSERT_TRUE(run("t 1 a out").merge_ok);
  // A repeated 10 is folded too; negative maxima leave the initial 0.
  EXPECT_EQ(result(), header("4", "7", "2", "12", "0", "3") + entities_of("0") + closing);
}

TEST_F(Merge, InputWithoutExtentsStillCountsItsPolylines) {
  images.write("t", "a", "0 POLYLINE 0 POLYLINE 0 EOF");
  auto r = run("t 1 a out");
  ASSERT_TRUE(r.merge_ok);
  EXPECT_NE(r.shown.find("\trecord 2            \r        "), std::string::npos);
  EXPECT_NE(r.shown.find("min x = 4000000.000000"), std::string::npos);
}

TEST_F(Merge, ExtentsRepetitionEndsAtAFailedRead) {
  // Input a ends right after a coordinate: its value is folded and the survey goes on.
  // In b a value that is no number ends the repetition without folding anything stale.
  images.write("t", "a", "9 $EXTMIN 10 -5 20");
  images.write("t", "b", "9 $EXTMAX 10 77 20 abc 30 5");
  auto r = run("t 2 a b out");
  ASSERT_TRUE(r.merge_ok);
  EXPECT_EQ(result(), header("-5", "4000000", "100000", "77", "0", "0") + closing);
}

TEST_F(Merge, InputEndingInSeqendWritesItOnce) {
  images.write("t", "a", "SEQEND\n");
  images.write("t", "b", "  0\nSEQEND");
  ASSERT_TRUE(run("t 2 a b out").merge_ok);
  EXPECT_EQ(result(), no_extents + crlf({"SEQEND", "0", "SEQEND", "0"}) + closing);
}

TEST_F(Merge, EmptyInputsContributeNothing) {
  images.write("t", "a", "0 SEQEND\n");
  images.write("t", "b", "");
  images.write("t", "c", " \r\n\t\n");
  images.write("t", "d", "\x1a" "0 SEQEND");
  ASSERT_TRUE(run("t 4 a b c d out").merge_ok);
  EXPECT_EQ(result(), no_extents + crlf({"SEQEND", "0"}) + closing);
}

TEST_F(Merge, KeywordReadAsAnItemIsSeenByTheLaterTests) {
  // The fourth POLYLINE item reads VERTEX: a vertex copy follows at once.
  images.write("t", "a", "POLYLINE 8 L 66 VERTEX 70 0 10 0 20 0 0 8 L 70 0 10 1 20 2 30 3 0");
  ASSERT_TRUE(run("t 1 a out").merge_ok);
  EXPECT_EQ(result(), no_extents +
                          crlf({"POLYLINE", "  8", "L", "  66", "VERTEX", " 70", "     0", " 10", "     0", " 20", "0",
                                "  0", "VERTEX", "  8", "L", " 70", "    0", " 10", "1", " 20", "2", " 30", "3", "  0"}) +
                          closing);
}

TEST_F(Merge, KeywordsAreExactAndCaseSensitive) {
  images.write("t", "a", "polyline POLYLINEX SEQENDS seqend Seqend VERTEX_");
  ASSERT_TRUE(run("t 1 a out").merge_ok);
  EXPECT_EQ(result(), no_extents + closing);
}

TEST_F(Merge, BlocksPolylinesAreCopiedButNoSectionEnd) {
  images.write("t", "a",
               "0 SECTION 2 BLOCKS 0 BLOCK 0 POLYLINE 8 B 66 1 70 0 10 0 20 0 0 SEQEND 0 ENDBLK 0 ENDSEC "
               "0 SECTION 2 ENTITIES 0 ENDSEC 0 EOF");
  ASSERT_TRUE(run("t 1 a out").merge_ok);
  EXPECT_EQ(result(), no_extents +
                          crlf({"POLYLINE", "  8", "B", "  66", "1", " 70", "     0", " 10", "     0", " 20", "0",
                                "  0", "SEQEND", "0"}) +
                          closing);
}

TEST_F(Merge, FailedItemReadsRepeatThePreviousValue) {
  // Item 6 is 0.5: the integer read takes 0 and the later ones fail on ".5",
  // writing the previous value again; a coordinate "x" repeats the previous
  // coordinate (0 at the start) and blocks the integer reads after it.
  images.write("t", "a", "POLYLINE 8 L 66 1 70 0.5 10 0 20 0 0 VERTEX 8 L 70 0 10 x 20 1 30 2 0");
  ASSERT_TRUE(run("t 1 a out").merge_ok);
  EXPECT_EQ(result(), no_extents +
                          crlf({"POLYLINE", "  8", "L", "  66", "1", " 70", "     0", " 0", "     0", " 0", "0",
                                "  0", "VERTEX", "  8", "L", " 70", "    0", " 10", "0", " 10", "0", " 10", "0",
                                "  10"}) +
                          closing);
}

TEST_F(Merge, MissingInputStopsAndLeavesTheExistingResult) {
  images.write("t", "a", ONE_POLYLINE);
  images.write("t", "out", "precious");
  auto r = run("t 2 a missing out");
  EXPECT_TRUE(r.dialogue_ok);
  EXPECT_FALSE(r.merge_ok);
  EXPECT_EQ(result(), "precious");
  EXPECT_EQ(images.entries("t"), 2u);
}

TEST_F(Merge, HugeCoordinatesAreWrittenAsExactIntegers) {
  images.write("t", "a", drawing("10 -3e9 20 0 30 0", "10 1e20 20 0 30 0", "-1e20"));
  ASSERT_TRUE(run("t 1 a out").merge_ok);
  EXPECT_EQ(result(), header("-3000000000", "0", "0", "100000000000000000000", "0", "0") +
                          entities_of("-99999999999999999999") + closing);
}

}  // namespace

namespace {

// Items straddling block boundaries read as they do inside one block.
TEST(MergeBlocks, ResultDoesNotDependOnTheBlockSize) {
  testenv::ImagesFolder images;
  std::string a, b;
  for (int k = 0; k < 60; ++k) {
    a += "  0\r\nPOLYLINE\r\n  8\r\nLAYER" + std::to_string(k) + "\r\n 66\r\n1\r\n 70\r\n     1\r\n 10\r\n0\r\n 20\r\n0\r\n";
    for (int v = 0; v < 5; ++v)
      a += "  0\r\nVERTEX\r\n  8\r\nL\r\n 70\r\n    32\r\n 10\r\n" + std::to_string(k * 1.37 - v * 12.25) +
           "\r\n 20\r\n-" + std::to_string(v) + ".5e1\r\n 30\r\n0.49999999999999994\r\n";
    a += "  0\r\nSEQEND\r\n";
  }
  b = "9 $EXTMIN 10 -12.5 20 7 30 1 9 $EXTMAX 10 99999999999 20 1e3 30 +4 0 " + std::string(300, 'T') +
      " POLYLINE 8 L 66 1 70 0.5 10 -x 20 0 0 VERTEX 8 L 70 0 10 1e 20 . 30 0x7 0 SEQEND";
  images.write("t", "a", a);
  images.write("t", "b", b);
  ASSERT_TRUE(run("t 2 a b out").merge_ok);
  const std::string reference = images.read("t", "out");
  for (std::size_t block : {16u, 17u, 61u, 4096u}) {
    f1.resize_block(block);
    auto r = run("t 2 a b out");
    EXPECT_TRUE(r.merge_ok) << block;
    EXPECT_EQ(images.read("t", "out"), reference) << "block size " << block;
  }
  f1.resize_block(std::size_t{1} << 20);
  reset_state();
}

}  // namespace
