// The merge fuzzer's bound on the work of block references
// (fuzz/placement_bound.h) is never below what a merge with --inserts
// places: were it, the fuzzer would place grids and nestings that run it
// out of memory again.
#include "placement_bound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "in_process.h"

namespace {

const auto& lines = support::spaced_lines;

// The polylines and vertices the block references of the drawings place in
// a pass: those a merge with --inserts writes beyond those it writes without
// (0 when the drawings are not merged).
double placed(const std::vector<std::string>& inputs) {
  std::vector<reference::Input> named;
  for (std::size_t k = 0; k < inputs.size(); ++k) named.push_back({"c:\\images\\t\\" + std::to_string(k), inputs[k]});
  MergeOptions with;
  with.drawing.inserts = true;
  const support::MemoryMerge placing = support::merge_in_memory(named, with);
  const support::MemoryMerge plain = support::merge_in_memory(named);
  if (placing.end != MergeEnd::complete || plain.end != MergeEnd::complete) return 0;  // nothing written
  return static_cast<double>(placing.totals.polylines + placing.totals.vertices) -
         static_cast<double>(plain.totals.polylines + plain.totals.vertices);
}

constexpr double budget = 20000;  // as the fuzzer's

double bound(const std::vector<std::string>& inputs) {
  double work = 0;
  for (const std::string& input : inputs) work += placement::placing_work(input, budget);
  return work;
}

const std::string square =  // base (1,1): a closed LWPOLYLINE of four points on layer 0
    "0 SECTION 2 BLOCKS 0 BLOCK 8 0 2 SQ 70 0 10 1 20 1 30 0 "
    "0 LWPOLYLINE 8 0 90 4 70 1 10 0 20 0 10 10 20 0 10 10 20 5 10 0 20 5 0 ENDBLK 8 0 0 ENDSEC ";

std::string entities(std::string_view body) { return "0 SECTION 2 ENTITIES " + std::string(body) + "0 ENDSEC 0 EOF"; }

// Blocks B0 .. B(depth-1), each inserting the next `fan` times; the last holds a polyline.
std::string fanned(int depth, int fan) {
  std::string text = "0 SECTION 2 BLOCKS ";
  for (int k = 0; k < depth; ++k) {
    text += "0 BLOCK 2 B" + std::to_string(k) + " 10 0 20 0 ";
    if (k + 1 == depth) text += "0 LWPOLYLINE 10 0 20 0 10 1 20 1 ";
    for (int f = 0; f < fan && k + 1 < depth; ++f) text += "0 INSERT 2 b" + std::to_string(k + 1) + " 10 0 20 0 ";
    text += "0 ENDBLK ";
  }
  return text + "0 ENDSEC " + entities("0 INSERT 2 B0 10 0 20 0 ");
}

TEST(PlacementBound, IsNeverBelowWhatTheMergePlaces) {
  const struct {
    const char* what;
    std::vector<std::string> inputs;
  } cases[] = {
      {"one reference", {lines(square + entities("0 INSERT 8 A 2 SQ 10 5 20 5 "))}},
      {"a grid, turned", {lines(square + entities("0 INSERT 2 SQ 10 0 20 0 50 30 70 3 71 2 44 20 45 15 "))}},
      {"a grid along one way, its rows at spacing 0",
       {lines(square + entities("0 INSERT 2 SQ 70 4 71 9 44 10 45 0 "))}},
      {"counts below 1, and counts given twice",
       {lines(square + entities("0 INSERT 2 SQ 70 0 71 -3 44 1 45 1 0 INSERT 2 SQ 70 2 70 5 44 1 "))}},
      {"a name in other capitals", {lines(square + entities("0 INSERT 2 sq 10 0 20 0 0 INSERT 2 Sq 70 2 44 3 "))}},
      {"fanned out: two references to the next block at each level", {lines(fanned(6, 2))}},
      {"a block inserting itself and another",
       {lines("0 SECTION 2 BLOCKS 0 BLOCK 2 A 10 0 20 0 0 LWPOLYLINE 10 0 20 0 10 1 20 1 0 INSERT 2 A "
              "0 INSERT 2 B 70 2 44 1 0 ENDBLK 0 BLOCK 2 B 0 INSERT 2 A 0 LWPOLYLINE 10 0 20 0 0 ENDBLK 0 ENDSEC " +
              entities("0 INSERT 2 A 0 INSERT 2 B "))}},
      {"a block defined again, larger",
       {lines(square +
              "0 SECTION 2 BLOCKS 0 BLOCK 2 SQ 0 POLYLINE 66 1 70 0 0 VERTEX 10 1 20 1 0 VERTEX 10 2 20 2 "
              "0 VERTEX 10 3 20 3 0 SEQEND 0 LWPOLYLINE 10 0 20 0 10 1 20 1 10 2 20 2 0 ENDBLK 0 ENDSEC " +
              entities("0 INSERT 2 SQ 70 2 71 2 44 1 45 1 "))}},
      {"CR LF lines, blanks around codes, words after the keyword",
       {"  0\r\nSECTION\r\n  2\r\nBLOCKS\r\n  0\r\nBLOCK\r\n  2\r\nQ\r\n  0\r\nLWPOLYLINE\r\n 10\r\n0\r\n 20\r\n0\r\n"
        " 10\r\n1\r\n 20\r\n1\r\n  0\r\nENDBLK\r\n  0\r\nENDSEC\r\n  0\r\nSECTION\r\n  2\r\nENTITIES\r\n"
        "  0\r\nINSERT and more words\r\n\t2 \r\nq\r\n 70\t\r\n 6\r\n\t44\r\n2.5\r\n  0\r\nENDSEC\r\n  0\r\nEOF\r\n"}},
      {"two drawings, each its own blocks",
       {lines(square + entities("0 INSERT 2 SQ 70 3 44 1 ")), lines(square + entities("0 INSERT 2 SQ 71 4 45 1 "))}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const double done = placed(c.inputs);
    EXPECT_GT(done, 0);
    EXPECT_LE(done, bound(c.inputs));
  }
}

// The fuzzer's seeds are merged with --inserts where their bound allows.
TEST(PlacementBound, IsNeverBelowWhatTheMergePlacesOfTheFuzzersSeeds) {
  const std::filesystem::path seeds = std::filesystem::path(TALVERO_SOURCE_DIR) / "fuzz/corpus/fuzz_merge";
  int with_blocks = 0;
  for (const auto& entry : std::filesystem::directory_iterator(seeds)) {
    SCOPED_TRACE(entry.path().string());
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::string all = bytes.str();
    std::vector<std::string> inputs = {all};
    constexpr std::string_view separator = "\n--8<--\n";  // two drawings, as the fuzzer cuts them
    if (const std::size_t cut = all.find(separator); cut != std::string::npos)
      inputs = {all.substr(0, cut), all.substr(cut + separator.size())};
    const double work = bound(inputs);
    EXPECT_LE(placed(inputs), work);
    with_blocks += work > 0;
    EXPECT_LE(work, budget);
  }
  EXPECT_GE(with_blocks, 3);
}

// Grids and nestings that would run the fuzzer out of memory are above the
// budget: the bound counts them whole (placing them here would take minutes).
TEST(PlacementBound, CountsLargeGridsAndNestingsWhole) {
  EXPECT_GE(bound({lines(square + entities("0 INSERT 2 SQ 70 32767 71 32767 44 1 45 1 "))}), 32767.0 * 32767.0);
  EXPECT_GE(bound({lines(square + entities("0 INSERT 2 SQ 70 2147483647 44 1 "))}), 2147483647.0);
  EXPECT_GT(bound({lines(fanned(40, 2))}), budget);
  EXPECT_GT(bound({lines(fanned(8, 8))}), budget);
  EXPECT_GE(bound({lines(fanned(12, 2))}), std::pow(2.0, 11));
}

}  // namespace
