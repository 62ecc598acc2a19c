// The calibration window's tables in files: Store and Load (the designed calibration file),
// and the keeping of tables that were not stored — written to a file of their own at every
// change, offered back after a crash, asked about at exit.
#include <QDate>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <utility>

#include "calibration/calibration_window.h"
#include "common/file_io.h"

namespace velmora {


// ---------------------------------------------------------------- calibration files

CalibrationTables TfmCalibr::collectTables() const {
  CalibrationTables t;
  t.dataType = dataType();
  t.dataRows = m_sgData->rowCount() + 1;
  t.calcMethod = m_calcMethod;
  t.resize();
  for (int c = 1; c <= 4; ++c)
    for (int r = 1; r < t.dataRows; ++r) t.data(c, r) = dataCell(c, r);
  for (int c = 1; c <= 4; ++c)
    for (int r = 1; r <= 2; ++r) t.cof(c, r) = cofCell(c, r);
  return t;
}

void TfmCalibr::applyTables(const CalibrationTables& t) {
  const bool applying = std::exchange(m_applyingTables, true);
  m_pointInfo.clear();
  (t.dataType == 1 ? m_rbTemperature : m_rbResistance)->setChecked(true);
  const int oldRows = m_sgData->rowCount();
  m_sgData->setRowCount(t.dataRows - 1);
  for (int r = oldRows; r < t.dataRows - 1; ++r) {
    m_sgData->setVerticalHeaderItem(r, new QTableWidgetItem(QString()));  // new rows carry no number
    for (int c = 0; c < 4; ++c) cellItem(m_sgData, r, c);
    m_sgData->item(r, 0)->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  }
  for (int c = 1; c <= 4; ++c)
    for (int r = 1; r < t.dataRows; ++r) setDataCell(c, r, t.data(c, r));
  for (int c = 1; c <= 4; ++c)
    for (int r = 1; r <= 2; ++r) setCofCell(c, r, t.cof(c, r));
  setCalcMethod(t.calcMethod);
  m_sgData->viewport()->update();
  m_sgCof->viewport()->update();
  m_applyingTables = applying;
}

QString TfmCalibr::fileDialog(bool save, const QString& title, const QString& proposed) {
  const QString folder = startFolder("Clb");
  if (fileDialogHook) return fileDialogHook(save, title, folder, proposed);
  return runFileDialog(this, save, title, folder, proposed,
                       {qs(m_tr.lookup(calibrationWindowTable(), Section::OtherStrings, "SaveDialog.Filter"))});
}

bool TfmCalibr::btSaveClick() {
  const QString path = fileDialog(true, qs(m_tr.lookup(calibrationWindowTable(), Section::OtherStrings, "SaveDialog.Title")),
                                  "C_" + QDate::currentDate().toString("dd_MM_yyyy"));
  if (path.isEmpty()) return false;
  const std::string text = calibrationFileText(collectTables());
  if (auto cause = writeFileAtomically(path.toStdString(), text)) {
    reportError(qs(m_tr.text("msgCannotWrite")).arg(QDir::toNativeSeparators(path), qs(*cause)));
    return false;
  }
  tablesKept();
  return true;
}

void TfmCalibr::btLoadClick() {
  m_highlightDataRow = 0;
  const QString path =
      fileDialog(false, qs(m_tr.lookup(calibrationWindowTable(), Section::OtherStrings, "OpenDialog.Title")), QString());
  if (path.isEmpty()) return;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    reportError(qs(m_tr.text("msgCannotOpen")).arg(QDir::toNativeSeparators(path), file.errorString()));
    return;
  }
  const QByteArray bytes = file.read(16 * 1024 * 1024);  // a calibration file is a few kilobytes
  CalibrationTables tables;
  const CalibrationFileLoad result =
      parseCalibrationFile(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), tables);
  if (!result.ok) {
    // The tables stay exactly as they were.
    reportError(qs(result.error) + QString(" (%1 %2)").arg(qs(m_tr.text("msgLine"))).arg(result.line));
    return;
  }
  applyTables(tables);
  tablesKept();  // the tables are those of the file
}

// ---------------------------------------------------------------- tables not stored

void TfmCalibr::setTableJournal(const QString& path) {
  m_tableJournal = path;
  if (m_tablesChanged) writeTableJournal();
}

void TfmCalibr::tablesChangedByUser() {
  if (m_applyingTables) return;
  m_tablesChanged = true;
  m_tableJournalTimer.start();
}

void TfmCalibr::writeTableJournal() {
  if (m_tableJournal.isEmpty() || !m_tablesChanged) return;
  writeFileAtomically(m_tableJournal.toStdString(), calibrationFileText(collectTables()));
}

void TfmCalibr::tablesKept() {
  m_tablesChanged = false;
  m_tableJournalTimer.stop();
  if (!m_tableJournal.isEmpty()) QFile::remove(m_tableJournal);
}

bool TfmCalibr::restoreTables(std::string_view text) {
  CalibrationTables tables;
  if (!parseCalibrationFile(text, tables).ok) return false;
  applyTables(tables);
  tablesChangedByUser();  // restored, not stored: kept again, and asked about at exit
  writeTableJournal();
  return true;
}

bool TfmCalibr::confirmTablesAtExit() {
  if (!m_tablesChanged) return true;
  const QString text = qs(m_tr.text("msgTablesNotStored"));
  int answer;
  if (tablesQuestionHook) {
    answer = tablesQuestionHook(text);
  } else {
    answer = askQuestion(dialogParent(parentWidget()), QMessageBox::Question, qs(m_tr.dialogWord("Confirm")), text,
                         {{qs(m_tr.lookup(calibrationWindowTable(), Section::Captions, "btSave")), QMessageBox::AcceptRole},
                          {qs(m_tr.text("msgDiscard")), QMessageBox::DestructiveRole},
                          {qs(m_tr.text("wCancel")), QMessageBox::RejectRole}},
                         0, 2);
  }
  if (answer == 0) return btSaveClick();
  if (answer == 1) tablesKept();
  return answer == 1;
}

}  // namespace velmora
