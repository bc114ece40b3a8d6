// Hostile drawings, merged in memory: every one is merged completely, without
// a crash or a hang, into a result bounded by the input's size, with at most
// one warning and one report of what was read, and as the reference merge
// does with every acceleration; where the reading rules fix the result, the
// copied items are checked exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "in_process.h"

namespace {

using namespace std::string_view_literals;
using support::count_lines;

// The largest finite double written in full, and the integer one nearer zero
// that rounding gives for its negative.
const std::string dbl_max =
    "17976931348623157081452742373170435679807056752584499659891747680315726078002853876058955863276687817154045"
    "89535143824642343213268894641827684675467035375169860499105765512820762454900903893289440758685084551339423"
    "04583236903222948165808559332123348274797826204144723168738177180919299881250404026184124858368";
const std::string dbl_max_less_one = dbl_max.substr(0, dbl_max.size() - 1) + "7";

// A drawing with one POLYLINE and two vertices; every {MARK} is an item that
// the cases replace. The first vertex leaves 7 in the coordinate cell, so a
// failed coordinate read in the second one writes 7 again.
constexpr std::string_view base_drawing =
    "  0\nSECTION\n  2\nHEADER\n  9\n$EXTMIN\n 10\n{MINX}\n 20\n-15.0\n 30\n-6.0\n"
    "  9\n$EXTMAX\n 10\n{MAXX}\n 20\n{MAXY}\n 30\n9.0\n  0\nENDSEC\n"
    "  0\nSECTION\n  2\nENTITIES\n"
    "  0\nPOLYLINE\n  8\n{LAYER}\n 66\n1\n 70\n{FLAG}\n 10\n0\n 20\n0\n"
    "  0\nVERTEX\n  8\nCONTOURS\n 70\n     0\n 10\n12.5\n 20\n-12.2\n 30\n7.0\n"
    "  0\nVERTEX\n  8\nCONTOURS\n 70\n{F}\n 10\n{X}\n 20\n{Y}\n 30\n{Z}\n{END}\n"
    "SEQEND\n  0\nENDSEC\n  0\nEOF\n";

struct Item {
  std::string_view mark;
  std::string text;
};

const std::vector<Item> defaults = {{"{MINX}", "2.0"}, {"{MAXX}", "20.0"}, {"{MAXY}", "50.0"}, {"{LAYER}", "CONTOURS"},
                                    {"{FLAG}", "1"},   {"{F}", "     0"},  {"{X}", "3.0"},     {"{Y}", "4.4"},
                                    {"{Z}", "-5.5"},   {"{END}", "  0"}};

// The base drawing with `changed` items in place of the defaults.
std::string drawing(const std::vector<Item>& changed = {}) {
  std::string d(base_drawing);
  for (const Item& item : defaults) {
    auto it = std::find_if(changed.begin(), changed.end(), [&](const Item& c) { return c.mark == item.mark; });
    const std::string& text = it != changed.end() ? it->text : item.text;
    d.replace(d.find(item.mark), item.mark.size(), text);
  }
  return d;
}

// The 1-based line of an item of the base drawing.
std::uint64_t line_of(std::string_view mark) {
  std::string_view before = base_drawing.substr(0, base_drawing.find(mark));
  return static_cast<std::uint64_t>(std::count(before.begin(), before.end(), '\n')) + 1;
}

// The result's lines, without their CR LF ends.
std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t e = std::min(text.find("\r\n", at), text.size());
    out.push_back(text.substr(at, e - at));
    at = e + 2;
  }
  return out;
}

std::string joined(const std::vector<std::string>& parts) {
  std::string s;
  for (const std::string& p : parts) s += (s.empty() ? "" : "|") + p;
  return s;
}

