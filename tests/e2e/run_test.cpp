// Runs of the built executable: the README's session against the golden
// files, a terminal's part, script runs, the arguments, the exit statuses and
// what goes to which stream.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dialogue/command_line.h"
#include "in_process.h"
#include "process.h"
#include "scratch.h"

namespace {

namespace fs = std::filesystem;

const fs::path source = TALVERO_SOURCE_DIR;

std::string golden(std::string_view name) { return support::read_file(source / "tests/golden" / name); }
std::string demo(std::string_view name) { return support::read_file(source / "examples/images/demo" / name); }

support::ProcessOptions with_args(std::vector<std::string> args) {
  support::ProcessOptions o;
  o.args = std::move(args);
  return o;
}

const std::string demo_answers = "demo\n2\nnorth\nsouth\nmerged\n";
const std::string demo_holds = ": 2 drawings, 9 polylines, 324 vertices\n";

// What is said of the sample drawings, named so, once the result is complete:
// each holds a text, which is left out.
std::string demo_reports(std::string_view north, std::string_view south) {
  return "talvero: " + std::string(north) + ": 4 polylines and 144 vertices copied; left out: 1 TEXT\n" +
         "talvero: " + std::string(south) + ": 5 polylines and 180 vertices copied; left out: 1 TEXT\n";
}

class Executable : public ::testing::Test {
 protected:
  void write_demo() const {
    for (const char* name : {"north.dxf", "south.dxf"}) images.write(std::string("demo/") + name, demo(name));
  }
  [[nodiscard]] std::string host(std::string_view relative) const { return images.path(relative).string(); }
  [[nodiscard]] std::string demo_wrote() const {
    return demo_reports("c:\\images\\demo\\north.dxf", "c:\\images\\demo\\south.dxf") +
           "talvero: wrote c:\\images\\demo\\merged.dxf (" + host("demo/merged.dxf") + ")" + demo_holds;
  }

  support::ScratchImages images;
};

TEST_F(Executable, ReadmeSessionGivesTheGoldenConsoleAndResult) {
  write_demo();
  const support::ProcessEnd r = support::run_process(demo_answers);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, demo_wrote());
  EXPECT_EQ(support::first_difference(r.out, golden("demo_session.stdout")), "");
  EXPECT_EQ(support::first_difference(images.read("demo/merged.dxf"), golden("demo_session.dxf")), "");
  EXPECT_EQ(images.entries("demo"), (std::vector<std::string>{"merged.dxf", "north.dxf", "south.dxf"}));
}

TEST_F(Executable, AtATerminalTypedAheadWordsWaitAndTheClosingLineStandsApart) {
  write_demo();
  support::ProcessOptions o;
  o.terminal = true;
  // Every stream on the terminal: the closing line starts below the running count.
  const support::ProcessEnd r = support::run_process(demo_answers + "typed ahead\n", o);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(support::first_difference(r.out, golden("demo_session.stdout") + "\n" + demo_wrote()), "");
  EXPECT_EQ(support::first_difference(images.read("demo/merged.dxf"), golden("demo_session.dxf")), "");
  // Standard error elsewhere: the line as any other.
  const fs::path errors = images.path("errors.txt");
  o.shell_prefix = "exec 2>'" + errors.string() + "'";
  const support::ProcessEnd apart = support::run_process(demo_answers + "typed ahead\n", o);
  EXPECT_EQ(apart.exit_code, 0);
  EXPECT_EQ(support::first_difference(apart.out, golden("demo_session.stdout")), "");
  EXPECT_EQ(support::read_file(errors), demo_wrote());
}

TEST_F(Executable, HelpAndVersionExitWithZeroAUsageErrorWithTwo) {
  for (const char* help : {"-h", "--help", "/?"}) {
    const support::ProcessEnd r = support::run_process("", with_args({help}));
    EXPECT_EQ(r.exit_code, 0) << help;
    EXPECT_EQ(r.out, usage_text) << help;
    EXPECT_EQ(r.err, "") << help;
  }
  const support::ProcessEnd version = support::run_process("", with_args({"--version"}));
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "talvero " TALVERO_VERSION "\n");
  const struct {
    std::vector<std::string> args;
    std::string error;
  } usage_errors[] = {{{"-x"}, "unknown option '-x'"},
                      {{"demo"}, "no result given (-o RESULT)"},
                      {{"-o", host("r.dxf")}, "no drawings to paste"}};
  for (const auto& bad : usage_errors) {
    const support::ProcessEnd r = support::run_process("demo 0 out", with_args(bad.args));
    EXPECT_EQ(r.exit_code, 2) << bad.error;
    EXPECT_EQ(r.err, "talvero: " + bad.error + "\nTry 'talvero --help'.\n");
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(images.entries(""), std::vector<std::string>{});
}

