// Faults around a run: inputs that cannot be read, a result that cannot be
// written, standard input or the terminal going away, and answers that push
// the dialogue's limits. Every failing run must say why on standard error,
// exit 1, leave an existing result with its bytes and no temporary file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <string>
#include <thread>

#include "harness.h"

namespace robustness {
namespace {

using namespace std::chrono_literals;
using namespace std::string_view_literals;

constexpr std::string_view old_result = "  0\r\nSECTION\r\nan earlier result that must survive\r\n";

class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch.copy_demo("north", "demo/north.dxf");
    scratch.copy_demo("south", "demo/south.dxf");
    scratch.write("demo/merged.dxf", old_result);
    options.images = scratch.root();
  }

  [[nodiscard]] std::string host(std::string_view relative) const { return (scratch.root() / relative).string(); }
  [[nodiscard]] RunResult run(std::string_view answers) const { return run_tool(answers, options); }

  // The failing run's outcome: exit 1, `message` alone on standard error, nothing lost.
  void expect_failure(const RunResult& r, const std::string& message) const {
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "talvero: " + message + "\n");
    expect_nothing_lost();
  }
  void expect_nothing_lost() const {
    EXPECT_EQ(read_file(scratch.root() / "demo/merged.dxf"), old_result);
    EXPECT_EQ(scratch.temporaries(), std::vector<std::string>{});
  }

  Scratch scratch;
  RunOptions options;
};

// Opens a FIFO for writing once the program opens it for reading.
int open_fifo_writer(const fs::path& fifo, std::chrono::seconds limit) {
  auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 || errno != ENXIO || std::chrono::steady_clock::now() >= until) return fd;
    std::this_thread::sleep_for(10ms);
  }
}

// --- Inputs that cannot be read -------------------------------------------
// As root, permissions do not stop a read, so the unreadable inputs here are
// ones that fail for everyone: a folder, a dangling link, a read error.

struct UnopenableInput {
  const char* label;
  std::function<void(const fs::path& where)> make;  // puts something at demo/gone.dxf
  const char* reason;
};
void PrintTo(const UnopenableInput& c, std::ostream* os) { *os << c.label; }

class InputCannotBeOpened : public Faults, public ::testing::WithParamInterface<UnopenableInput> {};

