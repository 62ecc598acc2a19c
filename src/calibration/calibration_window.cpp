#include "calibration/calibration_window.h"

#include <QFrame>
#include <QHeaderView>
#include <QShowEvent>

#include "app/ui_helpers.h"

namespace velmora {

TfmCalibr::TfmCalibr(const Translator& tr, QWidget* parent) : QDialog(parent), m_tr(tr) {
  setObjectName("fmCalibr");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(493, 525);
  setModal(true);
  QFont bold("MS Sans Serif");
  bold.setPixelSize(13);
  bold.setBold(true);

  auto* panel = new QFrame(this);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setGeometry(4, 8, 485, 497);

  m_rgRorT = new QGroupBox("Data type", panel);
  m_rgRorT->setObjectName("rgRorT");
  m_rgRorT->setGeometry(12, 8, 349, 41);
  m_rgRorT->setFont(bold);
  m_rbResistance = new QRadioButton("resistance", m_rgRorT);
  m_rbResistance->setGeometry(10, 17, 160, 20);
  m_rbResistance->setChecked(true);
  m_rbTemperature = new QRadioButton("temperature", m_rgRorT);
  m_rbTemperature->setGeometry(180, 17, 160, 20);

  m_gbData = new QGroupBox("Input data", panel);
  m_gbData->setObjectName("gbData");
  m_gbData->setGeometry(12, 56, 349, 313);
  m_gbData->setFont(bold);
  m_sgData = new QTableWidget(20, 4, m_gbData);
  m_sgData->setObjectName("sgData");
  m_sgData->setGeometry(16, 20, 317, 279);
  m_sgData->setFont(bold);
  m_sgData->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_sgData->horizontalHeader()->setFixedHeight(48);
  m_sgData->verticalHeader()->setFixedWidth(30);
  m_sgData->setColumnWidth(0, 24);
  const int w = (317 - 30 - 24 - 25) / 3;
  for (int c = 1; c < 4; ++c) m_sgData->setColumnWidth(c, w);
  for (int r = 0; r < 20; ++r) m_sgData->setVerticalHeaderItem(r, new QTableWidgetItem(QString(" %1").arg(r + 1)));

  m_gbCof = new QGroupBox("The factors of interpolation equation", panel);
  m_gbCof->setObjectName("gbCof");
  m_gbCof->setGeometry(12, 376, 465, 113);
  m_gbCof->setFont(bold);
  m_sgCof = new QTableWidget(2, 4, m_gbCof);
  m_sgCof->setObjectName("sgCof");
  m_sgCof->setGeometry(16, 20, 433, 79);
  m_sgCof->setFont(bold);
  m_sgCof->verticalHeader()->setFixedWidth(90);
  m_sgCof->setHorizontalHeaderLabels({"      Ro", "   A [10-3]", "   B [10-7]", "  C [10-12]"});
  for (int c = 0; c < 4; ++c) m_sgCof->setColumnWidth(c, (433 - 90 - 8) / 4);
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 4; ++c) m_sgCof->setItem(r, c, new QTableWidgetItem());

  auto* bevel = new QFrame(panel);
  bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
  bevel->setGeometry(368, 16, 105, 353);
  auto button = [&](const char* name, const char* caption, int top, int height) {
    auto* b = new QPushButton(caption, panel);
    b->setObjectName(name);
    b->setGeometry(376, top, 89, height);
    b->setFont(bold);
    return b;
  };
  m_btLoad = button("btLoad", "Load", 28, 49);
  m_btSave = button("btSave", "Store", 84, 49);
  m_btRead = button("btRead", "Read", 140, 49);
  m_btWrite = button("btWrite", "Write", 196, 49);
  m_pbWrite = new QProgressBar(panel);
  m_pbWrite->setObjectName("pbWrite");
  m_pbWrite->setGeometry(376, 248, 90, 17);
  m_pbWrite->setRange(0, 4);
  m_pbWrite->setValue(0);
  m_pbWrite->setTextVisible(false);
  m_btCalc = button("btCalc", "Calc #1", 268, 65);
  m_btCalc->setDefault(true);
  m_btError = button("btError", "\u0394", 336, 29);

  m_status = new QStatusBar(this);
  m_status->setObjectName("StatusBar");
  m_status->setSizeGripEnabled(false);
  m_status->setGeometry(0, 525 - 21, 493, 21);
  m_statusText = new QLabel(m_status);
  m_status->addWidget(m_statusText, 1);

  connect(m_btRead, &QPushButton::clicked, this, [this] {
    for (int c = 1; c <= 4; ++c) setCofCell(1, c, QString());
    if (startRead) startRead();
  });
  connect(m_btWrite, &QPushButton::clicked, this, [this] {
    if (startWrite) startWrite();
  });
  UpdateStrings();
}

void TfmCalibr::UpdateStrings() {
  translateWindow(this, calibrationWindowTable(), m_tr, {"btCalc"});
  const QStringList items = qs(m_tr.lookup(calibrationWindowTable(), Section::MultiLines, "rgRorT.Items")).split(',');
  if (items.size() == 2) {
    m_rbResistance->setText(items[0]);
    m_rbTemperature->setText(items[1]);
  }
  m_sgCof->setVerticalHeaderLabels({qs(m_tr.text("IDS_14")), qs(m_tr.text("IDS_15"))});
  updateCalcCaption();
}

void TfmCalibr::updateCalcCaption() { m_btCalc->setText(qs(m_tr.text("IDS_0")) + QString::number(m_calcMethod + 1)); }

void TfmCalibr::setCalcMethod(int method) {
  m_calcMethod = method;
  updateCalcCaption();
}

QString TfmCalibr::cofCell(int row, int column) const {
  const auto* item = m_sgCof->item(row - 1, column - 1);
  return item ? item->text() : QString();
}

void TfmCalibr::setCofCell(int row, int column, const QString& text) {
  if (row < 1 || row > 2 || column < 1 || column > 4) return;
  m_sgCof->item(row - 1, column - 1)->setText(text);
}

void TfmCalibr::rejectNewCofCell(int index) {
  m_sgCof->setCurrentCell(1, index);
  m_sgCof->setFocus();
  if (messageHook)
    messageHook(MessageKind::Error, qs(m_tr.text("IDS_2")));
  else
    showMessage(this, m_tr, MessageKind::Error, qs(m_tr.text("IDS_2")));
}

void TfmCalibr::setStatus(const QString& text) { m_statusText->setText(text); }
void TfmCalibr::appendStatus(const QString& text) { m_statusText->setText(m_statusText->text() + text); }
QString TfmCalibr::status() const { return m_statusText->text(); }

void TfmCalibr::progressChanged() {
  if (writeProgress) m_pbWrite->setValue(writeProgress());
  m_sgCof->viewport()->update();
}

void TfmCalibr::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormActivate();
}

void TfmCalibr::FormActivate() {
  updateCalcCaption();
  m_wasRecording = isRecording && isRecording();
  if (m_wasRecording && setRecording) setRecording(false);
  if (clearTransferFlags) clearTransferFlags();
  if (toggleSerialPort) toggleSerialPort(true);
}

void TfmCalibr::done(int result) {
  FormClose();
  QDialog::done(result);
}

void TfmCalibr::FormClose() {
  if (m_wasRecording) {
    if (setRecording) setRecording(true);
  } else if (toggleSerialPort) {
    toggleSerialPort(false);
  }
}

}  // namespace velmora
