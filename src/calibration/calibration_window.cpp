#include "calibration/calibration_window.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QEventLoop>
#include <QShowEvent>
#include <QTimer>
#include <QToolTip>

#include "calibration/calibration_drawing.h"
#include "common/file_io.h"
#include "ui_common/help_window.h"
#include "ui_common/velmora_application.h"

namespace velmora {

using namespace calibration_drawing;

namespace {

// Only digits, signs, the decimal separator and the editing keys get into a cell.
bool keyAllowed(const QKeyEvent* e) {
  const QString t = e->text();
  if (t.isEmpty()) return true;  // navigation and other keys without a character
  const QChar c = t.at(0);
  if (c.unicode() == 8 || c.unicode() == 13 || c.unicode() == 27) return true;
  if (c.unicode() < 0x20 || c.unicode() == 0x7f) return true;
  return c.isDigit() && c.unicode() < 0x80 ? true : (c == '+' || c == '-' || c == '.');
}


}  // namespace

// ---------------------------------------------------------------- window

// One of the window's two tables (four columns) in its group box: the bold table font, the
// header drawn with symbols, fixed sections, every cell made, the window's editing and keys.
QTableWidget* TfmCalibr::makeGrid(QGroupBox* box, const char* name, int rows, const QRect& geometry, int headerHeight,
                                  int rowHeaderWidth, bool coefficients) {
  auto* grid = new QTableWidget(rows, 4, box);
  grid->setObjectName(name);
  grid->setGeometry(geometry);
  grid->setFont(box->font());
  grid->setHorizontalHeader(new SymbolHeader(grid, [this, coefficients](QPainter* p, const QRect& r, int s) {
    coefficients ? drawCofHeader(p, r, s) : drawDataHeader(p, r, s);
  }));
  grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->horizontalHeader()->setFixedHeight(headerHeight);
  grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid->horizontalHeader()->setMinimumSectionSize(8);
  grid->verticalHeader()->setFixedWidth(rowHeaderWidth);
  grid->verticalHeader()->setDefaultSectionSize(24);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < 4; ++c) cellItem(grid, r, c);
  grid->setItemDelegate(new CalibrationCellDelegate(*this, coefficients));
  grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed);
  grid->installEventFilter(this);
  return grid;
}

