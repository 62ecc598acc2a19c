// The main window's toolbar commands and the road of a reading to the views: the list/chart
// switch, the readout's click, Record, Clear, the rate, the chart's menu, the clipboard, and
// the views coalesced after readings.
#include "app/main_window.h"
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QToolButton>
#include <QShortcut>
#include <QUrl>
#include <QVBoxLayout>
#include "platform/platform_info.h"
#include "app/analysis_tools.h"
#include "app/link_watch.h"
#include "app/toolbar_placement.h"
#include "simulator/thermometer_model.h"
#include "calibration/calibration_window.h"
#include "common/number_text.h"
#include "device/serial_port.h"
#include "display/chart_panel.h"
#include "display/reading_list_view.h"
#include "display/readout_label.h"
#include "files/clipboard_export.h"
#include "ui_common/help_window.h"
#include "ui_common/velmora_application.h"

namespace velmora {

QStatusBar* TfmMain::statusBarWidget() const { return m_status; }

void TfmMain::miSelectViewClick() {
  pnTable->setVisible(miSelectView->isChecked());
  m_chart->setVisible(!miSelectView->isChecked());
}

// Temperature ↔ resistance of the instrument the readout shows.
void TfmMain::lbTabloClick() {
  Channel& c = m_channels->selected();
  (&c == m_first ? m_display->readout() : c.readout()).toggleMode();
  refreshReadout();
}

void TfmMain::miRecordClick() {
  if (m_channels->size() == 1)
    m_first->protocol().miRecordClick(miRecord->isChecked());  // the designed instrument alone
  else
    recordAll(miRecord->isChecked());
}

// Clear erases the whole run: readings not saved yet are asked about first.
void TfmMain::miClearClick() {
  if (!m_files->confirmDiscard()) return;
  for (std::size_t i = 1; i < m_channels->size(); ++i) {
    m_channels->at(i).list().clear();
    m_channels->at(i).series().clear();
  }
  m_display->miClearClick();
  m_journal->cleared();
}

void TfmMain::seFlowChange() {
  if (auto rate = m_first->protocol().seFlowChange(seFlow->text().toStdString())) {
    if (seFlow->value() != *rate) seFlow->setValue(*rate);
  }
}

void TfmMain::btMenuClick() {
  miCatch->setChecked(m_display->rules().Catch());
  miYAuto->setChecked(m_chart->leftAxis().automatic);
  miXAuto->setChecked(m_chart->bottomAxis().automatic);
  QToolButton* b = m_chart->menuButton();
  mnPopup->popup(b->mapToGlobal(QPoint(0, b->height())));
}

void TfmMain::miToClipboardClick() {
  if (miSelectView->isChecked()) {
    m_list->copyAllToClipboard();
    message(MessageKind::Information, qs(m_tr.text("IDS_78")));
    return;
  }
  copyChartToClipboard(*m_chart);
  message(MessageKind::Information, qs(m_tr.text("IDS_77")));
}

// ---------------------------------------------------------------- readings

void TfmMain::AddPoint(double x, double y) { addReading(x, y, kNoValue); }

void TfmMain::addReading(double x, double y, double resistance) {
  m_display->AddPoint(x, y, resistance);
  m_linkWatch->readingArrived();
  m_journal->recorded(x, y, resistance, m_display->lastUtcMs());
  scheduleViews();
}

void TfmMain::scheduleViews() {
  m_chart->requestRedraw();
  if (!m_viewTimer.isActive()) m_viewTimer.start();
}

void TfmMain::flushViews() {
  m_viewTimer.stop();
  m_list->sync();
  m_chart->flushRedraw();
}

}  // namespace velmora
