// Drawings written by other programs (kept outside the repository, with their
// own licences; SOURCES.tsv there says what each holds): each is merged alone,
// then all of them at once, without a crash, a hang or a lost entity.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace robustness {
namespace {

using namespace std::chrono_literals;

const fs::path corpus_dir = TALVERO_REALWORLD_DIR;

// What SOURCES.tsv says of one file.
struct Source {
  std::size_t polylines = 0, vertices = 0, seqends = 0;
  std::string notes;
};

std::map<std::string, Source> read_sources() {
  std::map<std::string, Source> sources;
  std::ifstream f(corpus_dir / "SOURCES.tsv");
  std::string row;
  std::vector<std::string> header;
  while (std::getline(f, row)) {
    std::vector<std::string> cells;
    std::stringstream cut(row);
    for (std::string cell; std::getline(cut, cell, '\t');) cells.push_back(cell);
    if (header.empty()) {
      header = cells;
      continue;
    }
    auto cell = [&](std::string_view name) -> std::string {
      auto it = std::find(header.begin(), header.end(), name);
      auto i = static_cast<std::size_t>(it - header.begin());
      return i < cells.size() ? cells[i] : std::string();
    };
    Source s;
    s.polylines = std::stoul(cell("POLYLINE_count"));
    s.vertices = std::stoul(cell("VERTEX_count"));
    s.seqends = std::stoul(cell("SEQEND_count"));
    s.notes = cell("notes");
    sources[cell("file")] = s;
  }
  return sources;
}

std::vector<fs::path> corpus_files() {
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(corpus_dir))
    if (e.is_regular_file() && e.path().filename() != "SOURCES.tsv") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

constexpr std::string_view header_start = "  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$EXTMIN\r\n 10\r\n";
constexpr std::string_view warning_tail = ": an item the layout expects is missing; copied as read";

// The lines of standard error, each checked to be a layout warning about one
// of the inputs named c:\images\rw\<name>.dxf; returns the names warned about.
std::vector<std::string> warned_inputs(const std::string& err) {
  std::vector<std::string> names;
  std::stringstream lines(err);
  for (std::string line; std::getline(lines, line);) {
    const std::string head = "talvero: warning: c:\\images\\rw\\";
    std::size_t comma = line.find(".dxf, line ");
    bool well_formed = line.starts_with(head) && comma != std::string::npos && line.ends_with(warning_tail) &&
                       std::stoull(line.substr(comma + 11)) >= 1;
    EXPECT_TRUE(well_formed) << "unexpected standard error line: " << line;
    if (well_formed) names.push_back(line.substr(head.size(), comma - head.size()));
  }
  return names;
}

class RealWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(corpus_dir))
      GTEST_SKIP() << "no real-world drawings at " << corpus_dir.string()
                   << " (they are kept outside the repository); nothing to run";
    options.images = scratch.root();
    options.limit = 300s;
  }

  Scratch scratch;
  RunOptions options;
};

TEST_F(RealWorld, EachDrawingMergesAlone) {
  std::map<std::string, Source> sources = read_sources();
  std::vector<fs::path> files = corpus_files();
  ASSERT_FALSE(files.empty());
  for (const fs::path& file : files) {
    std::string name = fs::relative(file, corpus_dir).string();
    SCOPED_TRACE(name);
    std::string input = read_file(file);
    scratch.write("rw/in.dxf", input);
    fs::remove(scratch.root() / "rw/out.dxf");
    RunResult r = run_tool("rw\n1\nin\nout\n", options);
    std::string result = read_file(scratch.root() / "rw/out.dxf");

    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(result.starts_with(header_start) && result.ends_with("EOF\r\n"));
    EXPECT_LE(result.size(), 2 * input.size() + 4096);
    EXPECT_EQ(scratch.temporaries(), std::vector<std::string>{});

    std::vector<std::string> warned = warned_inputs(r.err);
    EXPECT_LE(warned.size(), 1u) << "one warning at most per input";
    if (!warned.empty()) {
      std::size_t line = std::stoull(r.err.substr(r.err.find(".dxf, line ") + 11));
      EXPECT_LE(line, static_cast<std::size_t>(std::count(input.begin(), input.end(), '\n')) + 1);
    }

    auto source = sources.find(name);
    if (source == sources.end()) continue;  // a licence text: no entities to count
    // Every entity reaches the result; the words may also appear inside texts.
    EXPECT_GE(count_lines(result, "POLYLINE"), source->second.polylines);
    EXPECT_GE(count_lines(result, "VERTEX"), source->second.vertices);
    EXPECT_GE(count_lines(result, "SEQEND"), source->second.seqends);
    // Header coordinates with decimal commas depart from the layout.
    if (source->second.notes.find("decimal commas") != std::string::npos) {
      EXPECT_EQ(warned.size(), 1u);
    }
  }
}

TEST_F(RealWorld, AllDrawingsArePastedTogether) {
  std::map<std::string, Source> sources = read_sources();
  std::string answers;
  std::size_t count = 0, total_size = 0;
  Source expected;
  for (const auto& [name, source] : sources) {
    if (count == 99) break;
    std::string input = read_file(corpus_dir / name);
    if (input == "<missing>") continue;
    ++count;
    std::string base = "f" + std::to_string(count);
    scratch.write("rw/" + base + ".dxf", input);
    answers += base + "\n";
    total_size += input.size();
    expected.polylines += source.polylines;
    expected.vertices += source.vertices;
    expected.seqends += source.seqends;
  }
  ASSERT_GT(count, 1u);
  RunResult r = run_tool("rw\n" + std::to_string(count) + "\n" + answers + "all\n", options);
  std::string result = read_file(scratch.root() / "rw/all.dxf");
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_TRUE(result.starts_with(header_start) && result.ends_with("EOF\r\n"));
  EXPECT_LE(result.size(), 2 * total_size + 4096);
  EXPECT_GE(count_lines(result, "POLYLINE"), expected.polylines);
  EXPECT_GE(count_lines(result, "VERTEX"), expected.vertices);
  EXPECT_GE(count_lines(result, "SEQEND"), expected.seqends);
  std::vector<std::string> warned = warned_inputs(r.err);
  std::vector<std::string> distinct = warned;
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  EXPECT_EQ(distinct.size(), warned.size()) << "an input was warned about twice";
  EXPECT_EQ(scratch.temporaries(), std::vector<std::string>{});
}

}  // namespace
}  // namespace robustness