TfmCalibr::TfmCalibr(const Translator& tr, QWidget* parent) : QDialog(parent), m_tr(tr) {
  setObjectName("fmCalibr");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(493, 525);
  setModal(true);
  addHelpKey(this, m_tr, "calibration");
  const QFont bold = tableFont();

  auto* panel = new QFrame(this);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setGeometry(4, 8, 485, 497);

  m_rgRorT = new QGroupBox("Data type", panel);
  m_rgRorT->setObjectName("rgRorT");
  m_rgRorT->setGeometry(12, 8, 349, 41);
  m_rgRorT->setFont(bold);
  m_rbResistance = new QRadioButton("resistance", m_rgRorT);
  m_rbResistance->setGeometry(10, 17, 165, 20);
  m_rbResistance->setChecked(true);
  m_rbTemperature = new QRadioButton("temperature", m_rgRorT);
  m_rbTemperature->setGeometry(180, 17, 165, 20);
  for (QRadioButton* b : {m_rbResistance, m_rbTemperature})
    connect(b, &QRadioButton::toggled, this, [this] {
      // rgRorTClick: both tables are redrawn.
      m_sgData->horizontalHeader()->viewport()->update();
      m_sgData->viewport()->update();
      m_sgCof->viewport()->update();
      UpdateStrings();
    });

  m_gbData = new QGroupBox("Input data", panel);
  m_gbData->setObjectName("gbData");
  m_gbData->setGeometry(12, 56, 349, 313);
  m_gbData->setFont(bold);
  m_sgData = makeGrid(m_gbData, "sgData", 20, {16, 20, 317, 279}, 48, 30, false);
  m_sgData->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_sgData->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m_sgData->setColumnWidth(0, 24);
  const int w = (317 - 30 - 24 - 25) / 3;
  for (int c = 1; c < 4; ++c) m_sgData->setColumnWidth(c, w);
  for (int r = 0; r < 20; ++r) {
    m_sgData->setVerticalHeaderItem(r, new QTableWidgetItem(QString(" %1").arg(r + 1)));
    m_sgData->item(r, 0)->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  }
  m_sgData->viewport()->installEventFilter(this);
  auto* corner = new QLabel(QString::fromUtf8("\u2116"), m_sgData);
  corner->setGeometry(0, 0, 30, 48);
  corner->setContentsMargins(8, 14, 0, 0);
  corner->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  m_gbCof = new QGroupBox("The factors of interpolation equation", panel);
  m_gbCof->setObjectName("gbCof");
  m_gbCof->setGeometry(12, 376, 465, 113);
  m_gbCof->setFont(bold);
  m_sgCof = makeGrid(m_gbCof, "sgCof", 2, {16, 20, 433, 79}, 25, 90, true);
  m_sgCof->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  for (int c = 0; c < 4; ++c) m_sgCof->setColumnWidth(c, (433 - 90 - 8) / 4);
  for (int r = 0; r < 2; ++r) m_sgCof->setVerticalHeaderItem(r, new QTableWidgetItem());
  // The stored header texts; the header is drawn with symbols.
  m_sgCof->setHorizontalHeaderLabels({"      Ro", "   A [10-3]", "   B [10-7]", "  C [10-12]"});
  auto* cofCorner = new QLabel(m_sgCof);
  cofCorner->setObjectName("sgCofCorner");
  cofCorner->setGeometry(0, 0, 90, 25);
  cofCorner->setContentsMargins(2, 2, 0, 0);
  cofCorner->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  auto* bevel = new QFrame(panel);
  bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
  bevel->setGeometry(368, 16, 105, 353);
  auto button = [&](const char* name, const char* caption, int top, int height) {
    auto* b = new QPushButton(caption, panel);
    b->setObjectName(name);
    b->setGeometry(376, top, 89, height);
    b->setFont(bold);
    b->setAutoDefault(false);
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
  m_btCalc->installEventFilter(this);
  m_btError = button("btError", "\u0394", 336, 29);
  QFont delta = bold;
  delta.setPixelSize(19);
  m_btError->setFont(delta);

  m_pmCalc = new QMenu(this);
  m_pmCalc->setObjectName("pmCalc");
  for (int tag = 0; tag < 3; ++tag) {
    QAction* a = m_pmCalc->addAction(QString());
    a->setObjectName(QString("pmCalc_N%1").arg(tag + 1));
    a->setData(tag);
    connect(a, &QAction::triggered, this, [this, tag] { pmCalc_N1Click(tag); });
  }

  m_status = new QStatusBar(this);
  m_status->setObjectName("StatusBar");
  m_status->setSizeGripEnabled(false);
  m_status->setGeometry(0, 525 - 21, 493, 21);
  m_statusText = new QLabel(m_status);
  m_status->addWidget(m_statusText, 1);
  buildWorkflowControls();

  connect(m_btRead, &QPushButton::clicked, this, [this] {
    for (int c = 1; c <= 4; ++c) setCofCell(c, 1, "");
    if (m_protocol) m_protocol->startCofRead();
    m_sgCof->viewport()->update();
  });
  connect(m_btWrite, &QPushButton::clicked, this, [this] {
    clearCofMismatches();
    if (m_protocol) m_protocol->startCofWrite();
  });
  // Every change of the tables is kept until they are stored.
  m_tableJournalTimer.setSingleShot(true);
  m_tableJournalTimer.setInterval(300);
  connect(&m_tableJournalTimer, &QTimer::timeout, this, &TfmCalibr::writeTableJournal);
  connect(m_sgData, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    tablesChangedByUser();
    // A measured value typed over a taken point no longer stands on those readings.
    if (!m_takingPoint && item->column() == 1 && m_pointInfo.erase(item->row() + 1) > 0) {
      for (int c = 0; c < m_sgData->columnCount(); ++c)
        if (QTableWidgetItem* cell = m_sgData->item(item->row(), c)) cell->setToolTip(QString());
    }
  });
  connect(m_sgCof, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    tablesChangedByUser();
    // A factor typed anew is no longer the one the instrument refused.
    if (item->row() == 1 && m_cofMismatch[item->column()] && !m_settingMismatch) {
      m_cofMismatch[item->column()] = false;
      item->setToolTip(QString());
    }
  });
  connect(m_btError, &QPushButton::clicked, this, &TfmCalibr::btErrorClick);
  connect(m_btSave, &QPushButton::clicked, this, &TfmCalibr::btSaveClick);
  connect(m_btLoad, &QPushButton::clicked, this, &TfmCalibr::btLoadClick);
  UpdateStrings();
}

