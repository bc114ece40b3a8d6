// gen_drawing: writes a large, deterministic ASCII DXF drawing for the talvero benchmarks.
//
//   gen_drawing OUT.dxf SIZE_BYTES [SEED] [--crlf] [--departing]
//
// The drawing has a HEADER with $EXTMIN/$EXTMAX, a TABLES section with a LAYER table and an
// ENTITIES section that is mostly POLYLINE entities of 30 to 50 VERTEX each, with a few LINE
// and TEXT entities (about 5 % of the entities) that talvero leaves out of its result.
// Coordinates are decimals with 1 to 6 fractional digits, some negative, some written with an
// exponent ("1.2345e3", "-4.5E-1"), with magnitudes up to 1e6.  The header extents are the
// exact minimum and maximum of every coordinate written in the entities.
//
// The same SEED and SIZE_BYTES always give the same bytes: the generator has its own
// pseudo-random sequence (splitmix64) and does all coordinate arithmetic on integers
// (millionths of a drawing unit), so no floating-point or library behaviour is involved.
//
// The file is produced in two passes over the same random sequence: the first pass only
// measures (size and extents), the second writes the header with the measured extents and
// then the identical entities.  Lines end with LF, or CR LF with --crlf.
//
// With --departing the entities are written as programs of today write them, not in the layout
// talvero copies as it stands: every entity has a handle (5), an owner handle (330) and
// subclass markers (100); a POLYLINE keeps its elevation (30) and puts its flags last; a VERTEX
// has no 30 of its own (it takes the polyline's elevation), puts its flags after the
// coordinates, and one vertex in eight has a bulge (42).

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Random numbers

class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

  // Uniform enough in [0, n) for a test corpus (n is tiny next to 2^64).
  std::uint64_t below(std::uint64_t n) { return n == 0 ? 0 : next() % n; }

  // Inclusive range [lo, hi].
  std::int64_t range(std::int64_t lo, std::int64_t hi) {
    const auto span = static_cast<std::uint64_t>(hi - lo) + 1;
    return lo + static_cast<std::int64_t>(below(span));
  }

 private:
  std::uint64_t state_;
};

// ---------------------------------------------------------------------------------------------
// Numbers as they appear in the file

constexpr std::int64_t kMicro = 1'000'000;           // one drawing unit in millionths
constexpr std::int64_t kLimit = 1'000'000 * kMicro;  // |coordinate| <= 1e6 units

constexpr std::array<std::int64_t, 7> kPow10 = {1, 10, 100, 1000, 10000, 100000, 1000000};

enum class Style { plain, exp_lower, exp_upper };

// A decimal value: micro / 1e6, written with `frac` fractional digits (micro is a multiple of
// 10^(6-frac), so the written text is exact).
struct Real {
  std::int64_t micro;
  int frac;
  Style style;
};

