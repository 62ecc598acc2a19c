#include "metrology/probe.h"

#include <charconv>
#include <cmath>
#include <algorithm>
#include <cstdio>
#include <set>

#include "common/file_io.h"
#include "common/number_text.h"

namespace velmora::metrology {

// ---------------------------------------------------------------- Callendar–Van Dusen

double cvdResistance(const math::TCofSet& f, double t) {
  double r = 1 + f.A * t + f.B * t * t;
  if (t < 0) r += f.C * (t - 100) * t * t * t;
  return f.R0 * r;
}

double cvdResistancePerDegree(const math::TCofSet& f, double t) {
  double d = f.A + 2 * f.B * t;
  if (t < 0) d += f.C * (4 * t * t * t - 300 * t * t);
  return f.R0 * d;
}

double cvdTemperature(const math::TCofSet& f, double r) {
  if (!(f.R0 > 0)) throw RangeError("R0 must be positive");
  const double z = r / f.R0 - 1;
  // The root of B t² + A t − z = 0 nearest 0 (in the cancellation-free form).
  double t;
  if (f.B == 0) {
    if (f.A == 0) throw RangeError("A and B are both 0");
    t = z / f.A;
  } else {
    const double disc = f.A * f.A + 4 * f.B * z;
    if (disc < 0) throw RangeError("the factors give no temperature for " + std::to_string(r) + " ohm");
    t = 2 * z / (f.A + std::sqrt(disc));
  }
  if (z >= 0 || f.C == 0) return t;
  for (int i = 0; i < 20; ++i) {
    const double step = (cvdResistance(f, t) - r) / cvdResistancePerDegree(f, t);
    t -= step;
    if (std::fabs(step) < 1e-13) break;
  }
  return t;
}

// ---------------------------------------------------------------- the probe model

namespace {
constexpr double kCvdLowest = -200, kCvdHighest = 850;
constexpr double kPolynomialLowest = -kZeroCelsius, kPolynomialHighest = 2000;

std::string celsiusText(double t) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.6g", t);
  return buf;
}

// A temperature against the range [lo, hi]: refused beyond the margin, marked within it.
void checkRange(double t, std::pair<double, double> range, const char* what, bool* extrapolated) {
  const auto [lo, hi] = range;
  if (!(t >= lo - kLimitMargin && t <= hi + kLimitMargin))
    throw RangeError(celsiusText(t) + " °C lies outside the range of the " + what + " (" + celsiusText(lo) + " to " +
                     celsiusText(hi) + " °C)");
  if (extrapolated) *extrapolated = t < lo || t > hi;
}

double polynomialAt(const std::vector<double>& c, double r) {
  double t = 0;
  for (std::size_t k = c.size(); k-- > 0;) t = t * r + c[k];
  return t;
}
}  // namespace

std::pair<double, double> ProbeCharacterisation::validRange() const {
  switch (type) {
    case ProbeType::Cvd:
      return {kCvdLowest, kCvdHighest};
    case ProbeType::Its90: {
      double lo = 1e9, hi = -1e9;
      for (const auto& s : sprt.subRanges) {
        lo = std::min(lo, SubRange::lowerKelvin(s.number) - kZeroCelsius);
        hi = std::max(hi, SubRange::upperKelvin(s.number) - kZeroCelsius);
      }
      return {lo, hi};
    }
    case ProbeType::Polynomial:
      return range.value_or(std::pair{kPolynomialLowest, kPolynomialHighest});
  }
  return {NAN, NAN};
}

double ProbeCharacterisation::temperature(double r, bool* extrapolated) const {
  if (!(r > 0)) throw RangeError("a resistance must be positive (" + std::to_string(r) + " ohm)");
  if (extrapolated) *extrapolated = false;
  switch (type) {
    case ProbeType::Cvd: {
      const double t = cvdTemperature(cvd, r);
      checkRange(t, validRange(), "Callendar-Van Dusen equation", extrapolated);
      return t;
    }
    case ProbeType::Its90:
      return sprt.temperature(r, extrapolated) - kZeroCelsius;
    case ProbeType::Polynomial: {
      const double t = polynomialAt(polynomial, r);
      checkRange(t, validRange(), range ? "polynomial's stated range" : "polynomial", extrapolated);
      return t;
    }
  }
  return NAN;
}

