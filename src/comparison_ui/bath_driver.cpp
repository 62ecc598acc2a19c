#include "comparison_ui/bath_driver.h"

namespace velmora {

BathDriver::BathDriver(QObject* parent) : QObject(parent) {
  m_poll.setInterval(1000);
  connect(&m_poll, &QTimer::timeout, this, &BathDriver::poll);
  connect(&m_port, &QSerialPort::readyRead, this, &BathDriver::received);
}

BathDriver::~BathDriver() { close(); }

bool BathDriver::open(const QString& port, int baud, QString* why) {
  close();
  m_port.setPortName(port);
  m_name = port;
  if (!m_port.open(QIODevice::ReadWrite)) {
    if (why) *why = m_port.errorString();
    return false;
  }
  // Ports without line settings of their own (pseudo-terminals, some adapters) refuse some of
  // these; the bath answers all the same, so a refusal is not a failure.
  m_port.setBaudRate(baud);
  m_port.setDataBits(QSerialPort::Data8);
  m_port.setParity(QSerialPort::NoParity);
  m_port.setStopBits(QSerialPort::OneStop);
  m_port.setFlowControl(QSerialPort::NoFlowControl);
  m_port.clearError();
  m_unanswered = 0;
  m_silent = false;
  m_poll.start();
  poll();
  return true;
}

void BathDriver::close() {
  m_poll.stop();
  if (m_port.isOpen()) m_port.close();
}

void BathDriver::send(const std::string& command) {
  if (!m_port.isOpen()) return;
  m_port.write(command.data(), static_cast<qint64>(command.size()));
}

void BathDriver::setSetPoint(double celsius) { send(comparison::bathSetPointCommand(celsius)); }

void BathDriver::setScanRate(double perMinute) { send(comparison::bathScanRateCommand(perMinute)); }

void BathDriver::poll() {
  if (!m_port.isOpen()) return;
  if (++m_unanswered > silentPolls && !m_silent) {
    m_silent = true;
    emit silenceChanged(true);
  }
  send(std::string(comparison::kBathReadCommand));
}

void BathDriver::received() {
  const QByteArray bytes = m_port.readAll();
  m_lines.feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), [this](std::string_view line) {
    const auto t = comparison::parseBathReading(line);
    if (!t) return;
    m_unanswered = 0;
    if (m_silent) {
      m_silent = false;
      emit silenceChanged(false);
    }
    emit reading(*t);
  });
}

}  // namespace velmora
