// The accelerator where whole merges cannot aim: its item source against
// the plain reads at every place a block may end, the room its layout
// shortcuts write into, runs ahead kept and dropped, and the worker
// thread's queue.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fast/block_items.h"
#include "fast/block_steps.h"
#include "fast/worker.h"
#include "in_process.h"
#include "merge/group_rules.h"
#include "merge/inputs.h"
#include "merge/item_source.h"
#include "merge/treatment.h"
#include "state.h"

namespace {

// A text as a loaded block: a NUL and 64 readable bytes after it, and its
// whitespace bitmap, no larger than the text needs.
struct MarkedText {
  explicit MarkedText(const std::string& text) : bytes(text.size() + 64, '\0'), bits(fast::bitmap_words(text.size())) {
    std::memcpy(bytes.data(), text.data(), text.size());
    fast::space_bits(bytes.data(), text.size(), bits.data());
  }
  [[nodiscard]] fast::MarkedBlock block() const {
    return {bytes.data(), bytes.data(), bytes.data() + bytes.size() - 64, bits.data()};
  }
  std::vector<char> bytes;
  std::vector<std::uint64_t> bits;
};

// What one read gave: its kind, whether it read, the item, and where the
// read position is after it.
struct Read {
  char kind;
  bool read;
  std::string item;
  std::size_t at;
  bool operator==(const Read&) const = default;
};

// Reads by the script (t a token, n a line, i a token as an integer, r a
// token as a real, c a line's trimmed text as an integer, g a group), for
// as long as the source is sure; `at` measures the read position.
template <class Items, class Position>
std::vector<Read> reads(Items& in, const std::string& script, Position position) {
  std::vector<Read> got;
  for (std::size_t k = 0; in.sure(); ++k) {
    const char kind = script[k % script.size()];
    std::string_view t;
    Read r{kind, false, {}, 0};
    if (kind == 'g') {
      int code = -7;
      const groups::Group group = in.group(code, t);
      r.read = group != groups::Group::cut_off;
      r.item = std::to_string(static_cast<int>(group)) + ":" + std::to_string(code) + ":";
      if (group == groups::Group::value) r.item += t;
      if (!in.sure()) break;
      r.at = position();
      got.push_back(r);
      if (!r.read) break;
      continue;
    }
    if (kind == 'n' || kind == 'c') {
      r.read = in.line(t);
    } else {
      r.read = in.token(t);
    }
    if (!in.sure()) break;
    r.item = t;
    if (r.read && (kind == 'i' || kind == 'c')) {
      int v = -7;
      r.item += in.integer(kind == 'c' ? groups::trimmed(t) : t, v) ? "=" + std::to_string(v) : "~";
    } else if (r.read && kind == 'r') {
      double v = -7;
      const bool real = in.real(t, v);
      r.item += real ? "=" + std::to_string(v) : "~";
      EXPECT_EQ(in.is_real(t), real) << t;
    }
    r.at = position();
    got.push_back(r);
    if (!r.read) break;
  }
  return got;
}

// The block's reads give what the plain reads give, item for item, up to
// the first they are not sure of; that one reaches the end of the block,
// wherever it ends: an item that may go on in the next block is never
// taken for a whole one.
TEST(BlockItems, ReadAsThePlainReadsUpToWhatMayGoOn) {
  std::mt19937 g(11);
  const std::string alphabet = "0123456789.-+eE xA\n\n\n\t\v\f";
  std::vector<std::string> texts = {"  0\nVERTEX\n  8\nCONTOURS\n 10\n1.25\n 20\n-2.5e1\n  0\nSEQEND\n",
                                    " 10\n\n  20\n  x y \n030\n1\n123456789\n5\n-8\n3\n 99999999\nA\n\t70\n0\n  0 \n",
                                    " 10 \n\t847972.228840356\t\n 20\n2134000\n  0\n",
                                    std::string("A\0B 12\0 3\n", 11) + "99999999 123456789 -0 +5 1e 1e+ .5 5. - .\n"};
  for (int k = 0; k < 60; ++k) {
    std::string t;
    for (int n = 0; n < 80; ++n) t += alphabet[g() % alphabet.size()];
    texts.push_back(t);
  }
  for (const std::string& text : texts) {
    for (const std::string script : {"t", "n", "g", "titr", "nctr", "tnnc", "ngg"}) {
      Reader r(std::size_t{1} << 20);
      r.open_memory(text);
      ReaderItems plain{r};
      // Past the end of the input, the end is where the reads are.
      const std::vector<Read> all = reads(plain, script, [&] {
        return r.at_end() ? text.size() : static_cast<std::size_t>(r.loaded().pos - r.loaded().base);
      });
      for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        const MarkedText marked(text.substr(0, cut));
        fast::BlockItems block(marked.block());
        const std::vector<Read> got =
            reads(block, script, [&] { return static_cast<std::size_t>(block.pos - block.base); });
        ASSERT_LE(got.size(), all.size()) << text << " cut at " << cut;
        for (std::size_t k = 0; k < got.size(); ++k) ASSERT_EQ(got[k], all[k]) << text << " cut at " << cut;
        if (block.sure() || got.size() == all.size()) continue;
        // The read not sure of ends past the block's end in the whole text.
        const Read& next = all[got.size()];
        EXPECT_TRUE(!next.read || next.at >= cut) << text << " cut at " << cut << ", " << script;
      }
    }
  }
}