double ProbeCharacterisation::temperaturePerOhm(double r) const {
  switch (type) {
    case ProbeType::Cvd:
      return 1 / cvdResistancePerDegree(cvd, cvdTemperature(cvd, r));
    case ProbeType::Its90:
      return sprt.temperaturePerOhm(r);
    case ProbeType::Polynomial: {
      double d = 0;
      for (std::size_t k = polynomial.size(); k-- > 1;) d = d * r + static_cast<double>(k) * polynomial[k];
      return d;
    }
  }
  return NAN;
}

double ProbeCharacterisation::resistance(double celsius, bool* extrapolated) const {
  if (extrapolated) *extrapolated = false;
  switch (type) {
    case ProbeType::Cvd:
      checkRange(celsius, validRange(), "Callendar-Van Dusen equation", extrapolated);
      return cvdResistance(cvd, celsius);
    case ProbeType::Its90:
      return sprt.resistance(celsius + kZeroCelsius, extrapolated);
    case ProbeType::Polynomial: {
      if (polynomial.size() < 2) throw RangeError("a polynomial needs two coefficients or more");
      checkRange(celsius, validRange(), range ? "polynomial's stated range" : "polynomial", extrapolated);
      // Newton from the linear part's answer.
      double r = (celsius - polynomial[0]) / polynomial[1];
      for (int i = 0; i < 50; ++i) {
        const double step = (polynomialAt(polynomial, r) - celsius) / temperaturePerOhm(r);
        r -= step;
        if (std::fabs(step) < 1e-12 * std::max(1.0, std::fabs(r))) return r;
      }
      throw RangeError("the polynomial reaches no resistance for " + std::to_string(celsius) + " °C");
    }
  }
  return NAN;
}

// ---------------------------------------------------------------- the file

namespace {
constexpr std::string_view kHeader = "VELMORA PROBE 1";

std::string exact(double v) { return shortestText(v); }

std::string_view trim(std::string_view s) { return trimBlanks(s); }

const char* typeName(ProbeType t) {
  switch (t) {
    case ProbeType::Cvd: return "CVD";
    case ProbeType::Its90: return "ITS-90";
    case ProbeType::Polynomial: return "polynomial";
  }
  return "";
}
}  // namespace

std::string probeText(const ProbeCharacterisation& p) {
  std::string t(kHeader);
  t += "\n";
  const auto line = [&](const char* key, const std::string& value) { t += std::string(key) + ": " + value + "\n"; };
  line("serial", p.serial);
  line("type", typeName(p.type));
  line("certificate", p.certificate);
  line("date", p.date);
  if (!p.due.empty()) line("due", p.due);
  line("uncertainty", p.uncertainty);
  switch (p.type) {
    case ProbeType::Cvd:
      line("R0", exact(p.cvd.R0));
      line("A", exact(p.cvd.A));
      line("B", exact(p.cvd.B));
      line("C", exact(p.cvd.C));
      break;
    case ProbeType::Its90:
      line("R_TPW", exact(p.sprt.rTpw));
      for (const auto& s : p.sprt.subRanges) {
        static const char* const kNames[] = {"a", "b", "c", "d"};
        std::string v;
        for (std::size_t k = 0; k < s.coefficients.size() && k < 4; ++k)
          v += std::string(k ? " " : "") + kNames[k] + "=" + exact(s.coefficients[k]);
        t += "subrange " + std::to_string(s.number) + ": " + v + "\n";
      }
      break;
    case ProbeType::Polynomial: {
      std::string v;
      for (std::size_t k = 0; k < p.polynomial.size(); ++k) v += (k ? " " : "") + exact(p.polynomial[k]);
      line("coefficients", v);
      if (p.range) line("range", exact(p.range->first) + " " + exact(p.range->second));
      break;
    }
  }
  return t;
}

