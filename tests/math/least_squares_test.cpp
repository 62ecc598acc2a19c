#include "math/least_squares.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "math/platinum.h"

using namespace velmora::math;

namespace {
const TCofSet kIec{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};

std::vector<TCalibrPoint> exactPoints(const std::vector<double>& temps) {
  std::vector<TCalibrPoint> pts;
  for (double t : temps) pts.push_back({t, RofT(kIec, t, t < 0)});
  return pts;
}

std::string errorOf(const std::vector<TCalibrPoint>& pts) {
  TFitResult r;
  try {
    FitCalibration(pts, nullptr, r);
  } catch (const FloatError& e) {
    return e.what();
  }
  return "no error";
}
}  // namespace

TEST(FitCalibration, ExactDataReturnsItsFactors) {
  TFitResult r;
  FitCalibration(exactPoints({-200, -100, -50, -20, 0, 100, 200, 400, 600, 850}), nullptr, r);
  ASSERT_TRUE(r.Ok);
  EXPECT_NEAR(r.R0, kIec.R0, 1e-8);
  EXPECT_NEAR(r.A / kIec.A, 1.0, 1e-9);
  EXPECT_NEAR(r.B / kIec.B, 1.0, 1e-7);
  EXPECT_NEAR(r.C / kIec.C, 1.0, 1e-5);
  EXPECT_LT(r.E, 1e-9);
}

TEST(FitCalibration, RangesAreWeightedEquallySoRepeatsChangeNothingButE) {
  auto base = exactPoints({-200, -100, -50, 0, 100, 200, 400});
  base[5].R += 0.02;  // an imperfect point, so E is not 0
  auto repeated = base;
  for (int k = 0; k < 3; ++k)
    for (const auto& p : base)
      if (p.t >= 0) repeated.push_back(p);
  TFitResult a, b;
  FitCalibration(base, nullptr, a);
  FitCalibration(repeated, nullptr, b);
  EXPECT_NEAR(a.R0, b.R0, 1e-9);
  EXPECT_NEAR(a.A, b.A, 1e-15);
  EXPECT_NEAR(a.B, b.B, 1e-18);
  EXPECT_NEAR(a.C, b.C, 1e-21);
  EXPECT_NE(a.E, b.E);
}

TEST(FitCalibration, UnsolvableSystemsRaiseFloatingPointErrors) {
  // Only t >= 0: row 4 and its right-hand side are 0, so the scaling divides 0 by 0.
  EXPECT_EQ(errorOf(exactPoints({0, 100, 200, 300})), "Invalid floating point operation");
  EXPECT_EQ(errorOf({}), "Invalid floating point operation");
  TFitResult untouched{1, 2, 3, 4, 5, false};
  EXPECT_THROW(FitCalibration(exactPoints({0, 100}), nullptr, untouched), FloatError);
  EXPECT_EQ(untouched.R0, 1.0);
}

TEST(LinearLeastSquares, ZeroBelongsToThePositiveRange) {
  TLinearLeastSquares fit({{0.0, 100.0}, {-10.0, 96.0}});
  fit.Accumulate();
  EXPECT_EQ(fit.FP, 1);
  EXPECT_EQ(fit.FN, 1);
  EXPECT_EQ(fit.FR1, 2);
  EXPECT_EQ(fit.FT1P, 0);
  EXPECT_EQ(fit.FT3T1N, -1000.0L * -110.0L);
}

TEST(LinearLeastSquares, FitErrorIsTheRootOfTheSumOverN) {
  TLinearLeastSquares fit({{10, 100.3}, {20, 99.6}});
  fit.RS = 100;
  fit.AS = fit.BS = fit.CS = 0;
  EXPECT_NEAR(fit.FitError(), std::sqrt(0.09 + 0.16) / 2, 1e-12);
}

TEST(LinearLeastSquares, ReportTexts) {
  TLinearLeastSquares fit({});
  fit.RD = 1;
  fit.AD = -2.5;
  fit.BD = 1234.5;
  fit.CD = 0;
  fit.FD = 1e-7;
  EXPECT_EQ(fit.DeterminantsText(),
            "\r\n  RD= 1.000e+00   AD=-2.500e+00   BD= 1.234e+03   CD= 0.000e+00   FD= 1.000e-07");
  fit.RS = 100.012;
  fit.AS = 3.9083e-3;
  fit.BS = -5.775e-7;
  fit.CS = -4.183e-12;
  fit.ES = 0;
  EXPECT_EQ(fit.SolutionText(),
            "\r\n  RS=  1.00012e+02   AS=  3.90830e-03   BS= -5.77500e-07   CS= -4.18300e-12   ES=  0.00000e+00");
  fit.FN = 2;
  fit.FP = 3;
  fit.FT1N = -75;
  const std::string sums = fit.SumsText();
  EXPECT_EQ(sums.substr(0, 36), "\r\nFN: 2  FP: 3  \r\nFT1N: -75.0000\r\nFT");
  EXPECT_EQ(sums.find("FT4N"), std::string::npos);
  EXPECT_NE(sums.find("\r\nFF4: 0.0000"), std::string::npos);

  std::vector<std::string> lines;
  LineSink sink = [&](std::string_view s) { lines.emplace_back(s); };
  const Matrix4 m = {{1, 2, 3, 4}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, -1.5}};
  TLinearLeastSquares::LogMatrix(m, 4, 4, sink, "DDD");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], " DDD  Rows:4  Cols:4");
  EXPECT_EQ(lines[1], "  0:0..4::    1.000000e+00   2.000000e+00   3.000000e+00   4.000000e+00");
  EXPECT_EQ(lines[4], "  3:0..4::    0.000000e+00   0.000000e+00   0.000000e+00  -1.500000e+00");
  EXPECT_EQ(TLinearLeastSquares::Det4(m), -1.5);
}

TEST(FitCalibration, LogsItsStepsInOrder) {
  std::vector<std::string> lines;
  LineSink sink = [&](std::string_view s) { lines.emplace_back(s); };
  TFitResult r;
  FitCalibration(exactPoints({-200, -100, -50, 0, 100, 200, 400}), &sink, r);
  // Nine report lines plus five matrices of five lines each.
  ASSERT_EQ(lines.size(), 9u + 25u);
  EXPECT_EQ(lines[0], "--------------- ");
  EXPECT_EQ(lines[2], "---------------");
  EXPECT_EQ(lines[4], "===============");
  EXPECT_EQ(lines[5], " DDD  Rows:4  Cols:4");
  EXPECT_EQ(lines[10], " RRR  Rows:4  Cols:4");
  EXPECT_EQ(lines[25], " CCC  Rows:4  Cols:4");
  EXPECT_EQ(lines[30].substr(0, 6), "\r\n  RD");
  EXPECT_EQ(lines.back(), "===============");
  // The scaled equations end in 1.
  EXPECT_NE(lines[3].find("*C =  1.000000e+00"), std::string::npos);
}