// The layout shortcuts write a vertex's text into room asked for whole:
// vertices with the longest texts they write (layers as long as a layout
// keeps, coordinates of 300 digits and more) are merged into results of
// every size around that room, so that a write past it shows (under the
// address sanitizer), and the result is the plain reads'.
TEST(LayoutShortcuts, LongestVerticesFitTheRoomAsked) {
  std::string text = "  0\nSECTION\n  2\nENTITIES\n  0\nPOLYLINE\n  8\nL\n 66\n1\n 70\n0\n 10\n0\n 20\n0\n  0\n";
  const std::string x = "-1.7e308", y = "-1e300", z = "-" + std::string(20, '9') + "e288";
  for (const std::string& layer : {std::string(20, 'L'), std::string(250, 'L')}) {
    for (int k = 0; k < 40; ++k)
      text += "VERTEX\n  8\n" + layer + "\n 70\n-9999999\n 10\n" + x + "\n 20\n" + y + "\n 30\n" + z + "\n  0\n";
    for (int k = 0; k < 40; ++k)
      text += "VERTEX\n  5\n" + std::to_string(100 + k) + "\n  8\n" + layer + "\n 10\n" + x + "\n 20\n" + y +
              "\n 30\n" + z + "\n 70\n-9999999\n  0\n";
  }
  text += "SEQEND\n  0\nENDSEC\n  0\nEOF\n";
  const std::vector<MergeInput> inputs = {{"c:\\images\\t\\a.dxf", "", std::string_view(text)}};
  std::string reference;
  for (std::size_t capacity : {std::size_t{1} << 20, std::size_t{9000}, std::size_t{9500}, std::size_t{12345}}) {
    support::Restore restore;
    console.attach_memory({}, nullptr);
    std::string result;
    {
      Output out(capacity);
      out.attach(-1, &result);
      Acceleration settings;
      ASSERT_TRUE(acceleration_named(capacity == std::size_t{1} << 20 ? "off" : "runs", settings));
      ASSERT_EQ(merge(inputs, out, {settings, {}}), MergeEnd::complete);
      out.finish();
    }
    f1.close();
    if (reference.empty())
      reference = result;
    else
      EXPECT_EQ(result, reference) << capacity;
  }
}

// What a pass over one block did, as the accelerator takes it: with a run
// ahead over the far part of what follows `ahead` bytes, made before the
// pass takes its first step, or none (ahead negative).
struct PassOver {
  std::string result, shown, counts;
  std::uint64_t kept = 0;
};

template <Pass pass>
PassOver pass_over(const std::string& text, std::ptrdiff_t ahead, const DrawingOptions& drawing) {
  support::Restore restore;
  PassOver r;
  console.attach_memory({}, &r.shown);
  const MarkedText t(text);
  const std::vector<MergeInput> inputs = {{"c:\\images\\t\\a.dxf", "", std::string_view(text)}};
  {
    Output out;
    out.attach(-1, &r.result);
    MergeFrame m(out, inputs);
    m.drawing = drawing;
    m.i = 1;
    start_input(m);
    fast::BlockItems items(t.block());
    fast::LayoutShortcuts shortcuts(pass);
    TurnPlan plan;
    fast::RunAhead run_ahead(false);
    fast::MarkedBlock far = t.block();
    far.pos += ahead;
    if (ahead >= 0) run_ahead.start(pass, far, m, 0);
    fast::take_steps<pass>(items, m, shortcuts, plan, &run_ahead);
    out.finish();
    const InputState& s = m.input;
    r.counts = std::to_string(items.pos - t.block().base) + " " + std::to_string(s.segm) + " " +
               std::to_string(m.polylines_written) + " " + std::to_string(m.vertices_written) + " " +
               std::to_string(s.coincident) + " " + s.report.line("a") + " " + std::to_string(s.saw_section);
    for (int k = 0; k < 3; ++k)
      r.counts += " " + std::to_string(s.box.min[k]) + ":" + std::to_string(s.box.max[k]) + ":" +
                  std::to_string(s.box.has_min[k]);
    r.kept = run_ahead.runs_kept();
  }
  console.flush();
  console.attach_memory({}, nullptr);
  return r;
}

