#include "channel/channel.h"

#include "common/coefficient_scale.h"
#include "common/number_text.h"
#include "device/serial_port.h"
#include "display/reading_list.h"

namespace velmora {

Channel::Channel(int number, ConnectionOptions options, RecordingClock& clock, const Clock& wallClock,
                 ReadingSink* designed, QObject* parent)
    : QObject(parent), m_number(number), m_designed(designed), m_clock(clock), m_wallClock(wallClock) {
  m_connection = std::make_unique<ConnectionController>(std::move(options));
  m_protocol = std::make_unique<Protocol>(*m_connection, *this, m_dataAdapter, m_timeOffAdapter);
  m_protocol->setFactorLink(this);
  m_protocol->setReconnectTimer(&m_reconnectAdapter);
  m_connection->onReceived = [this](std::string_view text) { m_protocol->received(text); };
  connect(&m_dataTimer, &QTimer::timeout, this, [this] { m_protocol->DataTimerTimer(); });
  connect(&m_timeOffTimer, &QTimer::timeout, this, [this] { m_protocol->TimeOffTimerTimer(); });
  connect(&m_reconnectTimer, &QTimer::timeout, this, [this] { m_protocol->ReconnectTimerTimer(); });
  connect(m_connection.get(), &ConnectionController::linkLost, this, [this] { m_protocol->linkLost(); });
  m_dataTimer.setObjectName("DataTimer");
  m_timeOffTimer.setObjectName("TimeOffTimer");
  colour = QColor::fromRgb(0x0080C0);
  // A write whose exchange never ends (the protocol already said why in its status).
  connect(&m_writeTimeout, &QTimer::timeout, this, [this] {
    if (m_writing) endWrite(false, QString::fromUtf8("no answer"));
    endRead();
  });
}

Channel::~Channel() {
  // The link's threads go first, so that nothing is delivered to a channel being torn down.
  m_connection.reset();
}

TSerialPort& Channel::serialPort() { return m_connection->serialPort(); }

std::string Channel::port() const {
  if (m_connection->UsbSelected()) return "USB:" + m_connection->wantedUsbSerial();
  return m_connection->serialPortName();
}

void Channel::setPort(const std::string& port) {
  if (port.rfind("USB:", 0) == 0) {
    m_connection->setUsbSelected(true);
    m_connection->setWantedUsbSerial(port.substr(4));
    m_connection->startUsbSearch();
  } else {
    m_connection->setUsbSelected(false);
    m_connection->serialPort().setCommPort(port);
    m_connection->serialPort().setBaudRate(4800);
  }
  emit changed(this);
}

QString Channel::portCaption() const {
  const std::string p = port();
  if (p.rfind("USB:", 0) == 0) return QString::fromUtf8("USB \u2116") + QString::fromStdString(p.substr(4));
  return QString::fromStdString(p);
}

void Channel::setFactors(const math::TCofSet& f) {
  m_factors = f;
  emit changed(this);
}

void Channel::readFactors() {
  // One exchange at a time.
  if (m_readingFactors || m_writing || m_protocol->exchangingFactors()) return;
  m_readingFactors = true;
  for (double& v : m_read) v = NAN;
  // The answer comes to this channel (the first channel's otherwise go to the calibration window).
  m_savedLink = m_protocol->factorLink();
  m_protocol->setFactorLink(this);
  m_openedForFactors = !m_connection->active();
  m_writeTimeout.setSingleShot(true);
  m_writeTimeout.start(30000);
  if (m_protocol->recording())
    m_protocol->readFactorsAtNextPoll();  // a poll would cut a read off: it takes a poll's place
  else
    m_protocol->startCofRead();
}

void Channel::endRead() {
  if (!m_readingFactors) return;
  m_readingFactors = false;
  m_writeTimeout.stop();
  m_protocol->setFactorLink(m_savedLink);
  if (m_protocol->exchangingFactors()) m_protocol->clearTransferFlags();
  if (m_openedForFactors && !m_protocol->recording()) m_protocol->ToggleSerialPort(false);
}

bool Channel::record(bool on) { return m_protocol->miRecordClick(on); }

void Channel::setReconnect(bool on, int limitMs) { m_protocol->setReconnect(on, limitMs); }

void Channel::setLink(Link link, const QString& text) {
  m_link = link;
  m_linkText = text;
  emit changed(this);
}

// ---------------------------------------------------------------- what the protocol reports

void Channel::setStatusText(std::string_view text) {
  m_status = text;
  if (m_designed) m_designed->setStatusText(text);
}

void Channel::appendStatusText(std::string_view text) {
  m_status += text;
  if (m_designed) m_designed->appendStatusText(text);
}

void Channel::setRecording(bool on) {
  m_readout.setVisible(on);
  if (m_designed) m_designed->setRecording(on);
  if (on || m_link != Link::Failed) setLink(on ? Link::Recording : Link::Idle);
}

void Channel::readoutRequest() {
  m_readout.onRequest();
  if (m_designed) m_designed->readoutRequest();
}

void Channel::readoutReply(std::string_view reply) {
  m_readout.onReply(reply, "Ohm");
  if (m_designed) m_designed->readoutReply(reply);
}

// One recording clock for every channel: the window runs it (the first channel's sink).
void Channel::startRun() {
  if (m_designed) m_designed->startRun();
}
void Channel::endRun() {
  if (m_designed) m_designed->endRun();
}
double Channel::elapsed() const { return m_designed ? m_designed->elapsed() : m_clock.elapsed(); }

void Channel::AddPoint(double x, double y) { addReading(x, y, kNoValue); }

void Channel::addReading(double x, double y, double resistance) {
  if (m_link != Link::Recording) setLink(Link::Recording);
  if (m_designed) {
    // The designed window keeps the first channel's readings (its list and series are ours).
    m_designed->addReading(x, y, resistance);
    m_lastUtcMs = m_series.empty() ? kNoTime : m_series.utcMs(m_series.size() - 1);
  } else {
    m_line.clear();
    appendListLine(m_line, x, y);
    m_lastUtcMs = m_wallClock.utcMs();
    if (m_keep) {
      m_list.append(m_line);
      m_series.add(x, y, resistance, m_lastUtcMs);
    }
  }
  m_last = {x, y, resistance, m_lastUtcMs};
  ++m_count;
  emit readingAdded(this);
}

void Channel::communicationError() {
  if (m_writing) endWrite(false, QString::fromUtf8("Communication error!"));
  endRead();
  setLink(Link::Failed, QString::fromUtf8("Communication error!"));
  if (m_designed) m_designed->communicationError();
}

void Channel::showError(std::string_view text) {
  setLink(m_link, QString::fromStdString(std::string(text)));
  if (m_designed) m_designed->showError(text);
}

void Channel::reconnecting(int attempt) {
  setLink(Link::Reconnecting, QString::number(attempt));
  if (m_designed) m_designed->reconnecting(attempt);
}

void Channel::linkRestored() {
  setLink(Link::Recording);
  if (m_designed) m_designed->linkRestored();
}

void Channel::invalidAnswers(bool on) {
  setLink(on ? Link::NoValidReadings : Link::Recording);
  if (m_designed) m_designed->invalidAnswers(on);
}

void Channel::openFailed() {
  setLink(Link::Failed, QString::fromStdString(m_connection->openError()));
  if (m_designed) m_designed->openFailed();
}

// ---------------------------------------------------------------- writing factors

bool Channel::writeFactors(const std::array<std::string, 4>& cells) {
  if (m_writing || m_protocol->recording() || m_protocol->exchangingFactors()) return false;
  m_writing = true;
  m_writeCells = cells;
  // This channel answers the protocol's questions about the factors for the write (the first
  // channel's are otherwise the calibration window's).
  m_savedLink = m_protocol->factorLink();
  m_savedVerify = m_protocol->verifyWrite();
  m_protocol->setFactorLink(this);
  m_protocol->setVerifyWrite(true);
  m_openedForFactors = !m_connection->active();
  m_writeTimeout.setSingleShot(true);
  m_writeTimeout.start(30000);
  m_protocol->startCofWrite();
  return true;
}

std::string Channel::newCofCell(int index) const {
  return m_writing && index >= 0 && index < 4 ? m_writeCells[static_cast<std::size_t>(index)] : std::string();
}

void Channel::rejectNewCofCell(int index) {
  if (m_writing) endWrite(false, QString("factor %1 is not a number").arg(index + 1));
}

void Channel::writeVerified(const std::vector<Mismatch>& mismatches) {
  if (!m_writing) return;
  QString detail;
  for (const auto& m : mismatches)
    detail += QString("%1%2: written %3, read %4").arg(detail.isEmpty() ? "" : "; ").arg(m.index + 1)
                  .arg(QString::fromStdString(m.written), QString::fromStdString(m.read));
  endWrite(mismatches.empty(), detail);
}

void Channel::readBackFailed(std::string_view reason) {
  if (m_writing) endWrite(false, QString::fromStdString(std::string(reason)));
}

void Channel::endWrite(bool verified, const QString& detail) {
  if (!m_writing) return;
  m_writing = false;
  m_writeTimeout.stop();
  m_protocol->setFactorLink(m_savedLink);
  m_protocol->setVerifyWrite(m_savedVerify);
  if (m_protocol->exchangingFactors()) m_protocol->clearTransferFlags();
  if (m_openedForFactors && !m_protocol->recording()) m_protocol->ToggleSerialPort(false);
  if (verified) {
    double v[4];
    bool all = true;
    for (int i = 0; i < 4; ++i) {
      const auto x = parseNumber(m_writeCells[static_cast<std::size_t>(i)], Blanks::Allowed);
      all = all && x;
      v[i] = x ? *x * kCofScale[i].unscale : 0;
    }
    if (all) setFactors({v[0], v[1], v[2], v[3]});
  }
  emit factorsWritten(this, verified, detail);
}

// ---------------------------------------------------------------- the factors read

void Channel::setFactorCell(int row, int column, std::string_view text) {
  if (row != 1 || column < 1 || column > 4) return;
  if (const auto v = parseNumber(text, Blanks::Allowed)) m_read[column - 1] = *v;
}

void Channel::cofProgressChanged() {
  if (!m_readingFactors || m_protocol->ReadingCof) return;
  endRead();
  bool all = true;
  for (double v : m_read) all = all && !std::isnan(v);
  if (all)
    setFactors({m_read[0] * kCofScale[0].unscale, m_read[1] * kCofScale[1].unscale, m_read[2] * kCofScale[2].unscale,
                m_read[3] * kCofScale[3].unscale});
}

}  // namespace velmora
