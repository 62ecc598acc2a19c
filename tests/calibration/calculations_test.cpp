#include "calibration/calculations.h"

#include <gtest/gtest.h>

#include "common/number_text.h"
#include "fake_grid.h"

using namespace velmora;
using test::FakeGrid;
using test::exactRows;
using test::kIec;

namespace {
double newValue(const FakeGrid& g, int column) { return *parseNumber(g.cofCell(column, 2)); }
// The standard factors in row `row` of the coefficient table (1 "Old", 2 "New").
void standardFactors(FakeGrid& g, int row) {
  g.cof[{1, row}] = "100.000";
  g.cof[{2, row}] = "3.9083";
  g.cof[{3, row}] = "-5.7750";
  g.cof[{4, row}] = "-4.1830";
}
}  // namespace

TEST(CalcMethod1, ExactStandardDataGivesItsFactors) {
  FakeGrid g;
  exactRows(g, {-200, -100, -50, -20, 0, 100, 200, 400, 600, 850});
  g.data[{4, 3}] = "old deviation";
  CalibrationState s;
  calcMethod1(g, s);
  const std::vector<std::string> expected{"100.000", "3.9083", "-5.7750", "-4.1830"};
  EXPECT_EQ(g.newRow(), expected);
  EXPECT_EQ(g.dataCell(4, 3), "");  // cleared for every row read
  EXPECT_EQ(g.highlight, 0);
  EXPECT_EQ(g.pauses, 10);
  EXPECT_EQ(s.NewCof.R0, 0.0);  // method 1 leaves NewCof alone
}

TEST(CalcMethod2, ExactStandardDataGivesItsFactors) {
  FakeGrid g;
  exactRows(g, {-200, -150, -100, -50, 0, 100, 200, 400, 600, 850});
  CalibrationState s;
  calcMethod2(g, s);
  EXPECT_EQ(g.cofCell(1, 2), "100.000");
  EXPECT_EQ(g.cofCell(2, 2), "3.9083");
  EXPECT_EQ(g.cofCell(3, 2), "-5.7750");
  EXPECT_NEAR(newValue(g, 4), -4.183, 0.3);  // the search for C is limited by the bisection
  EXPECT_TRUE(g.errors.empty());
}

TEST(CalcMethod3, EstimatesCFromTheRowNearMinusFifty) {
  FakeGrid g;
  exactRows(g, {0, 100, 200, 400, 600, -50});
  CalibrationState s;
  calcMethod3(g, s);
  // The quadratic fit takes every row, the one at -50 °C included.
  EXPECT_NEAR(newValue(g, 1), 100.0, 0.01);
  math::TCofSet noC = s.NewCof;
  noC.C = 0;
  const double err = math::TofR(noC, *parseNumber(g.dataCell(2, 6))) - (-50);
  EXPECT_EQ(s.NewCof.C, (err - 0.015) * 2.12e-10);
  EXPECT_EQ(g.cofCell(4, 2), formatFixed(s.NewCof.C * 1e12, 8, 3));
}

TEST(Methods, OnlyPositiveRows) {
  FakeGrid g;
  exactRows(g, {0, 100, 200, 400});
  CalibrationState s;
  EXPECT_THROW(calcMethod1(g, s), math::FloatError);
  EXPECT_EQ(g.cofCell(1, 2), "");  // the new row keeps what it had
  s.OldCof.C = -3e-12;  // C then comes from the old set
  calcMethod2(g, s);
  EXPECT_EQ(g.cofCell(2, 2), "3.9083");
  EXPECT_EQ(g.cofCell(4, 2), "-3.0000");
  calcMethod3(g, s);
  EXPECT_EQ(g.cofCell(4, 2), "0.000");
}

