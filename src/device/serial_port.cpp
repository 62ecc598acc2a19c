#include "device/serial_port.h"

#include <QMetaObject>
#include <QSerialPort>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

#include "common/number_text.h"
#include "device/port_names.h"

namespace velmora {

using Clock = std::chrono::steady_clock;

TSerialPort::TSerialPort(DemoFactory demoFactory, QObject* parent)
    : QObject(parent), m_demoFactory(std::move(demoFactory)) {
#ifdef Q_OS_UNIX
  int fds[2];
  if (::pipe(fds) == 0) {
    for (int fd : fds) {
      ::fcntl(fd, F_SETFD, FD_CLOEXEC);
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    m_wakeRead = fds[0];
    m_wakeWrite = fds[1];
  }
#endif
  m_thread.reset(QThread::create([this] {
    run();
    std::lock_guard lock(m_mutex);
    m_finished = true;
    m_wake.notify_all();
  }));
  m_thread->setObjectName("TWorkThread");
  m_thread->start();
}

TSerialPort::~TSerialPort() {
  m_stop = true;
  m_wake.notify_all();
  wakeWorker();
  m_handOver.wake();
  if (m_thread) m_thread->wait();
  // Seen through the standard library as well, so that every tool sees the loop's end.
  {
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return m_finished; });
  }
#ifdef Q_OS_UNIX
  if (m_wakeRead >= 0) ::close(m_wakeRead);
  if (m_wakeWrite >= 0) ::close(m_wakeWrite);
#endif
}

void TSerialPort::wakeWorker() {
#ifdef Q_OS_UNIX
  if (m_wakeWrite >= 0) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(m_wakeWrite, &byte, 1);  // a full pipe is awake already
  }
#endif
}

void TSerialPort::waitForInput(int timeoutMs) {
#ifdef Q_OS_UNIX
  auto* sp = qobject_cast<QSerialPort*>(m_device.get());
  // A port with bytes still to write is served by Qt's own wait, which writes them.
  if (sp && m_wakeRead >= 0 && sp->handle() >= 0 && sp->bytesToWrite() == 0) {
    if (sp->bytesAvailable() > 0) return;
    pollfd fds[2] = {{sp->handle(), POLLIN, 0}, {m_wakeRead, POLLIN, 0}};
    ::poll(fds, 2, timeoutMs);
    if (fds[1].revents != 0) {
      char drain[64];
      while (::read(m_wakeRead, drain, sizeof drain) > 0) {
      }
    }
    // The port's news (bytes, a hang-up, an error) are taken in by Qt without waiting.
    if (fds[0].revents != 0) sp->waitForReadyRead(0);
    return;
  }
#endif
  (void)timeoutMs;
  m_device->waitForReadyRead(kWaitSliceMs);
}

void TSerialPort::setBaudRate(int rate) {
  m_baudRate = rate;
  if (XTOAuto) RTOCharDelayTime = WTOCharDelayTime = characterTimeMicros(rate);
  if (m_active) {
    post([this, rate, rto = RTOCharDelayTime] {
      m_line.baudRate = rate;
      m_line.rtoCharDelayUs = rto;
      if (auto* sp = qobject_cast<QSerialPort*>(m_device.get())) sp->setBaudRate(rate);
    }, true);
  }
}

