#include "comparison/comparison_run.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

#include "common/number_text.h"

namespace velmora::comparison {

namespace {
std::string num(double v) { return shortestText(v); }
}  // namespace

// A name as one word of a journal line: blanks and "%" as %XX.
std::string journalWord(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == ' ' || c == '%' || c == '\t' || c == '\n' || c == '\r') {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", static_cast<unsigned char>(c));
      out += buf;
    } else {
      out.push_back(c);
    }
  }
  return out.empty() ? "%00" : out;
}
std::string journalUnword(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    unsigned v = 0;
    if (s[i] == '%' && i + 2 < s.size() && std::from_chars(s.data() + i + 1, s.data() + i + 3, v, 16).ptr == s.data() + i + 3) {
      if (v) out.push_back(static_cast<char>(v));
      i += 2;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

std::vector<std::string_view> journalWords(std::string_view line) {
  std::vector<std::string_view> out;
  while (!line.empty()) {
    const auto b = line.find(' ');
    if (b != 0) out.push_back(line.substr(0, b));
    if (b == std::string_view::npos) break;
    line.remove_prefix(b + 1);
  }
  return out;
}

namespace {
std::optional<double> d(std::string_view s) { return s == "-" ? std::optional<double>() : parseNumber(s); }
std::string opt(const std::optional<double>& v) { return v ? num(*v) : "-"; }
}  // namespace

std::vector<double> Plan::ordered() const {
  std::vector<double> v = setPoints;
  if (order == Order::Ascending) std::sort(v.begin(), v.end());
  if (order == Order::Descending) std::sort(v.begin(), v.end(), std::greater<double>());
  return v;
}

const ChannelCapture* CapturedPoint::find(int channel) const {
  for (const auto& c : channels)
    if (c.channel == channel) return &c;
  return nullptr;
}

ComparisonRun::ComparisonRun(Plan plan, int channels, int reference, std::vector<int> underTest, bool withBath)
    : m_plan(std::move(plan)),
      m_order(m_plan.ordered()),
      m_channels(channels),
      m_reference(reference),
      m_underTest(std::move(underTest)),
      m_withBath(withBath),
      m_trackers(static_cast<std::size_t>(channels), StabilityTracker(m_plan.rule)),
      m_bath(m_plan.rule),
      m_givenUp(static_cast<std::size_t>(channels), false),
      m_sums(static_cast<std::size_t>(channels)) {}

double ComparisonRun::setPoint() const {
  return m_index < static_cast<int>(m_order.size()) ? m_order[static_cast<std::size_t>(m_index)] : NAN;
}

void ComparisonRun::log(const std::string& line) {
  if (journal) journal(line);
}

std::string ComparisonRun::header(const std::vector<std::string>& names) const {
  std::string h = "VELMORA BENCH 1\n";
  h += "setpoints";
  for (double v : m_plan.setPoints) h += " " + num(v);
  h += "\norder " + std::string(m_plan.order == Order::Ascending ? "ascending" : m_plan.order == Order::Descending ? "descending" : "listed");
  const StabilityRule& r = m_plan.rule;
  h += "\nrule " + num(r.windowMinutes) + " " + opt(r.maxSd) + " " + opt(r.maxDriftPerMinute) + " " + opt(r.maxPeakToPeak) + " " +
       opt(r.band) + " " + num(r.bandMinutes);
  h += "\ntiming " + num(m_plan.soakMinutes) + " " + std::to_string(m_plan.captureReadings) + " " + num(m_plan.captureMinutes) +
       " " + num(m_plan.maxWaitMinutes) +  " " + num(m_plan.reachedBand) + " " + (m_plan.bathInLock ? "1" : "0") + " " + num(m_plan.setPointTolerance) + " " +
       (m_plan.stopOnMissed ? "1" : "0");
  h += "\nchannels " + std::to_string(m_channels);
  for (const auto& n : names) h += " " + journalWord(n);
  h += "\nreference " + std::to_string(m_reference) + "\nundertest";
  for (int k : m_underTest) h += " " + std::to_string(k);
  h += std::string("\nbath ") + (m_withBath ? "1" : "0") + "\n";
  return h;
}

void ComparisonRun::enter(Phase p, double now) {
  m_phase = p;
  m_phaseSince = now;
}

void ComparisonRun::start(double now, std::int64_t utcMs) {
  log("start " + std::to_string(utcMs));
  m_index = 0;
  beginSetPoint(now);
}

void ComparisonRun::stop(double now) {
  if (m_phase == Phase::Done) return;
  enter(Phase::Stopped, now);
  log("stopped");
}

void ComparisonRun::beginSetPoint(double now) {
  if (m_index >= static_cast<int>(m_order.size())) {
    enter(Phase::Done, now);
    log("done");
    return;
  }
  std::fill(m_givenUp.begin(), m_givenUp.end(), false);
  m_anyway = false;
  for (auto& t : m_trackers) t.setSetPoint(setPoint());
  m_bath.setSetPoint(setPoint());
  log("setpoint " + std::to_string(m_index) + " " + num(setPoint()));
  enter(Phase::Approaching, now);
  if (m_withBath && sendSetPoint) sendSetPoint(setPoint());
}

void ComparisonRun::confirmReached(double now, bool anyway) {
  if (m_phase != Phase::Approaching) return;
  m_anyway = anyway;
  log("reached " + std::to_string(m_index) + (anyway ? " anyway" : ""));
  enter(Phase::Soaking, now);
  tick(now);
}

bool ComparisonRun::included(int channel) const {
  if (channel == m_reference) return true;
  return std::find(m_underTest.begin(), m_underTest.end(), channel) != m_underTest.end() &&
         !m_givenUp[static_cast<std::size_t>(channel)];
}

bool ComparisonRun::locked() const {
  if (!m_trackers[static_cast<std::size_t>(m_reference)].stable()) return false;
  for (int k : m_underTest)
    if (included(k) && !m_trackers[static_cast<std::size_t>(k)].stable()) return false;
  if (m_withBath && m_plan.bathInLock && !m_bath.stable()) return false;
  return true;
}

void ComparisonRun::checkLock(double now) {
  if (m_phase == Phase::Settling && locked()) beginCapture(now);
}

void ComparisonRun::reading(int channel, double now, double resistance, double temperature, std::int64_t utcMs) {
  if (channel < 0 || channel >= m_channels) return;
  m_lastUtc = utcMs;
  m_trackers[static_cast<std::size_t>(channel)].add(now, temperature);
  if (m_phase == Phase::Capturing && included(channel)) {
    Sums& s = m_sums[static_cast<std::size_t>(channel)];
    if (s.n == 0) {
      s.r0 = std::isfinite(resistance) ? resistance : 0;
      s.t0 = temperature;
      s.first = utcMs;
    }
    const double r = (std::isfinite(resistance) ? resistance : 0) - s.r0, t = temperature - s.t0;
    ++s.n;
    s.sr += r;
    s.st += t;
    s.srr += r * r;
    s.stt += t * t;
    s.last = utcMs;
  }
  tick(now);
}

void ComparisonRun::bathReading(double now, double temperature) {
  m_bath.add(now, temperature);
  if (m_phase == Phase::Approaching && std::fabs(temperature - setPoint()) <= m_plan.reachedBand) confirmReached(now);
  if (m_phase == Phase::Capturing) {
    if (m_bathN == 0) m_bath0 = temperature;
    m_bathSum += temperature - m_bath0;
    m_bathSq += (temperature - m_bath0) * (temperature - m_bath0);
    ++m_bathN;
  }
  tick(now);
}

void ComparisonRun::tick(double now) {
  switch (m_phase) {
    case Phase::Approaching:
      // A bath that does not answer, or does not get there, ends the set point in time.
      if (m_withBath && now - m_phaseSince >= m_plan.maxWaitMinutes) {
        notice(-1, kNotReached);
        missed(now);
      }
      break;
    case Phase::Soaking:
      if (now - m_phaseSince >= m_plan.soakMinutes) {
        enter(Phase::Settling, now);
        log("settling " + std::to_string(m_index));
        checkLock(now);
      }
      break;
    case Phase::Settling: {
      checkLock(now);
      if (m_phase != Phase::Settling || now - m_phaseSince < m_plan.maxWaitMinutes) break;
      // The longest wait is over: the reference (and the bath) must be there; probes that
      // are not are left out of this set point.
      const bool referenceOk = m_trackers[static_cast<std::size_t>(m_reference)].stable() &&
                               (!m_withBath || !m_plan.bathInLock || m_bath.stable());
      if (!referenceOk) {
        notice(-1, kNotStable);
        missed(now);
        break;
      }
      bool any = false;
      for (int k : m_underTest)
        if (included(k) && !m_trackers[static_cast<std::size_t>(k)].stable()) {
          m_givenUp[static_cast<std::size_t>(k)] = true;
          notice(k, kNotStable);
        } else {
          any = any || included(k);
        }
      if (!any) {  // a point of the reference alone calibrates nothing
        notice(-1, kNoProbe);
        missed(now);
        break;
      }
      beginCapture(now);
      break;
    }
    case Phase::Capturing: {
      bool done;
      if (m_plan.captureReadings > 0) {
        done = true;
        for (int k = 0; k < m_channels; ++k)
          if (included(k) && m_sums[static_cast<std::size_t>(k)].n < static_cast<std::size_t>(m_plan.captureReadings)) done = false;
      } else {
        done = now - m_phaseSince >= m_plan.captureMinutes;
      }
      if (done) finishCapture(now);
      break;
    }
    default:
      break;
  }
}

void ComparisonRun::notice(int channel, const char* text, std::optional<double> value) {
  m_notices.push_back({m_index, channel, text, value, m_lastUtc});
  log("notice " + std::to_string(m_index) + " " + std::to_string(channel) + " " + journalWord(text) + " " + opt(value) + " " +
      std::to_string(m_lastUtc));
}

void ComparisonRun::missed(double now) {
  ++m_index;
  if (m_plan.stopOnMissed && m_index < static_cast<int>(m_order.size())) {
    log("setpoint " + std::to_string(m_index) + " " + num(setPoint()));  // taken up again, the run goes on here
    stop(now);
    return;
  }
  beginSetPoint(now);
}

void ComparisonRun::beginCapture(double now) {
  for (auto& s : m_sums) s = Sums{};
  m_bathSum = m_bathSq = 0;
  m_bathN = 0;
  m_captureStart = now;
  log("capture " + std::to_string(m_index));
  enter(Phase::Capturing, now);
}

void ComparisonRun::finishCapture(double now) {
  CapturedPoint p;
  p.index = m_index;
  p.setPoint = setPoint();
  p.forced = m_anyway;
  p.bathN = m_bathN;
  if (m_bathN > 0) {
    const double n = static_cast<double>(m_bathN);
    p.bathMean = m_bath0 + m_bathSum / n;
    if (m_bathN > 1) p.bathSd = std::sqrt(std::max(0.0, (m_bathSq - m_bathSum * m_bathSum / n) / (n - 1)));
  }
  auto capture = [&](int k) {
    const Sums& s = m_sums[static_cast<std::size_t>(k)];
    ChannelCapture c;
    c.channel = k;
    c.n = s.n;
    if (s.n > 0) {
      const double n = static_cast<double>(s.n);
      c.meanR = s.r0 + s.sr / n;
      c.meanT = s.t0 + s.st / n;
      if (s.n > 1) {
        c.sdR = std::sqrt(std::max(0.0, (s.srr - s.sr * s.sr / n) / (n - 1)));
        c.sdT = std::sqrt(std::max(0.0, (s.stt - s.st * s.st / n) / (n - 1)));
      }
    }
    c.firstUtcMs = s.first;
    c.lastUtcMs = s.last;
    return c;
  };
  p.channels.push_back(capture(m_reference));
  for (int k : m_underTest)
    if (included(k) && m_sums[static_cast<std::size_t>(k)].n > 0) p.channels.push_back(capture(k));
  // A point needs the reference where the set point is (unless the user said to take it
  // anyway) and a probe beside it.
  const ChannelCapture& ref = p.channels.front();
  if (ref.n == 0) {
    notice(-1, kNotStable);
    missed(now);
    return;
  }
  if (!m_anyway && std::fabs(ref.meanT - p.setPoint) > m_plan.setPointTolerance) {
    notice(-1, kReferenceOff, ref.meanT);
    missed(now);
    return;
  }
  if (p.channels.size() < 2) {
    notice(-1, kNoProbe);
    missed(now);
    return;
  }
  // Into the journal whole, before it counts.
  log("point " + std::to_string(p.index) + " " + num(p.setPoint) + " " + opt(p.bathMean) + " " + (p.forced ? "1" : "0") + " " +
      num(p.bathSd) + " " + std::to_string(p.bathN));
  for (const auto& c : p.channels)
    log("c " + std::to_string(c.channel) + " " + std::to_string(c.n) + " " + num(c.meanR) + " " + num(c.meanT) + " " +
        num(c.sdR) + " " + num(c.sdT) + " " + std::to_string(c.firstUtcMs) + " " + std::to_string(c.lastUtcMs));
  log("endpoint " + std::to_string(p.index));
  m_points.push_back(std::move(p));
  ++m_index;
  beginSetPoint(now);
}

std::optional<ComparisonRun::Restored> ComparisonRun::restore(std::string_view text) {
  Restored r;
  std::optional<CapturedPoint> pending;
  bool header = false, plan = false;
  while (!text.empty()) {
    const auto nl = text.find('\n');
    if (nl == std::string_view::npos) break;  // a half-written last line
    const std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl + 1);
    if (line == kAsLeftMark) break;  // an as-left pass's own journal follows
    const auto w = journalWords(line);
    if (w.empty()) continue;
    const std::string_view k = w[0];
    if (k == "VELMORA") {
      header = line == "VELMORA BENCH 1";
    } else if (k == "setpoints") {
      for (std::size_t i = 1; i < w.size(); ++i)
        if (auto v = d(w[i])) r.plan.setPoints.push_back(*v);
      plan = true;
    } else if (k == "order" && w.size() > 1) {
      r.plan.order = w[1] == "ascending" ? Order::Ascending : w[1] == "descending" ? Order::Descending : Order::AsListed;
    } else if (k == "rule" && w.size() > 6) {
      r.plan.rule.windowMinutes = d(w[1]).value_or(10);
      r.plan.rule.maxSd = d(w[2]);
      r.plan.rule.maxDriftPerMinute = d(w[3]);
      r.plan.rule.maxPeakToPeak = d(w[4]);
      r.plan.rule.band = d(w[5]);
      r.plan.rule.bandMinutes = d(w[6]).value_or(5);
    } else if (k == "timing" && w.size() > 6) {
      r.plan.soakMinutes = d(w[1]).value_or(10);
      r.plan.captureReadings = static_cast<int>(d(w[2]).value_or(0));
      r.plan.captureMinutes = d(w[3]).value_or(2);
      r.plan.maxWaitMinutes = d(w[4]).value_or(60);
      r.plan.reachedBand = d(w[5]).value_or(0.2);
      r.plan.bathInLock = w[6] == "1";
      if (w.size() > 8) {
        r.plan.setPointTolerance = d(w[7]).value_or(1);
        r.plan.stopOnMissed = w[8] == "1";
      }
    } else if (k == "channels" && w.size() > 1) {
      r.channels = static_cast<int>(d(w[1]).value_or(0));
      for (std::size_t i = 2; i < w.size(); ++i) r.names.push_back(journalUnword(w[i]));
    } else if (k == "reference" && w.size() > 1) {
      r.reference = static_cast<int>(d(w[1]).value_or(0));
    } else if (k == "undertest") {
      for (std::size_t i = 1; i < w.size(); ++i) r.underTest.push_back(static_cast<int>(d(w[i]).value_or(-1)));
    } else if (k == "bath" && w.size() > 1) {
      r.withBath = w[1] == "1";
    } else if (k == "point" && w.size() > 3) {
      pending = CapturedPoint{};
      pending->index = static_cast<int>(d(w[1]).value_or(0));
      pending->setPoint = d(w[2]).value_or(0);
      pending->bathMean = d(w[3]);
      if (w.size() > 6) {
        pending->forced = w[4] == "1";
        pending->bathSd = d(w[5]).value_or(0);
        pending->bathN = static_cast<std::size_t>(d(w[6]).value_or(0));
      }
    } else if (k == "c" && pending && w.size() > 8) {
      ChannelCapture c;
      c.channel = static_cast<int>(d(w[1]).value_or(-1));
      c.n = static_cast<std::size_t>(d(w[2]).value_or(0));
      c.meanR = d(w[3]).value_or(NAN);
      c.meanT = d(w[4]).value_or(NAN);
      c.sdR = d(w[5]).value_or(0);
      c.sdT = d(w[6]).value_or(0);
      c.firstUtcMs = static_cast<std::int64_t>(d(w[7]).value_or(0));
      c.lastUtcMs = static_cast<std::int64_t>(d(w[8]).value_or(0));
      pending->channels.push_back(c);
    } else if (k == "endpoint" && pending) {
      r.nextIndex = pending->index + 1;
      r.points.push_back(std::move(*pending));
      pending.reset();
    } else if (k == "notice" && w.size() > 3) {
      Notice n{static_cast<int>(d(w[1]).value_or(0)), static_cast<int>(d(w[2]).value_or(-1)), journalUnword(w[3])};
      if (w.size() > 5) {
        n.value = d(w[4]);
        n.utcMs = static_cast<std::int64_t>(d(w[5]).value_or(0));
      }
      r.notices.push_back(std::move(n));
    } else if (k == "setpoint" && w.size() > 1) {
      r.nextIndex = std::max(r.nextIndex, static_cast<int>(d(w[1]).value_or(0)));
    } else if (k == "done") {
      r.finished = true;
    }
  }
  // A point cut off before its end is not a point; its set point runs again.
  if (!header || !plan || r.channels <= 0 || r.reference < 0 || r.reference >= r.channels) return std::nullopt;
  for (int k : r.underTest)
    if (k < 0 || k >= r.channels) return std::nullopt;
  return r;
}

void ComparisonRun::resume(const Restored& r, double now) {
  m_points = r.points;
  m_notices = r.notices;
  m_index = r.nextIndex;
  log("resumed " + std::to_string(m_index));
  beginSetPoint(now);
}

std::optional<ComparisonRun::Restored> ComparisonRun::rebind(const Restored& r, const std::vector<std::string>& names,
                                                            std::string* missing) {
  if (r.names.empty()) {
    if (r.channels > static_cast<int>(names.size())) {
      if (missing) *missing = std::to_string(r.channels);
      return std::nullopt;
    }
    return r;
  }
  // Where each instrument of the run is now (-1: not there).
  std::vector<int> to(r.names.size(), -1);
  std::vector<bool> taken(names.size(), false);
  for (std::size_t i = 0; i < r.names.size(); ++i)
    for (std::size_t j = 0; j < names.size(); ++j)
      if (!taken[j] && names[j] == r.names[i]) {
        to[i] = static_cast<int>(j);
        taken[j] = true;
        break;
      }
  const auto now = [&](int old) { return old >= 0 && static_cast<std::size_t>(old) < to.size() ? to[static_cast<std::size_t>(old)] : -1; };
  std::vector<int> needed = r.underTest;
  needed.push_back(r.reference);
  for (int k : needed)
    if (now(k) < 0) {
      if (missing) *missing = k >= 0 && static_cast<std::size_t>(k) < r.names.size() ? r.names[static_cast<std::size_t>(k)] : std::to_string(k + 1);
      return std::nullopt;
    }
  Restored out = r;
  out.channels = static_cast<int>(names.size());
  out.reference = now(r.reference);
  for (int& k : out.underTest) k = now(k);
  out.names = names;
  for (auto& p : out.points)
    for (auto& c : p.channels) c.channel = now(c.channel);
  for (auto& n : out.notices)
    if (n.channel >= 0) n.channel = now(n.channel);
  return out;
}

}  // namespace velmora::comparison
