// The bench's rules that keep a run honest, in virtual time: a set point ends without a point
// (and says why) when the bath never gets there, the reference is off the set point, or every
// probe is left out, and the run goes on or stops as set; a point captured anyway is marked and
// kept through the journal; a fit that a lab would call nonsense is flagged with its reason; the
// stability window's details and a point's uncertainty budget against values worked by hand.
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

#include "comparison/comparison_results.h"
#include "comparison/comparison_run.h"
#include "comparison/stability_engine.h"
#include "metrology/probe.h"

using namespace velmora;
using namespace velmora::comparison;

namespace {
// A text as its id and its filled-in values: "bnImplR0|105.000|100".
std::string idAndArgs(std::string_view id) { return std::string(id) + "|%1|%2|%3|%4|%5"; }

Plan quickPlan(std::vector<double> setPoints) {
  Plan p;
  p.setPoints = std::move(setPoints);
  p.soakMinutes = 0.5;
  p.rule.windowMinutes = 1;
  p.rule.maxSd = 0.01;
  p.captureReadings = 5;
  p.maxWaitMinutes = 3;
  return p;
}
// Feeds every channel the temperature `value(channel, minutes)` twice a minute-fraction, the
// bath (when `bath`) its own, until `end` minutes or the run stops.
void feed(ComparisonRun& run, double& t, double end, const std::function<double(int, double)>& value, bool bath) {
  for (; t < end && run.phase() != ComparisonRun::Phase::Done && run.phase() != ComparisonRun::Phase::Stopped; t += 0.1) {
    if (bath) run.bathReading(t, value(-1, t));
    for (int k = 0; k < 3; ++k) run.reading(k, t, 100 + value(k, t) * 0.39, value(k, t), 1'796'731'200'000 + static_cast<std::int64_t>(t * 60000));
    run.tick(t);
  }
}
}  // namespace

TEST(BenchRules, ASetPointWithoutAPointSaysWhyAndTheRunGoesOnOrStops) {
  struct Case {
    const char* name;
    bool bath, anyway, stopOnMissed;
    std::function<double(int, double)> value;  // channel −1: the bath
    const char* notice;                        // the first set point's; null: captured
  };
  const auto steadyAt = [](double v) { return [v](int, double) { return v; }; };
  const Case cases[] = {
      {"a bath that never gets there", true, false, false, [](int k, double) { return k < 0 ? 21.0 : 21.0; }, kNotReached},
      {"the reference far from the set point", false, false, false, steadyAt(21.006), kReferenceOff},
      {"far, but captured anyway", false, true, false, steadyAt(21.006), nullptr},
      {"every probe unsettled", false, false, false,
       [](int k, double t) { return k == 0 ? 0.001 : 0.2 * std::sin(t * 20 + k); }, kNoProbe},
      {"the reference unsettled", false, false, true, [](int k, double t) { return k == 0 ? 0.2 * std::sin(t * 20) : 0.0; }, kNotStable},
  };
  for (const auto& c : cases) {
    Plan plan = quickPlan({0, 10});
    plan.stopOnMissed = c.stopOnMissed;
    std::string journal;
    ComparisonRun run(plan, 3, 0, {1, 2}, c.bath);
    run.journal = [&](const std::string& line) { journal += line + "\n"; };
    journal = run.header({"ref", "p1", "p2"});
    double t = 0;
    run.start(t, 1'796'731'200'000);
    if (!c.bath) {
      feed(run, t, 0.5, c.value, false);  // the reference has spoken before the user confirms
      run.confirmReached(t, c.anyway);
    }
    // No longer than the approach (with a bath), the soak, the longest wait and the capture.
    feed(run, t, 8, c.value, c.bath);
    if (!c.notice) {
      ASSERT_FALSE(run.points().empty()) << c.name;
      EXPECT_TRUE(run.points()[0].forced) << c.name;
      const auto restored = ComparisonRun::restore(journal);
      ASSERT_TRUE(restored && !restored->points.empty()) << c.name;
      EXPECT_TRUE(restored->points[0].forced) << c.name;
      continue;
    }
    EXPECT_TRUE(run.points().empty()) << c.name;
    // The set point's own notice (probes left out come before it).
    const Notice* n = nullptr;
    for (const auto& each : run.notices())
      if (each.channel < 0 && !n) n = &each;
    ASSERT_NE(n, nullptr) << c.name;
    EXPECT_EQ(n->text, c.notice) << c.name;
    EXPECT_EQ(n->index, 0) << c.name;
    EXPECT_GT(n->utcMs, 1'796'731'200'000) << c.name;
    if (std::string(c.notice) == kReferenceOff) {
      ASSERT_TRUE(n->value) << c.name;
      EXPECT_NEAR(*n->value, 21.006, 1e-9);
      const std::string line = noticeRecord(*n, 0, plan.setPointTolerance, {"ref", "p1", "p2"}, idAndArgs);
      EXPECT_EQ(line.substr(line.find('|', line.find('|') + 1)), "|0.000|21.006|21.006|1.000") << line;
    }
    if (c.stopOnMissed) {
      EXPECT_EQ(run.phase(), ComparisonRun::Phase::Stopped) << c.name;
      const auto restored = ComparisonRun::restore(journal);
      ASSERT_TRUE(restored) << c.name;
      EXPECT_EQ(restored->nextIndex, 1) << c.name;  // taken up again after the missed set point
      EXPECT_TRUE(restored->plan.stopOnMissed);
      ASSERT_EQ(restored->notices.size(), run.notices().size());
      EXPECT_EQ(restored->notices[0].utcMs, run.notices()[0].utcMs);
    } else {
      EXPECT_NE(run.index(), 0) << c.name << ": the run went on";
    }
  }
}

