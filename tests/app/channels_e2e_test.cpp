// Several instruments in one program: three simulators on pseudo-terminals recorded together
// on one clock, saved as one CSV and reopened as the same channels bit for bit; an instrument
// that vanishes leaves the others recording; a killed three-instrument recording comes back
// whole from its journal; the instruments are remembered.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/instruments_panel.h"
#include "app/main_window.h"
#include "calibration/calibration_window.h"
#include "display/readout_label.h"
#include "device/serial_port.h"
#include "files/journal.h"
#include "display/reading_list_view.h"
#include "pty_front_end.h"

using namespace velmora;

namespace {
struct ThreeInstruments : ::testing::Test {
  std::vector<std::unique_ptr<sim::PtyThermometer>> sims;
  MemorySettingsBackend store;
  std::unique_ptr<TfmMain> w;
  QStringList messages;

  void SetUp() override {
    auto bath = std::make_shared<sim::Bath>();
    for (int k = 1; k <= 3; ++k) {
      sims.push_back(std::make_unique<sim::PtyThermometer>(static_cast<std::uint32_t>(k)));
      sims.back()->withModel([&](sim::ThermometerModel& m) { sim::placeInBath(m, bath, k); });
      ASSERT_TRUE(sims.back()->start());
    }
    w = window();
    w->serialPort().setCommPort(sims[0]->devicePath());
    ASSERT_NE(w->addInstrument(sims[1]->devicePath(), "probe B"), nullptr);
    ASSERT_NE(w->addInstrument(sims[2]->devicePath(), "probe C"), nullptr);
  }
  void TearDown() override {
    w.reset();
    for (auto& s : sims) s->stop();
  }
  std::unique_ptr<TfmMain> window() {
    auto win = std::make_unique<TfmMain>(store, MainWindowOptions::with(false, 1033));
    win->messageHook = [this](MessageKind, const QString& t) { messages.push_back(t); };
    win->files().questionHook = [](const QString&) { return 1; };
    win->findChild<QSpinBox*>("seFlow")->setValue(120);
    return win;
  }
  void record(bool on) {
    w->findChild<QAction*>("miRecord")->setChecked(on);
    w->miRecordClick();
  }
  std::size_t readings(std::size_t channel) { return w->channels().at(channel).series().size(); }
};
}  // namespace

TEST_F(ThreeInstruments, RecordTogetherSaveAsOneCsvAndReopenAsTheSameChannels) {
  // Each added instrument was asked for its factors.
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->channels().at(1).factors() && w->channels().at(2).factors(); }, 15000));
  EXPECT_NEAR(w->channels().at(1).factors()->R0, 100.0, 1e-9);
  record(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return readings(0) >= 5 && readings(1) >= 5 && readings(2) >= 5; }, 30000));
  record(false);
  EXPECT_FALSE(w->channels().othersRecording());
  // One recording clock: the channels' readings interleave in elapsed time.
  for (std::size_t c = 1; c < 3; ++c)
    EXPECT_LT(std::fabs(w->channels().at(c).series().x(0) - w->channels().at(0).series().x(0)) * 86400, 2.0) << c;
  // The bath: every probe near 21 °C, each its own.
  for (std::size_t c = 0; c < 3; ++c) EXPECT_NEAR(w->channels().at(c).series().y(0), 21.0, 0.2) << c;
  QTemporaryDir dir;
  const QString path = dir.filePath("three.csv");
  w->files().fileDialogHook = [&](bool, const QString&, const QString&, const QString&) { return path; };
  ASSERT_TRUE(w->miSaveClick());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.readLine().startsWith("channel,time_utc,"));
  f.close();
  std::vector<MeasurementSeries> before;
  for (std::size_t c = 0; c < 3; ++c) before.push_back(w->channels().at(c).series());
  // Another window opens it: the same three channels, every value bit for bit.
  auto other = window();
  other->files().fileDialogHook = w->files().fileDialogHook;
  other->miOpenClick();
  ASSERT_EQ(other->channels().size(), 3u);
  EXPECT_EQ(other->channels().at(0).name, "T1");
  EXPECT_EQ(other->channels().at(1).name, "probe B");
  EXPECT_EQ(other->channels().at(2).name, "probe C");
  // Values, resistances and clock times bit for bit; elapsed time as the file's six decimals
  // of a minute carry it.
  for (std::size_t c = 0; c < 3; ++c) {
    const MeasurementSeries& s = other->channels().at(c).series();
    ASSERT_EQ(s.size(), before[c].size()) << c;
    for (std::size_t i = 0; i < s.size(); ++i) {
      EXPECT_NEAR(s.x(i) * 1440, before[c].x(i) * 1440, 0.5e-6);
      EXPECT_EQ(s.y(i), before[c].y(i));
      EXPECT_EQ(s.resistance(i), before[c].resistance(i));
      EXPECT_EQ(s.utcMs(i), before[c].utcMs(i));
    }
  }
  // Saved again, the same bytes.
  const QString again = dir.filePath("again.csv");
  other->files().fileDialogHook = [&](bool, const QString&, const QString&, const QString&) { return again; };
  ASSERT_TRUE(other->miSaveClick());
  QFile a(path), b(again);
  ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
  EXPECT_EQ(a.readAll(), b.readAll());
  // The instruments panel shows them; selecting one shows its readings in the list.
  EXPECT_EQ(other->instruments()->table()->rowCount(), 3);
  other->channels().select(2);
  EXPECT_EQ(other->list()->rowCount(), other->channels().at(2).list().size());
}