TEST_F(Executable, FailuresExitWithStatusOneAndOneLineOnStandardError) {
  images.write("m/b.dxf", "");
  // Standard input ends early; piped answers go on after the last question,
  // or one is refused (a name with a space in it).
  const struct {
    const char* answers;
    std::string error;
  } failures[] = {
      {"m\n2\nb\n", "standard input ended before every answer was given"},
      {"m 1 b out extra", "the answers do not match the questions: 'extra' is left over after the last one"},
      {"m\n2\nb sheet\nb\nout\n", "the answer 'sheet' is refused: cannot open c:\\images\\m\\sheet.dxf (" +
                                      host("m/sheet.dxf") + "): No such file or directory"}};
  for (const auto& f : failures) {
    const support::ProcessEnd r = support::run_process(f.answers);
    EXPECT_EQ(r.exit_code, 1) << f.answers;
    EXPECT_EQ(r.err, "talvero: " + f.error + "; nothing was written\n");
  }
  EXPECT_EQ(images.entries("m"), std::vector<std::string>{"b.dxf"});
}

// A drawing given twice is merged twice, and what is said of it is said once.
TEST_F(Executable, WarningsGoToStandardErrorAndTheRunSucceeds) {
  images.write("w/a.dxf", "0\nSECTION\n2\nENTITIES\n0\nPOLYLINE\n8\nL\n70\nx\n0\nSEQEND\n0\nENDSEC\n0\nEOF\n");
  const support::ProcessEnd r = support::run_process("w 2 a a out");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err,
            "talvero: warning: c:\\images\\w\\a.dxf, line 10: \"x\" is not a number: its polyline is left out, with "
            "its vertices\n"
            "talvero: c:\\images\\w\\a.dxf: nothing was copied from it: it holds no polylines; left out: 1 polyline "
            "with a value that is not a number\n"
            "talvero: wrote c:\\images\\w\\out.dxf (" +
                host("w/out.dxf") + "): 2 drawings, 0 polylines, 0 vertices\n");
  EXPECT_TRUE(images.exists("w/out.dxf"));
}

// --- Script runs: the drawings and the result named on the command line -----

void replace_all(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
}

TEST_F(Executable, ScriptGivesTheDialoguesResultNamingThePathsAsGiven) {
  const std::string north = images.write("s/north.dxf", demo("north.dxf")).string();
  const std::string south = images.write("s/south sheet.dxf", demo("south.dxf")).string();
  // The session's console texts from the survey on, with these paths.
  std::string console = golden("demo_session.stdout");
  console.erase(0, console.find("\n\n\tTreatment\n"));
  replace_all(console, "c:\\images\\demo\\north.dxf", north);
  replace_all(console, "c:\\images\\demo\\south.dxf", south);
  const support::ProcessEnd r = support::run_process("", with_args({"-o", host("s/merged.dxf"), north, south}));
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(support::first_difference(r.out, console), "");
  EXPECT_EQ(r.err, demo_reports(north, south) + "talvero: wrote " + host("s/merged.dxf") + demo_holds);
  EXPECT_EQ(support::first_difference(images.read("s/merged.dxf"), golden("demo_session.dxf")), "");
  // Quiet: nothing on either stream, the same result.
  const support::ProcessEnd quiet = support::run_process("", with_args({"-qo", host("s/quiet.dxf"), north, south}));
  EXPECT_EQ(quiet.exit_code, 0);
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(support::first_difference(images.read("s/quiet.dxf"), golden("demo_session.dxf")), "");
  // To standard output: the console texts on standard error, the lines
  // after them below the running count; or nothing there, quiet.
  const support::ProcessEnd piped = support::run_process("", with_args({"-o", "-", north, south}));
  EXPECT_EQ(piped.exit_code, 0);
  EXPECT_EQ(support::first_difference(piped.out, golden("demo_session.dxf")), "");
  EXPECT_EQ(support::first_difference(
                piped.err, console + "\n" + demo_reports(north, south) + "talvero: wrote standard output" + demo_holds),
            "");
  const support::ProcessEnd piped_quiet = support::run_process("", with_args({"-qo-", north, south}));
  EXPECT_EQ(piped_quiet.exit_code, 0);
  EXPECT_EQ(support::first_difference(piped_quiet.out, golden("demo_session.dxf")), "");
  EXPECT_EQ(piped_quiet.err, "");
  EXPECT_EQ(images.entries("s"), (std::vector<std::string>{"merged.dxf", "north.dxf", "quiet.dxf", "south sheet.dxf"}));
}

