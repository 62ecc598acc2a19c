#include "files/journal_keeper.h"

#include <QCoreApplication>
#include <QDateTime>
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
  m_lock->setStaleLockTime(0);
  if (!m_lock->tryLock(0)) {
    // A lock under this program's own process id was left by an earlier program that had
    // the same id (after a restart, ids repeat): no running program can hold it.
    m_lock->removeStaleLockFile();
    m_lock->tryLock(0);
  }
  // Likewise its journal and tables: kept under another name, to be offered like any other.
  for (const QString& suffix : {QStringLiteral(".txt"), QStringLiteral(".clb")}) {
    const QString own = QDir(m_folder).filePath(ownName() + suffix);
    if (QFileInfo::exists(own))
      QFile::rename(own, QDir(m_folder).filePath(ownName() + "-" + QDateTime::currentDateTime().toString("yyyyMMddhhmmss") +
                                                 suffix));
  }
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
QString JournalKeeper::tableJournalPath() const { return QDir(m_folder).filePath(ownName() + ".clb"); }

void JournalKeeper::startNew(const std::optional<JournalBase>& base) {
  m_writer->startNew(base);
  for (const auto& d : m_channels) m_writer->declareChannel(d.channel, d.port, d.name);
  m_started = true;
}

void JournalKeeper::channelAdded(int channel, const std::string& port, const std::string& name) {
  channelRemoved(channel);
  m_channels.push_back({channel, port, name});
  if (m_started) m_writer->declareChannel(channel, port, name);
}

void JournalKeeper::channelRemoved(int channel) {
  std::erase_if(m_channels, [channel](const Declared& d) { return d.channel == channel; });
}

void JournalKeeper::recordedOn(int channel, double x, double y, std::string_view line, double resistance,
                               std::int64_t utcMs) {
  if (!m_started) startNew(std::nullopt);
  m_writer->appendOn(channel, x, y, line, resistance, utcMs);
}

void JournalKeeper::recorded(double x, double y, double resistance, std::int64_t utcMs) {
  if (!m_started) startNew(std::nullopt);
  const ReadingList& list = m_display.list();
  m_writer->append(x, y, list.empty() ? std::string_view() : list.line(list.size() - 1), resistance, utcMs);
}

void JournalKeeper::rewrite(const std::vector<Held>& others) {
  startNew(std::nullopt);
  const MeasurementSeries& s = m_display.series();
  const ReadingList& l = m_display.list();
  for (std::size_t i = 0; i < s.size() && i < l.size(); ++i)
    m_writer->append(s.x(i), s.y(i), l.line(i), s.resistance(i), s.utcMs(i));
  for (const auto& h : others)
    for (std::size_t i = 0; i < h.series->size() && i < h.list->size(); ++i)
      m_writer->appendOn(h.channel, h.series->x(i), h.series->y(i), h.list->line(i), h.series->resistance(i),
                         h.series->utcMs(i));
}

void JournalKeeper::loaded(const QString& path) {
  if (!m_channels.empty()) return;  // several instruments: the window rewrites the journal
  startNew(JournalBase{QFileInfo(path).absoluteFilePath().toStdString(), static_cast<std::uint64_t>(QFileInfo(path).size())});
}

void JournalKeeper::saved(const QString& path, std::size_t readings) {
  // With several instruments the journal goes on as it is (it holds every instrument's
  // readings since the start; a data file holds one).
  if (!m_channels.empty()) return;
  loaded(path);
  const MeasurementSeries& s = m_display.series();
  const ReadingList& list = m_display.list();
  for (std::size_t i = readings; i < s.size() && i < list.size(); ++i)
    m_writer->append(s.x(i), s.y(i), list.line(i), s.resistance(i), s.utcMs(i));
}

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
  for (const auto& ch : c.channels) restored += static_cast<int>(ch.readings.size());
  damaged = c.damaged;
  if (restored == 0) return false;
  m_display.replaceAll(std::move(list), std::move(series));
  m_display.setUnsaved(true);
  // The further instruments come back as channels (registered here again by the window).
  for (const auto& ch : c.channels)
    if (restoreChannel) restoreChannel(ch);
  // This program's journal takes over what was restored.
  startNew(base);
  for (const auto& r : c.readings) m_writer->append(r.x, r.y, r.line, r.resistance, r.utcMs);
  for (const auto& ch : c.channels)
    for (const auto& d : m_channels)
      if (ch.port.empty() ? d.port.empty() && d.name == ch.name : d.port == ch.port)
        for (const auto& r : ch.readings) m_writer->appendOn(d.channel, r.x, r.y, r.line, r.resistance, r.utcMs);
  return true;
}

void JournalKeeper::tell(MessageKind kind, const QString& text) {
  if (messageHook)
    messageHook(kind, text);
  else
    showMessage(&m_window, m_tr, kind, text);
}

JournalKeeper::Choice JournalKeeper::ask(const QString& text) {
  if (restoreQuestionHook) return restoreQuestionHook(text);
  // Escape and the window's close button: not now.
  const int answer = askQuestion(dialogParent(&m_window), QMessageBox::Question, qs(m_tr.dialogWord("Confirm")), text,
                                 {{qs(m_tr.text("msgRestore")), QMessageBox::AcceptRole},
                                  {qs(m_tr.text("msgDiscard")), QMessageBox::DestructiveRole},
                                  {qs(m_tr.text("msgNotNow")), QMessageBox::RejectRole}},
                                 0, 2);
  return answer == 0 ? Choice::Restore : answer == 1 ? Choice::Discard : Choice::Later;
}

