// Drawings written by other programs, read where they lie (outside the
// repository, with their own licences; SOURCES.tsv there says what each
// holds): each is merged alone, then all of them at once, without a lost
// entity, with one warning at most per input, and as the reference merge
// does with every acceleration.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "in_process.h"
#include "scratch.h"

namespace {

namespace fs = std::filesystem;
using support::count_lines;

const fs::path corpus_dir = TALVERO_REALWORLD_DIR;

// What SOURCES.tsv says of one file.
struct Source {
  std::size_t polylines = 0, vertices = 0, seqends = 0;
  std::string notes;
};

std::map<std::string, Source> read_sources() {
  std::map<std::string, Source> sources;
  std::ifstream f(corpus_dir / "SOURCES.tsv");
  std::vector<std::string> header;
  for (std::string row; std::getline(f, row);) {
    std::vector<std::string> cells;
    std::stringstream cut(row);
    for (std::string cell; std::getline(cut, cell, '\t');) cells.push_back(cell);
    if (header.empty()) {
      header = cells;
      continue;
    }
    auto cell = [&](std::string_view name) {
      const auto i = static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
      return i < cells.size() ? cells[i] : std::string();
    };
    sources[cell("file")] = {std::stoul(cell("POLYLINE_count")), std::stoul(cell("VERTEX_count")),
                             std::stoul(cell("SEQEND_count")), cell("notes")};
  }
  return sources;
}

// The inputs named in the warnings, each line checked to be a layout
// warning about an input c:\images\rw\<name>.dxf.
std::vector<std::string> warned_inputs(const std::string& errors) {
  const std::string head = "talvero: warning: c:\\images\\rw\\";
  std::vector<std::string> names;
  std::stringstream lines(errors);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t comma = line.find(".dxf, line ");
    const bool well_formed = line.starts_with(head) && comma != std::string::npos &&
                             line.ends_with(": an item the layout expects is missing; copied as read");
    EXPECT_TRUE(well_formed) << "unexpected message: " << line;
    if (well_formed) names.push_back(line.substr(head.size(), comma - head.size()));
  }
  return names;
}

constexpr std::string_view header_start = "  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$EXTMIN\r\n 10\r\n";

// Merges the inputs and checks what holds for any of them: the reference's
// bytes, a whole result no larger than the inputs allow, and every entity
// SOURCES.tsv counts (the words may also appear inside texts).
std::vector<std::string> merge_and_check(const std::vector<reference::Input>& inputs, const Source& expected) {
  const support::CheckedMerge m = support::checked_merge(inputs);
  EXPECT_EQ(m.disagreement, "");
  const std::string& result = m.merged.result;
  std::size_t size = 0;
  for (const reference::Input& in : inputs) size += in.bytes.size();
  EXPECT_TRUE(result.starts_with(header_start) && result.ends_with("EOF\r\n"));
  EXPECT_LE(result.size(), 2 * size + 4096);
  EXPECT_GE(count_lines(result, "POLYLINE"), expected.polylines);
  EXPECT_GE(count_lines(result, "VERTEX"), expected.vertices);
  EXPECT_GE(count_lines(result, "SEQEND"), expected.seqends);
  std::vector<std::string> warned = warned_inputs(m.merged.errors);
  std::vector<std::string> distinct = warned;
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  EXPECT_EQ(distinct.size(), warned.size()) << "an input was warned about twice";
  return warned;
}

class RealWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(corpus_dir))
      GTEST_SKIP() << "no drawings from other programs at " << corpus_dir.string()
                   << " (they are kept outside the repository); nothing to run";
  }
};

TEST_F(RealWorld, EachDrawingMergesAlone) {
  const std::map<std::string, Source> sources = read_sources();
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(corpus_dir))
    if (e.is_regular_file() && e.path().filename() != "SOURCES.tsv") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  for (const fs::path& file : files) {
    const std::string name = fs::relative(file, corpus_dir).string();
    SCOPED_TRACE(name);
    const auto source = sources.find(name);  // none for a licence text: no entities to count
    const Source expected = source != sources.end() ? source->second : Source{};
    const std::vector<std::string> warned =
        merge_and_check({{"c:\\images\\rw\\in.dxf", support::read_file(file)}}, expected);
    // Header coordinates with decimal commas depart from the layout.
    if (expected.notes.find("decimal commas") != std::string::npos) {
      EXPECT_EQ(warned.size(), 1u);
    }
  }
}

TEST_F(RealWorld, AllDrawingsArePastedTogether) {
  std::vector<reference::Input> inputs;
  Source expected;
  for (const auto& [name, source] : read_sources()) {
    if (inputs.size() == 99 || !fs::is_regular_file(corpus_dir / name)) continue;
    inputs.push_back(
        {"c:\\images\\rw\\f" + std::to_string(inputs.size() + 1) + ".dxf", support::read_file(corpus_dir / name)});
    expected.polylines += source.polylines;
    expected.vertices += source.vertices;
    expected.seqends += source.seqends;
  }
  ASSERT_GT(inputs.size(), 1u);
  merge_and_check(inputs, expected);
}

}  // namespace
