// The recording journal as the window keeps it: what a crash leaves behind is offered at the
// next start and restored exactly; an open, a save and a Clear start it afresh; a normal
// end removes it; another running program's journal is never taken.
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "common/number_text.h"
#include "display/reading_list_view.h"
#include "calibration/calibration_window.h"

using namespace velmora;

namespace {

struct JournalFixture : ::testing::Test {
  QTemporaryDir dir;
  MemorySettingsBackend store;
  QStringList messages;
  int questions = 0;
  JournalKeeper::Choice answer = JournalKeeper::Choice::Restore;
  bool confirmDiscard = true;
  QString lastQuestion;
  QString inFolder(const QString& name) const { return QDir(JournalKeeper::journalFolder()).filePath(name); }

  QByteArray previous = qgetenv("VELMORA_JOURNAL_DIR");
  void SetUp() override { qputenv("VELMORA_JOURNAL_DIR", dir.filePath("journal").toLocal8Bit()); }
  void TearDown() override { qputenv("VELMORA_JOURNAL_DIR", previous); }
  std::unique_ptr<TfmMain> window() {
    auto w = std::make_unique<TfmMain>(store, MainWindowOptions::with(false, 1033));
    w->messageHook = [this](MessageKind, const QString& t) { messages.push_back(t); };
    w->files().questionHook = [](const QString&) { return 1; };
    w->journal().restoreQuestionHook = [this](const QString& text) {
      ++questions;
      lastQuestion = text;
      return answer;
    };
    w->journal().confirmDiscardHook = [this](const QString&) { return confirmDiscard; };
    return w;
  }
  // What a program killed now leaves: its journal, no longer locked, under another name.
  void crash(std::unique_ptr<TfmMain>& w, const char* as = "journal-999991.txt") {
    const QString path = w->journal().journalPath();
    w.reset();  // no normal close
    ASSERT_TRUE(QFile::rename(path, QDir(JournalKeeper::journalFolder()).filePath(as)));
  }
  static std::vector<std::string> lines(const ReadingList& l) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < l.size(); ++i) out.emplace_back(l.line(i));
    return out;
  }
};

}  // namespace

TEST_F(JournalFixture, ACrashedRecordingIsRestoredExactly) {
  auto w = window();
  for (int i = 0; i < 50; ++i) w->AddPoint((i + 0.123) / 3.0 / 86400.0, 21.0 + i / 7.0);
  const std::vector<double> xs = w->display().series().xs(), ys = w->display().series().ys();
  const auto shown = lines(w->display().list());
  crash(w);
  auto again = window();
  ASSERT_TRUE(again->journal().offerRestore());
  EXPECT_EQ(questions, 1);
  EXPECT_EQ(again->display().series().xs(), xs);  // same times and values, bit for bit
  EXPECT_EQ(again->display().series().ys(), ys);
  EXPECT_EQ(lines(again->display().list()), shown);
  EXPECT_TRUE(again->display().unsaved());
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], "50 readings restored.");
  EXPECT_FALSE(QFile::exists(QDir(JournalKeeper::journalFolder()).filePath("journal-999991.txt")));
  // The restored readings are in this program's journal now: a second crash keeps them.
  again->AddPoint(60 / 86400.0, 30);
  crash(again, "journal-999992.txt");
  auto third = window();
  ASSERT_TRUE(third->journal().offerRestore());
  EXPECT_EQ(third->display().series().size(), 51u);
}

