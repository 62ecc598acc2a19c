#include "comparison/bath_protocol.h"

#include <cmath>
#include <cstdio>

#include "common/number_text.h"

namespace velmora::comparison {

std::string bathSetPointCommand(double celsius) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "s=%.3f\r", celsius);
  return buf;
}

std::string bathScanRateCommand(double perMinute) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "sr=%.3f\r", perMinute);
  return buf;
}

std::optional<double> parseBathReading(std::string_view line) {
  line = trimBlanks(line);
  if (line.size() >= 2 && (line[0] == 't' || line[0] == 'T') && line[1] == ':') line = trimBlanks(line.substr(2));
  // The unit after the number: "C" (or "°C"); a bath set to another unit is not read.
  const auto blank = line.find(' ');
  if (blank != std::string_view::npos) {
    const std::string_view unit = trimBlanks(line.substr(blank));
    if (unit != "C" && unit != "\xC2\xB0" "C") return std::nullopt;
    line = line.substr(0, blank);
  }
  if (line.empty() || !(line[0] == '-' || line[0] == '+' || line[0] == '.' || (line[0] >= '0' && line[0] <= '9')))
    return std::nullopt;
  const auto v = parseNumber(line);
  if (!v || !std::isfinite(*v)) return std::nullopt;
  return v;
}

}  // namespace velmora::comparison
