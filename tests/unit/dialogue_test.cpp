// The console dialogue: texts, composed paths, refused answers, early end.
#include <gtest/gtest.h>

#include <string>

#include "host.h"
#include "test_env.h"

namespace {

using testenv::ImagesFolder;
using testenv::run;

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
std::string path(int n) { return reinterpret_cast<const char*>(capas[n].nombre); }

class Dialogue : public ::testing::Test {
 protected:
  void SetUp() override {
    images.write("maps", "a", "");
    images.write("maps", "b", "");
  }
  void TearDown() override { reset_state(); }
  ImagesFolder images;
};

TEST_F(Dialogue, ComposesPathsAndShowsEveryQuestion) {
  reset_state();
  std::string shown;
  console.attach_memory("maps\n2\na\nb\nout\n", &shown);
  ASSERT_TRUE(opening());
  console.flush();
  EXPECT_EQ(shown, banner + ask_folder + ask_count + ask_name(1) + ask_name(2) + ask_result);
  EXPECT_EQ(num_arch, 2);
  EXPECT_STREQ(nomgen, "c:\\images\\maps\\");
  EXPECT_EQ(path(1), "c:\\images\\maps\\a.dxf");
  EXPECT_EQ(path(2), "c:\\images\\maps\\b.dxf");
  EXPECT_EQ(capas[0].nombre[0], 0);
  EXPECT_EQ(f2.composed, "c:\\images\\maps\\out.dxf");
  EXPECT_TRUE(f2.is_open());
  // The temporary file is recognisable as one, and a drawing is not.
  EXPECT_TRUE(host::is_temporary_name(std::filesystem::path(f2.temp_path).filename().string()));
  EXPECT_FALSE(host::is_temporary_name("out.dxf"));
  f2.discard();
  EXPECT_EQ(images.entries("maps"), 2u);  // the temporary file is gone again
}

TEST_F(Dialogue, CountOfZeroGoesStraightToTheResultName) {
  reset_state();
  std::string shown;
  console.attach_memory("maps 0 out", &shown);
  ASSERT_TRUE(opening());
  console.flush();
  EXPECT_EQ(shown, banner + ask_folder + ask_count + ask_result);
  f2.discard();
}

TEST_F(Dialogue, TypeAheadAnswersTheNextQuestion) {
  reset_state();
  std::string shown;
  console.attach_memory("maps\n2 x\ny\nout\n", &shown);
  ASSERT_TRUE(opening());
  EXPECT_EQ(path(1), "c:\\images\\maps\\x.dxf");
  EXPECT_EQ(path(2), "c:\\images\\maps\\y.dxf");
  EXPECT_EQ(path(1), "c:\\images\\maps\\x.dxf");
  f2.discard();
}

TEST_F(Dialogue, NamesAreUsedAsTyped) {
  reset_state();
  std::string shown;
  console.attach_memory("maps 1 a.dxf out", &shown);
  ASSERT_TRUE(opening());
  EXPECT_EQ(path(1), "c:\\images\\maps\\a.dxf.dxf");
  f2.discard();
}

TEST_F(Dialogue, RefusedCountsAreAskedAgain) {
  reset_state();
  std::string shown;
  // Not a number (the token is dropped), a sign without digits, too many, then 1.
  console.attach_memory("maps abc -x 100 1 a out", &shown);
  ASSERT_TRUE(opening());
  console.flush();
  const std::string not_number = "\n\tPlease answer with a whole number of files.";
  const std::string too_many = "\n\tAt most 99 files can be pasted at once.";
  EXPECT_EQ(shown, banner + ask_folder + ask_count + not_number + ask_count + not_number + ask_count +
                       too_many + ask_count + ask_name(1) + ask_result);
  EXPECT_EQ(num_arch, 1);
  EXPECT_EQ(f2.composed, "c:\\images\\maps\\out.dxf");
  f2.discard();
}

TEST_F(Dialogue, NinetyNineInputsAreAccepted) {
  std::string answers = "maps 99";
  for (int n = 1; n <= 99; ++n) answers += " a";
  answers += " out";
  auto r = run(answers);
  EXPECT_EQ(num_arch, 99);
  EXPECT_EQ(path(99), "c:\\images\\maps\\a.dxf");
  EXPECT_TRUE(r.dialogue_ok);
}

TEST_F(Dialogue, PathsLongerThan127CharactersAreRefused) {
  reset_state();
  std::string shown;
  const std::string long_folder(112, 'f');  // "c:\images\" + 112 + "\" + "x.dxf" = 128
  const std::string ok_folder(111, 'f');
  const std::string name_too_long(112 - 10 - 1 - 4 + 1, 'n');
  images.write(ok_folder, "x", "");
  const std::string answers = long_folder + " " + ok_folder + " 1 " + name_too_long + " x zz y";
  console.attach_memory(answers, &shown);
  ASSERT_TRUE(opening());
  console.flush();
  const std::string too_long = "\n\tThat name makes the path longer than 127 characters.";
  EXPECT_EQ(shown, banner + ask_folder + too_long + ask_folder + ask_count + ask_name(1) + too_long +
                       ask_name(1) + ask_result + too_long + ask_result);
  EXPECT_EQ(path(1).size(), 127u);
  EXPECT_EQ(f2.composed.size(), 127u);
  f2.discard();
}

TEST_F(Dialogue, ResultNamedLikeAnInputIsRefused) {
  reset_state();
  std::string shown;
  console.attach_memory("maps 2 a b A B c", &shown);
  ASSERT_TRUE(opening());
  console.flush();
  const std::string refused = "\n\tThe resulting file cannot be one of the files to paste.";
  EXPECT_EQ(shown, banner + ask_folder + ask_count + ask_name(1) + ask_name(2) + ask_result + refused +
                       ask_result + refused + ask_result);
  EXPECT_EQ(f2.composed, "c:\\images\\maps\\c.dxf");
  f2.discard();
}

TEST_F(Dialogue, SameHostFileUnderAnotherNameIsRefused) {
  std::filesystem::create_symlink(images.path("maps", "a"), images.path("maps", "alias"));
  auto r = run("maps 1 a alias other");
  EXPECT_EQ(f2.composed, "c:\\images\\maps\\other.dxf");
  EXPECT_NE(r.shown.find("cannot be one of the files"), std::string::npos);
}

TEST_F(Dialogue, EndOfInputBeforeEveryAnswerCreatesNothing) {
  for (const char* answers : {"", "maps", "maps 2 a", "maps 2 a b", "maps -", "maps abc"}) {
    auto r = run(answers);
    EXPECT_FALSE(r.dialogue_ok) << answers;
    EXPECT_FALSE(f2.is_open()) << answers;
    EXPECT_EQ(images.entries("maps"), 2u) << answers;
  }
}

TEST_F(Dialogue, ResultInAMissingFolderIsReported) {
  auto r = run("nofolder 0 out");
  EXPECT_FALSE(r.dialogue_ok);
  EXPECT_FALSE(std::filesystem::exists(images.root / "nofolder"));
}

}  // namespace
