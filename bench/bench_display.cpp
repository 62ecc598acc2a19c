// Measurement display budgets: AddPoint with a million readings held, memory per reading,
// and chart redraws at 1600 × 900 with the 2-pixel line — our min/max-per-column drawing
// against QCustomPlot's own graph drawing of the same data as the baseline.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <cmath>
#include <qcustomplot.h>

#include "display/chart_panel.h"
#include "display/measurement_display.h"
#include "display/series_plottable.h"
#include "fake_chart_view.h"

using namespace velmora;

namespace {

constexpr double kStep = 0.5 / 86400.0;  // two readings a second

double temperature(std::size_t i) {
  return 21.0 + 2.0 * std::sin(static_cast<double>(i) * 1e-4) + 0.01 * std::sin(static_cast<double>(i) * 0.7);
}

struct NullClock : Clock {
  double nowDays() const override { return 0; }
};

}  // namespace

static void BM_AddPointWithAMillionHeld(benchmark::State& state) {
  test::FakeChartView view;  // keeps numbers only: the follow-up without any drawing
  NullClock clock;
  MeasurementDisplay display(view, clock);
  display.rules().setCatch(true);
  display.rules().UpdateChartAxis();
  std::size_t i = 0;
  for (; i < 1000000; ++i) display.AddPoint(static_cast<double>(i) * kStep, temperature(i));
  const std::size_t bytes = display.series().memoryBytes() + display.list().memoryBytes();
  state.counters["bytes_per_reading"] = static_cast<double>(bytes) / static_cast<double>(i);
  for (auto _ : state) {
    display.AddPoint(static_cast<double>(i) * kStep, temperature(i));
    ++i;
  }
}
BENCHMARK(BM_AddPointWithAMillionHeld)->Iterations(200000)->Repetitions(5)->ReportAggregatesOnly(true);

// Memory while recording ten million readings with both values and clock time: the most the
// stores hold per reading at any of 100 moments along the way (growth included).
static void BM_RecordTenMillionMemory(benchmark::State& state) {
  for (auto _ : state) {
    test::FakeChartView view;
    NullClock clock;
    MeasurementDisplay display(view, clock);
    double worst = 0, atEnd = 0;
    constexpr std::size_t kTen = 10000000;
    for (std::size_t i = 0; i < kTen; ++i) {
      display.AddPoint(static_cast<double>(i) * kStep, temperature(i), 100 + 0.39 * temperature(i));
      if ((i + 1) % (kTen / 100) == 0) {
        const double perReading = static_cast<double>(display.series().memoryBytes() + display.list().memoryBytes()) /
                                  static_cast<double>(i + 1);
        worst = std::max(worst, perReading);
        atEnd = perReading;
      }
    }
    state.counters["worst_bytes_per_reading"] = worst;
    state.counters["bytes_per_reading_at_10M"] = atEnd;
  }
}
BENCHMARK(BM_RecordTenMillionMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

// Statistics over the chart's visible range with ten million readings held (temperature,
// resistance and clock time each): the whole run, and a 30-minute span at its end.
static void BM_StatisticsVisibleRange(benchmark::State& state) {
  static MeasurementSeries series = [] {
    MeasurementSeries s;
    constexpr std::size_t n = 10000000;
    s.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
      s.add(static_cast<double>(i) * kStep, temperature(i), 100 + 0.39 * temperature(i),
            1'790'000'000'000 + static_cast<std::int64_t>(i) * 500);
    return s;
  }();
  const double spanMinutes = static_cast<double>(state.range(0));
  const double to = series.maxX();
  const double from = spanMinutes > 0 ? to - spanMinutes / 1440.0 : 0.0;
  std::size_t counted = 0;
  for (auto _ : state) {
    const std::size_t first = series.lowerBound(from), last = series.upperBound(to);
    const SpanStatistics st = series.statistics(first, last);
    benchmark::DoNotOptimize(st);
    counted = st.temperature.count;
  }
  state.counters["readings"] = static_cast<double>(counted);
  state.counters["bytes_per_reading"] = static_cast<double>(series.memoryBytes()) / static_cast<double>(series.size());
}
BENCHMARK(BM_StatisticsVisibleRange)->Name("BM_StatisticsVisibleRange/10M")->Arg(0)->Arg(30)->ArgName("span_min")
    ->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

namespace {

struct Fixture {
  MeasurementSeries series;
  QCustomPlot plot;
  QCPAbstractPlottable* plottable = nullptr;

  Fixture(std::size_t n, bool baseline) {
    plot.resize(1600, 900);
    plot.setBackground(QColor(243, 243, 243));
    series.reserve(n);
    for (std::size_t i = 0; i < n; ++i) series.add(static_cast<double>(i) * kStep, temperature(i));
    if (baseline) {
      auto* graph = plot.addGraph();
      graph->setPen(QPen(QColor(0, 128, 192), 2));
      QVector<double> keys(static_cast<int>(n)), values(static_cast<int>(n));
      for (std::size_t i = 0; i < n; ++i) keys[int(i)] = series.x(i), values[int(i)] = series.y(i);
      graph->setData(keys, values, true);
      plottable = graph;
    } else {
      plottable = new SeriesPlottable(plot.xAxis, plot.yAxis, series);
    }
    plot.yAxis->setRange(15, 27);
    plot.xAxis->setRange(0, series.maxX());
  }
  void window(double minutes) {
    const double hi = series.maxX();
    plot.xAxis->setRange(hi - minutes / 1440.0, hi);
  }
  void draw() { plot.replot(QCustomPlot::rpImmediateRefresh); }
};

void redraw(benchmark::State& state, std::size_t n, bool baseline, double windowMinutes) {
  static std::unique_ptr<Fixture> f;
  static std::size_t fn = 0;
  static bool fb = false;
  if (!f || fn != n || fb != baseline) {
    f.reset();
    f = std::make_unique<Fixture>(n, baseline);
    fn = n;
    fb = baseline;
  }
  if (windowMinutes > 0)
    f->window(windowMinutes);
  else
    f->plot.xAxis->setRange(0, f->series.maxX());
  f->draw();
  for (auto _ : state) f->draw();
}

}  // namespace

static void BM_Redraw_1M_Full(benchmark::State& s) { redraw(s, 1000000, false, 0); }
static void BM_Redraw_1M_Full_QCPGraphBaseline(benchmark::State& s) { redraw(s, 1000000, true, 0); }
static void BM_Redraw_10M_Full(benchmark::State& s) { redraw(s, 10000000, false, 0); }
static void BM_Redraw_10M_30MinWindow(benchmark::State& s) { redraw(s, 10000000, false, 30); }
static void BM_Redraw_10M_Full_QCPGraphBaseline(benchmark::State& s) { redraw(s, 10000000, true, 0); }
static void BM_Redraw_10M_30MinWindow_QCPGraphBaseline(benchmark::State& s) { redraw(s, 10000000, true, 30); }
BENCHMARK(BM_Redraw_1M_Full)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Redraw_1M_Full_QCPGraphBaseline)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Redraw_10M_Full)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Redraw_10M_30MinWindow)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Redraw_10M_Full_QCPGraphBaseline)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Redraw_10M_30MinWindow_QCPGraphBaseline)->Unit(benchmark::kMillisecond)->Iterations(5);
