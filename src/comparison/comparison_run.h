#pragma once
// A comparison calibration run: the reference thermometer and the probes under test in one
// bath, taken through a plan of set points. At each set point the bath is sent there (or the
// user confirms it got there), the plan's soak time passes, and then every included channel —
// the reference, each probe under test, the bath's own sensor — must meet the stability rule
// at once (the capture lock) before the point is captured: every channel's mean over the same
// stretch of time. A probe that does not settle within the plan's longest wait is left out of
// that set point and reported; the others go on. Time comes in as minutes from the caller, so
// tests run in virtual time; every event goes to the run's journal, from which a run that was
// cut off is taken up again with every captured point kept.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "comparison/stability_engine.h"

namespace velmora::comparison {

enum class Order { AsListed, Ascending, Descending };

// The journal's words: a name as one word (blanks and "%" as %XX) and back; a line's words.
std::string journalWord(const std::string& s);
std::string journalUnword(std::string_view s);
std::vector<std::string_view> journalWords(std::string_view line);

struct Plan {
  std::vector<double> setPoints;  // °C
  Order order = Order::AsListed;
  double soakMinutes = 10;
  StabilityRule rule;
  bool bathInLock = true;      // the bath's own sensor must settle too (with a bath driver)
  int captureReadings = 0;     // > 0: this many readings of every channel …
  double captureMinutes = 2;   // … else the readings of this many minutes
  double maxWaitMinutes = 60;  // after the soak, for the channels to settle
  double reachedBand = 0.2;    // the bath "got there" within this of the set point (°C)
  // A point counts only when the reference's mean lies within this of its set point (°C).
  double setPointTolerance = 1;
  // A set point that ends without a point (the bath did not get there, the reference did not
  // settle or was too far off, no probe settled) stops the run instead of the run going on.
  bool stopOnMissed = false;
  // The set points in the order they are run.
  std::vector<double> ordered() const;
};

// What one channel gave over a capture.
struct ChannelCapture {
  int channel = -1;
  std::size_t n = 0;
  double meanR = 0, meanT = 0, sdR = 0, sdT = 0;  // Ω and °C (the instrument's own temperature)
  std::int64_t firstUtcMs = 0, lastUtcMs = 0;
};

struct CapturedPoint {
  int index = 0;        // in the ordered plan
  double setPoint = 0;  // °C
  std::optional<double> bathMean;
  double bathSd = 0;
  std::size_t bathN = 0;
  // Captured although the reference was further than the tolerance from the set point (the
  // user said the bath was there and chose to capture anyway).
  bool forced = false;
  std::vector<ChannelCapture> channels;  // the reference first, then the probes captured
  const ChannelCapture* find(int channel) const;
};

// Why a set point ended without a point, or a probe was left out of one. The journal's words:
// "not stable" (a probe, or the reference, did not settle within the longest wait), "not reached"
// (the bath did not get to the set point within the longest wait), "reference off" (the
// reference's mean, `value`, too far from the set point), "no probe" (every probe left out).
struct Notice {
  int index;    // the set point's
  int channel;  // -1: the set point as a whole
  std::string text;
  std::optional<double> value = std::nullopt;
  std::int64_t utcMs = 0;  // when it was noted (0: not known)
};
inline constexpr const char* kNotStable = "not stable";
inline constexpr const char* kNotReached = "not reached";
inline constexpr const char* kReferenceOff = "reference off";
inline constexpr const char* kNoProbe = "no probe";

// In a run's journal, the line after which an as-left pass's journal follows (a run's own
// journal, with the factors each probe held before the write and the probes written).
inline constexpr std::string_view kAsLeftMark = "asleft begin";

class ComparisonRun {
 public:
  // `channels`: how many there are (readings come by index); `reference` and `underTest` by
  // index; `withBath`: a bath driver sends the set points and reads the bath.
  ComparisonRun(Plan plan, int channels, int reference, std::vector<int> underTest, bool withBath);

  enum class Phase { Idle, Approaching, Soaking, Settling, Capturing, Done, Stopped };