void TSerialPort::post(std::function<void()> work, bool wait) {
  if (!wait) {
    {
      std::lock_guard lock(m_mutex);
      m_commands.push_back({std::move(work)});
      m_wake.notify_all();
    }
    wakeWorker();
    m_handOver.wake();
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  auto future = done->get_future();
  {
    std::lock_guard lock(m_mutex);
    m_commands.push_back({[work = std::move(work), done] {
      work();
      done->set_value();
    }});
  }
  m_wake.notify_all();
  wakeWorker();
  m_handOver.wake();  // the background thread may be waiting in a hand-over
  future.wait();
}

void TSerialPort::serviceCommands() {
  for (;;) {
    Command c;
    {
      std::lock_guard lock(m_mutex);
      if (m_commands.empty()) return;
      c = std::move(m_commands.front());
      m_commands.pop_front();
    }
    c.work();
  }
}

TSerialPort::LineSettings TSerialPort::lineSettings() const {
  LineSettings l;
  l.port = CommPort;
  l.baudRate = m_baudRate;
  l.dataBits = DataBits;
  l.parity = ParityType;
  l.stopBits = StopBits;
  l.flowControl = FlowControl;
  l.rtoCharDelayUs = RTOCharDelayTime;
  l.rtoExtraDelayMs = RTOExtraDelayTime;
  l.clusterSize = std::max(1, ClusterSize);
  return l;
}

bool TSerialPort::setActive(bool on) {
  if (on == m_active) return m_active;
  post([this, on, line = lineSettings()] {
    if (on) {
      m_line = line;
      m_active = openDevice();
    } else {
      closeDevice();
    }
  }, true);
  return m_active;
}

void TSerialPort::setCommPort(const std::string& name) {
  if (name == CommPort) return;
  CommPort = name;
  if (m_active) {
    setActive(false);
    setActive(true);
  }
}

bool TSerialPort::openDevice() {
  auto failed = [this](const QString& why) {
    std::lock_guard lock(m_mutex);
    m_openError = why.toStdString();
    return false;
  };
  {
    std::lock_guard lock(m_mutex);
    m_openError.clear();
  }
  if (m_line.port.rfind("DEMO", 0) == 0 && m_demoFactory) {
    m_device = m_demoFactory(m_line.port);
    if (!m_device || !m_device->open(QIODevice::ReadWrite)) {
      m_device.reset();
      return failed(QStringLiteral("the demo thermometer did not start"));
    }
    return true;
  }
  auto port = std::make_unique<QSerialPort>();
  // "ttyUSB0" opens /dev/ttyUSB0, "COM1" opens \\.\COM1; an absolute path is used as given.
  port->setPortName(QString::fromStdString(m_line.port));
  if (!port->open(QIODevice::ReadWrite)) return failed(port->errorString());
  port->setReadBufferSize(0);
  port->setBaudRate(m_line.baudRate);
  const int dataBits = m_line.dataBits;
  port->setDataBits(static_cast<QSerialPort::DataBits>(dataBits >= 5 && dataBits <= 8 ? dataBits : 8));
  static constexpr QSerialPort::Parity kParity[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                    QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                    QSerialPort::SpaceParity};
  const int parity = m_line.parity;
  port->setParity(parity >= 0 && parity < 5 ? kParity[parity] : QSerialPort::NoParity);
  port->setStopBits(m_line.stopBits == 2   ? QSerialPort::TwoStop
                    : m_line.stopBits == 1 ? QSerialPort::OneAndHalfStop
                                           : QSerialPort::OneStop);
  port->setFlowControl(m_line.flowControl == 0 ? QSerialPort::NoFlowControl : QSerialPort::HardwareControl);
  port->setDataTerminalReady(true);
  port->setRequestToSend(true);
  port->clear();
  // A port without modem lines (a pseudo-terminal, some virtual and Bluetooth ports) refuses
  // DTR and RTS; that error is not the device's, and must not be taken for a lost device.
  port->clearError();
  m_device = std::move(port);
  return true;
}

void TSerialPort::closeDevice() {
  m_active = false;
  if (m_device) {
    if (auto* sp = qobject_cast<QSerialPort*>(m_device.get())) sp->clear();
    m_device->close();
    m_device.reset();
  }
  m_sending = false;
}

void TSerialPort::setDTR(bool on) {
  DTRState = on;
  if (!m_active) return;
  post([this, on] {
    if (auto* sp = qobject_cast<QSerialPort*>(m_device.get())) {
      sp->setDataTerminalReady(on);
      if (sp->error() != QSerialPort::ResourceError) sp->clearError();  // a port without modem lines
    }
  }, false);
}

void TSerialPort::setRTS(bool on) {
  RTSState = on;
  if (!m_active) return;
  post([this, on] {
    if (auto* sp = qobject_cast<QSerialPort*>(m_device.get())) {
      sp->setRequestToSend(on);
      if (sp->error() != QSerialPort::ResourceError) sp->clearError();
    }
  }, false);
}

void TSerialPort::purge() {
  if (!m_active) return;
  post([this] {
    if (auto* sp = qobject_cast<QSerialPort*>(m_device.get())) sp->clear();
    if (m_device) m_device->readAll();
  }, true);
}

bool TSerialPort::SendText(const std::string& text) {
  if (text.empty() || !m_active) return true;
  if (m_sending.exchange(true)) return false;  // an earlier send is still in progress
  const int timeoutMs = static_cast<int>(writeTimeoutMs(text.size()) + 0.999);
  post([this, text, timeoutMs] {
    if (m_device) {
      m_device->write(text.data(), static_cast<qint64>(text.size()));
      m_device->waitForBytesWritten(timeoutMs);
    }
    m_sending = false;
  }, false);
  return true;
}

void TSerialPort::deliver(std::string block) {
  // Handed to the user-interface thread; while its handler runs, the background thread keeps
  // serving the requests (open, close, send) that the handler itself may make.
  m_handOver.run([this, bytes = QByteArray(block.data(), static_cast<qsizetype>(block.size()))] { emit received(bytes); },
                 [this] { serviceCommands(); }, m_stop);
  ++m_delivered;
}

// Only errors of the device itself mean it went away; a refused request (a modem line on a
// port without one, a setting the driver does not support) or a read time-out does not.
bool TSerialPort::deviceGone() {
  auto* sp = qobject_cast<QSerialPort*>(m_device.get());
  if (!sp) return false;
  if (!sp->isOpen()) return true;
  switch (sp->error()) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
    case QSerialPort::UnsupportedOperationError:
    case QSerialPort::UnknownError:
      if (sp->error() != QSerialPort::NoError) sp->clearError();
      return false;
    default:
      return true;
  }
}

