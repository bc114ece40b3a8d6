// The reference merge: every rule written out the plain way, a byte at a time.
#include "reference_merge.h"

#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string_view>
#include <system_error>
#include <utility>

namespace reference {
namespace {

// ---------------------------------------------------------------------------
// Reading

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// An input's content as the reads see it: every CR dropped, nothing from the
// first byte 26 on.
std::string content_of(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (char c : bytes) {
    if (c == '\x1a') break;
    if (c != '\r') text += c;
  }
  return text;
}

// The three reads over one input's content. A read that finds nothing stores
// nothing and says so.
class Text {
 public:
  explicit Text(const std::string& bytes) : text_(content_of(bytes)) {}

  // The next maximal run of non-whitespace bytes.
  bool token(std::string& out) {
    skip_space();
    if (at_ >= text_.size()) return false;
    std::size_t start = at_;
    while (at_ < text_.size() && !is_space(text_[at_])) ++at_;
    out.assign(text_, start, at_ - start);
    return true;
  }

  // An optional sign, then decimal digits; saturates to 32 bits. The sign is
  // consumed even when no digit follows it.
  bool integer(int& out) {
    skip_space();
    bool negative = false;
    if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) negative = text_[at_++] == '-';
    std::size_t start = at_;
    while (at_ < text_.size() && is_digit(text_[at_])) ++at_;
    if (at_ == start) return false;
    std::string literal = negative ? "-" : "";
    literal.append(text_, start, at_ - start);
    int value = 0;
    if (std::from_chars(literal.data(), literal.data() + literal.size(), value).ec == std::errc::result_out_of_range)
      value = negative ? INT_MIN : INT_MAX;
    out = value;
    return true;
  }

  // Optional sign, digits, optional point and fraction, optional exponent.
  // Without a mantissa digit the read fails, having consumed the sign and the
  // point; an exponent marker without digits is consumed and adds nothing.
  bool real(double& out) {
    skip_space();
    bool negative = false;
    if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) negative = text_[at_++] == '-';
    std::string whole, fraction;
    while (at_ < text_.size() && is_digit(text_[at_])) whole += text_[at_++];
    if (at_ < text_.size() && text_[at_] == '.') {
      ++at_;
      while (at_ < text_.size() && is_digit(text_[at_])) fraction += text_[at_++];
    }
    if (whole.empty() && fraction.empty()) return false;
    std::string exponent;  // its sign and digits, or empty
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      std::string sign;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) sign = text_[at_++];
      std::string digits;
      while (at_ < text_.size() && is_digit(text_[at_])) digits += text_[at_++];
      if (!digits.empty()) exponent = sign + digits;
    }
    out = to_double(negative, whole, fraction, exponent);
    return true;
  }

 private:
  void skip_space() {
    while (at_ < text_.size() && is_space(text_[at_])) ++at_;
  }

  static double to_double(bool negative, const std::string& whole, const std::string& fraction,
                          const std::string& exponent) {
    std::string literal = negative ? "-" : "";
    literal += whole.empty() ? "0" : whole;
    if (!fraction.empty()) literal.append(".").append(fraction);
    if (!exponent.empty()) literal.append("e").append(exponent);
    double value = 0;
    if (std::from_chars(literal.data(), literal.data() + literal.size(), value).ec == std::errc::result_out_of_range) {
      // Beyond the double range: the largest finite double; below it (short
      // of the smallest subnormal, which is kept): zero. Both keep the sign.
      double magnitude = overflows(whole, fraction, exponent) ? DBL_MAX : 0.0;
      value = negative ? -magnitude : magnitude;
    }
    return value;
  }

  // Whether a literal outside the double range lies above it rather than
  // below it: its first significant digit stands at a power of ten of 0 or
  // more. The exponent's digits are summed with a cap, as they may be many.
  static bool overflows(const std::string& whole, const std::string& fraction, const std::string& exponent) {
    std::int64_t power = 0;
    std::size_t first = whole.find_first_not_of('0');
    if (first != std::string::npos) {
      power = static_cast<std::int64_t>(whole.size() - first) - 1;
    } else {
      std::size_t in_fraction = fraction.find_first_not_of('0');
      if (in_fraction == std::string::npos) return false;  // zero is never out of range
      power = -static_cast<std::int64_t>(in_fraction) - 1;
    }
    std::int64_t e = 0;
    for (char c : exponent) {
      if (is_digit(c) && e < std::int64_t{1} << 40) e = e * 10 + (c - '0');
    }
    if (!exponent.empty() && exponent[0] == '-') e = -e;
    return power + e >= 0;
  }

  std::string text_;
  std::size_t at_ = 0;
};

