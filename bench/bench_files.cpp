// Data file budgets: save 1,000,000 lines and open 1,000,000 lines (list and series), with a
// naive std::istream >> double loader of the same file as the same-run baseline; open files
// whose times are reversed or shuffled, and ten million lines read in pieces as the window
// reads them, with the peak of the heap while loading against what the readings occupy.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <sstream>
#include <string>

#include "files/csv_file.h"
#include "files/data_file.h"
#include "files/journal.h"

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

// A file read in pieces as the window reads it, ordered and taken into a list and a series.
void loadInPieces(std::ifstream& in, std::vector<char>& piece, DataFileLoader& loader, ReadingList& list,
                  MeasurementSeries& series) {
  while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0)
    loader.feed(std::string_view(piece.data(), static_cast<std::size_t>(in.gcount())));
  loader.finish();
  loader.order();
  loader.takeInto(list, series);
}

std::string path() { return (std::filesystem::temp_directory_path() / "velmora-bench.vmd").string(); }

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

namespace {
// The file of `lines` readings half a second apart, in the given order of lines.
std::string fileText(std::size_t lines, int order) {  // 0 ascending, 1 reversed, 2 shuffled
  std::vector<std::size_t> index(lines);
  for (std::size_t i = 0; i < lines; ++i) index[i] = i;
  if (order == 1) std::reverse(index.begin(), index.end());
  if (order == 2) std::shuffle(index.begin(), index.end(), std::mt19937(7));
  std::string text;
  text.reserve(lines * 20);
  for (std::size_t i : index) {
    appendListLine(text, static_cast<double>(i) * 0.5 / 86400.0, 21.0 + 2 * std::sin(static_cast<double>(i) * 1e-4));
    text += "\r\n";
  }
  return text;
}

void openInOrder(benchmark::State& state, int order) {
  const std::string text = fileText(kLines, order);
  for (auto _ : state) {
    ReadingList list;
    MeasurementSeries series;
    auto r = parseDataFile(text, list, series);
    if (!r.ok || series.size() != kLines) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(series);
  }
}
}  // namespace

static void BM_OpenMillionLinesReversed(benchmark::State& state) { openInOrder(state, 1); }
BENCHMARK(BM_OpenMillionLinesReversed)->Unit(benchmark::kMillisecond)->Iterations(3);
static void BM_OpenMillionLinesShuffled(benchmark::State& state) { openInOrder(state, 2); }
BENCHMARK(BM_OpenMillionLinesShuffled)->Unit(benchmark::kMillisecond)->Iterations(3);

// Heap in use and its peak, counted by the replaced global allocation functions below.
std::atomic<std::size_t> g_heapNow{0}, g_heapPeak{0};

// Ten million lines, read from the file in 4-MiB pieces as the window does.
static void BM_OpenTenMillionLines(benchmark::State& state) {
  constexpr std::size_t kTen = 10000000;
  const std::string file = (std::filesystem::temp_directory_path() / "velmora-bench-10M.vmd").string();
  {
    std::ofstream(file, std::ios::binary) << fileText(kTen, state.range(0) ? 2 : 0);
  }
  double peakRatio = 0;
  for (auto _ : state) {
    const std::size_t before = g_heapNow.load();
    g_heapPeak = before;
    std::ifstream in(file, std::ios::binary);
    std::vector<char> piece(4 << 20);
    std::size_t lines = 0;
    while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0)
      lines += countLines(std::string_view(piece.data(), static_cast<std::size_t>(in.gcount())));
    in.clear();
    in.seekg(0);
    DataFileLoader loader;
    loader.reserve(lines + 1, static_cast<std::size_t>(std::filesystem::file_size(file)));
    ReadingList list;
    MeasurementSeries series;
    loadInPieces(in, piece, loader, list, series);
    if (series.size() != kTen) state.SkipWithError("load failed");
    const double loaded = static_cast<double>(list.memoryBytes() + series.memoryBytes());
    peakRatio = static_cast<double>(g_heapPeak.load() - before) / loaded;
    state.counters["bytes_per_reading"] = loaded / kTen;
  }
  state.counters["peak_over_loaded"] = peakRatio;
  std::filesystem::remove(file);
}
BENCHMARK(BM_OpenTenMillionLines)->Arg(0)->Arg(1)->ArgName("shuffled")->Unit(benchmark::kMillisecond)->Iterations(1);

