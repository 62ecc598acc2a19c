#include "math/least_squares.h"

#include <cmath>
#include <cstdio>

namespace velmora::math {
namespace {

template <typename... Args>
void appendf(std::string& out, const char* format, Args... args) {
  char buf[256];
  int n = std::snprintf(buf, sizeof buf, format, args...);
  if (n > 0) out.append(buf, static_cast<size_t>(n < static_cast<int>(sizeof buf) ? n : sizeof buf - 1));
}

}  // namespace

TLinearLeastSquares::TLinearLeastSquares(std::vector<TCalibrPoint> pts) : points(std::move(pts)) {}

void TLinearLeastSquares::Accumulate() {
  sumPoints();
  averageSums();
  buildSystem();
}

// Sums over the points, separately below 0 °C (where the C term applies) and above.
void TLinearLeastSquares::sumPoints() {
  FN = FP = 0;
  FT1N = FT2N = FT3N = FT4N = FT3T1N = FT4T1N = FT5T1N = FT6T2N = 0;
  FT1P = FT2P = FT3P = FT4P = 0;
  FR1N = FR1T1N = FR1T2N = FR1T3T1N = 0;
  FR1P = FR1T1P = FR1T2P = 0;
  for (const auto& p : points) {
    const double t = p.t;
    const double R = p.R;
    const double t2 = t * t;
    const double t3 = t2 * t;
    const double t4 = t2 * t2;
    const double u = t - 100;
    if (t >= 0) {
      FP += 1;
      FT1P += t;
      FT2P += t2;
      FT3P += t3;
      FT4P += t4;
      FR1P += R;
      FR1T1P += R * t;
      FR1T2P += R * t2;
    } else {
      FN += 1;
      FT1N += t;
      FT2N += t2;
      FT3N += t3;
      FT4N += t4;
      FT3T1N += t3 * u;
      FT4T1N += t4 * u;
      FT5T1N += (t3 * t2) * u;
      FT6T2N += (t3 * t3) * u * u;
      FR1N += R;
      FR1T1N += R * t;
      FR1T2N += R * t2;
      FR1T3T1N += R * t3 * u;
    }
  }
}

// Each group's sums become averages; FR1 counts the groups that have points.
void TLinearLeastSquares::averageSums() {
  FR1 = 0;
  if (FN > 0) {
    FR1 += 1;
    const long double n = FN;
    for (long double* f : {&FT1N, &FT2N, &FT3N, &FT4N, &FT3T1N, &FT4T1N, &FT5T1N, &FT6T2N, &FR1N, &FR1T1N, &FR1T2N,
                           &FR1T3T1N})
      *f /= n;
  }
  if (FP > 0) {
    FR1 += 1;
    const long double n = FP;
    for (long double* f : {&FT1P, &FT2P, &FT3P, &FT4P, &FR1P, &FR1T1P, &FR1T2P}) *f /= n;
  }
}

// The normal equations' matrix (rows 1..4) and right-hand side.
void TLinearLeastSquares::buildSystem() {
  FA1 = FT1N + FT1P;
  FB1 = FT2N + FT2P;
  FC1 = FT3T1N;
  FF1 = FR1N + FR1P;
  FR2 = FT1N + FT1P;
  FA2 = FT2N + FT2P;
  FB2 = FT3N + FT3P;
  FC2 = FT4T1N;
  FF2 = FR1T1N + FR1T1P;
  FR3 = FT2N + FT2P;
  FA3 = FT3N + FT3P;
  FB3 = FT4N + FT4P;
  FC3 = FT5T1N;
  FF3 = FR1T2N + FR1T2P;
  FR4 = FT3T1N;
  FA4 = FT4T1N;
  FB4 = FT5T1N;
  FC4 = FT6T2N;
  FF4 = FR1T3T1N;
}

std::string TLinearLeastSquares::SumsText() const {
  std::string s;
  appendf(s, "\r\n%s: %d  %s: %d  ", "FN", FN, "FP", FP);
  const struct {
    const char* label;
    long double value;
  } rows[] = {{"FT1N", FT1N},     {"FT2N", FT2N},     {"FT3N", FT3N},     {"FT3T1N", FT3T1N}, {"FT4T1N", FT4T1N},
              {"FT5T1N", FT5T1N}, {"FT6T2N", FT6T2N}, {"FT1P", FT1P},     {"FT2P", FT2P},     {"FT3P", FT3P},
              {"FT4P", FT4P},     {"FR1N", FR1N},     {"FR1T1N", FR1T1N}, {"FR1T2N", FR1T2N}, {"FR1T3T1N", FR1T3T1N},
              {"FR1P", FR1P},     {"FR1T1P", FR1T1P}, {"FR1T2P", FR1T2P}, {"FR1", FR1},       {"FR2", FR2},
              {"FR3", FR3},       {"FR4", FR4},       {"FA1", FA1},       {"FA2", FA2},       {"FA3", FA3},
              {"FA4", FA4},       {"FB1", FB1},       {"FB2", FB2},       {"FB3", FB3},       {"FB4", FB4},
              {"FC1", FC1},       {"FC2", FC2},       {"FC3", FC3},       {"FC4", FC4},       {"FF1", FF1},
              {"FF2", FF2},       {"FF3", FF3},       {"FF4", FF4}};
  for (const auto& r : rows) appendf(s, "\r\n%s: %0.4Lf", r.label, r.value);
  return s;
}

std::string TLinearLeastSquares::EquationsText() const {
  const long double sys[4][5] = {{FR1, FA1, FB1, FC1, FF1},
                                 {FR2, FA2, FB2, FC2, FF2},
                                 {FR3, FA3, FB3, FC3, FF3},
                                 {FR4, FA4, FB4, FC4, FF4}};
  std::string s;
  for (const auto& r : sys)
    appendf(s, "\r\n  %10.3Le*R + %10.3Le*A + %10.3Le*B + %10.3Le*C = %10.3Le", r[0], r[1], r[2], r[3], r[4]);
  s += "\r\n";
  for (const auto& r : sys)
    appendf(s, "\r\n  %13.6Le*R + %13.6Le*A + %13.6Le*B + %13.6Le*C = %13.6Le", r[0] / r[4], r[1] / r[4], r[2] / r[4],
            r[3] / r[4], r[4] / r[4]);
  for (const auto& r : sys)
    appendf(s, "\r\n  %13.6Le + %13.6Le + %13.6Le + %13.6Le", r[0] / r[4], r[1] / r[4], r[2] / r[4], r[3] / r[4]);
  return s;
}

void TLinearLeastSquares::Solve(const LineSink* log) {
  const long double sys[4][5] = {{FR1, FA1, FB1, FC1, FF1},
                                 {FR2, FA2, FB2, FC2, FF2},
                                 {FR3, FA3, FB3, FC3, FF3},
                                 {FR4, FA4, FB4, FC4, FF4}};
  Matrix4 s;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) s[i][j] = static_cast<double>(checkedDivide(sys[i][j], sys[i][4]));
  auto determinant = [&](int column, const char* title) {
    Matrix4 w;
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) w[i][j] = j == column ? 1.0 : s[i][j];
    if (log && *log) LogMatrix(w, 4, 4, *log, title);
    return static_cast<long double>(Det4(w));
  };
  FD = determinant(-1, "DDD");
  RD = determinant(0, "RRR");
  AD = determinant(1, "AAA");
  BD = determinant(2, "BBB");
  CD = determinant(3, "CCC");
}

