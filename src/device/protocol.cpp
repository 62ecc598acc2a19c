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
  const std::string_view trimmed = trimBlanks(cellText);
  const auto point = trimmed.find('.');
  const bool asShown = point != std::string_view::npos && trimmed.size() - point - 1 == static_cast<std::size_t>(kCofDecimals[index]) &&
                       trimmed.find_first_of("eE") == std::string_view::npos;
  const auto value = parseNumber(cellText, Blanks::Allowed);
  // Without a scale text (R0) the number is read as it stands: "100.05" goes as typed.
  if (asShown || !value || std::string_view(kCofScale[index].suffix).empty())
    cmd += cellText;
  else
    cmd += formatFixed(*value, 15, kCofDecimals[index]);
  cmd += kCofScale[index].suffix;
  return cmd;
}

bool sameAtAnswerPrecision(std::string_view readText, double read, double written, int scaleExponent,
                           int tableDecimals) {
  // The decimals of the answer in the table's units: the digits after its point, less its
  // exponent, less the table's scaling.
  std::string_view t = trimBlanks(readText);
  int exponent = 0;
  if (const auto e = t.find_first_of("eE"); e != std::string_view::npos) {
    if (auto x = parseInteger(t.substr(e + 1))) exponent = *x;
    t = t.substr(0, e);
  }
  const auto point = t.find('.');
  const int fraction = point == std::string_view::npos ? 0 : static_cast<int>(t.size() - point - 1);
  const int decimals = std::clamp(fraction - exponent - scaleExponent, 0, tableDecimals);
  return formatFixed(read, 17, decimals) == formatFixed(written, 17, decimals);
}

void Protocol::SendCmd(std::string_view text) {
  if (text.empty()) return;
  std::string line = std::move(m_sendPrefix);
  m_sendPrefix.clear();
  line += text;
  line.push_back('\r');
  m_link.send(line);
  // A link still busy with an earlier write refuses this one: kept, and sent again at the
  // time-out instead of being taken for sent.
  m_unsent = m_link.lastSendRefused() ? line : std::string();
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
    } else {
      invalidPoll();
    }
    pollIfDue();
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
    if (m_factorsPolled) {
      m_factorsPolled = false;
      pollIfDue();
    }
    return;
  }
  // Nothing awaited, or a line without "Rt0=" while a factor line is awaited: ignored.
}

