#pragma once
// A protocol host that only keeps what a window would show, for the receive-path targets.
#include <string>

#include "device/protocol.h"

namespace velmora::fuzz {

struct Timer : ProtocolTimer {
  bool on = false;
  void start(int) override { on = true; }
  void stop() override { on = false; }
  bool active() const override { return on; }
};

struct Host : ProtocolHost {
  std::string cells[3][5];
  std::size_t points = 0;
  std::size_t sent = 0;
  bool usbActive() const override { return false; }
  void sendSerial(std::string_view) override { ++sent; }
  void sendUsb(std::string_view) override { ++sent; }
  bool setSerialActive(bool on) override { return on; }
  bool serialActive() const override { return true; }
  void purgeSerial() override {}
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
  void setCalibrStatus(std::string_view) override {}
  void appendCalibrStatus(std::string_view) override {}
  std::string newCofCell(int i) const override { return cells[2][i + 1]; }
  void rejectNewCofCell(int) override {}
  void setCofCell(int row, int col, std::string_view t) override {
    if (row >= 0 && row < 3 && col >= 0 && col < 5) cells[row][col] = t;
  }
  void cofProgressChanged() override {}
};

}  // namespace velmora::fuzz
