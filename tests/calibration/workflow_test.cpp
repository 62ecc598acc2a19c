// The calibration work around the tables: the next free row, the measured value a stretch
// of readings gives for each data type, the warnings before a calculation (each on a table
// built for it, none on full example tables) and the residual summary.
#include "calibration/calibration_workflow.h"

#include <gtest/gtest.h>

#include "common/number_text.h"
#include "fake_grid.h"

using namespace velmora;
using test::FakeGrid;

namespace {
void rows(FakeGrid& g, const std::vector<double>& temps) { test::exactRows(g, temps, 6); }
std::vector<std::string> warningsFor(int method, const FakeGrid& g) {
  return fitWarnings(method, g, [](std::string_view id) { return std::string(id); });
}
bool has(const std::vector<std::string>& w, std::string_view id) {
  for (const auto& s : w)
    if (s.rfind(id, 0) == 0) return true;
  return false;
}
}  // namespace

TEST(CalibrationWorkflow, NextFreeRowSkipsFilledAndExcludedRowsUntilTheTableIsFull) {
  FakeGrid g;
  EXPECT_EQ(nextFreeRow(g), 1);
  g.point(1, "100.0", "0");
  g.data[{1, 2}] = "X";  // an excluded row with its values is not free
  g.point(2, "110.0", "25");
  g.data[{3, 3}] = "5";  // only an actual temperature typed: not free either
  EXPECT_EQ(nextFreeRow(g), 4);
  for (int r = 4; r <= 20; ++r) g.point(r, "100", std::to_string(r));
  EXPECT_EQ(nextFreeRow(g), std::nullopt);
}

TEST(CalibrationWorkflow, TheMeasuredValueFollowsTheDataType) {
  MeasuredStretch s;
  s.meanResistance = 108.190023;
  s.meanTemperature = 21.000047;
  s.resistanceCount = 40;
  s.temperatureCount = 41;
  s.resistanceSd = 0.0006;
  s.temperatureSd = 0.0016;
  const auto r = takePoint(s, 0);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->measured, "108.19002");
  EXPECT_EQ(r->count, 40u);
  EXPECT_DOUBLE_EQ(r->sd, 0.0006);
  const auto t = takePoint(s, 1);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->measured, "21.00005");
  EXPECT_EQ(t->count, 41u);
  // Readings from a data file have no resistance: nothing to take in resistance mode.
  s.resistanceCount = 0;
  s.meanResistance = NAN;
  EXPECT_FALSE(takePoint(s, 0));
  EXPECT_TRUE(takePoint(s, 1));
}

TEST(FitWarnings, SilentOnFullExampleTablesForEveryMethod) {
  FakeGrid g1, g2, g3;
  // Twenty points over the whole range (methods 1 and 2), and twenty from 0 °C up with one
  // at −50 °C (method 3).
  rows(g1, {-200, -190, -175, -150, -125, -100, -80, -60, -40, -20, 0.01, 25, 50, 100, 150, 200, 300, 420, 600, 850});
  rows(g2, {-200, -180, -160, -140, -120, -100, -80, -60, -40, -20, 0.01, 30, 60, 100, 157, 232, 300, 420, 600, 660});
  rows(g3, {-50, 0.01, 20, 40, 60, 80, 100, 125, 150, 175, 200, 232, 260, 300, 350, 400, 420, 500, 600, 660});
  EXPECT_TRUE(warningsFor(0, g1).empty());
  EXPECT_TRUE(warningsFor(1, g2).empty());
  EXPECT_TRUE(warningsFor(2, g3).empty());
  EXPECT_TRUE(warningsFor(1, g1).empty());
  EXPECT_TRUE(warningsFor(2, g1).empty());
  FakeGrid empty;
  EXPECT_TRUE(warningsFor(0, empty).empty());  // nothing to warn about; the method reports it
}

