#pragma once
// The recording clock: elapsed recording time in days, AccumTime + (now − StartTime). It
// grows only while recording runs; "now" comes from an injected clock so that tests run in
// virtual time. The program's clock is monotonic, so neither midnight nor a change of the
// system time or of daylight saving makes the elapsed time jump.

#include <chrono>
#include <cstdint>

namespace velmora {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual double nowDays() const = 0;
  // The wall-clock time, ms since 1970-01-01 UTC (what a reading is stamped with).
  virtual std::int64_t utcMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  }
};

// The program's clock: monotonic, in days.
class SteadyDayClock : public Clock {
 public:
  double nowDays() const override {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count() / 86400.0;
  }
};

class RecordingClock {
 public:
  explicit RecordingClock(const Clock& clock) : m_clock(clock) {}

  void startRun() { StartTime = m_clock.nowDays(); }
  void endRun() { AccumTime += m_clock.nowDays() - StartTime; }
  double elapsed() const { return AccumTime + (m_clock.nowDays() - StartTime); }
  void continueAfterLoad(double lastX) {
    StartTime = m_clock.nowDays();
    AccumTime = lastX;
  }
  void reset() {
    StartTime = m_clock.nowDays();
    AccumTime = 0;
  }

  double StartTime = 0;
  double AccumTime = 0;

 private:
  const Clock& m_clock;
};

}  // namespace velmora