TEST(Methods, ExcludedAndEmptyRowsAreIgnoredEvenWhenInvalid) {
  FakeGrid g;
  exactRows(g, {0, 100, 200, 400});
  g.data[{1, 5}] = "X";
  g.point(5, "garbage", "garbage");
  g.data[{3, 6}] = "-40";  // no measured value
  CalibrationState s;
  calcMethod2(g, s);
  EXPECT_TRUE(g.errors.empty());
  EXPECT_EQ(s.PosT.size(), 4u);
}

TEST(Methods, AnInvalidCellStopsWithIds1OnThatCell) {
  FakeGrid g;
  exactRows(g, {0, 100, 200});
  g.data[{3, 2}] = "-";
  CalibrationState s;
  calcMethod2(g, s);
  ASSERT_EQ(g.errors.size(), 1u);
  EXPECT_EQ(g.errors[0], "IDS_1");
  EXPECT_EQ(g.focusedData, std::make_pair(3, 2));
  EXPECT_EQ(g.highlight, 2);  // stays highlighted until the next calculation
  EXPECT_EQ(g.cofCell(1, 2), "");
}

TEST(CalcMethod2, NoPositiveRowsIsSingular) {
  FakeGrid g;
  exactRows(g, {-100, -50});
  CalibrationState s;
  calcMethod2(g, s);
  ASSERT_EQ(g.errors.size(), 1u);
  EXPECT_EQ(g.errors[0], "IDS_5\rIDS_6");
  EXPECT_EQ(g.cofCell(1, 2), "");
}

TEST(CalcMethod3, ARowOffByFiveHundredthsIsMarkedAndCIsZero) {
  FakeGrid g;
  exactRows(g, {100, 200, 400, 600, -50});
  g.point(6, formatFixed(math::RofT(kIec, 0.05, false), 12, 9), "0");
  CalibrationState s;
  calcMethod3(g, s);
  EXPECT_EQ(g.dataCell(1, 6), "X");
  ASSERT_EQ(g.errors.size(), 1u);
  EXPECT_EQ(g.errors[0], "IDS_11\rIDS_12");
  EXPECT_EQ(g.cofCell(4, 2), "0.000");
  // A second press fits without that row.
  g.errors.clear();
  calcMethod3(g, s);
  EXPECT_TRUE(g.errors.empty());
  EXPECT_NE(g.cofCell(4, 2), "0.000");
}

TEST(CalcMethod3, TheLowerOfTwoRowsNearMinusFiftyCounts) {
  FakeGrid g;
  exactRows(g, {0, 100, 200, 400});
  g.point(5, formatFixed(math::RofT(kIec, -50, true), 12, 9), "-50");
  g.point(6, formatFixed(math::RofT(kIec, -48, true), 12, 9), "-48");
  CalibrationState s;
  calcMethod3(g, s);
  math::TCofSet noC = s.NewCof;
  noC.C = 0;
  const double err = math::TofR(noC, *parseNumber(g.dataCell(2, 6))) - (-48);
  EXPECT_EQ(s.NewCof.C, (err - 0.015) * 2.12e-10);
}

TEST(TemperatureMode, EachMethodConvertsAsSpecified) {
  FakeGrid g;
  g.type = 1;
  g.cof[{1, 1}] = "100.000";
  g.cof[{2, 1}] = "3.9083";
  g.cof[{3, 1}] = "-5.7750";
  g.cof[{4, 1}] = "-4.1830";
  int r = 1;
  for (double t : {-100.0, -50.0, 0.0, 100.0, 200.0, 400.0}) g.point(r++, formatFixed(t, 6, 2), formatFixed(t, 6, 2));
  CalibrationState s;
  EXPECT_NO_THROW(calcMethod1(g, s));
  EXPECT_EQ(s.points[0].R, math::RofT(kIec, -100, false));  // without the C term
  calcMethod2(g, s);
  ASSERT_EQ(s.NegR.size(), 2u);
  EXPECT_EQ(s.NegR[0], math::RofT(kIec, -100, true));  // with it
  calcMethod3(g, s);
  EXPECT_EQ(s.PosR[0], math::RofT(kIec, -100, false));
  // An old factor that is not a number: IDS_2 on that cell.
  g.cof[{3, 1}] = "";
  calcMethod1(g, s);
  ASSERT_FALSE(g.errors.empty());
  EXPECT_EQ(g.errors.back(), "IDS_2");
  EXPECT_EQ(g.focusedCof, std::make_pair(3, 1));
}

