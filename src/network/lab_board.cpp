#include "network/lab_board.h"

#include <algorithm>
#include <cmath>

namespace velmora {

LabInstrument& LabBoard::instrument(const std::string& station, const std::string& name) {
  const int i = find(station, name);
  if (i >= 0) return m_instruments[static_cast<std::size_t>(i)];
  LabInstrument in;
  in.station = station;
  in.instrument = name;
  const auto s = m_stations.find(station);
  if (s != m_stations.end() && s->second == "offline") in.state = "offline";
  m_instruments.push_back(std::move(in));
  m_reorders.push_back(0);
  return m_instruments.back();
}

int LabBoard::find(std::string_view station, std::string_view name) const {
  for (std::size_t i = 0; i < m_instruments.size(); ++i)
    if (m_instruments[i].station == station && m_instruments[i].instrument == name) return static_cast<int>(i);
  return -1;
}

bool LabBoard::take(std::string_view topic, std::string_view payload) {
  // A station's own status: velmora/v1/<station>/status.
  const std::string root = std::string(kTopicRoot) + "/";
  if (topic.substr(0, root.size()) == root) {
    const std::string_view rest = topic.substr(root.size());
    const auto slash = rest.find('/');
    if (slash != std::string_view::npos && rest.substr(slash + 1) == "status" && slash > 0) {
      const std::string station(rest.substr(0, slash));
      const std::string state = jsonString(payload, "state").value_or("");
      m_stations[station] = state;
      // A station gone offline takes its instruments with it; back online they show their own.
      for (auto& in : m_instruments)
        if (in.station == station) in.state = state == "offline" ? "offline" : in.state == "offline" ? "" : in.state;
      return true;
    }
  }
  const auto t = parseLabTopic(topic);
  if (!t) return false;
  if (t->kind == "status") {
    LabInstrument& in = instrument(t->station, t->instrument);
    in.state = jsonString(payload, "state").value_or("");
    in.lastError = jsonString(payload, "last_error").value_or("");
    return true;
  }
  if (t->kind == "factors") {
    instrument(t->station, t->instrument).factors = std::string(payload);
    return true;
  }
  if (t->kind != "reading") return false;
  const auto r = parseReadingPayload(payload);
  if (!r) return false;
  LabInstrument& in = instrument(t->station, t->instrument);
  const std::size_t index = static_cast<std::size_t>(&in - m_instruments.data());
  const LabPoint p{r->utcMs, r->temperature, r->resistance};
  auto& points = in.points;
  in.lastSeq = std::max(in.lastSeq, r->seq);
  if (points.empty() || points.back().utcMs < p.utcMs) {
    points.push_back(p);
  } else {
    // Older than the newest: the backlog's reading in its place, or one that came twice.
    const auto at = std::lower_bound(points.begin(), points.end(), p.utcMs,
                                     [](const LabPoint& a, std::int64_t ms) { return a.utcMs < ms; });
    if (at != points.end() && at->utcMs == p.utcMs) return true;
    points.insert(at, p);
    ++m_reorders[index];
  }
  if (points.size() > kMaxPoints) {
    points.erase(points.begin(), points.begin() + static_cast<std::ptrdiff_t>(points.size() - kMaxPoints));
    ++m_reorders[index];
  }
  return true;
}

LabStability labStability(const LabInstrument& in, double minutes, double threshold) {
  LabStability s;
  if (in.points.size() < 2) return s;
  const std::int64_t newest = in.points.back().utcMs;
  const std::int64_t from = newest - static_cast<std::int64_t>(std::llround(minutes * 60000.0));
  if (in.points.front().utcMs > from) return s;
  double lo = INFINITY, hi = -INFINITY;
  for (auto it = in.points.rbegin(); it != in.points.rend() && it->utcMs >= from; ++it) {
    lo = std::min(lo, it->temperature);
    hi = std::max(hi, it->temperature);
  }
  s.peakToPeak = hi - lo;
  s.state = s.peakToPeak <= threshold ? LabStability::State::Stable : LabStability::State::Unstable;
  return s;
}

bool labStale(const LabInstrument& in, std::int64_t nowUtcMs) {
  if (in.points.empty()) return true;
  std::int64_t interval = 0;
  if (in.points.size() >= 2) interval = in.points.back().utcMs - in.points[in.points.size() - 2].utcMs;
  return nowUtcMs - in.points.back().utcMs > std::max<std::int64_t>(30000, 3 * interval);
}

}  // namespace velmora