  // The caller's wiring: the bath's set point (with a driver), each journal line.
  std::function<void(double)> sendSetPoint;
  std::function<void(const std::string&)> journal;

  void start(double now, std::int64_t utcMs);
  void stop(double now);
  void reading(int channel, double now, double resistance, double temperature, std::int64_t utcMs);
  void bathReading(double now, double temperature);
  // Without a driver: the user says the bath is there; `anyway`: capture even when the
  // reference turns out further than the tolerance from the set point.
  void confirmReached(double now, bool anyway = false);
  void tick(double now);            // the approach, the soak and the longest wait end in time
  // The clock time the caller gives with every reading, for what the run notes (ms since 1970).
  std::int64_t lastUtcMs() const { return m_lastUtc; }

  Phase phase() const { return m_phase; }
  int index() const { return m_index; }  // the set point under way (in the ordered plan)
  double setPoint() const;
  double phaseSince() const { return m_phaseSince; }
  bool withBath() const { return m_withBath; }
  const Plan& plan() const { return m_plan; }
  int reference() const { return m_reference; }
  const std::vector<int>& underTest() const { return m_underTest; }
  const StabilityTracker& tracker(int channel) const { return m_trackers.at(static_cast<std::size_t>(channel)); }
  const StabilityTracker& bathTracker() const { return m_bath; }
  // Whether a channel is part of this set point's capture lock (a probe given up is not).
  bool included(int channel) const;
  bool locked() const;  // every included channel meets the rule
  const std::vector<CapturedPoint>& points() const { return m_points; }
  const std::vector<Notice>& notices() const { return m_notices; }

  // Resuming: the plan, the channels and the points of a journal's text; nothing when the
  // text is not a run's journal. `finished`: it reached its end (nothing to resume).
  struct Restored {
    Plan plan;
    int channels = 0, reference = 0;
    std::vector<int> underTest;
    std::vector<std::string> names;
    bool withBath = false;
    std::vector<CapturedPoint> points;
    std::vector<Notice> notices;
    int nextIndex = 0;
    bool finished = false;
  };
  static std::optional<Restored> restore(std::string_view journalText);
  // The restored run bound to the instruments there are now, by name (the journal names each
  // instrument): the reference, the probes and every captured point follow their instrument
  // whatever its place in the list. Nothing, with the name in `missing`, when an instrument
  // of the run is not there. A journal without names keeps the places.
  static std::optional<Restored> rebind(const Restored& r, const std::vector<std::string>& names, std::string* missing);
  // Takes a restored run up at its next set point.
  void resume(const Restored& r, double now);
  // The journal's first lines: the run's set-up (names of the channels for the reader).
  std::string header(const std::vector<std::string>& names) const;

 private:
  void enter(Phase p, double now);
  void beginSetPoint(double now);
  void beginCapture(double now);
  void finishCapture(double now);
  void checkLock(double now);
  void log(const std::string& line);
  void notice(int channel, const char* text, std::optional<double> value = std::nullopt);
  // The set point ends without a point: on to the next one, or the run stops.
  void missed(double now);

  Plan m_plan;
  std::vector<double> m_order;
  int m_channels, m_reference;
  std::vector<int> m_underTest;
  bool m_withBath;
  std::vector<StabilityTracker> m_trackers;
  StabilityTracker m_bath;
  std::vector<bool> m_givenUp;  // at this set point
  Phase m_phase = Phase::Idle;
  double m_phaseSince = 0;
  int m_index = 0;
  // The capture under way: running sums per channel.
  struct Sums {
    std::size_t n = 0;
    double sr = 0, st = 0, srr = 0, stt = 0, r0 = 0, t0 = 0;
    std::int64_t first = 0, last = 0;
  };
  std::vector<Sums> m_sums;
  double m_bathSum = 0, m_bathSq = 0, m_bath0 = 0;
  std::size_t m_bathN = 0;
  bool m_anyway = false;  // this set point's capture was asked for whatever the reference reads
  std::int64_t m_lastUtc = 0;
  double m_captureStart = 0;
  std::vector<CapturedPoint> m_points;
  std::vector<Notice> m_notices;
};

}  // namespace velmora::comparison