ProbeLoad parseProbe(std::string_view text) {
  ProbeLoad load;
  ProbeCharacterisation p;
  bool typed = false, header = false;
  bool have[4] = {false, false, false, false};  // R0, A, B, C
  bool haveTpw = false, havePolynomial = false;
  std::set<std::string> seenKeys;
  std::size_t number = 0;
  const auto fail = [&](std::string why) {
    load.line = number;
    load.error = std::move(why);
    load.probe.reset();
    return load;
  };
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!header) {
      if (trim(line) != kHeader) return fail("not a probe file (the first line must be \"VELMORA PROBE 1\")");
      header = true;
      continue;
    }
    if (const auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    line = trim(line);
    if (line.empty()) continue;
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return fail("a line must read \"key: value\"");
    const std::string_view key = trim(line.substr(0, colon));
    const std::string_view value = trim(line.substr(colon + 1));
    const auto number_ = [&](std::string_view v) { return parseNumber(v, Blanks::Allowed); };
    // A key given twice leaves it open which value was meant.
    if (key.substr(0, 9) != "subrange " && !seenKeys.insert(std::string(key)).second)
      return fail("\"" + std::string(key) + "\" is given twice");
    if (key == "serial") {
      p.serial = value;
    } else if (key == "certificate") {
      p.certificate = value;
    } else if (key == "date") {
      p.date = value;
    } else if (key == "due") {
      // A date the bench compares with today: YYYY-MM-DD and nothing else.
      if (value.size() != 10 || value[4] != '-' || value[7] != '-' ||
          !std::all_of(value.begin(), value.end(), [](char c) { return (c >= '0' && c <= '9') || c == '-'; }))
        return fail("\"due\" must be a date YYYY-MM-DD");
      p.due = value;
    } else if (key == "uncertainty") {
      p.uncertainty = value;
    } else if (key == "type") {
      if (value == "CVD")
        p.type = ProbeType::Cvd;
      else if (value == "ITS-90")
        p.type = ProbeType::Its90;
      else if (value == "polynomial")
        p.type = ProbeType::Polynomial;
      else
        return fail("unknown type \"" + std::string(value) + "\" (CVD, ITS-90 or polynomial)");
      typed = true;
    } else if (key == "R0" || key == "A" || key == "B" || key == "C") {
      const auto v = number_(value);
      if (!v) return fail("\"" + std::string(value) + "\" is not a number");
      const int i = key == "R0" ? 0 : key == "A" ? 1 : key == "B" ? 2 : 3;
      (i == 0 ? p.cvd.R0 : i == 1 ? p.cvd.A : i == 2 ? p.cvd.B : p.cvd.C) = *v;
      have[i] = true;
    } else if (key == "R_TPW") {
      const auto v = number_(value);
      if (!v || !(*v > 0)) return fail("R_TPW must be a positive number");
      p.sprt.rTpw = *v;
      haveTpw = true;
    } else if (key.substr(0, 9) == "subrange ") {
      const auto n = parseInteger(trim(key.substr(9)));
      if (!n || !SubRange::known(*n)) return fail("sub-ranges 4 to 11 are known");
      for (const auto& s : p.sprt.subRanges)
        if (s.number == *n) return fail("sub-range " + std::to_string(*n) + " is given twice");
      SubRange s;
      s.number = *n;
      s.coefficients.assign(SubRange::coefficientCount(*n), 0.0);
      std::vector<bool> seen(s.coefficients.size(), false);
      std::string_view rest = value;
      while (!rest.empty()) {
        const auto blank = rest.find(' ');
        const std::string_view item = rest.substr(0, blank);
        rest = blank == std::string_view::npos ? std::string_view() : trim(rest.substr(blank + 1));
        const auto eq = item.find('=');
        if (eq != 1 || item[0] < 'a' || item[0] > 'd') return fail("a coefficient reads \"a=…\", \"b=…\", \"c=…\" or \"d=…\"");
        const auto k = static_cast<std::size_t>(item[0] - 'a');
        if (k >= s.coefficients.size())
          return fail("sub-range " + std::to_string(*n) + " has " + std::to_string(s.coefficients.size()) + " coefficients");
        const auto v = number_(item.substr(2));
        if (!v) return fail("\"" + std::string(item.substr(2)) + "\" is not a number");
        if (seen[k]) return fail(std::string("coefficient ") + item[0] + " of sub-range " + std::to_string(*n) + " is given twice");
        s.coefficients[k] = *v;
        seen[k] = true;
      }
      for (std::size_t k = 0; k < seen.size(); ++k)
        if (!seen[k]) return fail(std::string("coefficient ") + static_cast<char>('a' + k) + " of sub-range " + std::to_string(*n) + " is missing");
      s.prepare();
      p.sprt.subRanges.push_back(std::move(s));
    } else if (key == "coefficients") {
      std::string_view rest = value;
      while (!rest.empty()) {
        const auto blank = rest.find(' ');
        const auto v = number_(rest.substr(0, blank));
        if (!v) return fail("\"" + std::string(rest.substr(0, blank)) + "\" is not a number");
        p.polynomial.push_back(*v);
        rest = blank == std::string_view::npos ? std::string_view() : trim(rest.substr(blank + 1));
      }
      havePolynomial = true;
    } else if (key == "range") {
      const auto blank = value.find(' ');
      const auto lo = blank == std::string_view::npos ? std::nullopt : number_(value.substr(0, blank));
      const auto hi = blank == std::string_view::npos ? std::nullopt : number_(trim(value.substr(blank + 1)));
      if (!lo || !hi || !(*lo < *hi)) return fail("a range reads \"range: LOW HIGH\" in °C, LOW below HIGH");
      p.range = std::pair{*lo, *hi};
    } else {
      return fail("unknown key \"" + std::string(key) + "\"");
    }
  }
  ++number;  // what is missing is missing at the end
  if (!header) return fail("the file is empty");
  if (!typed) return fail("the type is missing");
  switch (p.type) {
    case ProbeType::Cvd:
      for (int i = 0; i < 4; ++i)
        if (!have[i]) return fail(std::string("factor ") + (i == 0 ? "R0" : i == 1 ? "A" : i == 2 ? "B" : "C") + " is missing");
      if (!(p.cvd.R0 > 0)) return fail("R0 must be positive");
      break;
    case ProbeType::Its90:
      if (!haveTpw) return fail("R_TPW is missing");
      if (p.sprt.subRanges.empty()) return fail("no sub-range is given");
      break;
    case ProbeType::Polynomial:
      if (!havePolynomial || p.polynomial.size() < 2) return fail("a polynomial needs two coefficients or more");
      break;
  }
  if (p.range && p.type != ProbeType::Polynomial) return fail("only a polynomial probe states its range");
  load.probe = std::move(p);
  return load;
}

