#pragma once
// One instrument: its link (a serial port, the USB adapter by its serial number, or a demo
// instrument), its protocol and timers, its readings (both values and the clock time of
// each, as list lines and as a series), its name and colour, and the factors it holds. The
// channel is the protocol's reading sink; it keeps what it learns of its link (recording,
// reconnecting, answers without a valid reading, a failure) for whoever shows it.
//
// The first channel is the designed instrument: everything it receives is also handed to the
// designed sink (the main window), which shows and keeps it exactly as designed; the others
// keep their readings themselves and tell the window that one came (`readingAdded`).

#include <QColor>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "device/connection_controller.h"
#include "device/protocol.h"
#include "device/qt_protocol_timer.h"
#include "display/measurement_series.h"
#include "display/reading_list.h"
#include "display/readout.h"
#include "display/recording_clock.h"
#include "math/platinum.h"

namespace velmora {

class TSerialPort;

class Channel : public QObject, public ReadingSink, public FactorLink {
  Q_OBJECT
 public:
  enum class Link { Idle, Recording, Reconnecting, NoValidReadings, Failed };

  // `clock` is the one recording clock of every channel; `wallClock` stamps the readings.
  // For the first channel `designed` is the main window's sink.
  Channel(int number, ConnectionOptions options, RecordingClock& clock, const Clock& wallClock,
          ReadingSink* designed = nullptr, QObject* parent = nullptr);
  ~Channel() override;

  int number() const { return m_number; }
  bool designed() const { return m_designed != nullptr; }
  QString name;
  QColor colour;
  bool shown = true;
  QString serial, model, manufacturer;  // the probe's identity, as the user gives it

  ConnectionController& connection() { return *m_connection; }
  Protocol& protocol() { return *m_protocol; }
  TSerialPort& serialPort();
  QTimer& dataTimer() { return m_dataTimer; }
  QTimer& timeOffTimer() { return m_timeOffTimer; }
  MeasurementSeries& series() { return m_series; }
  const MeasurementSeries& series() const { return m_series; }
  ReadingList& list() { return m_list; }
  const ReadingList& list() const { return m_list; }
  Readout& readout() { return m_readout; }
  std::int64_t lastUtcMs() const { return m_lastUtcMs; }
  // The newest reading (also when the channel keeps none) and how many came.
  struct Reading {
    double x = NAN, y = NAN, resistance = NAN;
    std::int64_t utcMs = kNoTime;
  };
  const Reading& lastReading() const { return m_last; }
  std::uint64_t readingCount() const { return m_count; }
  const std::string& lastLine() const { return m_line; }  // the newest reading's list line
  // A further channel keeps its readings in its list and series (the default); a channel
  // that hands each on at once (a recorder writing files) keeps none, so that its memory
  // stays the same however long it records. The designed channel's readings are the window's.
  void setKeepReadings(bool keep) { m_keep = keep; }

  // The port this channel reads: a serial port's name, "DEMO…", or "USB:<serial number>".
  std::string port() const;
  void setPort(const std::string& port);
  QString portCaption() const;  // as the instruments panel shows it

  // The factors the instrument holds (after a read, "q"); nothing until one answered.
  const std::optional<math::TCofSet>& factors() const { return m_factors; }
  void setFactors(const math::TCofSet& f);
  // Reads them now: "q", the port opened for it while the channel does not record; while it
  // records, the next poll asks for them instead of a reading.
  void readFactors();

  // Writes factors into the instrument (cells as the calibration table shows them: R0, A·10³,
  // B·10⁷, C·10¹²) and reads them back to compare; the channel must not be recording. The
  // answer comes as factorsWritten. False when a write cannot start now.
  bool writeFactors(const std::array<std::string, 4>& cells);
  bool writingFactors() const { return m_writing; }

  // Recording on or off (the window starts all channels together).
  bool record(bool on);
  bool recording() const { return m_protocol->recording(); }
  void setReconnect(bool on, int limitMs);
  Link link() const { return m_link; }
  QString linkText() const { return m_linkText; }  // the last status or error text
  const std::string& statusText() const { return m_status; }

 signals:
  void readingAdded(velmora::Channel* channel);
  void changed(velmora::Channel* channel);  // link, readout, factors, name
  // A write of factors ended: verified (read back equal), or why not.
  void factorsWritten(velmora::Channel* channel, bool verified, const QString& detail);

 private:
  // ReadingSink
  void setStatusText(std::string_view text) override;
  void appendStatusText(std::string_view text) override;
  void setRecording(bool on) override;
  void readoutRequest() override;
  void readoutReply(std::string_view reply) override;
  void startRun() override;
  void endRun() override;
  double elapsed() const override;
  void AddPoint(double x, double y) override;
  void addReading(double x, double y, double resistance) override;
  void communicationError() override;
  void showError(std::string_view text) override;
  void reconnecting(int attempt) override;
  void linkRestored() override;
  void invalidAnswers(bool on) override;
  void openFailed() override;
  // FactorLink: the factors read with "q" (the "Old" row).
  void setFactorStatus(std::string_view) override {}
  void appendFactorStatus(std::string_view) override {}
  std::string newCofCell(int index) const override;
  void rejectNewCofCell(int index) override;
  void writeVerified(const std::vector<Mismatch>& mismatches) override;
  void readBackFailed(std::string_view reason) override;
  void endWrite(bool verified, const QString& detail);
  void endRead();
  void setFactorCell(int row, int column, std::string_view text) override;
  void cofProgressChanged() override;

  void setLink(Link link, const QString& text = {});

  const int m_number;
  ReadingSink* m_designed;
  RecordingClock& m_clock;
  const Clock& m_wallClock;
  std::unique_ptr<ConnectionController> m_connection;
  QTimer m_dataTimer, m_timeOffTimer, m_reconnectTimer;
  QtProtocolTimer m_dataAdapter{m_dataTimer}, m_timeOffAdapter{m_timeOffTimer}, m_reconnectAdapter{m_reconnectTimer};
  std::unique_ptr<Protocol> m_protocol;
  MeasurementSeries m_series;
  ReadingList m_list;
  Readout m_readout;
  std::string m_line;
  std::string m_status;
  std::int64_t m_lastUtcMs = kNoTime;
  Reading m_last;
  std::uint64_t m_count = 0;
  bool m_keep = true;
  Link m_link = Link::Idle;
  QString m_linkText;
  std::optional<math::TCofSet> m_factors;
  double m_read[4] = {NAN, NAN, NAN, NAN};
  bool m_readingFactors = false;
  bool m_openedForFactors = false;
  // A read or write under way borrows the protocol's factor link (restored at its end); a
  // write also its verify option.
  bool m_writing = false;
  std::array<std::string, 4> m_writeCells;
  FactorLink* m_savedLink = nullptr;
  bool m_savedVerify = false;
  QTimer m_writeTimeout;
};

}  // namespace velmora