// Polylines of every kind a run ahead may start at or meet: in the layout,
// by their group codes (in two layouts) at an elevation with bulges,
// converted, coinciding vertices, and other entities among them (lines
// that join); in the section named.
std::string polylines_in(std::string_view section) {
  std::string text = "  0\nSECTION\n  2\n" + std::string(section) + "\n  0\n";
  for (int k = 0; k < 40; ++k) {
    const std::string a = std::to_string(k) + ".5", b = std::to_string(-3 * k) + ".25";
    switch (k % 4) {
      case 0:
        text += "POLYLINE\n  8\nL\n 66\n1\n 70\n0\n 10\n0\n 20\n0\n  0\n";
        for (const std::string& x : {a, a, b})
          text += "VERTEX\n  8\nL\n 70\n0\n 10\n" + x + "\n 20\n" + b + "\n 30\n0.0\n  0\n";
        text += "SEQEND\n  8\nL\n  0\n";
        break;
      case 1:
        text += "POLYLINE\n  8\nG\n 66\n1\n 30\n" + b + "\n 70\n0\n  0\n";
        for (const std::string& x : {b, a}) text += "VERTEX\n  8\nG\n 10\n" + x + "\n 20\n" + a + "\n 42\n0.5\n  0\n";
        // Where the last one lies, with its groups laid out otherwise.
        text += "VERTEX\n  8\nG\n 70\n0\n 10\n" + a + "\n 20\n" + a + "\n  0\n";
        text += "SEQEND\n  0\n";
        break;
      case 2:
        text += "LWPOLYLINE\n  8\nC\n 90\n2\n 38\n" + a + "\n 10\n" + b + "\n 20\n1e3\n 10\n" + a + "\n 20\n-7\n  0\n";
        break;
      default:
        text += "TEXT\n  8\nT\n 10\n" + a + "\n 20\n0\n 40\n1\n  1\nPOLYLINE\n  0\n";
        for (const std::string& x : {a, b})
          text += "LINE\n  8\nL\n 10\n" + x + "\n 20\n1\n 11\n" + b + "\n 21\n1\n  0\n";
    }
  }
  return text + "ENDSEC\n  0\nEOF\n";
}

// A run ahead is kept where the turns arrive at its start in the state its
// first turn left, wherever it starts, and is dropped where they do not (a
// polyline of a block definition, which it took for one of ENTITIES);
// either way each pass writes, shows and counts what it does without one,
// with lines joined and bulges drawn or without.
TEST(RunAhead, KeptWhereTheTurnsArriveAsItsFirstLeftItElseDropped) {
  DrawingOptions drawn;
  drawn.lines = drawn.curves = true;
  for (const DrawingOptions& drawing : {DrawingOptions{}, drawn})
    for (const std::string_view section : {"ENTITIES", "BLOCKS"}) {
      const std::string text = polylines_in(section);
      const std::string what = std::string(section) + (drawing.lines ? ", drawn" : "");
      const PassOver survey = pass_over<Pass::survey>(text, -1, drawing),
                     write = pass_over<Pass::write>(text, -1, drawing);
      const std::uint64_t kept = section == "ENTITIES" ? 1 : 0;
      // Starts before polylines of every kind, the last far from the end.
      for (std::size_t eighth = 0; eighth < 6; ++eighth) {
        const auto ahead = static_cast<std::ptrdiff_t>(text.size() * eighth / 8);
        const std::string where = what + ", from byte " + std::to_string(ahead);
        const PassOver survey_ahead = pass_over<Pass::survey>(text, ahead, drawing),
                       write_ahead = pass_over<Pass::write>(text, ahead, drawing);
        EXPECT_EQ(survey_ahead.kept, kept) << where;
        EXPECT_EQ(write_ahead.kept, kept) << where;
        EXPECT_EQ(survey_ahead.shown, survey.shown) << where;
        EXPECT_EQ(survey_ahead.counts, survey.counts) << where;
        EXPECT_EQ(write_ahead.result, write.result) << where;
        EXPECT_EQ(write_ahead.shown, write.shown) << where;
        EXPECT_EQ(write_ahead.counts, write.counts) << where;
      }
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
