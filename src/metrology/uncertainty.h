#pragma once
// Measurement uncertainty after the GUM (JCGM 100): a budget of components, each a standard
// uncertainty with its sensitivity coefficient and degrees of freedom; the combined standard
// uncertainty, the effective degrees of freedom (Welch–Satterthwaite), the coverage factor
// from Student's t distribution and the expanded uncertainty.

#include <limits>
#include <string>
#include <vector>

#include "metrology/linear_fit.h"

namespace velmora::metrology {

inline constexpr double kInfiniteDof = std::numeric_limits<double>::infinity();

enum class Distribution { Normal, Rectangular, Triangular, UShaped };

struct UncertaintyComponent {
  std::string name;
  double standardUncertainty = 0;  // in the unit of its quantity
  double sensitivity = 1;          // ∂(result)/∂(quantity)
  double degreesOfFreedom = kInfiniteDof;

  double contribution() const { return standardUncertainty * sensitivity; }  // in the result's unit
};

// Type A: the standard deviation of the mean of n readings (n − 1 degrees of freedom).
UncertaintyComponent typeA(std::string name, double standardDeviation, std::size_t n, double sensitivity = 1);
// Type B from a stated value: a normal one with its coverage factor k (u = U/k), or the half
// width a of a rectangular (a/√3), triangular (a/√6) or U-shaped (a/√2) distribution.
// Degrees of freedom: infinite unless given (e.g. from a certificate's ν).
UncertaintyComponent typeB(std::string name, double value, Distribution distribution, double k = 2,
                           double sensitivity = 1, double degreesOfFreedom = kInfiniteDof);

struct UncertaintyResult {
  double combined = 0;                // u_c
  double effectiveDof = kInfiniteDof;  // ν_eff
  double coverageFactor = 0;           // k
  double expanded = 0;                 // U = k u_c
  double coverageProbability = 0;
};

// The GUM's coverage probability for "about 95 %": 95.45 %, which gives k = 2.00 for infinite
// degrees of freedom (Table G.2).
inline constexpr double kCoverage95 = 0.9545;

// Combines a budget. ν_eff is truncated to the next lower whole number before k is taken
// (G.4.1); k is Student's t for the two-sided coverage probability p.
UncertaintyResult combine(const std::vector<UncertaintyComponent>& budget, double p = kCoverage95);

// Student's t: the value t with P(|T| ≤ t) = p for ν degrees of freedom (ν may be infinite).
double studentT(double p, double degreesOfFreedom);

// The standard uncertainty of a fitted curve's value at a point, from the fit's covariance
// (the basis values f at that point): √(fᵀ Cov f), in the unit of the fitted quantity.
inline double fittedValueUncertainty(const LinearFitResult& fit, const std::vector<double>& f) {
  return fit.uncertainty(f);
}

}  // namespace velmora::metrology