// ---------------------------------------------------------------------------
// Numbers as text

// The decimal digits of a whole, non-negative double, exactly.
std::string digits_of(double whole) {
  char buffer[400];  // the largest double has 309 digits
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, whole, std::chars_format::fixed, 0).ptr);
}

std::string plus_one(std::string digits) {
  std::size_t i = digits.size();
  while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
  if (i == 0) return digits.insert(0, 1, '1');
  ++digits[i - 1];
  return digits;
}

// For digits standing for a number of at least 1.
std::string minus_one(std::string digits) {
  std::size_t i = digits.size();
  while (digits[i - 1] == '0') digits[--i] = '9';
  --digits[i - 1];
  std::size_t lead = digits.find_first_not_of('0');
  return lead == std::string::npos ? "0" : digits.substr(lead);
}

std::string signed_text(bool negative, const std::string& magnitude) {
  return negative && magnitude != "0" ? std::string("-").append(magnitude) : magnitude;
}

// An extent: truncated toward zero, as the exact integer.
std::string truncated(double x) { return signed_text(x < 0, digits_of(std::fabs(std::trunc(x)))); }

// A vertex coordinate: x + 0.5, the sum taken exactly, truncated toward zero.
std::string rounded(double x) {
  double whole = 0;
  double fraction = std::modf(x, &whole);  // both exact, of the sign of x
  std::string magnitude = digits_of(std::fabs(whole));
  if (x >= 0) return fraction >= 0.5 ? plus_one(magnitude) : magnitude;
  // x < 0: x + 0.5 lies in (whole - 0.5, whole + 0.5].
  if (whole == 0) return "0";
  return signed_text(true, fraction > -0.5 ? minus_one(magnitude) : magnitude);
}

std::string six_decimals(double x) {
  int size = std::snprintf(nullptr, 0, "%lf", x);
  std::string s(static_cast<std::size_t>(size) + 1, '\0');
  std::snprintf(s.data(), s.size(), "%lf", x);
  s.resize(static_cast<std::size_t>(size));
  return s;
}

// ---------------------------------------------------------------------------
// The merge

struct Extents {
  double minx = 4000000.0, miny = 4000000.0, minz = 100000.0;
  double maxx = 0.0, maxy = 0.0, maxz = 0.0;
};

class Merge {
 public:
  Merged run(const std::vector<Input>& inputs) {
    console_ += "\n\n\tTreatment\n";
    for (std::size_t i = 0; i < inputs.size(); ++i) survey(i + 1, inputs[i]);
    say({"\n\n\tmin x = ", six_decimals(ext_.minx), " min y = ", six_decimals(ext_.miny), " "});
    say({"\n\tmax x = ", six_decimals(ext_.maxx), " max y = ", six_decimals(ext_.maxy), " "});
    say({"\n\tmin z = ", six_decimals(ext_.minz), " max z = ", six_decimals(ext_.maxz), " \n\n"});

    for (const char* l : {"  0", "SECTION", "  2", "HEADER", "  9", "$EXTMIN", " 10"}) line(l);
    line(truncated(ext_.minx));
    line(" 20");
    line(truncated(ext_.miny));
    line(" 30");
    line(truncated(ext_.minz));
    line("  9");
    line("$EXTMAX");
    line(" 10");
    line(truncated(ext_.maxx));
    line(" 20");
    line(truncated(ext_.maxy));
    line(" 30");
    line(truncated(ext_.maxz));
    for (const char* l : {"  0", "ENDSEC", "  0", "SECTION", "  2", "ENTITIES", "  0"}) line(l);

    for (std::size_t i = 0; i < inputs.size(); ++i) write(i + 1, inputs[i]);
    // One section end after the last input's entities, whatever the inputs hold.
    line("ENDSEC");
    line("0");
    line("EOF");
    return {std::move(result_), std::move(console_), polylines_, vertices_};
  }

