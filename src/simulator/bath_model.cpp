#include "simulator/bath_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/number_text.h"

namespace velmora::sim {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kStep = 0.05;  // s of bath time per integration step
}  // namespace

DrivenBath::DrivenBath(double start, std::uint32_t seed)
    : m_last(std::chrono::steady_clock::now()), m_temperature(start), m_target(start), m_ramped(start), m_rng(seed) {}

void DrivenBath::advance() {
  const auto now = std::chrono::steady_clock::now();
  double seconds = std::chrono::duration<double>(now - m_last).count() * speed;
  m_last = now;
  const double w = 2 * kPi / naturalPeriodSeconds;
  // At most an hour of bath time at once (a bath left alone simply arrives).
  seconds = std::min(seconds, 3600.0);
  for (double t = 0; t < seconds; t += kStep) {
    const double dt = std::min(kStep, seconds - t);
    // The set point the controller follows moves at the scan rate.
    if (scanRatePerMinute > 0) {
      const double step = scanRatePerMinute / 60.0 * dt;
      m_ramped += std::clamp(m_target - m_ramped, -step, step);
    } else {
      m_ramped = m_target;
    }
    const double accel = w * w * (m_ramped - m_temperature) - 2 * damping * w * m_velocity;
    m_velocity += accel * dt;
    m_temperature += m_velocity * dt;
    for (auto& [tau, value] : m_probes) value += (m_temperature - value) * (tau > 0 ? std::min(1.0, dt / tau) : 1.0);
  }
}

void DrivenBath::setSetPoint(double celsius) {
  std::lock_guard lock(m_mutex);
  advance();
  m_target = celsius;
}

double DrivenBath::setPoint() const {
  std::lock_guard lock(m_mutex);
  return m_target;
}

double DrivenBath::reading() {
  std::lock_guard lock(m_mutex);
  advance();
  return m_temperature + std::normal_distribution<double>(0, noise)(m_rng);
}

double DrivenBath::probe(double tau, double gradient) {
  std::lock_guard lock(m_mutex);
  advance();
  auto it = m_probes.find(tau);
  if (it == m_probes.end()) it = m_probes.emplace(tau, m_temperature).first;
  return it->second + gradient * (it->second - 20.0);
}

std::string DrivenBath::receive(std::string_view bytes) {
  std::string out;
  if (silent) return out;
  for (char c : bytes) {
    if (c == '\n' || c == '\0') continue;
    if (c != '\r') {
      if (m_line.size() < 64) m_line.push_back(c);
      continue;
    }
    const std::string line = std::string(trimBlanks(m_line));
    m_line.clear();
    char buf[64];
    if (line == "t") {
      std::snprintf(buf, sizeof buf, "t: %.3f C\r\n", reading());
      out += buf;
    } else if (line == "s") {
      std::snprintf(buf, sizeof buf, "set: %.3f C\r\n", setPoint());
      out += buf;
    } else if (line.rfind("s=", 0) == 0) {
      if (const auto v = parseNumber(line.substr(2))) setSetPoint(*v);
    } else if (line == "sr") {
      std::lock_guard lock(m_mutex);
      std::snprintf(buf, sizeof buf, "sr: %.3f\r\n", scanRatePerMinute);
      out += buf;
    } else if (line.rfind("sr=", 0) == 0) {
      if (const auto v = parseNumber(line.substr(3))) {
        std::lock_guard lock(m_mutex);
        advance();
        scanRatePerMinute = std::max(0.0, *v);
      }
    } else if (line == "u") {
      out += "u: C\r\n";
    } else if (!line.empty()) {
      out += "?\r\n";
    }
  }
  return out;
}

}  // namespace velmora::sim
