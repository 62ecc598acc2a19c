#include "math/platinum.h"

#include <cmath>

namespace velmora::math {

double RofT(const TCofSet& cof, double t, bool withC) {
  double w = cof.A * t + 1 + cof.B * t * t;
  double r = w * cof.R0;
  if (withC) r = r + cof.R0 * cof.C * (t - 100) * t * t * t;
  return r;
}

double TofR(const TCofSet& cof, double R) {
  const double w = checkedDivide(R, cof.R0);
  const double disc = cof.A * cof.A - 4 * cof.B * (1 - w);
  if (!(disc >= 0)) throw FloatError(kInvalidOperationText);  // negative or NaN under the root
  const double t0 = checkedDivide(std::sqrt(disc) - cof.A, 2 * cof.B);
  if (w >= 1) return t0;
  auto f = [&](double m) { return 1 - w + m * (cof.A + m * (cof.B + cof.C * m * (m - 100))); };
  double lo = t0 - 5;
  double hi = t0 + 5;
  double m = t0;
  while (std::fabs(hi - lo) >= 0.0005) {
    m = lo + (hi - lo) / 2;
    if (f(m) > 0)
      hi = m;
    else
      lo = m;
  }
  return m;
}

namespace {
// Integer power by squaring, x^0 = 1 for every x.
double intPower(double x, int k) {
  double result = 1;
  while (k > 0) {
    if (k & 1) result *= x;
    x *= x;
    k >>= 1;
  }
  return result;
}
}  // namespace

void BuildQuadNormalEq(QuadWorkspace& ws, std::span<const double> y, std::span<const double> x) {
  const size_t n = y.size() < x.size() ? y.size() : x.size();
  double s[5] = {0, 0, 0, 0, 0};
  double v[3] = {0, 0, 0};
  for (size_t j = 0; j < n; ++j) {
    for (int k = 1; k <= 4; ++k) s[k] += intPower(x[j], k);
    for (int k = 0; k <= 2; ++k) v[k] += intPower(x[j], k) * y[j];
  }
  const double count = static_cast<double>(y.size());
  ws.QuadMatrix = {{{s[4], s[3], s[2]}, {s[3], s[2], s[1]}, {s[2], s[1], count}}};
  ws.QuadRhs = {v[2], v[1], v[0]};
}

int InvertMatrix3(Matrix3 a, int n, Matrix3& out) {
  if (n < 1) n = 1;
  if (n > 3) n = 3;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) out[i][j] = i == j ? 1.0 : 0.0;
  for (int k = 0; k < n; ++k) {
    int pivot = k;
    double largest = 0;
    for (int i = k; i < n; ++i) {
      const double candidate = std::fabs(a[i][k]);
      if (largest <= candidate) {
        largest = candidate;
        pivot = i;
      }
    }
    if (largest <= 1e-18) return 1;
    const double p = a[pivot][k];
    for (int j = 0; j < n; ++j) {
      const double ak = a[k][j];
      const double ok = out[k][j];
      a[k][j] = a[pivot][j] / p;
      out[k][j] = out[pivot][j] / p;
      if (pivot != k) {
        a[pivot][j] = ak;
        out[pivot][j] = ok;
      }
    }
    for (int i = 0; i < n; ++i) {
      if (i == k) continue;
      const double f = a[i][k];
      for (int j = 0; j < n; ++j) {
        a[i][j] = a[i][j] - f * a[k][j];
        out[i][j] = out[i][j] - f * out[k][j];
      }
    }
  }
  return 0;
}

Vector3 MulMatrixVector3(const Matrix3& matrix, const Vector3& vector) {
  Vector3 result{};
  for (int i = 0; i < 3; ++i) {
    double sum = 0;
    for (int j = 0; j < 3; ++j) sum += matrix[i][j] * vector[j];
    result[i] = sum;
  }
  return result;
}

double SumSqTempError(TCofSet& newCof, std::span<const double> negT, std::span<const double> negR, double c) {
  if (negT.empty()) return 0;
  struct Restore {
    TCofSet& cof;
    double saved;
    ~Restore() { cof.C = saved; }
  } restore{newCof, newCof.C};
  newCof.C = c;
  double s = 0;
  const size_t n = negT.size() < negR.size() ? negT.size() : negR.size();
  for (size_t i = 0; i < n; ++i) {
    const double d = negT[i] - TofR(newCof, negR[i]);
    s += d * d;
  }
  return s;
}

double GoldenSectionMin(const std::function<double(double)>& f, double a, double b, double tol) {
  const double r = (std::sqrt(5.0) - 1) / 2;
  const double r2 = r * r;
  double h = b - a;
  double fa = f(a);
  double fb = f(b);
  double c = a + r2 * h;
  double d = a + r * h;
  double fc = f(c);
  double fd = f(d);
  while (h > tol) {
    if (fd > fc) {
      b = d;
      fb = fd;
      d = c;
      fd = fc;
      h = b - a;
      c = a + r2 * h;
      fc = f(c);
    } else {
      a = c;
      fa = fc;
      c = d;
      fc = fd;
      h = b - a;
      d = a + r * h;
      fd = f(d);
    }
  }
  return fa <= fb ? a : b;
}

double FindC(TCofSet& newCof, std::span<const double> negT, std::span<const double> negR) {
  return GoldenSectionMin([&](double c) { return SumSqTempError(newCof, negT, negR, c); }, -1e-10, 1e-10, 1e-15);
}

}  // namespace velmora::math
