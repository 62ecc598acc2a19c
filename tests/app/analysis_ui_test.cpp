// The statistics panel, the clock-time axis and the CSV commands as a user meets them in the
// main window, and `velmora --export-csv` as a shell meets it.
#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>

#include "app/analysis_tools.h"
#include "app/main_window.h"
#include "display/chart_panel.h"
#include "files/csv_file.h"

using namespace velmora;

namespace {
constexpr double kMinute = 1.0 / 1440.0;

struct AnalysisFixture : ::testing::Test {
  MemorySettingsBackend store;
  QTemporaryDir dir;
  TfmMain w{store, MainWindowOptions::with(false, 1033)};
  QString nextPath;
  QStringList messages;

  void SetUp() override {
    w.messageHook = [this](MessageKind, const QString& t) { messages.push_back(t); };
    w.files().fileDialogHook = [this](bool, const QString&, const QString&, const QString&) { return nextPath; };
    w.files().questionHook = [](const QString&) { return 1; };
    w.resize(1100, 650);
    w.show();
  }
  // 40 minutes at 2 a minute: warming for 10 minutes, then settled within ±2 mK.
  void record() {
    for (int i = 0; i <= 80; ++i) {
      const double t = i < 20 ? 20 + i * 0.05 : 21 + ((i % 3) - 1) * 0.002;
      w.addReading(i * 0.5 * kMinute, t, 100 + t * 0.39);
    }
    w.flushViews();
  }
  QString read(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QString::fromUtf8(f.readAll());
  }
};
}  // namespace

TEST_F(AnalysisFixture, ThePanelDescribesTheVisibleRangeOrTheChosenSpanAndTheStability) {
  record();
  AnalysisTools& a = w.analysis();
  EXPECT_FALSE(a.dock()->isVisible());  // hidden until asked for
  EXPECT_NE(w.findChild<QToolBar*>("TBToolbar")->widgetForAction(a.statsAction()), nullptr);
  a.statsAction()->trigger();
  ASSERT_TRUE(a.dock()->isVisible());
  const MeasurementSeries& s = w.display().series();
  const auto [first, last] = a.currentRange();
  EXPECT_EQ(a.panel()->table()->item(0, 0)->text(), QString::number(last - first));
  EXPECT_EQ(a.panel()->table()->item(1, 0)->text(), statisticText(s.statistics(first, last).temperature.mean, 5));
  EXPECT_TRUE(a.panel()->sourceLabel()->text().startsWith("Visible range"));
  // A span over the settled part: its own figures, its resistance column, the Clear button.
  w.chart()->setSpan(20 * kMinute, 40 * kMinute);
  const SpanStatistics span = a.shown();
  EXPECT_EQ(span.temperature.count, 41u);
  EXPECT_NEAR(span.temperature.peakToPeak, 0.004, 1e-9);
  EXPECT_NEAR(span.resistance.mean, 100 + span.temperature.mean * 0.39, 1e-9);
  EXPECT_EQ(a.panel()->table()->item(5, 0)->text(), "0.00400");
  EXPECT_TRUE(a.panel()->sourceLabel()->text().startsWith("Selected span: 20.00"));
  EXPECT_TRUE(a.panel()->clearSpanButton()->isEnabled());
  EXPECT_EQ(a.panel()->stabilityLabel()->text(), "Stable: within the threshold for 30.0 min");
  a.panel()->threshold()->setValue(0.003);
  EXPECT_EQ(a.panel()->stabilityLabel()->text(), "Not stable: peak-to-peak 0.0040 °C");
  a.panel()->clearSpanButton()->click();
  EXPECT_FALSE(w.chart()->span().has_value());
  EXPECT_TRUE(a.panel()->sourceLabel()->text().startsWith("Visible range"));
  // Recording on: the panel follows the redraws.
  w.addReading(41 * kMinute, 30, 111.7);
  w.flushViews();
  EXPECT_EQ(a.shown().temperature.max, 30);
  // Russian, with the clock-time axis.
  w.findChild<QAction*>("miLangRU")->trigger();
  EXPECT_EQ(a.dock()->windowTitle(), QString::fromUtf8("Статистика"));
  EXPECT_EQ(a.panel()->table()->verticalHeaderItem(1)->text(), QString::fromUtf8("Среднее"));
  a.clockTimeAction()->setChecked(true);
  w.chart()->setSpan(20 * kMinute, 40 * kMinute);
  w.flushViews();
  QCoreApplication::processEvents();
  w.grab().save(QDir::temp().filePath("velmora-stats-ru.png"));
  w.findChild<QAction*>("miLangEN")->trigger();
  QCoreApplication::processEvents();
  w.grab().save(QDir::temp().filePath("velmora-stats-en.png"));
}

