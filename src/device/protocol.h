#pragma once
// The thermometer's line protocol, with the program as master: one command line out, one
// answer line back. Polling for readings while recording, reading the calibration factors,
// writing them one at a time with echo and confirmation, the answer time-out with its
// retries, and the framing of received bytes into CR-terminated lines.
//
// Commands:  "d"  → "<resistance> <temperature>"
//            "q"  → "Rt0=<R0>,A=<A>,B=<B>,C=<C>"
//            "wR100.000" / "wA3.90831e-3" / ... → exact echo, then "wY" → factor line, "wN" rejects.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// A timer driven by the main window (QTimer) or by a test's virtual clock.
class ProtocolTimer {
 public:
  virtual ~ProtocolTimer() = default;
  virtual void start(int intervalMs) = 0;  // (re)starts with this period
  virtual void stop() = 0;
  virtual bool active() const = 0;
};

// The link to the instrument that the user chose (a serial port or the USB adapter). What it
// receives it hands to Protocol::received.
class ProtocolTransport {
 public:
  virtual ~ProtocolTransport() = default;
  virtual void send(std::string_view text) = 0;  // a command line ending in CR
  virtual bool setActive(bool on) = 0;           // opens/closes the link; returns whether open
  virtual bool active() const = 0;
  virtual void purge() = 0;  // discards what is buffered in both directions
  // Whether the last send was refused because an earlier one was still being written.
  virtual bool lastSendRefused() const { return false; }
};

// Where readings and the recording's progress go: the main window.
class ReadingSink {
 public:
  virtual ~ReadingSink() = default;
  virtual void setStatusText(std::string_view text) = 0;
  virtual void appendStatusText(std::string_view text) = 0;
  virtual void setRecording(bool on) = 0;  // toggle check, port menu enabled, readout visible
  virtual void readoutRequest() = 0;
  virtual void readoutReply(std::string_view reply) = 0;
  virtual void startRun() = 0;  // recording clock
  virtual void endRun() = 0;
  virtual double elapsed() const = 0;
  virtual void AddPoint(double x, double y) = 0;
  // A reading with the resistance the instrument answered beside the temperature (NaN when
  // it was not a number); sinks that keep only the temperature take AddPoint.
  virtual void addReading(double x, double y, double /*resistance*/) { AddPoint(x, y); }
  virtual void communicationError() = 0;              // beep, then IDS_53 CR IDS_54 in an error box
  virtual void showError(std::string_view text) = 0;  // the general error report
  // Reconnecting after the link failed (an option): attempt n has begun; the link is back.
  virtual void reconnecting(int /*attempt*/) {}
  virtual void linkRestored() {}
  // Ten polls in a row brought data but no valid reading (true); a valid reading came (false).
  virtual void invalidAnswers(bool /*on*/) {}
  // "Record" could not open the link (the user asked for it; nothing else reports this).
  virtual void openFailed() {}
};

// The factor exchange's side in the calibration window: the coefficient table and its
// status line.
class FactorLink {
 public:
  virtual ~FactorLink() = default;
  virtual void setFactorStatus(std::string_view text) = 0;
  virtual void appendFactorStatus(std::string_view text) = 0;
  virtual std::string newCofCell(int index) const = 0;  // text of the "New" cell of factor i
  virtual void rejectNewCofCell(int index) = 0;          // focus the cell, IDS_2 message
  virtual void setFactorCell(int row, int column, std::string_view text) = 0;
  virtual void cofProgressChanged() = 0;  // repaint of the coefficient table / progress bar
  // A write checked by reading the factors back (an option): the factors whose read-back
  // value differs from the one written at the table's precision (none: verified) …
  struct Mismatch {
    int index;  // 0 R0 … 3 C
    std::string written, read;  // at the table's precision
    std::string cell;           // the "New" cell as it was written
  };
  virtual void writeVerified(const std::vector<Mismatch>& /*mismatches*/) {}
  // … or the read-back failed (no answer, or an answer that does not convert).
  virtual void readBackFailed(std::string_view /*reason*/) {}
};

// Whether a read-back value and the value written agree at the precision the instrument's
// answer carries: `readText` as the factor line gave it (plain units), `written` and `read`
// in the table's units (× 10^scaleExponent), compared at no more than `tableDecimals`.
bool sameAtAnswerPrecision(std::string_view readText, double read, double written, int scaleExponent,
                           int tableDecimals);

class Protocol {
 public:
  static constexpr int kAnswerTimeoutMs = 2000;
  static constexpr int kRetryBudget = 5;
  static constexpr std::size_t kMaxLine = 255;
  static constexpr std::size_t kMaxRxBuffer = 4096;  // newest bytes kept of an unterminated line

  Protocol(ProtocolTransport& transport, ReadingSink& sink, ProtocolTimer& dataTimer, ProtocolTimer& timeOffTimer)
      : m_link(transport), m_sink(sink), m_dataTimer(dataTimer), m_timeOff(timeOffTimer) {}
  // The calibration window, once it exists; without one the factor exchange shows nothing.
  void setFactorLink(FactorLink* link) { m_factors = link ? link : &m_noFactors; }
  FactorLink* factorLink() const { return m_factors == &m_noFactors ? nullptr : m_factors; }