TEST(Deviation, ExampleAndExcludedRows) {
  FakeGrid g;
  g.cof[{1, 2}] = "100";
  g.cof[{2, 2}] = "3.9083";
  g.cof[{3, 2}] = "-5.775";
  g.cof[{4, 2}] = "-4.183";
  g.point(1, "138.5055", "100");
  g.point(2, "119.40", "50");
  g.data[{1, 2}] = "X";
  g.data[{4, 2}] = "0.123";
  CalibrationState s;
  btErrorClick(g, s);
  EXPECT_EQ(g.dataCell(4, 1), "0.000");
  EXPECT_EQ(g.dataCell(4, 2), "0.123");  // excluded: keeps its old text
  EXPECT_DOUBLE_EQ(s.NewCof.A, 3.9083e-3);
}

TEST(Deviation, InvalidNewFactorAndInvalidRows) {
  FakeGrid g;
  g.point(1, "138.5055", "100");
  CalibrationState s;
  btErrorClick(g, s);
  ASSERT_EQ(g.errors.size(), 1u);
  EXPECT_EQ(g.errors[0], "IDS_2");
  EXPECT_EQ(g.focusedCof, std::make_pair(1, 2));
  g.cof[{1, 2}] = "100";
  g.cof[{2, 2}] = "3.9083";
  g.cof[{3, 2}] = "-5.775";
  g.cof[{4, 2}] = "-4.183";
  g.point(2, "119.40", "");
  try {
    btErrorClick(g, s);
    FAIL() << "expected the conversion error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "'' is not a valid floating point value");
  }
  EXPECT_EQ(g.dataCell(4, 1), "0.000");  // rows before it have their deviation
}

TEST(Deviation, TemperatureModeBeforeAnyCalculationUsesZeroOldFactors) {
  FakeGrid g;
  g.type = 1;
  g.cof[{1, 2}] = "100";
  g.cof[{2, 2}] = "3.9083";
  g.cof[{3, 2}] = "-5.775";
  g.cof[{4, 2}] = "-4.183";
  g.point(1, "25", "25");
  CalibrationState s;
  // With OldCof all zero every measured value becomes 0 Ω, and TofR(0) is far below zero.
  btErrorClick(g, s);
  EXPECT_EQ(g.dataCell(4, 1), formatFixed(math::TofR(s.NewCof, 0) - 25, 8, 3));
}

TEST(Deviation, TemperatureModeAppliesTheCTermBelowZero) {
  FakeGrid g;
  g.type = 1;
  standardFactors(g, 2);
  g.point(1, "-100", "-100");
  g.point(2, "100", "100");
  CalibrationState s;
  s.OldCof = kIec;  // as the last calculation read them
  btErrorClick(g, s);
  // Below 0 °C the measured temperature becomes a resistance with the C term; without it
  // the row would be off by about 0.2 °C.
  EXPECT_EQ(g.dataCell(4, 1), "0.000");
  EXPECT_EQ(g.dataCell(4, 2), "0.000");
}

TEST(CalcMethod3, TheCheckPassConvertsMeasuredTemperaturesWithC) {
  FakeGrid g;
  g.type = 1;
  standardFactors(g, 1);
  int r = 1;
  for (double t : {0.0, 100.0, 200.0, 400.0, -50.0}) g.point(r++, formatFixed(t, 6, 2), formatFixed(t, 6, 2));
  CalibrationState s;
  calcMethod3(g, s);
  EXPECT_TRUE(g.errors.empty());
  math::TCofSet noC = s.NewCof;
  noC.C = 0;
  const double err = math::TofR(noC, math::RofT(kIec, -50, true)) + 50;
  EXPECT_DOUBLE_EQ(s.NewCof.C, (err - 0.015) * 2.12e-10);
}

