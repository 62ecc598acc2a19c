#pragma once
// A protocol host that only keeps what a window would show, for the receive-path targets.
#include <string>

#include "device/protocol.h"
#include "device/serial_framing.h"

namespace velmora::fuzz {

struct Timer : ProtocolTimer {
  bool on = false;
  void start(int) override { on = true; }
  void stop() override { on = false; }
  bool active() const override { return on; }
};

struct Host : ProtocolTransport, ReadingSink, FactorLink {
  std::string cells[3][5];
  std::size_t points = 0;
  std::size_t sent = 0;
  SerialFraming framing;
  void send(std::string_view) override { ++sent; }
  bool setActive(bool on) override {
    framing.opened(on);
    return on;
  }
  bool active() const override { return true; }
  void purge() override {}
  void setStatusText(std::string_view) override {}
  void appendStatusText(std::string_view) override {}
  void setRecording(bool) override {}
  void readoutRequest() override {}
  void readoutReply(std::string_view) override {}
  void startRun() override {}
  void endRun() override {}
  double elapsed() const override { return 0; }
  void AddPoint(double, double) override { ++points; }
  void communicationError() override {}
  void showError(std::string_view) override {}
  void setFactorStatus(std::string_view) override {}
  void appendFactorStatus(std::string_view) override {}
  std::string newCofCell(int i) const override { return cells[2][i + 1]; }
  void rejectNewCofCell(int) override {}
  void setFactorCell(int row, int col, std::string_view t) override {
    if (row >= 0 && row < 3 && col >= 0 && col < 5) cells[row][col] = t;
  }
  void cofProgressChanged() override {}
};

// The protocol with its host and two timers, the host also its factor link.
struct Harness {
  Host host;
  Timer dataTimer, timeOff;
  Protocol protocol{host, host, dataTimer, timeOff};
  Harness() { protocol.setFactorLink(&host); }
};

}  // namespace velmora::fuzz
