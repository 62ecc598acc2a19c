// Reference thermometry: a temperature from a resistance through an SPRT's ITS-90
// characterisation and through Callendar–Van Dusen factors, below and above 0 °C (a reading
// of 16 channels at 120 a minute needs 32 a second; a 10-million-reading re-evaluation has
// 20 s, i.e. 2 µs a reading).
#include <benchmark/benchmark.h>

#include <vector>

#include "metrology/probe.h"

using namespace velmora;
using namespace velmora::metrology;

namespace {
std::vector<double> resistances(const ProbeCharacterisation& p, double from, double to) {
  std::vector<double> r;
  for (int i = 0; i < 1024; ++i) r.push_back(p.resistance(from + (to - from) * i / 1023.0));
  return r;
}
ProbeCharacterisation sprt() {
  ProbeCharacterisation p;
  p.type = ProbeType::Its90;
  p.sprt.rTpw = 25.54321;
  p.sprt.subRanges = {SubRange{4, {-1.7e-4, -3.2e-5}, 0}, SubRange{8, {-1.6e-4, 2.1e-5}, 0}};
  return p;
}
ProbeCharacterisation cvd() {
  ProbeCharacterisation p;
  p.cvd = {100.0, 3.9083e-3, -5.775e-7, -4.183e-12};
  return p;
}
void run(benchmark::State& state, const ProbeCharacterisation& p, double from, double to) {
  const auto r = resistances(p, from, to);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(p.temperature(r[i++ & 1023]));
  }
}
}  // namespace

static void BM_ITS90TemperatureFromResistance(benchmark::State& state) {
  run(state, sprt(), state.range(0) ? 0.5 : -189.0, state.range(0) ? 419.0 : -0.5);
}
BENCHMARK(BM_ITS90TemperatureFromResistance)->Arg(0)->Arg(1)->ArgName("above0C");

static void BM_CvdTemperatureFromResistance(benchmark::State& state) {
  run(state, cvd(), state.range(0) ? 0.5 : -200.0, state.range(0) ? 850.0 : -0.5);
}
BENCHMARK(BM_CvdTemperatureFromResistance)->Arg(0)->Arg(1)->ArgName("above0C");

BENCHMARK_MAIN();
