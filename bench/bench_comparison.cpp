// The comparison bench's stability engine with sixteen channels at 120 readings a minute
// each, every rule on (SD, drift, peak-to-peak over 10 minutes, the band for 5): the cost of
// one reading as the run takes it — its channel's tracker, and the capture lock checked over
// every channel — with the windows full (1200 readings each).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "comparison/comparison_run.h"

using namespace velmora::comparison;

static void BM_StabilityEngineSixteenChannels(benchmark::State& state) {
  Plan plan;
  plan.setPoints = {50};
  plan.soakMinutes = 0;
  plan.rule.windowMinutes = 10;
  plan.rule.maxSd = 0.01;
  plan.rule.maxDriftPerMinute = 0.001;
  plan.rule.maxPeakToPeak = 0.03;
  plan.rule.band = 0.05;
  plan.rule.bandMinutes = 5;
  plan.maxWaitMinutes = 1e9;
  std::vector<int> probes;
  for (int k = 1; k < 16; ++k) probes.push_back(k);
  ComparisonRun run(plan, 16, 0, probes, false);
  run.start(0, 0);
  run.confirmReached(0);
  std::mt19937 rng(1);
  std::normal_distribution<double> noise(0, 0.002);
  double minutes = 0;
  int channel = 0;
  auto next = [&] {
    // The last channel never settles: the lock is checked through every channel each time.
    run.reading(channel, minutes, 119.4, 50 + noise(rng) * (channel == 15 ? 20 : 1), 0);
    if (++channel == 16) {
      channel = 0;
      minutes += 0.5 / 60;
    }
  };
  for (int i = 0; i < 16 * 1300; ++i) next();  // the windows full
  for (auto _ : state) next();
  state.counters["readings_in_window"] = static_cast<double>(run.tracker(5).size());
  state.counters["fifteen_stable"] = run.tracker(14).stable() && !run.tracker(15).stable() ? 1 : 0;
}
BENCHMARK(BM_StabilityEngineSixteenChannels)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