TEST(AnalysisSettings, ClockTimeThePanelAndTheStabilityRuleAreRemembered) {
  MemorySettingsBackend store;
  {
    TfmMain w(store, MainWindowOptions::with(false, 1033));
    w.show();
    EXPECT_FALSE(w.chart()->clockTime());  // the designed elapsed minutes by default
    w.analysis().clockTimeAction()->setChecked(true);
    w.analysis().statsAction()->setChecked(true);
    w.analysis().panel()->windowMinutes()->setValue(25);
    w.analysis().panel()->threshold()->setValue(0.05);
    w.close();
  }
  TfmMain again(store, MainWindowOptions::with(false, 1033));
  again.show();
  EXPECT_TRUE(again.chart()->clockTime());
  EXPECT_TRUE(again.analysis().dock()->isVisible());
  EXPECT_EQ(again.analysis().panel()->windowMinutes()->value(), 25);
  EXPECT_DOUBLE_EQ(again.analysis().panel()->threshold()->value(), 0.05);
}

TEST_F(AnalysisFixture, CsvSaveOpenAndExportKeepEveryValue) {
  record();
  const MeasurementSeries& s = w.display().series();
  const std::int64_t stamp = s.utcMs(0);
  EXPECT_LE(std::llabs(stamp - QDateTime::currentMSecsSinceEpoch()), 60'000);  // stamped when received
  // Saved as CSV: every value; the readings count as saved.
  nextPath = dir.filePath("run.csv");
  ASSERT_TRUE(w.miSaveClick());
  EXPECT_FALSE(w.display().unsaved());
  const QString saved = read(nextPath);
  EXPECT_TRUE(saved.startsWith(QString::fromLatin1(kCsvHeader.data(), static_cast<int>(kCsvHeader.size())) + "\r\n"));
  EXPECT_EQ(saved.count("\r\n"), 82);
  // Opened again: resistance and clock time come back; saving again gives the same bytes.
  w.miClearClick();
  ASSERT_TRUE(w.display().series().empty());
  w.files().loadDataFile(nextPath);
  ASSERT_EQ(s.size(), 81u);
  EXPECT_EQ(s.utcMs(0), stamp);
  EXPECT_NEAR(s.resistance(80), 100 + s.y(80) * 0.39, 1e-12);
  EXPECT_EQ(w.display().list().line(0), "0.00 20.00");  // the designed list line
  nextPath = dir.filePath("again.csv");
  ASSERT_TRUE(w.miSaveClick());
  EXPECT_EQ(read(nextPath), saved);
  // A .vmd save still writes the two designed columns.
  nextPath = dir.filePath("run.vmd");
  ASSERT_TRUE(w.miSaveClick());
  EXPECT_TRUE(read(nextPath).startsWith("0.00 20.00\r\n0.50 20.05\r\n"));
  // Export of the visible range: only the readings in sight, and nothing marked saved.
  w.addReading(41 * kMinute, 21, 108.19);
  w.chart()->setBottomAutomatic(false);
  w.chart()->setBottomRange(9.9 * kMinute, 20.1 * kMinute);
  nextPath = dir.filePath("visible.csv");
  w.analysis().exportVisibleAction()->trigger();
  const QStringList rows = read(nextPath).split("\r\n", Qt::SkipEmptyParts);
  ASSERT_EQ(rows.size(), 1 + 21);
  EXPECT_TRUE(rows[1].contains(",10.000000,"));
  EXPECT_TRUE(rows.last().contains(",20.000000,"));
  EXPECT_TRUE(w.display().unsaved());
  // An export that cannot be written is reported.
  nextPath = dir.filePath("no-such-folder/x.csv");
  w.analysis().exportAllAction()->trigger();
  EXPECT_FALSE(messages.isEmpty());
}

#ifdef VELMORA_EXE
TEST(ExportCommand, ConvertsWithoutAWindowAndFailsWithAMessage) {
  QTemporaryDir dir;
  QFile in(dir.filePath("in.vmd"));
  ASSERT_TRUE(in.open(QIODevice::WriteOnly));
  in.write("0.50 21.46\r\n");
  in.close();
  QProcess p;
  p.start(VELMORA_EXE, {"--export-csv", in.fileName(), dir.filePath("out.csv")});
  ASSERT_TRUE(p.waitForFinished(20000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  QFile out(dir.filePath("out.csv"));
  ASSERT_TRUE(out.open(QIODevice::ReadOnly));
  EXPECT_EQ(out.readAll(), QByteArray(kCsvHeader.data()) + "\r\n,,0.500000,,21.46\r\n");
  // A probe's conversions for scripts: the value on standard output, or the reason and 1.
  QFile probe(dir.filePath("pt100.txt"));
  ASSERT_TRUE(probe.open(QIODevice::WriteOnly));
  probe.write("VELMORA PROBE 1\ntype: CVD\nR0: 100\nA: 3.9083e-3\nB: -5.775e-7\nC: -4.183e-12\n");
  probe.close();
  struct Case {
    QStringList args;
    int exitCode;
    QByteArray out;          // standard output starts with it
    QByteArray errContains;  // standard error holds it
  };
  const QString csvHeader = QString::fromUtf8(kCsvHeader.data(), static_cast<qsizetype>(kCsvHeader.size()));
  const Case cases[] = {
      {{"--export-csv", dir.filePath("missing.vmd"), dir.filePath("x.csv")}, 1, {}, "cannot read"},
      {{"--export-csv", in.fileName()}, 2, {}, "usage"},
      // "-" is standard output, written in place.
      {{"--export-csv", in.fileName(), "-"}, 0, (csvHeader + "\r\n,,0.500000,,21.46\r\n").toUtf8(), {}},
      {{"--probe-temperature", probe.fileName(), "138.5055"}, 0, "100.000000\n", {}},
      {{"--probe-resistance", probe.fileName(), "x"}, 1, {}, "not a number"},
      // A value a hair beyond the range: converted, with a note on standard error; further out, refused.
      {{"--probe-resistance", probe.fileName(), "850.0004"}, 0, {}, "extrapolated"},
      {{"--probe-resistance", probe.fileName(), "-300"}, 1, {}, {}},
      // --help and --version answer without a window.
      {{"--help"}, 0, "", {}},
      {{"--version"}, 0, "velmora ", {}},
      // A missing argument is a usage error (2), as the README says; so is a demo of no instruments.
      {{"--probe-temperature", probe.fileName()}, 2, {}, ""},
      {{"--demo", "0"}, 2, {}, ""},
      {{"--demo", "17"}, 2, {}, ""},
  };
  for (const Case& c : cases) {
    const std::string name = c.args.join(' ').toStdString();
    p.start(VELMORA_EXE, c.args);
    ASSERT_TRUE(p.waitForFinished(20000)) << name;
    EXPECT_EQ(p.exitCode(), c.exitCode) << name;
    const QByteArray said = p.readAllStandardOutput(), err = p.readAllStandardError();
    EXPECT_TRUE(said.startsWith(c.out)) << name << ": " << said.toStdString();
    if (!c.errContains.isNull()) {
      EXPECT_TRUE(c.errContains.isEmpty() ? !err.isEmpty() : err.contains(c.errContains)) << name;
    }
    if (c.args.front() == "--help") {
      EXPECT_TRUE(said.contains("--export-csv"));
    }
  }
}
#endif
