// The console dialogue, in-process: texts, composed paths, answers taken or
// refused and asked again, the end of the answers, and where paths land.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "in_process.h"
#include "scratch.h"
#include "state.h"
#include "system/host.h"

namespace {

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

std::vector<std::string> input_paths() {
  std::vector<std::string> paths;
  for (int n = 1; n <= num_arch; ++n) paths.emplace_back(reinterpret_cast<const char*>(capas[n].nombre));
  return paths;
}

// An images folder holding maps/a.dxf, maps/b.dxf, maps/alias.dxf (a link to
// a.dxf) and a folder of 111 letters.
class Dialogue : public ::testing::Test {
 protected:
  void SetUp() override {
    restore.state();
    images.write("maps/a.dxf", "");
    images.write("maps/b.dxf", "");
    std::filesystem::create_symlink("a.dxf", images.path("maps/alias.dxf"));
    std::filesystem::create_directory(images.path(std::string(111, 'f')));
  }
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
  EXPECT_EQ(images.entries("maps").size(), 4u);
  EXPECT_TRUE(host::is_temporary_name(std::filesystem::path(f2.temp_path).filename().string())) << f2.temp_path;
  EXPECT_FALSE(host::is_temporary_name("out.dxf"));
  f2.discard();
  EXPECT_EQ(images.entries("maps"), (std::vector<std::string>{"a.dxf", "alias.dxf", "b.dxf"}));
}

// Answers, the questions and refusals they bring after the banner, and the
// paths they compose.
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
  const support::ProgramRun r = support::run_opening(e.answers);
  ASSERT_TRUE(r.opened) << r.errors;
  EXPECT_EQ(r.shown, banner + e.shown);
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
       "maps\n2 x\ny\nout\n",
       names_asked + ask_name(2) + ask_result,
       {"maps/x.dxf", "maps/y.dxf"},
       "maps/out.dxf"},
      {"name_with_extension", "maps 1 a.dxf out", names_asked + ask_result, {"maps/a.dxf.dxf"}, "maps/out.dxf"},
      // Not a number (the token is dropped), a sign without digits, too many, then 1.
      {"refused_counts",
       "maps abc -x 100 1 a out",
       ask_folder + ask_count + not_a_number + ask_count + not_a_number + ask_count + too_many + ask_count +
           ask_name(1) + ask_result,
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
       "maps 1 n\x01\x1b\x7f r\x07\x1b[2J",
       names_asked + ask_result,
       {"maps/n\x01\x1b\x7f.dxf"},
       "maps/r\x07\x1b[2J.dxf"},
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

class AnswersEnd : public Dialogue, public ::testing::WithParamInterface<const char*> {};

TEST_P(AnswersEnd, BeforeTheLastOneCreatesNothing) {
  const support::ProgramRun r = support::run_opening(GetParam());
  EXPECT_FALSE(r.opened);
  EXPECT_EQ(r.errors, "talvero: standard input ended before every answer was given; nothing was written\n");
  EXPECT_FALSE(f2.is_open());
  EXPECT_EQ(images.entries("maps"), (std::vector<std::string>{"a.dxf", "alias.dxf", "b.dxf"}));
}

// A byte 26 ends the answers as it ends a drawing.
INSTANTIATE_TEST_SUITE_P(Dialogue, AnswersEnd,
                         ::testing::Values("", "maps", "maps 2 a", "maps 2 a b", "maps 2 a b ", "maps -", "maps abc",
                                           "maps 1 a\x1a out"));

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

}  // namespace
