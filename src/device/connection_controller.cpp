#include "device/connection_controller.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <cstdio>
#include <cstdlib>

#include "device/demo_device.h"
#include "device/hid_controller.h"
#include "device/hid_reports.h"
#include "device/port_names.h"
#include "device/serial_port.h"

namespace velmora {

ConnectionController::ConnectionController(ConnectionOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)) {
  m_serial = std::make_unique<TSerialPort>([bath = m_options.demoBath](const std::string& port) -> std::unique_ptr<QIODevice> {
    if (!bath) return port == "DEMO" ? std::make_unique<DemoDevice>() : nullptr;
    const int index = port == "DEMO" ? 1 : std::atoi(port.c_str() + 4);
    if (index < 1) return nullptr;
    return std::make_unique<DemoDevice>(bath, index);
  });
  m_serial->CommPort = "COM1";
  m_serial->setBaudRate(4800);
  connect(m_serial.get(), &TSerialPort::received, this, &ConnectionController::serialReceived);
  connect(m_serial.get(), &TSerialPort::deviceLost, this, [this] {
    if (!usbLink()) emit linkLost();
  });
  m_hid = std::make_unique<THidDeviceController>(m_options.hidBackend ? m_options.hidBackend() : makeHidapiBackend());
  connect(m_hid.get(), &THidDeviceController::arrival, this, &ConnectionController::HidControllerArrival);
  connect(m_hid.get(), &THidDeviceController::removal, this, &ConnectionController::HidControllerRemoval);
}

ConnectionController::~ConnectionController() {
  // The background threads go first, so that nothing is delivered to a half-destroyed owner.
  m_usbDevice.reset();
  m_serial.reset();
}

void ConnectionController::startUsbSearch() { m_hid->start(); }

std::string ConnectionController::serialPortName() const { return m_serial->CommPort; }

std::string ConnectionController::openError() const { return usbLink() ? std::string() : m_serial->openError(); }

void ConnectionController::buildPortList() {
  std::vector<std::string> names;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) names.push_back(info.portName().toStdString());
  // A stored device path (a pseudo-terminal, say) is offered as well.
  const std::string& stored = m_serial->CommPort;
  if (!stored.empty() && stored.front() == '/' && QFileInfo::exists(QString::fromStdString(stored)))
    names.push_back(stored);
  m_portList = sortedPortNames(names);
  m_portList.push_back("DEMO");  // the built-in demo thermometer, so the program can be tried without one
  m_checked = -1;
  for (std::size_t i = 0; i < m_portList.size(); ++i)
    if (m_portList[i] == stored) m_checked = static_cast<int>(i);
  if (m_usbPresent) {
    m_portList.push_back("USB");
    if (m_usbSelected) m_checked = static_cast<int>(m_portList.size() - 1);
  }
  m_enabled.assign(m_portList.size(), true);
  m_chosenFailed = false;
  emit portsChanged();
}

void ConnectionController::choosePort(std::size_t index) {
  if (index >= m_portList.size()) return;
  if (isUsbEntry(index)) {
    m_usbSelected = true;
    m_checked = static_cast<int>(index);
  } else {
    chooseSerial(index);
  }
  emit portsChanged();
}

void ConnectionController::chooseSerial(std::size_t index) {
  const std::string chosen = m_portList.at(index);
  m_serial->setCommPort(chosen);
  // An entry is enabled exactly when its port opens.
  for (std::size_t i = 0; i < serialEntryCount(); ++i) {
    m_serial->setCommPort(m_portList[i]);
    m_enabled[i] = m_serial->setActive(true);
    m_serial->setActive(false);
  }
  m_serial->setCommPort(chosen);
  m_chosenFailed = !m_enabled[index];
  m_checked = static_cast<int>(index);
  m_usbSelected = false;
}

// ---------------------------------------------------------------- transport

void ConnectionController::setHoldUsb(bool hold) {
  m_holdUsb = hold;
  if (!hold) m_heldSerial.clear();
}

void ConnectionController::send(std::string_view text) {
  m_lastSendRefused = false;
  if (usbLink())
    SendReport(std::string(text));
  else
    m_lastSendRefused = !m_serial->SendText(std::string(text));
}

bool ConnectionController::setActive(bool on) {
  if (usbLink()) return on && m_usbPresent;  // the adapter needs no opening, only to be there
  const bool active = m_serial->setActive(on);
  m_serial->setDTR(active);
  m_serial->setRTS(!active);
  m_framing.opened(active);
  return active;
}

