// Bulk runs and runs ahead change nothing: random drawings, ordinary and
// awkward, merge to the same bytes and console texts with them and without
// them, whatever the block size.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bulk.h"
#include "test_env.h"

namespace {

using testenv::ImagesFolder;
using testenv::run;

class Drawing {
 public:
  // odd: percent of items outside the usual forms; keyword_layers: percent
  // of token items that read as keywords or are long (100: all "VERTEX").
  // steady: percent of items written the way the one before them was (one
  // a line, group codes padded alike, one layer), so that vertices mostly
  // repeat their layout and runs take them by it.
  Drawing(unsigned seed, int odd, int keyword_layers, int steady = 0)
      : g(seed), odd(odd), keyword_layers(keyword_layers), steady(steady) {}

  std::string make(int entities) {
    text.clear();
    if (chance(50)) header();
    for (int k = 0; k < entities; ++k) {
      const int kind = pick(100);
      if (kind < 4) {
        polyline();
      } else if (kind < 90) {
        vertex();
      } else if (kind < 94) {
        item("SEQEND");
        code(8);
        item("L");
        code(0);
      } else {
        item(pick_of({"LINE", "TEXT", "0", "8", "$EXTMAX", "10", "-1.5", "SEQEND", "VERTEX", "POLYLINE"}));
      }
    }
    return text;
  }

 private:
  bool chance(int percent) { return pick(100) < percent; }
  int pick(int n) { return static_cast<int>(g() % static_cast<unsigned>(n)); }
  std::string pick_of(std::initializer_list<const char*> texts) {
    auto it = texts.begin();
    std::advance(it, pick(static_cast<int>(texts.size())));
    return *it;
  }

  // Mostly one item a line; sometimes other whitespace, CRs, or nothing
  // where an item should be.
  void item(const std::string& t) {
    if (chance(steady)) {
      text += t + "\n";
      return;
    }
    if (chance(1)) return;
    text += t;
    const int k = pick(200);
    text += k < 170 ? "\n" : k < 185 ? "\r\n" : k < 190 ? " " : k < 194 ? "\t\n" : k < 197 ? "\n\n  " : "  \r\n";
  }
  void code(int c) {
    std::string t = std::to_string(c);
    if (chance(steady)) {
      text += std::string(3 - std::min<std::size_t>(t.size(), 3), ' ') + t + "\n";
      return;
    }
    if (chance(90)) t.insert(0, static_cast<std::size_t>(pick(4)), ' ');
    item(!chance(odd) ? t : integer());
  }
  std::string digits(int n) {
    std::string d;
    for (int k = 0; k < n; ++k) d += static_cast<char>('0' + pick(10));
    return d;
  }
  std::string integer() {
    if (!chance(odd)) return std::to_string(pick(100));
    return pick_of({"007", "00", "-3", "+7", "-0", "99999999", "123456789", "99999999999", "-2147483649", "-", "x",
                    "1.5", "7x", "VERTEX"});
  }
  std::string coordinate() {
    if (chance(odd)) {
      return pick_of({".5", "-.5", "5.", "-0.0", "0.49999999999999994", "2147483647.5", "-2147483648.7",
                      "4503599627370497", "1e999", "-1e999", "1e-999", "1.5x", ".", "-", "nan", "0x10", "12345678.5",
                      "1234567.12345678", "SEQEND"});
    }
    if (chance(80)) {
      std::string t = chance(30) ? "-" : chance(5) ? "+" : "";
      t += digits(pick(8));
      if (chance(90)) t += "." + digits(pick(9));
      if (t.find_first_of("0123456789") == std::string::npos) t += "5";
      if (chance(5)) t += pick_of({"e2", "E-3", "e+1", "e", "e+", "e40", "e-330"});
      return t;
    }
    // Whole and half numbers, and the values nearest them.
    const std::string w = std::to_string(pick(2000));
    return (chance(50) ? "-" : "") + w + pick_of({".5", ".0", ".49999999", ".50000001", ".4999999999999999999", ".", ""});
  }
  std::string layer() {
    if (keyword_layers >= 100) return "VERTEX";  // every run ahead may start at one
    if (chance(steady)) return "CONTOURS";
    if (!chance(keyword_layers)) return pick_of({"L", "CONTOURS", "CONTOURS_INDEX"});
    std::string t = pick_of({"VERTEX", "VERTEX", "VERTEX", "SEQEND", "POLYLINE", "$EXTMIN", "0"});
    if (chance(10)) t += std::string(300, 'A');
    return t;
  }

