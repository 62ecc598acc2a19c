#pragma once
// What the lab view knows from the messages: every station and instrument, its last reading,
// its state and factors, and its readings in time order for the chart — a historical reading
// (the backlog after an outage) goes in its place, a reading that came twice counts once.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "network/lab_message.h"

namespace velmora {

struct LabPoint {
  std::int64_t utcMs;
  double temperature;
  double resistance;
};

struct LabInstrument {
  std::string station, instrument;
  std::string state, lastError;  // the instrument's status; "offline" when its station went
  std::string factors;           // the factors' message as it came
  std::vector<LabPoint> points;  // by clock time, at most kMaxPoints (the oldest go)
  std::uint64_t lastSeq = 0;
  bool hasReading() const { return !points.empty(); }
  const LabPoint& last() const { return points.back(); }
};

// Peak-to-peak of the readings of the last `minutes` before the newest; whether that is
// within `threshold` (TooShort: the readings do not cover the minutes yet).
struct LabStability {
  enum class State { TooShort, Unstable, Stable } state = State::TooShort;
  double peakToPeak = 0;
};
LabStability labStability(const LabInstrument& in, double minutes, double threshold);

// A reading is stale when none came for three of its intervals, and at least 30 s.
bool labStale(const LabInstrument& in, std::int64_t nowUtcMs);

class LabBoard {
 public:
  static constexpr std::size_t kMaxPoints = 500000;

  // One message; false when it is not Velmora's or cannot be read.
  bool take(std::string_view topic, std::string_view payload);

  const std::vector<LabInstrument>& instruments() const { return m_instruments; }
  // The index of an instrument, or -1.
  int find(std::string_view station, std::string_view instrument) const;
  // Bumped whenever an instrument's readings changed other than at their end (a reading
  // put in its place, the oldest dropped): its chart is then drawn again from scratch.
  std::uint64_t reorders(std::size_t index) const { return m_reorders.at(index); }

 private:
  LabInstrument& instrument(const std::string& station, const std::string& instrument);
  std::vector<LabInstrument> m_instruments;  // in the order they were first heard of
  std::vector<std::uint64_t> m_reorders;
  std::map<std::string, std::string> m_stations;  // a station's own status
};

}  // namespace velmora
