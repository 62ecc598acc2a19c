// Start-up: from creating the main window (settings read, every control built, the chart and
// the port list set up) to its first painted frame, headless.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>

#include "app/main_window.h"

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

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QElapsedTimer sinceStart;
  sinceStart.start();
  QApplication app(argc, argv);
  Q_INIT_RESOURCE(velmora);
  std::printf("application object: %lld ms\n", static_cast<long long>(sinceStart.elapsed()));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