void TSerialPort::run() {
  std::string pending;
  auto lastEmpty = Clock::now();
  while (!m_stop) {
    serviceCommands();
    if (!m_active || !m_device) {
      pending.clear();
      std::unique_lock lock(m_mutex);
      m_wake.wait_for(lock, std::chrono::milliseconds(200), [&] { return m_stop || !m_commands.empty(); });
      lastEmpty = Clock::now();
      continue;
    }
    // Until bytes come, a send is asked for, or the bytes held have been quiet long enough to
    // be a block (a second at most, so that nothing is missed for long).
    int timeoutMs = 1000;
    if (!pending.empty()) {
      const double quiet = static_cast<double>(pending.size()) * m_line.rtoCharDelayUs / 1000.0 + m_line.rtoExtraDelayMs;
      const double since = std::chrono::duration<double, std::milli>(Clock::now() - lastEmpty).count();
      timeoutMs = std::clamp(static_cast<int>(std::ceil(quiet - since)) + 1, 1, 1000);
    }
    waitForInput(timeoutMs);
    if (m_device && m_device->bytesAvailable() > 0) {
      const QByteArray bytes = m_device->readAll();
      pending.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    if (deviceGone()) {
      // The device went away (a hang-up reads nothing from a readable port, or fails):
      // the port is closed quietly, and the protocol's time-out reports it.
      closeDevice();
      emit deviceLost();
      continue;
    }
    const auto now = Clock::now();
    if (pending.empty()) {
      lastEmpty = now;
      continue;
    }
    const double quietMs =
        static_cast<double>(pending.size()) * m_line.rtoCharDelayUs / 1000.0 + m_line.rtoExtraDelayMs;
    const double sinceEmpty = std::chrono::duration<double, std::milli>(now - lastEmpty).count();
    const auto cluster = static_cast<std::size_t>(m_line.clusterSize);
    while (pending.size() >= cluster) {
      std::string block = pending.substr(0, cluster);
      pending.erase(0, cluster);
      deliver(std::move(block));
    }
    if (!pending.empty() && sinceEmpty > quietMs) {
      deliver(std::move(pending));
      pending.clear();
      lastEmpty = Clock::now();
    }
  }
  closeDevice();
}

// ---------------------------------------------------------------- stored settings

void TSerialPort::SaveSettings(SettingsBackend& store, std::string_view key) const {
  auto num = [&](std::string_view name, long v) { writeText(store, key, name, std::to_string(v)); };
  auto flag = [&](std::string_view name, bool v) { writeText(store, key, name, v ? "1" : "0"); };
  auto chr = [&](std::string_view name, int v) { writeText(store, key, name, std::string(1, static_cast<char>(v))); };
  writeText(store, key, "CommPort", CommPort);
  num("BaudRate", m_baudRate);
  num("ParityType", ParityType);
  chr("ParityErrorChar", ParityErrorChar);
  flag("ParityErrorReplacement", ParityErrorReplacement);
  num("StopBits", StopBits);
  num("DataBits", DataBits);
  chr("XONChar", XONChar);
  chr("XOFFChar", XOFFChar);
  num("XONLimDiv", XONLimDiv);
  num("XOFFLimDiv", XOFFLimDiv);
  num("FlowControl", FlowControl);
  flag("StripNullChars", StripNullChars);
  chr("EventChar", EventChar);
  num("RTOCharDelayTime", RTOCharDelayTime);
  num("RTOExtraDelayTime", RTOExtraDelayTime);
  num("ClusterSize", ClusterSize);
  num("RxQueueSize", RxQueueSize);
  num("TxQueueSize", TxQueueSize);
  num("WTOCharDelayTime", WTOCharDelayTime);
  num("WTOExtraDelayTime", WTOExtraDelayTime);
  flag("XTOAuto", XTOAuto);
  flag("RTSState", RTSState);
  flag("DTRState", DTRState);
  flag("BREAKState", BREAKState);
  num("ErrorNoise", ErrorNoise);
  flag("Active", m_active);
}

void TSerialPort::LoadSettings(const SettingsBackend& store, std::string_view key) {
  auto num = [&](std::string_view name, int def, int lo, int hi) {
    auto t = readText(store, key, name);
    if (!t) return def;
    auto v = parseInteger(*t, Blanks::Allowed);
    return v && *v >= lo && *v <= hi ? *v : def;
  };
  auto flag = [&](std::string_view name, bool def) {
    auto t = readText(store, key, name);
    if (!t) return def;
    auto v = parseInteger(*t, Blanks::Allowed);
    return v ? *v != 0 : def;
  };
  auto chr = [&](std::string_view name, int def) {
    auto t = readText(store, key, name);
    return t && t->size() == 1 ? static_cast<unsigned char>((*t)[0]) : def;
  };
  if (auto port = readText(store, key, "CommPort"); port && !port->empty() && port->size() < 256)
    CommPort = *port;
  else
    CommPort = "COM2";
  XTOAuto = flag("XTOAuto", true);
  setBaudRate(num("BaudRate", 9600, 50, 4000000));
  ParityType = num("ParityType", 0, 0, 4);
  ParityErrorChar = chr("ParityErrorChar", 0);
  ParityErrorReplacement = flag("ParityErrorReplacement", false);
  StopBits = num("StopBits", 0, 0, 2);
  DataBits = num("DataBits", 8, 5, 8);
  XONChar = chr("XONChar", 17);
  XOFFChar = chr("XOFFChar", 19);
  XONLimDiv = num("XONLimDiv", 33, 0, 100);
  XOFFLimDiv = num("XOFFLimDiv", 33, 0, 100);
  FlowControl = num("FlowControl", 0, 0, 0xFFFF);
  StripNullChars = flag("StripNullChars", false);
  EventChar = chr("EventChar", 0);
  RTOCharDelayTime = num("RTOCharDelayTime", RTOCharDelayTime, 0, 1000000);
  RTOExtraDelayTime = num("RTOExtraDelayTime", 250, 0, 60000);
  ClusterSize = num("ClusterSize", 3072, 1, 1 << 20);
  RxQueueSize = num("RxQueueSize", 4096, 16, 1 << 20);
  TxQueueSize = num("TxQueueSize", 4096, 16, 1 << 20);
  WTOCharDelayTime = num("WTOCharDelayTime", WTOCharDelayTime, 0, 1000000);
  WTOExtraDelayTime = num("WTOExtraDelayTime", 250, 0, 60000);
  RTSState = flag("RTSState", true);
  DTRState = flag("DTRState", true);
  BREAKState = flag("BREAKState", false);
  ErrorNoise = num("ErrorNoise", 2, 0, 255);
  setActive(flag("Active", false));
}

}  // namespace velmora
