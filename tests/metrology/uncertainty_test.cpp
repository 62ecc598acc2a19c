// The GUM's arithmetic against worked examples done by hand and against closed forms: the
// distributions, the combination, Welch–Satterthwaite, Student's t, and a fitted curve's
// uncertainty.
#include "metrology/uncertainty.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace velmora::metrology;

TEST(Uncertainty, ABudgetCombinesAsWorkedOutByHand) {
  // By hand:  Type A: s = 0.012 °C from 9 readings  → u = 0.012/3 = 0.004, ν = 8
  //           a certificate: U = 0.010 °C, k = 2    → u = 0.005, ν = ∞
  //           rectangular, a = 0.002·√3            → u = 0.002
  //           triangular,  a = 0.001·√6            → u = 0.001
  //           U-shaped,    a = 0.002·√2, c = 0.5    → u = 0.002, contribution 0.001
  //   u_c² = 16 + 25 + 4 + 1 + 1 = 47 (×10⁻⁶)  → u_c = 6.8557 mK
  //   ν_eff = (47e-6)² / (0.004⁴ / 8) = 2.209e-9 / 3.2e-11 = 69.03 → 69
  const std::vector<UncertaintyComponent> budget{
      typeA("repeatability", 0.012, 9),
      typeB("reference", 0.010, Distribution::Normal, 2),
      typeB("resolution", 0.002 * std::sqrt(3.0), Distribution::Rectangular),
      typeB("bath gradient", 0.001 * std::sqrt(6.0), Distribution::Triangular),
      typeB("self-heating", 0.002 * std::sqrt(2.0), Distribution::UShaped, 2, 0.5),
  };
  EXPECT_NEAR(budget[0].standardUncertainty, 0.004, 1e-15);
  EXPECT_EQ(budget[0].degreesOfFreedom, 8);
  EXPECT_NEAR(budget[2].standardUncertainty, 0.002, 1e-15);
  EXPECT_NEAR(budget[3].standardUncertainty, 0.001, 1e-15);
  EXPECT_NEAR(budget[4].contribution(), 0.001, 1e-15);
  const UncertaintyResult r = combine(budget);
  EXPECT_NEAR(r.combined, std::sqrt(47e-6), 1e-15);
  EXPECT_NEAR(r.effectiveDof, 47e-6 * 47e-6 / (std::pow(0.004, 4) / 8), 1e-9);
  EXPECT_NEAR(r.coverageFactor, studentT(kCoverage95, 69), 1e-12);
  EXPECT_NEAR(r.coverageFactor, 2.04, 0.01);
  EXPECT_NEAR(r.expanded, r.coverageFactor * r.combined, 1e-15);
  // Without a Type A component: infinite degrees, k = 2.00.
  const UncertaintyResult b = combine({budget[1], budget[2]});
  EXPECT_TRUE(std::isinf(b.effectiveDof));
  EXPECT_NEAR(b.coverageFactor, 2.00, 0.005);
}

TEST(Uncertainty, StudentsTAgainstClosedFormsAndTheGumsTable) {
  for (double p : {0.5, 0.9, 0.95, 0.9545, 0.99}) {
    EXPECT_NEAR(studentT(p, 1), std::tan(p * std::numbers::pi / 2), 1e-9 * std::tan(p * std::numbers::pi / 2)) << p;  // Cauchy
    EXPECT_NEAR(studentT(p, 2), p * std::sqrt(2 / (1 - p * p)), 1e-9) << p;
  }
  // GUM Table G.2 (p = 95.45 %) and the familiar 95 % values.
  const double table[][3] = {{1, 0.9545, 13.97}, {2, 0.9545, 4.53}, {3, 0.9545, 3.31}, {10, 0.9545, 2.28},
                             {20, 0.9545, 2.13}, {50, 0.9545, 2.05}, {10, 0.95, 2.228}, {30, 0.95, 2.042}};
  for (const auto& row : table) EXPECT_NEAR(studentT(row[1], row[0]), row[2], 0.006) << row[0] << " " << row[1];
  EXPECT_NEAR(studentT(0.95, kInfiniteDof), 1.959964, 1e-6);
}