// The eleven lines after the nth (1-based) line holding `keyword`, joined by "|".
std::string items_after(const std::string& result, std::string_view keyword, int nth) {
  const std::vector<std::string> all = lines(result);
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i] == keyword && --nth == 0) {
      const auto first = all.begin() + static_cast<std::ptrdiff_t>(i) + 1;
      return joined({first, first + std::min<std::ptrdiff_t>(11, all.end() - first)});
    }
  }
  return {};
}

// The six extents of the result's header, min x, y, z, then max x, y, z, joined by "|".
std::string extents(const std::string& result) {
  const std::vector<std::string> all = lines(result);
  return all.size() < 20 ? "" : joined({all[7], all[9], all[11], all[15], all[17], all[19]});
}

const std::string initial_extents = "4000000|4000000|100000|0|0|0";
const std::string base_extents = "2|-15|-6|20|50|9";

struct Merged {
  std::string result;
  std::uint64_t warning_line = 0;  // 0: no warning
  std::string report;              // what standard error says was read, when it says anything
};

// The report of an input whose second vertex alone was read by its group
// codes, or left out for a value that is no number.
const std::string second_vertex_by_codes = "1 polyline and 2 vertices copied (1 entity read by its group codes)";
const std::string second_vertex_left_out =
    "1 polyline and 1 vertex copied; left out: 1 vertex with a value that is not a number";

// Merges `input` alone and checks what holds for every input.
Merged merge_alone(std::string_view input) {
  const support::CheckedMerge checked = support::checked_merge({{"c:\\images\\h\\in.dxf", std::string(input)}});
  EXPECT_EQ(checked.disagreement, "");
  const support::MemoryMerge& r = checked.merged;
  EXPECT_EQ(r.end, MergeEnd::complete);
  EXPECT_LE(r.result.size(), 2 * input.size() + 8192);
  EXPECT_TRUE(r.result.ends_with("EOF\r\n"));
  Merged m{r.result, 0, {}};
  const std::string head = "talvero: warning: c:\\images\\h\\in.dxf, line ";
  const std::string tail = ": an item the layout expects is missing; copied as read";
  const std::string no_number = " is not a number: its ";
  const std::string report = "talvero: c:\\images\\h\\in.dxf: ";
  std::string_view errors = r.errors;
  for (std::size_t n = 0; !errors.empty(); ++n) {
    const std::string_view line = errors.substr(0, errors.find('\n'));
    errors.remove_prefix(std::min(errors.size(), line.size() + 1));
    if (n == 0 && line.starts_with(head) && (line.ends_with(tail) || line.find(no_number) != std::string_view::npos)) {
      m.warning_line = std::stoull(std::string(line.substr(head.size())));
    } else if (m.report.empty() && line.starts_with(report) && errors.empty()) {
      m.report = line.substr(report.size());
    } else {
      ADD_FAILURE() << "expected at most a warning and a report, got: " << r.errors;
      break;
    }
  }
  return m;
}

class HostileInput : public ::testing::Test {};

// --- Odd items where the second vertex's items stand -----------------------

struct VertexCase {
  const char* label;
  std::vector<Item> items;
  std::string expected;        // the second vertex's lines from its flags on, joined by "|"; empty: left out
  std::string_view warned_at;  // the mark of the value warned about, or empty
  bool by_codes = false;       // the vertex departs from the layout: read by its group codes
};
void PrintTo(const VertexCase& c, std::ostream* os) { *os << c.label; }

class OddVertexItem : public HostileInput, public ::testing::WithParamInterface<VertexCase> {};

