// Bulk runs over one marked block where whole merges cannot aim: the room a
// writing run leaves, where runs that take vertices by their layout stop and
// what they keep; and the worker thread's queue.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "fast/bulk_run.h"
#include "fast/worker.h"

namespace {

// A text as a loaded block: a NUL and 64 readable bytes after it, and its
// whitespace bitmap, no larger than the text needs.
struct MarkedText {
  explicit MarkedText(const std::string& text) : bytes(text.size() + 64, '\0'), bits(fast::bitmap_words(text.size())) {
    std::memcpy(bytes.data(), text.data(), text.size());
    fast::space_bits(bytes.data(), text.size(), bits.data());
  }
  // The block with the read position after its first byte (the texts start with "0\n").
  [[nodiscard]] fast::MarkedBlock block() const {
    return {bytes.data(), bytes.data() + 1, bytes.data() + bytes.size() - 64, bits.data()};
  }
  std::vector<char> bytes;
  std::vector<std::uint64_t> bits;
};

// A survey or writing run over the whole text after its first byte; out
// takes what a writing run writes. stop: where it stopped, as an offset;
// names: the names it handed back, kept past the block's life.
struct WholeRun {
  fast::RunResult r;
  std::size_t stop;
  std::vector<std::string> names;
};
WholeRun run_whole(const std::string& text, bool write) {
  const MarkedText marked(text);
  const fast::MarkedBlock b = marked.block();
  std::vector<char> out(text.size() * 4 + 64 * fast::run_entity_room);
  // The texts start with "0\n": their first token follows a group code 0.
  const fast::RunResult r = write ? fast::write_run(b, b.pos, true, false, 0.0, out.data(), out.data() + out.size())
                                  : fast::survey_run(b, b.pos, true, 0.0);
  return {r, static_cast<std::size_t>(r.stop - b.base), {r.names.begin(), r.names.begin() + r.name_count}};
}

// A run stops while the room left can take any entity: entities with the
// longest text a run writes (integers of 8 digits, long layers, coordinates
// of 300 digits and more) are run into outputs of every size around that
// room, each exactly as large as given, so that a write past it shows (under
// the address sanitizer, and in the end returned). Polylines in the layout
// after one left open, vertices in the layout (items read one by one when
// the layer is too long for a vertex's layout to be kept, else taken by
// their layout) and vertices read by their group codes.
TEST(BulkRuns, LargestEntitiesFitTheRoomLeft) {
  const std::string code = "\n-99999999\n";  // integers of 8 digits, the longest a run takes
  for (const std::string& layer : {std::string(256, 'L'), std::string("L")}) {  // the longest token a run copies
    std::string text = "0\n";
    for (int k = 0; k < 8; ++k) {
      const std::string x = "-1.7e308", y = "-1e" + std::to_string(300 + k), z = "-" + std::string(20, '9') + "e288";
      text +=
          "POLYLINE" + code + layer + code + layer + code + "-99999999" + code + "-99999999" + code + "-99999999\n0\n";
      for (int twice = 0; twice < 2; ++twice)
        text += "VERTEX" + code + layer + code + "-99999999\n10\n" + x + "\n20\n" + y + "\n30\n" + z + "\n0\n";
      text += "VERTEX\n  8\n" + layer + "\n 10\n" + x + "\n 20\n" + y + "\n 30\n" + z + "\n 70\n-9999999\n  0\n";
    }
    const MarkedText marked(text);
    const fast::MarkedBlock b = marked.block();
    for (std::size_t size = fast::run_entity_room; size < fast::run_entity_room + 3000; size += 37) {
      std::vector<char> out(size);
      const fast::RunResult r = fast::write_run(b, b.pos, true, true, 0.0, out.data(), out.data() + out.size());
      EXPECT_LE(r.out, out.data() + out.size()) << size;
      EXPECT_GT(r.out, out.data()) << size;  // the first entity always fits
    }
    // With room for all, every entity is taken.
    std::vector<char> out(text.size() * 4 + 64 * fast::run_entity_room);
    const fast::RunResult r = fast::write_run(b, b.pos, true, true, 0.0, out.data(), out.data() + out.size());
    EXPECT_EQ(r.why, fast::RunStop::block_end);
    EXPECT_EQ(r.polylines, 8u);
    EXPECT_EQ(r.vertices, 24u);
    EXPECT_EQ(r.by_group_codes, 8u);
  }
}

// Vertices in one layout, coordinates varying.
std::string steady_vertex(const std::string& x, const std::string& y, const std::string& z,
                          const std::string& layer = "CONTOURS") {
  return "VERTEX\n  8\n" + layer + "\n 70\n     0\n 10\n" + x + "\n 20\n" + y + "\n 30\n" + z + "\n  0\n";
}

// Vertices as another program writes them, in one layout of their groups
// but for their handles (read by their group codes).
std::string departing_vertex(const std::string& x, const std::string& y, const std::string& z, int handle) {
  return "VERTEX\n  5\n" + std::to_string(100 + handle) + "\n330\n1F\n100\nDbVertex\n  8\nCONTOURS\n 10\n" + x +
         "\n 20\n" + y + "\n 30\n" + z + "\n 70\n     0\n  0\n";
}

// A vertex in the layout of the ones before it (or of their groups), with
// one coordinate that is not a plain decimal, is taken when the whole token
// is a real literal and left to the general reads otherwise (it departs
// from the layout, and its group codes hold a value that is not a number),
// in both passes and at each place; the coordinate kept is the last
// vertex's taken.
TEST(BulkRuns, VerticesTakenByTheirLayoutAreReadWhole) {
  struct Odd {
    const char* text;
    bool literal;
  };
  const Odd odds[] = {{"1.5e3", true}, {"1.5e", true},       {"-.5", true},         {"5.", true},     {"1.5E-2", true},
                      {"+7", true},    {"12345678.5", true}, {"1.234567891", true}, {"-1e999", true}, {"1.5x", false},
                      {".", false},    {"+", false},         {"1..5", false},       {"--1", false},   {"1e5e5", false},
                      {"0x10", false}, {"nan", false},       {"1.5-", false},       {"SEQEND", false}};
  for (const Odd& odd : odds) {
    for (int place = 0; place < 6; ++place) {
      const bool by_groups = place >= 3;
      auto vertex = [&, k = 0](const std::string& x, const std::string& y, const std::string& z) mutable {
        return by_groups ? departing_vertex(x, y, z, k++) : steady_vertex(x, y, z);
      };
      std::string text = "0\n";
      for (int k = 0; k < 6; ++k) text += vertex(std::to_string(k) + ".25", "-3.75", "100.5");
      const std::size_t at = text.size();
      const std::string c[3] = {place % 3 == 0 ? odd.text : "1.5", place % 3 == 1 ? odd.text : "1.5",
                                place % 3 == 2 ? odd.text : "1.5"};
      text += vertex(c[0], c[1], c[2]) + vertex("9.5", "9.5", "9.5") + "EOF\n";
      for (bool write : {false, true}) {
        const auto [r, stop, names] = run_whole(text, write);
        if (odd.literal) {
          // On past the EOF, a name after a group code 0, handed back, to the block's end.
          EXPECT_EQ(stop, text.size() - 1) << odd.text << " at " << place << (write ? ", writing" : ", survey");
          EXPECT_EQ(names, std::vector<std::string>{"EOF"});
        } else {
          EXPECT_EQ(stop, at) << odd.text << " at " << place << (write ? ", writing" : ", survey");
          EXPECT_EQ(r.why, fast::RunStop::general);
        }
        if (!write) continue;
        EXPECT_EQ(r.vertices, odd.literal ? 8u : 6u) << odd.text << " at " << place;
        EXPECT_EQ(r.by_group_codes, by_groups ? r.vertices : 0u) << odd.text << " at " << place;
        ASSERT_TRUE(r.has_dval);
        EXPECT_EQ(r.dval, odd.literal ? 9.5 : 100.5) << odd.text << " at " << place;
      }
    }
  }
}

// Vertices read by their group codes without a z of their own are at the
// polyline's elevation, and a speculative run says when it wrote one at its
// guess of it; bulges and widths are counted where they are not zero.
TEST(BulkRuns, VerticesByTheirGroupsAtTheElevationGuessed) {
  std::string text = "0\n";
  for (int k = 0; k < 12; ++k) {
    const std::string arc = k % 3 == 0 ? "\n 42\n0.5" : k % 3 == 1 ? "\n 42\n0.0" : "";
    text += "VERTEX\n  5\n" + std::to_string(k + 10) + "\n  8\nL\n 10\n" + std::to_string(k) + ".5\n 20\n1\n 40\n" +
            (k < 6 ? "0" : "2") + arc + "\n 70\n0\n  0\n";
  }
  const MarkedText marked(text + "EOF\n");
  const fast::MarkedBlock b = marked.block();
  std::vector<char> out(64 * fast::run_entity_room);
  for (bool guessed : {false, true}) {
    const fast::RunResult r =
        fast::write_run(b, b.pos, true, true, 2.5, out.data(), out.data() + out.size(), nullptr, guessed);
    EXPECT_EQ(r.vertices, 12u);
    EXPECT_EQ(r.by_group_codes, 12u);
    EXPECT_EQ(r.bulges, 4u);
    EXPECT_EQ(r.widths, 6u);
    EXPECT_EQ(r.elevation_guess_used, guessed);
    EXPECT_EQ(r.dval, 2.5);
    const std::string last = "VERTEX\r\n  8\r\nL\r\n 70\r\n    0\r\n 10\r\n12\r\n 20\r\n1\r\n 30\r\n3\r\n  0\r\n";
    const std::string written(out.data(), r.out);
    EXPECT_EQ(written.substr(written.size() - last.size()), last);
  }
}

// Runs that take vertices by their layout up to the end of the loaded
// bytes stop there, whatever whitespace ends them.
TEST(BulkRuns, VerticesTakenByTheirLayoutUpToTheEnd) {
  for (int pad = 0; pad < 64; ++pad) {  // the end at every place in a bitmap word
    for (const std::string tail : {"", "\n", " \n\n", "\nVERTEX\n"}) {
      std::string text = "0\n" + std::string(static_cast<std::size_t>(pad), ' ');
      // Vertices longer than the bytes a run needs before it tries one.
      for (int k = 0; k < 8; ++k)
        text += steady_vertex(std::to_string(k) + ".5", "1.5", "2.5", "CONTOURS_AT_TEN_METRES");
      text += tail;
      for (bool write : {false, true}) {
        const auto [r, stop, names] = run_whole(text, write);
        // Up to the last vertex's last item; a keyword with nothing after it
        // is left to the general reads.
        const std::size_t last = text.size() - tail.size() - 1;
        EXPECT_EQ(r.why, tail.find('V') == std::string::npos ? fast::RunStop::block_end : fast::RunStop::general)
            << pad << write;
        EXPECT_GE(stop, last) << pad << write;
        EXPECT_LE(stop, tail.find('V') == std::string::npos ? text.size() : last + 2) << pad << write;
      }
    }
  }
}

// Entities left out are passed over, their names handed back, until the
// run holds as many as it can: the next one is left to the general reads.
TEST(BulkRuns, NamesAfterAGroupCodeZeroAreHandedBackUpToTheirRoom) {
  const std::string line = "LINE\n  8\nL\n 10\n1.5\n  0\n";
  std::string text = "0\n";
  for (std::size_t k = 0; k <= fast::RunResult::names_room; ++k) text += line;
  for (bool write : {false, true}) {
    const auto [r, stop, names] = run_whole(text + "EOF\n", write);
    EXPECT_EQ(r.why, fast::RunStop::general);
    EXPECT_EQ(stop, text.size() - line.size());  // before the last LINE
    EXPECT_EQ(names, std::vector<std::string>(fast::RunResult::names_room, "LINE"));
  }
}

TEST(Worker, RunsJobsInOrderWithOrWithoutAThread) {
  for (bool threads : {true, false}) {
    fast::Worker worker(threads);
    std::vector<int> ran;
    fast::Worker::Ticket last = 0;
    for (int k = 0; k < 2000; ++k) {
      last = worker.post([&ran, k] { ran.push_back(k); });
      if (k % 500 == 0) {
        worker.wait(last);  // a wait in the middle sees everything before it done
        EXPECT_EQ(ran.size(), static_cast<std::size_t>(k) + 1) << threads;
        EXPECT_TRUE(worker.done(last));
      }
    }
    worker.wait(last);
    ASSERT_EQ(ran.size(), 2000u) << threads;
    for (int k = 0; k < 2000; ++k) ASSERT_EQ(ran[static_cast<std::size_t>(k)], k) << threads;
  }
}

TEST(Worker, EndingRunsTheJobsStillWaiting) {
  std::atomic<int> ran{0};
  {
    fast::Worker worker;
    for (int k = 0; k < 100; ++k) worker.post([&ran] { ++ran; });
  }
  EXPECT_EQ(ran.load(), 100);
}

}  // namespace
