#include "files/data_file_actions.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWindow>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QProgressBar>
#include <algorithm>
#include <vector>

#include "display/measurement_display.h"
#include "files/csv_file.h"
#include "files/data_file.h"
#include "ui_common/atomic_save.h"

namespace velmora {

QString DataFileActions::fileDialog(bool save, const QString& title, const QString& folder, const QString& proposed,
                                    bool csvOnly) {
  if (fileDialogHook) return fileDialogHook(save, title, folder, proposed);
  const auto filter = [&](const char* id) { return qs(m_tr.lookup(mainWindowTable(), Section::OtherStrings, id)); };
  QStringList filters;
  if (csvOnly)
    filters << filter("ExportDialog.FilterCsv");
  else if (save)
    filters << filter("SaveDialog.FilterVmd") << filter("SaveDialog.FilterCsv");
  else
    filters << filter("OpenDialog.FilterAll") << filter("SaveDialog.Filter") << filter("ExportDialog.FilterCsv");
  return runFileDialog(&m_window, save, title, folder, proposed, filters);
}

namespace {
bool isCsvPath(const QString& path) { return path.endsWith(".csv", Qt::CaseInsensitive); }
}  // namespace

void DataFileActions::reportError(const QString& text) {
  if (errorReport) errorReport(text);
}

bool DataFileActions::miSaveClick() {
  const QString path = fileDialog(true, qs(m_tr.lookup(mainWindowTable(), Section::OtherStrings, "SaveDialog.Title")),
                                  startFolder("Data"), "D_" + QDate::currentDate().toString("dd_MM_yyyy"));
  if (path.isEmpty()) return false;
  // A .vmd file keeps the list's two columns; a CSV file every value of each reading.
  std::string text;
  if (isCsvPath(path))
    text = csvText(m_display.series(), 0, m_display.series().size());
  else
    dataFileText(m_display.list(), text);
  if (auto error = saveAtomically(path, text)) {
    reportError(*error);
    return false;
  }
  m_display.setUnsaved(false);
  if (savedHook) savedHook(path);
  return true;
}

bool DataFileActions::confirmDiscard() {
  if (!m_display.unsaved()) return true;
  const QString text = qs(m_tr.text("msgUnsaved"));
  int answer;
  if (questionHook) {
    answer = questionHook(text);
  } else {
    QMessageBox box(QMessageBox::Question, qs(m_tr.dialogWord("Confirm")), text, QMessageBox::NoButton,
                  dialogParent(&m_window));
    keepAboveParent(box);
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

bool DataFileActions::exportCsv(std::size_t first, std::size_t last) {
  QString path = fileDialog(true, qs(m_tr.text("msgExportCsvTitle")), startFolder("Data"),
                            "D_" + QDate::currentDate().toString("dd_MM_yyyy") + ".csv", true);
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += ".csv";
  const auto& series = m_display.series();
  last = std::min(last, series.size());
  first = std::min(first, last);
  if (auto error = saveAtomically(path, csvText(series, first, last))) {
    reportError(*error);
    return false;
  }
  return true;
}

void DataFileActions::miOpenClick() {
  if (!confirmDiscard()) return;
  const QString path = fileDialog(false, qs(m_tr.lookup(mainWindowTable(), Section::OtherStrings, "OpenDialog.Title")),
                                  startFolder("Data"), QString());
  if (path.isEmpty()) return;
  loadDataFile(path);
}

namespace {

// While a file loads: input reaches only the cancel button, and the window is not closed.
class CancelOnlyInput : public QObject {
 public:
  CancelOnlyInput(QWidget& cancel, QWidget& window) : m_cancel(cancel), m_window(window) {
    qApp->installEventFilter(this);
  }
  ~CancelOnlyInput() override { qApp->removeEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Close && watched == &m_window) {
      event->ignore();
      return true;
    }
    if (!isInput(event->type())) return false;
    // Input reaches the window first and is then passed to the widget under it: only the
    // widget decides.
    if (qobject_cast<QWindow*>(watched)) return false;
    return watched != &m_cancel;
  }

 private:
  static bool isInput(QEvent::Type t) {
    switch (t) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseMove:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ShortcutOverride:
      case QEvent::Shortcut:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
      case QEvent::TabletPress:
      case QEvent::TabletMove:
      case QEvent::TabletRelease:
        return true;
      default:
        return false;
    }
  }
  QWidget& m_cancel;
  QWidget& m_window;
};

}  // namespace

// Moves the gauge and lets the window repaint at least every ~50 ms of work.
class LoadProgress {
 public:
  LoadProgress(QProgressBar& gauge, const std::function<void(double)>& hook, const bool& cancel)
      : m_gauge(gauge), m_hook(hook), m_cancel(cancel) {
    m_clock.start();
  }
  // `fraction` of the whole load done; false when the user cancelled.
  bool step(double fraction, bool force = false) {
    if (force || m_clock.elapsed() >= 50) {
      m_gauge.setValue(static_cast<int>(1000.0 * std::clamp(fraction, 0.0, 1.0)));
      if (m_hook) m_hook(fraction);
      QCoreApplication::processEvents(QEventLoop::AllEvents);
      m_clock.restart();
    }
    return !m_cancel;
  }

