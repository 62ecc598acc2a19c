#pragma once
// The International Temperature Scale of 1990 for standard platinum resistance thermometers:
// the reference functions W_r(T90) of both ranges with their published inverse functions,
// and the deviation functions of the sub-ranges used in calibration laboratories.
//
//   13.8033 K to 273.16 K:  ln W_r = A0 + Σ Ai [(ln(T90/273.16 K) + 1.5) / 1.5]^i   (i = 1…12)
//                           T90/273.16 K = B0 + Σ Bi [(W_r^(1/6) − 0.65) / 0.35]^i   (i = 1…15)
//   0 °C to 961.78 °C:      W_r = C0 + Σ Ci [(T90/K − 754.15) / 481]^i               (i = 1…9)
//                           T90/K − 273.15 = D0 + Σ Di [(W_r − 2.64) / 1.64]^i       (i = 1…9)
//
// The published inverse functions agree with the reference functions to within 0.13 mK;
// temperatureFromWr refines their value by Newton steps on the reference function, so that
// a conversion and its inverse agree to the precision of a double.

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora::metrology {

inline constexpr double kTpwKelvin = 273.16;
inline constexpr double kZeroCelsius = 273.15;
// How far beyond a characterisation's limits a value is still converted (K or °C), marked as
// extrapolated: a fixed point or an ice point read a hair outside its sub-range.
inline constexpr double kLimitMargin = 1e-3;

// Reference function, T90 in kelvin (13.8033 K … 1234.93 K); the range is chosen by T90.
double referenceWr(double t90Kelvin);
// Its derivative dW_r/dT90 (per kelvin).
double referenceWrDerivative(double t90Kelvin);
// The published inverse functions alone (within 0.13 mK of the reference functions).
double publishedInverse(double wr);
// T90 (kelvin) whose reference function value is `wr`, exact to the double's precision.
double temperatureFromWr(double wr);

// Defining fixed points used by the sub-ranges below.
struct FixedPoint {
  const char* name;
  double kelvin;
  double wr;  // W_r at the point, as published with the scale
};
const std::vector<FixedPoint>& fixedPoints();
// A fixed point by its short name ("Hg", "Ga", "In", "Sn", "Zn", "Al", "Ag", "Ar", "TPW").
const FixedPoint& fixedPoint(const std::string& name);

// The deviation function of a sub-range: W − W_r = ΔW(W), a sum of coefficients times basis
// functions of the thermometer's W.
//   4  Ar–TPW   a4 (W−1) + b4 (W−1) ln W
//   5  Hg–Ga    a5 (W−1) + b5 (W−1)²
//   6  TPW–Ag   a6 (W−1) + b6 (W−1)² + c6 (W−1)³ + d (W − W_Al)²  (the d term above W_Al)
//   7  TPW–Al   a7 (W−1) + b7 (W−1)² + c7 (W−1)³
//   8  TPW–Zn   a8 (W−1) + b8 (W−1)²
//   9  TPW–Sn   a9 (W−1) + b9 (W−1)²
//   10 TPW–In   a10 (W−1)
//   11 TPW–Ga   a11 (W−1)
struct SubRange {
  int number = 0;                  // 4 … 11
  std::vector<double> coefficients;  // a, b, c, d in that order (as many as the sub-range has)
  double wAl = 0;                  // sub-range 6: the thermometer's W at the Al point (set by prepare())

  static bool known(int number);
  static std::size_t coefficientCount(int number);
  // The sub-range's limits in kelvin.
  static double lowerKelvin(int number);
  static double upperKelvin(int number);
  // The fixed points whose data determine the coefficients (besides the TPW).
  static std::vector<std::string> fixedPointNames(int number);

  // Value of basis function k at W (for fitting and for the deviation).
  double basis(std::size_t k, double w) const;
  double deviation(double w) const;
  double deviationDerivative(double w) const;
  // Finds W_Al for sub-range 6 (a no-op for the others); call after setting coefficients.
  void prepare();
};

// The error of a conversion outside every range the characterisation covers, or of a
// damaged characterisation.
class RangeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An SPRT characterised on ITS-90: its resistance at the triple point of water and the
// deviation coefficients of one or more sub-ranges.
struct SprtCharacterisation {
  double rTpw = 0;
  std::vector<SubRange> subRanges;

  // The sub-range that applies at T90 (the narrowest one that covers it); nothing outside all.
  // A value beyond every sub-range's limits by at most kLimitMargin is taken by the nearest
  // one and marked `extrapolated`.
  const SubRange* subRangeAt(double t90Kelvin, bool* extrapolated = nullptr) const;
  // T90 (kelvin) from a measured resistance; RangeError outside every sub-range given.
  double temperature(double resistance, bool* extrapolated = nullptr) const;
  double resistance(double t90Kelvin, bool* extrapolated = nullptr) const;
  // dT90/dR at a resistance (kelvin per ohm).
  double temperaturePerOhm(double resistance) const;
};

// A sub-range's coefficients from calibration data (W measured at known T90): exact with as
// many points as coefficients, least squares with more. For sub-range 6 the d term is
// fitted from the points above the Al point after a, b, c from those up to it. Throws
// RangeError when the points cannot determine the coefficients.
struct CalibrationDatum {
  double t90Kelvin;
  double w;  // R / R_TPW measured there
};
SubRange fitSubRange(int number, const std::vector<CalibrationDatum>& data);

}  // namespace velmora::metrology