void TfmCalibr::UpdateStrings() {
  translateWindow(this, calibrationWindowTable(), m_tr, {"btCalc", "btError"});
  applyTitle();
  const QStringList items = qs(m_tr.lookup(calibrationWindowTable(), Section::MultiLines, "rgRorT.Items")).split(',');
  if (items.size() == 2) {
    m_rbResistance->setText(items[0]);
    m_rbTemperature->setText(items[1]);
  }
  QTableWidgetItem* oldTitle = m_sgCof->verticalHeaderItem(0);
  oldTitle->setText(qs(m_tr.text("IDS_14")));
  QFont titleFont = tableFont();
  if (dataType() == 0) {
    titleFont.setItalic(true);
    titleFont.setBold(false);
  }
  oldTitle->setFont(titleFont);
  m_sgCof->verticalHeaderItem(1)->setText(qs(m_tr.text("IDS_15")));
  if (auto* corner = m_sgCof->findChild<QLabel*>("sgCofCorner")) corner->setText(qs(m_tr.text("IDS_16")));
  for (int tag = 0; tag < 3; ++tag) {
    const std::string key = "pmCalc_N" + std::to_string(tag + 1);
    m_pmCalc->actions()[tag]->setText(qs(m_tr.lookup(calibrationWindowTable(), Section::Captions, key)));
  }
  m_sgData->horizontalHeader()->viewport()->update();
  updateCalcCaption();
  retranslateWorkflow();
}

void TfmCalibr::updateCalcCaption() { m_btCalc->setText(qs(m_tr.text("IDS_0")) + QString::number(m_calcMethod + 1)); }

void TfmCalibr::setCalcMethod(int method) {
  if (method != m_calcMethod) tablesChangedByUser();
  m_calcMethod = method;
  updateCalcCaption();
}

std::string TfmCalibr::dataCell(int column, int row) const {
  const QTableWidgetItem* item = m_sgData->item(row - 1, column - 1);
  return item ? item->text().toStdString() : std::string();
}

void TfmCalibr::setDataCell(int column, int row, std::string_view text) {
  if (row < 1 || row > m_sgData->rowCount() || column < 1 || column > 4) return;
  cellItem(m_sgData, row - 1, column - 1)->setText(qs(text));
}

std::string TfmCalibr::cofCell(int column, int row) const {
  const QTableWidgetItem* item = m_sgCof->item(row - 1, column - 1);
  return item ? item->text().toStdString() : std::string();
}

void TfmCalibr::setCofCell(int column, int row, std::string_view text) {
  if (row < 1 || row > 2 || column < 1 || column > 4) return;
  cellItem(m_sgCof, row - 1, column - 1)->setText(qs(text));
}

QString TfmCalibr::coefficientText(int row, int column) const { return qs(cofCell(column, row)); }
void TfmCalibr::setCoefficientText(int row, int column, const QString& text) { setCofCell(column, row, text.toStdString()); }

void TfmCalibr::focusDataCell(int column, int row) {
  m_sgData->setCurrentCell(row - 1, column - 1);
  m_sgData->setFocus();
  m_sgData->viewport()->repaint();
}

void TfmCalibr::focusCofCell(int column, int row) {
  m_sgCof->setCurrentCell(row - 1, column - 1);
  m_sgCof->setFocus();
  m_sgCof->viewport()->repaint();
}

void TfmCalibr::repaintData() {
  if (isVisible()) m_sgData->viewport()->repaint();
}