TEST(BenchRules, AFitALabWouldCallNonsenseIsFlaggedWithItsReason) {
  // A probe of a 100 Ω instrument with four points over 0…90 °C, each with a 0.01 °C point U.
  const auto probe = [](math::TCofSet fitted, std::vector<double> temps) {
    ProbeResult r;
    r.held = math::TCofSet{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};
    r.fitted = fitted;
    r.cells = cellsOfFactors(fitted);
    int row = 1;
    for (double t : temps) {
      PointResult p;
      p.setPoint = std::round(t);
      p.referenceT = t;
      p.reference.meanT = t;
      p.uncertainty.expanded = 0.01;
      r.points.push_back(p);
      r.residuals.push_back({row++, t, 0.001});
    }
    return r;
  };
  const math::TCofSet good{100.02, 3.9080e-3, -5.79e-7, -4.183e-12};
  Plan plan;
  plan.setPoints = {0, 30, 60, 90};
  struct Case {
    const char* name;
    std::function<void(ProbeResult&)> change;
    const char* reason;  // null: plausible
  };
  const Case cases[] = {
      {"a good sensor", [](ProbeResult&) {}, nullptr},
      {"R0 0.9 % off", [](ProbeResult& r) { r.cells = cellsOfFactors({100.9, 3.908e-3, -5.79e-7, -4.183e-12}); }, nullptr},
      {"R0 5 % off", [](ProbeResult& r) { r.cells = cellsOfFactors({105.0, 3.908e-3, -5.79e-7, -4.183e-12}); }, "bnImplR0|105.000|100|"},
      {"R0 negative", [](ProbeResult& r) { r.cells = cellsOfFactors({-5040, 3.908e-3, 2.3189e-3, -4.183e-12}); }, "bnImplR0|-5040.000|100|"},
      {"A below its band", [](ProbeResult& r) { r.cells = cellsOfFactors({100.0, 3.7e-3, -5.79e-7, -4.183e-12}); }, "bnImplFactor|A x 10^3|3.7000|3.8000|4.0000|"},
      {"B positive", [](ProbeResult& r) { r.cells = cellsOfFactors({100.0, 3.908e-3, 5.79e-7, -4.183e-12}); }, "bnImplFactor|B x 10^7|5.7900|-7.0000|-4.5000|"},
      {"C far off", [](ProbeResult& r) { r.cells = cellsOfFactors({100.0, 3.908e-3, -5.79e-7, -9e-11}); }, "bnImplFactor|C x 10^12|-90.0000|-20.0000|10.0000|"},
      {"a residual above its point's U", [](ProbeResult& r) { r.residuals[2].deviation = -0.011; }, "bnImplResidual|-0.0110|60.000|0.0100|"},
      {"points 0.012 K apart", [&](ProbeResult& r) { r = probe(good, {21.006, 21.012, 21.018}); }, "bnImplSpan|0.012|90.000|"},
      {"a point captured anyway", [](ProbeResult& r) { r.points[1].forced = true; r.points[1].reference.meanT = 31.5; }, "bnImplForced|30.000|1.500|"},
  };
  for (const auto& c : cases) {
    ProbeResult r = probe(good, {0.01, 30.0, 60.0, 90.0});
    c.change(r);
    const auto reasons = implausibleReasons(r, plan, idAndArgs);
    if (!c.reason) {
      EXPECT_TRUE(reasons.empty()) << c.name << ": " << reasons.front();
      continue;
    }
    ASSERT_FALSE(reasons.empty()) << c.name;
    bool found = false;
    for (const auto& why : reasons) found = found || why.find(c.reason) != std::string::npos;
    EXPECT_TRUE(found) << c.name << ": " << reasons.front();
  }
  EXPECT_EQ(nominalR0(100.031), 100);
  EXPECT_EQ(nominalR0(25.52), 25);
  EXPECT_EQ(nominalR0(1000.4), 1000);
  EXPECT_EQ(nominalR0(77.0), 77.0);  // no standard size near: its own
}

