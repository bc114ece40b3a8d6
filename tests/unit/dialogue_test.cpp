// The console dialogue, in-process: texts, composed paths, answers taken or
// refused and asked again at a terminal, piped answers that do not fit the
// questions, where paths land, and what a whole run leaves: its closing line
// and the result's mode.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "in_process.h"
#include "scratch.h"
#include "state.h"
#include "system/host.h"

namespace {

namespace fs = std::filesystem;
using support::composed;
using namespace std::string_literals;

const std::string banner =
    "\n\t***********************************************************"
    "\n\t*                                                         *"
    "\n\t*                                                         *"
    "\n\t*                        TALVERO                          *"
    "\n\t*                                                         *"
    "\n\t*                                                         *"
    "\n\t*                                                         *"
    "\n\t*                                                         *"
    "\n\t*                                                         *"
    "\n\t*      Pastes DXF drawings - by the TALVERO developers    *"
    "\n\t*                         2026                            *"
    "\n\t*                                                         *"
    "\n\t***********************************************************";
const std::string ask_folder = "\n\n\tName of the File Folder located in the Directory C:\\images : ";
const std::string ask_count = "\n\n\tNumber of Files to paste ? ";
const std::string ask_result = "\n\n\tName of the resulting dxf File (without extension .dxf) ? ";
std::string ask_name(int n) {
  return "\n\n\tName of the dxf File number " + std::to_string(n) + " (without extension .dxf) ? ";
}
const std::string not_a_number = "\n\tPlease answer with a whole number of files.";
const std::string too_many = "\n\tAt most 99 files can be pasted at once.";
const std::string too_long = "\n\tThat name makes the path longer than 127 characters.";
const std::string an_input = "\n\tThe resulting file cannot be one of the files to paste.";
// Refusals that name a path give its composed form and where it lies, below
// the images folder ("{images}" in the texts, its path at run time).
std::string both(const std::string& relative) { return composed(relative) + " ({images}/" + relative + ")"; }
std::string no_folder(const std::string& relative) { return "\n\tThere is no folder " + both(relative + "/") + "."; }
std::string cannot_open(const std::string& relative, const std::string& reason) {
  return "\n\tCannot open " + both(relative) + ": " + reason + ".";
}
std::string write_protected(const std::string& relative) {
  return "\n\tWrite-protected, not replaced: " + both(relative) + ".";
}

std::vector<std::string> input_paths() {
  std::vector<std::string> paths;
  for (int n = 1; n <= num_arch; ++n) paths.emplace_back(reinterpret_cast<const char*>(capas[n].nombre));
  return paths;
}

// An images folder holding maps/a.dxf, maps/b.dxf, maps/alias.dxf (a link to
// a.dxf), maps/locked.dxf (write-protected), a folder maps/sub.dxf, x.dxf in
// a folder of 111 letters, and a drawing named with control bytes in odd/.
class Dialogue : public ::testing::Test {
 protected:
  void SetUp() override {
    restore.state();
    images.write("maps/a.dxf", "");
    images.write("maps/b.dxf", "");
    fs::create_symlink("a.dxf", images.path("maps/alias.dxf"));
    fs::permissions(images.write("maps/locked.dxf", ""), fs::perms::owner_read | fs::perms::group_read);
    fs::create_directory(images.path("maps/sub.dxf"));
    images.write(std::string(111, 'f') + "/x.dxf", "");
    images.write("odd/n\x01\x1b\x7f.dxf", "");
  }
  // The text with "{images}" standing for the images folder's path.
  [[nodiscard]] std::string on_this_host(std::string text) const {
    for (std::size_t at; (at = text.find("{images}")) != std::string::npos;)
      text.replace(at, 8, images.root().string());
    return text;
  }
  const std::vector<std::string> maps = {"a.dxf", "alias.dxf", "b.dxf", "locked.dxf", "sub.dxf"};
  support::ScratchImages images;
  support::Restore restore;
};

TEST_F(Dialogue, ComposesPathsAndCreatesTheResultUnderATemporaryName) {
  const support::ProgramRun r = support::run_opening("maps\n2\na\nb\nout\n");
  ASSERT_TRUE(r.opened) << r.errors;
  EXPECT_EQ(r.shown, banner + ask_folder + ask_count + ask_name(1) + ask_name(2) + ask_result);
  EXPECT_EQ(r.errors, "");
  EXPECT_STREQ(nomgen, "c:\\images\\maps\\");
  EXPECT_EQ(input_paths(), (std::vector<std::string>{composed("maps/a.dxf"), composed("maps/b.dxf")}));
  EXPECT_EQ(capas[0].nombre[0], 0);
  EXPECT_EQ(f2.composed, composed("maps/out.dxf"));
  ASSERT_TRUE(f2.is_open());
  EXPECT_EQ(images.entries("maps").size(), maps.size() + 1);
  EXPECT_TRUE(host::is_temporary_name(std::filesystem::path(f2.temp_path).filename().string())) << f2.temp_path;
  EXPECT_FALSE(host::is_temporary_name("out.dxf"));
  f2.discard();
  EXPECT_EQ(images.entries("maps"), maps);
}

// Answers typed at a terminal, the questions and refusals they bring after
// the banner, and the paths they compose.
struct Exchange {
  const char* label;
  std::string answers;
  std::string shown;
  std::vector<std::string> inputs;  // relative to the images folder
  std::string result;
};
void PrintTo(const Exchange& e, std::ostream* os) { *os << e.label; }

class Answers : public Dialogue, public ::testing::WithParamInterface<Exchange> {};

TEST_P(Answers, AreTakenOrRefusedAndAskedAgain) {
  const Exchange& e = GetParam();
  const support::ProgramRun r = support::run_opening(e.answers, true);
  ASSERT_TRUE(r.opened) << r.errors;
  EXPECT_EQ(r.shown, banner + on_this_host(e.shown));
  std::vector<std::string> inputs;
  for (const std::string& relative : e.inputs) inputs.push_back(composed(relative));
  EXPECT_EQ(input_paths(), inputs);
  EXPECT_EQ(f2.composed, composed(e.result));
}

const std::string megabyte(std::size_t{1} << 20, 'm');
const std::string names_asked = ask_folder + ask_count + ask_name(1);

std::vector<Exchange> exchanges() {
  std::vector<Exchange> all = {
      {"count_zero", "maps 0 out", ask_folder + ask_count + ask_result, {}, "maps/out.dxf"},
      {"count_negative", "maps -3 out", ask_folder + ask_count + ask_result, {}, "maps/out.dxf"},
      {"typed_ahead",
       "maps\n2 b\na\nout\n",
       names_asked + ask_name(2) + ask_result,
       {"maps/b.dxf", "maps/a.dxf"},
       "maps/out.dxf"},
      // No extension is taken off: a.dxf names a.dxf.dxf, which is not there.
      {"name_with_extension",
       "maps 1 a.dxf a out",
       names_asked + cannot_open("maps/a.dxf.dxf", "No such file or directory") + ask_name(1) + ask_result,
       {"maps/a.dxf"},
       "maps/out.dxf"},
      // The count is one whole token of an optional sign and digits.
      {"refused_counts",
       "maps abc -x 2.5 2x 1e1 + 100 +1 a out",
       ask_folder + ask_count + not_a_number + ask_count + not_a_number + ask_count + not_a_number + ask_count +
           not_a_number + ask_count + not_a_number + ask_count + not_a_number + ask_count + too_many + ask_count +
           ask_name(1) + ask_result,
       {"maps/a.dxf"},
       "maps/out.dxf"},
      {"refused_folders",
       "nowhere maps\\a.dxf maps 1 a out",
       ask_folder + no_folder("nowhere") + ask_folder + no_folder("maps/a.dxf") + names_asked + ask_result,
       {"maps/a.dxf"},
       "maps/out.dxf"},
      {"refused_drawings",
       "maps 2 gone sub a gone b out",
       names_asked + cannot_open("maps/gone.dxf", "No such file or directory") + ask_name(1) +
           cannot_open("maps/sub.dxf", "it is a folder") + ask_name(1) + ask_name(2) +
           cannot_open("maps/gone.dxf", "No such file or directory") + ask_name(2) + ask_result,
       {"maps/a.dxf", "maps/b.dxf"},
       "maps/out.dxf"},
      {"write_protected_result",
       "maps 1 a locked out",
       names_asked + ask_result + write_protected("maps/locked.dxf") + ask_result,
       {"maps/a.dxf"},
       "maps/out.dxf"},
      {"count_of_control_bytes",
       "maps \x01\x02\x7f 1 a out",
       ask_folder + ask_count + not_a_number + ask_count + ask_name(1) + ask_result,
       {"maps/a.dxf"},
       "maps/out.dxf"},
      {"count_a_megabyte_long",
       "maps " + megabyte + " 1" + std::string(std::size_t{1} << 20, '0') + " 1 a out",
       ask_folder + ask_count + not_a_number + ask_count + too_many + ask_count + ask_name(1) + ask_result,
       {"maps/a.dxf"},
       "maps/out.dxf"},
      // "c:\images\" + 112 + "\" + "x.dxf" makes 128 characters.
      {"paths_of_128_characters",
       std::string(112, 'f') + " " + std::string(111, 'f') + " 1 nn x zz y",
       ask_folder + too_long + names_asked + too_long + ask_name(1) + ask_result + too_long + ask_result,
       {std::string(111, 'f') + "/x.dxf"},
       std::string(111, 'f') + "/y.dxf"},
      {"answers_a_megabyte_long",
       megabyte + " maps 1 " + megabyte + " a " + megabyte + " out",
       ask_folder + too_long + names_asked + too_long + ask_name(1) + ask_result + too_long + ask_result,
       {"maps/a.dxf"},
       "maps/out.dxf"},
      {"result_named_like_an_input",
       "maps 2 a b A B c",
       names_asked + ask_name(2) + ask_result + an_input + ask_result + an_input + ask_result,
       {"maps/a.dxf", "maps/b.dxf"},
       "maps/c.dxf"},
      {"result_is_an_input_under_another_name",
       "maps 1 a alias other",
       names_asked + ask_result + an_input + ask_result,
       {"maps/a.dxf"},
       "maps/other.dxf"},
      {"nul_byte_ends_a_name",
       "maps\0skipped 1 a\0skipped out\0skipped"s,
       names_asked + ask_result,
       {"maps/a.dxf"},
       "maps/out.dxf"},
      {"control_bytes_stay_in_names",
       "odd 1 n\x01\x1b\x7f r\x07\x1b[2J",
       names_asked + ask_result,
       {"odd/n\x01\x1b\x7f.dxf"},
       "odd/r\x07\x1b[2J.dxf"},
  };
  Exchange most{"ninety_nine_inputs", "maps 99", ask_folder + ask_count, {}, "maps/out.dxf"};
  for (int n = 1; n <= 99; ++n) {
    most.answers += " a";
    most.shown += ask_name(n);
    most.inputs.push_back("maps/a.dxf");
  }
  most.answers += " out";
  most.shown += ask_result;
  all.push_back(most);
  return all;
}

INSTANTIATE_TEST_SUITE_P(Dialogue, Answers, ::testing::ValuesIn(exchanges()),
                         [](const auto& info) { return std::string(info.param.label); });

// Piped answers that end before the last question, go on after it, or are
// refused: each answer after a refused one would answer the question before.
struct Misfit {
  std::string answers;
  std::string error;  // "{images}" standing for the images folder's path
};
void PrintTo(const Misfit& m, std::ostream* os) { *os << ::testing::PrintToString(m.answers.substr(0, 200)); }

class AnswersThatDoNotFit : public Dialogue, public ::testing::WithParamInterface<Misfit> {};

TEST_P(AnswersThatDoNotFit, CreateNothingAndSayWhy) {
  const support::ProgramRun r = support::run_opening(GetParam().answers);
  EXPECT_FALSE(r.opened);
  EXPECT_EQ(r.errors, on_this_host("talvero: " + GetParam().error + "; nothing was written\n"));
  EXPECT_FALSE(f2.is_open());
  EXPECT_EQ(images.entries("maps"), maps);
  EXPECT_EQ(images.read("maps/b.dxf"), "");
}

const std::string ended = "standard input ended before every answer was given";
std::string left_over(const std::string& word) {
  return "the answers do not match the questions: '" + word + "' is left over after the last one";
}
std::string refused(const std::string& answer, const std::string& why) {
  return "the answer '" + answer + "' is refused: " + why;
}

INSTANTIATE_TEST_SUITE_P(
    Dialogue, AnswersThatDoNotFit,
    ::testing::Values(
        Misfit{"", ended}, Misfit{"maps", ended}, Misfit{"maps 2 a", ended}, Misfit{"maps 2 a b", ended},
        Misfit{"maps 2 a b ", ended}, Misfit{"maps -", refused("-", "it is not a whole number of files")},
        Misfit{"maps abc 1 a out", refused("abc", "it is not a whole number of files")},
        // A byte 26 ends the answers as it ends a drawing.
        Misfit{"maps 1 a\x1a out", ended}, Misfit{"maps 1 a out extra", left_over("extra")},
        // A count one too low: b would have been replaced.
        Misfit{"maps 1 a b out\n", left_over("out")},
        // A name with a space in it: "a" and "b" would have been merged into "out".
        Misfit{"maps\n2\na gone\nb\nout\n",
               refused("gone", "cannot open " + composed("maps/gone.dxf") +
                                   " ({images}/maps/gone.dxf): No such file or directory")},
        Misfit{"maps 1 sub out",
               refused("sub", "cannot open " + composed("maps/sub.dxf") + " ({images}/maps/sub.dxf): it is a folder")},
        Misfit{"nowhere maps 1 a out",
               refused("nowhere", "there is no folder " + composed("nowhere/") + " ({images}/nowhere/)")},
        Misfit{"maps 100 a out", refused("100", "at most 99 files can be pasted at once")},
        Misfit{"maps 1 a A out", refused("A", "the resulting file cannot be one of the files to paste")},
        Misfit{"maps 1 a locked out",
               refused("locked", composed("maps/locked.dxf") +
                                     " ({images}/maps/locked.dxf) is write-protected: it is not replaced")},
        // A megabyte-long answer is quoted cut short.
        Misfit{megabyte + " maps 1 a out",
               refused(std::string(127, 'm') + "...", "that name makes the path longer than 127 characters")}));

TEST(ImagesFolder, ComposedPathsLandInTheFolderThatStandsForIt) {
  support::Restore restore;
  const std::string path = "c:\\images\\maps\\sub\\a.dxf";
  restore.env("TALVERO_IMAGES", "/data/scans");
  EXPECT_EQ(host::map_path(path), "/data/scans/maps/sub/a.dxf");
  restore.env("TALVERO_IMAGES", "/data/scans/");
  EXPECT_EQ(host::map_path(path), "/data/scans/maps/sub/a.dxf");
  restore.env("TALVERO_IMAGES", "");
  EXPECT_EQ(host::map_path(path), "images/maps/sub/a.dxf");
  restore.env("TALVERO_IMAGES", std::nullopt);
  EXPECT_EQ(host::map_path(path), "images/maps/sub/a.dxf");
}

TEST(ImagesFolder, WhenNotSetAFolderRefusalSaysWhatCanSetIt) {
  support::Restore restore;
  restore.state();
  restore.env("TALVERO_IMAGES", std::nullopt);
  const support::ProgramRun r = support::run_opening("nowhere", true);
  EXPECT_FALSE(r.opened);
  EXPECT_EQ(r.shown, banner + ask_folder +
                         "\n\tThere is no folder c:\\images\\nowhere\\ (images/nowhere/); TALVERO_IMAGES can name the "
                         "folder that stands for c:\\images\\." +
                         ask_folder);
}

// --- What a whole run leaves ------------------------------------------------

TEST_F(Dialogue, ACompleteRunEndsWithALineSayingWhereTheResultIsAndWhatItHolds) {
  for (const char* name : {"north.dxf", "south.dxf"})
    images.write(std::string("demo/") + name,
                 support::read_file(fs::path(TALVERO_SOURCE_DIR) / "examples/images/demo" / name));
  images.write("maps/one.dxf",
               "0 SECTION 2 ENTITIES 0 POLYLINE 8 L 66 1 70 0 10 0 20 0 0 VERTEX 8 L 70 0 10 1 20 2 30 3 0 SEQEND 0 "
               "ENDSEC 0 EOF");
  const struct {
    const char* answers;
    std::string result;
    std::string holds;
  } runs[] = {{"demo 2 north south merged", "demo/merged.dxf", "2 drawings, 9 polylines, 324 vertices"},
              {"maps 1 one out", "maps/out.dxf", "1 drawing, 1 polyline, 1 vertex"},
              {"maps 0 out", "maps/out.dxf", "0 drawings, 0 polylines, 0 vertices"}};
  for (const auto& run : runs) {
    for (const support::NamedAcceleration& a : support::accelerations()) {
      SCOPED_TRACE(std::string(run.answers) + ", " + a.name);
      const support::ProgramRun r = support::run_program(run.answers, {a.fast, {}});
      EXPECT_TRUE(r.merged);
      // After what was said of each input (the sample drawings' texts are left out).
      EXPECT_TRUE(r.errors.ends_with("talvero: wrote " + composed(run.result) + " (" +
                                     images.path(run.result).string() + "): " + run.holds + "\n"))
          << r.errors;
    }
  }
}

TEST_F(Dialogue, AReplacedResultKeepsItsPermissionBitsANewOneHasTheUsualOnes) {
  const mode_t umask_was = ::umask(027);
  restore.later([umask_was] { ::umask(umask_was); });
  images.write("maps/a.dxf", "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF\n");  // a drawing, with nothing in it
  const fs::path earlier = images.write("maps/earlier.dxf", "an earlier result");
  fs::permissions(earlier, fs::perms(0606));
  ASSERT_TRUE(support::run_program("maps 1 a earlier").merged);
  ASSERT_TRUE(support::run_program("maps 1 a new").merged);
  EXPECT_NE(images.read("maps/earlier.dxf"), "an earlier result");
  EXPECT_EQ(fs::status(earlier).permissions(), fs::perms(0606));
  EXPECT_EQ(fs::status(images.path("maps/new.dxf")).permissions(), fs::perms(0640));
}

}  // namespace