bool JournalKeeper::confirmDiscard(std::size_t readings) {
  const QString text = readings == 0 ? qs(m_tr.text("msgTablesDiscardConfirm"))
                                     : qs(m_tr.plural("msgDiscardConfirm", static_cast<long long>(readings))).arg(readings);
  if (confirmDiscardHook) return confirmDiscardHook(text);
  return askQuestion(dialogParent(&m_window), QMessageBox::Warning, qs(m_tr.dialogWord("Confirm")), text,
                     {{qs(m_tr.text("msgDiscard")), QMessageBox::DestructiveRole}, {qs(m_tr.dialogWord("Cancel")), QMessageBox::RejectRole}},
                     1, 1) == 0;
}

// A journal that cannot be read is never deleted: it is renamed so that it is not offered
// again, and stays for a person to look at.
void JournalKeeper::keepAside(const QFileInfo& info) {
  const QString aside = QDir(m_folder).filePath("unreadable-" + info.completeBaseName() + "-" +
                                                QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss") + "." +
                                                info.suffix());
  const bool moved = QFile::rename(info.filePath(), aside);
  tell(MessageKind::Warning, qs(m_tr.text("msgJournalUnreadable")).arg(QDir::toNativeSeparators(moved ? aside : info.filePath())));
}

// The lock of a program that is gone is removed when it holds no journal (one that holds a
// journal goes when the journal is handled).
void JournalKeeper::removeStaleLocks() {
  QDir dir(m_folder);
  for (const QFileInfo& info : dir.entryInfoList({"journal-*.lock"}, QDir::Files)) {
    if (info.completeBaseName() == ownName()) continue;
    if (QFileInfo::exists(dir.filePath(info.completeBaseName() + ".txt")) ||
        QFileInfo::exists(dir.filePath(info.completeBaseName() + ".clb")))
      continue;
    QLockFile lock(info.filePath());
    lock.setStaleLockTime(0);  // only a program that is gone leaves a stale lock
    if (lock.tryLock(0)) lock.unlock();  // unlocking removes the file
  }
}

// Calibration tables with changes that were not stored, left by a program that did not close
// normally: offered like a journal (restore, discard after a second question, or not now).
void JournalKeeper::offerTables() {
  QDir dir(m_folder);
  for (const QFileInfo& info : dir.entryInfoList({"journal-*.clb"}, QDir::Files, QDir::Time)) {
    if (info.completeBaseName() == ownName() || !restoreTables) continue;
    QLockFile lock(dir.filePath(info.completeBaseName() + ".lock"));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0)) continue;
    QFile file(info.filePath());
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    file.close();
    const Choice choice = ask(qs(m_tr.text("msgTablesFound")));
    if (choice == Choice::Later) continue;
    if (choice == Choice::Discard) {
      if (confirmDiscard(0)) QFile::remove(info.filePath());
      continue;
    }
    if (restoreTables(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))))
      QFile::remove(info.filePath());  // this program keeps them now
    else
      keepAside(info);
    return;  // one set of tables at a time
  }
}

bool JournalKeeper::offerRestore() {
  removeStaleLocks();
  offerTables();
  QDir dir(m_folder);
  const QFileInfoList journals = dir.entryInfoList({"journal-*.txt"}, QDir::Files, QDir::Time);
  for (const QFileInfo& info : journals) {
    if (info.completeBaseName() == ownName()) continue;
    QLockFile lock(dir.filePath(info.completeBaseName() + ".lock"));
    lock.setStaleLockTime(0);  // a program that still runs keeps its journal however long it runs
    if (!lock.tryLock(0)) continue;
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly)) {
      keepAside(info);
      continue;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    const JournalContents c = readJournal(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (!c.valid) {
      keepAside(info);
      continue;
    }
    std::size_t further = 0;
    for (const auto& ch : c.channels) further += ch.readings.size();
    if (c.readings.empty() && further == 0) {
      // Nothing was recorded after its data file (or at all): nothing to restore.
      QFile::remove(info.filePath());
      continue;
    }
    const std::size_t count = c.readings.size() + further;
    const Choice choice = ask(qs(m_tr.plural("msgJournalFound", static_cast<long long>(count))).arg(count));
    if (choice == Choice::Later) continue;
    if (choice == Choice::Discard) {
      if (confirmDiscard(count)) QFile::remove(info.filePath());
      continue;
    }
    int restored = 0;
    bool damaged = false, baseMissing = false;
    if (!restoreFrom(c, restored, damaged, baseMissing)) {
      tell(MessageKind::Error, qs(m_tr.text("msgJournalNotRestored")).arg(QDir::toNativeSeparators(info.filePath())));
      continue;
    }
    QFile::remove(info.filePath());  // its readings are in this program's journal now
    QString report = qs(m_tr.plural("msgJournalRestored", restored)).arg(restored);
    if (damaged) report += "\r" + qs(m_tr.text("msgJournalDamaged"));
    if (baseMissing) report += "\r" + qs(m_tr.text("msgJournalBaseMissing"));
    tell(MessageKind::Information, report);
    return true;
  }
  return false;
}

}  // namespace velmora
