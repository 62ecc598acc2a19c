// Data file budgets: save 1,000,000 lines and open 1,000,000 lines (list and series), with a
// naive std::istream >> double loader of the same file as the same-run baseline.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "files/data_file.h"

using namespace velmora;

namespace {
constexpr std::size_t kLines = 1000000;

const ReadingList& million() {
  static ReadingList list = [] {
    ReadingList l;
    for (std::size_t i = 0; i < kLines; ++i)
      l.append(listLine(static_cast<double>(i) * 0.5 / 86400.0, 21.0 + 2 * std::sin(static_cast<double>(i) * 1e-4)));
    return l;
  }();
  return list;
}

std::string path() { return "/tmp/velmora-bench.vmd"; }

std::string readAll(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
}  // namespace

static void BM_SaveMillionLines(benchmark::State& state) {
  const ReadingList& list = million();
  std::string text;
  for (auto _ : state) {
    dataFileText(list, text);
    std::FILE* f = std::fopen(path().c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
}
BENCHMARK(BM_SaveMillionLines)->Unit(benchmark::kMillisecond)->Iterations(5);

static void BM_OpenMillionLines(benchmark::State& state) {
  {
    std::string text;
    dataFileText(million(), text);
    std::ofstream(path(), std::ios::binary) << text;
  }
  for (auto _ : state) {
    const std::string bytes = readAll(path());
    ReadingList list;
    MeasurementSeries series;
    auto r = parseDataFile(bytes, list, series);
    if (!r.ok || series.size() != kLines) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(series);
  }
}
BENCHMARK(BM_OpenMillionLines)->Unit(benchmark::kMillisecond)->Iterations(5);

static void BM_OpenMillionLines_IstreamBaseline(benchmark::State& state) {
  for (auto _ : state) {
    std::ifstream in(path(), std::ios::binary);
    std::vector<double> xs, ys;
    double a, b;
    std::string rest;
    while (in >> a >> b) {
      xs.push_back(a * 60 / 86400);
      ys.push_back(b);
      std::getline(in, rest);
    }
    if (xs.size() != kLines) state.SkipWithError("baseline failed");
    benchmark::DoNotOptimize(xs);
  }
}
BENCHMARK(BM_OpenMillionLines_IstreamBaseline)->Unit(benchmark::kMillisecond)->Iterations(5);

BENCHMARK_MAIN();