TEST_F(JournalFixture, OpenedAndSavedFilesAreTheJournalsStartingPoint) {
  QTemporaryDir data;
  auto w = window();
  for (int i = 0; i < 10; ++i) w->AddPoint(i / 1440.0, 20 + i);
  const QString saved = data.filePath("run.vmd");
  w->files().fileDialogHook = [&](bool, const QString&, const QString&, const QString&) { return saved; };
  ASSERT_TRUE(w->miSaveClick());
  w->AddPoint(11 / 1440.0, 31);  // added since the save
  crash(w);
  auto again = window();
  ASSERT_TRUE(again->journal().offerRestore());
  ASSERT_EQ(again->display().series().size(), 11u);
  EXPECT_EQ(again->display().series().y(10), 31);
  EXPECT_EQ(again->display().list().line(0), "0.00 20.00");
  // A file that changed since cannot be the base: the readings after it still come back.
  QFile f(saved);
  ASSERT_TRUE(f.open(QIODevice::Append));
  f.write("99.00 99.00\r\n");
  f.close();
  crash(again, "journal-999993.txt");
  messages.clear();
  auto third = window();
  ASSERT_TRUE(third->journal().offerRestore());
  EXPECT_EQ(third->display().series().size(), 1u);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains("could not be read"));
}

TEST_F(JournalFixture, NotNowKeepsTheJournalDiscardAsksAgainClearAndANormalEndRemoveIt) {
  auto w = window();
  w->AddPoint(1 / 1440.0, 20);
  w->AddPoint(2 / 1440.0, 21);
  crash(w);
  const QString left = inFolder("journal-999991.txt");
  // Escape or closing the question: not now. The journal stays and is offered next time.
  answer = JournalKeeper::Choice::Later;
  auto again = window();
  EXPECT_FALSE(again->journal().offerRestore());
  EXPECT_TRUE(QFile::exists(left));
  EXPECT_TRUE(lastQuestion.contains("(2 recorded)")) << lastQuestion.toStdString();
  // Discard asks once more; "no" keeps it, "yes" deletes it.
  answer = JournalKeeper::Choice::Discard;
  confirmDiscard = false;
  EXPECT_FALSE(again->journal().offerRestore());
  EXPECT_TRUE(QFile::exists(left));
  confirmDiscard = true;
  EXPECT_FALSE(again->journal().offerRestore());
  EXPECT_FALSE(QFile::exists(left));
  EXPECT_EQ(questions, 3);
  EXPECT_EQ(again->display().series().size(), 0u);
  // Clear: the journal goes with the readings.
  again->AddPoint(1 / 1440.0, 20);
  const QString path = again->journal().journalPath();
  again->journal().cleared();
  EXPECT_FALSE(QFile::exists(path));
  again->AddPoint(2 / 1440.0, 20);
  QCoreApplication::processEvents();
  again->close();  // a normal end (the unsaved readings are discarded)
  EXPECT_FALSE(QFile::exists(path));
}

