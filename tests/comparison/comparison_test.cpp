// The bench's logic in virtual time: each stability rule on both sides of its limit (and the
// band's timer starting again when a reading leaves it), the estimate of the time until
// stable; a three-set-point run in a simulated bath — a probe that never settles blocks the
// capture until the longest wait, is reported and left out while the others go on; every
// good probe's fitted curve agrees with its true sensor within what its noise allows; a run
// cut off after its first point is taken up again from its journal with the point kept.
#include <cmath>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>

#include "comparison/bath_protocol.h"
#include "comparison/comparison_results.h"
#include "comparison/comparison_run.h"
#include "comparison/stability_engine.h"
#include "metrology/probe.h"

using namespace velmora;
using namespace velmora::comparison;

TEST(StabilityRules, EachRuleOnBothSidesOfItsLimit) {
  struct Case {
    const char* name;
    StabilityRule rule;
    double noiseAmplitude, slopePerMinute;  // readings: a square wave ± amplitude on a ramp
    bool stable;
  };
  auto rule = [](auto set) {
    StabilityRule r;
    r.windowMinutes = 5;
    set(r);
    return r;
  };
  const Case cases[] = {
      {"sd below", rule([](StabilityRule& r) { r.maxSd = 0.002; }), 0.0019, 0, true},
      {"sd above", rule([](StabilityRule& r) { r.maxSd = 0.002; }), 0.0021, 0, false},
      {"drift below", rule([](StabilityRule& r) { r.maxDriftPerMinute = 0.001; }), 0.0005, 0.0009, true},
      {"drift above", rule([](StabilityRule& r) { r.maxDriftPerMinute = 0.001; }), 0.0005, -0.0011, false},
      {"peak-to-peak below", rule([](StabilityRule& r) { r.maxPeakToPeak = 0.01; }), 0.0049, 0, true},
      {"peak-to-peak above", rule([](StabilityRule& r) { r.maxPeakToPeak = 0.01; }), 0.0051, 0, false},
      {"all met", rule([](StabilityRule& r) { r.maxSd = 0.01; r.maxDriftPerMinute = 0.01; r.maxPeakToPeak = 0.05; }), 0.001, 0.001, true},
      {"one of all not", rule([](StabilityRule& r) { r.maxSd = 0.01; r.maxDriftPerMinute = 0.0001; r.maxPeakToPeak = 0.05; }), 0.001, 0.001, false},
  };
  for (const auto& c : cases) {
    StabilityTracker t(c.rule);
    for (int i = 0; i <= 600; ++i) {  // two readings a second for five minutes
      const double m = i / 120.0;
      t.add(m, 50 + c.slopePerMinute * m + (i % 2 ? c.noiseAmplitude : -c.noiseAmplitude));
      if (i == 100) {
        EXPECT_FALSE(t.stable()) << c.name << ": before the window is covered";
      }
    }
    EXPECT_EQ(t.stable(), c.stable) << c.name;
    EXPECT_EQ(t.verdict().stable, c.stable) << c.name;
  }
}

TEST(StabilityRules, ReadingsAtUnevenMomentsKeepAFullWindowCoveredButAGapDoesNot) {
  // Two readings a minute with a quarter of their interval's jitter: the window of 4 min holds
  // 8 or 9 of them, spanning 3.4 to 4.0 min; once full it stays so.
  StabilityRule r;
  r.windowMinutes = 4;
  r.maxSd = 0.01;
  StabilityTracker t(r);
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> jitter(-0.125, 0.125);
  int flickers = 0;
  for (int i = 0; i < 400; ++i) {
    t.add(i * 0.5 + jitter(rng), 20.0);
    if (i > 12 && !t.stable()) ++flickers;
  }
  EXPECT_EQ(flickers, 0);
  // Silent for ten minutes: the next readings do not cover the window yet.
  for (int i = 0; i < 4; ++i) t.add(220 + i * 0.5, 20.0);
  EXPECT_FALSE(t.stable());
}

