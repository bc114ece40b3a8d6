// The three reads, under text-mode rules, across block boundaries.
#include "reader.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <string>
#include <vector>

namespace {

// Every case runs with tiny blocks too, so items straddle block boundaries.
class ReaderTest : public ::testing::TestWithParam<std::size_t> {
 protected:
  Reader& open(std::string_view bytes) {
    data = std::string(bytes);
    reader = std::make_unique<Reader>(GetParam());
    reader->open_memory(data);
    return *reader;
  }
  std::vector<std::string> tokens(std::string_view bytes) {
    Reader& r = open(bytes);
    std::vector<std::string> out;
    std::string t;
    while (r.read_token(t)) out.push_back(t);
    return out;
  }
  std::string data;
  std::unique_ptr<Reader> reader;
};

using Tokens = std::vector<std::string>;

TEST_P(ReaderTest, TokensIgnoreLinesAndEveryWhitespaceKind) {
  EXPECT_EQ(tokens("  0\nSECTION\t\v\f 2 \r\nHEADER"), (Tokens{"0", "SECTION", "2", "HEADER"}));
  EXPECT_EQ(tokens(""), Tokens{});
  EXPECT_EQ(tokens(" \n\t "), Tokens{});
}

TEST_P(ReaderTest, CarriageReturnsAreDroppedEvenInsideTokens) {
  EXPECT_EQ(tokens("POLY\rLINE\r\n\r\rVERTEX"), (Tokens{"POLYLINE", "VERTEX"}));
  EXPECT_EQ(tokens("\r\r\r\r\r\r\r\r\r\r\r\r\r\r\r\r\r\r\r\r"), Tokens{});
}

TEST_P(ReaderTest, Byte26EndsTheContent) {
  EXPECT_EQ(tokens("A B\x1a" "C D"), (Tokens{"A", "B"}));
  EXPECT_EQ(tokens("\x1a" "POLYLINE"), Tokens{});
}

TEST_P(ReaderTest, LongTokensAndNulBytesAreKeptWhole) {
  std::string big(100000, 'x');
  EXPECT_EQ(tokens("a " + big + " b"), (Tokens{"a", big, "b"}));
  EXPECT_EQ(tokens(std::string("POLY\0LINE z", 11)), (Tokens{std::string("POLY\0LINE", 9), "z"}));
}

TEST_P(ReaderTest, EndIndicationIsSetOnlyByAReadThatRunsIntoTheEnd) {
  Reader& r = open("EOF");
  std::string t;
  ASSERT_TRUE(r.read_token(t));
  EXPECT_TRUE(r.at_end());  // the item ran right up to the end

  Reader& s = open("EOF\n");
  ASSERT_TRUE(s.read_token(t));
  EXPECT_FALSE(s.at_end());
  t = "kept";
  EXPECT_FALSE(s.read_token(t));
  EXPECT_TRUE(s.at_end());
  EXPECT_EQ(t, "kept");  // a failed read stores nothing
  int v = 7;
  EXPECT_FALSE(s.read_int(v));
  EXPECT_EQ(v, 7);
}

TEST_P(ReaderTest, IntegerReadStopsWhereDigitsStop) {
  Reader& r = open(" 0.5 -12 +7x 42");
  int v = -1;
  ASSERT_TRUE(r.read_int(v));
  EXPECT_EQ(v, 0);
  EXPECT_FALSE(r.read_int(v));  // facing ".5": nothing stored
  EXPECT_EQ(v, 0);
  double d = 0;
  ASSERT_TRUE(r.read_real(d));
  EXPECT_EQ(d, 0.5);
  ASSERT_TRUE(r.read_int(v));
  EXPECT_EQ(v, -12);
  ASSERT_TRUE(r.read_int(v));
  EXPECT_EQ(v, 7);
  std::string t;
  ASSERT_TRUE(r.read_token(t));
  EXPECT_EQ(t, "x");
  ASSERT_TRUE(r.read_int(v));
  EXPECT_EQ(v, 42);
  EXPECT_TRUE(r.at_end());
}

TEST_P(ReaderTest, SignBeforeANonDigitIsConsumed) {
  Reader& r = open("-x +");
  int v = 5;
  EXPECT_FALSE(r.read_int(v));
  std::string t;
  ASSERT_TRUE(r.read_token(t));
  EXPECT_EQ(t, "x");
  EXPECT_FALSE(r.read_int(v));
  EXPECT_TRUE(r.at_end());
  EXPECT_EQ(v, 5);
}

TEST_P(ReaderTest, IntegersBeyond32BitsSaturate) {
  std::string many(400, '9');
  Reader& r = open("2147483647 2147483648 -2147483648 -2147483649 99999999999999999999 -" + many + " 1");
  std::vector<int> got;
  int v = 0;
  while (r.read_int(v)) got.push_back(v);
  EXPECT_EQ(got, (std::vector<int>{INT_MAX, INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MIN, 1}));
}

TEST_P(ReaderTest, RealGrammar) {
  Reader& r = open("12.5 -.5 5. 1e5 -2.5E-1 +3 0049.50 123456789012345678901234567890");
  std::vector<double> got;
  double d = 0;
  while (r.read_real(d)) got.push_back(d);
  EXPECT_EQ(got, (std::vector<double>{12.5, -0.5, 5.0, 1e5, -0.25, 3.0, 49.5, 1.2345678901234568e29}));
}

TEST_P(ReaderTest, RealsOutsideTheGrammarStopWhereItStops) {
  Reader& r = open("0x10 1ex nan . +. - 7");
  double d = -1;
  std::string t;
  ASSERT_TRUE(r.read_real(d));  // "0", then "x10" is left
  EXPECT_EQ(d, 0.0);
  ASSERT_TRUE(r.read_token(t));
  EXPECT_EQ(t, "x10");
  ASSERT_TRUE(r.read_real(d));  // "1e" is consumed, the value is 1
  EXPECT_EQ(d, 1.0);
  ASSERT_TRUE(r.read_token(t));
  EXPECT_EQ(t, "x");
  EXPECT_FALSE(r.read_real(d));  // "nan" is no number and stays unread
  ASSERT_TRUE(r.read_token(t));
  EXPECT_EQ(t, "nan");
  EXPECT_FALSE(r.read_real(d));  // a lone point is consumed
  EXPECT_FALSE(r.read_real(d));  // so are a sign and a point
  EXPECT_FALSE(r.read_real(d));  // and a lone sign
  ASSERT_TRUE(r.read_real(d));
  EXPECT_EQ(d, 7.0);
}

TEST_P(ReaderTest, RealsBeyondTheDoubleRange) {
  std::string digits400 = "1" + std::string(399, '0');
  Reader& r = open("1e999 -1e999 1e-999 " + digits400 + " 0.49999999999999994");
  std::vector<double> got;
  double d = 0;
  while (r.read_real(d)) got.push_back(d);
  EXPECT_EQ(got, (std::vector<double>{DBL_MAX, -DBL_MAX, 0.0, DBL_MAX, 0.49999999999999994}));
}

TEST_P(ReaderTest, SkipRealConsumesExactlyWhatReadRealWould) {
  Reader& r = open("-1.5e3x +. 0x7 nan");
  std::string t;
  EXPECT_TRUE(r.skip_real());
  ASSERT_TRUE(r.read_token(t));
  EXPECT_EQ(t, "x");
  EXPECT_FALSE(r.skip_real());
  EXPECT_TRUE(r.skip_real());
  ASSERT_TRUE(r.read_token(t));
  EXPECT_EQ(t, "x7");
  EXPECT_FALSE(r.skip_real());
  ASSERT_TRUE(r.read_token(t));
  EXPECT_EQ(t, "nan");
}

TEST_P(ReaderTest, LineOfTheReadPosition) {
  Reader& r = open("a\nb\r\n\nc d\n");
  std::string t;
  r.read_token(t);
  EXPECT_EQ(r.line(), 1u);
  r.read_token(t);
  EXPECT_EQ(r.line(), 2u);
  r.read_token(t);
  EXPECT_EQ(r.line(), 4u);
}

TEST_P(ReaderTest, DropRestOfTokenLeavesTheNextToken) {
  Reader& r = open("-abc def");
  int v = 0;
  EXPECT_FALSE(r.read_int(v));
  r.drop_rest_of_token();
  std::string t;
  ASSERT_TRUE(r.read_token(t));
  EXPECT_EQ(t, "def");
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, ReaderTest, ::testing::Values(16, 17, 1 << 20));

TEST(ReaderFile, MissingFileAndFolderCannotBeOpened) {
  Reader r;
  std::string why;
  EXPECT_FALSE(r.open_file("/nonexistent/talvero/x.dxf", why));
  EXPECT_FALSE(why.empty());
  why.clear();
  EXPECT_FALSE(r.open_file("/tmp", why));
  EXPECT_EQ(why, "it is a folder");
}

}  // namespace