TEST_F(Executable, ScriptReplacesAResultOnlyWhenForcedAndNeverAnInputOrAWriteProtectedFile) {
  const std::string earlier = "an earlier result";
  const std::string north = images.write("s/north.dxf", demo("north.dxf")).string();
  const std::string out = images.write("s/out.dxf", earlier).string();
  const std::string locked = images.write("s/locked.dxf", earlier).string();
  fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::create_symlink("north.dxf", images.path("s/alias.dxf"));
  const std::string alias = host("s/alias.dxf"), missing = host("s/missing.dxf"), fifo = host("s/fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::vector<std::string> args;
    std::string error;
  } refusals[] = {
      {{"-o", out, north}, out + " exists: give -f to replace it"},
      {{"-qo", out, north}, out + " exists: give -f to replace it"},
      {{"-fo", north, north}, "the result " + north + " is also one of the drawings to paste"},
      {{"--force", "--output", alias, north}, "the result " + alias + " is also one of the drawings to paste"},
      {{"-f", "-o", locked, north}, locked + " is write-protected: it is not replaced"},
      {{"-qf", "-o", out, north, missing}, "cannot open " + missing + ": No such file or directory"},
      {{"-o", fifo, north}, fifo + " exists: give -f to write into it"},
      // Standard output appending to the drawing (the shell's >>, below).
      {{"-qfo", "-", out, north}, "the result standard output is also one of the drawings to paste"},
  };
  for (const auto& refused : refusals) {
    support::ProcessOptions o = with_args(refused.args);
    if (refused.args[1] == "-") o.shell_prefix = "exec >>'" + north + "'";
    const support::ProcessEnd r = support::run_process("", o);
    EXPECT_EQ(r.exit_code, 1) << refused.error;
    EXPECT_EQ(r.err, "talvero: " + refused.error + "; nothing was written\n");
  }
  // A folder is never a result.
  const support::ProcessEnd folder = support::run_process("", with_args({"-fo", images.root().string(), north}));
  EXPECT_EQ(folder.exit_code, 1);
  EXPECT_EQ(folder.err, "talvero: cannot create the resulting file " + images.root().string() + ": it is a folder\n");
  EXPECT_EQ(images.read("s/out.dxf"), earlier);
  EXPECT_EQ(images.read("s/locked.dxf"), earlier);
  EXPECT_EQ(images.read("s/north.dxf"), demo("north.dxf"));
  EXPECT_EQ(images.entries("s"), (std::vector<std::string>{"alias.dxf", "fifo", "locked.dxf", "north.dxf", "out.dxf"}));

  const support::ProcessEnd forced = support::run_process("", with_args({"-f", "-o", out, north}));
  const reference::Merged alone = reference::merge({{north, demo("north.dxf")}});
  EXPECT_EQ(forced.exit_code, 0);
  EXPECT_EQ(forced.err, alone.errors + "talvero: wrote " + out + ": 1 drawing, " + std::to_string(alone.polylines) +
                            " polylines, " + std::to_string(alone.vertices) + " vertices\n");
  EXPECT_EQ(support::first_difference(images.read("s/out.dxf"), alone.result), "");
}