TEST(StabilityRules, TheBandTimerStartsAgainOnLeavingAndTheEstimateCountsDown) {
  StabilityRule r;
  r.band = 0.05;
  r.bandMinutes = 2;
  StabilityTracker t(r);
  t.setSetPoint(100);
  double m = 0;
  auto feed = [&](double value, double minutes) {
    for (const double end = m + minutes; m < end - 1e-9; m += 0.5 / 60) t.add(m, value);
  };
  feed(99.90, 1);  // outside: no time counted
  EXPECT_FALSE(t.stable());
  feed(100.04, 1.5);  // inside for 1.5 min
  EXPECT_FALSE(t.stable());
  EXPECT_NEAR(t.verdict().etaMinutes, 0.5, 0.02);
  feed(100.06, 0.1);  // out again: the timer starts over
  feed(99.97, 1.9);
  EXPECT_FALSE(t.stable());
  EXPECT_NEAR(t.verdict().insideMinutes, 1.9, 0.02);
  feed(99.97, 0.2);
  EXPECT_TRUE(t.stable());

  // A spread too large: stable once the wide readings have left the window.
  StabilityRule sd;
  sd.windowMinutes = 4;
  sd.maxPeakToPeak = 0.01;
  StabilityTracker s(sd);
  for (int i = 0; i < 480; ++i) s.add(i / 120.0, i < 240 ? (i % 2 ? 0.02 : -0.02) : 0.001 * (i % 2));
  const StabilityVerdict v = s.verdict();
  EXPECT_FALSE(v.stable);
  EXPECT_NEAR(v.etaMinutes, 2.0, 0.02);  // the wide half leaves in two minutes
  // A steady drift: no estimate.
  StabilityRule dr;
  dr.windowMinutes = 2;
  dr.maxDriftPerMinute = 0.001;
  StabilityTracker d(dr);
  for (int i = 0; i < 300; ++i) d.add(i / 120.0, 0.01 * i / 120.0);
  EXPECT_TRUE(std::isnan(d.verdict().etaMinutes));
}

namespace {
// A bath with a reference and three probes, in virtual time: the bath approaches each set
// point as a first-order system; probe 3 never settles (a wandering contact).
struct SimulatedBench {
  math::TCofSet nominal{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};
  math::TCofSet reference{25.5, 3.9860e-3, -5.870e-7, -4.0e-12};
  math::TCofSet sensors[4] = {{25.5, 3.9860e-3, -5.870e-7, -4.0e-12},
                              {100.02, 3.9080e-3, -5.790e-7, -4.183e-12},
                              {99.97, 3.9090e-3, -5.760e-7, -4.183e-12},
                              {100.00, 3.9083e-3, -5.775e-7, -4.183e-12}};
  double noise[4] = {0.0002, 0.001, 0.0015, 0.001};
  std::mt19937 rng{5};
  double bath = 21, target = 21, minutes = 0;
  std::int64_t utc0 = 1796731200000;

  void runUntil(ComparisonRun& run, double end) {
    for (; minutes < end && run.phase() != ComparisonRun::Phase::Done; minutes += 0.5 / 60) {
      bath += (target - bath) * (1 - std::exp(-(0.5 / 60) / 1.5));
      run.bathReading(minutes, bath + std::normal_distribution<double>(0, 0.001)(rng));
      for (int k = 0; k < 4; ++k) {
        double t = bath + std::normal_distribution<double>(0, noise[k])(rng);
        if (k == 3) t += 0.05 * std::sin(minutes * 3.0);  // never settles
        const double r = metrology::cvdResistance(sensors[k], t);
        // The instrument shows the temperature its held factors give (the reference's own).
        const double shown = metrology::cvdTemperature(k == 0 ? reference : nominal, r);
        run.reading(k, minutes, r, shown, utc0 + static_cast<std::int64_t>(minutes * 60000));
      }
    }
  }
  static Plan plan() {
    Plan p;
    p.setPoints = {0, 100, 50};
    p.order = Order::Ascending;
    p.soakMinutes = 5;
    p.rule.windowMinutes = 5;
    p.rule.maxSd = 0.004;
    p.rule.maxDriftPerMinute = 0.002;
    p.rule.band = 0.1;
    p.rule.bandMinutes = 2;
    p.captureReadings = 60;
    p.maxWaitMinutes = 30;
    return p;
  }
};
}  // namespace