TEST(Uncertainty, AFittedCurvesUncertaintyAgreesWithTheStraightLineFormula) {
  // y = a + b x through 10 points of u = 0.1: u²(ŷ(x0)) = u² (1/n + (x0 − x̄)² / Sxx).
  std::vector<std::vector<double>> rows;
  std::vector<double> y, u;
  for (int i = 0; i < 10; ++i) {
    rows.push_back({1.0, double(i)});
    y.push_back(2 + 0.5 * i + (i % 2 ? 0.05 : -0.05));
    u.push_back(0.1);
  }
  const auto fit = linearFit(rows, y, u);
  ASSERT_TRUE(fit);
  // By hand: Sxy of the ±0.05 wiggle is 0.25, so b = 0.5 + 0.25/82.5 and a = ȳ − b x̄.
  EXPECT_NEAR(fit->coefficients[1], 0.5 + 0.25 / 82.5, 1e-14);
  EXPECT_NEAR(fit->coefficients[0], 4.25 - (0.5 + 0.25 / 82.5) * 4.5, 1e-14);
  const double mean = 4.5, sxx = 82.5;
  for (double x0 : {-3.0, 0.0, 4.5, 9.0, 15.0})
    EXPECT_NEAR(fittedValueUncertainty(*fit, {1.0, x0}), 0.1 * std::sqrt(0.1 + (x0 - mean) * (x0 - mean) / sxx), 1e-12)
        << x0;
  EXPECT_EQ(fit->degreesOfFreedom, 8u);
  // The points cannot determine a model with a dependent basis, nor one with more coefficients.
  EXPECT_FALSE(linearFit({{1, 2}, {2, 4}, {3, 6}}, {1, 2, 3}));
  EXPECT_FALSE(linearFit({{1, 2, 3}, {1, 4, 5}}, {1, 2}));
}

#include "metrology/curve_fit.h"
#include "metrology/probe.h"

TEST(Uncertainty, ACvdCurvesUncertaintyMatchesItsPropagationPointByPoint) {
  // Points of a Pt100 from −80 °C to 420 °C, each with 5 mΩ and 2 mK.
  const velmora::math::TCofSet iec{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};
  std::vector<CurvePoint> points;
  for (double t : {-80.0, -40.0, 0.01, 29.7646, 156.5985, 231.928, 419.527})
    points.push_back({t, cvdResistance(iec, t), 0.002, 0.005});
  const auto curve = fitCvdCurve(points, true);
  ASSERT_TRUE(curve);
  EXPECT_NEAR(curve->factors.R0, iec.R0, 1e-9);
  EXPECT_NEAR(curve->factors.C, iec.C, 1e-17);
  // The second method: the fitted temperature is linear in the measured resistances, so its
  // variance is Σ (∂t/∂R_i · u_i)², each derivative from refitting with one point moved.
  for (double t : {-60.0, 0.0, 100.0, 300.0, 419.527}) {
    double variance = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
      const double ui = std::hypot(points[i].uR, cvdResistancePerDegree(curve->factors, points[i].t) * points[i].uT);
      auto moved = points;
      moved[i].r += 1e-4;
      const auto other = fitCvdCurve(moved, true);
      const double dR = (cvdResistance(other->factors, t) - cvdResistance(curve->factors, t)) / 1e-4;
      variance += dR * ui * dR * ui;
    }
    const double expected = std::sqrt(variance) / cvdResistancePerDegree(curve->factors, t);
    EXPECT_NEAR(curve->temperatureUncertainty(t), expected, 0.02 * expected) << t;
  }
  EXPECT_GE(curve->largestTemperatureUncertainty(), curve->temperatureUncertainty(100.0));
  EXPECT_EQ(curve->lowest, -80.0);
  EXPECT_EQ(curve->highest, 419.527);
}