  void header() {
    for (const char* which : {"$EXTMIN", "$EXTMAX"}) {
      code(9);
      item(which);
      for (int c : {10, 20, 30}) {
        code(c);
        item(coordinate());
      }
    }
  }
  void polyline() {
    item("POLYLINE");
    code(8);
    item(layer());
    code(66);
    item(!chance(keyword_layers) ? "1" : layer());
    code(70);
    item(integer());
    for (int c : {10, 20}) {
      code(c);
      item(integer());
    }
    code(0);
  }
  void vertex() {
    item("VERTEX");
    code(8);
    item(layer());
    code(70);
    item(integer());
    for (int c : {10, 20, 30}) {
      code(c);
      item(coordinate());
    }
    code(0);
  }

  std::mt19937 g;
  int odd;
  int keyword_layers;
  int steady;
  std::string text;
};

struct Merged {
  std::string result;
  std::string shown;
};

// Where two texts first differ, with a little of each from there; empty
// when they are equal (large texts are not handed to the assertion whole).
std::string difference(const std::string& a, const std::string& b) {
  if (a == b) return {};
  std::size_t k = 0;
  while (k < a.size() && k < b.size() && a[k] == b[k]) ++k;
  return "offset " + std::to_string(k) + ": \"" + a.substr(k, 40) + "\" against \"" + b.substr(k, 40) + "\"";
}

Merged merge(const ImagesFolder& images) {
  auto r = run("t 2 a b out");
  EXPECT_TRUE(r.merge_ok);
  return {images.read("t", "out"), r.shown};
}

// The merge with the general reads alone.
Merged merge_general(const ImagesFolder& images) {
  bulk_settings.runs = false;
  bulk_settings.ahead = false;
  return merge(images);
}

// Merges again with bulk runs, with and without runs ahead (whatever the
// bytes left), for each block size, and expects the reference's bytes and
// console texts.
void expect_as_general(const ImagesFolder& images, const Merged& reference, std::initializer_list<std::size_t> blocks,
                       const std::string& what) {
  bulk_settings.runs = true;
  bulk_settings.ahead_min_bytes = 0;
  for (std::size_t block : blocks) {
    f1.resize_block(block);
    for (bool ahead : {false, true}) {
      bulk_settings.ahead = ahead;
      const Merged m = merge(images);
      EXPECT_EQ(difference(m.result, reference.result), "") << what << ", block " << block << ", ahead " << ahead;
      EXPECT_EQ(difference(m.shown, reference.shown), "") << what << ", block " << block << ", ahead " << ahead;
    }
  }
  f1.resize_block(std::size_t{1} << 20);
}

TEST(BulkRuns, ChangeNothingWhateverTheBlockSize) {
  const BulkSettings saved = bulk_settings;
  struct Case {
    unsigned seed;
    int odd, keyword_layers, steady;
  };
  for (const Case& c : {Case{1, 2, 2, 0}, Case{2, 15, 5, 0}, Case{3, 1, 30, 0}, Case{4, 0, 100, 0}, Case{5, 1, 1, 98},
                        Case{6, 4, 2, 90}}) {
    const unsigned seed = c.seed;
    ImagesFolder images;
    Drawing drawing(seed, c.odd, c.keyword_layers, c.steady);
    images.write("t", "a", drawing.make(3000));
    images.write("t", "b", drawing.make(1500));

    const Merged reference = merge_general(images);
    ASSERT_GT(reference.result.size(), 100000u);
    expect_as_general(images, reference, {64u, 1000u, 4096u, 65536u, 1u << 20}, "seed " + std::to_string(seed));
  }
  bulk_settings = saved;
  reset_state();
}

}  // namespace