std::string TLinearLeastSquares::DeterminantsText() const {
  std::string s;
  appendf(s, "\r\n  RD=%10.3Le   AD=%10.3Le   BD=%10.3Le   CD=%10.3Le   FD=%10.3Le", RD, AD, BD, CD, FD);
  return s;
}

bool TLinearLeastSquares::Finish() {
  RS = checkedDivide(RD, FD);
  AS = checkedDivide(checkedDivide(AD, FD), RS);
  BS = checkedDivide(checkedDivide(BD, FD), RS);
  CS = checkedDivide(checkedDivide(CD, FD), RS);
  ES = FitError();
  return true;
}

std::string TLinearLeastSquares::SolutionText() const {
  std::string s;
  appendf(s, "\r\n  RS=%13.5Le   AS=%13.5Le   BS=%13.5Le   CS=%13.5Le   ES=%13.5Le", RS, AS, BS, CS, ES);
  return s;
}

double TLinearLeastSquares::Evaluate(double t) const {
  long double w = 1 + AS * t + BS * t * t;
  if (t < 0) w += CS * (t - 100) * t * t * t;
  return static_cast<double>(RS * w);
}

double TLinearLeastSquares::FitError() const {
  double sum = 0;
  for (const auto& p : points) {
    const double r = p.R - Evaluate(p.t);
    sum += r * r;
  }
  return checkedDivide(std::sqrt(sum), static_cast<double>(points.size()));
}

