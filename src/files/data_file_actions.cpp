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
#include "files/background_write.h"

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

bool DataFileActions::miSaveClick() {
  const QString path = fileDialog(true, qs(m_tr.lookup(mainWindowTable(), Section::OtherStrings, "SaveDialog.Title")),
                                  startFolder("Data"), "D_" + QDate::currentDate().toString("dd_MM_yyyy"));
  if (path.isEmpty()) return false;
  // A .vmd file keeps the list's two columns; a CSV file every value of each reading. With
  // several instruments a CSV file holds them all; a .vmd file holds one, so each further
  // instrument goes into a file of its own beside it ("<name>-<instrument>.vmd").
  const std::size_t count = m_display.list().size();
  std::vector<WritePart> parts = allParts(std::nullopt);
  bool cancelled = false;
  if (isCsvPath(path)) {
    if (!writeInBackground(path, parts, true, cancelled)) return false;
  } else {
    const QFileInfo info(path);
    for (std::size_t p = 0; p < parts.size(); ++p) {
      const QString target = p == 0 ? path
                                    : info.dir().filePath(info.completeBaseName() + "-" +
                                                          QString::fromStdString(parts[p].name) + "." + info.suffix());
      if (!writeInBackground(target, {parts[p]}, false, cancelled)) return false;
    }
  }
  // Readings recorded while the file was written are not in it: they stay unsaved.
  m_display.setUnsaved(m_display.list().size() != count);
  if (savedHook) savedHook(path, count);
  return true;
}

namespace {
// While a long write runs, the gauge and Cancel show (after 0.3 s) and only Cancel takes input.
class WriteGauge {
 public:
  WriteGauge(QWidget& panel, QProgressBar& gauge, QPushButton& cancel, QWidget& window, const Translator& tr)
      : m_panel(panel), m_gauge(gauge), m_cancel(cancel), m_window(window), m_tr(tr) {
    m_clock.start();
  }
  ~WriteGauge() {
    m_panel.hide();
    m_cancel.hide();
  }
  void step(double fraction) {
    if (!m_shown && m_clock.elapsed() >= 300) {
      m_shown = true;
      m_gauge.setRange(0, 1000);
      m_cancel.setText(qs(m_tr.dialogWord("Cancel")));
      m_panel.show();
      m_panel.raise();
      m_cancel.show();
      m_cancel.raise();
    }
    if (m_shown) m_gauge.setValue(static_cast<int>(1000.0 * std::clamp(fraction, 0.0, 1.0)));
  }

 private:
  QWidget& m_panel;
  QProgressBar& m_gauge;
  QPushButton& m_cancel;
  QWidget& m_window;
  const Translator& m_tr;
  QElapsedTimer m_clock;
  bool m_shown = false;
};
}  // namespace

std::vector<DataFileActions::WritePart> DataFileActions::allParts(std::optional<std::pair<double, double>> between) const {
  std::vector<WritePart> parts;
  const auto add = [&](std::string name, const MeasurementSeries& s, const ReadingList& l) {
    std::size_t first = 0, last = s.size();
    if (between) {
      first = s.lowerBound(between->first);
      last = std::max(first, s.upperBound(between->second));
    }
    parts.push_back({std::move(name), &s, &l, first, last});
  };
  add(firstName ? firstName() : std::string(), m_display.series(), m_display.list());
  if (otherChannels)
    for (const auto& c : otherChannels()) add(c.name, *c.series, *c.list);
  return parts;
}

