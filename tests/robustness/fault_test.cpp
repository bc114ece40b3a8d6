// Faults around a run: inputs that cannot be read, a result that cannot be
// created or written, standard input or the terminal going away. A failing
// run says why in one line on standard error and leaves an existing result
// with its bytes and no temporary file. What needs no process of its own is
// run in this one; file size limits, a full disk, signals and FIFOs need the
// executable.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <string>
#include <thread>

#include "in_process.h"
#include "process.h"
#include "scratch.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using support::composed;

constexpr std::string_view old_result = "  0\r\nSECTION\r\nan earlier result that must survive\r\n";

std::string demo(std::string_view name) {
  return support::read_file(fs::path(TALVERO_DEMO_DIR) / (std::string(name) + ".dxf"));
}

// The demo drawings in demo/, and an earlier result demo/merged.dxf.
class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    restore.state();
    images.write("demo/north.dxf", demo("north"));
    images.write("demo/south.dxf", demo("south"));
    images.write("demo/merged.dxf", old_result);
  }

  [[nodiscard]] std::string host(std::string_view relative) const { return images.path(relative).string(); }
  void expect_nothing_lost() const {
    EXPECT_EQ(images.read("demo/merged.dxf"), old_result);
    EXPECT_EQ(images.temporaries(), std::vector<std::string>{});
  }
  // A run of the executable that failed: exit 1, `message` alone on standard error.
  void expect_failure(const support::ProcessEnd& r, const std::string& message) const {
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "talvero: " + message + "\n");
    expect_nothing_lost();
  }

  support::ScratchImages images;
  support::Restore restore;
};

// --- Inputs that cannot be read, a result that cannot be created ----------
// In-process. As root, permissions do not stop a read, so the inputs here
// fail for everyone. The dialogue refuses a drawing it cannot open; these
// are taken away after it saw them, before the merge.

class InputCannotBeRead : public Faults, public ::testing::WithParamInterface<const char*> {};

TEST_P(InputCannotBeRead, StopsTheMergeNamingTheComposedAndHostPath) {
  const std::string kind = GetParam();
  const fs::path gone = images.write("demo/gone.dxf", demo("south"));
  std::string failed = "open", reason = "No such file or directory";  // as when missing
  std::function<void()> in_its_place = [] {};
  if (kind == "folder") {
    in_its_place = [&] { fs::create_directory(gone); };
    reason = "it is a folder";
  } else if (kind == "link_to_folder") {
    fs::create_directory(images.path("demo/sub"));
    in_its_place = [&] { fs::create_symlink("sub", gone); };
    reason = "it is a folder";
  } else if (kind == "dangling_link") {
    in_its_place = [&] { fs::create_symlink("nowhere.dxf", gone); };
  } else if (kind == "read_error") {
    // Reading /proc/self/mem from its start fails with an I/O error, for root too.
    if (!fs::exists("/proc/self/mem")) GTEST_SKIP() << "no /proc/self/mem to give a read error";
    in_its_place = [&] { fs::create_symlink("/proc/self/mem", gone); };
    failed = "read", reason = "Input/output error";
  }
  // The second input fails: the survey had read the first one and the
  // temporary result existed.
  const support::ProgramRun r = support::run_program("demo\n2\nnorth\ngone\nmerged\n", {}, [&] {
    fs::remove(gone);
    in_its_place();
  });
  EXPECT_TRUE(r.opened);
  EXPECT_FALSE(r.merged);
  EXPECT_EQ(r.errors, "talvero: cannot " + failed + " c:\\images\\demo\\gone.dxf (" + host("demo/gone.dxf") +
                          "): " + reason + "; nothing was written\n");
  expect_nothing_lost();
}

INSTANTIATE_TEST_SUITE_P(Faults, InputCannotBeRead,
                         ::testing::Values("missing", "folder", "dangling_link", "link_to_folder", "read_error"),
                         [](const auto& info) { return std::string(info.param); });

class ResultCannotBeCreated : public Faults, public ::testing::WithParamInterface<const char*> {};

