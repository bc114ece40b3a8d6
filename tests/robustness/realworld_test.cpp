// Drawings written by other programs, read where they lie (outside the
// repository, with their own licences; SOURCES.tsv there says what each
// holds): each is merged alone, then all of them at once, as the reference
// merge does with every acceleration, every polyline closed, with what
// standard error says matching what was written and one warning at most
// per input. What each result holds, entity by entity, is checked against
// another program's reading of the inputs by tests/interop/corpus_check.py.
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

// What SOURCES.tsv says of one file: how often its keywords stand in it
// (also inside texts).
struct Source {
  std::size_t polylines = 0, lwpolylines = 0;
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
    sources[cell("file")] = {std::stoul(cell("POLYLINE_count")), std::stoul(cell("LWPOLYLINE_count")), cell("notes")};
  }
  return sources;
}

// What standard error says of one input.
struct Said {
  std::size_t warnings = 0;
  std::size_t rounding = 0;          // warnings that rounding puts vertices on their predecessors
  std::vector<std::string> reports;  // what was copied, read, converted or left out
};

// The lines of standard error by input, each checked to be a warning or a
// report about an input c:\images\rw\<name>.dxf.
std::map<std::string, Said> what_was_said(const std::string& errors) {
  const std::string warning = "talvero: warning: c:\\images\\rw\\", report = "talvero: c:\\images\\rw\\";
  std::map<std::string, Said> said;
  std::stringstream lines(errors);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t comma = line.find(".dxf, line "), colon = line.find(".dxf: ");
    if (line.starts_with(warning) && comma != std::string::npos &&
        line.ends_with(": an item the layout expects is missing; copied as read")) {
      ++said[line.substr(warning.size(), comma - warning.size())].warnings;
    } else if (line.starts_with(warning) && colon != std::string::npos &&
               line.ends_with("; --scale=F keeps them apart")) {
      ++said[line.substr(warning.size(), colon - warning.size())].rounding;
    } else if (line.starts_with(report) && colon != std::string::npos) {
      said[line.substr(report.size(), colon - report.size())].reports.push_back(line.substr(colon + 6));
    } else {
      ADD_FAILURE() << "unexpected message: " << line;
    }
  }
  return said;
}

// The polylines and vertices a report says were copied.
std::pair<std::size_t, std::size_t> copied(const std::string& report) {
  if (report.starts_with("nothing was copied from it: it holds no polylines")) return {0, 0};
  const std::size_t and_at = report.find(" and "), copied_at = report.find(" copied");
  EXPECT_NE(copied_at, std::string::npos) << report;
  return {std::stoul(report), and_at < copied_at ? std::stoul(report.substr(and_at + 5)) : 0};
}

constexpr std::string_view header_start = "  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$EXTMIN\r\n 10\r\n";
constexpr std::string_view header_end = "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n  0\r\n";
constexpr std::string_view closing = "ENDSEC\r\n0\r\nEOF\r\n";

// A result's entities: what lies between its header and its closing lines.
std::string entities_of(const std::string& result) {
  const std::size_t from = result.find(header_end);
  if (!result.starts_with(header_start) || from == std::string::npos || !result.ends_with(closing)) {
    ADD_FAILURE() << "not a whole result";
    return {};
  }
  return result.substr(from + header_end.size(), result.size() - closing.size() - from - header_end.size());
}

// Merges one drawing and checks what holds for any: the reference's bytes,
// messages and console; every polyline written closed once; what standard
// error says was copied; no more polylines than the drawing's keywords
// allow; one warning at most.
support::MemoryMerge merge_and_check(const std::string& bytes, const Source& source) {
  const support::CheckedMerge m = support::checked_merge({{"c:\\images\\rw\\in.dxf", bytes}});
  EXPECT_EQ(m.disagreement, "");
  EXPECT_EQ(m.merged.end, MergeEnd::complete);
  const std::string entities = entities_of(m.merged.result);
  const std::size_t polylines = count_lines(entities, "POLYLINE"), vertices = count_lines(entities, "VERTEX");
  EXPECT_EQ(count_lines(entities, "SEQEND"), polylines);
  EXPECT_LE(polylines, source.polylines + source.lwpolylines);
  // An LWPOLYLINE point of two short groups becomes a VERTEX of twelve lines.
  EXPECT_LE(m.merged.result.size(), 8 * bytes.size() + 4096);
  const std::map<std::string, Said> said = what_was_said(m.merged.errors);
  EXPECT_LE(said.size(), 1u);
  const Said& in = said.contains("in") ? said.at("in") : Said{};
  EXPECT_LE(in.warnings, 1u);
  EXPECT_LE(in.rounding, 1u);
  EXPECT_LE(in.reports.size(), 1u);
  if (in.reports.empty()) {
    EXPECT_GT(polylines, 0u) << "nothing said of an input without polylines";
  } else {
    EXPECT_EQ(copied(in.reports[0]), std::pair(polylines, vertices)) << in.reports[0];
  }
  return m.merged;
}

bool is_dxf(const fs::path& file) {
  std::string extension = file.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".dxf";
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
    if (!is_dxf(file)) {
      // A licence text: no drawing, so the run fails with nothing written.
      const support::CheckedMerge m = support::checked_merge({{"c:\\images\\rw\\in.dxf", support::read_file(file)}});
      EXPECT_EQ(m.disagreement, "");
      EXPECT_EQ(m.merged.end, MergeEnd::input_failed);
      EXPECT_EQ(m.merged.errors,
                "talvero: c:\\images\\rw\\in.dxf: not a DXF drawing (it holds no SECTION); nothing was written\n");
      continue;
    }
    const auto source = sources.find(name);
    ASSERT_NE(source, sources.end()) << "SOURCES.tsv does not name it";
    const support::MemoryMerge m = merge_and_check(support::read_file(file), source->second);
    // Header coordinates with decimal commas depart from the layout.
    if (source->second.notes.find("decimal commas") != std::string::npos) {
      EXPECT_NE(m.errors.find("talvero: warning: "), std::string::npos);
    }
  }
}

// Drawings merged together give each one's entities in turn, as each gives
// them alone, and each one's messages: the warnings of the survey, those
// of the writing pass about rounding, then what it says of each.
TEST_F(RealWorld, AllDrawingsArePastedTogether) {
  std::vector<reference::Input> inputs;
  std::string entities, warnings, rounding, reports;
  for (const auto& [name, source] : read_sources()) {
    if (inputs.size() == 99 || !fs::is_regular_file(corpus_dir / name)) continue;
    inputs.push_back(
        {"c:\\images\\rw\\f" + std::to_string(inputs.size() + 1) + ".dxf", support::read_file(corpus_dir / name)});
    const support::MemoryMerge alone = support::merge_in_memory({inputs.back()}, {{false, false}, {}});
    entities += entities_of(alone.result);
    std::stringstream lines(alone.errors);
    for (std::string line; std::getline(lines, line);)
      (!line.starts_with("talvero: warning: ")          ? reports
       : line.ends_with("; --scale=F keeps them apart") ? rounding
                                                        : warnings) += line + "\n";
  }
  ASSERT_GT(inputs.size(), 1u);
  const support::CheckedMerge m = support::checked_merge(inputs);
  EXPECT_EQ(m.disagreement, "");
  EXPECT_TRUE(entities_of(m.merged.result) == entities) << "the entities are not each drawing's in turn";
  EXPECT_EQ(m.merged.errors, warnings + rounding + reports);
}

}  // namespace