TEST_F(ThreeInstruments, OneInstrumentVanishingLeavesTheOthersRecordingWithAndWithoutReconnect) {
  for (const bool reconnect : {false, true}) {
    w->findChild<QCheckBox*>("cbReconnect")->setChecked(reconnect);
    record(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return readings(1) >= 2; }, 20000));
    const std::size_t c0 = readings(0), c2 = readings(2);
    sims[1]->vanish();
    // The others go on: more readings arrive after the middle one is gone.
    ASSERT_TRUE(QTest::qWaitFor([&] { return readings(0) >= c0 + 6 && readings(2) >= c2 + 6; }, 30000)) << reconnect;
    EXPECT_TRUE(w->channels().at(0).recording());
    EXPECT_TRUE(w->channels().at(2).recording());
    if (reconnect) {
      EXPECT_EQ(w->channels().at(1).link(), Channel::Link::Reconnecting);
    }
    record(false);
    ASSERT_TRUE(sims[1]->start());  // back for the next round, at a new path
    w->channels().at(1).setPort(sims[1]->devicePath());
  }
  EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();  // no box for a further instrument
}

TEST_F(ThreeInstruments, AKilledRecordingOfThreeComesBackWholeFromItsJournal) {
  QTemporaryDir journals;
  const QByteArray previous = qgetenv("VELMORA_JOURNAL_DIR");
  qputenv("VELMORA_JOURNAL_DIR", journals.path().toLocal8Bit());
  w = window();  // journals go to this test's folder
  w->serialPort().setCommPort(sims[0]->devicePath());
  w->addInstrument(sims[1]->devicePath(), "probe B");
  w->addInstrument(sims[2]->devicePath(), "probe C");
  record(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return readings(0) >= 4 && readings(1) >= 4 && readings(2) >= 4; }, 30000));
  record(false);
  std::vector<std::size_t> counts{readings(0), readings(1), readings(2)};
  const double lastB = w->channels().at(1).series().y(counts[1] - 1);
  const QString journal = w->journal().journalPath();
  // Handed to the system (within a quarter of a second on a quiet machine).
  ASSERT_TRUE(QTest::qWaitFor([&] {
    QFile f(journal);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray t = f.readAll();
    const JournalContents c = readJournal(std::string_view(t.constData(), static_cast<std::size_t>(t.size())));
    return c.readings.size() == counts[0] && c.channels.size() == 2 && c.channels[0].readings.size() == counts[1] &&
           c.channels[1].readings.size() == counts[2];
  }, 10000));
  w.reset();  // killed: no normal end
  ASSERT_TRUE(QFile::rename(journal, QDir(journals.path()).filePath("journal-999990.txt")));
  w = window();
  w->journal().restoreQuestionHook = [](const QString&) { return JournalKeeper::Choice::Restore; };
  ASSERT_TRUE(w->journal().offerRestore());
  ASSERT_EQ(w->channels().size(), 3u);
  EXPECT_EQ(w->channels().at(1).name, "probe B");
  for (std::size_t c = 0; c < 3; ++c) EXPECT_EQ(readings(c), counts[c]) << c;
  EXPECT_EQ(w->channels().at(1).series().y(counts[1] - 1), lastB);
  EXPECT_EQ(w->channels().at(2).port(), sims[2]->devicePath());
  qputenv("VELMORA_JOURNAL_DIR", previous);
}