TEST_P(ResultCannotBeCreated, IsSaidOnceEveryQuestionIsAsked) {
  const std::string kind = GetParam();
  const std::string answers = "demo\n1\nnorth\nsub\\merged\n", result = "demo/sub/merged.dxf";
  std::string reason = "No such file or directory";  // as when the folder is missing
  if (kind == "file_in_place_of_folder") {
    images.write("demo/sub", "a plain file");
    reason = "Not a directory";
  } else if (kind == "read_only_folder") {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write into a read-only folder";
    fs::create_directory(images.path("demo/sub"));
    fs::permissions(images.path("demo/sub"), fs::perms::owner_read | fs::perms::owner_exec);
    reason = "Permission denied";
  }
  const support::ProgramRun r = support::run_program(answers);
  EXPECT_FALSE(r.opened);
  EXPECT_EQ(r.errors, "talvero: cannot create the resulting file " + composed(result) + " (" + host(result) +
                          "): " + reason + "\n");
  EXPECT_TRUE(r.shown.ends_with("Name of the resulting dxf File (without extension .dxf) ? ")) << r.shown;
  EXPECT_FALSE(images.exists(result));
  expect_nothing_lost();
}

INSTANTIATE_TEST_SUITE_P(Faults, ResultCannotBeCreated,
                         ::testing::Values("subfolder_missing", "file_in_place_of_folder", "read_only_folder"),
                         [](const auto& info) { return std::string(info.param); });

// --- Faults that need the program as a process ------------------------------

// Opens a FIFO for writing once the program opens it for reading.
int open_fifo_writer(const fs::path& fifo, std::chrono::seconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 || errno != ENXIO || std::chrono::steady_clock::now() >= until) return fd;
    std::this_thread::sleep_for(10ms);
  }
}

// The dialogue opens every drawing once to see that it can; a FIFO's open
// waits for a writer. Gives it one, then waits for the question after that
// answer: by then the dialogue has closed the FIFO, and the next writer to
// come meets the merge. (Piped answers are read to their end, so they must
// be complete before the merge starts.)
void let_the_dialogue_open(support::Process& p, const fs::path& fifo, std::string_view next_question) {
  p.close_input();
  const int fd = open_fifo_writer(fifo, 30s);
  ASSERT_GE(fd, 0) << "the dialogue never opened the FIFO";
  ::close(fd);
  ASSERT_TRUE(p.wait_for_output(next_question, 30s));
}

TEST_F(Faults, InputReplacedByAFolderBetweenThePassesStops) {
  const fs::path pipe = images.path("demo/pipe.dxf");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  support::Process p;
  p.send("demo\n2\nnorth\npipe\nmerged\n");
  ASSERT_NO_FATAL_FAILURE(let_the_dialogue_open(p, pipe, "Name of the resulting dxf File (without extension .dxf) ? "));
  // The survey reads the drawing through the FIFO; before it sees the end,
  // the name is given to a folder, which the writing pass then meets.
  const int fd = open_fifo_writer(pipe, 30s);
  ASSERT_GE(fd, 0) << "the program never opened the FIFO";
  const std::string drawing = demo("south");
  ASSERT_EQ(::write(fd, drawing.data(), drawing.size()), static_cast<ssize_t>(drawing.size()));
  fs::remove(pipe);
  fs::create_directory(pipe);
  ::close(fd);
  const support::ProcessEnd r = p.finish();
  EXPECT_NE(r.out.find("max x = "), std::string::npos) << "the survey did not complete";
  expect_failure(
      r, "cannot open c:\\images\\demo\\pipe.dxf (" + host("demo/pipe.dxf") + "): it is a folder; nothing was written");
}

// A drawing of `vertices` vertices, large enough to fill the output buffer.
std::string large_drawing(int vertices) {
  std::string d = "  0\nSECTION\n  2\nENTITIES\n  0\nPOLYLINE\n  8\nBIG\n 66\n1\n 70\n     0\n 10\n0\n 20\n0\n";
  for (int v = 0; v < vertices; ++v)
    d += "  0\nVERTEX\n  8\nBIG\n 70\n     0\n 10\n" + std::to_string(v) + ".25\n 20\n" + std::to_string(2 * v) +
         ".75\n 30\n100.0\n";
  return d + "  0\nSEQEND\n  0\nENDSEC\n  0\nEOF\n";
}

