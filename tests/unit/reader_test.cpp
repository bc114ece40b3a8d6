// The reads both passes and the dialogue make, under text-mode rules, with
// blocks small enough that items straddle them and with one block for all.
#include "read/reader.h"
#include "read/line_ends.h"

#include <gtest/gtest.h>

#include <charconv>
#include <random>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace {

using namespace std::string_literals;

// Makes the reads of `script` in turn over `bytes`, in blocks of `block`
// bytes: t a token (T as a view), k a token skipped, i an integer, r a real, s a real
// skipped, d the rest of a token dropped, l the line of the read position,
// n the rest of the line, e whether the read position is at a token's end
// (1 or 0); m marks the read position, w rewinds to the mark, f forgets it
// (these three tell nothing). Tells what each gave, joined by "|": the
// token, integer, real or line stored ("+" for a skip), "-" when a read
// stored nothing (it must keep what it held), each followed by "$" once the
// end indication is set.
std::string reads(const std::string& bytes, std::string_view script, std::size_t block) {
  Reader r(block);
  r.open_memory(bytes);
  std::string token = "kept", line, out;
  int integer = 7;
  double real = 7.0;
  for (char c : script) {
    if (c == 'm' || c == 'w' || c == 'f') {
      c == 'm' ? r.mark() : c == 'w' ? r.rewind() : r.forget_mark();
      continue;
    }
    const std::string token_before = token;
    const int integer_before = integer;
    const double real_before = real;
    std::string got = "+";
    bool stored = true;
    switch (c) {
      case 't': stored = r.read_token(token), got = token; break;
      case 'T': {
        std::string_view view;
        if ((stored = r.read_token(view))) token.assign(view);
        got = token;
        break;
      }
      case 'k': stored = r.skip_token(); break;
      case 'i': stored = r.read_int(integer), got = std::to_string(integer); break;
      case 'r': {
        char text[32];
        stored = r.read_real(real), got.assign(text, std::to_chars(text, text + 32, real).ptr);
        break;
      }
      case 's': stored = r.skip_real(); break;
      case 'd': r.drop_rest_of_token(), got.clear(); break;
      case 'l': got = std::to_string(r.line()); break;
      case 'n': stored = r.read_line(line), got = line; break;
      case 'N': {
        std::string_view view;
        if ((stored = r.read_line(view))) line.assign(view);
        got = line;
        break;
      }
      case 'e': got = r.at_token_end() ? "1" : "0"; break;
    }
    if ((c == 'n' || c == 'N') && !stored) {
      got = "-";
    } else if (!stored) {
      got = "-";
      EXPECT_TRUE(token == token_before && integer == integer_before && real == real_before) << script;
    }
    out += (out.empty() ? "" : "|") + got + (r.at_end() ? "$" : "");
  }
  return out;
}

struct ReadCase {
  const char* label;
  std::string bytes;
  const char* script;
  std::string expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.label; }

const std::string big(100000, 'x');

