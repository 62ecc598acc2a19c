#include "metrology/curve_fit.h"

#include <algorithm>
#include <cmath>

#include "metrology/probe.h"

namespace velmora::metrology {

namespace {
std::vector<double> basis(double t, bool withC) {
  std::vector<double> f{1.0, t, t * t};
  if (withC) f.push_back(t < 0 ? (t - 100) * t * t * t : 0.0);
  return f;
}
}  // namespace

double CvdCurve::temperatureUncertainty(double t) const {
  return fit.uncertainty(basis(t, withC)) / std::fabs(cvdResistancePerDegree(factors, t));
}

double CvdCurve::largestTemperatureUncertainty() const {
  double largest = 0;
  const int steps = 400;
  for (int i = 0; i <= steps; ++i)
    largest = std::max(largest, temperatureUncertainty(lowest + (highest - lowest) * i / steps));
  return largest;
}

std::optional<CvdCurve> fitCvdCurve(const std::vector<CurvePoint>& points, bool withC) {
  if (points.empty()) return std::nullopt;
  const bool negative = std::any_of(points.begin(), points.end(), [](const CurvePoint& p) { return p.t < 0; });
  withC = withC && negative;
  // A first pass without the points' temperature uncertainty gives the slope that turns it
  // into resistance; the second pass weights by both.
  CvdCurve curve;
  curve.withC = withC;
  std::vector<std::vector<double>> rows;
  std::vector<double> y, u;
  const auto solve = [&](bool weighted) -> bool {
    rows.clear();
    y.clear();
    u.clear();
    for (const auto& p : points) {
      rows.push_back(basis(p.t, withC));
      y.push_back(p.r);
      double slope = weighted ? cvdResistancePerDegree(curve.factors, p.t) : 0.0;
      double w = std::hypot(p.uR, slope * p.uT);
      u.push_back(w > 0 ? w : 1.0);
    }
    auto fit = linearFit(rows, y, u);
    if (!fit) return false;
    curve.fit = std::move(*fit);
    const auto& b = curve.fit.coefficients;
    if (b[0] == 0) return false;
    curve.factors = {b[0], b[1] / b[0], b[2] / b[0], withC ? b[3] / b[0] : 0.0};
    return true;
  };
  if (!solve(false) || !solve(true)) return std::nullopt;
  const auto [lo, hi] = std::minmax_element(points.begin(), points.end(),
                                            [](const CurvePoint& a, const CurvePoint& b) { return a.t < b.t; });
  curve.lowest = lo->t;
  curve.highest = hi->t;
  return curve;
}

}  // namespace velmora::metrology
