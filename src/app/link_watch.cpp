#include "app/link_watch.h"

#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>

#include "app/main_window_parts.h"
#include "device/connection_controller.h"
#include "device/protocol.h"
#include "display/chart_panel.h"
#include "display/readout_label.h"
#include "display/series_plottable.h"
#include "ui_common/translations.h"
#include "ui_common/ui_helpers.h"

namespace velmora {

LinkWatch::LinkWatch(Protocol& protocol, ConnectionController& connection, TunePanel& tune, ReadoutLabel& readout,
                     QLabel& status, ChartPanel& chart, const Translator& tr, QObject* parent)
    : QObject(parent), m_protocol(protocol), m_connection(connection), m_tune(tune), m_readout(readout),
      m_status(status), m_chart(chart), m_tr(tr) {
  m_reconnectTimer.setObjectName("ReconnectTimer");
  connect(&m_reconnectTimer, &QTimer::timeout, this, [this] { m_protocol.ReconnectTimerTimer(); });
  m_protocol.setReconnectTimer(&m_reconnectAdapter);
  connect(&m_connection, &ConnectionController::linkLost, this, [this] { m_protocol.linkLost(); });
  connect(m_tune.cbReconnect, &QCheckBox::toggled, this, &LinkWatch::optionChanged);
  connect(m_tune.seReconnectLimit, &QSpinBox::valueChanged, this, &LinkWatch::optionChanged);
  connect(m_tune.seFlow, &QSpinBox::valueChanged, this, &LinkWatch::optionChanged);
  m_staleCheck.setInterval(1000);
  connect(&m_staleCheck, &QTimer::timeout, this, &LinkWatch::checkStale);
  m_staleCheck.start();
  m_sinceReading.start();
  optionChanged();
}

void LinkWatch::apply(const MainSettings& s) {
  m_tune.seReconnectLimit->setValue(s.ReconnectLimit);
  m_tune.cbReconnect->setChecked(s.Reconnect);
  optionChanged();
}

void LinkWatch::collect(MainSettings& s) const {
  s.Reconnect = m_tune.cbReconnect->isChecked();
  s.ReconnectLimit = m_tune.seReconnectLimit->value();
}

void LinkWatch::optionChanged() {
  const bool on = m_tune.cbReconnect->isChecked();
  m_protocol.setReconnect(on, m_tune.seReconnectLimit->value() * 60000);
  // With the option on, an outage shows on the chart: no line across three poll periods.
  const double gapDays = on ? 3.0 * m_protocol.pollIntervalMs() / 86400000.0 : 0.0;
  m_chart.series1()->setGapThreshold(gapDays);
  m_chart.requestRedraw();
  m_connection.setHoldUsb(on && m_protocol.recording());
}

void LinkWatch::recordingChanged(bool on) {
  m_sinceReading.restart();
  m_connection.setHoldUsb(on && m_protocol.reconnectEnabled());
  if (!on) {
    m_invalid = false;
    m_readout.setStale(false);
    m_status.setText(QString());
  }
}

void LinkWatch::reconnecting(int attempt) {
  m_status.setText(qs(m_tr.text("msgReconnecting")).arg(attempt));
  checkStale();
}

void LinkWatch::linkRestored() { m_status.setText(QString()); }

void LinkWatch::awaitingAdapter(const QString& serial) {
  m_status.setText(qs(m_tr.text("msgAwaitingAdapter")).arg(serial));
}

// The warning stays until a valid reading arrives (the poll marks go to another panel).
void LinkWatch::invalidAnswers(bool on) {
  m_invalid = on;
  m_status.setText(on ? qs(m_tr.text("msgNoValidReadings")) : QString());
  checkStale();
}

// Greys the readout once its value is older than three polling periods.
void LinkWatch::checkStale() {
  if (!m_protocol.recording()) return;
  const qint64 age = m_sinceReading.elapsed();
  const bool old = age > 3LL * m_protocol.pollIntervalMs();
  if (m_invalid)
    m_readout.setStale(true, qs(m_tr.text("msgNoValidReadings")));
  else if (old)
    m_readout.setStale(true, qs(m_tr.text("msgStale")).arg(age / 1000));
  else
    m_readout.setStale(false);
}

}  // namespace velmora