bool DataFileActions::writeInBackground(const QString& path, const std::vector<WritePart>& parts, bool csv,
                                        bool& cancelled) {
  // Row k of the whole write: part p, its index i.
  std::vector<std::size_t> starts;
  std::size_t total = 0;
  for (const auto& p : parts) {
    starts.push_back(total);
    total += p.last - p.first;
  }
  const auto locate = [&](std::size_t k) {
    std::size_t p = static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), k) - starts.begin()) - 1;
    while (p + 1 < parts.size() && k >= starts[p + 1]) ++p;
    return std::pair{p, parts[p].first + (k - starts[p])};
  };
  const bool named = csv && parts.size() > 1;
  std::vector<std::string> names;
  for (const auto& p : parts) names.push_back(p.name);
  BackgroundWrite::Produce produce;
  BackgroundWrite::Format format;
  std::string header;
  if (csv) {
    if (named)
      appendCsvChannelHeader(header);
    else
      appendCsvHeader(header);
    produce = [&](std::size_t a, std::size_t b, WritePiece& piece) {
      for (std::size_t k = a; k < b; ++k) {
        const auto [p, i] = locate(k);
        const MeasurementSeries& s = *parts[p].series;
        piece.x.push_back(s.x(i));
        piece.y.push_back(s.y(i));
        piece.resistance.push_back(s.resistance(i));
        piece.utcMs.push_back(s.utcMs(i));
        piece.channel.push_back(static_cast<std::uint16_t>(p));
      }
    };
    format = [named, names](const WritePiece& p, std::string& out) {
      for (std::size_t i = 0; i < p.x.size(); ++i) {
        if (named)
          appendCsvChannelRow(out, names[p.channel[i]], p.x[i], p.y[i], p.resistance[i], p.utcMs[i]);
        else
          appendCsvRow(out, p.x[i], p.y[i], p.resistance[i], p.utcMs[i]);
      }
    };
  } else {
    produce = [&](std::size_t a, std::size_t b, WritePiece& piece) {
      for (std::size_t k = a; k < b; ++k) {
        const auto [p, i] = locate(k);
        piece.text.append(parts[p].list->line(i));
        piece.text.append("\r\n");
      }
    };
    format = [](const WritePiece& p, std::string& out) { out.append(p.text); };
  }
  const std::size_t first = 0, last = total;
  m_cancel = false;
  m_loading = true;
  WriteOutcome outcome;
  {
    CancelOnlyInput onlyCancel(m_cancelButton, m_window);
    WriteGauge gauge(m_gaugePanel, m_gauge, m_cancelButton, m_window, m_tr);
    outcome = BackgroundWrite::run(path.toStdString(), last - first, header, produce, format, [&](double fraction) {
      gauge.step(fraction);
      if (writeProgressHook) writeProgressHook(fraction);
      return !m_cancel;
    });
  }
  m_loading = false;
  cancelled = outcome.cancelled;
  if (!outcome.ok && !outcome.cancelled)
    reportError(qs(m_tr.text("msgCannotWrite")).arg(QDir::toNativeSeparators(path), qs(outcome.error)));
  return outcome.ok;
}

bool DataFileActions::confirmDiscard() {
  if (!m_display.unsaved()) return true;
  const int answer = ask(qs(m_tr.text("msgUnsaved")), qs(m_tr.dialogWord("Yes")), qs(m_tr.dialogWord("No")),
                         qs(m_tr.dialogWord("Cancel")));
  if (answer == 0) return miSaveClick();
  return answer == 1;
}

bool DataFileActions::confirmRemove(const QString& instrument, bool hasReadings) {
  if (!hasReadings || !m_display.unsaved()) return true;
  const int answer = ask(qs(m_tr.text("msgRemoveUnsaved")).arg(instrument), qs(m_tr.text("inSaveFirst")),
                         qs(m_tr.text("inRemoveAnyway")), qs(m_tr.text("wCancel")));
  if (answer == 0) return miSaveClick();
  return answer == 1;
}

int DataFileActions::ask(const QString& text, const QString& saveWord, const QString& discardWord, const QString& cancelWord) {
  if (questionHook) return questionHook(text);
  return askQuestion(dialogParent(&m_window), QMessageBox::Question, qs(m_tr.dialogWord("Confirm")), text,
                     {{saveWord, QMessageBox::YesRole}, {discardWord, QMessageBox::NoRole}, {cancelWord, QMessageBox::RejectRole}}, 0, 2);
}

bool DataFileActions::exportCsv(std::size_t first, std::size_t last) {
  QString path = fileDialog(true, qs(m_tr.text("msgExportCsvTitle")), startFolder("Data"),
                            "D_" + QDate::currentDate().toString("dd_MM_yyyy") + ".csv", true);
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += ".csv";
  const auto& series = m_display.series();
  last = std::min(last, series.size());
  first = std::min(first, last);
  bool cancelled = false;
  std::vector<WritePart> parts = allParts(std::nullopt);
  parts.front().first = first;
  parts.front().last = last;
  if (parts.size() > 1) {
    // Several instruments: each with the readings of the same stretch of time.
    const double from = first < last ? series.x(first) : 0, to = first < last ? series.x(last - 1) : -1;
    parts = allParts(std::pair{from, to});
  }
  std::size_t rows = 0;
  for (const auto& p : parts) rows += p.last - p.first;
  if (!writeInBackground(path, parts, true, cancelled)) return false;
  // Where it went and how much.
  if (message)
    message(MessageKind::Information, qs(m_tr.plural("msgExported", static_cast<long long>(rows)))
                                          .arg(rows)
                                          .arg(QDir::toNativeSeparators(path)));
  return true;
}

void DataFileActions::miOpenClick() {
  if (!confirmDiscard()) return;
  const QString path = fileDialog(false, qs(m_tr.lookup(mainWindowTable(), Section::OtherStrings, "OpenDialog.Title")),
                                  startFolder("Data"), QString());
  if (path.isEmpty()) return;
  loadDataFile(path);
}


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
    reportError(qs(m_tr.text("msgCannotOpen")).arg(QDir::toNativeSeparators(path), file.errorString()));
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
  // Several instruments in the file: the further ones come back as channels of their names.
  if (openedChannels && (loader.hasChannels() || (otherChannels && !otherChannels().empty())))
    openedChannels(loader.firstChannelName(), loader.takeChannels());
  if (loadedHook) loadedHook(path);
  return true;
}

}  // namespace velmora