TEST(Channels, AreRememberedAndOneChannelWritesNoKeyOfItsOwn) {
  MemorySettingsBackend store;
  {
    TfmMain w(store, MainWindowOptions::with(false, 1033));
    w.show();
    w.close();
  }
  EXPECT_FALSE(store.keyExists(kChannelsKey));  // the designed keys alone
  {
    TfmMain w(store, MainWindowOptions::with(false, 1033));
    w.messageHook = [](MessageKind, const QString&) {};
    w.addInstrument("DEMO2", "bath probe");
    w.channels().at(1).colour = QColor(10, 20, 30);
    // The probe's identity, typed into the panel's cells.
    auto* table = w.findChild<InstrumentsPanel*>()->table();
    table->item(1, 7)->setText("SN 4711");
    table->item(1, 9)->setText("Acme");
    w.show();
    w.close();
  }
  TfmMain again(store, MainWindowOptions::with(false, 1033));
  ASSERT_EQ(again.channels().size(), 2u);
  EXPECT_EQ(again.channels().at(1).name, "bath probe");
  EXPECT_EQ(again.channels().at(1).port(), "DEMO2");
  EXPECT_EQ(again.channels().at(1).colour, QColor(10, 20, 30));
  EXPECT_EQ(again.channels().at(1).serial, "SN 4711");
  EXPECT_EQ(again.channels().at(1).manufacturer, "Acme");
}