double TLinearLeastSquares::Det4(const Matrix4& m) {
  auto sarrus = [&](int skipRow) {
    int r[3];
    for (int i = 0, k = 0; i < 4; ++i)
      if (i != skipRow) r[k++] = i;
    const double(&a)[4] = m[r[0]];
    const double(&b)[4] = m[r[1]];
    const double(&c)[4] = m[r[2]];
    // Minor of columns 1..3.
    return static_cast<long double>(a[1]) * b[2] * c[3] + static_cast<long double>(a[2]) * b[3] * c[1] +
           static_cast<long double>(a[3]) * b[1] * c[2] - static_cast<long double>(a[3]) * b[2] * c[1] -
           static_cast<long double>(a[1]) * b[3] * c[2] - static_cast<long double>(a[2]) * b[1] * c[3];
  };
  long double det = m[0][0] * sarrus(0) - m[1][0] * sarrus(1) + m[2][0] * sarrus(2) - m[3][0] * sarrus(3);
  return static_cast<double>(det);
}

void TLinearLeastSquares::LogMatrix(const Matrix4& m, int rows, int cols, const LineSink& log, std::string_view title) {
  std::string head;
  appendf(head, " %.*s  Rows:%d  Cols:%d", static_cast<int>(title.size()), title.data(), rows, cols);
  log(head);
  for (int i = 0; i < rows && i < 4; ++i) {
    std::string line;
    appendf(line, "  %d:%d..%d:: ", i, 0, cols);
    for (int j = 0; j < cols && j < 4; ++j) appendf(line, "  %13.6e", m[i][j]);
    log(line);
  }
}

void FitCalibration(const std::vector<TCalibrPoint>& points, const LineSink* log, TFitResult& result) {
  const bool logging = log && *log;
  TLinearLeastSquares fit(points);
  if (logging) (*log)("--------------- ");
  fit.Accumulate();
  if (logging) (*log)(fit.SumsText());
  if (logging) (*log)("---------------");
  if (logging) (*log)(fit.EquationsText());
  if (logging) (*log)("===============");
  fit.Solve(log);
  if (logging) (*log)(fit.DeterminantsText());
  if (logging) (*log)("===============");
  const bool ok = fit.Finish();
  if (logging) (*log)(fit.SolutionText());
  if (logging) (*log)("===============");
  if (ok) {
    result.R0 = static_cast<double>(fit.RS);
    result.A = static_cast<double>(fit.AS);
    result.B = static_cast<double>(fit.BS);
    result.C = static_cast<double>(fit.CS);
    result.E = static_cast<double>(fit.ES);
  }
  result.Ok = ok;
}

}  // namespace velmora::math
