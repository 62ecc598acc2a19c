#pragma once
// Weighted linear least squares for small models (a few coefficients, tens of points):
// y ≈ Σ β_k f_k(x), each point with its standard uncertainty. Solved by Householder QR on the
// weighted design matrix (no normal equations, so ill-conditioned bases lose no more than
// they must); the coefficients' covariance is (JᵀWJ)⁻¹.

#include <cstddef>
#include <optional>
#include <vector>

namespace velmora::metrology {

struct LinearFitResult {
  std::vector<double> coefficients;
  // Covariance of the coefficients (row-major, n × n), from the points' uncertainties.
  std::vector<double> covariance;
  double chiSquare = 0;         // Σ ((y − ŷ)/u)²
  std::size_t degreesOfFreedom = 0;  // points − coefficients

  std::size_t size() const { return coefficients.size(); }
  double cov(std::size_t i, std::size_t j) const { return covariance[i * size() + j]; }
  // The model's value and its standard uncertainty at a point whose basis values are f.
  double value(const std::vector<double>& f) const;
  double uncertainty(const std::vector<double>& f) const;
};

// rows[i] holds the basis values f_k(x_i); y the observations; u their standard
// uncertainties (empty: all 1). Nothing when the points do not determine the coefficients
// (fewer points than coefficients, or a basis that is linearly dependent on them).
std::optional<LinearFitResult> linearFit(const std::vector<std::vector<double>>& rows, const std::vector<double>& y,
                                         const std::vector<double>& u = {});

}  // namespace velmora::metrology