TEST_P(OddVertexItem, IsReadByTheDocumentedRules) {
  const VertexCase& c = GetParam();
  Merged m = merge_alone(drawing(c.items));
  EXPECT_EQ(items_after(m.result, "VERTEX", 2), c.expected.empty() ? "" : "  8|CONTOURS| 70|" + c.expected);
  // A value that is not a number is warned about on its line.
  EXPECT_EQ(m.warning_line, c.warned_at.empty() ? 0 : line_of(c.warned_at));
  EXPECT_EQ(m.report, c.expected.empty() ? second_vertex_left_out : c.by_codes ? second_vertex_by_codes : "");
  // Whatever the vertex did, the reading goes on to the SEQEND after it.
  EXPECT_EQ(count_lines(m.result, "SEQEND"), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Coordinate, OddVertexItem,
    ::testing::Values(
        // Not a whole real literal: the vertex departs from the layout, and
        // read by its group codes, with a coordinate that is no number, it is
        // left out.
        VertexCase{"hex", {{"{X}", "0x10"}}, "", "{X}", true}, VertexCase{"nan", {{"{X}", "nan"}}, "", "{X}", true},
        VertexCase{"inf", {{"{X}", "inf"}}, "", "{X}", true}, VertexCase{"sign", {{"{X}", "-"}}, "", "{X}", true},
        VertexCase{"point", {{"{X}", "."}}, "", "{X}", true},
        VertexCase{"sign_point", {{"{X}", "+."}}, "", "{X}", true},
        VertexCase{"two_numbers", {{"{Y}", "4 5"}}, "", "{Y}", true},
        // Beyond the double range: the largest finite double, written whole.
        VertexCase{"huge", {{"{X}", "1e999"}}, "    0| 10|" + dbl_max + "| 20|4| 30|-5|  0", ""},
        VertexCase{"huge_negative", {{"{Y}", "-1e999"}}, "    0| 10|3| 20|-" + dbl_max_less_one + "| 30|-5|  0", ""},
        VertexCase{"tiny", {{"{Z}", "1e-999"}}, "    0| 10|3| 20|4| 30|0|  0", ""},
        VertexCase{
            "digits_400", {{"{X}", "1" + std::string(399, '0')}}, "    0| 10|" + dbl_max + "| 20|4| 30|-5|  0", ""},
        VertexCase{"zeros_400", {{"{X}", std::string(396, '0') + "12.5"}}, "    0| 10|13| 20|4| 30|-5|  0", ""},
        // An exponent marker without digits is consumed and adds nothing.
        VertexCase{"bare_exponent", {{"{X}", "1e"}, {"{Y}", "2.5E+"}}, "    0| 10|1| 20|3| 30|-5|  0", ""},
        VertexCase{"below_half", {{"{X}", "0.49999999999999994"}}, "    0| 10|0| 20|4| 30|-5|  0", ""},
        // Beyond 32 bits the rounded value is written whole.
        VertexCase{"beyond_32_bits",
                   {{"{X}", "-3000000000.7"}, {"{Y}", "3000000000.5"}, {"{Z}", "-3000000000.5"}},
                   "    0| 10|-3000000000| 20|3000000001| 30|-3000000000|  0",
                   ""}),
    [](const auto& info) { return std::string(info.param.label); });

INSTANTIATE_TEST_SUITE_P(
    Integer, OddVertexItem,
    ::testing::Values(
        // Not a whole integer: the vertex departs from the layout, and with
        // flags that are no number, it is left out.
        VertexCase{"hex", {{"{F}", "0x10"}}, "", "{F}", true}, VertexCase{"real", {{"{F}", "1e999"}}, "", "{F}", true},
        VertexCase{"nan", {{"{F}", "nan"}}, "", "{F}", true},
        // Integers saturate to 32 bits.
        VertexCase{"digits_400", {{"{F}", std::string(400, '9')}}, "    2147483647| 10|3| 20|4| 30|-5|  0", ""},
        VertexCase{"negative_digits_400",
                   {{"{F}", "-" + std::string(400, '9')}},
                   "    -2147483648| 10|3| 20|4| 30|-5|  0",
                   ""},
        VertexCase{"sign", {{"{F}", "-"}}, "", "{F}", true}, VertexCase{"point", {{"{F}", "."}}, "", "{F}", true},
        VertexCase{"sign_point", {{"{F}", "+."}}, "", "{F}", true},
        // Read by group codes (a bulge of 0 before the group code 0), flags saturate too.
        VertexCase{"saturated_by_group_codes",
                   {{"{F}", "-" + std::string(400, '9')}, {"{END}", " 42\n0.0\n  0"}},
                   "    -2147483648| 10|3| 20|4| 30|-5|  0",
                   "",
                   true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(HostileInput, MegabyteTokenIsCopiedWhole) {
  std::string layer(std::size_t{1} << 20, 'L');
  layer[12345] = '\x7f';
  Merged m = merge_alone(drawing({{"{LAYER}", layer}}));
  EXPECT_TRUE(items_after(m.result, "POLYLINE", 1) == "  8|" + layer + "|  66|1| 70|     1| 10|     0| 20|0|  0")
      << "the layer token was not copied whole";
  EXPECT_EQ(count_lines(m.result, "VERTEX"), 2u);
  EXPECT_EQ(m.warning_line, 0u);
}

// --- Odd header extents -----------------------------------------------------

struct HeaderCase {
  const char* label;
  std::vector<Item> items;
  std::string expected;
  std::string_view warned_at;
};
void PrintTo(const HeaderCase& c, std::ostream* os) { *os << c.label; }

class OddExtent : public HostileInput, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(OddExtent, EndsTheGroupsAtTheFailedRead) {
  Merged m = merge_alone(drawing(GetParam().items));
  EXPECT_EQ(extents(m.result), GetParam().expected);
  EXPECT_EQ(m.warning_line, GetParam().warned_at.empty() ? 0 : line_of(GetParam().warned_at));
  EXPECT_EQ(count_lines(m.result, "VERTEX"), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Header, OddExtent,
    // A header without both ends of an axis gives none: the vertices
    // give that axis, (13, -11, 7) and (3, 4, -5) as written.
    ::testing::Values(
        HeaderCase{"nan", {{"{MINX}", "nan"}}, "3|-11|-5|13|4|7", "{MINX}"},
        HeaderCase{"sign", {{"{MINX}", "-"}}, "3|-11|-5|13|4|7", "{MINX}"},
        HeaderCase{"hex", {{"{MINX}", "0x10"}}, "0|-11|-5|20|4|7", "{MINX}"},
        HeaderCase{"huge_negative", {{"{MINX}", "-1e999"}}, "-" + dbl_max + "|-15|-6|20|50|9", ""},
        HeaderCase{"huge", {{"{MAXX}", "1e999"}}, "2|-15|-6|" + dbl_max + "|50|9", ""},
        HeaderCase{"digits_400", {{"{MAXY}", "1" + std::string(399, '0')}}, "2|-15|-6|20|" + dbl_max + "|9", ""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(HostileInput, GroupCodesWithoutValuesTakeTheNextItems) {
  // Each value is missing: every read of the extents takes the item after
  // it, and the polyline, read by its group codes, pairs each code with the
  // next code; its SEQEND is taken as a code line that is not a number, which
  // ends it, and the polyline left open is closed at the end of the input.
  constexpr std::string_view codes_only =
      "  9\n$EXTMIN\n 10\n 20\n 30\n  9\n$EXTMAX\n 10\n 20\n 30\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n"
      "  0\nPOLYLINE\n  8\n 66\n 70\n 10\n 20\n  0\nSEQEND\n  0\nEOF\n";
  Merged m = merge_alone(codes_only);
  EXPECT_EQ(extents(m.result), "20|4000000|100000|20|0|0");
  EXPECT_EQ(items_after(m.result, "POLYLINE", 1), "  8|66|  66|1| 70|     10| 10|     0| 20|0|  0");
  EXPECT_TRUE(m.result.ends_with("  0\r\nSEQEND\r\n0\r\nENDSEC\r\n0\r\nEOF\r\n"));
  EXPECT_EQ(count_lines(m.result, "SEQEND"), 1u);
  // The extents and the polyline depart; the one warning names the first place.
  EXPECT_EQ(m.warning_line, 7u);
  // The ENTITIES section is never closed: the EOF after it is an entity left out.
  EXPECT_EQ(m.report, "1 polyline copied (1 entity read by its group codes); left out: 1 EOF");
}

// --- Bytes the text-mode rules remove or stop at ---------------------------

TEST_F(HostileInput, ByteTwentySixInsideEndsTheDrawingThere) {
  std::string d = drawing();
  std::size_t second_vertex = d.find("VERTEX", d.find("VERTEX") + 6);
  d.insert(second_vertex, "\x1a");
  Merged m = merge_alone(d);
  EXPECT_EQ(extents(m.result), base_extents);
  EXPECT_EQ(count_lines(m.result, "VERTEX"), 1u);
  EXPECT_EQ(count_lines(m.result, "SEQEND"), 1u);  // the polyline left open, closed
  EXPECT_EQ(m.warning_line, 0u);
}

TEST_F(HostileInput, CarriageReturnsAnywhereAreNotSeen) {
  std::string plain = merge_alone(drawing()).result;
  std::string d;
  for (char c : drawing()) {
    if (c == '\n') d += "\r\r";
    d += c;
    if (c == 'V' || c == '.' || c == '$') d += '\r';  // inside tokens and numbers too
  }
  EXPECT_EQ(merge_alone(d).result, plain);
}

TEST_F(HostileInput, NulBytesAreTokenBytes) {
  std::string plain = merge_alone(drawing()).result;
  // A token of NUL bytes matches no keyword and is passed over.
  std::string d = drawing();
  d.insert(d.find("  0\nPOLYLINE"), "\0\0\0\n"sv);
  d.insert(d.find("  9\n$EXTMAX"), "\0\n"sv);
  EXPECT_EQ(merge_alone(d).result, plain);
  // Inside a copied token they do not upset the items after it.
  Merged m = merge_alone(drawing({{"{LAYER}", std::string("CON\0TOURS\0"sv)}}));
  EXPECT_EQ(items_after(m.result, "POLYLINE", 1),
            "  8|" + std::string("CON\0TOURS\0"sv) + "|  66|1| 70|     1| 10|     0| 20|0|  0");
  EXPECT_EQ(items_after(m.result, "VERTEX", 2), items_after(plain, "VERTEX", 2));
  EXPECT_EQ(m.warning_line, 0u);
}

TEST_F(HostileInput, NoWhitespaceAtAllIsOneToken) {
  std::string d = "0 SECTION 2 HEADER 9 ";
  while (d.size() < (std::size_t{1} << 20)) d += "POLYLINEVERTEX$EXTMIN10SEQEND0";
  Merged m = merge_alone(d);
  EXPECT_EQ(extents(m.result), initial_extents);
  EXPECT_EQ(count_lines(m.result, "POLYLINE") + count_lines(m.result, "VERTEX"), 0u);
  EXPECT_LE(m.result.size(), 1024u);
}

TEST_F(HostileInput, KeywordsAtTheEndAddNothing) {
  const std::string plain = merge_alone(drawing()).result;
  // Keywords where no entity starts are words, read or not in full.
  Merged m = merge_alone(drawing() + "POLYLINE\nVERTEX");
  EXPECT_EQ(m.result, plain);
  EXPECT_EQ(m.warning_line, 0u);
  // Entities cut off by the end of the input are not taken; the warning
  // names the last line.
  for (const char* cut : {"  0\nPOLYLINE\n  8\nL\n 70", "  0\nVERTEX\n 10\n1\n 20", "  0\nVERTEX"}) {
    const std::string input = drawing() + std::string(cut);
    m = merge_alone(input);
    EXPECT_EQ(m.result, plain) << cut;
    EXPECT_EQ(m.warning_line, static_cast<std::uint64_t>(std::count(input.begin(), input.end(), '\n')) + 1) << cut;
  }
}

}  // namespace
