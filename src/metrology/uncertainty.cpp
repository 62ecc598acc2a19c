#include "metrology/uncertainty.h"

#include <cmath>

namespace velmora::metrology {

UncertaintyComponent typeA(std::string name, double sd, std::size_t n, double sensitivity) {
  UncertaintyComponent c;
  c.name = std::move(name);
  c.standardUncertainty = n > 0 ? sd / std::sqrt(static_cast<double>(n)) : NAN;
  c.sensitivity = sensitivity;
  c.degreesOfFreedom = n > 1 ? static_cast<double>(n - 1) : NAN;
  return c;
}

UncertaintyComponent typeB(std::string name, double value, Distribution d, double k, double sensitivity,
                           double degreesOfFreedom) {
  UncertaintyComponent c;
  c.name = std::move(name);
  switch (d) {
    case Distribution::Normal: c.standardUncertainty = value / k; break;
    case Distribution::Rectangular: c.standardUncertainty = value / std::sqrt(3.0); break;
    case Distribution::Triangular: c.standardUncertainty = value / std::sqrt(6.0); break;
    case Distribution::UShaped: c.standardUncertainty = value / std::sqrt(2.0); break;
  }
  c.sensitivity = sensitivity;
  c.degreesOfFreedom = degreesOfFreedom;
  return c;
}

namespace {
// The regularised incomplete beta function I_x(a, b), by its continued fraction (Lentz).
double betaContinuedFraction(double a, double b, double x) {
  const double tiny = 1e-300;
  double c = 1, d = 1 - (a + b) * x / (a + 1);
  if (std::fabs(d) < tiny) d = tiny;
  d = 1 / d;
  double h = d;
  for (int m = 1; m <= 300; ++m) {
    const double m2 = 2.0 * m;
    double aa = m * (b - m) * x / ((a - 1 + m2) * (a + m2));
    d = 1 + aa * d;
    if (std::fabs(d) < tiny) d = tiny;
    c = 1 + aa / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1 / d;
    h *= d * c;
    aa = -(a + m) * (a + b + m) * x / ((a + m2) * (a + 1 + m2));
    d = 1 + aa * d;
    if (std::fabs(d) < tiny) d = tiny;
    c = 1 + aa / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1 / d;
    const double step = d * c;
    h *= step;
    if (std::fabs(step - 1) < 1e-15) break;
  }
  return h;
}

double incompleteBeta(double a, double b, double x) {
  if (x <= 0) return 0;
  if (x >= 1) return 1;
  const double front = std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) +
                                b * std::log1p(-x));
  if (x < (a + 1) / (a + b + 2)) return front * betaContinuedFraction(a, b, x) / a;
  return 1 - front * betaContinuedFraction(b, a, 1 - x) / b;
}

// P(|T| ≤ t) for ν degrees of freedom.
double twoSided(double t, double nu) {
  return 1 - incompleteBeta(nu / 2, 0.5, nu / (nu + t * t));
}

// The normal distribution's two-sided quantile: P(|Z| ≤ z) = p, by bisection on erf.
double normalQuantile(double p) {
  double lo = 0, hi = 40;
  for (int i = 0; i < 200; ++i) {
    const double mid = (lo + hi) / 2;
    (std::erf(mid / std::sqrt(2.0)) < p ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}
}  // namespace

double studentT(double p, double nu) {
  if (!(p > 0 && p < 1) || !(nu > 0)) return NAN;
  if (std::isinf(nu) || nu > 1e7) return normalQuantile(p);
  // Bisection on the distribution function (monotonic in t), bracketed generously.
  double lo = 0, hi = 1;
  while (twoSided(hi, nu) < p) hi *= 2;
  for (int i = 0; i < 200; ++i) {
    const double mid = (lo + hi) / 2;
    (twoSided(mid, nu) < p ? lo : hi) = mid;
    if (hi - lo < 1e-13 * hi) break;
  }
  return (lo + hi) / 2;
}

UncertaintyResult combine(const std::vector<UncertaintyComponent>& budget, double p) {
  UncertaintyResult r;
  r.coverageProbability = p;
  double sumSquares = 0, sumFourth = 0;
  for (const auto& c : budget) {
    const double u = c.contribution();
    sumSquares += u * u;
    if (std::isfinite(c.degreesOfFreedom) && c.degreesOfFreedom > 0) sumFourth += u * u * u * u / c.degreesOfFreedom;
  }
  r.combined = std::sqrt(sumSquares);
  r.effectiveDof = sumFourth > 0 ? sumSquares * sumSquares / sumFourth : kInfiniteDof;
  const double nu = std::isinf(r.effectiveDof) ? r.effectiveDof : std::max(1.0, std::floor(r.effectiveDof));
  r.coverageFactor = studentT(p, nu);
  r.expanded = r.coverageFactor * r.combined;
  return r;
}

}  // namespace velmora::metrology
