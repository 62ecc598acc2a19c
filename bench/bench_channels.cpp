// Sixteen instruments at 120 readings a minute each, every reading kept: a full chart redraw
// of 16 × 1 M points (beside one series of 16 M as the baseline), and the user-interface
// thread's work per second of recording with 1 M held per instrument — each reading's whole
// road (answer → protocol → list and series → journal → views) and the chart's redraws at the
// rate the window allows them — and the memory per reading held.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSpinBox>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <qcustomplot.h>

#include "app/main_window.h"
#include "display/chart_panel.h"
#include "display/reading_list.h"
#include "display/series_plottable.h"

using namespace velmora;

namespace {
constexpr double kStep = 0.5 / 86400.0;  // two readings a second
constexpr std::size_t kHeld = 1000000;

double temperature(std::size_t channel, std::size_t i) {
  return 21.0 + 0.05 * std::sin(static_cast<double>(i) * 1e-4) + 0.01 * static_cast<double>(channel) +
         0.002 * std::sin(static_cast<double>(i) * 0.7 + static_cast<double>(channel));
}

void fill(MeasurementSeries& s, ReadingList* list, std::size_t channel, std::size_t n, std::size_t offset = 0) {
  std::vector<double> xs(n), ys(n), rs(n);
  std::vector<std::int64_t> ts(n);
  if (list) list->reserve(n + n / 8, n * 12);
  for (std::size_t i = 0; i < n; ++i) {
    xs[i] = static_cast<double>(i + offset) * kStep;
    ys[i] = temperature(channel, i + offset);
    rs[i] = 100 + 0.39 * ys[i];
    ts[i] = 1'790'000'000'000 + static_cast<std::int64_t>(i + offset) * 500;
    if (list) list->append(listLine(xs[i], ys[i]));
  }
  s.assignSorted(std::move(xs), std::move(ys), std::move(rs), std::move(ts));
}

double millisecondsOf(const std::function<void()>& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}
}  // namespace

// A full redraw at 1600 × 900 of sixteen series of a million points each; the same redraw of
// one series of sixteen million is the baseline (ratio ≤ 1.5).
static void BM_RedrawSixteenChannels(benchmark::State& state) {
  std::vector<MeasurementSeries> series(16);
  for (std::size_t c = 0; c < 16; ++c) fill(series[c], nullptr, c, kHeld);
  QCustomPlot plot;
  plot.resize(1600, 900);
  for (std::size_t c = 0; c < 16; ++c) {
    auto* p = new SeriesPlottable(plot.xAxis, plot.yAxis, series[c]);
    p->setPen(QPen(QColor::fromHsv(static_cast<int>(c) * 22, 200, 200), 2));
  }
  plot.xAxis->setRange(0, series[0].maxX());
  plot.yAxis->setRange(20.9, 21.3);
  plot.replot(QCustomPlot::rpImmediateRefresh);
  // The baseline: one series of 16 M, in the same run.
  double baseline = 0;
  {
    MeasurementSeries one;
    fill(one, nullptr, 0, 16 * kHeld);
    QCustomPlot single;
    single.resize(1600, 900);
    new SeriesPlottable(single.xAxis, single.yAxis, one);
    single.xAxis->setRange(0, one.maxX());
    single.yAxis->setRange(20.9, 21.3);
    single.replot(QCustomPlot::rpImmediateRefresh);
    std::vector<double> t;
    for (int i = 0; i < 7; ++i) t.push_back(millisecondsOf([&] { single.replot(QCustomPlot::rpImmediateRefresh); }));
    std::sort(t.begin(), t.end());
    baseline = t[3];
  }
  std::vector<double> times;
  for (auto _ : state) {
    const double ms = millisecondsOf([&] { plot.replot(QCustomPlot::rpImmediateRefresh); });
    times.push_back(ms);
    state.SetIterationTime(ms / 1000.0);
  }
  std::sort(times.begin(), times.end());
  state.counters["baseline_one_16M_ms"] = baseline;
  state.counters["ratio_to_baseline"] = times[times.size() / 2] / baseline;
}
BENCHMARK(BM_RedrawSixteenChannels)->Name("BM_RedrawSixteenChannels/1M")->UseManualTime()->Unit(benchmark::kMillisecond)
    ->Iterations(20);

// One second of recording from sixteen instruments at 120 a minute with a million readings
// held each: 32 answers through the protocol, the journal and the views, and the chart's
// redraws at the rate the window allows (one per redraw interval).
static void BM_SixteenChannelsRecording(benchmark::State& state) {
  QTemporaryDir journals;
  qputenv("VELMORA_JOURNAL_DIR", journals.path().toLocal8Bit());
  MemorySettingsBackend store;
  TfmMain w(store, MainWindowOptions::with(false, 1033));
  w.messageHook = [](MessageKind, const QString&) {};
  for (int c = 2; c <= 16; ++c) w.addInstrument("", QString("T%1").arg(c));
  {
    // A million readings held by each.
    ReadingList list;
    MeasurementSeries s;
    fill(s, &list, 0, kHeld);
    w.display().replaceAll(std::move(list), std::move(s));
    for (std::size_t c = 1; c < 16; ++c) fill(w.channels().at(c).series(), &w.channels().at(c).list(), c, kHeld);
  }
  w.resize(1600, 900);
  w.show();
  w.flushViews();
  QCoreApplication::processEvents();
  std::size_t next = kHeld;
  double readingsMs = 0, redrawMs = 0, uiMsPerSecond = 0;
  for (auto _ : state) {
    // 32 answers: two from each instrument.
    readingsMs = millisecondsOf([&] {
      for (int k = 0; k < 2; ++k, ++next)
        for (std::size_t c = 0; c < 16; ++c) {
          Protocol& p = w.channels().at(c).protocol();
          p.DataTimerTimer();
          char answer[48];
          const double t = temperature(c, next);
          std::snprintf(answer, sizeof answer, "%.3f %.3f\r", 100 + 0.39 * t, t);
          p.received(answer);
        }
    });
    // The views: the list and a chart redraw, as many times a second as the window allows.
    redrawMs = millisecondsOf([&] {
      w.chart()->requestRedraw();
      w.flushViews();
    });
    const double redrawsPerSecond = std::min(30.0, 1000.0 / w.chart()->redrawIntervalMs());
    uiMsPerSecond = readingsMs + redrawsPerSecond * redrawMs;
    state.SetIterationTime(uiMsPerSecond / 1000.0);
  }
  std::size_t bytes = 0, held = 0;
  for (std::size_t c = 0; c < 16; ++c) {
    bytes += w.channels().at(c).series().memoryBytes() + w.channels().at(c).list().memoryBytes();
    held += w.channels().at(c).series().size();
  }
  state.counters["ui_ms_per_second"] = uiMsPerSecond;
  state.counters["readings_ms_per_second"] = readingsMs;
  state.counters["redraw_ms"] = redrawMs;
  state.counters["redraws_per_second"] = std::min(30.0, 1000.0 / w.chart()->redrawIntervalMs());
  state.counters["bytes_per_reading"] = static_cast<double>(bytes) / static_cast<double>(held);
  w.channels().at(0).protocol().miRecordClick(false);
}
BENCHMARK(BM_SixteenChannelsRecording)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
