// Micro-benchmarks of the reading machinery and the number conversions.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "bulk.h"
#include "numbers.h"
#include "reader.h"

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

// About 2 MB of vertices in the layout the bulk runs take.
const std::string& vertices() {
  static const std::string text = [] {
    std::mt19937 g(3);
    std::string t = "0\n";
    for (int k = 0; k < 20000; ++k) {
      if (k % 40 == 0) t += "POLYLINE\n  8\nCONTOURS\n 66\n1\n 70\n     0\n 10\n0\n 20\n0\n  0\n";
      t += "VERTEX\n  8\nCONTOURS\n 70\n     0\n";
      for (const char* code : {" 10", " 20", " 30"}) {
        t += code;
        t += '\n' + std::to_string(static_cast<int>(g() % 20000) - 10000) + '.' + std::to_string(g() % 1000000) + '\n';
      }
      t += "  0\n";
      if (k % 40 == 39) t += "SEQEND\n  8\nCONTOURS\n  0\n";
    }
    return t;
  }();
  return text;
}

// A bulk run over the whole text, loaded as one block.
void run_over(benchmark::State& state, auto run) {
  const std::string& text = vertices();
  Reader reader(text.size() + 16);
  Token first;
  for (auto _ : state) {
    reader.open_memory(text);
    reader.read_token(first);  // loads the block
    const Reader::Loaded block = reader.loaded();
    benchmark::DoNotOptimize(run(block));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void BM_SurveyRun(benchmark::State& state) {
  run_over(state, [](const Reader::Loaded& b) { return survey_run(b, b.pos).polylines; });
}
BENCHMARK(BM_SurveyRun);

void BM_WriteRun(benchmark::State& state) {
  std::vector<char> out(vertices().size() * 2 + 64 * run_entity_room);
  run_over(state, [&](const Reader::Loaded& b) { return write_run(b, b.pos, out.data(), out.data() + out.size()).out; });
}
BENCHMARK(BM_WriteRun);

std::vector<double> coordinates() {
  std::mt19937_64 gen(7);
  std::uniform_real_distribution<double> d(-1e6, 1e6);
  std::vector<double> v(4096);
  for (double& x : v) x = d(gen);
  return v;
}

void BM_Rounding(benchmark::State& state) {
  const auto values = coordinates();
  char text[max_number_text];
  for (auto _ : state)
    for (double x : values) benchmark::DoNotOptimize(put_rounded(text, x));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * values.size()));
}
BENCHMARK(BM_Rounding);

void BM_IntegerText(benchmark::State& state) {
  char text[16];
  for (auto _ : state)
    for (int v = -2000; v < 2000; ++v) benchmark::DoNotOptimize(put_int(text, v));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * 4000);
}
BENCHMARK(BM_IntegerText);

}  // namespace
