// Whole merges of small drawings in memory: the survey's extents and counts,
// the console report and the result's bytes, as the reading and writing
// rules make them. Each merge is also checked against the reference merge,
// with every acceleration.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "in_process.h"

namespace {

// Lines each ended by CR LF.
std::string crlf(std::initializer_list<std::string_view> lines) {
  std::string s;
  for (std::string_view l : lines) (s += l) += "\r\n";
  return s;
}

// The result's 27 header lines for the given truncated extents.
std::string header(std::string_view minx, std::string_view miny, std::string_view minz, std::string_view maxx,
                   std::string_view maxy, std::string_view maxz) {
  return crlf({"  0", "SECTION", "  2", "HEADER", "  9",     "$EXTMIN", " 10", minx,       " 20",
               miny,  " 30",     minz,  "  9",    "$EXTMAX", " 10",     maxx,  " 20",      maxy,
               " 30", maxz,      "  0", "ENDSEC", "  0",     "SECTION", "  2", "ENTITIES", "  0"});
}

const std::string no_extents = header("4000000", "4000000", "100000", "0", "0", "0");
const std::string closing = "ENDSEC\r\n0\r\nEOF\r\n";

// The merge of the drawings, checked against the reference merge.
support::MemoryMerge merged(std::initializer_list<std::string_view> bytes) {
  support::CheckedMerge m = support::checked_merge(support::drawings(bytes));
  EXPECT_EQ(m.disagreement, "");
  EXPECT_EQ(m.merged.end, MergeEnd::complete);
  return m.merged;
}

TEST(Merge, OnePolylineGivesTheHeaderItsEntitiesAndOneSectionEnd) {
  // Header extents (10.2, 20.9, 0.0) to (110.7, 220.1, 35.5); a LINE that is dropped.
  const support::MemoryMerge m =
      merged({"  0\nSECTION\n  2\nHEADER\n  9\n$EXTMIN\n 10\n10.2\n 20\n20.9\n 30\n0.0\n  9\n$EXTMAX\n 10\n110.7\n 20\n"
              "220.1\n 30\n35.5\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n  8\nL1\n 10\n1.0\n"
              "  0\nPOLYLINE\n  8\nL1\n 66\n1\n 70\n0\n 10\n0\n 20\n0\n"
              "  0\nVERTEX\n  8\nL1\n 70\n32\n 10\n12.5\n 20\n-12.2\n 30\n0.49999999999999994\n"
              "  0\nVERTEX\n  8\nL1\n 70\n32\n 10\n-12.7\n 20\n12.49\n 30\n7\n"
              "  0\nSEQEND\n  8\nL1\n  0\nENDSEC\n  0\nEOF\n"});
  EXPECT_EQ(m.result, header("10", "20", "0", "110", "220", "35") +
                          crlf({"POLYLINE", "  8", "L1",     "  66", "1",      " 70", "     0", " 10", "     0", " 20",
                                "0",        "  0", "VERTEX", "  8",  "L1",     " 70", "    32", " 10", "13",     " 20",
                                "-11",      " 30", "0",      "  0",  "VERTEX", "  8", "L1",     " 70", "    32", " 10",
                                "-12",      " 20", "12",     " 30",  "7",      "  0", "SEQEND", "0"}) +
                          closing);
  const std::string file_line = "\n\n\tFile 1 Name : c:\\images\\t\\a.dxf ";
  EXPECT_EQ(m.console, "\n\n\tTreatment\n" + file_line + "\n\n\trecord 1            \r        " +
                           "\n\n\tmin x = 10.200000 min y = 20.900000 \n\tmax x = 110.700000 max y = 220.100000 "
                           "\n\tmin z = 0.000000 max z = 35.500000 \n\n" +
                           file_line + "\n\n\t record 1            \r     ");
  EXPECT_EQ(m.errors, "");
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
  const support::MemoryMerge m = merged(
      {drawing("10 5 20 7 30 2", "10 50 20 70 30 20", "1.5"), drawing("10 3 20 9 30 4", "10 30 20 90 30 40", "-2.5")});
  EXPECT_EQ(m.result, header("3", "7", "2", "50", "90", "40") + entities_of("2") + entities_of("-2") + closing);
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
  // A repeated 10 is folded too; negative maxima leave the initial 0.
  const support::MemoryMerge m = merged({drawing("20 7 10 5 30 2 10 4", "30 3 20 -8 10 12.9", "0")});
  EXPECT_EQ(m.result, header("4", "7", "2", "12", "0", "3") + entities_of("0") + closing);
}

TEST(Merge, InputWithoutExtentsStillCountsItsPolylines) {
  const support::MemoryMerge m = merged({"0 POLYLINE 0 POLYLINE 0 EOF"});
  EXPECT_NE(m.console.find("\trecord 2            \r        "), std::string::npos);
  EXPECT_NE(m.console.find("min x = 4000000.000000"), std::string::npos);
}

TEST(Merge, ExtentsRepetitionEndsAtAFailedRead) {
  // Input a ends right after a coordinate: its value is folded and the survey
  // goes on. In b a value that is no number ends the repetition without
  // folding anything stale.
  const support::MemoryMerge m = merged({"9 $EXTMIN 10 -5 20", "9 $EXTMAX 10 77 20 abc 30 5"});
  EXPECT_EQ(m.result, header("-5", "4000000", "100000", "77", "0", "0") + closing);
}

TEST(Merge, InputEndingInSeqendWritesItOnce) {
  const support::MemoryMerge m = merged({"SEQEND\n", "  0\nSEQEND"});
  EXPECT_EQ(m.result, no_extents + crlf({"SEQEND", "0", "SEQEND", "0"}) + closing);
}

TEST(Merge, EmptyInputsContributeNothing) {
  // Nothing, whitespace, carriage returns alone, a byte 26 first.
  const std::string carriage_returns(100000, '\r'), byte_26_first = std::string(1, 26) + "0 SEQEND";
  const support::MemoryMerge m = merged({"0 SEQEND\n", "", " \r\n\t\n", carriage_returns, byte_26_first});
  EXPECT_EQ(m.result, no_extents + crlf({"SEQEND", "0"}) + closing);
  EXPECT_EQ(m.errors, "");
}

TEST(Merge, KeywordReadAsAnItemIsSeenByTheLaterTests) {
  // The fourth POLYLINE item reads VERTEX: a vertex copy follows at once.
  const support::MemoryMerge m = merged({"POLYLINE 8 L 66 VERTEX 70 0 10 0 20 0 0 8 L 70 0 10 1 20 2 30 3 0"});
  EXPECT_EQ(m.result, no_extents + crlf({"POLYLINE", "  8", "L", "  66", "VERTEX", " 70", "     0", " 10",
                                         "     0",   " 20", "0", "  0",  "VERTEX", "  8", "L",      " 70",
                                         "    0",    " 10", "1", " 20",  "2",      " 30", "3",      "  0"}) +
                          closing);
}

TEST(Merge, KeywordsAreExactAndCaseSensitive) {
  EXPECT_EQ(merged({"polyline POLYLINEX SEQENDS seqend Seqend VERTEX_ $extmin $EXTMAXX 10 5"}).result,
            no_extents + closing);
}

TEST(Merge, BlocksPolylinesAreCopiedButNoSectionEnd) {
  const support::MemoryMerge m =
      merged({"0 SECTION 2 BLOCKS 0 BLOCK 0 POLYLINE 8 B 66 1 70 0 10 0 20 0 0 SEQEND 0 ENDBLK 0 ENDSEC "
              "0 SECTION 2 ENTITIES 0 ENDSEC 0 EOF"});
  EXPECT_EQ(m.result, no_extents +
                          crlf({"POLYLINE", "  8", "B", "  66", "1", " 70", "     0", " 10", "     0", " 20", "0",
                                "  0", "SEQEND", "0"}) +
                          closing);
}

TEST(Merge, FailedItemReadsRepeatThePreviousValue) {
  // Item 6 is 0.5: the integer read takes 0 and the later ones fail on ".5",
  // writing the previous value again; a coordinate "x" repeats the previous
  // coordinate (0 at the start) and blocks the integer reads after it.
  const support::MemoryMerge m = merged({"POLYLINE 8 L 66 1 70 0.5 10 0 20 0 0 VERTEX 8 L 70 0 10 x 20 1 30 2 0"});
  EXPECT_EQ(m.result, no_extents + crlf({"POLYLINE", "  8", "L", "  66", "1",      " 70", "     0", " 0",
                                         "     0",   " 0",  "0", "  0",  "VERTEX", "  8", "L",      " 70",
                                         "    0",    " 10", "0", " 10",  "0",      " 10", "0",      "  10"}) +
                          closing);
  EXPECT_EQ(m.errors,
            "talvero: warning: c:\\images\\t\\a.dxf, line 1: an item the layout expects is missing; "
            "copied as read\n");
}

}  // namespace
