#pragma once
// The HID device controller: finds devices coming and going (it looks every second — the
// HID library offers no notice of its own), holds at most one device for the program, and
// runs one reader thread per held device that hands every input report to the
// user-interface thread and waits until it has been handled.

#include <QObject>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/blocking_hand_over.h"
#include "device/hid_backend.h"

namespace velmora {

class THidDevice : public QObject {
  Q_OBJECT
 public:
  THidDevice(HidDeviceInfo info, std::unique_ptr<HidHandle> handle, QObject* parent = nullptr);
  ~THidDevice() override;  // stops the reader thread and closes the device

  const HidDeviceInfo& info() const { return m_info; }
  std::size_t outputReportLength() const { return m_handle->outputReportLength(); }
  // A blocking write of one whole output report; false with the error text when it fails.
  bool write(const std::vector<std::uint8_t>& report, std::string& error, int& code);
  void startReading();

 signals:
  // An input report, its report id first (the reader thread waits until the handlers return).
  void received(const QByteArray& report);
  // Reading failed: the adapter is gone, if only for a moment (emitted on the reader thread,
  // which then ends).
  void failed();

 private:
  void readLoop();

  HidDeviceInfo m_info;
  std::unique_ptr<HidHandle> m_handle;
  std::thread m_thread;  // a plain thread: the reader needs no Qt event machinery
  std::atomic<bool> m_stop{false};
  std::mutex m_mutex;
  std::condition_variable m_wake;
  BlockingHandOver m_handOver;
};

class THidDeviceController : public QObject {
  Q_OBJECT
 public:
  explicit THidDeviceController(std::unique_ptr<HidBackend> backend, QObject* parent = nullptr);

  bool available() const { return m_backend && m_backend->available(); }
  // Starts looking: the first search runs from the event loop, then once a second.
  void start();
  // One search: removals for devices gone, arrivals for new ones.
  void poll();
  // Opens a device for the program; nullptr when it cannot be opened.
  std::unique_ptr<THidDevice> checkOut(const HidDeviceInfo& device);
  // The devices the last search found.
  const std::vector<HidDeviceInfo>& present() const { return m_present; }
  // Forgets a device, so that the next search reports it as arriving again.
  void forget(const std::string& path);

 signals:
  void arrival(const velmora::HidDeviceInfo& device);
  void removal(const velmora::HidDeviceInfo& device);

 private:
  std::unique_ptr<HidBackend> m_backend;
  std::vector<HidDeviceInfo> m_present;
  QTimer m_timer;
};

}  // namespace velmora

Q_DECLARE_METATYPE(velmora::HidDeviceInfo)
