#pragma once
// The platinum sensor's resistance–temperature relation (Callendar–Van Dusen form) and the
// small tools of the quadratic fit and the search for C.
//   R(t) = R0 (1 + A t + B t²)                    at and above 0 °C
//   R(t) = R0 (1 + A t + B t² + C (t − 100) t³)   below 0 °C

#include <array>
#include <functional>
#include <span>

#include "math/float_error.h"

namespace velmora::math {

struct TCofSet {
  double R0 = 0;
  double A = 0;
  double B = 0;
  double C = 0;
};

using Matrix3 = std::array<std::array<double, 3>, 3>;
using Vector3 = std::array<double, 3>;

// Resistance at t with the given factors; the C term only when withC (the sign of t is not
// looked at).
double RofT(const TCofSet& cof, double t, bool withC);

// Temperature at R: the closed form of the quadratic part, and below R0 a bisection of
// ±5 °C around it that stops once the bracket is narrower than 0.0005 °C and returns the
// last midpoint. Raises FloatError where the division or the root fails (R0 = 0, B = 0,
// a negative value under the root).
double TofR(const TCofSet& cof, double R);

// The quadratic least-squares fit y ≈ a x² + b x + c.
struct QuadWorkspace {
  Matrix3 QuadMatrix{};
  Vector3 QuadRhs{};
  Matrix3 QuadInverse{};
  Vector3 QuadSolution{};
};

void BuildQuadNormalEq(QuadWorkspace& ws, std::span<const double> y, std::span<const double> x);

// Gauss–Jordan with partial pivoting (among equal magnitudes the last row wins). Returns 0
// when inverted, 1 when the largest pivot is at most 1e-18; `out` then keeps its partial
// contents.
int InvertMatrix3(Matrix3 matrix, int n, Matrix3& out);

Vector3 MulMatrixVector3(const Matrix3& matrix, const Vector3& vector);

// Sum of squared differences between the reference temperatures and TofR of the
// resistances below 0 °C, with C of `newCof` set to c for the evaluation only.
double SumSqTempError(TCofSet& newCof, std::span<const double> negT, std::span<const double> negR, double c);

// Golden-section search for the minimum of f on [a, b]; returns the end of the final
// bracket with the smaller value (a on a tie).
double GoldenSectionMin(const std::function<double(double)>& f, double a, double b, double tol);

// C within ±1e-10 that minimises SumSqTempError, R0, A and B of `newCof` fixed.
double FindC(TCofSet& newCof, std::span<const double> negT, std::span<const double> negR);

}  // namespace velmora::math
