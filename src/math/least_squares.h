#pragma once
// The four-factor least-squares fit R = xR + xA t + xB t² + xC [t<0] t³ (t − 100), the two
// temperature ranges weighted equally: the normal equations are built from range means,
// each divided by its right-hand side and solved by Cramer's rule.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "math/float_error.h"

namespace velmora::math {

struct TCalibrPoint {
  double t = 0;  // reference temperature, °C
  double R = 0;  // resistance, Ω
};

struct TFitResult {
  double R0 = 0;
  double A = 0;
  double B = 0;
  double C = 0;
  double E = 0;
  bool Ok = false;
};

// Receives one line of the diagnostic report.
using LineSink = std::function<void(std::string_view)>;

using Matrix4 = double[4][4];

// The sums of the fit are kept in long double: 80-bit extended precision with GCC and Clang
// on x86 (Linux, mingw-w64), the width the calculation was designed for. MSVC's long double
// is the 64-bit double; a fit built with it differs by about 1e-13 relative, which no table
// or factor shows at its displayed precision.
static_assert(sizeof(long double) >= sizeof(double));

class TLinearLeastSquares {
 public:
  explicit TLinearLeastSquares(std::vector<TCalibrPoint> points);
  virtual ~TLinearLeastSquares() = default;

  void Accumulate();
  std::string SumsText() const;
  std::string EquationsText() const;
  void Solve(const LineSink* log = nullptr);
  std::string DeterminantsText() const;
  bool Finish();
  std::string SolutionText() const;
  double Evaluate(double t) const;
  double FitError() const;

  static double Det4(const Matrix4& m);
  static void LogMatrix(const Matrix4& m, int rows, int cols, const LineSink& log, std::string_view title);

  // Fields in their declaration order; public so that tests and the report can read them.
  std::vector<TCalibrPoint> points;
  int FN = 0;
  int FP = 0;
  long double FT1N = 0, FT2N = 0, FT3N = 0, FT4N = 0;
  long double FT3T1N = 0, FT4T1N = 0, FT5T1N = 0;
  long double FT6T2N = 0;
  long double FT1P = 0, FT2P = 0, FT3P = 0, FT4P = 0;
  long double FR1N = 0, FR1T1N = 0, FR1T2N = 0;
  long double FR1T3T1N = 0;
  long double FR1P = 0, FR1T1P = 0, FR1T2P = 0;
  // The normal system: row i holds FRi, FAi, FBi, FCi and the right-hand side FFi.
  long double FR1 = 0, FA1 = 0, FB1 = 0, FC1 = 0, FF1 = 0;
  long double FR2 = 0, FA2 = 0, FB2 = 0, FC2 = 0, FF2 = 0;
  long double FR3 = 0, FA3 = 0, FB3 = 0, FC3 = 0, FF3 = 0;
  long double FR4 = 0, FA4 = 0, FB4 = 0, FC4 = 0, FF4 = 0;
  long double RD = 0, AD = 0, BD = 0, CD = 0, FD = 0;
  long double RS = 0, AS = 0, BS = 0, CS = 0, ES = 0;

 private:
  void sumPoints();
  void averageSums();
  void buildSystem();
};

// Runs the fit; fills the result when it succeeds. Floating-point faults (a zero right-hand
// side, a zero determinant, a zero R0) raise FloatError and leave the result untouched.
void FitCalibration(const std::vector<TCalibrPoint>& points, const LineSink* log, TFitResult& result);

}  // namespace velmora::math