// A device or a FIFO is written into, never replaced; a link is kept and the
// file it leads to (or is to lead to) replaced or made.
TEST_F(Executable, ScriptWritesIntoDevicesAndFifosAndKeepsLinks) {
  const std::string north = images.write("s/north.dxf", demo("north.dxf")).string();
  const reference::Merged alone = reference::merge({{north, demo("north.dxf")}});
  const auto merge_into = [&](const std::string& result) {
    const support::ProcessEnd r = support::run_process("", with_args({"-qfo", result, north}));
    EXPECT_EQ(r.exit_code, 0) << result << ": " << r.err;
  };
  // A FIFO: read once the run is over (the result fits in its buffer).
  const std::string fifo = host("s/fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  merge_into(fifo);
  std::string through;
  char chunk[4096];
  for (ssize_t got; (got = ::read(reader, chunk, sizeof chunk)) > 0;)
    through.append(chunk, static_cast<std::size_t>(got));
  ::close(reader);
  EXPECT_EQ(support::first_difference(through, alone.result), "");
  EXPECT_TRUE(fs::is_fifo(fifo));
  // Links into a subfolder, to a file and to none yet.
  images.write("s/t/real.dxf", "an earlier result");
  fs::create_symlink("t/real.dxf", images.path("s/link.dxf"));
  fs::create_symlink("t/new.dxf", images.path("s/dangling.dxf"));
  merge_into(host("s/link.dxf"));
  merge_into(host("s/dangling.dxf"));
  for (const char* link : {"s/link.dxf", "s/dangling.dxf"}) EXPECT_TRUE(fs::is_symlink(images.path(link))) << link;
  EXPECT_EQ(fs::read_symlink(images.path("s/link.dxf")), "t/real.dxf");
  EXPECT_EQ(support::first_difference(images.read("s/t/real.dxf"), alone.result), "");
  EXPECT_EQ(support::first_difference(images.read("s/t/new.dxf"), alone.result), "");
  EXPECT_EQ(images.temporaries(), std::vector<std::string>{});
  // A device: /dev/null itself, but as root (who could replace it) one like
  // it made here.
  std::string device = "/dev/null";
  if (::geteuid() == 0) {
    device = host("s/null");
    if (::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0) GTEST_SKIP() << "cannot make a device here";
  }
  merge_into(device);
  EXPECT_TRUE(fs::is_character_file(device)) << device;
}

// Given again by its name or by another name of the same file, a drawing is
// merged each time and said once, as first named.
TEST_F(Executable, ADrawingGivenTwiceIsMergedTwiceAndSaidOnce) {
  const std::string north = images.write("s/north.dxf", demo("north.dxf")).string();
  const std::string south = images.write("s/south.dxf", demo("south.dxf")).string();
  const std::string again = images.root().string() + "/s/./north.dxf";
  const std::vector<reference::Input> given = {
      {north, demo("north.dxf")}, {again, demo("north.dxf")}, {south, demo("south.dxf")}, {north, demo("north.dxf")}};
  const reference::Merged expected = reference::merge(given);
  const support::ProcessEnd r =
      support::run_process("", with_args({"-o", host("s/all.dxf"), north, again, south, north}));
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(support::first_difference(images.read("s/all.dxf"), expected.result), "");
  EXPECT_EQ(r.err, demo_reports(north, south) + "talvero: wrote " + host("s/all.dxf") + ": 4 drawings, " +
                       std::to_string(expected.polylines) + " polylines, " + std::to_string(expected.vertices) +
                       " vertices\n");
}

TEST_F(Executable, ScriptTakesMoreThanNinetyNineDrawings) {
  std::vector<reference::Input> inputs;
  std::vector<std::string> args = {"--output=" + host("many/all.dxf")};
  for (int k = 1; k <= 120; ++k) {
    const std::string bytes = "0 SECTION 2 ENTITIES 0 POLYLINE 8 L 66 1 70 0 10 0 20 0 0 VERTEX 8 L 70 0 10 " +
                              std::to_string(k) + ".5 20 -7 30 0 0 SEQEND 0 ENDSEC 0 EOF";
    inputs.push_back({images.write("many/" + std::to_string(k) + ".dxf", bytes).string(), bytes});
    args.push_back(inputs.back().name);
  }
  const reference::Merged expected = reference::merge(inputs);
  const support::ProcessEnd r = support::run_process("", with_args(args));
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(support::first_difference(r.out, expected.console), "");
  EXPECT_EQ(r.err, expected.errors + "talvero: wrote " + host("many/all.dxf") +
                       ": 120 drawings, 120 polylines, 120 vertices\n");
  EXPECT_EQ(support::first_difference(images.read("many/all.dxf"), expected.result), "");
}

}  // namespace
