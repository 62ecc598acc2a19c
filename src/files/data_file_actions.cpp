#include "files/data_file_actions.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QProgressBar>

#include "display/measurement_display.h"
#include "files/data_file.h"
#include "ui_common/atomic_save.h"

namespace velmora {

QString DataFileActions::fileDialog(bool save, const QString& title, const QString& folder, const QString& proposed) {
  if (fileDialogHook) return fileDialogHook(save, title, folder, proposed);
  return runFileDialog(&m_window, save, title, folder, proposed,
                       qs(m_tr.lookup(mainWindowTable(), Section::OtherStrings, "SaveDialog.Filter")), "vmd");
}

void DataFileActions::reportError(const QString& text) {
  if (errorReport) errorReport(text);
}

bool DataFileActions::miSaveClick() {
  const QString path = fileDialog(true, qs(m_tr.lookup(mainWindowTable(), Section::OtherStrings, "SaveDialog.Title")),
                                  startFolder("Data"), "D_" + QDate::currentDate().toString("dd_MM_yyyy"));
  if (path.isEmpty()) return false;
  std::string text;
  dataFileText(m_display.list(), text);
  if (auto error = saveAtomically(path, text)) {
    reportError(*error);
    return false;
  }
  m_display.setUnsaved(false);
  return true;
}

bool DataFileActions::confirmDiscard() {
  if (!m_display.unsaved()) return true;
  const QString text = qs(m_tr.text("msgUnsaved"));
  int answer;
  if (questionHook) {
    answer = questionHook(text);
  } else {
    QMessageBox box(QMessageBox::Question, qs(m_tr.dialogWord("Confirm")), text, QMessageBox::NoButton, &m_window);
    auto* save = box.addButton(qs(m_tr.dialogWord("Yes")), QMessageBox::YesRole);
    auto* discard = box.addButton(qs(m_tr.dialogWord("No")), QMessageBox::NoRole);
    auto* cancel = box.addButton(qs(m_tr.dialogWord("Cancel")), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    answer = box.clickedButton() == save ? 0 : box.clickedButton() == discard ? 1 : 2;
  }
  if (answer == 0) return miSaveClick();
  return answer == 1;
}

void DataFileActions::miOpenClick() {
  if (!confirmDiscard()) return;
  const QString path = fileDialog(false, qs(m_tr.lookup(mainWindowTable(), Section::OtherStrings, "OpenDialog.Title")),
                                  startFolder("Data"), QString());
  if (path.isEmpty()) return;
  loadDataFile(path);
}

bool DataFileActions::loadDataFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    reportError("Cannot open " + QDir::toNativeSeparators(path) + ": " + file.errorString());
    return false;
  }
  const QByteArray bytes = file.readAll();
  file.close();
  ReadingList list;
  MeasurementSeries series;
  m_gauge.setRange(0, 1000);
  m_gauge.setValue(0);
  m_gaugePanel.show();
  m_gaugePanel.raise();
  const auto total = static_cast<double>(std::max<qsizetype>(1, bytes.size()));
  const DataFileLoad result =
      parseDataFile(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), list, series,
                    [&](std::size_t done) {
                      m_gauge.setValue(static_cast<int>(1000.0 * static_cast<double>(done) / total));
                      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                    });
  m_gaugePanel.hide();
  if (!result.ok) {
    // The readings shown before stay as they were.
    reportError(qs(result.error + " (" + std::string(m_tr.text("msgLine")) + " " + std::to_string(result.errorLine) + ")"));
    return false;
  }
  m_display.replaceAll(std::move(list), std::move(series));
  return true;
}

}  // namespace velmora
