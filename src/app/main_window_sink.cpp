// The main window's side of the protocol: the status texts, the recording toggle, the
// readout, and the messages it shows.
#include <QApplication>
#include <QToolBar>

#include "app/link_watch.h"
#include "common/number_text.h"
#include "display/axis_rules.h"
#include "app/main_window.h"
#include "app/main_window_parts.h"
#include "calibration/calibration_window.h"
#include "display/readout_label.h"
#include "ui_common/velmora_application.h"

namespace velmora {

// ---------------------------------------------------------------- what the protocol reports

void TfmMain::setStatusText(std::string_view text) { m_status->statusText->setText(qs(text)); }
void TfmMain::appendStatusText(std::string_view text) { m_status->statusText->setText(m_status->statusText->text() + qs(text)); }

void TfmMain::setRecording(bool on) {
  miPort->setEnabled(!on);
  miRecord->setChecked(on);
  m_display->readout().setVisible(on);
  m_linkWatch->recordingChanged(on);
  for (QAction* a : m_toolbar->actions())
    if (m_toolbar->widgetForAction(a) == lbTablo) a->setVisible(on);
  refreshReadout();
  recordingStateChanged();
}

void TfmMain::readoutRequest() {
  m_display->readout().onRequest();
  refreshReadout();
}

void TfmMain::readoutReply(std::string_view reply) {
  m_display->readout().onReply(reply, m_tr.text("IDS_55"));
  refreshReadout();
}

void TfmMain::message(MessageKind kind, const QString& text) {
  if (messageHook)
    messageHook(kind, text);
  else
    showMessage(this, m_tr, kind, text);
}

void TfmMain::communicationError() {
  QApplication::beep();
  message(MessageKind::Error, qs(m_tr.text("IDS_53")) + "\r" + qs(m_tr.text("IDS_54")));
}

void TfmMain::showError(std::string_view text) {
  auto* app = dynamic_cast<VelmoraApplication*>(QCoreApplication::instance());
  if (app && !messageHook)
    app->reportError(qs(text));
  else
    message(MessageKind::Error, qs(text));
}

// "Record" could not open the chosen link: say which and why, and where to choose another.
void TfmMain::openFailed() {
  QString text;
  if (m_first->connection().usbActive() || (m_first->connection().UsbSelected() && !m_first->connection().UsbPresent())) {
    text = qs(m_tr.text("msgUsbNotOpened"));
  } else {
    QString why = QString::fromStdString(m_first->connection().openError());
    if (why.isEmpty()) why = qs(m_tr.text("msgUnknownReason"));
    text = qs(m_tr.text("msgPortNotOpened")).arg(QString::fromStdString(m_first->connection().serialPortName()), why);
  }
  message(MessageKind::Error, text + "\r" + qs(m_tr.text("msgChoosePort")));
}

void TfmMain::reconnecting(int attempt) { m_linkWatch->reconnecting(attempt); }
void TfmMain::linkRestored() { m_linkWatch->linkRestored(); }
void TfmMain::invalidAnswers(bool on) { m_linkWatch->invalidAnswers(on); }
// The calibration window works on one instrument: with several, the one selected when it
// opens (named in its title); the selection may change meanwhile, the window does not follow.
// Afterwards it goes back to the first instrument, the designed one.
void TfmMain::pnTuneDblClick() {
  Channel& c = m_channels->selected();
  if (m_channels->size() > 1) {
    m_calibr->connectProtocol(c.protocol());
    m_calibr->setInstrument(c.number(), c.name + " (" + c.portCaption() + ")");
  }
  m_calibr->exec();
  m_calibr->connectProtocol(m_first->protocol());
  m_calibr->setInstrument(0, {});
}
QString TfmMain::statusText() const { return m_status->statusText->text(); }


// Point inspection: temperature with 5 significant digits and 2 decimals, time hh:mm:ss.
void TfmMain::showInspection(long long index) {
  const auto& s = m_display->series();
  if (index < 0 || static_cast<std::size_t>(index) >= s.size()) return;
  const auto i = static_cast<std::size_t>(index);
  m_status->inspection->setProperty("hint", false);
  m_status->inspection->setToolTip(QString());
  std::string text(m_tr.text("IDS_70"));
  text += formatFixed(s.y(i), 5, 2);
  text += m_tr.text("IDS_71");
  text += formatHhMmSs(s.x(i));
  m_status->inspection->setText(qs(text));
}


}  // namespace velmora
