#pragma once
// One model for every characterised probe: temperature from resistance and resistance from
// temperature, with dT/dR, whatever the characterisation — Callendar–Van Dusen factors
// (both sides of 0 °C), an SPRT's ITS-90 coefficients, or a plain polynomial T(R).
//
// A probe is kept as a plain text file, one line per item ("key: value"; "#" starts a
// comment):
//
//   VELMORA PROBE 1
//   serial: 4711
//   type: CVD | ITS-90 | polynomial
//   certificate: PTB 12345
//   date: 2026-03-01
//   due: 2027-03-01           (optional: when the certificate is due again)
//   uncertainty: 1.5 mK (k = 2) from -189 °C to 420 °C
//   CVD:        R0: 100.0   A: 3.9083e-3   B: -5.775e-7   C: -4.183e-12
//   ITS-90:     R_TPW: 25.54321   subrange 4: a=-1.2e-4 b=-3.4e-5   subrange 8: a=… b=…
//   polynomial: coefficients: c0 c1 c2 …     (T in °C = Σ c_k R^k)   range: LOW HIGH (°C, optional)
//
// Temperatures are in °C (T90 − 273.15 K for ITS-90), resistances in ohms.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "math/platinum.h"
#include "metrology/its90.h"

namespace velmora::metrology {

enum class ProbeType { Cvd, Its90, Polynomial };

// Callendar–Van Dusen: R(t) = R0 (1 + A t + B t² + C (t − 100) t³), the C term below 0 °C.
double cvdResistance(const math::TCofSet& f, double t);
double cvdResistancePerDegree(const math::TCofSet& f, double t);
// The inverse, exact to the double's precision: the quadratic's root at and above R0, Newton
// steps on the quartic below it. RangeError where the factors give no temperature.
double cvdTemperature(const math::TCofSet& f, double r);

struct ProbeCharacterisation {
  ProbeType type = ProbeType::Cvd;
  std::string serial, certificate, date, uncertainty;
  std::string due;  // when its certificate is due again (YYYY-MM-DD; empty: not stated)
  math::TCofSet cvd;
  SprtCharacterisation sprt;
  std::vector<double> polynomial;  // T(°C) = Σ c_k R^k
  // A polynomial's stated range (°C, the file's "range: LOW HIGH"); without one a polynomial
  // answers within −273.15 … 2000 °C. A CVD probe holds from −200 to 850 °C.
  std::optional<std::pair<double, double>> range;

  // Outside the probe's range a RangeError; within kLimitMargin beyond it the value is given
  // and `extrapolated` set.
  double temperature(double resistance, bool* extrapolated = nullptr) const;  // °C
  double resistance(double celsius, bool* extrapolated = nullptr) const;
  // The range the characterisation holds over (°C); an ITS-90 probe's is its sub-ranges'.
  std::pair<double, double> validRange() const;
  // dT/dR at a resistance (°C per ohm): the sensitivity of a temperature to its resistance.
  double temperaturePerOhm(double resistance) const;
};

// The text of a probe file, and a probe from one. A damaged file is refused with the
// number of the offending line and what is wrong there.
std::string probeText(const ProbeCharacterisation& probe);
struct ProbeLoad {
  std::optional<ProbeCharacterisation> probe;
  std::size_t line = 0;
  std::string error;
};
ProbeLoad parseProbe(std::string_view text);

// The command line: "velmora --probe-temperature FILE R" and "--probe-resistance FILE T".
// Returns the exit status (0, 1 with the reason in `error`); the value in `out` (a temperature
// with 6 decimals, a resistance with 10 significant digits); `note` says when the value was
// extrapolated beyond the probe's limits.
int probeCommand(bool temperature, const std::string& file, const std::string& value, std::string& out,
                 std::string& error, std::string* note = nullptr);

}  // namespace velmora::metrology