// The calibration window, the readout and the views work on the instrument that is selected
// (and say which); the calibration window keeps to it while it is open.
TEST_F(ThreeInstruments, TheCalibrationWindowAndTheReadoutActOnTheSelectedInstrumentAndNameIt) {
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->channels().at(1).factors() && w->channels().at(2).factors(); }, 15000));
  sims[1]->withModel([](sim::ThermometerModel& m) { m.stored.R0 = 100.05; });
  w->channels().select(1);
  // The views name the instrument they show.
  EXPECT_EQ(w->findChild<QLabel*>("lbListInstrument")->text(), "probe B");
  EXPECT_EQ(w->findChild<QLabel*>("lbStatsInstrument")->text(), "probe B");
  EXPECT_EQ(w->findChild<ReadoutLabel*>("lbTablo")->caption(), "probe B");
  // A click on the readout switches the instrument shown, not the first.
  w->lbTabloClick();
  EXPECT_EQ(w->channels().at(1).readout().mode(), 1);
  EXPECT_EQ(w->channels().at(0).readout().mode(), 0);
  EXPECT_EQ(w->display().readout().mode(), 0);

  TfmCalibr* c = w->calibrationWindow();
  QString title;
  bool read = false, written = false;
  QTimer::singleShot(0, [&] {
    title = c->windowTitle();
    w->channels().select(2);  // the window stays with probe B
    c->findChild<QPushButton*>("btRead")->click();
    read = QTest::qWaitFor([&] { return !w->channels().at(1).protocol().ReadingCof && c->coefficientText(1, 1) == "100.050"; }, 15000);
    // A point from another instrument's statistics is refused, naming both.
    MeasuredStretch other;
    other.channel = 3;
    other.instrument = "probe C";
    other.meanResistance = 108.0;
    other.resistanceCount = 10;
    messages.clear();
    EXPECT_FALSE(c->addCalibrationPoint(other));
    EXPECT_TRUE(messages.size() == 1 && messages[0].contains("probe C") && messages[0].contains("probe B")) << messages.join("|").toStdString();
    c->setCoefficientText(2, 1, "100.021");
    c->setCoefficientText(2, 2, "3.9083");
    c->setCoefficientText(2, 3, "-5.7750");
    c->setCoefficientText(2, 4, "-4.1830");
    c->findChild<QPushButton*>("btWrite")->click();
    written = QTest::qWaitFor([&] { return !w->channels().at(1).protocol().WritingCof; }, 20000);
    c->reject();
  });
  w->pnTuneDblClick();
  EXPECT_TRUE(title.contains("probe B (" + QString::fromStdString(sims[1]->devicePath()) + ")")) << title.toStdString();
  EXPECT_TRUE(read);
  EXPECT_TRUE(written);
  double r0[3] = {};
  for (int k = 0; k < 3; ++k) sims[static_cast<std::size_t>(k)]->withModel([&](sim::ThermometerModel& m) { r0[k] = m.stored.R0; });
  EXPECT_DOUBLE_EQ(r0[1], 100.021);  // written into probe B …
  EXPECT_DOUBLE_EQ(r0[0], 100.0);    // … and nothing into the first or the third
  EXPECT_DOUBLE_EQ(r0[2], 100.0);
  // Closed, it is the designed window on the first instrument again.
  EXPECT_EQ(c->instrumentChannel(), 0);
  EXPECT_FALSE(c->windowTitle().contains(QString::fromUtf8("\u2014")));
}

// Remove asks before unsaved readings go with their instrument: Cancel (Escape) keeps it,
// Save… saves every instrument first, Remove removes it.
TEST_F(ThreeInstruments, RemovingAnInstrumentWithUnsavedReadingsAsksFirst) {
  record(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return readings(1) >= 2 && readings(2) >= 2; }, 30000));
  record(false);
  auto* panel = w->findChild<InstrumentsPanel*>();
  QStringList asked;
  int answer = 2;
  w->files().questionHook = [&](const QString& q) {
    asked << q;
    return answer;
  };
  panel->table()->selectRow(2);
  panel->removeButton()->click();  // Cancel
  ASSERT_EQ(asked.size(), 1);
  EXPECT_TRUE(asked[0].contains("probe C")) << asked[0].toStdString();
  EXPECT_EQ(w->channels().size(), 3u);
  QTemporaryDir dir;
  const QString path = dir.filePath("before-removal.csv");
  w->files().fileDialogHook = [&](bool, const QString&, const QString&, const QString&) { return path; };
  answer = 0;  // Save…, then removed
  panel->removeButton()->click();
  EXPECT_EQ(w->channels().size(), 2u);
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.readAll().contains("probe C,"));
  // Saved now: the next one goes without a question.
  panel->table()->selectRow(1);
  panel->removeButton()->click();
  EXPECT_EQ(asked.size(), 2);
  EXPECT_EQ(w->channels().size(), 1u);
}