// Writes decimal digits of v (v >= 0) at p, returns the end.
char* put_digits(char* p, std::uint64_t v) {
  char tmp[24];
  int n = 0;
  do {
    tmp[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n > 0) *p++ = tmp[--n];
  return p;
}

char* put_real(char* p, const Real& r) {
  const std::uint64_t mag = r.micro < 0 ? static_cast<std::uint64_t>(-r.micro) : static_cast<std::uint64_t>(r.micro);
  if (r.micro < 0) *p++ = '-';
  const auto unit = static_cast<std::uint64_t>(kPow10[static_cast<std::size_t>(6 - r.frac)]);
  const std::uint64_t mantissa = mag / unit;  // value * 10^frac

  if (r.style != Style::plain && mantissa != 0) {
    // d.ddddde±x, every digit of the mantissa kept.
    char digits[24];
    char* end = put_digits(digits, mantissa);
    const int nd = static_cast<int>(end - digits);
    *p++ = digits[0];
    *p++ = '.';
    if (nd == 1) {
      *p++ = '0';
    } else {
      std::memcpy(p, digits + 1, static_cast<std::size_t>(nd - 1));
      p += nd - 1;
    }
    *p++ = r.style == Style::exp_lower ? 'e' : 'E';
    const int exponent = nd - 1 - r.frac;
    if (exponent < 0) {
      *p++ = '-';
      p = put_digits(p, static_cast<std::uint64_t>(-exponent));
    } else {
      p = put_digits(p, static_cast<std::uint64_t>(exponent));
    }
    return p;
  }

  const auto scale = static_cast<std::uint64_t>(kPow10[static_cast<std::size_t>(r.frac)]);
  p = put_digits(p, mantissa / scale);
  *p++ = '.';
  std::uint64_t fraction = mantissa % scale;
  for (int i = r.frac - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  return p + r.frac;
}

// Shortest exact plain form of a value in millionths, at least one fractional digit.
Real exact_real(std::int64_t micro) {
  int frac = 6;
  while (frac > 1 && micro % kPow10[static_cast<std::size_t>(7 - frac)] == 0) --frac;
  return Real{micro, frac, Style::plain};
}

// ---------------------------------------------------------------------------------------------
// Output

class Sink {
 public:
  // file == nullptr: count bytes only.
  Sink(std::FILE* file, bool crlf) : file_(file), crlf_(crlf), buf_(file ? kBuffer : kScratch) {}

  // Makes room for n more bytes; every put_* below assumes room was made.
  void reserve(std::size_t n) {
    if (pos_ + n > buf_.size()) flush();
  }

  void flush() {
    if (file_ != nullptr && pos_ != 0 && std::fwrite(buf_.data(), 1, pos_, file_) != pos_) failed_ = true;
    flushed_ += pos_;
    pos_ = 0;
  }

  void eol() {
    if (crlf_) buf_[pos_++] = '\r';
    buf_[pos_++] = '\n';
  }

  void text(std::string_view s) {
    std::memcpy(buf_.data() + pos_, s.data(), s.size());
    pos_ += s.size();
    eol();
  }

  // A group code and its text value.
  void item(int c, std::string_view s) {
    code(c);
    text(s);
  }

  // Group code, right-aligned in three columns.
  void code(int c) {
    char* p = buf_.data() + pos_;
    char* end = put_digits(p + 3, static_cast<std::uint64_t>(c));  // scratch right of p
    const auto n = static_cast<std::size_t>(end - (p + 3));
    const std::size_t pad = n < 3 ? 3 - n : 0;
    std::memmove(p + pad, p + 3, n);
    std::memset(p, ' ', pad);
    pos_ += pad + n;
    eol();
  }

  // Integer value, right-aligned in `width` columns (0: no padding).
  void integer(std::int64_t v, std::size_t width = 0) {
    char tmp[24];
    char* q = tmp;
    if (v < 0) *q++ = '-';
    q = put_digits(q, v < 0 ? static_cast<std::uint64_t>(-v) : static_cast<std::uint64_t>(v));
    const auto n = static_cast<std::size_t>(q - tmp);
    for (std::size_t i = n; i < width; ++i) buf_[pos_++] = ' ';
    std::memcpy(buf_.data() + pos_, tmp, n);
    pos_ += n;
    eol();
  }

  void real(const Real& r) {
    char* p = buf_.data() + pos_;
    pos_ += static_cast<std::size_t>(put_real(p, r) - p);
    eol();
  }

  std::uint64_t bytes() const { return flushed_ + pos_; }
  bool failed() const { return failed_; }

 private:
  static constexpr std::size_t kBuffer = 8u << 20;
  static constexpr std::size_t kScratch = 256u << 10;

  std::FILE* file_;
  bool crlf_;
  std::vector<char> buf_;
  std::size_t pos_ = 0;
  std::uint64_t flushed_ = 0;
  bool failed_ = false;
};

// Room that any single entity item (up to a whole VERTEX) needs.
constexpr std::size_t kItemRoom = 512;

// ---------------------------------------------------------------------------------------------
// The drawing

struct Extents {
  std::array<std::int64_t, 3> lo{std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::max(),
                                 std::numeric_limits<std::int64_t>::max()};
  std::array<std::int64_t, 3> hi{std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::min(),
                                 std::numeric_limits<std::int64_t>::min()};

  void add(const Real& x, const Real& y, const Real& z) {
    const std::array<std::int64_t, 3> v{x.micro, y.micro, z.micro};
    for (std::size_t i = 0; i < 3; ++i) {
      if (v[i] < lo[i]) lo[i] = v[i];
      if (v[i] > hi[i]) hi[i] = v[i];
    }
  }

  bool empty() const { return lo[0] > hi[0]; }
  bool operator==(const Extents&) const = default;
};

struct Counts {
  std::uint64_t polylines = 0;
  std::uint64_t vertices = 0;
  std::uint64_t lines = 0;
  std::uint64_t texts = 0;
};

constexpr std::array<std::string_view, 5> kLayers = {"CONTOURS", "CONTOURS_INDEX", "RIVERS", "ROADS", "SPOTS"};
constexpr std::array<int, 5> kLayerColours = {7, 1, 5, 3, 2};

class Generator {
 public:
  Generator(Sink& out, std::uint64_t seed, bool departing = false) : out_(out), rng_(seed), departing_(departing) {}

  void header(const Extents& ext) {
    out_.reserve(kItemRoom);
    out_.item(0, "SECTION");
    out_.item(2, "HEADER");
    const std::array<std::string_view, 2> names{"$EXTMIN", "$EXTMAX"};
    for (std::size_t k = 0; k < 2; ++k) {
      out_.item(9, names[k]);
      for (std::size_t i = 0; i < 3; ++i) {
        const std::int64_t v = ext.empty() ? 0 : (k == 0 ? ext.lo[i] : ext.hi[i]);
        out_.code(10 * static_cast<int>(i + 1));
        out_.real(exact_real(v));
      }
    }
    out_.item(0, "ENDSEC");

    out_.reserve(kItemRoom);
    out_.item(0, "SECTION");
    out_.item(2, "TABLES");
    out_.item(0, "TABLE");
    out_.item(2, "LAYER");
    out_.code(70);
    out_.integer(static_cast<std::int64_t>(kLayers.size()), 6);
    for (std::size_t i = 0; i < kLayers.size(); ++i) {
      out_.reserve(kItemRoom);
      out_.item(0, "LAYER");
      out_.item(2, kLayers[i]);
      out_.code(70);
      out_.integer(0, 6);
      out_.code(62);
      out_.integer(kLayerColours[i], 6);
      out_.item(6, "CONTINUOUS");
    }
    out_.item(0, "ENDTAB");
    out_.item(0, "ENDSEC");

    out_.reserve(kItemRoom);
    out_.item(0, "SECTION");
    out_.item(2, "ENTITIES");
  }

  void trailer() {
    out_.reserve(kItemRoom);
    out_.item(0, "ENDSEC");
    out_.item(0, "EOF");
  }

  // Writes entities until `body_bytes` have been written (at least one entity).
  void entities(std::uint64_t body_bytes) {
    const std::uint64_t start = out_.bytes();
    do {
      const std::uint64_t r = rng_.below(100);
      if (r < 3)
        line();
      else if (r < 5)
        text();
      else
        polyline();
    } while (out_.bytes() - start < body_bytes);
  }

  const Extents& extents() const { return ext_; }
  const Counts& counts() const { return counts_; }

 private:
  // What a departing entity has after its name: a handle, its owner's, a subclass marker.
  void prologue(std::uint64_t owner) {
    if (!departing_) return;
    out_.code(5);
    hex(++handle_);
    out_.code(330);
    hex(owner);
    out_.item(100, "DbEntity");
  }

  void hex(std::uint64_t v) {
    char digits[17];
    int n = 0;
    do {
      digits[n++] = "0123456789ABCDEF"[v % 16];
      v /= 16;
    } while (v != 0);
    char text[17];
    for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
    out_.text(std::string_view(text, static_cast<std::size_t>(n)));
  }

  // A coordinate with a random number of fractional digits and a random notation.
  Real coordinate(std::int64_t micro) {
    const int frac = 1 + static_cast<int>(rng_.below(6));
    const std::int64_t unit = kPow10[static_cast<std::size_t>(6 - frac)];
    const std::uint64_t s = rng_.below(100);
    const Style style = s < 6 ? Style::exp_lower : (s < 10 ? Style::exp_upper : Style::plain);
    return Real{micro / unit * unit, frac, style};
  }

  std::int64_t anywhere() { return rng_.range(-kLimit, kLimit); }

  void line() {
    const Real x1 = coordinate(anywhere()), y1 = coordinate(anywhere()), z1 = coordinate(0);
    const Real x2 = coordinate(anywhere()), y2 = coordinate(anywhere()), z2 = coordinate(0);
    ext_.add(x1, y1, z1);
    ext_.add(x2, y2, z2);
    out_.reserve(kItemRoom);
    out_.item(0, "LINE");
    prologue(kModelSpace);
    out_.item(8, kLayers[3]);
    out_.code(10);
    out_.real(x1);
    out_.code(20);
    out_.real(y1);
    out_.code(30);
    out_.real(z1);
    out_.code(11);
    out_.real(x2);
    out_.code(21);
    out_.real(y2);
    out_.code(31);
    out_.real(z2);
    ++counts_.lines;
  }

  void text() {
    const std::int64_t elevation = rng_.range(-100, 800) * 5;
    const Real x = coordinate(anywhere()), y = coordinate(anywhere());
    const Real z = coordinate(elevation * kMicro);
    const Real height = coordinate(rng_.range(1, 50) * kMicro / 2);
    ext_.add(x, y, z);
    out_.reserve(kItemRoom);
    out_.item(0, "TEXT");
    prologue(kModelSpace);
    out_.item(8, kLayers[4]);
    out_.code(10);
    out_.real(x);
    out_.code(20);
    out_.real(y);
    out_.code(30);
    out_.real(z);
    out_.code(40);
    out_.real(height);
    out_.code(1);
    char label[32] = "H";
    char* end = put_digits(label + 1, static_cast<std::uint64_t>(elevation < 0 ? -elevation : elevation));
    if (elevation < 0) label[0] = 'D';
    out_.text(std::string_view(label, static_cast<std::size_t>(end - label)));
    ++counts_.texts;
  }

  // A contour-like line: a random walk whose size is 1 to 1e6 units.
  void polyline() {
    const std::uint64_t l = rng_.below(10);
    const std::string_view layer = l < 7 ? kLayers[0] : (l < 9 ? kLayers[1] : kLayers[2]);
    const int nvertices = static_cast<int>(rng_.range(30, 50));
    const int closed = rng_.below(4) == 0 ? 1 : 0;
    const std::int64_t elevation = rng_.range(-100, 800) * 5;

    const std::int64_t scale = kPow10[static_cast<std::size_t>(rng_.below(7))] * kMicro;
    const std::int64_t step = std::max<std::int64_t>(scale / 200, 1000);
    std::int64_t x = rng_.range(-scale, scale);
    std::int64_t y = rng_.range(-scale, scale);
    std::int64_t dx = rng_.range(-step, step);
    std::int64_t dy = rng_.range(-step, step);

    out_.reserve(kItemRoom);
    out_.item(0, "POLYLINE");
    prologue(kModelSpace);
    const std::uint64_t owner = handle_;
    out_.item(8, layer);
    if (departing_) {
      out_.item(100, "Db3dPolyline");
      out_.code(66);
      out_.integer(1);
      out_.item(10, "0.0");
      out_.item(20, "0.0");
      out_.code(30);
      out_.real(coordinate(elevation * kMicro));
      out_.code(70);
      out_.integer(closed, 6);
    } else {
      out_.code(66);
      out_.integer(1);
      out_.code(70);
      out_.integer(closed, 6);
      out_.code(10);
      out_.integer(0);
      out_.code(20);
      out_.integer(0);
    }

    for (int i = 0; i < nvertices; ++i) {
      const Real rx = coordinate(x), ry = coordinate(y), rz = coordinate(elevation * kMicro);
      ext_.add(rx, ry, rz);
      out_.reserve(kItemRoom);
      out_.item(0, "VERTEX");
      prologue(owner);
      out_.item(8, layer);
      if (departing_) {
        out_.item(100, "DbVertex");
        out_.code(10);
        out_.real(rx);
        out_.code(20);
        out_.real(ry);
        if (rng_.below(8) == 0) {
          out_.code(42);
          out_.real(coordinate(rng_.range(-kMicro, kMicro)));
        }
        out_.code(70);
        out_.integer(0, 6);
      } else {
        out_.code(70);
        out_.integer(0, 6);
        out_.code(10);
        out_.real(rx);
        out_.code(20);
        out_.real(ry);
        out_.code(30);
        out_.real(rz);
      }

      dx = std::clamp<std::int64_t>(dx + rng_.range(-step / 4, step / 4), -step, step);
      dy = std::clamp<std::int64_t>(dy + rng_.range(-step / 4, step / 4), -step, step);
      x = walk(x, dx);
      y = walk(y, dy);
    }

    out_.reserve(kItemRoom);
    out_.item(0, "SEQEND");
    prologue(owner);
    out_.item(8, layer);

    ++counts_.polylines;
    counts_.vertices += static_cast<std::uint64_t>(nvertices);
  }

  // One step, bouncing off the +-1e6 walls.
  static std::int64_t walk(std::int64_t v, std::int64_t& d) {
    v += d;
    if (v > kLimit) {
      v = 2 * kLimit - v;
      d = -d;
    } else if (v < -kLimit) {
      v = -2 * kLimit - v;
      d = -d;
    }
    return v;
  }

  static constexpr std::uint64_t kModelSpace = 0x1F;  // the owner of the drawing's entities

  Sink& out_;
  Rng rng_;
  bool departing_;
  std::uint64_t handle_ = 0x100;
  Extents ext_;
  Counts counts_;
};

bool parse_u64(const char* s, std::uint64_t& v) {
  if (*s < '0' || *s > '9') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long r = std::strtoull(s, &end, 10);
  if (errno != 0 || *end != '\0') return false;
  v = r;
  return true;
}

int usage() {
  std::fputs("usage: gen_drawing OUT.dxf SIZE_BYTES [SEED] [--crlf] [--departing]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool crlf = false;
  bool departing = false;
  std::vector<const char*> args;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--crlf") == 0)
      crlf = true;
    else if (std::strcmp(argv[i], "--departing") == 0)
      departing = true;
    else
      args.push_back(argv[i]);
  }
  if (args.size() < 2 || args.size() > 3) return usage();

  std::uint64_t size = 0;
  std::uint64_t seed = 1;
  if (!parse_u64(args[1], size) || (args.size() == 3 && !parse_u64(args[2], seed))) return usage();

  // Pass 1: measure the header, the trailer and the extents of the entities.
  std::uint64_t body = 0;
  Extents extents;
  {
    Sink probe(nullptr, crlf);
    Generator gen(probe, seed, departing);
    gen.header(Extents{});
    const std::uint64_t head = probe.bytes();
    Sink tail_probe(nullptr, crlf);
    Generator(tail_probe, seed).trailer();
    const std::uint64_t tail = tail_probe.bytes();
    body = size > head + tail ? size - head - tail : 0;
    gen.entities(body);
    extents = gen.extents();
  }

  // Pass 2: the same entities, now with the true extents in the header.
  std::FILE* f = std::fopen(args[0], "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "gen_drawing: cannot create %s: %s\n", args[0], std::strerror(errno));
    return 1;
  }
  Sink out(f, crlf);
  Generator gen(out, seed, departing);
  gen.header(extents);
  gen.entities(body);
  gen.trailer();
  out.flush();
  const bool closed = std::fclose(f) == 0;
  if (out.failed() || !closed) {
    std::fprintf(stderr, "gen_drawing: write error on %s\n", args[0]);
    return 1;
  }
  if (!(gen.extents() == extents)) {
    std::fputs("gen_drawing: internal error: passes disagree\n", stderr);
    return 1;
  }

  const Counts& c = gen.counts();
  std::printf("%s: %llu bytes, %llu POLYLINE, %llu VERTEX, %llu LINE, %llu TEXT\n", args[0],
              static_cast<unsigned long long>(out.bytes()), static_cast<unsigned long long>(c.polylines),
              static_cast<unsigned long long>(c.vertices), static_cast<unsigned long long>(c.lines),
              static_cast<unsigned long long>(c.texts));
  return 0;
}