TEST(FitWarnings, EachCheckFiresOnATableBuiltForIt) {
  // Three temperatures: enough for methods 2 and 3, short for method 1.
  FakeGrid three;
  rows(three, {0.01, 100, 100, 200, 0.01});
  EXPECT_TRUE(has(warningsFor(0, three), "fwTooFewTemps"));
  EXPECT_FALSE(has(warningsFor(1, three), "fwTooFewTemps"));
  // One point below 0 °C: methods 1 and 2 warn, method 3 (C from −50 °C) does not.
  FakeGrid oneBelow;
  rows(oneBelow, {-50, 0.01, 100, 200, 400});
  EXPECT_TRUE(has(warningsFor(0, oneBelow), "fwOneBelowZero"));
  EXPECT_TRUE(has(warningsFor(1, oneBelow), "fwOneBelowZero"));
  EXPECT_FALSE(has(warningsFor(2, oneBelow), "fwOneBelowZero"));
  rows(oneBelow, {-100, -50, 0.01, 100, 200, 400});
  EXPECT_FALSE(has(warningsFor(0, oneBelow), "fwOneBelowZero"));
  // Nothing within 5 °C of 0 °C: R0 is poorly determined; 5 °C itself is near enough.
  FakeGrid far;
  rows(far, {-100, -50, 50, 100, 200});
  EXPECT_TRUE(has(warningsFor(0, far), "fwNoneNearZero"));
  far.point(6, "101.9", "5");
  EXPECT_FALSE(has(warningsFor(0, far), "fwNoneNearZero"));
  // Excluded rows that leave the method short: named as such.
  FakeGrid excluded;
  rows(excluded, {-100, -50, 0.01, 100});
  EXPECT_TRUE(warningsFor(0, excluded).empty());
  excluded.data[{1, 4}] = "X";
  const auto w = warningsFor(0, excluded);
  EXPECT_TRUE(has(w, "fwExcluded"));
  EXPECT_FALSE(has(w, "fwTooFewTemps"));
}

TEST(FitWarnings, APointAtExactlyZeroAndWhichMethodsCanRunAtAll) {
  // 0 °C is near 0 °C and not below it: with one point at −50 °C, only that one is below.
  FakeGrid zero;
  rows(zero, {-50, 0, 100, 200, 400});
  EXPECT_FALSE(has(warningsFor(0, zero), "fwNoneNearZero"));
  EXPECT_TRUE(has(warningsFor(0, zero), "fwOneBelowZero"));
  struct Case {
    std::vector<double> temps;
    bool m1, m2, m3;
  } cases[] = {
      {{0.01, 100, 200}, false, true, true},         // three temperatures: not enough for method 1
      {{0.01, 100, 200, 100}, false, true, true},    // a repeated one counts once
      {{-100, -50, 0, 100}, true, false, true},      // method 2 fits A and B from 0 °C and above only
      {{-100, 0, 100, 200}, true, true, true},       // 0 °C itself is one of those
      {{0.01, 100}, false, false, false},
      {{}, true, true, true},                        // no point: the methods say so themselves
  };
  for (const auto& c : cases) {
    FakeGrid g;
    rows(g, c.temps);
    EXPECT_EQ(methodCanRun(0, g), c.m1) << c.temps.size();
    EXPECT_EQ(methodCanRun(1, g), c.m2) << c.temps.size();
    EXPECT_EQ(methodCanRun(2, g), c.m3) << c.temps.size();
  }
}

TEST(FitWarnings, TheMessageCarriesTheCounts) {
  FakeGrid g;
  rows(g, {0.01, 100});
  const auto w = fitWarnings(1, g, [](std::string_view id) {
    return id == "fwTooFewTemps" ? std::string("%1 of %3 for method %2") : std::string(id);
  });
  ASSERT_FALSE(w.empty());
  EXPECT_EQ(w[0], "2 of 3 for method 2");
}

TEST(ResidualSummary, RmsAndLargestMagnitude) {
  const ResidualSummary s = summarizeResiduals({{1, 0, 0.003}, {2, 100, -0.004}, {3, 200, 0.0}});
  EXPECT_NEAR(s.rms, std::sqrt((9e-6 + 16e-6) / 3), 1e-15);
  EXPECT_DOUBLE_EQ(s.maxAbs, 0.004);
  EXPECT_EQ(s.count, 3u);
  EXPECT_TRUE(std::isnan(summarizeResiduals({}).rms));
}
