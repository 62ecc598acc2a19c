#include "metrology/linear_fit.h"

#include <cmath>

namespace velmora::metrology {

double LinearFitResult::value(const std::vector<double>& f) const {
  double v = 0;
  for (std::size_t k = 0; k < size(); ++k) v += coefficients[k] * f[k];
  return v;
}

double LinearFitResult::uncertainty(const std::vector<double>& f) const {
  double v = 0;
  for (std::size_t i = 0; i < size(); ++i)
    for (std::size_t j = 0; j < size(); ++j) v += f[i] * cov(i, j) * f[j];
  return std::sqrt(std::max(v, 0.0));
}

std::optional<LinearFitResult> linearFit(const std::vector<std::vector<double>>& rows, const std::vector<double>& y,
                                         const std::vector<double>& u) {
  const std::size_t m = rows.size();
  if (m == 0 || y.size() != m || (!u.empty() && u.size() != m)) return std::nullopt;
  const std::size_t n = rows[0].size();
  if (n == 0 || m < n) return std::nullopt;
  // The weighted system A β = b (A = J/u, b = y/u), column-major for the reflections.
  std::vector<double> a(m * n), b(m);
  for (std::size_t i = 0; i < m; ++i) {
    if (rows[i].size() != n) return std::nullopt;
    const double w = u.empty() ? 1.0 : u[i];
    if (!(w > 0) || !std::isfinite(w)) return std::nullopt;
    for (std::size_t k = 0; k < n; ++k) a[k * m + i] = rows[i][k] / w;
    b[i] = y[i] / w;
  }
  // Householder QR: A = Q R, R upper triangular in the top of A.
  std::vector<double> diag(n), original(n);
  for (std::size_t k = 0; k < n; ++k)
    for (std::size_t i = 0; i < m; ++i) original[k] = std::hypot(original[k], a[k * m + i]);
  for (std::size_t k = 0; k < n; ++k) {
    double norm = 0;
    for (std::size_t i = k; i < m; ++i) norm = std::hypot(norm, a[k * m + i]);
    // What is left of a column after the earlier ones were taken out: nothing of its own.
    if (!(norm > 1e-12 * original[k])) return std::nullopt;
    const double alpha = a[k * m + k] > 0 ? -norm : norm;
    // v = x − α e1, stored in place; H = I − 2 v vᵀ / vᵀv.
    a[k * m + k] -= alpha;
    double vv = 0;
    for (std::size_t i = k; i < m; ++i) vv += a[k * m + i] * a[k * m + i];
    for (std::size_t j = k + 1; j < n; ++j) {
      double s = 0;
      for (std::size_t i = k; i < m; ++i) s += a[k * m + i] * a[j * m + i];
      s = 2 * s / vv;
      for (std::size_t i = k; i < m; ++i) a[j * m + i] -= s * a[k * m + i];
    }
    double s = 0;
    for (std::size_t i = k; i < m; ++i) s += a[k * m + i] * b[i];
    s = 2 * s / vv;
    for (std::size_t i = k; i < m; ++i) b[i] -= s * a[k * m + i];
    diag[k] = alpha;
  }
  const auto r = [&](std::size_t i, std::size_t j) { return i == j ? diag[i] : a[j * m + i]; };
  LinearFitResult fit;
  fit.coefficients.assign(n, 0);
  for (std::size_t k = n; k-- > 0;) {
    double s = b[k];
    for (std::size_t j = k + 1; j < n; ++j) s -= r(k, j) * fit.coefficients[j];
    fit.coefficients[k] = s / diag[k];
  }
  for (std::size_t i = n; i < m; ++i) fit.chiSquare += b[i] * b[i];
  fit.degreesOfFreedom = m - n;
  // Cov = (RᵀR)⁻¹ = R⁻¹ R⁻ᵀ.
  std::vector<double> rinv(n * n, 0);
  for (std::size_t j = 0; j < n; ++j) {
    rinv[j * n + j] = 1 / diag[j];
    for (std::size_t i = j; i-- > 0;) {
      double s = 0;
      for (std::size_t k = i + 1; k <= j; ++k) s += r(i, k) * rinv[k * n + j];
      rinv[i * n + j] = -s / diag[i];
    }
  }
  fit.covariance.assign(n * n, 0);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) {
      double s = 0;
      for (std::size_t k = std::max(i, j); k < n; ++k) s += rinv[i * n + k] * rinv[j * n + k];
      fit.covariance[i * n + j] = s;
    }
  return fit;
}

}  // namespace velmora::metrology
