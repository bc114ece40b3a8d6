// Micro-benchmarks of the reading machinery and the number conversions.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "merge/treatment.h"
#include "read/reader.h"
#include "read/real_literal.h"
#include "state.h"
#include "write/number_text.h"
#ifdef TALVERO_FAST
#include "fast/numbers.h"
#include "fast/swar.h"
#endif

namespace {

// A text of n items made by make_item, one per line as drawings have them.
template <class Make>
std::string lines(std::size_t n, Make make_item) {
  std::mt19937 gen(42);
  std::string text;
  for (std::size_t k = 0; k < n; ++k) {
    text += make_item(gen);
    text += '\n';
  }
  return text;
}

const std::string& tokens() {
  static const std::string text = lines(200000, [](std::mt19937& g) {
    static const char* words[] = {"  0", "VERTEX", "  8", "CONTOURS", " 70", "     0", " 10", "POLYLINE"};
    return std::string(words[g() % 8]);
  });
  return text;
}

const std::string& integers() {
  static const std::string text = lines(200000, [](std::mt19937& g) {
    std::string s(4, ' ');
    s.replace(1, 3, std::to_string(g() % 1000));
    return s;
  });
  return text;
}

const std::string& reals() {
  static const std::string text = lines(200000, [](std::mt19937& g) {
    std::string s = std::to_string(static_cast<int>(g() % 2000000) - 1000000);
    int decimals = 1 + static_cast<int>(g() % 6);
    s += '.';
    for (int d = 0; d < decimals; ++d) s += static_cast<char>('0' + g() % 10);
    return s;
  });
  return text;
}

void read_all(benchmark::State& state, const std::string& text, auto read_one) {
  Reader reader;
  for (auto _ : state) {
    reader.open_memory(text);
    while (read_one(reader)) {
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_TokenRead(benchmark::State& state) {
  Token texte;
  read_all(state, tokens(), [&](Reader& r) { return r.read_token(texte); });
}
BENCHMARK(BM_TokenRead);

void BM_IntegerRead(benchmark::State& state) {
  int val = 0;
  read_all(state, integers(), [&](Reader& r) {
    bool ok = r.read_int(val);
    benchmark::DoNotOptimize(val);
    return ok;
  });
}
BENCHMARK(BM_IntegerRead);

void BM_RealRead(benchmark::State& state) {
  double dval = 0;
  read_all(state, reals(), [&](Reader& r) {
    bool ok = r.read_real(dval);
    benchmark::DoNotOptimize(dval);
    return ok;
  });
}
BENCHMARK(BM_RealRead);

void BM_RealSkip(benchmark::State& state) {
  read_all(state, reals(), [](Reader& r) { return r.skip_real(); });
}
BENCHMARK(BM_RealSkip);

// About 2 MB of vertices: in the layout copied as it stands, or (departing)
// as other programs write them (handles, owner handles, subclass markers,
// the elevation in the polyline, flags after the coordinates, a bulge on one
// vertex in eight), read by their group codes.
std::string make_vertices(bool departing) {
  std::mt19937 g(3);
  std::string t = "0\n";
  auto coordinate = [&](const char* code) {
    t += code;
    t += '\n' + std::to_string(static_cast<int>(g() % 20000) - 10000) + '.' + std::to_string(g() % 1000000) + '\n';
  };
  for (int k = 0; k < 20000; ++k) {
    const std::string handle = "  5\n" + std::to_string(1000 + k) + "\n330\n1F\n100\nDbEntity\n  8\nCONTOURS\n";
    if (k % 40 == 0)
      t += departing
               ? "POLYLINE\n" + handle + "100\nDb3dPolyline\n 66\n1\n 10\n0.0\n 20\n0.0\n 30\n12.5\n 70\n     0\n  0\n"
               : "POLYLINE\n  8\nCONTOURS\n 66\n1\n 70\n     0\n 10\n0\n 20\n0\n  0\n";
    if (departing) {
      t += "VERTEX\n" + handle + "100\nDbVertex\n";
      coordinate(" 10");
      coordinate(" 20");
      if (k % 8 == 0) t += " 42\n0.5\n";
      t += " 70\n     0\n  0\n";
    } else {
      t += "VERTEX\n  8\nCONTOURS\n 70\n     0\n";
      for (const char* code : {" 10", " 20", " 30"}) coordinate(code);
      t += "  0\n";
    }
    if (k % 40 == 39) t += "SEQEND\n  8\nCONTOURS\n  0\n";
  }
  return t;
}
const std::string& vertices(bool departing) {
  static const std::string texts[2] = {make_vertices(false), make_vertices(true)};
  return texts[departing ? 1 : 0];
}

// Both passes of a merge of the vertices held in memory, the result thrown
// away; argument 0: departing vertices; argument 1: the accelerator's runs
// (in builds that have it) rather than the plain reads alone.
void BM_Merge(benchmark::State& state) {
  const std::string& text = vertices(state.range(0) != 0);
  const std::vector<MergeInput> inputs = {{"c:\\images\\m\\a.dxf", "", std::string_view(text)}};
  Acceleration settings;
  if (!acceleration_named(state.range(1) != 0 ? "runs" : "off", settings)) {
    state.SkipWithError("this build has no accelerator");
    return;
  }
  console.attach_memory({}, nullptr);
  Output out;
  out.attach(-1);
  for (auto _ : state) benchmark::DoNotOptimize(merge(inputs, out, MergeOptions{settings, {}}));
  f1.close();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_Merge)->ArgsProduct({{0, 1}, {0, 1}});

std::vector<double> coordinates() {
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> d(-1e6, 1e6);
  std::vector<double> v(4096);
  for (double& x : v) x = d(gen);
  return v;
}

// Real literals one per line, each a token [s, e) with 64 readable bytes
// after the text; argument 0: coordinates as %.15g prints them
// (847972.228840356), 1: 17 significant digits, 2: 1 to 6 fraction digits,
// 3: exponent forms of every size.
struct Literals {
  std::string text;
  std::vector<std::pair<const char*, const char*>> tokens;
};
const Literals& literals(std::int64_t shape) {
  static Literals sets[4];
  Literals& l = sets[shape];
  if (!l.tokens.empty()) return l;
  std::mt19937_64 g(static_cast<std::uint64_t>(shape));
  std::uniform_real_distribution<double> coordinate(-1e6, 1e6);
  std::vector<std::size_t> ends;
  char b[64];
  for (int k = 0; k < 4096; ++k) {
    const double x = coordinate(g);
    switch (shape) {
      case 0: std::snprintf(b, sizeof b, "%.15g", x); break;
      case 1: std::snprintf(b, sizeof b, "%.17g", x); break;
      case 2: std::snprintf(b, sizeof b, "%.*f", 1 + k % 6, x); break;
      default: std::snprintf(b, sizeof b, "%.*e", 3 + k % 14, x * std::pow(10.0, k % 13 - 9)); break;
    }
    l.text += b;
    ends.push_back(l.text.size());
    l.text += '\n';
  }
  l.text.append(64, '\0');
  std::size_t start = 0;
  for (std::size_t end : ends) {
    l.tokens.emplace_back(l.text.data() + start, l.text.data() + end);
    start = end + 1;
  }
  return l;
}

void literal_loop(benchmark::State& state, auto convert) {
  const Literals& l = literals(state.range(0));
  for (auto _ : state)
    for (const auto& [s, e] : l.tokens) benchmark::DoNotOptimize(convert(s, e));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * l.tokens.size()));
}

// The general conversion and rounding, which the accelerator's forms below stand for.
void BM_RoundedLiteralPlain(benchmark::State& state) {
  char text[max_number_text + 8];
  literal_loop(state, [&](const char* s, const char* e) { return put_rounded(text, literal::real_value(s, e)); });
}
BENCHMARK(BM_RoundedLiteralPlain)->DenseRange(0, 3);

void BM_RealValuePlain(benchmark::State& state) {
  literal_loop(state, [](const char* s, const char* e) { return literal::real_value(s, e); });
}
BENCHMARK(BM_RealValuePlain)->DenseRange(0, 3);

#ifdef TALVERO_FAST
void BM_RoundedLiteral(benchmark::State& state) {
  char text[max_number_text + 8];
  literal_loop(state, [&](const char* s, const char* e) { return fast::put_rounded_literal(text, s, e); });
}
BENCHMARK(BM_RoundedLiteral)->DenseRange(0, 3);

void BM_WholeReal(benchmark::State& state) {
  literal_loop(state, [](const char* s, const char* e) {
    double v = 0;
    fast::whole_real(s, e, v);
    return v;
  });
}
BENCHMARK(BM_WholeReal)->DenseRange(0, 3);

void BM_IsWholeReal(benchmark::State& state) {
  literal_loop(state, [](const char* s, const char* e) { return fast::is_whole_real(s, e); });
}
BENCHMARK(BM_IsWholeReal)->DenseRange(0, 3);
#endif

void BM_Rounding(benchmark::State& state) {
  const auto values = coordinates();
  char text[max_number_text];
  for (auto _ : state)
    for (double x : values) benchmark::DoNotOptimize(put_rounded(text, x));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * values.size()));
}
BENCHMARK(BM_Rounding);

void integer_text(benchmark::State& state, auto put) {
  char text[16];
  for (auto _ : state)
    for (int v = -200000; v < 200000; v += 97) benchmark::DoNotOptimize(put(text, v));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * (400000 / 97 + 1));
}

void BM_IntegerText(benchmark::State& state) {
  integer_text(state, [](char* p, int v) { return put_int(p, v); });
}
BENCHMARK(BM_IntegerText);

}  // namespace