TEST_F(JournalFixture, UnreadableEmptyAndStaleLeftoversAreHandledWithoutLosingAnything) {
  auto w = window();
  QDir().mkpath(JournalKeeper::journalFolder());
  // Not a journal: kept aside under another name, and the user is told where.
  QFile bad(inFolder("journal-999995.txt"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("garbage that is not a journal\n");
  bad.close();
  // A journal holding only its data file and no reading: nothing to offer, removed.
  QFile base(inFolder("journal-999996.txt"));
  ASSERT_TRUE(base.open(QIODevice::WriteOnly));
  base.write("VELMORA JOURNAL 1\nB 10 /somewhere/run.vmd\n");
  base.close();
  // Locks of programs that are gone and left no journal: removed.
  for (const char* name : {"journal-999997.lock", "journal-999998.lock"}) {
    QFile lock(inFolder(name));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write("999997\nvelmora\n\n");
    lock.close();
  }
  EXPECT_FALSE(w->journal().offerRestore());
  EXPECT_EQ(questions, 0);
  EXPECT_FALSE(QFile::exists(inFolder("journal-999995.txt")));
  const QStringList aside = QDir(JournalKeeper::journalFolder()).entryList({"unreadable-journal-999995-*.txt"});
  ASSERT_EQ(aside.size(), 1);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains(aside[0])) << messages[0].toStdString();
  EXPECT_FALSE(QFile::exists(inFolder("journal-999996.txt")));
  EXPECT_FALSE(QFile::exists(inFolder("journal-999997.lock")));
  EXPECT_FALSE(QFile::exists(inFolder("journal-999998.lock")));
  EXPECT_TRUE(QFile::exists(inFolder(QFileInfo(w->journal().journalPath()).completeBaseName() + ".lock")));
}

TEST_F(JournalFixture, AJournalLeftUnderThisProgramsOwnProcessIdIsOfferedNotOverwritten) {
  // After a restart, process ids repeat: a crashed program may have had this one's.
  const QString own = QDir(dir.filePath("journal")).filePath(QString("journal-%1.txt").arg(QCoreApplication::applicationPid()));
  QDir().mkpath(dir.filePath("journal"));
  QFile f(own);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("VELMORA JOURNAL 1\nR 0.001 20.5 1.44 20.50\n");
  f.close();
  auto w = window();
  w->AddPoint(1 / 1440.0, 30);  // this program's own journal starts
  EXPECT_TRUE(w->journal().offerRestore());
  ASSERT_EQ(w->display().series().size(), 1u);
  EXPECT_EQ(w->display().series().y(0), 20.5);
}

TEST_F(JournalFixture, CalibrationTablesNotStoredAreKeptOfferedAfterACrashAndAskedAboutAtExit) {
  auto w = window();
  TfmCalibr* c = w->calibrationWindow();
  c->setDataCell(2, 1, "100.0");
  c->setDataCell(3, 1, "0.01");
  const QString kept = w->journal().tableJournalPath();
  ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(kept); }, 5000));  // kept at once, not at exit
  w.reset();  // killed: nothing asked, the file stays
  ASSERT_TRUE(QFile::rename(kept, inFolder("journal-999994.clb")));
  auto again = window();
  EXPECT_FALSE(again->journal().offerRestore());  // no readings, but the tables
  TfmCalibr* c2 = again->calibrationWindow();
  EXPECT_EQ(c2->dataCell(2, 1), "100.0");
  EXPECT_EQ(c2->dataCell(3, 1), "0.01");
  EXPECT_TRUE(c2->tablesChanged());  // still not stored
  EXPECT_FALSE(QFile::exists(inFolder("journal-999994.clb")));
  // At exit: Cancel keeps the window; Discard ends it and the kept tables go.
  std::vector<int> answers{2, 1};
  c2->tablesQuestionHook = [&](const QString& text) {
    EXPECT_TRUE(text.contains("not stored"));
    const int a = answers.front();
    answers.erase(answers.begin());
    return a;
  };
  again->show();
  again->close();
  EXPECT_TRUE(again->isVisible());
  again->close();
  EXPECT_FALSE(again->isVisible());
  EXPECT_FALSE(QFile::exists(again->journal().tableJournalPath()));
}

TEST_F(JournalFixture, AnotherRunningProgramsJournalIsLeftAlone) {
  auto w = window();
  w->AddPoint(1 / 1440.0, 20);
  crash(w, "journal-424242.txt");
  // Its lock is held, as by a program that still runs.
  QLockFile live(QDir(JournalKeeper::journalFolder()).filePath("journal-424242.lock"));
  ASSERT_TRUE(live.tryLock(0));
  auto again = window();
  EXPECT_FALSE(again->journal().offerRestore());
  EXPECT_EQ(questions, 0);
  EXPECT_TRUE(QFile::exists(QDir(JournalKeeper::journalFolder()).filePath("journal-424242.txt")));
  live.unlock();
  EXPECT_TRUE(again->journal().offerRestore());
}

TEST_F(JournalFixture, AFolderThatCannotBeWrittenIsShownAndRecordingGoesOn) {
  qputenv("VELMORA_JOURNAL_DIR", "/dev/null/journal");  // no folder can be made there
  auto w = window();
  w->AddPoint(1 / 1440.0, 20);
  w->AddPoint(2 / 1440.0, 21);
  auto* label = w->findChild<QLabel*>("StatusJournal");
  ASSERT_NE(label, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !label->text().isEmpty(); }, 5000));
  EXPECT_EQ(label->text(), "The recording journal is not being written");
  EXPECT_EQ(w->display().series().size(), 2u);
}

