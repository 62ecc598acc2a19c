#pragma once
// The connection to the instrument: the serial port object and the USB adapter, the port
// list with its probe, the adapter's arrival and removal, and which of the two the user
// chose. It is the protocol's transport: commands go to the chosen link, and whatever
// either link receives is framed and handed to the protocol (`onReceived`).

#include <QByteArray>
#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/hid_backend.h"
#include "device/protocol.h"
#include "device/serial_framing.h"

class QIODevice;

namespace velmora {

class TSerialPort;
class THidDevice;
class THidDeviceController;

namespace sim {
struct Bath;
}

struct ConnectionOptions {
  bool demo = false;  // the built-in demo thermometer ("DEMO", always offered) is chosen at start
  std::function<std::unique_ptr<HidBackend>()> hidBackend;  // empty: the system's HID library
  // Several demo instruments ("DEMO", "DEMO2", …) share this bath; without one "DEMO" is the
  // single demo thermometer.
  std::shared_ptr<const sim::Bath> demoBath;
};

class ConnectionController : public QObject, public ProtocolTransport {
  Q_OBJECT
 public:
  explicit ConnectionController(ConnectionOptions options, QObject* parent = nullptr);
  ~ConnectionController() override;

  // Where received text goes (the protocol); `messageText` gives a message of the active
  // language by its identifier.
  std::function<void(std::string_view)> onReceived;
  std::function<std::string(std::string_view)> messageText;

  TSerialPort& serialPort() { return *m_serial; }
  THidDeviceController& hidController() { return *m_hid; }
  // The first device search runs from the event loop, then once a second.
  void startUsbSearch();

  // The port menu's entries: the system's serial ports (and a stored device path that
  // exists), sorted, then "DEMO" (the built-in demo thermometer), with "USB" last while the
  // adapter is present. An entry is checked
  // when it is the chosen port, and disabled when its probe found that it does not open.
  void buildPortList();
  const std::vector<std::string>& PortList() const { return m_portList; }
  bool entryEnabled(std::size_t index) const { return m_enabled.at(index); }
  int checkedEntry() const { return m_checked; }
  // The chosen serial port did not open when probed.
  bool chosenPortFailed() const { return m_chosenFailed; }
  std::size_t serialEntryCount() const { return m_portList.size() - (m_usbPresent ? 1 : 0); }
  bool isUsbEntry(std::size_t index) const { return m_usbPresent && index + 1 == m_portList.size(); }
  // The user chose entry `index`: the adapter, or a serial port, in which case every serial
  // entry is probed by opening it.
  void choosePort(std::size_t index);

  bool UsbPresent() const { return m_usbPresent; }
  bool UsbSelected() const { return m_usbSelected; }
  void setUsbSelected(bool on) { m_usbSelected = on; }
  bool usbActive() const { return m_usbPresent && m_usbSelected; }
  // While a recording reconnects, the chosen adapter stays chosen when it goes away, and only
  // the same adapter (by serial number) is taken when one arrives.
  void setHoldUsb(bool hold);
  // Only the adapter with this serial number is taken (a channel bound to one adapter of
  // several); empty: the first adapter that arrives, as designed.
  void setWantedUsbSerial(const std::string& serial) { m_wantedSerial = serial; }
  const std::string& wantedUsbSerial() const { return m_wantedSerial; }
  std::string serialPortName() const;
  // Why the chosen link did not open, for the user: the system's reason for a serial port,
  // empty for an absent adapter (the window names it).
  std::string openError() const;

  // The adapter.
  void HidControllerArrival(const HidDeviceInfo& device);
  void HidControllerRemoval(const HidDeviceInfo& device);
  void GetReport(int reportId, const QByteArray& data);
  bool SendReport(const std::string& text);

  // ProtocolTransport
  void send(std::string_view text) override;
  bool lastSendRefused() const override { return m_lastSendRefused; }
  bool setActive(bool on) override;
  bool active() const override;
  void purge() override;

 signals:
  void statusMessage(const QString& text);
  void portsChanged();  // entries, checks, enabled states or the chosen link changed
  void linkLost();      // the chosen link's device went away
  // The chosen adapter was removed: `awaited` when a reconnecting recording waits for it
  // (by its serial number), else the first serial entry has been chosen instead.
  void adapterRemoved(bool awaited, const QString& serial);

 private:
  void chooseSerial(std::size_t index);
  void serialReceived(const QByteArray& block);
  bool usbLink() const { return m_usbSelected && (m_usbPresent || !m_heldSerial.empty()); }
  void deliver(std::string_view text);
  static std::string writeErrorText(const std::string& error, int code);

  ConnectionOptions m_options;
  std::unique_ptr<TSerialPort> m_serial;
  std::unique_ptr<THidDeviceController> m_hid;
  std::unique_ptr<THidDevice> m_usbDevice;
  SerialFraming m_framing;
  bool m_usbPresent = false;
  bool m_usbSelected = false;
  std::vector<std::string> m_portList;
  std::vector<bool> m_enabled;
  int m_checked = -1;
  bool m_chosenFailed = false;
  bool m_holdUsb = false;
  std::string m_heldSerial;  // the adapter awaited back while a recording reconnects
  std::string m_wantedSerial;
  bool m_lastSendRefused = false;
};

}  // namespace velmora