TEST(StabilityRules, TheWindowsDetailsPinned) {
  StabilityRule r;
  r.windowMinutes = 1;
  r.maxSd = 0.5;
  // Five readings 0, 0, 0, 0, 1: the sample's standard deviation (n − 1) is √0.2 = 0.4472,
  // the population's would be 0.4.
  StabilityTracker sd(r);
  for (int i = 0; i < 5; ++i) sd.add(i * 0.25, i == 4 ? 1.0 : 0.0);
  EXPECT_NEAR(sd.verdict().sd, std::sqrt(0.2), 1e-12);
  // Covered from the reading that spans the window (to one interval short), not before.
  StabilityRule cover;
  cover.windowMinutes = 2;
  cover.maxSd = 1;
  StabilityTracker c(cover);
  std::vector<bool> covered;
  for (int i = 0; i <= 5; ++i) {
    c.add(i * 0.5, 20);
    covered.push_back(c.verdict().covered);
  }
  EXPECT_EQ(covered, (std::vector<bool>{false, false, false, true, true, true}));  // span 1.5 = 2 less one interval
  // A spike: peak-to-peak fails while it is in the window and recovers once it has left.
  StabilityRule ptp;
  ptp.windowMinutes = 2;
  ptp.maxPeakToPeak = 0.01;
  StabilityTracker p(ptp);
  std::vector<std::pair<double, bool>> seen;
  for (int i = 0; i <= 40; ++i) {
    const double t = i * 0.1;
    p.add(t, i == 10 ? 20.05 : 20.0);
    if (i == 12 || i == 29 || i == 31) seen.push_back({t, p.stable()});
  }
  EXPECT_EQ(seen, (std::vector<std::pair<double, bool>>{{1.2000000000000002, false}, {2.9000000000000004, false}, {3.1, true}}));

  // The time until stable: outside the band, finite drifting towards the set point and none
  // drifting away; inside the band never less than the window's own remaining time.
  StabilityRule band;
  band.windowMinutes = 5;
  band.maxSd = 1;
  band.band = 0.1;
  band.bandMinutes = 1;
  for (const double slope : {+0.05, -0.05}) {
    StabilityTracker b(band);
    b.setSetPoint(30);
    for (int i = 0; i <= 60; ++i) b.add(i * 0.1, 29 + slope * i * 0.1);
    const double eta = b.verdict().etaMinutes;
    if (slope > 0)
      EXPECT_NEAR(eta, (30 - 0.1 - (29 + 0.3)) / 0.05 + 1, 0.05);
    else
      EXPECT_TRUE(std::isnan(eta)) << eta;
  }
  StabilityTracker inside(band);
  inside.setSetPoint(30);
  for (int i = 0; i <= 20; ++i) inside.add(i * 0.1, 30.01);  // 2 min inside a 5 min window
  EXPECT_GE(inside.verdict().etaMinutes, 5 - 2 - 0.1 - 1e-9);
}

TEST(ComparisonRun, TheCaptureWaitsForTheReferenceAndADescendingPlanGoesDown) {
  Plan plan = quickPlan({0, 100, 50});
  plan.order = Order::Descending;
  plan.maxWaitMinutes = 100;
  std::vector<double> sent;
  ComparisonRun run(plan, 3, 0, {1, 2}, true);
  run.sendSetPoint = [&](double v) { sent.push_back(v); };
  double t = 0;
  run.start(t, 1'796'731'200'000);
  // The probes are steady, the reference is not: no capture, however long.
  feed(run, t, 20, [](int k, double m) { return 100 + (k == 0 ? 0.2 * std::sin(m * 20) : 0.0); }, true);
  EXPECT_EQ(run.phase(), ComparisonRun::Phase::Settling);
  EXPECT_TRUE(run.points().empty());
  // Once it settles the points follow, from the top down.
  double at = 100;
  for (int i = 0; i < 3 && run.phase() != ComparisonRun::Phase::Done; ++i) {
    at = run.setPoint();
    feed(run, t, t + 10, [at](int, double) { return at; }, true);
  }
  EXPECT_EQ(sent, (std::vector<double>{100, 50, 0}));
  ASSERT_EQ(run.points().size(), 3u);
  EXPECT_EQ(run.points()[2].setPoint, 0);
}

