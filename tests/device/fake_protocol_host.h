#pragma once
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/protocol.h"
#include "device/serial_framing.h"

namespace velmora::test {

// Timers in virtual milliseconds.
class VirtualTime {
 public:
  struct Timer : ProtocolTimer {
    VirtualTime* owner = nullptr;
    std::function<void()> onFire;
    bool isActive = false;
    int interval = 0;
    long due = 0;
    void start(int ms) override {
      isActive = true;
      interval = ms;
      due = owner->now + ms;
    }
    void stop() override { isActive = false; }
    bool active() const override { return isActive; }
  };

  Timer& make() {
    timers.push_back(std::make_unique<Timer>());
    timers.back()->owner = this;
    return *timers.back();
  }

  // Runs every timer that falls due within the next `ms` milliseconds, in time order.
  void advance(long ms) {
    const long end = now + ms;
    for (;;) {
      Timer* next = nullptr;
      for (auto& t : timers)
        if (t->isActive && t->due <= end && (!next || t->due < next->due)) next = t.get();
      if (!next) break;
      now = next->due;
      next->due += next->interval;
      next->onFire();
    }
    now = end;
  }

  long now = 0;
  std::vector<std::unique_ptr<Timer>> timers;
};

// The transport, the main window and the calibration window as a test sees them.
struct FakeProtocolHost : ProtocolTransport, ReadingSink, FactorLink {
  bool usb = false;
  bool serialOpen = false;
  bool serialOpens = true;
  SerialFraming framing;
  std::vector<std::string> serialSent, usbSent;
  std::string status, calibrStatus;
  bool recording = false;
  int readoutRequests = 0;
  std::vector<std::string> readoutReplies;
  std::vector<std::pair<double, double>> points;
  int communicationErrors = 0;
  std::vector<std::string> errors;
  std::string cof[3][5];
  int rejectedCell = -1;
  int purges = 0;
  double elapsedDays = 0;
  std::function<void(std::string_view)> onSend;  // the instrument's side
  // Like the serial port object: a send is in progress until the test ends it, and a
  // second send meanwhile is refused.
  bool refuseWhileSending = false;
  bool sending = false;
  std::vector<std::string> refused;
  bool lastRefused = false;
  bool lastSendRefused() const override { return lastRefused; }

  // ProtocolTransport: the USB adapter when `usb`, else the serial port.
  void send(std::string_view t) override {
    if (usb) {
      usbSent.emplace_back(t);
    } else {
      if (!serialOpen) return;
      lastRefused = false;
      if (refuseWhileSending && sending) {
        refused.emplace_back(t);
        lastRefused = true;
        return;
      }
      sending = refuseWhileSending;
      serialSent.emplace_back(t);
    }
    if (onSend) onSend(t);
  }
  bool setActive(bool on) override {
    if (usb) return on;
    serialOpen = on && serialOpens;
    framing.opened(serialOpen);
    return serialOpen;
  }
  bool active() const override { return usb || serialOpen; }
  void purge() override { ++purges; }
  // ReadingSink
  void setStatusText(std::string_view t) override { status = t; }
  void appendStatusText(std::string_view t) override { status += t; }
  void setRecording(bool on) override { recording = on; }
  void readoutRequest() override { ++readoutRequests; }
  void readoutReply(std::string_view r) override { readoutReplies.emplace_back(r); }
  void startRun() override {}
  void endRun() override {}
  double elapsed() const override { return elapsedDays; }
  void AddPoint(double x, double y) override { points.emplace_back(x, y); }
  void communicationError() override { ++communicationErrors; }
  void showError(std::string_view t) override { errors.emplace_back(t); }
  std::vector<int> reconnectAttempts;
  int restored = 0;
  std::vector<bool> invalidWarnings;
  void reconnecting(int attempt) override { reconnectAttempts.push_back(attempt); }
  void linkRestored() override { ++restored; }
  void invalidAnswers(bool on) override { invalidWarnings.push_back(on); }
  // FactorLink
  void setFactorStatus(std::string_view t) override { calibrStatus = t; }
  void appendFactorStatus(std::string_view t) override { calibrStatus += t; }
  std::string newCofCell(int i) const override { return cof[2][i + 1]; }
  void rejectNewCofCell(int i) override { rejectedCell = i; }
  void setFactorCell(int row, int col, std::string_view t) override { cof[row][col] = t; }
  void cofProgressChanged() override {}
  std::vector<std::vector<Mismatch>> verifications;
  std::vector<std::string> readBackFailures;
  void writeVerified(const std::vector<Mismatch>& m) override { verifications.push_back(m); }
  void readBackFailed(std::string_view reason) override { readBackFailures.emplace_back(reason); }
};

}  // namespace velmora::test
