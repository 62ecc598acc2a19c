#include "device/protocol.h"

#include <limits>
#include <optional>

#include <algorithm>

#include "common/coefficient_scale.h"
#include "common/number_text.h"

namespace velmora {

namespace {
constexpr const char* kCofPrefix[4] = {"wR", "wA", "wB", "wC"};
constexpr int kCofDecimals[4] = {3, 4, 4, 4};
}  // namespace

std::string cofWriteCommand(int index, std::string_view cellText) {
  std::string cmd = kCofPrefix[index];
  cmd += cellText;
  cmd += kCofScale[index].suffix;
  return cmd;
}

void Protocol::SendCmd(std::string_view text) {
  if (text.empty()) return;
  std::string line = std::move(m_sendPrefix);
  m_sendPrefix.clear();
  line += text;
  line.push_back('\r');
  m_link.send(line);
  if (!m_timeOff.active()) m_timeOff.start(kAnswerTimeoutMs);
}

void Protocol::ParseRXstr(std::string_view line) {
  if (WaitData) {
    WaitData = false;
    m_sink.setStatusText("");
    std::string_view s = trimLeadingBlanks(line);
    m_sink.readoutReply(s);
    // The answer: resistance, a blank, temperature.
    const auto blank = s.find(' ');
    std::optional<double> resistance;
    if (blank != std::string_view::npos) {
      resistance = parseNumber(s.substr(0, blank));
      s.remove_prefix(blank + 1);
    }
    const double x = m_sink.elapsed();
    // Leading blanks are allowed; nothing may follow the number.
    if (auto y = parseNumber(trimLeadingBlanks(s))) {
      RetriesLeft = kRetryBudget;  // a good reading restores the budget
      validReading();
      m_sink.addReading(x, *y, resistance ? *resistance : std::numeric_limits<double>::quiet_NaN());
    }
    return;
  }
  if (WaitEcho) {
    WaitEcho = false;
    if (line == LastCmd) {
      RetriesLeft = kRetryBudget;
      SendCmd("wY");
      WaitCof = true;
      m_factors->appendFactorStatus("+");
    } else {
      // "wN" and the repeated write go out as one write: a link that is still sending the
      // first would refuse the second, which then waited for the next time-out.
      if (line != "wN") m_sendPrefix = "wN\r";
      WriteNextCof(m_pbWrite);
      if (!m_sendPrefix.empty()) SendCmd("wN");  // the write was refused: "wN" alone
      m_factors->appendFactorStatus("-");
    }
    return;
  }
  if (WaitCof && line.find("Rt0=") != std::string_view::npos) {
    parseCofLine(line);
    return;
  }
  // Nothing awaited, or a line without "Rt0=" while a factor line is awaited: ignored.
}

void Protocol::parseCofLine(std::string_view line) {
  WaitCof = false;
  m_factors->setFactorStatus("");
  std::string_view rest = line;
  double values[4] = {};
  for (int i = 0; i < 4; ++i) {
    const auto eq = rest.find('=');
    auto comma = rest.find(',');
    if (comma == std::string_view::npos) comma = rest.size();
    std::string_view value;
    if (eq != std::string_view::npos && eq < comma) value = rest.substr(eq + 1, comma - eq - 1);
    rest = comma < rest.size() ? rest.substr(comma + 1) : std::string_view();
    auto v = parseNumber(value, Blanks::Allowed);
    if (!v) {
      // The read or write goes no further; its flag stays set until the next one starts.
      m_sink.showError(notAValidFloat(trimBlanks(value)));
      if (VerifyingCof) {
        VerifyingCof = false;
        m_factors->readBackFailed(notAValidFloat(trimBlanks(value)));
      }
      return;
    }
    values[i] = *v;
    const std::string text = formatFixed(*v * kCofScale[i].shown, 7, kCofDecimals[i]);
    if (ReadingCof) m_factors->setFactorCell(1, i + 1, text);
    if (WritingCof && i == m_pbWrite) m_factors->setFactorCell(2, i + 1, text);
  }
  RetriesLeft = kRetryBudget;
  ReadingCof = false;
  if (VerifyingCof) {
    VerifyingCof = false;
    verifyReadBack(values);
    return;
  }
  if (WritingCof) {
    setPbWrite(m_pbWrite + 1);
    if (m_pbWrite < 4) {
      WriteNextCof(m_pbWrite);
    } else {
      WritingCof = false;
      setPbWrite(0);
      m_factors->setFactorStatus("");
      if (m_verifyWrite) {  // read back what the instrument now holds
        VerifyingCof = true;
        SendCmd("q");
        WaitCof = true;
      }
    }
  } else {
    m_factors->cofProgressChanged();
  }
}

// The read-back against the cells written, each at the table's precision.
void Protocol::verifyReadBack(const double (&values)[4]) {
  std::vector<FactorLink::Mismatch> mismatches;
  for (int i = 0; i < 4; ++i) {
    const std::string read = formatFixed(values[i] * kCofScale[i].shown, 7, kCofDecimals[i]);
    const auto written = parseNumber(m_writtenCells[i], Blanks::Allowed);
    const std::string writtenText = written ? formatFixed(*written, 7, kCofDecimals[i]) : m_writtenCells[i];
    if (read != writtenText) mismatches.push_back({i, writtenText, read});
  }
  m_factors->writeVerified(mismatches);
}

void Protocol::receiveText(std::string_view text) {
  RxBuffer.append(text);
  // One line at a time out of the buffer, so that whatever the parser sends (and whatever
  // arrives meanwhile) never sees a half-consumed buffer.
  for (;;) {
    const auto cr = RxBuffer.find('\r');
    if (cr == std::string::npos) break;
    std::string line = RxBuffer.substr(0, std::min(cr, kMaxLine));
    RxBuffer.erase(0, cr + 1);
    ParseRXstr(line);
  }
  if (RxBuffer.size() > kMaxRxBuffer) RxBuffer.erase(0, RxBuffer.size() - kMaxRxBuffer);
}

void Protocol::received(std::string_view text) {
  m_timeOff.stop();
  if (!text.empty()) m_pollGotData = true;
  receiveText(text);
}

// ---------------------------------------------------------------- reconnecting and garbage

void Protocol::validReading() {
  m_pollValid = true;
  m_invalidPolls = 0;
  if (m_invalidWarned) {
    m_invalidWarned = false;
    m_sink.invalidAnswers(false);
  }
  if (m_reconnecting) {
    stopReconnect();
    m_dataTimer.start(m_pollInterval);
    m_sink.linkRestored();
  }
}

// A poll ends when the next one goes out: one that brought data but no valid reading
// counts towards the warning.
void Protocol::pollEnded() {
  if (m_pollGotData && !m_pollValid && ++m_invalidPolls >= kInvalidAnswersWarning && !m_invalidWarned) {
    m_invalidWarned = true;
    m_sink.invalidAnswers(true);
  }
  m_pollGotData = m_pollValid = false;
}

void Protocol::linkLost() {
  if (m_recording && reconnectEnabled() && !m_reconnecting) startReconnect();
}

void Protocol::startReconnect() {
  m_reconnecting = true;
  m_attempt = 0;
  m_reconnectElapsedMs = 0;
  m_dataTimer.stop();
  m_timeOff.stop();
  WaitData = false;
  m_link.setActive(false);
  m_reconnectTimer->start(kReconnectPeriodMs);
}

void Protocol::stopReconnect() {
  m_reconnecting = false;
  if (m_reconnectTimer) m_reconnectTimer->stop();
}

void Protocol::ReconnectTimerTimer() {
  if (!m_reconnecting) return;
  m_reconnectElapsedMs += kReconnectPeriodMs;
  if (m_reconnectElapsedMs > m_reconnectLimitMs) {
    stopReconnect();
    miRecordClick(false);
    m_sink.communicationError();
    return;
  }
  m_sink.reconnecting(++m_attempt);
  m_link.setActive(false);
  if (!ToggleSerialPort(true)) return;  // not there yet: the next attempt in 2 s
  RetriesLeft = 0;
  DataTimerTimer();  // a reading in answer brings the recording back
}

bool Protocol::ToggleSerialPort(bool on) {
  const bool active = m_link.setActive(on);
  if (active) {
    m_link.purge();
    RxBuffer.clear();
  }
  return active;
}

bool Protocol::miRecordClick(bool checked) {
  const bool was = m_recording;
  const bool on = ToggleSerialPort(checked);
  m_recording = on;
  m_sink.setRecording(on);
  if (on)
    m_dataTimer.start(m_pollInterval);
  else
    m_dataTimer.stop();
  if (on) {
    if (!was) m_sink.startRun();
    DataTimerTimer();
    RetriesLeft = kRetryBudget;
  } else {
    if (was) m_sink.endRun();
    m_timeOff.stop();
    WaitData = false;
    stopReconnect();
  }
  return on;
}

void Protocol::DataTimerTimer() {
  pollEnded();
  SendCmd("d");
  m_sink.readoutRequest();
  m_sink.setStatusText("|");
  WaitData = true;
  WaitEcho = false;
  WaitCof = false;
}

std::optional<int> Protocol::seFlowChange(std::string_view text) {
  auto rate = parseInteger(text, Blanks::Allowed);
  if (!rate) return std::nullopt;
  const int clamped = std::clamp(*rate, 1, 120);
  m_pollInterval = 60000 / clamped;
  if (m_dataTimer.active()) m_dataTimer.start(m_pollInterval);
  return clamped;
}

void Protocol::TimeOffTimerTimer() {
  if (m_reconnecting) {  // the reopened link did not answer: the next attempt tries again
    m_timeOff.stop();
    WaitData = false;
    return;
  }
  if (RetriesLeft > 0) {
    --RetriesLeft;
    if (WaitData) {
      DataTimerTimer();
      m_sink.appendStatusText("*");
    }
    if (WaitEcho && !LastCmd.empty()) SendCmd(LastCmd);
    if (WaitCof) {
      SendCmd("q");
      WaitCof = true;
      m_factors->appendFactorStatus("*");
    }
    return;
  }
  if (m_recording && reconnectEnabled()) {
    startReconnect();
    return;
  }
  if (VerifyingCof) {
    VerifyingCof = false;
    WaitCof = false;
    m_factors->readBackFailed("");
  }
  m_timeOff.stop();
  m_dataTimer.stop();
  miRecordClick(false);
  m_sink.communicationError();
}

void Protocol::startCofRead() {
  VerifyingCof = false;
  ReadingCof = true;
  WritingCof = false;
  setPbWrite(0);
  SendCmd("q");
  WaitCof = true;
  WaitEcho = false;
  WaitData = false;
}

void Protocol::startCofWrite() {
  if (!m_link.active()) ToggleSerialPort(true);
  for (int i = 0; i < 4; ++i) m_writtenCells[i] = m_factors->newCofCell(i);
  VerifyingCof = false;
  WritingCof = true;
  ReadingCof = false;
  setPbWrite(0);
  WriteNextCof(0);
}

void Protocol::WriteNextCof(int index) {
  if (index >= 4 || index < 0) {
    setPbWrite(0);
    return;
  }
  const std::string cell = m_factors->newCofCell(index);
  if (!parseNumber(cell, Blanks::Allowed)) {
    WritingCof = false;
    setPbWrite(0);
    m_factors->rejectNewCofCell(index);
    return;
  }
  LastCmd = cofWriteCommand(index, cell);
  SendCmd(LastCmd);
  WaitEcho = true;
  WaitData = false;
  WaitCof = false;
  m_factors->cofProgressChanged();
  RetriesLeft = kRetryBudget;
  m_factors->setFactorStatus("|");
}

}  // namespace velmora