int probeCommand(bool temperature, const std::string& file, const std::string& value, std::string& out,
                 std::string& error, std::string* note) {
  std::string bytes;
  if (auto cause = readWholeFile(file, bytes)) {
    error = "cannot read " + file + ": " + *cause;
    return 1;
  }
  const ProbeLoad load = parseProbe(bytes);
  if (!load.probe) {
    error = file + ":" + std::to_string(load.line) + ": " + load.error;
    return 1;
  }
  const auto v = parseNumber(value, Blanks::Allowed);
  if (!v || !std::isfinite(*v)) {
    error = "\"" + value + "\" is not a number";
    return 1;
  }
  try {
    bool extrapolated = false;
    const double result = temperature ? load.probe->temperature(*v, &extrapolated) : load.probe->resistance(*v, &extrapolated);
    if (!std::isfinite(result)) {
      error = "no " + std::string(temperature ? "temperature" : "resistance") + " for " + value;
      return 1;
    }
    char buf[64];
    if (temperature) {
      std::snprintf(buf, sizeof buf, "%.6f", result);
    } else {
      // Ten significant digits: a milliohm of a 0.25-ohm SPRT is a millikelvin.
      const int whole = result == 0 ? 1 : static_cast<int>(std::floor(std::log10(std::fabs(result)))) + 1;
      std::snprintf(buf, sizeof buf, "%.*f", std::max(0, 10 - whole), result);
    }
    out = buf;
    if (note)
      *note = extrapolated ? value + (temperature ? " ohm" : " °C") + " lies beyond the limits of the characterisation (" +
                                 celsiusText(load.probe->validRange().first) + " to " +
                                 celsiusText(load.probe->validRange().second) + " °C): the value is extrapolated"
                           : std::string();
    return 0;
  } catch (const std::exception& e) {
    error = e.what();
    return 1;
  }
}

}  // namespace velmora::metrology
