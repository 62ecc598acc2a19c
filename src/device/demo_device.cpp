#include "device/demo_device.h"

#include <cstdio>

#include <algorithm>
#include <thread>

namespace velmora {

namespace {
constexpr auto kAnswerDelay = std::chrono::milliseconds(15);
constexpr auto kCharTime = std::chrono::microseconds(2083);  // 10 bits at 4800 baud
}  // namespace

DemoDevice::DemoDevice(std::uint32_t seed, QObject* parent) : QIODevice(parent), m_model(seed) {
  m_model.profile.kind = sim::Profile::Kind::Sine;
  m_model.profile.base = 21.0;
  m_model.profile.amplitude = 1.5;
  m_model.profile.periodSeconds = 600;
  m_model.profile.noise = 0.004;
}

DemoDevice::~DemoDevice() {
  if (qEnvironmentVariableIsEmpty("VELMORA_DEMO_TALLY")) return;
  // A reading asked for in the last second before the port closed: Record off (which closes
  // at once) may have come before its answer was handled; told apart.
  const long atClose = m_model.readings() > 0 && Clock::now() - m_lastReadingAt < std::chrono::seconds(1) ? 1 : 0;
  std::fprintf(stderr, "demo %d answered %ld asked-in-the-last-second %ld\n", m_index, m_model.readings(), atClose);
}

DemoDevice::DemoDevice(std::shared_ptr<const sim::Bath> bath, int index, QObject* parent)
    : QIODevice(parent), m_model(static_cast<std::uint32_t>(index)), m_index(index) {
  sim::placeInBath(m_model, std::move(bath), index);
}

// Like the instrument's line, the demo sends one settling character as the port opens (the
// program drops the first character after opening); it comes with the first answer.
bool DemoDevice::open(OpenMode mode) {
  m_settleByte = true;
  return QIODevice::open(mode | QIODevice::Unbuffered);
}

double DemoDevice::seconds() const { return std::chrono::duration<double>(Clock::now() - m_start).count(); }

qint64 DemoDevice::writeData(const char* data, qint64 size) {
  const long before = m_model.readings();
  std::string answer = m_model.receive(std::string_view(data, static_cast<std::size_t>(size)), seconds());
  if (m_model.readings() != before) m_lastReadingAt = Clock::now();
  if (!answer.empty()) {
    if (m_settleByte) answer.insert(answer.begin(), '\0');
    m_settleByte = false;
    std::lock_guard lock(m_mutex);
    const auto due = Clock::now() + kAnswerDelay + std::chrono::milliseconds(m_model.faults.slowMs) +
                     kCharTime * static_cast<int>(answer.size());
    m_pending.push_back({due, answer});
  }
  return size;
}

qint64 DemoDevice::bytesAvailable() const {
  std::lock_guard lock(m_mutex);
  const auto now = Clock::now();
  qint64 n = static_cast<qint64>(m_ready.size());
  for (const auto& p : m_pending)
    if (p.due <= now) n += static_cast<qint64>(p.bytes.size());
  return n;
}

qint64 DemoDevice::readData(char* data, qint64 maxSize) {
  std::lock_guard lock(m_mutex);
  const auto now = Clock::now();
  while (!m_pending.empty() && m_pending.front().due <= now) {
    m_ready += m_pending.front().bytes;
    m_pending.pop_front();
  }
  const auto n = std::min<std::size_t>(m_ready.size(), static_cast<std::size_t>(maxSize));
  std::copy_n(m_ready.data(), n, data);
  m_ready.erase(0, n);
  return static_cast<qint64>(n);
}

bool DemoDevice::waitForReadyRead(int msecs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(msecs);
  for (;;) {
    Clock::time_point next = deadline;
    {
      std::lock_guard lock(m_mutex);
      if (!m_ready.empty()) return true;
      if (!m_pending.empty()) next = std::min(next, m_pending.front().due);
    }
    if (Clock::now() >= next) return bytesAvailable() > 0;
    std::this_thread::sleep_until(next);
  }
}

}  // namespace velmora
