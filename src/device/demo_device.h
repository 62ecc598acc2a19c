#pragma once
// The built-in demo thermometer as a byte device: what is written to it reaches the
// instrument model, whose answers become readable after the time the real instrument and
// line would take (answer delay plus the characters at 4800 baud).

#include <QIODevice>
#include <chrono>
#include <deque>
#include <mutex>

#include "simulator/thermometer_model.h"

namespace velmora {

class DemoDevice : public QIODevice {
  Q_OBJECT
 public:
  explicit DemoDevice(std::uint32_t seed = 1, QObject* parent = nullptr);
  // Probe `index` of a shared bath (see sim::placeInBath).
  DemoDevice(std::shared_ptr<const sim::Bath> bath, int index, QObject* parent = nullptr);
  // With VELMORA_DEMO_TALLY set, "demo <index> answered <n> asked-in-the-last-second <0|1>"
  // on stderr: what a load test holds against what was recorded.
  ~DemoDevice() override;

  bool open(OpenMode mode) override;
  bool isSequential() const override { return true; }
  qint64 bytesAvailable() const override;
  bool waitForReadyRead(int msecs) override;
  bool waitForBytesWritten(int) override { return true; }

  sim::ThermometerModel& model() { return m_model; }

 protected:
  qint64 readData(char* data, qint64 maxSize) override;
  qint64 writeData(const char* data, qint64 size) override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Pending {
    Clock::time_point due;
    std::string bytes;
  };
  double seconds() const;

  sim::ThermometerModel m_model;
  int m_index = 1;
  std::chrono::steady_clock::time_point m_lastReadingAt;
  Clock::time_point m_start = Clock::now();
  bool m_settleByte = false;  // the line's settling character, before the first answer after opening
  mutable std::mutex m_mutex;
  std::deque<Pending> m_pending;
  std::string m_ready;
};

}  // namespace velmora