#ifdef __linux__
#include <QProcess>
#include <csignal>

#include "files/journal.h"
#include "pty_front_end.h"

TEST(JournalEndToEnd, AKilledRecordingLeavesEveryReadingButTheLastMoment) {
  QTemporaryDir journals;
  sim::PtyThermometer thermometer{5};
  ASSERT_TRUE(thermometer.start());
  QProcess recorder;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("VELMORA_JOURNAL_DIR", journals.path());
  recorder.setProcessEnvironment(env);
  recorder.start(VELMORA_JOURNAL_RECORDER, {QString::fromStdString(thermometer.devicePath())});
  ASSERT_TRUE(recorder.waitForStarted(5000));
  QByteArray printed;
  // About ten seconds of recording at two readings a second.
  ASSERT_TRUE(QTest::qWaitFor([&] {
    printed += recorder.readAllStandardOutput();
    return printed.count('\n') >= 20;
  }, 60000));
  const qint64 pid = recorder.processId();
  const QString journalPath = QDir(journals.path()).filePath(QString("journal-%1.txt").arg(pid));
  const auto onDisk = [&] {
    QFile f(journalPath);
    if (!f.open(QIODevice::ReadOnly)) return std::size_t{0};
    const QByteArray t = f.readAll();
    return readJournal(std::string_view(t.constData(), static_cast<std::size_t>(t.size()))).readings.size();
  };
  // The kill comes once the journal has been handed at least the first 20 readings (within
  // a quarter of a second on a quiet machine; a busy one may take longer).
  ASSERT_TRUE(QTest::qWaitFor([&] { return onDisk() >= 20; }, 30000));
  const std::size_t handedOver = onDisk();
  ::kill(static_cast<pid_t>(pid), SIGKILL);
  recorder.waitForFinished(5000);
  printed += recorder.readAllStandardOutput();
  thermometer.stop();

  QFile file(journalPath);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  const JournalContents c = readJournal(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
  ASSERT_TRUE(c.valid);
  const QList<QByteArray> rows = printed.trimmed().split('\n');
  // The journal holds the recorded readings in order, equal in value and time: everything it
  // had been handed before the kill survived it.
  // (A reading recorded in the last moment may be in the journal and not yet printed.)
  EXPECT_GE(c.readings.size(), handedOver);
  EXPECT_LE(c.readings.size(), static_cast<std::size_t>(rows.size()) + 2);
  const std::size_t both = std::min(c.readings.size(), static_cast<std::size_t>(rows.size()));
  for (std::size_t i = 0; i < both; ++i) {
    const QList<QByteArray> xy = rows[static_cast<qsizetype>(i)].split(' ');
    ASSERT_EQ(xy.size(), 2);
    EXPECT_EQ(c.readings[i].x, *parseNumber(xy[0].toStdString())) << i;
    EXPECT_EQ(c.readings[i].y, *parseNumber(xy[1].toStdString())) << i;
  }
}
#endif

// A restored journal brings no instrument twice: the instrument remembered on the same port
// (renamed since) takes its readings back, whatever its name now.
TEST_F(JournalFixture, ARestoreBringsBackNoDuplicateInstrument) {
  auto w = window();
  Channel* demo = w->addInstrument("DEMO2", "probe X");
  ASSERT_NE(demo, nullptr);
  w->AddPoint(1 / 1440.0, 21.0);
  w->journal().recordedOn(demo->number(), 1 / 1440.0, 22.0, "22.0", 110.0, 1'790'000'000'000);
  crash(w);
  auto again = window();
  Channel* back = again->addInstrument("DEMO2", "probe Y");  // remembered, renamed since
  ASSERT_NE(back, nullptr);
  ASSERT_TRUE(again->journal().offerRestore());
  ASSERT_EQ(again->channels().size(), 2u);
  EXPECT_EQ(again->channels().at(1).series().size(), 1u);
  EXPECT_EQ(again->channels().at(1).series().y(0), 22.0);
}