namespace {

// A run stops while the room left can take any entity: vertices with the
// longest text a run writes (integers of 8 digits, a long layer, three
// coordinates of 300 digits and more) are run into outputs of every size
// around that room, each exactly as large as given, so that a write past it
// shows (under the address sanitizer, and in the end returned).
// Both with items read one by one (a layer too long for a vertex's layout
// to be kept) and with vertices taken by their layout.
TEST(BulkRuns, LargestEntitiesFitTheRoomLeft) {
  const std::string code = "\n-99999999\n";  // integers of 8 digits, the longest a run takes
  for (const std::string& layer : {std::string(256, 'L'), std::string("L")}) {  // the longest token a run copies
    std::string text = "0\n";
    for (int k = 0; k < 8; ++k)
      text += "VERTEX" + code + layer + code + "-99999999" + code + "-1.7e308" + code + "-1e" +
              std::to_string(300 + k) + code + "-" + std::string(20, '9') + "e288" + code;
    Reader reader(text.size() + 64);
    Token first;
    for (std::size_t size = run_entity_room; size < run_entity_room + 3000; size += 37) {
      reader.open_memory(text);
      ASSERT_TRUE(reader.read_token(first));  // loads the block
      const Reader::Loaded block = reader.loaded();
      std::vector<char> out(size);
      const RunResult r = write_run(block, block.pos, out.data(), out.data() + out.size());
      EXPECT_LE(r.out, out.data() + out.size()) << size;
      EXPECT_GT(r.out, out.data()) << size;  // the first vertex always fits
    }
  }
}

// A survey or writing run over text, loaded whole as one block (after its
// first token) in reader; out takes what a writing run writes.
struct WholeRun {
  RunResult r;
  std::size_t stop;  // r.stop as an offset into text
};
WholeRun run_whole(Reader& reader, const std::string& text, std::vector<char>& out, bool write) {
  Token first;
  reader.open_memory(text);
  EXPECT_TRUE(reader.read_token(first));  // loads the block
  const Reader::Loaded block = reader.loaded();
  const RunResult r =
      write ? write_run(block, block.pos, out.data(), out.data() + out.size()) : survey_run(block, block.pos);
  return {r, static_cast<std::size_t>(r.stop - block.base)};
}

// Vertices in one layout, coordinates varying; ended by group code 7 so
// that the last integer a run reads is not a zero.
std::string steady_vertex(const std::string& x, const std::string& y, const std::string& z,
                          const std::string& layer = "CONTOURS") {
  return "VERTEX\n  8\n" + layer + "\n 70\n     0\n 10\n" + x + "\n 20\n" + y + "\n 30\n" + z + "\n  7\n";
}

// A vertex in the layout of the ones before it, with one coordinate that is
// not a plain decimal, is taken when the whole token is a real literal and
// left to the general reads otherwise, in both passes and at each place.
TEST(BulkRuns, VerticesTakenByTheirLayoutAreReadWhole) {
  struct Odd {
    const char* text;
    bool literal;
  };
  const Odd odds[] = {{"1.5e3", true},  {"1.5e", true},   {"-.5", true},    {"5.", true},       {"1.5E-2", true},
                      {"+7", true},     {"12345678.5", true}, {"1.234567891", true}, {"-1e999", true},
                      {"1.5x", false},  {".", false},     {"+", false},     {"1..5", false},    {"--1", false},
                      {"1e5e5", false}, {"0x10", false},  {"nan", false},   {"1.5-", false},    {"SEQEND", false}};
  for (const Odd& odd : odds) {
    for (int place = 0; place < 3; ++place) {
      std::string text = "0\n";
      for (int k = 0; k < 6; ++k) text += steady_vertex(std::to_string(k) + ".25", "-3.75", "100.5");
      const std::size_t at = text.size();
      const std::string c[3] = {place == 0 ? odd.text : "1.5", place == 1 ? odd.text : "1.5",
                                place == 2 ? odd.text : "1.5"};
      text += steady_vertex(c[0], c[1], c[2]);
      text += steady_vertex("9.5", "9.5", "9.5") + "EOF\n";
      Reader reader(text.size() + 64);
      std::vector<char> out(text.size() * 4 + 64 * run_entity_room);
      for (bool write : {false, true}) {
        const auto [r, stop] = run_whole(reader, text, out, write);
        if (odd.literal) {
          EXPECT_EQ(stop, text.size() - 4) << odd.text << " at " << place << (write ? ", writing" : ", survey");
        } else {
          EXPECT_EQ(stop, at) << odd.text << " at " << place << (write ? ", writing" : ", survey");
          EXPECT_EQ(r.why, RunStop::general);
        }
        ASSERT_TRUE(r.has_val);
        EXPECT_EQ(r.val, 7);
      }
    }
  }
}

// Runs that take vertices by their layout up to the end of the loaded
// bytes stop there, whatever whitespace ends them.
TEST(BulkRuns, VerticesTakenByTheirLayoutUpToTheEnd) {
  for (int pad = 0; pad < 64; ++pad) {  // the end at every place in a bitmap word
    for (const std::string tail : {"", "\n", " \n\n", "\nVERTEX\n"}) {
      std::string text = "0\n" + std::string(static_cast<std::size_t>(pad), ' ');
      // Vertices longer than the bytes a run needs before it tries one.
      for (int k = 0; k < 8; ++k) text += steady_vertex(std::to_string(k) + ".5", "1.5", "2.5", "CONTOURS_AT_TEN_METRES");
      text += tail;
      Reader reader(text.size());  // no bitmap words past the ones the text needs
      std::vector<char> out(text.size() * 4 + 64 * run_entity_room);
      for (bool write : {false, true}) {
        const auto [r, stop] = run_whole(reader, text, out, write);
        // Up to the last vertex's last item; a keyword with nothing after it
        // is left to the general reads.
        const std::size_t last = text.size() - tail.size() - 1;
        if (tail.find('V') == std::string::npos) {
          EXPECT_EQ(r.why, RunStop::block_end) << write;
          EXPECT_GE(stop, last) << write;
        } else {
          EXPECT_EQ(r.why, RunStop::general) << write;
          EXPECT_GE(stop, last) << write;
          EXPECT_LE(stop, last + 2) << write;
        }
      }
    }
  }
}

// Vertices that differ from the layout of the ones before them anywhere
// (an item, whitespace, a coordinate's form) are written as the general
// reads write them.
TEST(BulkRuns, VerticesTakenByTheirLayoutChangeNothing) {
  const std::string steady = steady_vertex("1.25", "-2.5", "3.75");
  const std::pair<const char*, const char*> changes[] = {
      {"VERTEX", "VERTEXX"}, {"\n  8\n", "\n  9\n"}, {"CONTOURS", "CONTOURX"}, {"\n 70\n", "\n 71\n"},
      {"     0", "     1"},  {"     0", "    00"},    {"\n 10\n", "\n 11\n"}, {"\n 10\n", "\n 10-"}, {"\n 10\n", "\n 10 "},    {"\n 20\n", "\n 21\n"}, {"\n 20\n", "\n 20+"}, {"\n  7\n", "\n  7+"},
      {"\n 20\n", "\n  20\n"}, {"\n 20\n", "\n20\n"}, {"\n 20\n", "\n 020\n"},   {"\n 30\n", "\n 31\n"},
      {"\n 30\n", "\t 30\n"}, {"\n  7\n", "\n  0\n"}, {"\n  7\n", "\n  8\n"},   {"\n  7\n", "\n  7\n\n"},
      {"\n  7\n", "\n  -7\n"}, {"1.25", "1.25e1"},   {"-2.5", "-2.5x"},          {"3.75", "+3.75"},
      {"3.75", "3.7.5"},     {"1.25", "2.5e0"},      {"1.25", "-25e-1"},         {"-2.5", "-0.05e1"},
      {"3.75", "9999999.5e0"}, {"3.75", "99999995e-1"}, {"1.25", "1e7"},        {"1.25", "-1e6"},
      {"1.25", "1.5e-7"},    {"1.25", "5e-8"},       {"-2.5", "-1.5E+0"},        {"3.75", "0.4999999e0"},
      {"1.25", "123.4567e-4"}, {"1.25", "-1234567.5e-7"}, {"1.25", "1.5e0001"},    {"1.25", "12.5e"},     {"1.25", "99999999.5"}, {"-2.5", "-0.5"},           {"3.75", "SEQEND"}};
  std::string text = "POLYLINE\n  8\nCONTOURS\n 66\n1\n 70\n     0\n 10\n0\n 20\n0\n  0\n";
  for (const auto& [from, to] : changes) {
    for (int k = 0; k < 4; ++k) text += steady_vertex(std::to_string(k) + ".5", "7.5", "-" + std::to_string(k) + ".5");
    std::string odd = steady;
    odd.replace(odd.find(from), std::string(from).size(), to);
    text += odd;
  }
  text += "SEQEND\n  8\nL\n  0\n";

  const BulkSettings saved = bulk_settings;
  ImagesFolder images;
  images.write("t", "a", text);
  images.write("t", "b", text);
  expect_as_general(images, merge_general(images), {1000u, 1u << 20}, "changes");
  bulk_settings = saved;
  reset_state();
}

// When the general reads miss an item they keep the integer or real read
// last; after vertices taken by their layout, that is the last vertex's.
TEST(BulkRuns, VerticesTakenByTheirLayoutLeaveTheirValues) {
  const std::string polyline = "POLYLINE\n  8\nCONTOURS\n 66\n1\n 70\n     0\n 10\n0\n 20\n0\n  0\n";
  std::string text = polyline;
  for (int k = 0; k < 6; ++k) text += steady_vertex(std::to_string(k) + ".5", "-1.5", std::to_string(10 * k) + ".75");
  text += polyline;
  text += "VERTEX\n  8\nCONTOURS\n 70\n     0\n 10\nx\n 20\n2.5\n 30\n3.5\n  0\n";  // no x: the last real stands
  for (int k = 0; k < 6; ++k) text += steady_vertex("1.5", "2.5", std::to_string(k) + ".5");
  text += "POLYLINE\nx\nCONTOURS\n 66\n1\n 70\n     0\n 10\n0\n 20\n0\n  0\nSEQEND\n  8\nL\n  0\n";

  const BulkSettings saved = bulk_settings;
  ImagesFolder images;
  images.write("t", "a", text);
  images.write("t", "b", text);
  const Merged reference = merge_general(images);
  // The drawing reads as meant: the missing x is written as the last z
  // (50.75) and the missing group code as the last integer (7).
  EXPECT_NE(reference.result.find(" 10\r\n51\r\n 10\r\n51\r\n"), std::string::npos);
  EXPECT_NE(reference.result.find("POLYLINE\r\n  7\r\nx\r\n"), std::string::npos);
  expect_as_general(images, reference, {1u << 20}, "values");
  bulk_settings = saved;
  reset_state();
}

}  // namespace
