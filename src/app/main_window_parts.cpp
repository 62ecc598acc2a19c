#include "app/main_window_parts.h"

#include <QAction>
#include <QFontMetrics>
#include <QMouseEvent>
#include <algorithm>

#include "device/connection_controller.h"
#include "ui_common/translations.h"
#include "ui_common/ui_helpers.h"

namespace velmora {

TunePanel::TunePanel(QWidget* parent) : QFrame(parent) {
  setObjectName("pnTune");
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(2);
  setAutoFillBackground(true);
  setGeometry(170, 25, 178, 96);
  lbFlow = new QLabel("Recording data/min", this);
  lbFlow->setObjectName("lbFlow");
  lbFlow->setGeometry(8, 12, 120, 16);
  QFont small = lbFlow->font();
  small.setPixelSize(10);
  lbFlow->setFont(small);
  seFlow = new QSpinBox(this);
  seFlow->setObjectName("seFlow");
  seFlow->setRange(1, 120);
  seFlow->setValue(60);
  seFlow->setGeometry(128, 8, 41, 22);
  seFlow->setFrame(false);
  seFlow->setFont(small);
  auto* clbFrame = new QFrame(this);
  clbFrame->setFrameStyle(QFrame::Box | QFrame::Plain);
  clbFrame->setStyleSheet("QFrame { color: grey; }");
  clbFrame->setGeometry(24, 40, 129, 22);
  btClb = new QPushButton("Calibration", this);
  btClb->setObjectName("btClb");
  btClb->setFlat(true);
  btClb->setGeometry(24, 40, 129, 22);
  QFont clbFont("MS Sans Serif", 8);
  clbFont.setBold(true);
  btClb->setFont(clbFont);
  connect(btClb, &QPushButton::clicked, this, &TunePanel::calibrationRequested);
  cbReconnect = new QCheckBox("Reconnect", this);
  cbReconnect->setObjectName("cbReconnect");
  cbReconnect->setGeometry(8, 70, 118, 18);
  cbReconnect->setFont(small);
  seReconnectLimit = new QSpinBox(this);
  seReconnectLimit->setObjectName("seReconnectLimit");
  seReconnectLimit->setRange(1, 1440);
  seReconnectLimit->setValue(10);
  seReconnectLimit->setGeometry(104, 68, 44, 22);
  seReconnectLimit->setFont(small);
  lbReconnectLimit = new QLabel("min", this);
  lbReconnectLimit->setObjectName("lbReconnectLimit");
  lbReconnectLimit->setGeometry(151, 71, 24, 16);
  lbReconnectLimit->setFont(small);
  hide();
}

void TunePanel::mouseDoubleClickEvent(QMouseEvent* event) {
  event->accept();
  emit calibrationRequested();
}

MainStatusBar::MainStatusBar(QWidget* parent) : QStatusBar(parent) {
  setObjectName("StatusBar");
  QFont f("Tahoma");
  f.setPixelSize(11);
  setFont(f);
  osPanel = new QLabel(this);
  osPanel->setObjectName("StatusPanel0");
  osPanel->setMinimumWidth(50);
  osPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  statusText = new QLabel(this);
  statusText->setObjectName("StatusText");
  inspection = new QLabel(this);
  inspection->setObjectName("StatusInspection");
  // A long text (the chart's hint) is cut at the window's edge; it never widens the window.
  inspection->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  inspection->setMinimumWidth(40);
  journal = new QLabel(this);
  journal->setObjectName("StatusJournal");
  journal->setStyleSheet("QLabel { color: #b00000; }");
  link = new QLabel(this);
  link->setObjectName("StatusLink");
  link->setStyleSheet("QLabel { color: #b00000; }");
  addWidget(osPanel);
  addWidget(statusText, 1);
  addWidget(inspection, 2);
  addPermanentWidget(link);
  addPermanentWidget(journal);
}

PortMenu::PortMenu(QAction& miPort, ConnectionController& connection, const Translator& tr, QWidget* window)
    : QObject(window), m_miPort(miPort), m_menu(new QMenu(window)), m_connection(connection), m_tr(tr) {
  m_menu->setObjectName("miPortMenu");
  m_miPort.setMenu(m_menu);
  connect(&m_connection, &ConnectionController::portsChanged, this, &PortMenu::sync);
}

void PortMenu::miPortClick(QAction* entry) {
  const auto it = std::find(m_items.begin(), m_items.end(), entry);
  if (it != m_items.end()) m_connection.choosePort(static_cast<std::size_t>(it - m_items.begin()));
}

void PortMenu::sync() {
  const auto& names = m_connection.PortList();
  if (m_items.size() != names.size()) {
    for (QAction* a : m_items) a->deleteLater();
    m_items.clear();
    m_menu->clear();
    for (std::size_t i = 0; i < names.size(); ++i) {
      auto* entry = new QAction(m_menu);
      entry->setCheckable(true);
      connect(entry, &QAction::triggered, this, [this, entry] { miPortClick(entry); });
      m_items.push_back(entry);
      m_menu->addAction(entry);
    }
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    m_items[i]->setText(QString::fromStdString(names[i]));
    m_items[i]->setChecked(static_cast<int>(i) == m_connection.checkedEntry());
    m_items[i]->setEnabled(m_connection.entryEnabled(i));
  }
  m_miPort.setIcon(toolbarIcon(m_connection.chosenPortFailed() ? 3 : 2));
  updateCaption();
}

void PortMenu::updateCaption() {
  const auto& names = m_connection.PortList();
  const std::string port = m_connection.serialPortName();
  if (m_connection.usbActive()) {
    m_miPort.setText("USB");
    m_miPort.setToolTip("USB");
  } else if (std::find(names.begin(), names.end(), port) != names.end()) {
    const QString full = m_prefix + QString::fromStdString(port);
    const QFontMetrics metrics(m_font);
    const int room = metrics.horizontalAdvance(m_prefix + "ttyUSB10");
    m_miPort.setText(metrics.horizontalAdvance(full) > room ? metrics.elidedText(full, Qt::ElideMiddle, room) : full);
    m_miPort.setToolTip(full);
  } else if (!m_connection.PortList().empty()) {
    // The chosen port is not there (a first start, an unplugged converter): the caption says
    // only "Port", and the menu offers what is there (DEMO at least).
    m_miPort.setText(qs(m_tr.text("msgPortCaption")));
  } else {
    m_miPort.setText(qs(m_tr.lookup(mainWindowTable(), Section::Captions, "miPort")));
  }
}

}  // namespace velmora
