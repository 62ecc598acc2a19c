#pragma once
// A calibration bath (or dry well) as the comparison bench meets it: a controller that drives
// the bath to its set point — a second-order approach with some overshoot, a scan rate limit,
// noise — and the probes in it, each following with its own time constant and sitting where
// the bath is a little warmer or colder the further it is from room temperature (a position
// gradient). Its serial text protocol is that of the common calibration baths:
//   "s=150"  sets the set point        "s"  → "set: 150.000 C"
//   "t"      → "t: 150.002 C"          "sr=2" / "sr" the scan rate (°C/min, 0: full speed)
//   "u"      → "u: C"
// Lines end with CR (LF ignored); answers end with CR LF. Thread-safe: the probes' simulators
// and the bath's own front end ask it from their threads.
#include <chrono>
#include <map>
#include <mutex>
#include <atomic>
#include <random>
#include <string>
#include <string_view>

namespace velmora::sim {

class DrivenBath {
 public:
  explicit DrivenBath(double start = 21.0, std::uint32_t seed = 7);

  // Time runs `speed` times faster than the wall clock (the tests' and the demo's baths
  // settle in seconds, a real one in many minutes).
  double speed = 1.0;
  double naturalPeriodSeconds = 600;  // of the controller's approach
  double damping = 0.55;              // < 1: it overshoots
  double noise = 0.002;               // °C, standard deviation of the bath's own reading
  double scanRatePerMinute = 0;       // 0: as fast as the controller goes
  std::atomic<bool> silent{false};    // a cable pulled: nothing is answered

  void setSetPoint(double celsius);
  double setPoint() const;
  // The bath's temperature now (with its noise, as its own sensor reads it).
  double reading();
  // What a probe with time constant `tau` (s) sees now, without noise, at a position whose
  // gradient is `gradient` °C per °C away from 20 °C.
  double probe(double tau, double gradient = 0);
  // The bath's own serial protocol: the answer to the bytes received.
  std::string receive(std::string_view bytes);

 private:
  void advance();  // integrates up to now (under the lock)
  mutable std::mutex m_mutex;
  std::chrono::steady_clock::time_point m_last;
  double m_temperature, m_velocity = 0, m_target, m_ramped;
  std::map<double, double> m_probes;  // time constant → what such a probe reads
  std::mt19937 m_rng;
  std::string m_line;
};

}  // namespace velmora::sim