TEST_P(InputCannotBeOpened, StopsWithTheComposedAndHostPath) {
  GetParam().make(scratch.root() / "demo/gone.dxf");
  // The second input fails: the survey had already read the first one and the
  // temporary result existed.
  RunResult r = run("demo\n2\nnorth\ngone\nmerged\n");
  expect_failure(r, "cannot open c:\\images\\demo\\gone.dxf (" + host("demo/gone.dxf") + "): " + GetParam().reason +
                        "; nothing was written");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, InputCannotBeOpened,
    ::testing::Values(UnopenableInput{"missing", [](const fs::path&) {}, "No such file or directory"},
                      UnopenableInput{"folder", [](const fs::path& p) { fs::create_directory(p); }, "it is a folder"},
                      UnopenableInput{"dangling_link",
                                      [](const fs::path& p) { fs::create_symlink(p.parent_path() / "nowhere.dxf", p); },
                                      "No such file or directory"},
                      UnopenableInput{"link_to_folder",
                                      [](const fs::path& p) {
                                        fs::create_directory(p.parent_path() / "sub");
                                        fs::create_symlink(p.parent_path() / "sub", p);
                                      },
                                      "it is a folder"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(Faults, InputWhoseReadFailsStops) {
  // Reading /proc/self/mem from its start fails with an I/O error, for root too.
  if (!fs::exists("/proc/self/mem")) GTEST_SKIP() << "no /proc/self/mem on this host to give a read error";
  fs::create_symlink("/proc/self/mem", scratch.root() / "demo/mem.dxf");
  RunResult r = run("demo\n2\nnorth\nmem\nmerged\n");
  expect_failure(r, "cannot read c:\\images\\demo\\mem.dxf (" + host("demo/mem.dxf") +
                        "): Input/output error; nothing was written");
}

TEST_F(Faults, InputReplacedByAFolderBetweenThePassesStops) {
  fs::path pipe = scratch.root() / "demo/pipe.dxf";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  ToolProcess p(options);
  p.send("demo\n2\nnorth\npipe\nmerged\n");
  // The survey reads the drawing through the FIFO; before it sees the end,
  // the name is given to a folder, which the writing pass then meets.
  int fd = open_fifo_writer(pipe, 30s);
  ASSERT_GE(fd, 0) << "the program never opened the FIFO";
  std::string drawing = demo("south");
  ASSERT_EQ(::write(fd, drawing.data(), drawing.size()), static_cast<ssize_t>(drawing.size()));
  fs::remove(pipe);
  fs::create_directory(pipe);
  ::close(fd);
  RunResult r = p.finish();
  EXPECT_NE(r.out.find("max x = "), std::string::npos) << "the survey did not complete";
  expect_failure(
      r, "cannot open c:\\images\\demo\\pipe.dxf (" + host("demo/pipe.dxf") + "): it is a folder; nothing was written");
}

// --- A result that cannot be written ---------------------------------------

struct UnwritableResult {
  const char* label;
  const char* answers;
  const char* result;                  // host path below the root
  std::function<bool(Scratch&)> make;  // false: not possible on this host
  const char* reason;
};
void PrintTo(const UnwritableResult& c, std::ostream* os) { *os << c.label; }

class ResultCannotBeCreated : public Faults, public ::testing::WithParamInterface<UnwritableResult> {};

TEST_P(ResultCannotBeCreated, StopsAtTheEndOfTheDialogue) {
  const UnwritableResult& c = GetParam();
  if (!c.make(scratch)) GTEST_SKIP() << "root may write into a read-only folder";
  RunResult r = run(c.answers);
  std::string composed_result = std::string("c:\\images\\") + c.result;
  for (char& ch : composed_result)
    if (ch == '/') ch = '\\';
  expect_failure(r, "cannot create the resulting file " + composed_result + " (" + host(c.result) + "): " + c.reason);
  // Said once every question was asked, before any input was read.
  EXPECT_TRUE(r.out.ends_with("Name of the resulting dxf File (without extension .dxf) ? ")) << r.out;
  EXPECT_FALSE(fs::exists(scratch.root() / c.result));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ResultCannotBeCreated,
    ::testing::Values(UnwritableResult{"folder_missing", "nodir\n1\nnorth\nmerged\n", "nodir/merged.dxf",
                                       [](Scratch&) { return true; }, "No such file or directory"},
                      UnwritableResult{"subfolder_missing", "demo\n1\nnorth\nnodir\\merged\n", "demo/nodir/merged.dxf",
                                       [](Scratch&) { return true; }, "No such file or directory"},
                      UnwritableResult{"file_in_place_of_folder", "demo\n1\nnorth\nplain\\merged\n",
                                       "demo/plain/merged.dxf",
                                       [](Scratch& s) {
                                         s.write("demo/plain", "a plain file");
                                         return true;
                                       },
                                       "Not a directory"},
                      UnwritableResult{"read_only_folder", "demo\n1\nnorth\nro\\merged\n", "demo/ro/merged.dxf",
                                       [](Scratch& s) {
                                         fs::create_directory(s.root() / "demo/ro");
                                         fs::permissions(s.root() / "demo/ro",
                                                         fs::perms::owner_read | fs::perms::owner_exec);
                                         return ::geteuid() != 0;
                                       },
                                       "Permission denied"}),
    [](const auto& info) { return std::string(info.param.label); });

// A drawing of `vertices` vertices, large enough to fill the output buffer.
std::string large_drawing(int vertices) {
  std::string d = "  0\nSECTION\n  2\nENTITIES\n  0\nPOLYLINE\n  8\nBIG\n 66\n1\n 70\n     0\n 10\n0\n 20\n0\n";
  for (int v = 0; v < vertices; ++v)
    d += "  0\nVERTEX\n  8\nBIG\n 70\n     0\n 10\n" + std::to_string(v) + ".25\n 20\n" + std::to_string(2 * v) +
         ".75\n 30\n100.0\n";
  d += "  0\nSEQEND\n  0\nENDSEC\n  0\nEOF\n";
  return d;
}

TEST_F(Faults, FileSizeLimitAtTheLastWriteStops) {
  // The whole result stays in the output buffer until the end: the write fails there.
  options.shell_prefix = "ulimit -f 16";  // 8 KiB
  RunResult r = run("demo\n2\nnorth\nsouth\nmerged\n");
  expect_failure(r, "cannot write the resulting file c:\\images\\demo\\merged.dxf (" + host("demo/merged.dxf") +
                        "): File too large; nothing was written");
}

TEST_F(Faults, FileSizeLimitDuringTheWritingPassStops) {
  scratch.write("demo/big.dxf", large_drawing(40000));
  options.shell_prefix = "ulimit -f 64";  // 32 KiB
  RunResult r = run("demo\n2\nbig\nsouth\nmerged\n");
  expect_failure(r, "cannot write the resulting file c:\\images\\demo\\merged.dxf (" + host("demo/merged.dxf") +
                        "): File too large; nothing was written");
  // The survey names the second input once; the writing pass stopped before it.
  EXPECT_EQ(count_lines(r.out, "\tFile 2 Name : c:\\images\\demo\\south.dxf "), 1u) << r.out;
}

TEST_F(Faults, FullDiskStops) {
  if (!scratch.mount_small_tmpfs("demo/full", 16384)) GTEST_SKIP() << "cannot mount a small tmpfs on this host";
  scratch.write("demo/full/merged.dxf", old_result);
  RunResult r = run("demo\n2\nnorth\nsouth\nfull\\merged\n");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "talvero: cannot write the resulting file c:\\images\\demo\\full\\merged.dxf (" +
                       host("demo/full/merged.dxf") + "): No space left on device; nothing was written\n");
  EXPECT_EQ(read_file(scratch.root() / "demo/full/merged.dxf"), old_result);
  EXPECT_EQ(scratch.temporaries(), std::vector<std::string>{});
}

// --- Standard input and the terminal going away ----------------------------

class InputEndsEarly : public Faults, public ::testing::WithParamInterface<const char*> {};

TEST_P(InputEndsEarly, StopsWithoutCreatingAnything) {
  RunResult r = run(GetParam());
  expect_failure(r, "standard input ended before every answer was given; nothing was written");
}

INSTANTIATE_TEST_SUITE_P(Faults, InputEndsEarly,
                         ::testing::Values("", "demo\n", "demo\n2\n", "demo\n2\nnorth\n", "demo\n2\nnorth\nsouth\n",
                                           "demo\n2\nnorth\nsouth", "demo\nmany\n", "demo\n+\n",
                                           "demo\n1\nnorth\x1amerged\n"));

TEST_F(Faults, HangUpWhileWaitingForAnAnswerEndsTheRun) {
  ToolProcess p(options);
  p.send("demo\n2\nnorth\n");
  ASSERT_TRUE(p.wait_for_output("Name of the dxf File number 2 (without extension .dxf) ? ", 30s));
  p.signal(SIGHUP);
  RunResult r = p.finish();
  EXPECT_EQ(r.signal, SIGHUP);
  EXPECT_EQ(r.err, "");
  expect_nothing_lost();
}

class StopSignal : public Faults, public ::testing::WithParamInterface<int> {};

TEST_P(StopSignal, DuringTheMergeRemovesTheTemporaryResult) {
  fs::path pipe = scratch.root() / "demo/pipe.dxf";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  ToolProcess p(options);
  p.send("demo\n2\npipe\nsouth\nmerged\n");
  // The survey waits in the middle of the first input for bytes that never come.
  int fd = open_fifo_writer(pipe, 30s);
  ASSERT_GE(fd, 0) << "the program never opened the FIFO";
  std::string drawing = demo("north").substr(0, 2000);
  ASSERT_EQ(::write(fd, drawing.data(), drawing.size()), static_cast<ssize_t>(drawing.size()));
  ASSERT_EQ(scratch.temporaries().size(), 1u) << "the temporary result should exist while the merge runs";
  p.signal(GetParam());
  RunResult r = p.finish();
  ::close(fd);
  EXPECT_EQ(r.signal, GetParam());
  EXPECT_EQ(r.err, "");
  expect_nothing_lost();
}

INSTANTIATE_TEST_SUITE_P(Faults, StopSignal, ::testing::Values(SIGHUP, SIGINT, SIGTERM),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// --- Answers at the dialogue's limits --------------------------------------

class Answers : public Faults {
 protected:
  // The result of merging the demo inputs `names` with ordinary answers.
  std::string reference(std::string_view names, int count) {
    RunResult r = run("demo\n" + std::to_string(count) + "\n" + std::string(names) + "\nreference\n");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return read_file(scratch.root() / "demo/reference.dxf");
  }
  void expect_merged(const RunResult& r, const std::string& expected, const char* result = "demo/merged.dxf") {
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(scratch.root() / result), expected);
    EXPECT_EQ(scratch.temporaries(), std::vector<std::string>{});
  }
};

constexpr std::string_view ask_folder = "Name of the File Folder located in the Directory C:\\images : ";
constexpr std::string_view ask_count = "Number of Files to paste ? ";
constexpr std::string_view ask_name_1 = "Name of the dxf File number 1 (without extension .dxf) ? ";
constexpr std::string_view ask_result = "Name of the resulting dxf File (without extension .dxf) ? ";
constexpr std::string_view refuse_long = "That name makes the path longer than 127 characters.";
constexpr std::string_view refuse_count = "Please answer with a whole number of files.";
constexpr std::string_view refuse_many = "At most 99 files can be pasted at once.";
constexpr std::string_view refuse_input = "The resulting file cannot be one of the files to paste.";

std::size_t occurrences(std::string_view text, std::string_view part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

struct RefusedAnswer {
  const char* label;
  std::string answers;
  std::string_view question;  // asked twice
  std::string_view refusal;
};
void PrintTo(const RefusedAnswer& c, std::ostream* os) { *os << c.label; }

class AnswerRefused : public Answers, public ::testing::WithParamInterface<RefusedAnswer> {};

TEST_P(AnswerRefused, IsAskedAgainAndTheMergeGoesOn) {
  std::string expected = reference("north", 1);
  RunResult r = run(GetParam().answers);
  expect_merged(r, expected);
  EXPECT_EQ(occurrences(r.out, GetParam().question), 2u);
  EXPECT_EQ(occurrences(r.out, GetParam().refusal), 1u);
}

const std::string megabyte(std::size_t{1} << 20, 'm');

INSTANTIATE_TEST_SUITE_P(
    Answers, AnswerRefused,
    ::testing::Values(
        RefusedAnswer{"megabyte_folder", megabyte + "\ndemo\n1\nnorth\nmerged\n", ask_folder, refuse_long},
        RefusedAnswer{"megabyte_name", "demo\n1\n" + megabyte + "\nnorth\nmerged\n", ask_name_1, refuse_long},
        RefusedAnswer{"megabyte_result", "demo\n1\nnorth\n" + megabyte + "\nmerged\n", ask_result, refuse_long},
        RefusedAnswer{"megabyte_count_word", "demo\n" + megabyte + "\n1\nnorth\nmerged\n", ask_count, refuse_count},
        RefusedAnswer{"megabyte_count_number",
                      "demo\n1" + std::string(std::size_t{1} << 20, '0') + "\n1\nnorth\nmerged\n", ask_count,
                      refuse_many},
        RefusedAnswer{"hundred_inputs", "demo\n100\n1\nnorth\nmerged\n", ask_count, refuse_many},
        RefusedAnswer{"control_bytes_count", "demo\n\x01\x02\x7f\n1\nnorth\nmerged\n", ask_count, refuse_count},
        RefusedAnswer{"result_is_the_input", "demo\n1\nnorth\nnorth\nmerged\n", ask_result, refuse_input},
        RefusedAnswer{"result_is_the_input_in_capitals", "demo\n1\nnorth\nNORTH\nmerged\n", ask_result, refuse_input},
        RefusedAnswer{"result_is_the_input_mixed_case", "demo\n1\nnorth\nnOrTh\nmerged\n", ask_result, refuse_input}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(Answers, ResultNamingTheInputThroughALinkIsRefused) {
  std::string expected = reference("north", 1);
  fs::create_symlink("north.dxf", scratch.root() / "demo/alias.dxf");
  std::string input_before = read_file(scratch.root() / "demo/north.dxf");
  RunResult r = run("demo\n1\nnorth\nalias\nmerged\n");
  expect_merged(r, expected);
  EXPECT_EQ(occurrences(r.out, refuse_input), 1u);
  EXPECT_EQ(read_file(scratch.root() / "demo/north.dxf"), input_before);
}

TEST_F(Answers, ControlBytesStayInTheNames) {
  std::string expected = reference("north", 1);
  scratch.copy_demo("north", "demo/n\x01\x1b\x7f.dxf");
  RunResult r = run("demo\n1\nn\x01\x1b\x7f\nr\x07\x1b[2J\n");
  expect_merged(r, expected, "demo/r\x07\x1b[2J.dxf");
}

TEST_F(Answers, NulByteEndsAName) {
  std::string expected = reference("north", 1);
  RunResult r = run("demo\0skipped\n1\nnorth\0skipped\nmerged\0skipped\n"sv);
  expect_merged(r, expected);
  EXPECT_EQ(r.out.find("skipped"), std::string::npos);
  EXPECT_FALSE(fs::exists(scratch.root() / "demo/merged"));
}

TEST_F(Answers, SameInputTwiceIsPastedTwice) {
  std::string once = reference("north", 1);
  RunResult r = run("demo\n2\nnorth\nnorth\nmerged\n");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  std::string twice = read_file(scratch.root() / "demo/merged.dxf");
  for (const char* keyword : {"POLYLINE", "VERTEX", "SEQEND"}) {
    SCOPED_TRACE(keyword);
    EXPECT_GT(count_lines(once, keyword), 0u);
    EXPECT_EQ(count_lines(twice, keyword), 2 * count_lines(once, keyword));
  }
  // The extents of one drawing are those of the drawing twice over.
  std::size_t header_end = once.find("ENTITIES\r\n");
  ASSERT_NE(header_end, std::string::npos);
  EXPECT_EQ(twice.substr(0, header_end), once.substr(0, header_end));
}

// A drawing whose header extents and only vertex come from its number.
std::string numbered_drawing(int n) {
  std::string s = std::to_string(n);
  return "  0\nSECTION\n  2\nHEADER\n  9\n$EXTMIN\n 10\n" + s + "\n 20\n" + s + "\n 30\n" + s +
         "\n  9\n$EXTMAX\n 10\n" + std::to_string(10 * n) + "\n 20\n" + std::to_string(20 * n) + "\n 30\n" +
         std::to_string(30 * n) + "\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n  0\nPOLYLINE\n  8\nL" + s +
         "\n 66\n1\n 70\n     0\n 10\n0\n 20\n0\n  0\nVERTEX\n  8\nL" + s + "\n 70\n     0\n 10\n" + s + ".5\n 20\n" +
         s + "\n 30\n" + s + "\n  0\nSEQEND\n  0\nENDSEC\n  0\nEOF\n";
}

TEST_F(Answers, NinetyNineInputsArePastedInOrder) {
  std::string answers = "demo\n99\n";
  for (int n = 1; n <= 99; ++n) {
    std::string name = "p" + std::to_string(n);
    scratch.write("demo/" + name + ".dxf", numbered_drawing(n));
    answers += name + "\n";
  }
  RunResult r = run(answers + "merged\n");
  std::string result = read_file(scratch.root() / "demo/merged.dxf");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(count_lines(result, "POLYLINE"), 99u);
  EXPECT_EQ(count_lines(result, "VERTEX"), 99u);
  // Extents folded over all 99: minima from p1, maxima from p99.
  EXPECT_TRUE(
      result.starts_with("  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$EXTMIN\r\n 10\r\n1\r\n 20\r\n1\r\n 30\r\n1\r\n"
                         "  9\r\n$EXTMAX\r\n 10\r\n990\r\n 20\r\n1980\r\n 30\r\n2970\r\n"));
  // Each input's vertex, rounded, in the order the inputs were named.
  std::size_t at = 0;
  for (int n = 1; n <= 99; ++n) {
    std::string layer = "\r\nL" + std::to_string(n) + "\r\n 70\r\n    0\r\n 10\r\n" + std::to_string(n + 1) + "\r\n";
    at = result.find(layer, at);
    ASSERT_NE(at, std::string::npos) << "vertex of input " << n;
  }
  EXPECT_NE(r.out.find("File 99 Name : c:\\images\\demo\\p99.dxf"), std::string::npos);
  EXPECT_EQ(scratch.temporaries(), std::vector<std::string>{});
}

}  // namespace
}  // namespace robustness