 private:
  QProgressBar& m_gauge;
  const std::function<void(double)>& m_hook;
  const bool& m_cancel;
  QElapsedTimer m_clock;
};

DataFileActions::DataFileActions(QWidget& window, const Translator& tr, MeasurementDisplay& display,
                                 QWidget& gaugePanel, QProgressBar& gauge, QPushButton& cancel)
    : m_window(window), m_tr(tr), m_display(display), m_gaugePanel(gaugePanel), m_gauge(gauge), m_cancelButton(cancel) {
  QObject::connect(&m_cancelButton, &QPushButton::clicked, [this] { cancelLoad(); });
}

// Reads the file in pieces: a first pass counts the lines (so that the stores are sized
// once), the second parses them. Reading takes the first 70 % of the gauge.
bool DataFileActions::readFile(QFile& file, DataFileLoader& loader, LoadProgress& progress) {
  constexpr qint64 kPiece = 4 << 20;
  const double size = static_cast<double>(std::max<qint64>(1, file.size()));
  std::vector<char> piece(static_cast<std::size_t>(kPiece));
  std::size_t lines = 0;
  for (qint64 done = 0;;) {
    const qint64 n = file.read(piece.data(), kPiece);
    if (n <= 0) break;
    lines += countLines(std::string_view(piece.data(), static_cast<std::size_t>(n)));
    done += n;
    if (!progress.step(0.1 * static_cast<double>(done) / size)) return false;
  }
  loader.reserve(lines + 1, static_cast<std::size_t>(file.size()));
  file.seek(0);
  for (qint64 done = 0;;) {
    const qint64 n = file.read(piece.data(), kPiece);
    if (n <= 0) break;
    if (!loader.feed(std::string_view(piece.data(), static_cast<std::size_t>(n)))) return true;
    done += n;
    if (!progress.step(0.1 + 0.6 * static_cast<double>(done) / size)) return false;
  }
  loader.finish();
  return true;
}

bool DataFileActions::loadDataFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    reportError("Cannot open " + QDir::toNativeSeparators(path) + ": " + file.errorString());
    return false;
  }
  m_loading = true;
  m_cancel = false;
  m_gauge.setRange(0, 1000);
  m_gauge.setValue(0);
  m_cancelButton.setText(qs(m_tr.dialogWord("Cancel")));
  m_gaugePanel.show();
  m_gaugePanel.raise();
  m_cancelButton.show();
  m_cancelButton.raise();
  DataFileLoader loader;
  {
    CancelOnlyInput onlyCancel(m_cancelButton, m_window);
    LoadProgress progress(m_gauge, loadProgressHook, m_cancel);
    progress.step(0, true);
    if (readFile(file, loader, progress) && loader.result().ok)
      loader.order([&](double f) { return progress.step(0.7 + 0.3 * f); });
  }
  file.close();
  m_gaugePanel.hide();
  m_cancelButton.hide();
  m_loading = false;
  if (m_cancel || loader.result().cancelled) return false;  // the readings shown stay as they were
  if (!loader.result().ok) {
    const auto& r = loader.result();
    reportError(qs(r.error + " (" + std::string(m_tr.text("msgLine")) + " " + std::to_string(r.errorLine) + ")"));
    return false;
  }
  ReadingList list;
  MeasurementSeries series;
  loader.takeInto(list, series);
  m_display.replaceAll(std::move(list), std::move(series));
  if (loadedHook) loadedHook(path);
  return true;
}

}  // namespace velmora
