#include "device/hid_controller.h"

#include <QMetaObject>
#include <algorithm>

namespace velmora {

THidDevice::THidDevice(HidDeviceInfo info, std::unique_ptr<HidHandle> handle, QObject* parent)
    : QObject(parent), m_info(std::move(info)), m_handle(std::move(handle)) {}

THidDevice::~THidDevice() {
  m_stop = true;
  m_wake.notify_all();
  m_handOver.wake();
  if (m_thread.joinable()) m_thread.join();
}

bool THidDevice::write(const std::vector<std::uint8_t>& report, std::string& error, int& code) {
  if (m_handle->write(report.data(), report.size()) >= 0) return true;
  error = m_handle->lastError();
  code = m_handle->lastErrorCode();
  return false;
}

void THidDevice::startReading() {
  if (m_thread.joinable()) return;
  m_thread = std::thread([this] { readLoop(); });
}

void THidDevice::readLoop() {
  std::vector<std::uint8_t> buffer(std::max<std::size_t>(2, m_handle->inputReportLength()));
  while (!m_stop) {
    std::fill(buffer.begin(), buffer.end(), 0);
    const int n = m_handle->read(buffer.data(), buffer.size(), 100);
    if (n < 0) {
      // A failing reader is a device gone: the owner closes it and looks for it again.
      if (!m_stop) emit failed();
      return;
    }
    if (n == 0) continue;
    m_handOver.run([this, report = QByteArray(reinterpret_cast<const char*>(buffer.data()), n)] { emit received(report); },
                   {}, m_stop);
  }
}

THidDeviceController::THidDeviceController(std::unique_ptr<HidBackend> backend, QObject* parent)
    : QObject(parent), m_backend(std::move(backend)) {
  qRegisterMetaType<velmora::HidDeviceInfo>();
  m_timer.setInterval(1000);
  connect(&m_timer, &QTimer::timeout, this, &THidDeviceController::poll);
}

void THidDeviceController::start() {
  if (!available()) return;  // no HID support: only serial ports are offered
  QTimer::singleShot(0, this, &THidDeviceController::poll);
  m_timer.start();
}

void THidDeviceController::poll() {
  if (!available()) return;
  const std::vector<HidDeviceInfo> now = m_backend->enumerate();
  auto samePath = [](const std::string& path) { return [&path](const HidDeviceInfo& d) { return d.path == path; }; };
  std::vector<HidDeviceInfo> gone, added;
  for (const auto& d : m_present)
    if (std::none_of(now.begin(), now.end(), samePath(d.path))) gone.push_back(d);
  for (const auto& d : now)
    if (std::none_of(m_present.begin(), m_present.end(), samePath(d.path))) added.push_back(d);
  m_present = now;
  for (const auto& d : gone) emit removal(d);
  for (const auto& d : added) emit arrival(d);
}

void THidDeviceController::forget(const std::string& path) {
  std::erase_if(m_present, [&](const HidDeviceInfo& d) { return d.path == path; });
}

std::unique_ptr<THidDevice> THidDeviceController::checkOut(const HidDeviceInfo& device) {
  if (!available()) return nullptr;
  auto handle = m_backend->open(device);
  if (!handle) return nullptr;
  return std::make_unique<THidDevice>(device, std::move(handle));
}

}  // namespace velmora