void Protocol::parseCofLine(std::string_view line) {
  WaitCof = false;
  m_factors->setFactorStatus("");
  std::string_view rest = line;
  double values[4] = {};
  std::string texts[4];
  for (int i = 0; i < 4; ++i) {
    const auto eq = rest.find('=');
    auto comma = rest.find(',');
    if (comma == std::string_view::npos) comma = rest.size();
    std::string_view value;
    if (eq != std::string_view::npos && eq < comma) value = rest.substr(eq + 1, comma - eq - 1);
    rest = comma < rest.size() ? rest.substr(comma + 1) : std::string_view();
    auto v = parseNumber(value, Blanks::Allowed);
    if (!v) {
      // The read or write goes no further, and says so; nothing is left highlighted.
      m_sink.showError(notAValidFloat(trimBlanks(value)));
      if (VerifyingCof) {
        VerifyingCof = false;
        m_factors->readBackFailed(notAValidFloat(trimBlanks(value)));
      }
      endFactorExchange();
      return;
    }
    values[i] = *v;
    texts[i] = std::string(value);
    const std::string text = formatFixed(*v * kCofScale[i].shown, 7, kCofDecimals[i]);
    if (ReadingCof) m_factors->setFactorCell(1, i + 1, text);
    if (WritingCof && i == m_pbWrite) m_factors->setFactorCell(2, i + 1, text);
  }
  RetriesLeft = kRetryBudget;
  ReadingCof = false;
  if (VerifyingCof) {
    VerifyingCof = false;
    verifyReadBack(values, texts);
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

// The read-back against the cells written, each at the precision the answer carries (no
// finer than the table's).
void Protocol::verifyReadBack(const double (&values)[4], const std::string (&texts)[4]) {
  static constexpr int kScaleExponent[4] = {0, 3, 7, 12};
  std::vector<FactorLink::Mismatch> mismatches;
  for (int i = 0; i < 4; ++i) {
    const double read = values[i] * kCofScale[i].shown;
    const std::string readText = formatFixed(read, 7, kCofDecimals[i]);
    const auto written = parseNumber(m_writtenCells[i], Blanks::Allowed);
    const std::string writtenText = written ? formatFixed(*written, 7, kCofDecimals[i]) : m_writtenCells[i];
    if (!written || !sameAtAnswerPrecision(texts[i], read, *written, kScaleExponent[i], kCofDecimals[i]))
      mismatches.push_back({i, writtenText, readText, m_writtenCells[i]});
  }
  m_factors->writeVerified(mismatches);
}

// A factor read or write that ended without its answer: no cell stays marked as in progress.
void Protocol::endFactorExchange() {
  const bool was = ReadingCof || WritingCof;
  ReadingCof = WritingCof = false;
  WaitCof = WaitEcho = false;
  m_pbWrite = 0;
  if (was) m_factors->cofProgressChanged();
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
  // A factor exchange that got something other than its answer (a line without "Rt0=", a
  // line not yet ended) keeps waiting with the time-out running, so that it is retried and
  // given up like an unanswered one instead of waiting for ever. (Recording polls again.)
  if ((WaitCof || WaitEcho) && !m_timeOff.active()) m_timeOff.start(kAnswerTimeoutMs);
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

// A poll whose answer is no valid reading counts towards the warning as its answer comes
// (the tenth in a row warns at once); one that brought data but no whole answer counts when
// the next poll goes out.
void Protocol::invalidPoll() {
  m_pollCounted = true;
  if (++m_invalidPolls >= kInvalidAnswersWarning && !m_invalidWarned) {
    m_invalidWarned = true;
    m_sink.invalidAnswers(true);
  }
}

void Protocol::pollEnded() {
  if (m_pollGotData && !m_pollValid && !m_pollCounted) invalidPoll();
  m_pollGotData = m_pollValid = m_pollCounted = false;
}

void Protocol::linkLost() {
  if (m_recording && reconnectEnabled() && !m_reconnecting) startReconnect();
}

void Protocol::startReconnect() {
  m_reconnecting = true;
  m_pollDue = m_factorsPolled = false;
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
  poll();  // a reading in answer brings the recording back
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
  if (checked && !on && !was) m_sink.openFailed();
  m_recording = on;
  m_sink.setRecording(on);
  if (on)
    m_dataTimer.start(m_pollInterval);
  else
    m_dataTimer.stop();
  m_pollDue = m_factorsPolled = false;
  if (on) {
    if (!was) m_sink.startRun();
    poll();
    RetriesLeft = kRetryBudget;
  } else {
    if (was) m_sink.endRun();
    m_timeOff.stop();
    WaitData = false;
    m_factorsDue = false;
    stopReconnect();
  }
  return on;
}

void Protocol::DataTimerTimer() {
  if ((WaitData || m_factorsPolled) && m_timeOff.active()) {
    m_pollDue = true;
    return;
  }
  poll();
}

void Protocol::pollIfDue() {
  if (!m_pollDue) return;
  m_pollDue = false;
  if (m_recording && !m_reconnecting) poll();
}

void Protocol::readFactorsAtNextPoll() {
  if (m_recording) m_factorsDue = true;
}

void Protocol::poll() {
  m_pollDue = false;
  m_factorsPolled = false;
  if (m_factorsDue && m_recording && !m_reconnecting) {
    m_factorsDue = false;
    m_factorsPolled = true;
    VerifyingCof = WritingCof = false;
    ReadingCof = true;
    SendCmd("q");
    WaitCof = true;
    WaitData = WaitEcho = false;
    return;
  }
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
      poll();
      m_sink.appendStatusText("*");
    }
    if (WaitEcho && !LastCmd.empty()) SendCmd(LastCmd);
    if (WaitCof) {
      // A "wY" the link refused never reached the instrument: asking with "q" would take the
      // factors it still holds for the answer and lose the write. It goes again instead.
      if (!m_unsent.empty()) {
        const std::string again = std::move(m_unsent);
        m_unsent.clear();
        m_link.send(again);
        if (m_link.lastSendRefused()) m_unsent = again;
      } else {
        SendCmd("q");
      }
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
  endFactorExchange();
  m_timeOff.stop();
  m_dataTimer.stop();
  miRecordClick(false);
  m_sink.communicationError();
}

void Protocol::startCofRead() {
  // A link closed by a failed exchange is opened again (the window opened it on activation).
  if (!m_link.active()) ToggleSerialPort(true);
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
