// ITS-90 for SPRTs against the values published with the scale, and the sub-ranges' deviation
// functions: conversions both ways, the fits of their coefficients, and their limits.
#include "metrology/its90.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace velmora::metrology;

TEST(Its90, ReferenceFunctionGivesThePublishedValuesAtTheFixedPoints) {
  // W_r(T90) at the defining fixed points, as published with the scale (8 decimals).
  struct Point {
    const char* name;
    double kelvin, wr;
  } published[] = {
      {"e-H2", 13.8033, 0.00119007}, {"Ne", 24.5561, 0.00844974}, {"O2", 54.3584, 0.09171804},
      {"Ar", 83.8058, 0.21585975},   {"Hg", 234.3156, 0.84414211}, {"TPW", 273.16, 1.00000000},
      {"Ga", 302.9146, 1.11813889},  {"In", 429.7485, 1.60980185}, {"Sn", 505.078, 1.89279768},
      {"Zn", 692.677, 2.56891730},   {"Al", 933.473, 3.37600860},  {"Ag", 1234.93, 4.28642053},
  };
  for (const auto& p : published) {
    EXPECT_NEAR(referenceWr(p.kelvin), p.wr, 1e-8) << p.name;
    EXPECT_EQ(fixedPoint(p.name).kelvin, p.kelvin) << p.name;
  }
}

TEST(Its90, InverseAndForwardAgreeOverBothRanges) {
  double published = 0, refined = 0;
  for (double t = 13.8033; t <= 1234.93; t += 0.0137) {
    const double wr = referenceWr(t);
    published = std::max(published, std::fabs(publishedInverse(wr) - t));
    refined = std::max(refined, std::fabs(temperatureFromWr(wr) - t));
    // The derivative used by the refinement is the reference function's own.
    const double h = 1e-4;
    ASSERT_NEAR(referenceWrDerivative(t), (referenceWr(t + h) - referenceWr(t - h)) / (2 * h), 1e-9) << t;
  }
  EXPECT_LT(published, 0.14e-3);  // the published inverses: within 0.13 mK as the scale states
  EXPECT_LT(refined, 1e-9);       // refined: the double's precision (about 2e-13 K is reached)
}

namespace {
// A typical SPRT: 25.5 Ω, characterised from the Ar point to the Zn point.
SprtCharacterisation typicalSprt() {
  SprtCharacterisation c;
  c.rTpw = 25.54321;
  SubRange low;
  low.number = 4;
  low.coefficients = {-1.7e-4, -3.2e-5};
  SubRange high;
  high.number = 8;
  high.coefficients = {-1.6e-4, 2.1e-5};
  c.subRanges = {low, high};
  return c;
}
}  // namespace

TEST(Its90, ACharacterisedSprtConvertsBothWaysWithinAHundredthOfAMillikelvin) {
  const SprtCharacterisation c = typicalSprt();
  double worst = 0;
  for (double t = 83.8058; t <= 692.677; t += 0.731) {
    const double r = c.resistance(t);
    worst = std::max(worst, std::fabs(c.temperature(r) - t));
  }
  EXPECT_LT(worst, 1e-5);
  // Below 0.01 °C sub-range 4 applies, above it sub-range 8.
  EXPECT_EQ(c.subRangeAt(200)->number, 4);
  EXPECT_EQ(c.subRangeAt(400)->number, 8);
  // W = 1 at the TPW in every sub-range (the published constants give W_r(TPW) = 1 within 5e-9).
  EXPECT_NEAR(c.resistance(kTpwKelvin), c.rTpw, 5e-9 * c.rTpw);
  // dT/dR against a difference quotient.
  const double r = c.resistance(500);
  EXPECT_NEAR(c.temperaturePerOhm(r), 2e-6 / (c.resistance(500 + 1e-6) - c.resistance(500 - 1e-6)), 1e-6);
  // Outside every sub-range given: a clear error, no extrapolated number.
  EXPECT_THROW(c.resistance(700), RangeError);
  EXPECT_THROW(c.resistance(50), RangeError);
  EXPECT_THROW(c.temperature(c.rTpw * 3.0), RangeError);
  try {
    c.temperature(c.rTpw * 3.0);
  } catch (const RangeError& e) {
    EXPECT_NE(std::string(e.what()).find("(4, 8)"), std::string::npos) << e.what();
  }
}

TEST(Its90, DeviationFitsReproduceTheirCoefficientsFromExactPoints) {
  struct Case {
    int number;
    std::vector<double> coefficients;
  } cases[] = {
      {4, {-1.7e-4, -3.2e-5}}, {5, {-1.2e-4, 3.0e-6}},           {6, {-1.5e-4, 1.8e-5, -2.0e-6, 4.0e-6}},
      {7, {-1.5e-4, 1.8e-5, -2.0e-6}}, {8, {-1.6e-4, 2.1e-5}}, {9, {-1.4e-4, 1.1e-5}},
      {10, {-1.3e-4}},          {11, {-1.25e-4}},
  };
  for (const auto& c : cases) {
    SubRange truth;
    truth.number = c.number;
    truth.coefficients = c.coefficients;
    truth.prepare();
    SprtCharacterisation sprt{25.5, {truth}};
    // The thermometer's W at the sub-range's fixed points (and the TPW, where ΔW = 0).
    std::vector<CalibrationDatum> data;
    for (const auto& name : SubRange::fixedPointNames(c.number)) {
      const double t = fixedPoint(name).kelvin;
      data.push_back({t, sprt.resistance(t) / sprt.rTpw});
    }
    const SubRange fitted = fitSubRange(c.number, data);
    ASSERT_EQ(fitted.coefficients.size(), c.coefficients.size()) << c.number;
    for (std::size_t k = 0; k < c.coefficients.size(); ++k)
      EXPECT_NEAR(fitted.coefficients[k], c.coefficients[k], 1e-12) << c.number << " " << k;
    // More points than coefficients (comparison data across the range): least squares, still exact.
    for (double t = SubRange::lowerKelvin(c.number) + 5; t < SubRange::upperKelvin(c.number) - 5; t += 37)
      data.push_back({t, sprt.resistance(t) / sprt.rTpw});
    const SubRange overdetermined = fitSubRange(c.number, data);
    for (std::size_t k = 0; k < c.coefficients.size(); ++k)
      EXPECT_NEAR(overdetermined.coefficients[k], c.coefficients[k], 1e-11) << c.number << " " << k;
  }
  // Too few points for the coefficients: refused.
  EXPECT_THROW(fitSubRange(8, {{fixedPoint("Zn").kelvin, 2.56}}), RangeError);
}
