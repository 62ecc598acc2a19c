#include "metrology/its90.h"

#include <algorithm>
#include <cmath>

#include "metrology/linear_fit.h"

namespace velmora::metrology {

namespace {
// The constants of the reference functions and their inverses, as published with the scale.
constexpr std::array<double, 13> kA{-2.13534729, 3.18324720, -1.80143597, 0.71727204, 0.50344027,
                                    -0.61899395, -0.05332322, 0.28021362, 0.10715224, -0.29302865,
                                    0.04459872, 0.11868632, -0.05248134};
constexpr std::array<double, 16> kB{0.183324722, 0.240975303, 0.209108771, 0.190439972, 0.142648498, 0.077993465,
                                    0.012475611, -0.032267127, -0.075291522, -0.056470670, 0.076201285, 0.123893204,
                                    -0.029201193, -0.091173542, 0.001317696, 0.026025526};
constexpr std::array<double, 10> kC{2.78157254, 1.64650916, -0.13714390, -0.00649767, -0.00234444,
                                    0.00511868, 0.00187982, -0.00204472, -0.00046122, 0.00045724};
constexpr std::array<double, 10> kD{439.932854, 472.418020, 37.684494, 7.472018, 2.920828,
                                    0.005184,   -0.963864,  -0.188732,  0.191203, 0.049025};

// Σ c_i x^i and its derivative, by Horner's rule.
template <std::size_t N>
double poly(const std::array<double, N>& c, double x) {
  double v = 0;
  for (std::size_t i = N; i-- > 0;) v = v * x + c[i];
  return v;
}
template <std::size_t N>
double polyDerivative(const std::array<double, N>& c, double x) {
  double v = 0;
  for (std::size_t i = N; i-- > 1;) v = v * x + static_cast<double>(i) * c[i];
  return v;
}

constexpr double kLowest = 13.8033;
constexpr double kHighest = 1234.93;
}  // namespace

double referenceWr(double t) {
  if (t < kTpwKelvin) {
    const double x = (std::log(t / kTpwKelvin) + 1.5) / 1.5;
    return std::exp(poly(kA, x));
  }
  return poly(kC, (t - 754.15) / 481.0);
}

double referenceWrDerivative(double t) {
  if (t < kTpwKelvin) {
    const double x = (std::log(t / kTpwKelvin) + 1.5) / 1.5;
    return std::exp(poly(kA, x)) * polyDerivative(kA, x) / (1.5 * t);
  }
  return polyDerivative(kC, (t - 754.15) / 481.0) / 481.0;
}

double publishedInverse(double wr) {
  if (wr < 1.0) return kTpwKelvin * poly(kB, (std::cbrt(std::sqrt(wr)) - 0.65) / 0.35);
  return kZeroCelsius + poly(kD, (wr - 2.64) / 1.64);
}

double temperatureFromWr(double wr) {
  double t = publishedInverse(wr);
  for (int i = 0; i < 4; ++i) {
    const double step = (referenceWr(t) - wr) / referenceWrDerivative(t);
    t -= step;
    if (std::fabs(step) < 1e-12) break;
  }
  return t;
}

const std::vector<FixedPoint>& fixedPoints() {
  static const std::vector<FixedPoint> points{
      {"e-H2", 13.8033, 0.00119007}, {"Ne", 24.5561, 0.00844974}, {"O2", 54.3584, 0.09171804},
      {"Ar", 83.8058, 0.21585975},   {"Hg", 234.3156, 0.84414211}, {"TPW", 273.16, 1.00000000},
      {"Ga", 302.9146, 1.11813889},  {"In", 429.7485, 1.60980185}, {"Sn", 505.078, 1.89279768},
      {"Zn", 692.677, 2.56891730},   {"Al", 933.473, 3.37600860},  {"Ag", 1234.93, 4.28642053},
  };
  return points;
}

const FixedPoint& fixedPoint(const std::string& name) {
  for (const auto& p : fixedPoints())
    if (name == p.name) return p;
  throw RangeError("no fixed point named " + name);
}

// ---------------------------------------------------------------- sub-ranges

bool SubRange::known(int number) { return number >= 4 && number <= 11; }

std::size_t SubRange::coefficientCount(int number) {
  switch (number) {
    case 4: case 5: case 8: case 9: return 2;
    case 6: return 4;
    case 7: return 3;
    case 10: case 11: return 1;
    default: return 0;
  }
}

double SubRange::lowerKelvin(int number) {
  switch (number) {
    case 4: return fixedPoint("Ar").kelvin;
    case 5: return fixedPoint("Hg").kelvin;
    default: return kZeroCelsius;
  }
}

double SubRange::upperKelvin(int number) {
  switch (number) {
    case 4: return kTpwKelvin;
    case 5: case 11: return fixedPoint("Ga").kelvin;
    case 6: return fixedPoint("Ag").kelvin;
    case 7: return fixedPoint("Al").kelvin;
    case 8: return fixedPoint("Zn").kelvin;
    case 9: return fixedPoint("Sn").kelvin;
    case 10: return fixedPoint("In").kelvin;
    default: return 0;
  }
}

std::vector<std::string> SubRange::fixedPointNames(int number) {
  switch (number) {
    case 4: return {"Ar", "Hg"};
    case 5: return {"Hg", "Ga"};
    case 6: return {"Sn", "Zn", "Al", "Ag"};
    case 7: return {"Sn", "Zn", "Al"};
    case 8: return {"Sn", "Zn"};
    case 9: return {"In", "Sn"};
    case 10: return {"In"};
    case 11: return {"Ga"};
    default: return {};
  }
}

double SubRange::basis(std::size_t k, double w) const {
  const double d = w - 1;
  if (number == 4) return k == 0 ? d : d * std::log(w);
  if (number == 6 && k == 3) return w > wAl ? (w - wAl) * (w - wAl) : 0.0;
  return std::pow(d, static_cast<double>(k + 1));
}

double SubRange::deviation(double w) const {
  double v = 0;
  for (std::size_t k = 0; k < coefficients.size(); ++k) v += coefficients[k] * basis(k, w);
  return v;
}

double SubRange::deviationDerivative(double w) const {
  const double d = w - 1;
  double v = 0;
  for (std::size_t k = 0; k < coefficients.size(); ++k) {
    double b;
    if (number == 4)
      b = k == 0 ? 1.0 : std::log(w) + d / w;
    else if (number == 6 && k == 3)
      b = w > wAl ? 2 * (w - wAl) : 0.0;
    else
      b = static_cast<double>(k + 1) * std::pow(d, static_cast<double>(k));
    v += coefficients[k] * b;
  }
  return v;
}

void SubRange::prepare() {
  if (number != 6) return;
  // W at the Al point: W − W_r(Al) = a (W−1) + b (W−1)² + c (W−1)³ (the d term is 0 there).
  const double wrAl = fixedPoint("Al").wr;
  double w = wrAl;
  for (int i = 0; i < 50; ++i) {
    double dev = 0;
    for (std::size_t k = 0; k < std::min<std::size_t>(3, coefficients.size()); ++k)
      dev += coefficients[k] * std::pow(w - 1, static_cast<double>(k + 1));
    const double next = wrAl + dev;
    if (std::fabs(next - w) < 1e-15) {
      w = next;
      break;
    }
    w = next;
  }
  wAl = w;
}

// ---------------------------------------------------------------- a characterised SPRT

namespace {
// A tolerance at the sub-range limits (1 µK), so that a fixed point's own value converts; and
// the margin beyond them within which a value is still taken, marked as extrapolated (1 mK:
// an ice point a few microkelvin below 0 °C, an SPRT's own R_TPW through the published constants).
constexpr double kEdge = 1e-6;
bool covers(const SubRange& s, double t, double margin = kEdge) {
  return t >= SubRange::lowerKelvin(s.number) - margin && t <= SubRange::upperKelvin(s.number) + margin;
}
double width(const SubRange& s) { return SubRange::upperKelvin(s.number) - SubRange::lowerKelvin(s.number); }

std::string rangesText(const SprtCharacterisation& c) {
  std::string text;
  for (const auto& s : c.subRanges) {
    if (!text.empty()) text += ", ";
    text += std::to_string(s.number);
  }
  return text.empty() ? "none" : text;
}

// W of the thermometer at T through a sub-range: W = W_r(T) + ΔW(W), solved by Newton.
double wAt(const SubRange& s, double t) {
  const double wr = referenceWr(t);
  double w = wr;
  for (int i = 0; i < 20; ++i) {
    const double f = w - s.deviation(w) - wr;
    const double step = f / (1 - s.deviationDerivative(w));
    w -= step;
    if (std::fabs(step) < 1e-16) break;
  }
  return w;
}
}  // namespace

const SubRange* SprtCharacterisation::subRangeAt(double t, bool* extrapolated) const {
  for (const double margin : {kEdge, kLimitMargin}) {
    const SubRange* best = nullptr;
    for (const auto& s : subRanges)
      if (covers(s, t, margin) && (!best || width(s) < width(*best))) best = &s;
    if (best) {
      if (extrapolated) *extrapolated = margin > kEdge;
      return best;
    }
  }
  return nullptr;
}

double SprtCharacterisation::temperature(double resistance, bool* extrapolated) const {
  if (!(rTpw > 0)) throw RangeError("the characterisation has no R(TPW)");
  const double w = resistance / rTpw;
  // Each sub-range gives a temperature; the narrowest one that covers its own result holds —
  // within its limits first, else within the margin beyond them.
  for (const double margin : {kEdge, kLimitMargin}) {
    const SubRange* best = nullptr;
    double result = 0;
    for (const auto& s : subRanges) {
      const double t = temperatureFromWr(w - s.deviation(w));
      if (!std::isfinite(t) || !covers(s, t, margin)) continue;
      if (!best || width(s) < width(*best)) {
        best = &s;
        result = t;
      }
    }
    if (best) {
      if (extrapolated) *extrapolated = margin > kEdge;
      return result;
    }
  }
  throw RangeError("the resistance " + std::to_string(resistance) +
                   " ohm lies outside every sub-range of the characterisation (" + rangesText(*this) + ")");
}

double SprtCharacterisation::resistance(double t, bool* extrapolated) const {
  if (!(rTpw > 0)) throw RangeError("the characterisation has no R(TPW)");
  if (!(t >= kLowest && t <= kHighest)) throw RangeError("T90 = " + std::to_string(t) + " K lies outside ITS-90's SPRT range");
  const SubRange* s = subRangeAt(t, extrapolated);
  if (!s)
    throw RangeError("T90 = " + std::to_string(t) + " K lies outside every sub-range of the characterisation (" +
                     rangesText(*this) + ")");
  return wAt(*s, t) * rTpw;
}

double SprtCharacterisation::temperaturePerOhm(double resistance) const {
  const double t = temperature(resistance);
  const SubRange* s = subRangeAt(t);
  const double w = resistance / rTpw;
  // W − ΔW(W) = W_r(T): dT/dW = (1 − ΔW'(W)) / W_r'(T).
  const double dTdW = (1 - (s ? s->deviationDerivative(w) : 0.0)) / referenceWrDerivative(t);
  return dTdW / rTpw;
}

SubRange fitSubRange(int number, const std::vector<CalibrationDatum>& data) {
  if (!SubRange::known(number)) throw RangeError("no sub-range " + std::to_string(number));
  SubRange s;
  s.number = number;
  const std::size_t n = SubRange::coefficientCount(number);
  const double al = fixedPoint("Al").kelvin;
  auto fitPart = [&](std::size_t count, bool aboveAl) {
    std::vector<std::vector<double>> rows;
    std::vector<double> y;
    for (const auto& d : data) {
      const bool above = d.t90Kelvin > al + kEdge;
      if (number == 6 && above != aboveAl) continue;
      std::vector<double> row;
      for (std::size_t k = aboveAl ? 3 : 0; k < (aboveAl ? 4 : count); ++k) row.push_back(s.basis(k, d.w));
      double target = d.w - referenceWr(d.t90Kelvin);
      if (aboveAl) target -= s.deviation(d.w);  // what a, b and c leave
      rows.push_back(std::move(row));
      y.push_back(target);
    }
    return linearFit(rows, y);
  };
  const std::size_t lower = number == 6 ? 3 : n;
  const auto main = fitPart(lower, false);
  if (!main)
    throw RangeError("the points do not determine the " + std::to_string(lower) + " coefficients of sub-range " +
                     std::to_string(number));
  s.coefficients = main->coefficients;
  if (number == 6) {
    s.prepare();
    s.coefficients.push_back(0.0);
    const auto d = fitPart(4, true);
    s.coefficients[3] = d ? d->coefficients[0] : 0.0;  // without points above Al: no d term
  }
  return s;
}

}  // namespace velmora::metrology
