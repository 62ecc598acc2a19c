#pragma once
// A Callendar–Van Dusen curve fitted to calibration points by weighted least squares, with
// the standard uncertainty of the temperature it gives anywhere in its range: from the
// fit's covariance, which carries the points' uncertainties (so a certificate can state an
// uncertainty for the curve, not only for its points).
//
// R(t) = β0 + β1 t + β2 t² + β3 (t − 100) t³ [t < 0]: linear in β = R0 (1, A, B, C).

#include <optional>
#include <vector>

#include "math/platinum.h"
#include "metrology/linear_fit.h"

namespace velmora::metrology {

struct CurvePoint {
  double t;      // reference temperature, °C
  double r;      // resistance measured there, Ω
  double uT = 0;  // standard uncertainty of t (°C)
  double uR = 0;  // standard uncertainty of r (Ω)
};

struct CvdCurve {
  math::TCofSet factors;
  bool withC = false;
  LinearFitResult fit;
  double lowest = 0, highest = 0;  // the fitted range, °C

  // The standard uncertainty of the curve's temperature at t (°C).
  double temperatureUncertainty(double t) const;
  // Its largest value over the fitted range.
  double largestTemperatureUncertainty() const;
};

// Fits R0, A, B (and C when `withC` and points below 0 °C exist). A point's uncertainty in
// resistance combines uR with uT through the curve's slope. Nothing when the points do not
// determine the factors.
std::optional<CvdCurve> fitCvdCurve(const std::vector<CurvePoint>& points, bool withC);

}  // namespace velmora::metrology
