#include "math/platinum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace velmora::math;

namespace {
// IEC 60751 platinum sensor.
const TCofSet kIec{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};

struct TableRow {
  double t;
  double R;
};
// The standard's table, ohms to four decimals.
const TableRow kIecTable[] = {{-200, 18.5201}, {-100, 60.2558}, {-50, 80.3063},  {-20, 92.1599},
                              {0, 100.0000},   {25, 109.7347},  {50, 119.3971},  {100, 138.5055},
                              {200, 175.8560}, {300, 212.0515}, {400, 247.0920}, {500, 280.9775},
                              {600, 313.7080}, {700, 345.2835}, {800, 375.7040}, {850, 390.4811}};
}  // namespace

TEST(RofT, ReproducesTheStandardTable) {
  for (const auto& row : kIecTable) {
    EXPECT_NEAR(RofT(kIec, row.t, row.t < 0), row.R, 0.00005) << "t = " << row.t;
  }
}

TEST(RofT, TheCallerDecidesAboutTheCTerm) {
  EXPECT_EQ(RofT(kIec, 0, false), 100.0);
  EXPECT_EQ(RofT(kIec, 0, true), 100.0);
  const double without = RofT(kIec, -50, false);
  EXPECT_DOUBLE_EQ(without, 100.0 * (1 + kIec.A * -50 + kIec.B * 2500));
  EXPECT_NEAR(RofT(kIec, -50, true) - without, 100.0 * kIec.C * (-150.0) * (-50.0 * -50.0 * -50.0), 1e-14);
  // The sign of t is not looked at: withC applies the term above zero too.
  EXPECT_NE(RofT(kIec, 50, true), RofT(kIec, 50, false));
}

TEST(TofR, InvertsTheTable) {
  for (const auto& row : kIecTable) {
    const double R = RofT(kIec, row.t, row.t < 0);
    if (row.t >= 0) {
      EXPECT_NEAR(TofR(kIec, R), row.t, 1e-9) << row.t;
    } else {
      // Bisection from a 10 °C bracket: the last midpoint is within 3.1e-4 °C of the root.
      EXPECT_NEAR(TofR(kIec, R), row.t, 3.1e-4) << row.t;
    }
  }
  EXPECT_EQ(TofR(kIec, 100.0), 0.0);  // sqrt(A²) − A is exactly 0
}

TEST(TofR, BelowZeroReturnsAMidpointOfTheBisection) {
  // The result is t0 − 5 + k·10/2^15 for some k: the fifteenth midpoint.
  const TCofSet noC{100.0, 3.9083e-3, -5.775e-7, 0.0};
  const double R = RofT(noC, -30, false);
  const double t0 = -30.0;  // closed form is exact here without C
  const double result = TofR(noC, R);
  const double steps = (result - (t0 - 5)) / (10.0 / 32768.0);
  EXPECT_NEAR(steps, std::round(steps), 1e-6);
  EXPECT_NEAR(result, t0, 10.0 / 32768.0);
}

TEST(TofR, ARootOutsideTheBracketGivesTheNearerEnd) {
  TCofSet bigC = kIec;
  bigC.C = -4e-9;  // makes the true temperature at -100 °C lie far from the quadratic root
  const double R = RofT(bigC, -100, true);
  const TCofSet quadOnly{bigC.R0, bigC.A, bigC.B, 0};
  const double t0 = TofR(quadOnly, R + 0.0) ;  // closed form + bisection without C lands near t0
  const double result = TofR(bigC, R);
  EXPECT_GT(std::fabs(result - (-100.0)), 1.0);
  EXPECT_LT(std::fabs(std::fabs(result - t0) - 5.0), 0.01);
}

TEST(TofR, FloatingPointFaultsAreRaisedWithTheStandardTexts) {
  auto textOf = [](const TCofSet& c, double R) -> std::string {
    try {
      TofR(c, R);
    } catch (const FloatError& e) {
      return e.what();
    }
    return "no error";
  };
  EXPECT_EQ(textOf({0, 3.9e-3, -5.8e-7, 0}, 100), "Floating point division by zero");
  EXPECT_EQ(textOf({0, 3.9e-3, -5.8e-7, 0}, 0), "Invalid floating point operation");
  EXPECT_EQ(textOf({100, 3.9e-3, 0, 0}, 120), "Invalid floating point operation");  // B = 0: 0/0
  EXPECT_EQ(textOf({100, 3.9e-3, -5.8e-7, 0}, 1e6), "Invalid floating point operation");  // root of < 0
}

