// The comparison bench: its stability engine with sixteen channels at 120 readings a minute
// each, every rule on (SD, drift, peak-to-peak over 10 minutes, the band for 5): the cost of
// one reading as the run takes it — its channel's tracker, and the capture lock checked over
// every channel — with the windows full (1200 readings each).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "comparison/comparison_results.h"
#include "comparison/comparison_run.h"
#ifdef VELMORA_HAVE_DCC
#include <chrono>

#include "comparison/dcc_certificate.h"
#include "comparison/xml_schema.h"
#endif
#include "metrology/probe.h"

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

namespace {
const velmora::math::TCofSet kNominal{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};

// A run at ten set points (5 … 95 °C) of a 25.5 Ω SPRT and `probes` 100 Ω sensors (probe k's R0
// 0.01·k Ω high) shown with the nominal factors.
struct TenPointRun {
  Reference ref;
  Plan plan;
  std::vector<CapturedPoint> points;
  explicit TenPointRun(int probes) {
    ref.name = "reference";
    ref.probe.type = velmora::metrology::ProbeType::Cvd;
    ref.probe.cvd = {25.5, 3.9860e-3, -5.870e-7, -4.0e-12};
    for (int i = 0; i < 10; ++i) {
      const double t = 10.0 * i + 5;
      plan.setPoints.push_back(t);
      CapturedPoint p;
      p.index = i;
      p.setPoint = t;
      p.bathMean = t;
      const std::int64_t at = 1'796'731'200'000 + i * 3'600'000;
      p.channels.push_back({0, 60, velmora::metrology::cvdResistance(ref.probe.cvd, t), t, 0.0001, 0.001, at, at + 100'000});
      for (int k = 1; k <= probes; ++k) {
        velmora::math::TCofSet sensor = kNominal;
        sensor.R0 += 0.01 * k;
        const double r = velmora::metrology::cvdResistance(sensor, t);
        p.channels.push_back({k, 60, r, velmora::metrology::cvdTemperature(kNominal, r), 0.0004, 0.001, at, at + 100'000});
      }
      points.push_back(std::move(p));
    }
  }
};
}  // namespace

// The end of a run of fifteen probes over ten set points: every probe evaluated (its points and
// budgets, the designed fit, residuals, the curve's uncertainty), its factors checked for
// plausibility, and the run's record written line by line — what the bench does at once when
// the last point is captured.
static void BM_RunEndFifteenProbesTenPoints(benchmark::State& state) {
  const TenPointRun run(15);
  const auto& [ref, plan, points] = run;
  std::vector<std::string> names{"reference"};
  for (int k = 1; k < 16; ++k) names.push_back("probe " + std::to_string(k));
  const auto text = [](std::string_view id) { return std::string(id) + " %1 %2 %3 %4 %5 %6"; };
  std::size_t lines = 0, plausible = 0;
  for (auto _ : state) {
    lines = plausible = 0;
    for (int k = 1; k < 16; ++k) {
      ProbeResult r = evaluateProbe(points, 0, k, names[static_cast<std::size_t>(k)], ref, BenchBudget{}, kNominal, 1, text);
      r.implausible = implausibleReasons(r, plan, text);
      plausible += r.fitted && r.implausible.empty();
    }
    for (const auto& p : points) lines += pointRecord(p, 0, names, text).size();
    benchmark::DoNotOptimize(lines);
  }
  state.counters["record_lines"] = static_cast<double>(lines);
  state.counters["plausible_probes"] = static_cast<double>(plausible);
}
BENCHMARK(BM_RunEndFifteenProbesTenPoints)->Unit(benchmark::kMillisecond);

#ifdef VELMORA_HAVE_DCC
// One probe's DCC of ten points with its PDF (40 kB) inside, written and checked against the
// DCC 3.2.0 schema — what "Certificates…" does per probe (the schema itself is read once; its
// first reading is the counter `first_ms`).
static void BM_WriteDcc(benchmark::State& state) {
  const TenPointRun run(1);
  const auto& [ref, plan, points] = run;
  const auto text = [](std::string_view id) { return std::string(id) + " %1 %2"; };
  const BenchBudget budget;
  const ProbeResult probe = evaluateProbe(points, 0, 1, "probe 1", ref, budget, kNominal, 1, text);
  CertificateInfo info;
  info.number = "C-1";
  info.laboratory = "Lab";
  info.country = "DE";
  const std::string pdf(40000, 'x');
  DccInputs in;
  in.info = &info;
  in.probe = &probe;
  in.reference = &ref;
  in.budget = &budget;
  in.plan = &plan;
  in.languages = {{"en", text}, {"ru", text}};
  in.pdfFileName = "C-1.pdf";
  in.pdf = pdf;
  const std::string schema = std::string(VELMORA_SOURCE_DCC) + "/dcc_local.xsd";
  const auto t0 = std::chrono::steady_clock::now();
  bool valid = !validateXml(certificateDcc(in), schema);
  const double first = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string xml = certificateDcc(in);
    valid = valid && !validateXml(xml, schema);
    bytes = xml.size();
  }
  state.counters["valid"] = valid ? 1 : 0;
  state.counters["dcc_kB"] = static_cast<double>(bytes) / 1000;
  state.counters["first_ms"] = first;
}
BENCHMARK(BM_WriteDcc)->Unit(benchmark::kMillisecond);
#endif

BENCHMARK_MAIN();
