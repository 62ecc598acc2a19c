#pragma once
// The serial port object: opens and closes one port with the thermometer's line settings,
// sends without blocking the user-interface thread, and collects received bytes on its own
// background thread, which cuts them into blocks by the quiet-time and size rules and hands
// each block to the user-interface thread synchronously (`received`).
//
// The port named "DEMO" is the built-in demo thermometer: its bytes take exactly the same
// path as a real port's.

#include <QIODevice>
#include <QObject>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "common/settings_backend.h"
#include "device/blocking_hand_over.h"

namespace velmora {

class TSerialPort : public QObject {
  Q_OBJECT
 public:
  // `demoFactory` makes the in-process instrument that a port "DEMO", "DEMO2", … talks to (it
  // is given the port's name; it runs on
  // the background thread); without one, "DEMO" is an ordinary (absent) port name.
  using DemoFactory = std::function<std::unique_ptr<QIODevice>(const std::string& port)>;
  explicit TSerialPort(DemoFactory demoFactory = {}, QObject* parent = nullptr);
  // A factory for the port "DEMO" alone.
  explicit TSerialPort(std::function<std::unique_ptr<QIODevice>()> demoFactory, QObject* parent = nullptr)
      : TSerialPort(DemoFactory([f = std::move(demoFactory)](const std::string& port) {
                      return port == "DEMO" ? f() : std::unique_ptr<QIODevice>();
                    }),
                    parent) {}
  ~TSerialPort() override;

  // Properties, with the object's initial values.
  std::string CommPort = "COM2";
  int BaudRate() const { return m_baudRate; }
  void setBaudRate(int rate);
  int DataBits = 8;
  int ParityType = 0;
  int StopBits = 0;
  int FlowControl = 0;
  int XONChar = 17;
  int XOFFChar = 19;
  int XONLimDiv = 33;
  int XOFFLimDiv = 33;
  int ParityErrorChar = 0;
  bool ParityErrorReplacement = false;
  bool StripNullChars = false;
  int EventChar = 0;
  int RTOCharDelayTime = 1100;  // µs per character
  int WTOCharDelayTime = 1100;
  int RTOExtraDelayTime = 250;  // ms
  int WTOExtraDelayTime = 250;
  bool XTOAuto = true;
  int ClusterSize = 3072;
  int RxQueueSize = 4096;
  int TxQueueSize = 4096;
  bool RTSState = true;
  bool DTRState = true;
  bool BREAKState = false;
  int ErrorNoise = 255;

  // Opens (true) or closes (false) the port; returns whether it is open.
  bool setActive(bool on);
  bool Active() const { return m_active; }
  // Why the last opening failed (the system's text); empty after a successful one.
  std::string openError() const {
    std::lock_guard lock(m_mutex);
    return m_openError;
  }
  // Re-applies a new name: an open port is closed and opened again.
  void setCommPort(const std::string& name);
  void setDTR(bool on);
  void setRTS(bool on);
  // Discards what the driver holds in both directions and any block not yet delivered.
  void purge();

  // Sends without waiting. Refused (false) while an earlier send is in progress; nothing
  // happens on a closed port or for an empty text.
  bool SendText(const std::string& text);
  // The write time-out in ms for a text of this length: length × WTOCharDelayTime / 1000 +
  // WTOExtraDelayTime (2 characters at 4800 baud: 254.6 ms).
  double writeTimeoutMs(std::size_t length) const {
    return static_cast<double>(length) * WTOCharDelayTime / 1000.0 + WTOExtraDelayTime;
  }

  void SaveSettings(SettingsBackend& store, std::string_view key) const;
  void LoadSettings(const SettingsBackend& store, std::string_view key);

  // Blocks delivered so far (for tests).
  long deliveredBlocks() const { return m_delivered; }

 signals:
  // A received block (Qt's serial port reports no line errors, so every block counts). The
  // background thread waits until the handlers have returned.
  void received(const QByteArray& block);
  // The device went away under an open port (emitted on the background thread; the port
  // has been closed).
  void deviceLost();

 private:
  struct Command {
    std::function<void()> work;
  };
  // What the background thread needs of the properties, copied when the port opens so that
  // nothing is shared between the threads without a lock.
  struct LineSettings {
    std::string port;
    int baudRate = 9600;
    int dataBits = 8;
    int parity = 0;
    int stopBits = 0;
    int flowControl = 0;
    int rtoCharDelayUs = 1100;
    int rtoExtraDelayMs = 250;
    int clusterSize = 3072;
  };
  static constexpr int kWaitSliceMs = 5;
  LineSettings lineSettings() const;
  // Sleeps until the port has bytes, a command is posted or `timeoutMs` has passed (-1: no
  // limit); where the port cannot be watched so, a short slice.
  void waitForInput(int timeoutMs);
  void wakeWorker();
  bool deviceGone();
  void run();
  void post(std::function<void()> work, bool wait);
  void serviceCommands();
  bool openDevice();
  void closeDevice();
  void deliver(std::string block);

  int m_baudRate = 9600;
  std::atomic<bool> m_active{false};
  std::atomic<bool> m_sending{false};
  std::atomic<bool> m_stop{false};
  std::atomic<long> m_delivered{0};

  DemoFactory m_demoFactory;
  std::unique_ptr<QIODevice> m_device;  // owned and used by the background thread only
  LineSettings m_line;                   // the background thread's copy

  mutable std::mutex m_mutex;  // guards m_commands, m_finished, m_openError
  std::string m_openError;
  std::condition_variable m_wake;
  std::deque<Command> m_commands;
  BlockingHandOver m_handOver;
  std::unique_ptr<QThread> m_thread;  // a QThread, so that the port's notifiers work on it
  bool m_finished = false;            // set under m_mutex when the background loop has ended
  int m_wakeRead = -1, m_wakeWrite = -1;  // a pipe that wakes the background thread's wait
};

}  // namespace velmora
