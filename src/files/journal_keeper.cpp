#include "files/journal_keeper.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QWidget>

#include "display/measurement_display.h"
#include "files/data_file.h"

namespace velmora {

namespace {
QString ownName() { return QString("journal-%1").arg(QCoreApplication::applicationPid()); }
QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
}  // namespace

QString JournalKeeper::journalFolder() {
  const QByteArray env = qgetenv("VELMORA_JOURNAL_DIR");
  if (!env.isEmpty()) return QString::fromLocal8Bit(env);
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/KORVAN/Velmora/journal";
}

JournalKeeper::JournalKeeper(QWidget& window, const Translator& tr, MeasurementDisplay& display)
    : m_window(window), m_tr(tr), m_display(display), m_folder(journalFolder()) {
  QDir().mkpath(m_folder);
  m_lock = std::make_unique<QLockFile>(QDir(m_folder).filePath(ownName() + ".lock"));
  m_lock->tryLock(0);
  m_writer = std::make_unique<JournalWriter>(journalPath().toStdString());
  m_check.setInterval(1000);
  QObject::connect(&m_check, &QTimer::timeout, &m_check, [this] {
    if (failingChanged) failingChanged(failing());
  });
  m_check.start();
}

JournalKeeper::~JournalKeeper() {
  m_writer.reset();  // what was recorded is written out; the file stays unless closed normally
  if (m_lock) m_lock->unlock();
}

QString JournalKeeper::journalPath() const { return QDir(m_folder).filePath(ownName() + ".txt"); }

void JournalKeeper::startNew(const std::optional<JournalBase>& base) {
  m_writer->startNew(base);
  m_started = true;
}

void JournalKeeper::recorded(double x, double y, double resistance, std::int64_t utcMs) {
  if (!m_started) startNew(std::nullopt);
  const ReadingList& list = m_display.list();
  m_writer->append(x, y, list.empty() ? std::string_view() : list.line(list.size() - 1), resistance, utcMs);
}

void JournalKeeper::loaded(const QString& path) {
  startNew(JournalBase{QFileInfo(path).absoluteFilePath().toStdString(), static_cast<std::uint64_t>(QFileInfo(path).size())});
}

void JournalKeeper::saved(const QString& path) { loaded(path); }

void JournalKeeper::cleared() {
  m_writer->remove();
  m_started = false;
}

void JournalKeeper::closeNormally() { cleared(); }

bool JournalKeeper::restoreFrom(const JournalContents& c, int& restored, bool& damaged, bool& baseMissing) {
  if (!c.valid) return false;
  ReadingList list;
  MeasurementSeries series;
  std::optional<JournalBase> base = c.base;
  if (base) {
    const QString file = QString::fromStdString(base->path);
    const QByteArray data = readAll(file);
    ReadingList baseList;
    MeasurementSeries baseSeries;
    if (QFileInfo(file).size() == static_cast<qint64>(base->bytes) &&
        parseDataFile(std::string_view(data.constData(), static_cast<std::size_t>(data.size())), baseList, baseSeries).ok) {
      list = std::move(baseList);
      series = std::move(baseSeries);
    } else {
      baseMissing = true;
      base.reset();
    }
  }
  list.reserve(list.size() + c.readings.size(), 0);
  series.reserve(series.size() + c.readings.size());
  for (const auto& r : c.readings) {
    list.append(r.line);
    series.add(r.x, r.y, r.resistance, r.utcMs);
  }
  restored = static_cast<int>(list.size());
  damaged = c.damaged;
  if (list.empty()) return false;
  m_display.replaceAll(std::move(list), std::move(series));
  m_display.setUnsaved(true);
  // This program's journal takes over what was restored.
  startNew(base);
  for (const auto& r : c.readings) m_writer->append(r.x, r.y, r.line, r.resistance, r.utcMs);
  return true;
}

bool JournalKeeper::offerRestore() {
  QDir dir(m_folder);
  const QFileInfoList journals = dir.entryInfoList({"journal-*.txt"}, QDir::Files, QDir::Time);
  for (const QFileInfo& info : journals) {
    if (info.completeBaseName() == ownName()) continue;
    QLockFile lock(dir.filePath(info.completeBaseName() + ".lock"));
    if (!lock.tryLock(0)) continue;  // its program is still running
    const QByteArray bytes = readAll(info.filePath());
    const JournalContents c = readJournal(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    bool restore = false;
    if (c.valid && (c.base || !c.readings.empty())) {
      const QString text = qs(m_tr.text("msgJournalFound")).arg(c.readings.size());
      if (restoreQuestionHook) {
        restore = restoreQuestionHook(text);
      } else {
        QMessageBox box(QMessageBox::Question, qs(m_tr.dialogWord("Confirm")), text, QMessageBox::NoButton, &m_window);
        auto* yes = box.addButton(qs(m_tr.text("msgRestore")), QMessageBox::AcceptRole);
        box.addButton(qs(m_tr.text("msgDiscard")), QMessageBox::RejectRole);
        box.setDefaultButton(yes);
        box.exec();
        restore = box.clickedButton() == yes;
      }
    }
    int restored = 0;
    bool damaged = false, baseMissing = false;
    const bool done = restore && restoreFrom(c, restored, damaged, baseMissing);
    QFile::remove(info.filePath());
    lock.unlock();
    if (done) {
      QString report = qs(m_tr.text("msgJournalRestored")).arg(restored);
      if (damaged) report += "\r" + qs(m_tr.text("msgJournalDamaged"));
      if (baseMissing) report += "\r" + qs(m_tr.text("msgJournalBaseMissing"));
      if (messageHook)
        messageHook(MessageKind::Information, report);
      else
        showMessage(&m_window, m_tr, MessageKind::Information, report);
      return true;
    }
  }
  return false;
}

}  // namespace velmora