const ReadCase cases[] = {
    {"tokens_ignore_every_whitespace_kind", "  0\nSECTION\t\v\f 2 \r\nHEADER", "ttttt", "0|SECTION|2|HEADER$|-$"},
    {"nothing_but_whitespace", " \n\t ", "tt", "-$|-$"},
    {"carriage_returns_are_dropped_even_inside_tokens", "POLY\rLINE\r\n\r\rVERTEX", "ttt", "POLYLINE|VERTEX$|-$"},
    {"blocks_of_carriage_returns_alone", std::string(40, '\r') + "A", "tt", "A$|-$"},
    {"none_to_eight_carriage_returns_in_eight_bytes",
     "A\rB\r\rC\r\r\rD\r\r\r\rE\r\r\r\r\r\r\r\rF\r\r\r\r\r\r\r\r\rGH\rI\r\rJKLMNOPQRS TU\r\nV\r\n", "ttt",
     "ABCDEFGHIJKLMNOPQRS|TU|V"},
    {"byte_26_ends_the_content",
     "A B\x1a"
     "C D",
     "ttt", "A|B$|-$"},
    {"byte_26_first",
     "\x1a"
     "POLYLINE",
     "t", "-$"},
    {"long_tokens_are_kept_whole", "a " + big + " b", "ttt", "a|" + big + "|b$"},
    {"nul_bytes_are_token_bytes", "POLY\0LINE z"s, "tt", "POLY\0LINE|z$"s},
    // The end indication is set only by a read that runs into the end.
    {"an_item_up_to_the_end_sets_the_end", "EOF", "tt", "EOF$|-$"},
    {"whitespace_after_the_last_item", "EOF\n", "tti", "EOF|-$|-$"},
    // A sign is consumed even when no digit follows it.
    {"integers_stop_where_digits_stop", " 0.5 -12 +7x 42", "iiriiti", "0|-|0.5|-12|7|x|42$"},
    {"a_sign_before_a_non_digit_is_consumed", "-x +", "iti", "-|x|-$"},
    {"integers_beyond_32_bits_saturate",
     "2147483647 2147483648 -2147483647 -2147483648 -2147483649 99999999999999999999 -" + std::string(400, '9') + " 1",
     "iiiiiiii", "2147483647|2147483647|-2147483647|-2147483648|-2147483648|2147483647|-2147483648|1$"},
    {"real_grammar", "12.5 -.5 5. 1e5 -2.5E-1 +3 0049.50 123456789012345678901234567890", "rrrrrrrr",
     "12.5|-0.5|5|1e+05|-0.25|3|49.5|1.2345678901234568e+29$"},
    // "1e" is consumed with the value 1; "nan" stays unread; a lone point,
    // a sign and a point, and a lone sign are consumed.
    {"reals_stop_where_the_grammar_stops", "0x10 1ex nan . +. - 7", "rtrtrtrrrr", "0|x10|1|x|-|nan|-|-|-|7$"},
    {"reals_beyond_the_double_range", "1e999 -1e999 1e-999 1" + std::string(399, '0') + " 0.49999999999999994", "rrrrr",
     "1.7976931348623157e+308|-1.7976931348623157e+308|0|1.7976931348623157e+308|0.49999999999999994$"},
    {"a_skipped_real_takes_what_a_read_would", "-1.5e3x +. 0x7 nan", "stsstst", "+|x|-|+|x7|-|nan$"},
    {"line_of_the_read_position", "a\nb\r\n\nc d\n", "tltltl", "a|1|b|2|c|4"},
    {"dropping_the_rest_of_a_token", "-abc def", "idt", "-||def$"},
    // Lines are read whole, across blocks, without their line feed; spaces stay.
    {"lines_read_whole", "  0\nSECTION\n  2 \t\nEN TITIES\n\nlast", "nnnnnnn",
     "  0|SECTION|  2 \t|EN TITIES||last$|-$"},
    {"the_rest_of_a_line_after_a_token", "POLYLINE  rest of it\r\n\r\nnext\x1a hidden", "tnnnn",
     "POLYLINE|  rest of it||next$|-$"},
    // An item is a whole token when whitespace or the end follows it.
    {"whole_tokens", "              12ab 34 5.5x -", "ietieretie", "12|0|ab|34|1|5.5|0|x|-$|1$"},
    {"a_token_ending_at_a_block_end", "abcdefghijklmnop qrs", "tete", "abcdefghijklmnop|1|qrs$|1$"},
    // A rewind goes back to the mark, however many blocks the reads since
    // crossed, and a mark may stand in bytes read again.
    {"rewind_after_reads_across_blocks", "alpha beta gamma delta epsilon zeta eta theta iota", "tmttttwttttt",
     "alpha|beta|gamma|delta|epsilon|beta|gamma|delta|epsilon|zeta"},
    {"mark_in_bytes_read_again", "alpha beta gamma delta epsilon zeta eta theta iota", "tmtttwtmtttwtttt",
     "alpha|beta|gamma|delta|beta|gamma|delta|epsilon|gamma|delta|epsilon|zeta"},
    {"rewind_takes_back_the_end", "alpha beta", "tmttwt", "alpha|beta$|-$|beta$"},
    {"forgotten_mark_leaves_the_position", "one two three", "mtftt", "one|two|three$"},
    {"line_numbers_after_a_rewind", "a\nbb\nccc\ndddd\neeeee\nffffff\nggggggg\n", "tlmttttlwltlnl",
     "a|1|bb|ccc|dddd|eeeee|5|1|bb|2||3"},
    {"lines_and_integers_read_again", "x 1\n22\n333 4444\n55555 x", "tmnniwnnie", "x| 1|22|333| 1|22|333|1"},
};

class Reads : public ::testing::TestWithParam<std::tuple<ReadCase, std::size_t>> {};

TEST_P(Reads, GiveWhatTheRulesSay) {
  const auto& [c, block] = GetParam();
  EXPECT_EQ(reads(c.bytes, c.script, block), c.expected);
  // Tokens and lines read as views give the same.
  std::string views = c.script;
  for (char& k : views) k = k == 't' ? 'T' : k == 'n' ? 'N' : k;
  EXPECT_EQ(reads(c.bytes, views, block), c.expected) << views;
}

INSTANTIATE_TEST_SUITE_P(Reader, Reads,
                         ::testing::Combine(::testing::ValuesIn(cases), ::testing::Values(16, 17, 1 << 20)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).label) + "_in_blocks_of_" +
                                  std::to_string(std::get<1>(info.param));
                         });

// Every length up to 80 bytes, CRs from none to all of them, other bytes
// of any value: the faster forms drop the CRs a byte at a time would.
TEST(LineEnds, EveryCrDroppedByEachForm) {
  std::mt19937 g(29);
  for (int k = 0; k < 20000; ++k) {
    std::string bytes(g() % 81, '\0');
    const unsigned density = g() % 9;
    for (char& c : bytes) c = g() % 8 < density ? '\r' : static_cast<char>(g());
    std::string expected;
    for (const char c : bytes)
      if (c != '\r') expected += c;
    for (auto drop : {drop_cr, drop_cr_words}) {
      std::string b = bytes + std::string(16, '\0');
      b.resize(drop(b.data(), bytes.size()));
      ASSERT_EQ(b, expected) << k;
    }
  }
}

}  // namespace
