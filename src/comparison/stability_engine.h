#pragma once
// Whether a channel (a thermometer, or the bath's own sensor) has settled, by the rules
// calibration labs use — any combination of:
//   standard deviation over a window        ≤ maxSd
//   drift (least-squares slope) over it     |slope| ≤ maxDriftPerMinute
//   peak-to-peak over it                    ≤ maxPeakToPeak
//   inside ±band of the set point for bandMinutes (the timer restarts on leaving)
// A reading costs O(1) (running sums, monotonic queues); whether the rules are met is O(1)
// too, so the capture lock can be checked at every reading. The estimate of the time until
// stable is worked out on demand (it looks back over the window).
#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

namespace velmora::comparison {

struct StabilityRule {
  double windowMinutes = 10;
  std::optional<double> maxSd;              // °C
  std::optional<double> maxDriftPerMinute;  // °C/min
  std::optional<double> maxPeakToPeak;      // °C
  std::optional<double> band;               // ± °C about the set point
  double bandMinutes = 5;
  bool any() const { return maxSd || maxDriftPerMinute || maxPeakToPeak || band; }
};

struct StabilityVerdict {
  bool covered = false;  // the window holds readings over its whole length
  double sd = 0, driftPerMinute = 0, peakToPeak = 0;
  double insideMinutes = 0;  // in the band since (0: outside, or no band)
  bool sdOk = true, driftOk = true, peakToPeakOk = true, bandOk = true;
  bool stable = false;
  // Minutes until the rules can be met if the readings go on as the latest ones (NaN: no
  // estimate — a drift, or readings outside the band moving away).
  double etaMinutes = 0;
};

class StabilityTracker {
 public:
  explicit StabilityTracker(StabilityRule rule = {}) : m_rule(rule) {}
  void setRule(const StabilityRule& rule);
  // A new set point: the band timer starts again (the window keeps its readings).
  void setSetPoint(double celsius);
  void clear();

  // A reading at `minutes` (any origin, increasing).
  void add(double minutes, double value);
  // The rules met now (O(1)).
  bool stable() const;
  // Everything, with the estimate (O(window)).
  StabilityVerdict verdict() const;
  std::size_t size() const { return m_window.size(); }
  double last() const { return m_window.empty() ? 0 : m_window.back().v; }

 private:
  struct Sample {
    double t, v;
  };
  void recompute();
  void accumulate(double minutes, double value);
  double span() const { return m_window.empty() ? 0 : m_window.back().t - m_window.front().t; }
  void moments(double& sd, double& slope) const;
  bool covered(double interval) const;

  StabilityRule m_rule;
  std::optional<double> m_setPoint;
  std::deque<Sample> m_window;
  std::deque<Sample> m_min, m_max;  // monotonic: the window's extremes at their fronts
  // Sums of (t − t0), (v − v0) and their products over the window, t0/v0 its first reading
  // when the sums were last rebuilt (to keep them exact enough over days).
  double m_t0 = 0, m_v0 = 0;
  double m_n = 0, m_st = 0, m_sv = 0, m_stt = 0, m_svv = 0, m_stv = 0;
  std::size_t m_removed = 0;
  std::optional<double> m_dropped;  // the time of the reading that left the window last
  std::optional<double> m_insideSince;
  double m_lastT = 0;
};

}  // namespace velmora::comparison