bool ConnectionController::active() const { return usbLink() ? m_usbPresent : m_serial->Active(); }

void ConnectionController::purge() {
  if (!usbLink()) m_serial->purge();
}

void ConnectionController::deliver(std::string_view text) {
  if (onReceived) onReceived(text);
}

void ConnectionController::serialReceived(const QByteArray& block) {
  deliver(m_framing.frame(std::string_view(block.constData(), static_cast<std::size_t>(block.size())), 0));
}

// ---------------------------------------------------------------- the USB adapter

void ConnectionController::HidControllerArrival(const HidDeviceInfo& device) {
  if (m_usbDevice) return;  // one adapter at a time
  if (deviceString(device.product, device.vendorId, device.productId) != kAdapterProduct ||
      deviceString(device.manufacturer, device.vendorId, device.productId) != kAdapterMaker)
    return;
  if (!m_heldSerial.empty() && device.serial != m_heldSerial) return;  // not the adapter awaited
  if (!m_wantedSerial.empty() && device.serial != m_wantedSerial) return;  // another channel's
  m_usbDevice = m_hid->checkOut(device);
  if (!m_usbDevice) return;
  m_heldSerial.clear();
  connect(m_usbDevice.get(), &THidDevice::received, this, [this](const QByteArray& report) {
    if (!report.isEmpty()) GetReport(static_cast<unsigned char>(report[0]), report.mid(1));
  });
  connect(m_usbDevice.get(), &THidDevice::failed, this, [this, device] {
    // A failing reader is a removal; the next search brings the adapter back.
    HidControllerRemoval(device);
    m_hid->forget(device.path);
  });
  m_usbDevice->startReading();
  m_usbPresent = true;
  m_portList.push_back("USB");
  m_enabled.push_back(true);
  if (m_usbSelected) m_checked = static_cast<int>(m_portList.size() - 1);
  emit portsChanged();
  std::string error;
  int code = 0;
  if (!m_usbDevice->write(setupReport(m_usbDevice->outputReportLength()), error, code))
    emit statusMessage(QString::fromStdString(writeErrorText(error, code)));
  emit statusMessage(QString::fromStdString(device.product + " \u2116" + device.serial));
}

void ConnectionController::HidControllerRemoval(const HidDeviceInfo& device) {
  if (!m_usbDevice || m_usbDevice->info().path != device.path) return;
  const std::string serial = m_usbDevice->info().serial;
  m_usbDevice.reset();  // the reader stops, the device closes
  m_usbPresent = false;
  if (m_holdUsb && m_usbSelected) {
    // A recording that reconnects waits for this adapter to come back.
    m_heldSerial = serial;
    if (!m_portList.empty() && m_portList.back() == "USB") {
      m_portList.pop_back();
      m_enabled.pop_back();
    }
    if (m_checked >= static_cast<int>(m_portList.size())) m_checked = -1;
    emit portsChanged();
    emit adapterRemoved(true, QString::fromStdString(serial));
    emit linkLost();
    return;
  }
  m_usbSelected = false;
  if (!m_portList.empty() && m_portList.back() == "USB") {
    m_portList.pop_back();
    m_enabled.pop_back();
  }
  if (m_checked >= static_cast<int>(m_portList.size())) m_checked = -1;
  // The first remaining entry is chosen as if clicked.
  if (!m_portList.empty()) chooseSerial(0);
  emit portsChanged();
  emit statusMessage(QString());
  emit adapterRemoved(false, QString::fromStdString(serial));
}

std::string ConnectionController::writeErrorText(const std::string& error, int code) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(code));
  return "WRITE ERROR: " + error + " (" + hex + ")";
}

bool ConnectionController::SendReport(const std::string& text) {
  if (!m_usbDevice) return false;
  auto report = packOutputReport(text, m_usbDevice->outputReportLength());
  if (!report) {
    // Cutting a command would send the instrument something else; it is refused instead.
    if (messageText) emit statusMessage(QString::fromStdString(messageText("msgUsbTooLong")));
    return false;
  }
  std::string error;
  int code = 0;
  if (!m_usbDevice->write(*report, error, code)) {
    emit statusMessage(QString::fromStdString(writeErrorText(error, code)));  // the command counts as sent
    return false;
  }
  return true;
}

void ConnectionController::GetReport(int, const QByteArray& report) {
  const auto text = inputReportText(reinterpret_cast<const std::uint8_t*>(report.constData()),
                                    static_cast<std::size_t>(report.size()));
  deliver(text ? *text : std::string_view());  // any report stops the answer time-out
}

}  // namespace velmora