TEST(ComparisonRun, ThreeSetPointsAProbeThatNeverSettlesAndAResumedJournal) {
  SimulatedBench bench;
  std::string journal;
  ComparisonRun run(SimulatedBench::plan(), 4, 0, {1, 2, 3}, true);
  run.sendSetPoint = [&](double v) { bench.target = v; };
  run.journal = [&](const std::string& line) { journal += line + "\n"; };
  journal = run.header({"reference", "probe A", "probe B", "probe C"});
  run.start(0, bench.utc0);
  EXPECT_EQ(run.phase(), ComparisonRun::Phase::Approaching);
  EXPECT_EQ(bench.target, 0);  // ascending: 0 °C first
  // The probe that wanders blocks the lock: no capture before the longest wait is over.
  bench.runUntil(run, 20);
  EXPECT_EQ(run.phase(), ComparisonRun::Phase::Settling);
  EXPECT_TRUE(run.points().empty());
  EXPECT_FALSE(run.locked());

  // Cut off after the first point (and half a line of the next): the journal is what is left.
  bench.runUntil(run, 200);
  ASSERT_GE(run.points().size(), 1u);
  const std::size_t cut = journal.find("endpoint 0\n") + 11;
  ASSERT_NE(cut, std::string::npos + 11);
  const std::string leftover = journal.substr(0, cut) + "setpoint 1 5";
  const auto restored = ComparisonRun::restore(leftover);
  ASSERT_TRUE(restored);
  EXPECT_FALSE(restored->finished);
  EXPECT_EQ(restored->nextIndex, 1);
  ASSERT_EQ(restored->points.size(), 1u);
  EXPECT_EQ(restored->names[2], "probe B");
  // Bound to the instruments there are now by their names, wherever they stand in the list.
  {
    std::string missing;
    const auto moved = ComparisonRun::rebind(*restored, {"probe C", "probe B", "extra", "reference", "probe A"}, &missing);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->reference, 3);
    EXPECT_EQ(moved->underTest, (std::vector<int>{4, 1, 0}));
    EXPECT_NE(moved->points[0].find(1), nullptr);  // probe B's capture follows it to place 1
    EXPECT_EQ(moved->points[0].find(1)->meanR, restored->points[0].find(2)->meanR);
    EXPECT_EQ(moved->notices[0].channel, 0);       // probe C, left out at 0 °C
    EXPECT_FALSE(ComparisonRun::rebind(*restored, {"reference", "probe A", "probe C"}, &missing));
    EXPECT_EQ(missing, "probe B");
  }
  EXPECT_EQ(restored->plan.captureReadings, 60);
  ASSERT_EQ(restored->notices.size(), 1u);  // probe C at 0 °C
  EXPECT_EQ(restored->notices[0].channel, 3);

  // The run taken up again: the kept point, then 50 and 100 °C.
  ComparisonRun again(restored->plan, restored->channels, restored->reference, restored->underTest, restored->withBath);
  again.sendSetPoint = run.sendSetPoint;
  std::string journal2;
  again.journal = [&](const std::string& line) { journal2 += line + "\n"; };
  again.resume(*restored, bench.minutes);
  EXPECT_EQ(bench.target, 50);
  bench.runUntil(again, bench.minutes + 300);
  ASSERT_EQ(again.phase(), ComparisonRun::Phase::Done);
  ASSERT_EQ(again.points().size(), 3u);
  EXPECT_EQ(again.points()[0].setPoint, 0);
  EXPECT_EQ(again.points()[2].setPoint, 100);
  for (const auto& p : again.points()) {
    EXPECT_NE(p.find(1), nullptr);
    EXPECT_NE(p.find(2), nullptr);
    EXPECT_EQ(p.find(3), nullptr) << "the wandering probe is never captured";
    EXPECT_EQ(p.find(1)->n, 60u);
    // One stretch of time for every channel.
    EXPECT_LE(std::llabs(p.find(1)->firstUtcMs - p.find(0)->firstUtcMs), 1000);
    ASSERT_TRUE(p.bathMean);
    EXPECT_NEAR(*p.bathMean, p.setPoint, 0.1);
  }
  EXPECT_EQ(again.notices().size(), 3u);

  // Each good probe: the reference temperatures through the reference's characterisation,
  // the as-found deviation from the nominal factors, and a fit whose curve is its sensor's.
  Reference ref;
  ref.probe.type = metrology::ProbeType::Cvd;
  ref.probe.cvd = bench.reference;
  ref.name = "reference";
  const BenchBudget budget;
  for (int k : {1, 2}) {
    const ProbeResult r = evaluateProbe(again.points(), 0, k, "probe", ref, budget, bench.nominal, 1,
                                        [](std::string_view id) { return std::string(id); });
    ASSERT_EQ(r.points.size(), 3u);
    ASSERT_TRUE(r.fitted) << (r.messages.empty() ? "" : r.messages.front());
    for (const auto& p : r.points) {
      EXPECT_NEAR(p.referenceT, p.setPoint, 0.1);
      const double truth = metrology::cvdTemperature(bench.nominal, metrology::cvdResistance(bench.sensors[k], p.referenceT)) - p.referenceT;
      EXPECT_NEAR(p.asFoundDeviation, truth, 0.002) << k;
      EXPECT_GT(p.uncertainty.expanded, 0.002);
      EXPECT_NEAR(p.uncertainty.coverageFactor, 2.0, 0.1);
    }
    // Over the range: the stored factors' temperature against the sensor's true one.
    const auto stored = factorsOfCells(r.cells);
    ASSERT_TRUE(stored);
    for (double t = 0; t <= 100; t += 10) {
      const double rr = metrology::cvdResistance(bench.sensors[k], t);
      EXPECT_NEAR(metrology::cvdTemperature(*stored, rr), t, 0.004) << "probe " << k << " at " << t;
    }
    for (const auto& res : r.residuals) EXPECT_LT(std::fabs(res.deviation), 0.004);
    EXPECT_GT(r.curveU, 0.0);
    EXPECT_LT(r.curveU, 0.02);
    const std::string csv = certificateCsv(r);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
  }
}