TEST(InvertMatrix3, InvertsAndDetectsSingularity) {
  const Matrix3 m{{{4, 7, 2}, {3, 6, 1}, {2, 5, 3}}};
  Matrix3 inv{};
  ASSERT_EQ(InvertMatrix3(m, 3, inv), 0);
  const Vector3 v{1, -2, 0.5};
  const Vector3 back = MulMatrixVector3(m, MulMatrixVector3(inv, v));
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(back[i], v[i], 1e-12);

  const Matrix3 tiny{{{1e-18, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  EXPECT_EQ(InvertMatrix3(tiny, 3, inv), 1);
  const Matrix3 small{{{2e-18, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
  EXPECT_EQ(InvertMatrix3(small, 3, inv), 0);
}

TEST(InvertMatrix3, AmongEqualPivotsTheLowerRowWins) {
  // Column 0 offers 1 and −1; with the lower row as pivot the partial inverse left at the
  // singular second column has −1 in row 0, column 1 (it would be 0 with the upper row).
  const Matrix3 m{{{1, 0, 0}, {-1, 0, 0}, {0, 0, 0}}};
  Matrix3 out{};
  ASSERT_EQ(InvertMatrix3(m, 3, out), 1);
  EXPECT_EQ(out[0][0], 0.0);
  EXPECT_EQ(out[0][1], -1.0);
  EXPECT_EQ(out[1][0], 1.0);
  EXPECT_EQ(out[1][1], 1.0);
}

TEST(QuadraticFit, RecoversR0ABFromExactData) {
  std::vector<double> t{0, 50, 100, 200, 400, 600, 850};
  std::vector<double> r;
  for (double x : t) r.push_back(RofT(kIec, x, false));
  QuadWorkspace ws;
  BuildQuadNormalEq(ws, r, t);
  ASSERT_EQ(InvertMatrix3(ws.QuadMatrix, 3, ws.QuadInverse), 0);
  ws.QuadSolution = MulMatrixVector3(ws.QuadInverse, ws.QuadRhs);
  const double R0 = ws.QuadSolution[2];
  EXPECT_NEAR(R0, 100.0, 1e-7);
  EXPECT_NEAR(ws.QuadSolution[1] / R0, kIec.A, 1e-12);
  EXPECT_NEAR(ws.QuadSolution[0] / R0, kIec.B, 1e-14);
}

TEST(QuadraticFit, OnePointAtZeroIsSingular) {
  QuadWorkspace ws;
  const std::vector<double> t{0}, r{100};
  BuildQuadNormalEq(ws, r, t);
  EXPECT_EQ(ws.QuadMatrix[0][0], 0.0);
  EXPECT_EQ(ws.QuadMatrix[2][2], 1.0);  // n, and x^0 = 1 also for x = 0 in V0
  EXPECT_EQ(ws.QuadRhs[2], 100.0);
  EXPECT_EQ(InvertMatrix3(ws.QuadMatrix, 3, ws.QuadInverse), 1);
}

TEST(FindC, FindsTheStandardC) {
  const std::vector<double> negT{-200, -150, -100, -50};
  std::vector<double> negR;
  for (double t : negT) negR.push_back(RofT(kIec, t, true));
  TCofSet cof = kIec;
  cof.C = 7;  // must be restored by every evaluation
  const double c = FindC(cof, negT, negR);
  EXPECT_EQ(cof.C, 7.0);
  EXPECT_NEAR(c, kIec.C, 2e-13);
}

TEST(FindC, RunsTwentySixStepsAndReturnsABracketEnd) {
  int evaluations = 0;
  auto f = [&](double c) {
    ++evaluations;
    return (c - 5e-10) * (c - 5e-10);  // minimum outside ±1e-10
  };
  const double c = GoldenSectionMin(f, -1e-10, 1e-10, 1e-15);
  EXPECT_EQ(evaluations, 4 + 26);
  EXPECT_NEAR(c, 1e-10, 1e-15);
}

TEST(FindC, NoNegativePointsTiesEverywhere) {
  TCofSet cof = kIec;
  const std::vector<double> none;
  EXPECT_EQ(SumSqTempError(cof, none, none, 1.0), 0.0);
  EXPECT_NEAR(FindC(cof, none, none), 1e-10, 1e-15);
}