// The pacing waits without blocking: the window repaints and the program's timers and
// devices are served meanwhile; only the user's input waits.
void TfmCalibr::pause(int ms) {
  if (!m_pacing) return;
  QEventLoop loop;
  QTimer::singleShot(std::chrono::milliseconds(ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void TfmCalibr::message(MessageKind kind, const QString& text) {
  if (messageHook)
    messageHook(kind, text);
  else
    showMessage(this, m_tr, kind, text);
}

void TfmCalibr::showError(std::string_view text) { message(MessageKind::Error, qs(text)); }

void TfmCalibr::reportError(const QString& text) {
  if (errorReport) {
    errorReport(text);
  } else if (auto* app = dynamic_cast<VelmoraApplication*>(QCoreApplication::instance())) {
    app->reportError(text);
  } else {
    message(MessageKind::Error, text);
  }
}

void TfmCalibr::rejectNewCofCell(int index) {
  focusCofCell(index + 1, 2);
  message(MessageKind::Error, qs(m_tr.text("IDS_2")));
}

// The status line may be longer than the room beside the status bar's buttons: the whole
// text is its tool tip.
void TfmCalibr::setStatus(const QString& text) {
  m_statusText->setText(text);
  m_statusText->setToolTip(text.size() > 8 ? text : QString());
}
void TfmCalibr::appendStatus(const QString& text) { setStatus(m_statusText->text() + text); }

void TfmCalibr::clearCofMismatches() {
  for (int i = 0; i < 4; ++i) {
    if (!m_cofMismatch[i]) continue;
    m_cofMismatch[i] = false;
    if (QTableWidgetItem* item = m_sgCof->item(1, i)) item->setToolTip(QString());
  }
  m_sgCof->viewport()->update();
}
QString TfmCalibr::status() const { return m_statusText->text(); }

void TfmCalibr::connectProtocol(Protocol& protocol) {
  if (m_protocol == &protocol) return;
  if (m_protocol && m_protocol->factorLink() == this) m_protocol->setFactorLink(m_linkBefore);
  m_linkBefore = protocol.factorLink();
  m_protocol = &protocol;
  protocol.setFactorLink(this);
}

void TfmCalibr::setInstrument(int channel, const QString& caption) {
  m_instrumentChannel = channel;
  m_instrumentCaption = caption;
  applyTitle();
}

void TfmCalibr::applyTitle() {
  const QString base = qs(m_tr.lookup(calibrationWindowTable(), Section::Captions, "fmCalibr"));
  setWindowTitle(m_instrumentCaption.isEmpty() ? base : base + QString::fromUtf8(" \u2014 ") + m_instrumentCaption);
}

void TfmCalibr::cofProgressChanged() {
  if (m_protocol) m_pbWrite->setValue(m_protocol->pbWrite());
  m_sgCof->viewport()->update();
}

// ---------------------------------------------------------------- editing

void TfmCalibr::toggleExclusion(int row) {
  QTableWidgetItem* item = cellItem(m_sgData, row - 1, 0);
  item->setText(item->text().isEmpty() ? "X" : "");
  m_sgData->viewport()->update();
}

bool TfmCalibr::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_btCalc && event->type() == QEvent::MouseButtonPress) {
    btCalcMouseDown(static_cast<QMouseEvent*>(event)->button());
    return true;
  }
  // Without a mouse: the Menu key or Shift+F10 opens the method menu, Enter or Space
  // calculates (only while the button has the focus: Enter in a table is no calculation).
  if (watched == m_btCalc && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Menu || (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier)) {
      btCalcMouseDown(Qt::RightButton);
      return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space) {
      if (!key->isAutoRepeat()) btCalcMouseDown(Qt::LeftButton);
      return true;
    }
  }
  if (watched == m_btCalc && event->type() == QEvent::ContextMenu) {
    btCalcMouseDown(Qt::RightButton);
    return true;
  }
  if (watched == m_sgData->viewport() && event->type() == QEvent::MouseButtonPress) {
    const QModelIndex index = m_sgData->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint());
    if (index.isValid() && index.column() == 0) toggleExclusion(index.row() + 1);
    return false;
  }
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == m_sgData && m_sgData->currentColumn() == 0) {
      if (key->key() == Qt::Key_Space) {
        toggleExclusion(m_sgData->currentRow() + 1);
        return true;
      }
      return !key->text().isEmpty() && key->text().at(0).unicode() >= 0x20;  // no editing in column 1
    }
    const bool cell = watched == m_sgData || watched == m_sgCof || qobject_cast<QLineEdit*>(watched);
    if (cell && !keyAllowed(key)) return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TfmCalibr::pmCalc_N1Click(int tag) { setCalcMethod(tag); }

void TfmCalibr::btCalcMouseDown(Qt::MouseButton button) {
  if (button == Qt::RightButton) {
    m_pmCalc->popup(m_btCalc->mapToGlobal(QPoint(0, 0)));
    if (!m_pmCalc->actions().isEmpty()) m_pmCalc->setActiveAction(m_pmCalc->actions().value(m_calcMethod));
    return;
  }
  if (button != Qt::LeftButton && button != Qt::MiddleButton) return;
  if (!confirmFitWarnings()) return;
  try {
    runCalcMethod(m_calcMethod, *this, m_state);
  } catch (const std::exception& e) {
    reportError(QString::fromUtf8(e.what()));
  }
  m_sgData->viewport()->update();
  updateResiduals();
  // The "New" row blinks twice.
  for (int i = 1; i <= 2; ++i) {
    QApplication::beep();
    m_highlightCofRow = 2;
    m_sgCof->viewport()->repaint();
    pause(i * 100);
    m_highlightCofRow = 0;
    m_sgCof->viewport()->repaint();
    pause(200);
  }
}

void TfmCalibr::btErrorClick() {
  try {
    velmora::btErrorClick(*this, m_state);
  } catch (const std::exception& e) {
    reportError(QString::fromUtf8(e.what()));
  }
  m_sgData->viewport()->update();
  updateResiduals();
}

// ---------------------------------------------------------------- activation

void TfmCalibr::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormActivate();
}

void TfmCalibr::FormActivate() {
  updateCalcCaption();
  if (!m_protocol) return;
  m_wasRecording = m_protocol->recording();
  if (m_wasRecording) m_protocol->miRecordClick(false);
  m_protocol->clearTransferFlags();
  m_protocol->ToggleSerialPort(true);
}

void TfmCalibr::done(int result) {
  FormClose();
  QDialog::done(result);
}

void TfmCalibr::FormClose() {
  if (!m_protocol) return;
  if (m_wasRecording)
    m_protocol->miRecordClick(true);
  else
    m_protocol->ToggleSerialPort(false);
}

}  // namespace velmora