TEST(BathProtocol, AnswersAreReadAndEverythingElseIsNot) {
  const std::pair<const char*, std::optional<double>> lines[] = {
      {"t: 150.002 C", 150.002}, {"t:-38.8344", -38.8344}, {"  29.7646 C ", 29.7646}, {"0.010", 0.01},
      {"t: 150.002 F", std::nullopt},  // a bath set to another unit
      {"set: 150.000 C", std::nullopt}, {"?", std::nullopt}, {"t", std::nullopt}, {"t: C", std::nullopt},
      {"sr: 2.000", std::nullopt}, {"t: nan C", std::nullopt},
  };
  for (const auto& [line, value] : lines) EXPECT_EQ(parseBathReading(line), value) << line;
  EXPECT_EQ(bathSetPointCommand(-38.8344), "s=-38.834\r");
  // Lines end at CR or LF (either, or both); an overlong line is dropped whole.
  BathLineCutter cut;
  std::vector<std::string> got;
  const auto add = [&](std::string_view l) { got.emplace_back(l); };
  cut.feed("t: 1.5 C\r\nt: 2", add);
  cut.feed(".5 C\n" + std::string(80, '9') + "\rt: 3 C\r", add);
  EXPECT_EQ(got, (std::vector<std::string>{"t: 1.5 C", "t: 2.5 C", "t: 3 C"}));
}

