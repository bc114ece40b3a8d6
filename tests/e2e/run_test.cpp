// Runs of the built executable: arguments, exit status, standard streams.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "../unit/test_env.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out, err;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs talvero with `args`, feeding `answers` on standard input.
Outcome talvero(const std::string& args, const std::string& answers, const fs::path& dir) {
  auto in = dir / "answers.txt", out = dir / "stdout.txt", err = dir / "stderr.txt";
  std::ofstream(in, std::ios::binary) << answers;
  std::string cmd = std::string(TALVERO_EXE) + " " + args + " <" + in.string() + " >" + out.string() + " 2>" +
                    err.string();
  int rc = std::system(cmd.c_str());
  Outcome o;
  o.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  o.out = slurp(out);
  o.err = slurp(err);
  fs::remove(in);
  fs::remove(out);
  fs::remove(err);
  return o;
}

class Executable : public ::testing::Test {
 protected:
  testenv::ImagesFolder images;
};

TEST_F(Executable, HelpVersionAndUsageErrors) {
  auto help = talvero("--help", "", images.root);
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("usage: talvero\n"));
  auto version = talvero("--version", "", images.root);
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "talvero " TALVERO_VERSION "\n");
  auto bad = talvero("-x", "", images.root);
  EXPECT_EQ(bad.status, 2);
  EXPECT_TRUE(bad.err.starts_with("talvero: unexpected argument '-x'\n"));
  EXPECT_EQ(bad.out, "");
}

TEST_F(Executable, MergesTheSampleDrawings) {
  fs::create_directories(images.root / "demo");
  for (const char* name : {"north", "south"})
    fs::copy_file(fs::path(TALVERO_SOURCE_DIR) / "examples" / "images" / "demo" / (std::string(name) + ".dxf"),
                  images.path("demo", name));
  auto o = talvero("", "demo\n2\nnorth\nsouth\nmerged\n", images.root);
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_TRUE(o.out.ends_with("\t record 5            \r     "));
  std::string result = images.read("demo", "merged");
  EXPECT_TRUE(result.starts_with("  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$EXTMIN\r\n 10\r\n40\r\n 20\r\n27\r\n"));
  EXPECT_TRUE(result.ends_with("SEQEND\r\n0\r\nENDSEC\r\n0\r\nEOF\r\n"));
  std::size_t lf = 0, crlf = 0;
  for (std::size_t k = 0; k < result.size(); ++k)
    if (result[k] == '\n') ++lf, crlf += (k > 0 && result[k - 1] == '\r');
  EXPECT_EQ(lf, crlf);
  EXPECT_EQ(lf, 27u + 9u * (12u + 36u * 12u + 2u) + 3u);
}

TEST_F(Executable, FailuresExitNonZeroWithOneMessage) {
  fs::create_directories(images.root / "m");
  auto ended = talvero("", "m\n2\na\n", images.root);
  EXPECT_EQ(ended.status, 1);
  EXPECT_EQ(ended.err, "talvero: standard input ended before every answer was given; nothing was written\n");

  auto missing = talvero("", "m 1 a out", images.root);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "talvero: cannot open c:\\images\\m\\a.dxf (" + (images.root / "m" / "a.dxf").string() +
                             "): No such file or directory; nothing was written\n");
  EXPECT_TRUE(fs::is_empty(images.root / "m"));

  auto no_folder = talvero("", "none 0 out", images.root);
  EXPECT_EQ(no_folder.status, 1);
  EXPECT_TRUE(no_folder.err.starts_with("talvero: cannot create the resulting file c:\\images\\none\\out.dxf ("))
      << no_folder.err;
}

TEST_F(Executable, DepartureFromTheLayoutIsReportedOncePerInput) {
  images.write("w", "a", "POLYLINE 8 L 66 1 70 x\n10 0 20 0 0 VERTEX 8 L 70 0 10 y 20 z 30 0 0");
  images.write("w", "b", "0 POLYLINE 8 L 66 1 70 0 10 0 20 0 0 SEQEND 0 EOF");
  auto o = talvero("", "w 2 a b out", images.root);
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "talvero: warning: c:\\images\\w\\a.dxf, line 2: an item the layout expects is missing; "
                   "copied as read\n");
}

}  // namespace
