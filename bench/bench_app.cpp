// Start-up: from creating the main window (settings read, every control built, the chart and
// the port list set up) to its first painted frame, headless. And the whole road of one
// reading — the instrument's answer through the protocol, AddPoint, the list model and view
// or the chart, the readout, and the repaint that follows — with 100 and with 10,000,000
// readings held.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QEvent>

#include <QAction>
#include <map>
#include <memory>
#include <vector>

#include "app/analysis_tools.h"
#include "app/main_window.h"
#include "display/chart_panel.h"
#include "display/reading_list_view.h"

namespace {
struct PaintWatch : QObject {
  bool painted = false;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) painted = true;
    return false;
  }
};
}  // namespace

static void BM_StartToFirstPaint(benchmark::State& state) {
  for (auto _ : state) {
    velmora::MemorySettingsBackend store;
    velmora::TfmMain w(store, velmora::MainWindowOptions::with(true, 1033));
    PaintWatch watch;
    w.installEventFilter(&watch);
    w.show();
    while (!watch.painted) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    state.PauseTiming();
    w.removeEventFilter(&watch);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartToFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(10);

namespace {
// One window per count of readings held, kept for all the benchmarks that use it.
std::map<std::size_t, std::unique_ptr<velmora::TfmMain>> windows;  // closed before the application ends

velmora::TfmMain& windowWith(std::size_t held) {
  static velmora::MemorySettingsBackend store;
  auto& w = windows[held];
  if (!w) {
    w = std::make_unique<velmora::TfmMain>(store, velmora::MainWindowOptions::with(false, 1033));
    w->messageHook = [](velmora::MessageKind, const QString&) {};
    velmora::ReadingList list;
    std::vector<double> xs, ys;
    list.reserve(held, held * 11);
    xs.reserve(held);
    ys.reserve(held);
    for (std::size_t i = 0; i < held; ++i) {
      xs.push_back(static_cast<double>(i) * 0.5 / 86400);
      ys.push_back(21.0 + 0.001 * static_cast<double>(i % 1000));
      list.append("0.00 21.00");
    }
    velmora::MeasurementSeries series;
    series.assignSorted(std::move(xs), std::move(ys));
    w->display().replaceAll(std::move(list), std::move(series));
    w->resize(1600, 900);
    w->show();
    QCoreApplication::processEvents();
  }
  return *w;
}

// One reading per iteration, its views brought up to date and painted (at 120 readings a
// minute every reading gets its own coalesced repaint).
void readingRoad(benchmark::State& state, std::size_t held, bool listShown) {
  velmora::TfmMain& w = windowWith(held);
  auto* toggle = w.findChild<QAction*>("miSelectView");
  if (toggle->isChecked() != listShown) toggle->trigger();
  QCoreApplication::processEvents();
  for (auto _ : state) {
    w.protocol().DataTimerTimer();
    w.connection().onReceived("100.000 21.50\r");
    w.flushViews();
    if (!qEnvironmentVariableIsSet("VELMORA_BENCH_NOPAINT")) {
    if (listShown)
      w.list()->viewport()->repaint();
    else
      w.chart()->plot()->repaint();
    QCoreApplication::processEvents();
    }
  }
  state.counters["held"] = static_cast<double>(w.display().series().size());
}
}  // namespace

static void BM_ReadingRoadWith100Held(benchmark::State& state, bool listShown) { readingRoad(state, 100, listShown); }
static void BM_ReadingRoadWith10MHeld(benchmark::State& state, bool listShown) {
  readingRoad(state, 10000000, listShown);
}
BENCHMARK_CAPTURE(BM_ReadingRoadWith100Held, list, true)->Unit(benchmark::kMicrosecond)->Iterations(500)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BM_ReadingRoadWith100Held, chart, false)->Unit(benchmark::kMicrosecond)->Iterations(500)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BM_ReadingRoadWith10MHeld, list, true)->Unit(benchmark::kMicrosecond)->Iterations(500)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BM_ReadingRoadWith10MHeld, chart, false)->Unit(benchmark::kMicrosecond)->Iterations(500)->Repetitions(5)->ReportAggregatesOnly(true);

// One redraw's share of the statistics panel with ten million readings held: the visible
// range's figures, the stability rule and the panel's texts.
static void BM_StatisticsPanelRefresh10MHeld(benchmark::State& state) {
  velmora::TfmMain& w = windowWith(10000000);
  auto* chartToggle = w.findChild<QAction*>("miSelectView");
  if (chartToggle->isChecked()) chartToggle->trigger();
  w.analysis().statsAction()->setChecked(true);
  QCoreApplication::processEvents();
  for (auto _ : state) w.analysis().refresh();
  state.counters["readings_in_range"] = static_cast<double>(w.analysis().shown().temperature.count);
  w.analysis().statsAction()->setChecked(false);
}
BENCHMARK(BM_StatisticsPanelRefresh10MHeld)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QElapsedTimer sinceStart;
  sinceStart.start();
  QApplication app(argc, argv);
  // The recording journal of this run goes to a folder of its own, removed at the end, never
  // among the user's journals.
  QTemporaryDir journals;
  if (qEnvironmentVariableIsEmpty("VELMORA_JOURNAL_DIR")) qputenv("VELMORA_JOURNAL_DIR", journals.path().toLocal8Bit());
  Q_INIT_RESOURCE(velmora);
  std::printf("application object: %lld ms\n", static_cast<long long>(sinceStart.elapsed()));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  windows.clear();
  return 0;
}
