#pragma once
// A protocol timer on QTimer. Precise, so that polls come at their period (a coarse timer
// lets a 1-s period wander by several percent).

#include <QTimer>

#include "device/protocol.h"

namespace velmora {

class QtProtocolTimer : public ProtocolTimer {
 public:
  explicit QtProtocolTimer(QTimer& timer) : m_timer(timer) { m_timer.setTimerType(Qt::PreciseTimer); }
  void start(int ms) override { m_timer.start(ms); }
  void stop() override { m_timer.stop(); }
  bool active() const override { return m_timer.isActive(); }

 private:
  QTimer& m_timer;
};

}  // namespace velmora
