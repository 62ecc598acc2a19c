#include "comparison/stability_engine.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velmora::comparison {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// A window counts as covered when its readings span it up to one reading interval short.
bool spans(double span, double window, double interval) { return span + interval * 1.01 >= window; }
}  // namespace

void StabilityTracker::setRule(const StabilityRule& rule) {
  m_rule = rule;
  clear();
}

void StabilityTracker::setSetPoint(double celsius) {
  m_setPoint = celsius;
  m_insideSince.reset();
  if (!m_window.empty() && m_rule.band && std::fabs(m_window.back().v - celsius) <= *m_rule.band) m_insideSince = m_lastT;
}

void StabilityTracker::clear() {
  m_window.clear();
  m_min.clear();
  m_max.clear();
  m_n = m_st = m_sv = m_stt = m_svv = m_stv = 0;
  m_removed = 0;
  m_dropped.reset();
  m_insideSince.reset();
}

// The sums of the straight line's fit, taken about the window's first sample.
void StabilityTracker::accumulate(double minutes, double value) {
  const double t = minutes - m_t0, v = value - m_v0;
  m_n += 1;
  m_st += t;
  m_sv += v;
  m_stt += t * t;
  m_svv += v * v;
  m_stv += t * v;
}

void StabilityTracker::recompute() {
  m_t0 = m_window.front().t;
  m_v0 = m_window.front().v;
  m_n = m_st = m_sv = m_stt = m_svv = m_stv = 0;
  for (const Sample& s : m_window) accumulate(s.t, s.v);
  m_removed = 0;
}

void StabilityTracker::add(double minutes, double value) {
  if (!std::isfinite(value)) return;
  if (m_window.empty()) {
    m_t0 = minutes;
    m_v0 = value;
  }
  m_lastT = minutes;
  m_window.push_back({minutes, value});
  accumulate(minutes, value);
  while (!m_min.empty() && m_min.back().v >= value) m_min.pop_back();
  m_min.push_back({minutes, value});
  while (!m_max.empty() && m_max.back().v <= value) m_max.pop_back();
  m_max.push_back({minutes, value});
  // Readings older than the window leave it.
  const double from = minutes - m_rule.windowMinutes;
  while (m_window.size() > 1 && m_window.front().t < from) {
    const double ot = m_window.front().t - m_t0, ov = m_window.front().v - m_v0;
    m_n -= 1;
    m_st -= ot;
    m_sv -= ov;
    m_stt -= ot * ot;
    m_svv -= ov * ov;
    m_stv -= ot * ov;
    m_dropped = m_window.front().t;
    m_window.pop_front();
    ++m_removed;
  }
  while (m_min.front().t < m_window.front().t) m_min.pop_front();
  while (m_max.front().t < m_window.front().t) m_max.pop_front();
  if (m_removed > m_window.size() + 64) recompute();  // the subtractions' rounding, kept small
  // The band: inside since the reading that entered it.
  if (m_rule.band && m_setPoint) {
    if (std::fabs(value - *m_setPoint) <= *m_rule.band) {
      if (!m_insideSince) m_insideSince = minutes;
    } else {
      m_insideSince.reset();
    }
  }
}

void StabilityTracker::moments(double& sd, double& slope) const {
  sd = slope = 0;
  if (m_n < 2) return;
  const double meanT = m_st / m_n, meanV = m_sv / m_n;
  const double sxx = std::max(0.0, m_stt - m_n * meanT * meanT);
  const double syy = std::max(0.0, m_svv - m_n * meanV * meanV);
  const double sxy = m_stv - m_n * meanT * meanV;
  sd = std::sqrt(syy / (m_n - 1));
  slope = sxx > 0 ? sxy / sxx : 0;
}

bool StabilityTracker::stable() const {
  if (!m_rule.any() || m_window.size() < 3) return false;
  const double interval = span() / static_cast<double>(m_window.size() - 1);
  if ((m_rule.maxSd || m_rule.maxDriftPerMinute || m_rule.maxPeakToPeak) && !covered(interval))
    return false;
  double sd, slope;
  moments(sd, slope);
  if (m_rule.maxSd && sd > *m_rule.maxSd) return false;
  if (m_rule.maxDriftPerMinute && std::fabs(slope) > *m_rule.maxDriftPerMinute) return false;
  if (m_rule.maxPeakToPeak && m_max.front().v - m_min.front().v > *m_rule.maxPeakToPeak) return false;
  if (m_rule.band) {
    if (!m_setPoint || !m_insideSince) return false;
    if (m_lastT - *m_insideSince + interval * 0.01 < m_rule.bandMinutes) return false;
  }
  return true;
}

