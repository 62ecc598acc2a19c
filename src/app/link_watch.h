#pragma once
// Watches the link to the instrument for the user, beyond the designed behaviour: the
// reconnect option of the set-up panel and its limit, the status texts while reconnecting
// and while the instrument answers only garbage, a readout greyed once its value is older
// than three polling periods, and the chart's gaps for outages.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "app/settings_store.h"
#include "device/qt_protocol_timer.h"

class QLabel;

namespace velmora {

class ChartPanel;
class ConnectionController;
class Protocol;
class ReadoutLabel;
class TunePanel;
class Translator;

class LinkWatch : public QObject {
  Q_OBJECT
 public:
  LinkWatch(Protocol& protocol, ConnectionController& connection, TunePanel& tune, ReadoutLabel& readout,
            QLabel& status, ChartPanel& chart, const Translator& tr, QObject* parent = nullptr);

  void apply(const MainSettings& s);
  void collect(MainSettings& s) const;

  // What the protocol reports.
  void reconnecting(int attempt);
  void linkRestored();
  void invalidAnswers(bool on);
  void readingArrived() { m_sinceReading.restart(); }
  // The chosen adapter was removed during a recording that waits for it to come back.
  void awaitingAdapter(const QString& serial);
  void recordingChanged(bool on);
  // Re-reads the option (and the poll period, which sets the chart's gap).
  void optionChanged();

 private:
  void checkStale();

  Protocol& m_protocol;
  ConnectionController& m_connection;
  TunePanel& m_tune;
  ReadoutLabel& m_readout;
  QLabel& m_status;
  ChartPanel& m_chart;
  const Translator& m_tr;
  QTimer m_reconnectTimer;
  QtProtocolTimer m_reconnectAdapter{m_reconnectTimer};
  QTimer m_staleCheck;
  QElapsedTimer m_sinceReading;
  bool m_invalid = false;
};

}  // namespace velmora
