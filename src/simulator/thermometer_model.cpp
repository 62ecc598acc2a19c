#include "simulator/thermometer_model.h"

#include <cmath>
#include <cstdio>

#include "common/number_text.h"
#include "simulator/bath_model.h"

namespace velmora::sim {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

ThermometerModel::ThermometerModel(std::uint32_t seed) : m_rng(seed) {}

double Bath::temperatureAt(double seconds) const {
  return base + amplitude * std::sin(2 * kPi * seconds / periodSeconds);
}

double Bath::probeAt(double seconds, double tau) const {
  const double w = 2 * kPi / periodSeconds;
  const double gain = 1 / std::sqrt(1 + w * w * tau * tau);
  return base + amplitude * gain * std::sin(w * seconds - std::atan(w * tau));
}

void placeInBath(ThermometerModel& m, std::shared_ptr<const Bath> bath, int index) {
  m.bath = std::move(bath);
  if (index <= 1) {
    m.bathOffset = 0;
    m.bathTau = 6;
    m.profile.noise = 0.0005;
    return;
  }
  m.bathOffset = ((index * 7) % 9 - 4) * 0.005;
  m.bathTau = 4 + (index * 5) % 17;
  m.profile.noise = 0.002 + 0.0005 * (index % 4);
  m.sensor.R0 = 100.0 + ((index * 3) % 7 - 3) * 0.01;  // the stored factors stay nominal
  m.bathGradient = ((index * 5) % 7 - 3) * 5e-5;
}

double ThermometerModel::temperatureAt(double seconds) const {
  if (bath && bath->driven) return bath->driven->probe(bathTau, bathGradient) + bathOffset;
  if (bath) return bath->probeAt(seconds, bathTau) + bathOffset;
  switch (profile.kind) {
    case Profile::Kind::Steady:
      return profile.base;
    case Profile::Kind::Ramp:
      return profile.base + profile.ratePerMinute * seconds / 60.0;
    case Profile::Kind::Step:
      return profile.base + (seconds >= profile.stepAfterSeconds ? profile.stepSize : 0.0);
    case Profile::Kind::Sine:
      return profile.base + profile.amplitude * std::sin(2 * kPi * seconds / profile.periodSeconds);
  }
  return profile.base;
}

std::string ThermometerModel::factorLine() const {
  char buf[160];
  std::snprintf(buf, sizeof buf, "Rt0=%.4f,A=%.4E,B=%.4E,C=%.4E", stored.R0, stored.A, stored.B, stored.C);
  return buf;
}

std::string ThermometerModel::randomBytes(int n) {
  std::string s;
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < n; ++i) s.push_back(static_cast<char>(byte(m_rng)));
  return s;
}

std::string ThermometerModel::receive(std::string_view bytes, double nowSeconds) {
  std::string out;
  for (char c : bytes) {
    if (c == '\r') {
      out += answer(m_line, nowSeconds);
      m_line.clear();
    } else if (c != '\n' && c != '\0' && m_line.size() < 256) {
      m_line.push_back(c);
    }
  }
  return out;
}

std::string ThermometerModel::answer(std::string_view line, double nowSeconds) {
  std::string reply;
  bool answered = true;
  if (line == "d") {
    std::normal_distribution<double> noise(0.0, profile.noise);
    const double t = temperatureAt(nowSeconds) + (profile.noise > 0 ? noise(m_rng) : 0.0);
    const double r = math::RofT(sensor, t, t < 0);
    double shown;
    try {
      shown = math::TofR(stored, r);
    } catch (const math::FloatError&) {
      shown = 0;  // factors that make no sense: the instrument shows 0
    }
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.3f %.3f", r, shown);
    reply = buf;
  } else if (line == "q") {
    reply = factorLine();
  } else if (line.size() > 2 && line[0] == 'w' && std::string_view("RABC").find(line[1]) != std::string_view::npos) {
    static constexpr const char* kSuffix[4] = {"", "1e-3", "1e-7", "1e-12"};
    static constexpr double kScale[4] = {1, 1e-3, 1e-7, 1e-12};
    const int index = static_cast<int>(std::string_view("RABC").find(line[1]));
    std::string_view value = line.substr(2);
    const std::string_view suffix = kSuffix[index];
    if (!suffix.empty() && value.size() > suffix.size() && value.substr(value.size() - suffix.size()) == suffix)
      value.remove_suffix(suffix.size());
    if (auto v = parseNumber(value)) {
      m_pendingIndex = index;
      m_pendingValue = *v * kScale[index];
    } else {
      m_pendingIndex = -1;
    }
    reply = std::string(line);
    if (faults.wrongEchoes > 0) {
      --faults.wrongEchoes;
      reply[0] = 'W';  // differs only in letter case
    }
  } else if (line == "wY") {
    if (m_pendingIndex >= 0 && m_pendingIndex == faults.storeDifferent) m_pendingValue *= 1.001;
    if (m_pendingIndex == 0) stored.R0 = m_pendingValue;
    if (m_pendingIndex == 1) stored.A = m_pendingValue;
    if (m_pendingIndex == 2) stored.B = m_pendingValue;
    if (m_pendingIndex == 3) stored.C = m_pendingValue;
    m_pendingIndex = -1;
    reply = factorLine();
  } else if (line == "wN") {
    m_pendingIndex = -1;
    answered = false;
  } else {
    answered = false;
  }
  if (!answered || faults.silent) return {};
  if (line == "d") ++m_readings;  // readings actually answered
  std::uniform_real_distribution<double> chance(0, 1);
  std::string out;
  if (faults.noiseBurstRate > 0 && chance(m_rng) < faults.noiseBurstRate) out += randomBytes(8 + static_cast<int>(m_rng() % 24));
  if (faults.garbageRate > 0 && chance(m_rng) < faults.garbageRate) reply = randomBytes(4 + static_cast<int>(m_rng() % 20));
  out += reply;
  if (!faults.withoutCr) out.push_back('\r');
  return out;
}

}  // namespace velmora::sim
