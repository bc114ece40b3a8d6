// Runs of the built executable: the README's session against the golden
// files, the arguments, the exit statuses and what goes to which stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "in_process.h"
#include "process.h"
#include "scratch.h"

namespace {

namespace fs = std::filesystem;

const fs::path source = TALVERO_SOURCE_DIR;

support::ProcessOptions with_args(std::vector<std::string> args) {
  support::ProcessOptions o;
  o.args = std::move(args);
  return o;
}

class Executable : public ::testing::Test {
 protected:
  support::ScratchImages images;
};

TEST_F(Executable, ReadmeSessionGivesTheGoldenConsoleAndResult) {
  for (const char* name : {"north.dxf", "south.dxf"})
    images.write(std::string("demo/") + name, support::read_file(source / "examples/images/demo" / name));
  const support::ProcessEnd r = support::run_process("demo\n2\nnorth\nsouth\nmerged\n");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(support::first_difference(r.out, support::read_file(source / "tests/golden/demo_session.stdout")), "");
  EXPECT_EQ(support::first_difference(images.read("demo/merged.dxf"),
                                      support::read_file(source / "tests/golden/demo_session.dxf")),
            "");
  EXPECT_EQ(images.entries("demo"), (std::vector<std::string>{"merged.dxf", "north.dxf", "south.dxf"}));
}

TEST_F(Executable, TakesNoArgumentButHelpOrVersion) {
  const support::ProcessEnd help = support::run_process("", with_args({"--help"}));
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_TRUE(help.out.starts_with("usage: talvero\n")) << help.out;
  EXPECT_EQ(help.err, "");
  const support::ProcessEnd version = support::run_process("", with_args({"--version"}));
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "talvero " TALVERO_VERSION "\n");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-x"}, {"--help", "more"}, {"--version", "--help"}, {"demo"}}) {
    const support::ProcessEnd bad = support::run_process("demo 0 out", with_args(args));
    EXPECT_EQ(bad.exit_code, 2) << args[0];
    EXPECT_TRUE(bad.err.starts_with("talvero: unexpected argument '" + args[0] + "'\n")) << bad.err;
    EXPECT_EQ(bad.out, "");
  }
}

TEST_F(Executable, FailuresExitWithStatusOneAndOneLineOnStandardError) {
  images.write("m/b.dxf", "");
  // Standard input ends early; an input is missing.
  for (const char* answers : {"m\n2\nb\n", "m 1 a out"}) {
    const support::ProcessEnd r = support::run_process(answers);
    EXPECT_EQ(r.exit_code, 1) << answers;
    EXPECT_TRUE(r.err.starts_with("talvero: ") && r.err.ends_with("; nothing was written\n")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_EQ(images.entries("m"), std::vector<std::string>{"b.dxf"});
}

TEST_F(Executable, WarningsGoToStandardErrorAndTheRunSucceeds) {
  images.write("w/a.dxf", "POLYLINE 8 L 66 1 70 x\n10 0 20 0 0");
  const support::ProcessEnd r = support::run_process("w 1 a out");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err,
            "talvero: warning: c:\\images\\w\\a.dxf, line 1: an item the layout expects is missing; copied as read\n");
  EXPECT_TRUE(images.exists("w/out.dxf"));
}

}  // namespace