  // Reconnecting (an option, off by default): when the link fails during a recording — the
  // device goes away, or the sixth time-out would end the recording — the recording stays
  // on and the link is reopened every 2 s until a reading arrives or `limitMs` has passed;
  // then the recording ends with the communication error as before.
  static constexpr int kReconnectPeriodMs = 2000;
  static constexpr int kInvalidAnswersWarning = 10;
  void setReconnectTimer(ProtocolTimer* timer) { m_reconnectTimer = timer; }
  void setReconnect(bool on, int limitMs) {
    m_reconnectOn = on;
    m_reconnectLimitMs = limitMs;
  }
  bool reconnectEnabled() const { return m_reconnectOn && m_reconnectTimer; }
  bool reconnecting() const { return m_reconnecting; }
  int reconnectAttempt() const { return m_attempt; }
  // The transport's device went away.
  void linkLost();
  void ReconnectTimerTimer();

  void SendCmd(std::string_view text);
  void ParseRXstr(std::string_view line);

  // Data from the transport (after its own framing, possibly nothing left of it): any data
  // stops the answer time-out; the text is appended to RxBuffer and cut into lines at CR.
  void received(std::string_view text);
  void receiveText(std::string_view text);

  // Opens or closes the link for recording; returns whether it is open.
  bool ToggleSerialPort(bool on);
  // Whether a factor read or write is still waiting for its answer.
  bool exchangingFactors() const { return WaitCof || WaitEcho; }

  // "Record": the toggle's new state. Returns whether recording is on.
  bool miRecordClick(bool checked);
  // The data timer's tick: a poll, unless the last poll's answer is still awaited (a busy
  // program or a slow link); then the poll goes out as soon as that answer has come, so that
  // no answer is ever taken for another poll's and a late poll delays a reading, never loses one.
  void DataTimerTimer();
  // While recording: the next poll asks for the factors ("q") instead of a reading; the
  // answer goes to the factor link as a read does. Nothing happens when not recording.
  void readFactorsAtNextPoll();
  // The rate control's text; nothing happens when it is not an integer. Returns the
  // clamped rate written back into the control.
  std::optional<int> seFlowChange(std::string_view text);
  void TimeOffTimerTimer();

  // Calibration window.
  void startCofRead();
  void startCofWrite();
  void WriteNextCof(int index);
  void clearTransferFlags() { WaitCof = WaitEcho = ReadingCof = WritingCof = VerifyingCof = false; }
  // After a write's last factor, read the factors back and compare (off by default).
  void setVerifyWrite(bool on) { m_verifyWrite = on; }
  bool verifyWrite() const { return m_verifyWrite; }

  bool recording() const { return m_recording; }
  // No further poll goes out (the recording stays on): a clean stop lets the answers on their
  // way come in first.
  void stopPolling() {
    m_dataTimer.stop();
    m_pollDue = false;
  }
  // A poll (or a factor read in its place) went out and its answer is still awaited.
  bool awaitingAnswer() const { return (WaitData || m_factorsPolled) && m_timeOff.active(); }
  int pollIntervalMs() const { return m_pollInterval; }
  int pbWrite() const { return m_pbWrite; }

  // Exchange state.
  bool WaitData = false;
  bool WaitEcho = false;
  bool WaitCof = false;
  int RetriesLeft = 0;
  std::string LastCmd;
  std::string RxBuffer;
  bool ReadingCof = false;
  bool WritingCof = false;
  bool VerifyingCof = false;

 private:
  void parseCofLine(std::string_view line);
  void verifyReadBack(const double (&values)[4], const std::string (&texts)[4]);
  void endFactorExchange();
  void startReconnect();
  void stopReconnect();
  void pollEnded();
  void poll();
  void pollIfDue();
  void invalidPoll();
  void validReading();
  void setPbWrite(int v) {
    m_pbWrite = v;
    m_factors->cofProgressChanged();
  }

  struct NoFactorLink : FactorLink {
    void setFactorStatus(std::string_view) override {}
    void appendFactorStatus(std::string_view) override {}
    std::string newCofCell(int) const override { return {}; }
    void rejectNewCofCell(int) override {}
    void setFactorCell(int, int, std::string_view) override {}
    void cofProgressChanged() override {}
  };

  bool m_verifyWrite = false;
  std::string m_writtenCells[4];  // the "New" cells as the write began
  std::string m_sendPrefix;  // lines that go out with the next command, in the same write
  ProtocolTimer* m_reconnectTimer = nullptr;
  bool m_reconnectOn = false;
  int m_reconnectLimitMs = 600000;
  bool m_reconnecting = false;
  int m_attempt = 0;
  long m_reconnectElapsedMs = 0;
  // Answers of the current poll and the run of polls without a valid reading.
  bool m_pollGotData = false;
  bool m_pollValid = false;
  bool m_pollCounted = false;
  int m_invalidPolls = 0;
  bool m_invalidWarned = false;
  ProtocolTransport& m_link;
  ReadingSink& m_sink;
  std::string m_unsent;  // the last command line the link refused (sent again at the time-out)
  NoFactorLink m_noFactors;
  FactorLink* m_factors = &m_noFactors;
  ProtocolTimer& m_dataTimer;
  ProtocolTimer& m_timeOff;
  bool m_recording = false;
  bool m_pollDue = false;        // a tick came while an answer was awaited
  bool m_factorsDue = false;     // the next poll asks for the factors
  bool m_factorsPolled = false;  // the poll under way asked for the factors
  int m_pollInterval = 1000;
  int m_pbWrite = 0;
};

// The write command of factor i (0 = R0 … 3 = C): prefix, the cell text, scale. A cell with
// the column's decimals (3 for R0, 4 for the others) is sent as it stands; one typed with
// other decimals is brought to the column's first, so that the scale text that follows
// never lengthens the number ("-5.775" is sent as "wB-5.77501e-7", not "wB-5.7751e-7").
std::string cofWriteCommand(int index, std::string_view cellText);

}  // namespace velmora