// A point belongs to the group of its set point: an ice point whose reference reads a hair
// below zero still determines R0, A and B (as it does a hair above), and only a set point
// below 0 °C determines C. The certificate's JSON keeps the run's plan beside the as-left one.
TEST(ComparisonResults, AnIcePointEitherSideOfZeroCountsWithItsSetPoint) {
  const math::TCofSet refCof{25.5, 3.9860e-3, -5.870e-7, -4.0e-12};
  const math::TCofSet sensor{100.02, 3.9080e-3, -5.790e-7, -4.3e-12};
  const math::TCofSet held{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};
  Reference ref;
  ref.probe.type = metrology::ProbeType::Cvd;
  ref.probe.cvd = refCof;
  ref.name = "reference";
  // The points as captured: the reference and the probe at the set point plus an offset.
  const auto evaluate = [&](const std::vector<double>& setPoints, double iceOffset, int method) {
    std::vector<CapturedPoint> points;
    for (std::size_t i = 0; i < setPoints.size(); ++i) {
      const double t = setPoints[i] + (setPoints[i] == 0 ? iceOffset : 0.013);
      CapturedPoint p;
      p.index = static_cast<int>(i);
      p.setPoint = setPoints[i];
      p.channels.push_back({0, 30, metrology::cvdResistance(refCof, t), t, 1e-5, 1e-4, 0, 0});
      const double r = metrology::cvdResistance(sensor, t);
      p.channels.push_back({1, 30, r, metrology::cvdTemperature(held, r), 1e-4, 1e-3, 0, 0});
      points.push_back(std::move(p));
    }
    return evaluateProbe(points, 0, 1, "probe", ref, BenchBudget{}, held, method, [](std::string_view id) { return std::string(id); });
  };
  struct Case {
    std::vector<double> setPoints;
    int method;
    bool determinesC;
  };
  for (const Case& c : {Case{{0, 50, 100}, 1, false}, Case{{-20, 0, 50, 100}, 1, true}}) {
    const ProbeResult below = evaluate(c.setPoints, -0.0001, c.method);
    const ProbeResult above = evaluate(c.setPoints, +0.0001, c.method);
    ASSERT_TRUE(below.fitted) << c.setPoints.size() << ": " << (below.messages.empty() ? "" : below.messages.front());
    ASSERT_TRUE(above.fitted);
    EXPECT_EQ(below.cells, above.cells);
    const auto stored = factorsOfCells(below.cells);
    for (double t : c.setPoints) {
      const double r = metrology::cvdResistance(sensor, t);
      EXPECT_NEAR(metrology::cvdTemperature(*below.fitted, r), metrology::cvdTemperature(*above.fitted, r), 1e-4) << t;
      EXPECT_NEAR(metrology::cvdTemperature(*stored, r), t, 0.002) << t;
    }
    if (c.determinesC)  // within what the designed search's half-millikelvin steps resolve at −20 °C
      EXPECT_NE(below.fitted->C, held.C);
    else
      EXPECT_EQ(below.fitted->C, held.C);  // kept: nothing below zero to determine it
  }
  // The JSON after an as-left pass names both plans.
  Plan run, asLeft;
  run.setPoints = {30, 60, 90};
  asLeft.setPoints = {60};
  const ProbeResult r = evaluate({0, 50, 100}, 0, 1);
  const auto json = nlohmann::json::parse(certificateJson({}, r, ref, BenchBudget{}, run, &asLeft));
  EXPECT_EQ(json["plan"]["set_points_C"], nlohmann::json::parse("[30, 60, 90]")) << json;
  EXPECT_EQ(json["as_left_plan"]["set_points_C"], nlohmann::json::parse("[60]"));
  EXPECT_FALSE(nlohmann::json::parse(certificateJson({}, r, ref, BenchBudget{}, run)).contains("as_left_plan"));
}