TEST_F(Faults, AResultThatCannotBeWrittenStopsTheRun) {
  images.write("demo/big.dxf", large_drawing(40000));
  const bool small_disk = images.mount_small_tmpfs("demo/full", 16384);
  if (small_disk) images.write("demo/full/merged.dxf", old_result);
  // Under a file size limit (ulimit -f, blocks of 512 bytes), or on a full
  // disk. The demo result stays in the output buffer until the end: the last
  // write fails, after the writing pass named the second input again; a big
  // first input fills it before the writing pass reaches the second.
  const struct {
    const char *answers, *result;
    int blocks;  // 0: no limit
    const char* reason;
    std::size_t second_named;
  } cases[] = {{"demo\n2\nnorth\nsouth\nmerged\n", "demo/merged.dxf", 16, "File too large", 2},
               {"demo\n2\nbig\nsouth\nmerged\n", "demo/merged.dxf", 64, "File too large", 1},
               {"demo\n2\nnorth\nsouth\nfull\\merged\n", "demo/full/merged.dxf", 0, "No space left on device", 2}};
  for (const auto& c : cases) {
    if (c.blocks == 0 && !small_disk) continue;
    SCOPED_TRACE(c.answers);
    support::ProcessOptions o;
    if (c.blocks) o.shell_prefix = "ulimit -f " + std::to_string(c.blocks);
    const support::ProcessEnd r = support::run_process(c.answers, o);
    expect_failure(r, "cannot write the resulting file " + composed(c.result) + " (" + host(c.result) +
                          "): " + c.reason + "; nothing was written");
    EXPECT_EQ(images.read(c.result), old_result);
    EXPECT_EQ(support::count_lines(r.out, "\tFile 2 Name : c:\\images\\demo\\south.dxf "), c.second_named) << r.out;
  }
  if (!small_disk) GTEST_SKIP() << "cannot mount a small tmpfs on this host: the full disk was not tried";
}

// Written into as it is made (standard output, a device), a result that
// fails may be incomplete there, and its line says so; an input found wrong
// in the survey stops the run before anything is written.
TEST_F(Faults, AResultWrittenIntoAsItIsMadeSaysWhatAFailureLeaves) {
  if (!fs::is_character_file("/dev/full")) GTEST_SKIP() << "no /dev/full on this host";
  const std::string big = images.write("demo/big.dxf", large_drawing(40000)).string();
  const std::string words = images.write("demo/words.dxf", "no drawing here").string();
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"-qo", "-", big},
       "cannot write the resulting file standard output: No space left on device; the result is incomplete"},
      {{"-qfo", "/dev/full", big},
       "cannot write the resulting file /dev/full: No space left on device; the result is incomplete"},
      {{"-qo", "-", big, words}, words + ": not a DXF drawing (it holds no SECTION); nothing was written"},
  };
  for (const auto& c : cases) {
    support::ProcessOptions o;
    o.args = c.args;
    o.shell_prefix = "exec >/dev/full";
    expect_failure(support::run_process("", o), c.error);
  }
}

TEST_F(Faults, HangUpWhileWaitingForAnAnswerEndsTheRun) {
  support::Process p;
  p.send("demo\n2\nnorth\n");
  // Each question is shown before its answer is waited for.
  ASSERT_TRUE(p.wait_for_output("Name of the dxf File number 2 (without extension .dxf) ? ", 30s));
  p.signal(SIGHUP);
  const support::ProcessEnd r = p.finish();
  EXPECT_EQ(r.signal, SIGHUP);
  EXPECT_EQ(r.err, "");
  expect_nothing_lost();
}

class StopSignal : public Faults, public ::testing::WithParamInterface<int> {};

TEST_P(StopSignal, DuringTheMergeRemovesTheTemporaryResult) {
  const fs::path pipe = images.path("demo/pipe.dxf");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  support::Process p;
  p.send("demo\n2\npipe\nsouth\nmerged\n");
  ASSERT_NO_FATAL_FAILURE(let_the_dialogue_open(p, pipe, "Name of the dxf File number 2 (without extension .dxf) ? "));
  // The survey waits in the middle of the first input for bytes that never come.
  const int fd = open_fifo_writer(pipe, 30s);
  ASSERT_GE(fd, 0) << "the program never opened the FIFO";
  const std::string drawing = demo("north").substr(0, 2000);
  ASSERT_EQ(::write(fd, drawing.data(), drawing.size()), static_cast<ssize_t>(drawing.size()));
  ASSERT_EQ(images.temporaries().size(), 1u) << "the temporary result should exist while the merge runs";
  p.signal(GetParam());
  const support::ProcessEnd r = p.finish();
  ::close(fd);
  EXPECT_EQ(r.signal, GetParam());
  EXPECT_EQ(r.err, "");
  expect_nothing_lost();
}

INSTANTIATE_TEST_SUITE_P(Faults, StopSignal, ::testing::Values(SIGHUP, SIGINT, SIGTERM),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

}  // namespace