// Covered: the readings span the window up to one interval, or the reading that left it last
// was at the usual distance before the first one kept (readings at uneven moments must not
// make it flicker; after a gap in the readings it is not covered).
bool StabilityTracker::covered(double interval) const {
  if (spans(span(), m_rule.windowMinutes, interval)) return true;
  return m_dropped && !m_window.empty() && m_window.front().t - *m_dropped <= 2 * interval;
}

StabilityVerdict StabilityTracker::verdict() const {
  StabilityVerdict v;
  if (m_window.size() < 2) {
    v.etaMinutes = m_rule.windowMinutes;
    return v;
  }
  const double interval = span() / static_cast<double>(m_window.size() - 1);
  v.covered = covered(interval);
  moments(v.sd, v.driftPerMinute);
  v.peakToPeak = m_max.front().v - m_min.front().v;
  v.insideMinutes = m_insideSince ? m_lastT - *m_insideSince : 0;
  v.sdOk = !m_rule.maxSd || v.sd <= *m_rule.maxSd;
  v.driftOk = !m_rule.maxDriftPerMinute || std::fabs(v.driftPerMinute) <= *m_rule.maxDriftPerMinute;
  v.peakToPeakOk = !m_rule.maxPeakToPeak || v.peakToPeak <= *m_rule.maxPeakToPeak;
  v.bandOk = !m_rule.band || (m_setPoint && m_insideSince && v.insideMinutes + interval * 0.01 >= m_rule.bandMinutes);
  v.stable = stable();
  if (v.stable) return v;

  // The estimate: each rule's own, the largest of them.
  double eta = 0;
  const bool windowed = m_rule.maxSd || m_rule.maxDriftPerMinute || m_rule.maxPeakToPeak;
  if (windowed && !v.covered) eta = std::max(eta, m_rule.windowMinutes - span());
  // Spread too large: once the readings that make it so have left the window — the latest
  // stretch that keeps within the rule, looked for from the newest reading back.
  if ((!v.sdOk || !v.peakToPeakOk) && windowed) {
    double lo = m_window.back().v, hi = lo, n = 0, mean = 0, m2 = 0;
    double goodFrom = m_window.back().t;
    for (auto it = m_window.rbegin(); it != m_window.rend(); ++it) {
      lo = std::min(lo, it->v);
      hi = std::max(hi, it->v);
      n += 1;
      const double d = it->v - mean;
      mean += d / n;
      m2 += d * (it->v - mean);
      const double sd = n > 1 ? std::sqrt(m2 / (n - 1)) : 0;
      if ((m_rule.maxPeakToPeak && hi - lo > *m_rule.maxPeakToPeak) || (m_rule.maxSd && sd > *m_rule.maxSd)) break;
      goodFrom = it->t;
    }
    eta = std::max(eta, goodFrom + m_rule.windowMinutes - m_lastT);
  }
  // A drift is judged once the window is covered (a few first readings give any slope).
  if (!v.driftOk && v.covered) eta = kNaN;
  if (m_rule.band && std::isfinite(eta)) {
    if (!m_setPoint) {
      eta = kNaN;
    } else if (m_insideSince) {
      eta = std::max(eta, m_rule.bandMinutes - v.insideMinutes);
    } else {
      // Outside: how long the present drift takes to bring it in, then the band's time.
      const double distance = std::fabs(m_window.back().v - *m_setPoint) - *m_rule.band;
      const bool towards = (m_window.back().v < *m_setPoint) == (v.driftPerMinute > 0);
      eta = towards && std::fabs(v.driftPerMinute) > 1e-9 ? std::max(eta, distance / std::fabs(v.driftPerMinute) + m_rule.bandMinutes)
                                                          : kNaN;
    }
  }
  v.etaMinutes = eta;
  return v;
}

}  // namespace velmora::comparison
