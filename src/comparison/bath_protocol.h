#pragma once
// The serial text protocol of the common calibration baths and dry wells: "s=150" sets the
// set point, "t" asks for the temperature ("t: 150.002 C"), "sr=2" the scan rate (°C/min).
// Commands end with CR; answers end with CR LF (LF alone is taken as well).
#include <optional>
#include <string>
#include <string_view>

namespace velmora::comparison {

std::string bathSetPointCommand(double celsius);
std::string bathScanRateCommand(double perMinute);
inline constexpr std::string_view kBathReadCommand = "t\r";

// The temperature in an answer line: "t: 150.002 C", "t:150.002", "150.002 C" or "150.002";
// nothing for any other line (an echo, "?", a set point's "set: …").
std::optional<double> parseBathReading(std::string_view line);

// Cuts received bytes into answer lines (at most 64 characters each; a longer one is dropped).
class BathLineCutter {
 public:
  // The bytes; `line` receives each complete line in turn.
  template <typename F>
  void feed(std::string_view bytes, F&& line) {
    for (char c : bytes) {
      if (c == '\r' || c == '\n') {
        if (!m_overlong && !m_line.empty()) line(std::string_view(m_line));
        m_line.clear();
        m_overlong = false;
      } else if (m_line.size() < 64) {
        m_line.push_back(c);
      } else {
        m_overlong = true;
      }
    }
  }

 private:
  std::string m_line;
  bool m_overlong = false;
};

}  // namespace velmora::comparison
