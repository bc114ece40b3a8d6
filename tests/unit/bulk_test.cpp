// Bulk runs and runs ahead change nothing: random drawings, ordinary and
// awkward, merge to the same bytes and console texts with them and without
// them, whatever the block size.
#include <gtest/gtest.h>

#include <random>
#include <string>
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
  Drawing(unsigned seed, int odd, int keyword_layers) : g(seed), odd(odd), keyword_layers(keyword_layers) {}

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
    if (chance(1)) return;
    text += t;
    const int k = pick(200);
    text += k < 170 ? "\n" : k < 185 ? "\r\n" : k < 190 ? " " : k < 194 ? "\t\n" : k < 197 ? "\n\n  " : "  \r\n";
  }
  void code(int c) {
    std::string t = std::to_string(c);
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

TEST(BulkRuns, ChangeNothingWhateverTheBlockSize) {
  const BulkSettings saved = bulk_settings;
  struct Case {
    unsigned seed;
    int odd, keyword_layers;
  };
  for (const Case& c : {Case{1, 2, 2}, Case{2, 15, 5}, Case{3, 1, 30}, Case{4, 0, 100}}) {
    const unsigned seed = c.seed;
    ImagesFolder images;
    Drawing drawing(seed, c.odd, c.keyword_layers);
    images.write("t", "a", drawing.make(3000));
    images.write("t", "b", drawing.make(1500));

    bulk_settings.runs = false;
    bulk_settings.ahead = false;
    const Merged reference = merge(images);
    ASSERT_GT(reference.result.size(), 100000u);

    bulk_settings.runs = true;
    bulk_settings.ahead_min_bytes = 0;
    for (std::size_t block : {64u, 1000u, 4096u, 65536u, 1u << 20}) {
      f1.resize_block(block);
      for (bool ahead : {false, true}) {
        bulk_settings.ahead = ahead;
        const Merged m = merge(images);
        EXPECT_EQ(difference(m.result, reference.result), "") << "seed " << seed << ", block " << block << ", ahead " << ahead;
        EXPECT_EQ(difference(m.shown, reference.shown), "") << "seed " << seed << ", block " << block << ", ahead " << ahead;
      }
    }
    f1.resize_block(std::size_t{1} << 20);
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
TEST(BulkRuns, LargestEntitiesFitTheRoomLeft) {
  const std::string code = "\n-99999999\n";  // integers of 8 digits, the longest a run takes
  const std::string layer(256, 'L');           // the longest token a run copies
  std::string text = "0\n";
  for (int k = 0; k < 8; ++k)
    text += "VERTEX" + code + layer + code + "-99999999" + code + "-1.7e308" + code + "-1e" + std::to_string(300 + k) +
            code + "-" + std::string(20, '9') + "e288" + code;
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

}  // namespace