// The user-interface thread's share of journaling one reading: formatting it into the
// writer's buffer (the writing thread does the rest).
static void BM_JournalAppend(benchmark::State& state) {
  const std::string file = (std::filesystem::temp_directory_path() / "velmora-bench-journal.txt").string();
  JournalWriter writer(file);
  writer.startNew(std::nullopt);
  std::size_t i = 0;
  const std::string line = listLine(0.5, 21.46);
  for (auto _ : state) {
    writer.append(static_cast<double>(i) * 0.5 / 86400.0, 21.0 + 0.001 * static_cast<double>(i % 1000), line);
    ++i;
  }
  writer.remove();
}
BENCHMARK(BM_JournalAppend)->Repetitions(5)->ReportAggregatesOnly(true);

// Restoring a journal of a million readings: reading it and rebuilding list and series.
static void BM_RestoreMillionReadings(benchmark::State& state) {
  std::string text = "VELMORA JOURNAL 1\n";
  for (std::size_t i = 0; i < kLines; ++i) {
    const double x = static_cast<double>(i) * 0.5 / 86400.0, y = 21.0 + 2 * std::sin(static_cast<double>(i) * 1e-4);
    appendJournalReading(text, x, y, listLine(x, y));
  }
  for (auto _ : state) {
    const JournalContents c = readJournal(text);
    ReadingList list;
    MeasurementSeries series;
    list.reserve(c.readings.size(), c.readings.size() * 12);
    series.reserve(c.readings.size());
    for (const auto& r : c.readings) {
      list.append(r.line);
      series.add(r.x, r.y);
    }
    if (series.size() != kLines) state.SkipWithError("restore failed");
    benchmark::DoNotOptimize(series);
  }
}
BENCHMARK(BM_RestoreMillionReadings)->Unit(benchmark::kMillisecond)->Iterations(3);

// A long-form CSV (channel first) of N instruments with a million readings each, recorded side
// by side, read in 4-MiB pieces: the cost per reading is the figure to compare between one
// instrument and sixteen.
static void BM_OpenLongFormCsv(benchmark::State& state) {
  constexpr std::size_t kEach = 1000000;
  const auto channels = static_cast<std::size_t>(state.range(0));
  const std::string file = (std::filesystem::temp_directory_path() / "velmora-bench-long.csv").string();
  {
    std::string text;
    appendCsvChannelHeader(text);
    std::ofstream out(file, std::ios::binary);
    for (std::size_t i = 0; i < kEach; ++i) {
      const double x = static_cast<double>(i) * 0.5 / 86400.0;
      for (std::size_t c = 0; c < channels; ++c) {
        const double t = 21.0 + 0.01 * static_cast<double>(c) + 2 * std::sin(static_cast<double>(i) * 1e-4);
        appendCsvChannelRow(text, "T" + std::to_string(c + 1), x, t, 100 + 0.39 * t,
                            1796731200000 + static_cast<std::int64_t>(i) * 500);
      }
      if (text.size() > (8u << 20)) {
        out << text;
        text.clear();
      }
    }
    out << text;
  }
  for (auto _ : state) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> piece(4 << 20);
    DataFileLoader loader;
    loader.reserve(kEach + 1, static_cast<std::size_t>(std::filesystem::file_size(file)) / channels);
    ReadingList list;
    MeasurementSeries series;
    loadInPieces(in, piece, loader, list, series);
    const auto others = loader.takeChannels();
    std::size_t held = series.size();
    for (const auto& c : others) held += c.series.size();
    if (held != kEach * channels) state.SkipWithError("load failed");
  }
  state.counters["ns_per_reading"] = benchmark::Counter(static_cast<double>(kEach * channels), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  std::filesystem::remove(file);
}
BENCHMARK(BM_OpenLongFormCsv)->Arg(1)->Arg(16)->ArgName("instruments")->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();

// Counting allocation functions: the size travels in a header in front of each block.
namespace {
constexpr std::size_t kHeader = 16;
void* countedAlloc(std::size_t n) {
  void* p = std::malloc(n + kHeader);
  if (!p) throw std::bad_alloc();
  *static_cast<std::size_t*>(p) = n;
  const std::size_t now = g_heapNow.fetch_add(n) + n;
  std::size_t peak = g_heapPeak.load();
  while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
  }
  return static_cast<char*>(p) + kHeader;
}
void countedFree(void* p) noexcept {
  if (!p) return;
  void* block = static_cast<char*>(p) - kHeader;
  g_heapNow.fetch_sub(*static_cast<std::size_t*>(block));
  std::free(block);
}
}  // namespace

void* operator new(std::size_t n) { return countedAlloc(n); }
void* operator new[](std::size_t n) { return countedAlloc(n); }
void operator delete(void* p) noexcept { countedFree(p); }
void operator delete[](void* p) noexcept { countedFree(p); }
void operator delete(void* p, std::size_t) noexcept { countedFree(p); }
void operator delete[](void* p, std::size_t) noexcept { countedFree(p); }