 private:
  // --- the survey ---

  // Each pass reads a token and dispatches it until a token read fails; the
  // last token, the last integer and the last coordinate carry from input to
  // input and from the survey to the writing pass.
  void survey(std::size_t number, const Input& input) {
    say({"\n\n\tFile ", std::to_string(number), " Name : ", input.name, " \n\n"});
    Text in(input.bytes);
    int records = 0;
    while (in.token(texte_)) {
      if (texte_ == "$EXTMIN") fold(in, true);
      if (texte_ == "$EXTMAX") fold(in, false);
      if (texte_ == "POLYLINE") say({"\trecord ", std::to_string(++records), "            \r        "});
      if (texte_ == "VERTEX") {
        for (int j = 0; j < 4; ++j) in.token(texte_);
        double ignored = 0;  // the coordinates are read past, not used
        in.integer(val_);
        in.real(ignored);
        in.integer(val_);
        in.real(ignored);
        in.integer(val_);
        in.real(ignored);
        in.integer(val_);
      }
    }
  }

  // Groups 10, 20 and 30 after $EXTMIN (lowering) or $EXTMAX (raising), up to
  // another code or a failed read.
  void fold(Text& in, bool minimum) {
    if (!in.integer(val_)) return;
    while (val_ == 10 || val_ == 20 || val_ == 30) {
      double value = 0;
      if (!in.real(value)) return;
      double& x = val_ == 10   ? (minimum ? ext_.minx : ext_.maxx)
                  : val_ == 20 ? (minimum ? ext_.miny : ext_.maxy)
                               : (minimum ? ext_.minz : ext_.maxz);
      if (minimum ? x > value : x < value) x = value;
      if (!in.integer(val_)) return;
    }
  }

  // --- the writing pass ---

  void write(std::size_t number, const Input& input) {
    say({"\n\n\tFile ", std::to_string(number), " Name : ", input.name, " "});
    say({"\n\n"});
    Text in(input.bytes);
    int records = 0;
    while (in.token(texte_)) {
      if (texte_ == "POLYLINE") {
        say({"\t record ", std::to_string(++records), "            \r     "});
        ++polylines_;
        line("POLYLINE");
        integer(in, "  ");
        token(in);
        integer(in, "  ");
        token(in);
        in.integer(val_);  // written with a space in place of a plus sign
        line(val_ >= 0 ? " " : "", std::to_string(val_));
        integer(in, "     ");
        integer(in, " ");
        integer(in, "     ");
        integer(in, " ");
        integer(in, "");
        integer(in, "  ");
      }
      if (texte_ == "VERTEX") {
        ++vertices_;
        line("VERTEX");
        integer(in, "  ");
        token(in);
        integer(in, " ");
        integer(in, "    ");
        integer(in, " ");
        coordinate(in);
        integer(in, " ");
        coordinate(in);
        integer(in, " ");
        coordinate(in);
        integer(in, "  ");
      }
      // Only the sequence end's keyword is copied; its groups pass by as tokens.
      if (texte_ == "SEQEND") {
        line("SEQEND");
        line("0");
      }
    }
  }

  // Each item is read and written at once; a failed read writes the previous value.
  void integer(Text& in, const char* padding) {
    in.integer(val_);
    line(padding, std::to_string(val_));
  }
  void token(Text& in) {
    in.token(texte_);
    line(texte_);
  }
  void coordinate(Text& in) {
    in.real(dval_);
    line(rounded(dval_));
  }

  // A line of the result, in one or two parts, ended with CR LF.
  void line(std::string_view text, std::string_view more = {}) { result_.append(text).append(more).append("\r\n"); }

  // Console texts are written as they stand.
  void say(std::initializer_list<std::string_view> parts) {
    for (std::string_view part : parts) console_.append(part);
  }

  std::string texte_;  // the last token read, never cleared
  int val_ = 0;        // the last integer read, never reset
  double dval_ = 0.0;  // the last coordinate read by the writing pass
  Extents ext_;
  std::string result_;
  std::string console_;
  std::uint64_t polylines_ = 0;
  std::uint64_t vertices_ = 0;
};

}  // namespace

Merged merge(const std::vector<Input>& inputs) { return Merge().run(inputs); }

}  // namespace reference