// "Port by path…" adds a port the system does not list (here a pseudo-terminal) once it opens;
// a path that does not open, or one an instrument reads already, is refused with the reason.
TEST_F(ThreeInstruments, APortByPathIsAddedOnlyWhenItOpensAndIsFree) {
  sim::PtyThermometer fourth{9};
  ASSERT_TRUE(fourth.start());
  auto* panel = w->findChild<InstrumentsPanel*>();
  QString typed;
  panel->portPathHook = [&]() -> std::optional<QString> { return typed; };
  QStringList told;
  panel->messageHook = [&](MessageKind, const QString& t) { told << t; };
  const auto addByPath = [&](const QString& path) {
    typed = path;
    emit panel->addMenu()->aboutToShow();
    for (QAction* a : panel->addMenu()->actions())
      if (a->text() == "Port by path…") a->trigger();
  };
  addByPath("/dev/velmora-no-such-port");
  addByPath(QString::fromStdString(sims[1]->devicePath()));
  ASSERT_EQ(told.size(), 2);
  EXPECT_TRUE(told[0].startsWith("The port /dev/velmora-no-such-port could not be opened")) << told[0].toStdString();
  EXPECT_TRUE(told[1].contains("already used")) << told[1].toStdString();
  EXPECT_EQ(w->channels().size(), 3u);
  addByPath(" " + QString::fromStdString(fourth.devicePath()) + " ");
  ASSERT_EQ(w->channels().size(), 4u);
  EXPECT_EQ(w->channels().at(3).port(), fourth.devicePath());
  EXPECT_EQ(told.size(), 2);
  w.reset();
  fourth.stop();
}

// Exactly two instruments are saved in the long form too and open again as two; a long-form
// file whose further instruments' rows are out of time order opens sorted.
TEST(Channels, TwoInstrumentsSaveAsTheLongFormAndOutOfOrderRowsOpenSorted) {
  MemorySettingsBackend store;
  QTemporaryDir dir;
  const QString two = dir.filePath("two.csv");
  {
    TfmMain w(store, MainWindowOptions::with(false, 1033));
    w.messageHook = [](MessageKind, const QString&) {};
    Channel* b = w.addInstrument("", "second");
    ASSERT_NE(b, nullptr);
    for (int i = 0; i < 5; ++i) {
      w.channels().at(0).series().add(i / 1440.0, 20 + i / 100.0, 108 + i / 1000.0, 1'790'000'000'000 + i * 60000);
      w.channels().at(0).list().append("x");
      b->series().add(i / 1440.0, 30 + i / 100.0, 112 + i / 1000.0, 1'790'000'000'000 + i * 60000);
      b->list().append("x");
    }
    w.display().setUnsaved(true);
    w.files().fileDialogHook = [&](bool, const QString&, const QString&, const QString&) { return two; };
    ASSERT_TRUE(w.miSaveClick());
  }
  QFile f(two);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray saved = f.readAll();
  EXPECT_TRUE(saved.startsWith("channel,time_utc,")) << saved.left(60).toStdString();
  EXPECT_EQ(saved.count('\n'), 11);
  // The second and third instruments' rows shuffled in a file of three.
  const QString shuffled = dir.filePath("shuffled.csv");
  QFile g(shuffled);
  ASSERT_TRUE(g.open(QIODevice::WriteOnly));
  g.write("channel,time_utc,time_local,elapsed_min,resistance_ohm,temperature_C\r\n"
          "A,,,1.000000,,20.1\r\nA,,,2.000000,,20.2\r\n"
          "B,,,3.000000,,30.3\r\nC,,,2.000000,,40.2\r\nB,,,1.000000,,30.1\r\nC,,,3.000000,,40.3\r\n"
          "B,,,2.000000,,30.2\r\nC,,,1.000000,,40.1\r\n");
  g.close();
  for (const QString& path : {two, shuffled}) {
    TfmMain again(store, MainWindowOptions::with(false, 1033));
    again.messageHook = [](MessageKind, const QString&) {};
    again.files().questionHook = [](const QString&) { return 1; };
    again.files().fileDialogHook = [&](bool, const QString&, const QString&, const QString&) { return path; };
    again.miOpenClick();
    const std::size_t expected = path == two ? 2u : 3u;
    ASSERT_EQ(again.channels().size(), expected) << path.toStdString();
    for (std::size_t c = 1; c < expected; ++c) {
      const MeasurementSeries& s = again.channels().at(c).series();
      ASSERT_EQ(s.size(), path == two ? 5u : 3u);
      for (std::size_t i = 1; i < s.size(); ++i) EXPECT_LT(s.x(i - 1), s.x(i)) << c;
      if (path == shuffled) {
        EXPECT_EQ(s.y(0), c == 1 ? 30.1 : 40.1);
      }
    }
  }
}