TEST(ComparisonResults, APointsBudgetAgainstAWorkedExample) {
  // A 25.5 Ω SPRT as the reference at 30 °C: dT/dR ≈ 9.8 °C/Ω.
  Reference ref;
  ref.probe.type = metrology::ProbeType::Cvd;
  ref.probe.cvd = {25.5, 3.9860e-3, -5.870e-7, -4.0e-12};
  const double rRef = metrology::cvdResistance(ref.probe.cvd, 30);
  CapturedPoint p;
  p.setPoint = 30;
  p.channels = {{0, 25, rRef, 30, 0.0001, 0.001, 1, 2}, {1, 16, 111.67, 30.01, 0.0004, 0.001, 1, 2}};
  BenchBudget b{0.002, 2, 0.002, 0.003, 0.001};
  const auto points = probePoints({p}, 0, 1, ref, b);
  ASSERT_EQ(points.size(), 1u);
  const double dTdR = 1 / (25.5 * (3.9860e-3 - 2 * 5.870e-7 * 30));  // 10.03 °C/Ω at 30 °C
  EXPECT_NEAR(ref.probe.temperaturePerOhm(rRef), dTdR, 1e-3);
  const double probeR0 = 111.67 / (1 + 3.9083e-3 * 30 - 5.775e-7 * 900);
  const struct {
    const char* name;
    double value;  // the standard uncertainty in °C, worked by hand
  } expected[] = {
      {"reference, repeatability", 0.0001 / 5 * dTdR},  // s/√n × dT/dR = 0.000201
      {"probe, repeatability", 0.0004 / 4 / (probeR0 * (3.9083e-3 - 2 * 5.775e-7 * 30))},
      {"reference, calibration certificate", 0.001},
      {"bath, stability", 0.002 / std::sqrt(3.0)},
      {"bath, uniformity", 0.003 / std::sqrt(3.0)},
      {"resolution", 0.0005 / std::sqrt(3.0)},
  };
  ASSERT_EQ(points[0].budget.size(), std::size(expected));
  double sum = 0;
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(points[0].budget[i].name, expected[i].name);
    EXPECT_NEAR(std::fabs(points[0].budget[i].contribution()), expected[i].value, expected[i].value * 2e-3) << expected[i].name;
    sum += expected[i].value * expected[i].value;
  }
  EXPECT_NEAR(points[0].uncertainty.combined, std::sqrt(sum), 1e-7);
}

TEST(ComparisonResults, TheCurvesUncertaintyIsKTimesItsLargestAlongTheCurve) {
  // Three points that determine R0, A and B exactly, each with the same budget and no scatter:
  // the curve passes through them, its standard uncertainty there is each point's own and less
  // between them, so U = 2 × √(0.001² + (0.002/√3)² + (0.003/√3)² + (0.0005/√3)²) = 0.0046547 °C.
  Reference ref;
  ref.probe.type = metrology::ProbeType::Cvd;
  ref.probe.cvd = {25.5, 3.9860e-3, -5.870e-7, -4.0e-12};
  const math::TCofSet sensor{100.02, 3.9080e-3, -5.79e-7, -4.183e-12}, held{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};
  std::vector<CapturedPoint> points;
  for (double t : {0.0, 50.0, 100.0}) {
    CapturedPoint p;
    p.index = static_cast<int>(points.size());
    p.setPoint = t;
    const double r = metrology::cvdResistance(sensor, t);
    p.channels = {{0, 30, metrology::cvdResistance(ref.probe.cvd, t), t, 0, 0, 1, 2},
                  {1, 30, r, metrology::cvdTemperature(held, r), 0, 0, 1, 2}};
    points.push_back(p);
  }
  const ProbeResult r = evaluateProbe(points, 0, 1, "p1", ref, BenchBudget{}, held, 1, nullptr);
  ASSERT_TRUE(r.fitted) << (r.messages.empty() ? "" : r.messages.front());
  const double u = std::sqrt(1e-6 + (0.002 * 0.002 + 0.003 * 0.003 + 0.0005 * 0.0005) / 3);
  EXPECT_NEAR(r.curveU, 2 * u, 1e-6);
  EXPECT_NEAR(r.rangeLow(), 0, 1e-9);
  EXPECT_NEAR(r.rangeHigh(), 100, 1e-9);
}
