#pragma once
// The device link as the program wires it — connection (serial port object, USB adapter),
// protocol and its Qt timers — with a recorder in place of the windows.
#include <QStringList>
#include <QTimer>
#include <string>
#include <vector>

#include "device/connection_controller.h"
#include "device/protocol.h"
#include "device/qt_protocol_timer.h"
#include "device/serial_port.h"
#include "display/recording_clock.h"

namespace velmora::test {

struct RecordingWindows : ReadingSink, FactorLink {
  SteadyDayClock clock;
  RecordingClock recordingClock{clock};
  std::vector<std::pair<double, double>> points;
  QStringList messages;
  std::string status;
  bool recording = false;
  std::string cof[3][5];
  std::string factorStatus;

  void setStatusText(std::string_view t) override { status = t; }
  void appendStatusText(std::string_view t) override { status += t; }
  void setRecording(bool on) override { recording = on; }
  void readoutRequest() override {}
  void readoutReply(std::string_view) override {}
  void startRun() override { recordingClock.startRun(); }
  void endRun() override { recordingClock.endRun(); }
  double elapsed() const override { return recordingClock.elapsed(); }
  void AddPoint(double x, double y) override { points.emplace_back(x, y); }
  std::vector<double> resistances;
  void addReading(double x, double y, double resistance) override {
    resistances.push_back(resistance);
    AddPoint(x, y);
  }
  void communicationError() override { messages.push_back("Communication error!\rCheck cable connection"); }
  void showError(std::string_view t) override { messages.push_back(QString::fromStdString(std::string(t))); }
  void setFactorStatus(std::string_view t) override { factorStatus = t; }
  void appendFactorStatus(std::string_view t) override { factorStatus += t; }
  std::string newCofCell(int i) const override { return cof[2][i + 1]; }
  void rejectNewCofCell(int i) override { messages.push_back("rejected cell " + QString::number(i)); }
  void setFactorCell(int row, int col, std::string_view t) override { cof[row][col] = t; }
  void cofProgressChanged() override {}
  std::vector<int> attempts;
  int restored = 0;
  void reconnecting(int attempt) override { attempts.push_back(attempt); }
  void linkRestored() override { ++restored; }
};

struct DeviceRig {
  RecordingWindows windows;
  ConnectionController connection;
  QTimer dataTimer, timeOffTimer, reconnectTimer;
  QtProtocolTimer dataAdapter{dataTimer}, timeOffAdapter{timeOffTimer}, reconnectAdapter{reconnectTimer};
  Protocol protocol{connection, windows, dataAdapter, timeOffAdapter};

  explicit DeviceRig(ConnectionOptions options) : connection(std::move(options)) {
    connection.onReceived = [this](std::string_view text) { protocol.received(text); };
    connection.messageText = [](std::string_view id) {
      return id == "msgUsbTooLong" ? std::string("Command too long for the USB adapter") : std::string(id);
    };
    QObject::connect(&connection, &ConnectionController::statusMessage,
                     [this](const QString& t) { windows.status = t.toStdString(); });
    QObject::connect(&dataTimer, &QTimer::timeout, [this] { protocol.DataTimerTimer(); });
    QObject::connect(&timeOffTimer, &QTimer::timeout, [this] { protocol.TimeOffTimerTimer(); });
    protocol.setFactorLink(&windows);
    QObject::connect(&reconnectTimer, &QTimer::timeout, [this] { protocol.ReconnectTimerTimer(); });
    protocol.setReconnectTimer(&reconnectAdapter);
    QObject::connect(&connection, &ConnectionController::linkLost, [this] { protocol.linkLost(); });
    connection.buildPortList();
  }
  // The reconnect option, as the window sets it while recording.
  void enableReconnect(int limitMs) { protocol.setReconnect(true, limitMs); }
  ~DeviceRig() {
    if (protocol.recording()) protocol.miRecordClick(false);
  }
  void setRate(int rate) { protocol.seFlowChange(std::to_string(rate)); }
  bool record(bool on) {
    const bool recording = protocol.miRecordClick(on);
    connection.setHoldUsb(recording && protocol.reconnectEnabled());
    return recording;
  }
  std::size_t points() const { return windows.points.size(); }
};

}  // namespace velmora::test