TEST(Methods, TooFewDistinctTemperaturesLeaveTheNewRowAlone) {
  CalibrationState s;
  {
    // Two temperatures, repeated: method 1 cannot determine four factors.
    FakeGrid g;
    exactRows(g, {0, 100, 0, 100, 0, 100});
    g.cof[{1, 2}] = "kept";
    calcMethod1(g, s);
    ASSERT_EQ(g.errors.size(), 1u);
    EXPECT_EQ(g.errors[0], "msgTooFewPoints1");
    EXPECT_EQ(g.cofCell(1, 2), "kept");
    EXPECT_EQ(g.cofCell(2, 2), "");
  }
  {
    // Three are enough for the quadratic, not for method 1.
    FakeGrid g;
    exactRows(g, {0, 100, 200, 0});
    calcMethod1(g, s);
    ASSERT_EQ(g.errors.size(), 1u);
    EXPECT_EQ(g.errors[0], "msgTooFewPoints1");
    g.errors.clear();
    calcMethod3(g, s);
    EXPECT_TRUE(g.errors.empty());
    EXPECT_EQ(g.cofCell(2, 2), "3.9083");
  }
  for (int method : {1, 2}) {
    FakeGrid g;
    // Two distinct at or above 0 °C (method 2 fits its quadratic to those; method 3 to all).
    if (method == 1)
      exactRows(g, {100, 200, 100, 200, -50});
    else
      exactRows(g, {100, 200, 100, 200});
    g.cof[{1, 2}] = "kept";
    runCalcMethod(method, g, s);
    ASSERT_EQ(g.errors.size(), 1u) << method;
    EXPECT_TRUE(g.errors[0] == "msgTooFewPoints2" || g.errors[0] == "IDS_5\rIDS_6") << g.errors[0];
    EXPECT_EQ(g.cofCell(1, 2), "kept");
    EXPECT_EQ(g.cofCell(4, 2), "");
  }
}

TEST(Methods, ANumberTooLargeForADoubleIsAnInvalidCell) {
  FakeGrid g;
  exactRows(g, {0, 100, 200, 400});
  g.data[{2, 3}] = "1e400";
  CalibrationState s;
  calcMethod2(g, s);
  ASSERT_EQ(g.errors.size(), 1u);
  EXPECT_EQ(g.errors[0], "IDS_1");
  EXPECT_EQ(g.focusedData, std::make_pair(2, 3));
  EXPECT_EQ(g.cofCell(1, 2), "");
  g.errors.clear();
  standardFactors(g, 2);
  EXPECT_THROW(btErrorClick(g, s), std::runtime_error);  // never "INF" in the deviation column
  EXPECT_NE(g.dataCell(4, 3), "INF");
  EXPECT_EQ(g.dataCell(4, 3), "");
}

TEST(FitPlan, TheCalculationReadsTheTableOnceAndPlansWithoutTouchingIt) {
  FakeGrid g;
  exactRows(g, {0, 100, 200, 400});
  g.data[{3, 3}] = "x";
  const CalibrationInput input = readCalibrationInput(g);
  ASSERT_EQ(input.rows.size(), 4u);
  CalibrationState s;
  const FitPlan plan = fitMethod(1, input, s, {});
  EXPECT_EQ(plan.stop, FitPlan::Stop::BadDataCell);
  EXPECT_EQ(plan.stopColumn, 3);
  EXPECT_EQ(plan.stopRow, 3);
  EXPECT_EQ(plan.rowsRead, 3);
  EXPECT_EQ(g.highlight, 0);  // nothing shown yet
  EXPECT_TRUE(g.errors.empty());
  applyFit(g, input, plan, 7);
  EXPECT_EQ(g.pauses, 3);
  EXPECT_EQ(g.highlight, 3);
  EXPECT_EQ(g.errors, std::vector<std::string>{"IDS_1"});
}
