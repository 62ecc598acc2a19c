#include <QAction>
#include <QFile>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "app/main_window.h"
#include "display/chart_panel.h"
#include "display/reading_list_view.h"

using namespace velmora;

namespace {

struct FileFixture : ::testing::Test {
  MemorySettingsBackend store;
  QTemporaryDir dir;
  TfmMain w{store, MainWindowOptions::with(false, 1033)};
  QStringList messages;
  QString nextPath;
  int questions = 0;
  int answer = 2;

  void SetUp() override {
    w.messageHook = [this](MessageKind, const QString& t) { messages.push_back(t); };
    w.files().fileDialogHook = [this](bool, const QString&, const QString&, const QString&) { return nextPath; };
    w.files().questionHook = [this](const QString&) {
      ++questions;
      return answer;
    };
  }
  QString write(const char* name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return f.fileName();
  }
};

}  // namespace

TEST_F(FileFixture, SaveThenOpenGivesTheSameReadingsAndBytes) {
  for (int i = 0; i < 100; ++i) w.AddPoint(i * 0.5 / 86400, 21 + i * 0.01);
  nextPath = dir.filePath("run.vmd");
  ASSERT_TRUE(w.miSaveClick());
  EXPECT_FALSE(w.display().unsaved());
  w.findChild<QAction*>("miClear")->trigger();
  w.miOpenClick();
  EXPECT_EQ(w.display().series().size(), 100u);
  EXPECT_EQ(w.list()->model()->rowCount(), 100);
  nextPath = dir.filePath("again.vmd");
  ASSERT_TRUE(w.miSaveClick());
  QFile a(dir.filePath("run.vmd")), b(dir.filePath("again.vmd"));
  a.open(QIODevice::ReadOnly);
  b.open(QIODevice::ReadOnly);
  EXPECT_EQ(a.readAll(), b.readAll());
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(FileFixture, OpeningContinuesTheClockAfterTheLastPoint) {
  nextPath = write("a.vmd", "40.00 20.00\r\n42.50 20.50\r\n");
  w.miOpenClick();
  ASSERT_EQ(w.display().series().size(), 2u);
  EXPECT_NEAR(w.display().clock().elapsed() * 1440, 42.5, 0.01);
  EXPECT_FALSE(w.findChild<QWidget*>("pnGauge")->isVisible());
}

TEST_F(FileFixture, ABadFileKeepsTheReadingsShownAndNamesTheLine) {
  w.AddPoint(1.0 / 1440, 30);
  answer = 1;  // discard the unsaved reading when asked
  nextPath = write("bad.vmd", "1.00 20.00\n2.00 x\n");
  w.miOpenClick();
  EXPECT_EQ(questions, 1);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], "Invalid numeric input (line 2)");
  EXPECT_EQ(w.display().series().size(), 1u);
  EXPECT_EQ(w.display().series().y(0), 30.0);
  EXPECT_FALSE(w.findChild<QWidget*>("pnGauge")->isVisible());
}

TEST_F(FileFixture, UnsavedReadingsAreNotLostToOneClick) {
  w.AddPoint(1.0 / 1440, 30);
  answer = 2;  // Cancel
  EXPECT_FALSE(w.close());
  EXPECT_EQ(questions, 1);
  nextPath = write("other.vmd", "1.00 20.00\r\n");
  w.miOpenClick();
  EXPECT_EQ(w.display().series().y(0), 30.0);  // Cancel: nothing opened
  answer = 0;  // Save, then go on
  nextPath = dir.filePath("kept.vmd");
  EXPECT_TRUE(w.close());
  EXPECT_TRUE(QFile::exists(dir.filePath("kept.vmd")));
}

TEST_F(FileFixture, ListCopyEvenWithoutReadings) {
  w.findChild<QAction*>("miSelectView")->trigger();
  w.miToClipboardClick();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], "List has been copied into clipboard");
  w.AddPoint(1.0 / 1440, 20);
  w.AddPoint(2.0 / 1440, 21);
  w.flushViews();
  w.list()->selectAll();
  w.miToClipboardClick();
  EXPECT_EQ(QApplication::clipboard()->text(), "1.00 20.00\r\n2.00 21.00");
  EXPECT_EQ(w.list()->selectedCount(), 0u);
}

TEST_F(FileFixture, ChartCopyPutsPicturesOnTheClipboardAndTheDressBack) {
  w.resize(800, 600);
  w.show();
  w.AddPoint(1.0 / 1440, 20);
  w.AddPoint(2.0 / 1440, 21);
  w.flushViews();
  w.miToClipboardClick();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], "Chart has been copied into clipboard");
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  EXPECT_TRUE(mime->data("image/svg+xml").startsWith("<?xml"));
  EXPECT_TRUE(mime->hasImage());
  QCustomPlot* plot = w.chart()->plot();
  EXPECT_TRUE(plot->yAxis2->visible());
  EXPECT_TRUE(plot->xAxis->grid()->visible());
  EXPECT_EQ(plot->xAxis->tickLabelFont().pointSize(), 9);
  EXPECT_EQ(plot->axisRect()->backgroundBrush().color(), QColor(243, 243, 243));
}

#ifndef _WIN32
TEST_F(FileFixture, AFailedSaveNamesTheSystemsCauseAndKeepsTheReadingsUnsaved) {
  for (int i = 0; i < 2000; ++i) w.AddPoint(i * 0.5 / 86400, 21 + i * 0.01);
  nextPath = dir.filePath("full.vmd");
  // A file-size limit fails the write part-way, as a full disk does.
  struct Limit {
    rlimit old{};
    void (*oldHandler)(int) = nullptr;
    Limit() {
      getrlimit(RLIMIT_FSIZE, &old);
      oldHandler = std::signal(SIGXFSZ, SIG_IGN);
      rlimit small = old;
      small.rlim_cur = 4096;
      setrlimit(RLIMIT_FSIZE, &small);
    }
    ~Limit() {
      setrlimit(RLIMIT_FSIZE, &old);
      std::signal(SIGXFSZ, oldHandler);
    }
  };
  {
    Limit limit;
    EXPECT_FALSE(w.miSaveClick());
  }
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].startsWith("Cannot write ")) << messages[0].toStdString();
  EXPECT_TRUE(messages[0].endsWith(QString::fromLocal8Bit(std::strerror(EFBIG)))) << messages[0].toStdString();
  EXPECT_FALSE(messages[0].contains("Unknown error"));
  EXPECT_TRUE(w.display().unsaved());
  EXPECT_FALSE(QFile::exists(nextPath));  // nothing half-written left in its place
  // A folder that does not exist names that cause too.
  nextPath = dir.filePath("missing/run.vmd");
  EXPECT_FALSE(w.miSaveClick());
  ASSERT_EQ(messages.size(), 2);
  EXPECT_FALSE(messages[1].contains("Unknown error")) << messages[1].toStdString();
  EXPECT_TRUE(w.display().unsaved());
}
#endif

TEST_F(FileFixture, ClearAsksAboutUnsavedReadings) {
  for (int i = 0; i < 10; ++i) w.AddPoint(i / 1440.0, 21);
  answer = 2;  // Cancel: nothing is cleared
  w.findChild<QAction*>("miClear")->trigger();
  EXPECT_EQ(questions, 1);
  EXPECT_EQ(w.display().series().size(), 10u);
  answer = 0;  // Save, then clear
  nextPath = dir.filePath("before-clear.vmd");
  w.findChild<QAction*>("miClear")->trigger();
  EXPECT_EQ(questions, 2);
  EXPECT_TRUE(QFile::exists(nextPath));
  EXPECT_EQ(w.display().series().size(), 0u);
  // Nothing unsaved: no question.
  w.findChild<QAction*>("miClear")->trigger();
  EXPECT_EQ(questions, 2);
  w.AddPoint(1 / 1440.0, 21);
  answer = 1;  // Discard
  w.findChild<QAction*>("miClear")->trigger();
  EXPECT_EQ(questions, 3);
  EXPECT_EQ(w.display().series().size(), 0u);
}

TEST_F(FileFixture, CancelDuringALoadLeavesTheReadingsAsTheyWere) {
  for (int i = 0; i < 10; ++i) w.AddPoint(i / 1440.0, 30);  // unsaved readings shown
  std::string text;
  for (int i = 300000; i > 0; --i) text += listLine(i / 1440.0, 20) + "\r\n";  // reversed: sorted on load
  const QString path = write("big.vmd", QByteArray::fromStdString(text));
  w.resize(800, 600);
  w.show();
  auto* cancel = w.findChild<QPushButton*>("btCancelLoad");
  ASSERT_NE(cancel, nullptr);
  bool cancelShown = false, otherInputBlocked = false;
  int steps = 0;
  w.files().loadProgressHook = [&](double) {
    if (++steps == 1) {
      cancelShown = cancel->isVisible() && cancel->text() == "Cancel";
      // Input to anything but Cancel is held back while the file loads.
      auto* tune = w.findChild<QAction*>("miTune");
      const bool before = tune->isChecked();
      QTest::keyClick(&w, Qt::Key_D, Qt::ControlModifier);
      otherInputBlocked = tune->isChecked() == before;
      // A click as the user makes it: through the window to the button under the pointer.
      QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, cancel->mapTo(&w, cancel->rect().center()));
    }
  };
  EXPECT_FALSE(w.files().loadDataFile(path));
  EXPECT_TRUE(cancelShown);
  EXPECT_TRUE(otherInputBlocked);
  EXPECT_FALSE(cancel->isVisible());
  EXPECT_EQ(w.display().series().size(), 10u);
  EXPECT_EQ(w.display().series().y(0), 30);
  EXPECT_EQ(w.list()->model()->rowCount(), 10);
  EXPECT_TRUE(w.display().unsaved());
  EXPECT_TRUE(messages.isEmpty());
  // Without a cancel the same file loads, in time order.
  w.files().loadProgressHook = {};
  answer = 1;
  ASSERT_TRUE(w.files().loadDataFile(path));
  EXPECT_EQ(w.display().series().size(), 300000u);
  EXPECT_DOUBLE_EQ(w.display().series().x(0), 1 / 1440.0);
  EXPECT_FALSE(w.display().unsaved());
}

TEST_F(FileFixture, EveryReadingIsRecordedWithFiveMillionHeld) {
  // Five million readings held, the list shown: a minute of polls at 120/min, each answer
  // through the protocol, each batch of views brought up to date, keeps every reading.
  ReadingList list;
  std::vector<double> xs, ys;
  constexpr std::size_t kHeld = 5000000;
  list.reserve(kHeld, kHeld * 12);
  xs.reserve(kHeld);
  ys.reserve(kHeld);
  for (std::size_t i = 0; i < kHeld; ++i) {
    xs.push_back(static_cast<double>(i) * 0.5 / 86400);
    ys.push_back(21);
    list.append("0.00 21.00");
  }
  MeasurementSeries series;
  series.assignSorted(std::move(xs), std::move(ys));
  w.display().replaceAll(std::move(list), std::move(series));
  w.resize(800, 600);
  w.show();
  w.findChild<QAction*>("miSelectView")->trigger();  // the list in view
  for (int poll = 0; poll < 120; ++poll) {
    w.protocol().DataTimerTimer();
    w.connection().onReceived("100.000 21.50\r");
    w.flushViews();
  }
  EXPECT_EQ(w.display().series().size(), kHeld + 120);
  EXPECT_EQ(w.list()->rowCount(), kHeld + 120);
  EXPECT_GE(w.list()->firstVisibleRow() + 50, kHeld + 120);  // following the newest line
}

TEST_F(FileFixture, ALongExportRunsBesideTheWindowCancelLeavesNoFileAndTheEndSaysWhere) {
  constexpr int kReadings = 300000;  // five pieces
  for (int i = 0; i < kReadings; ++i) w.display().series().add(i / 86400.0, 21 + (i % 100) * 0.001, 108.2, 1'790'000'000'000 + i);
  nextPath = dir.filePath("big.csv");
  std::vector<double> fractions;
  bool cancelAtOnce = true;
  w.files().writeProgressHook = [&](double f) {
    fractions.push_back(f);
    if (cancelAtOnce) w.files().cancelLoad();
  };
  EXPECT_FALSE(w.files().exportCsv(0, kReadings));
  EXPECT_FALSE(QFile::exists(nextPath));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 0) << "nothing half-written is left";
  EXPECT_TRUE(messages.isEmpty());  // a cancel is no failure
  cancelAtOnce = false;
  fractions.clear();
  ASSERT_TRUE(w.files().exportCsv(0, kReadings));
  QFile f(nextPath);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll().count('\n'), kReadings + 1);
  ASSERT_FALSE(fractions.empty());
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], QString("300000 readings exported to %1.").arg(QDir::toNativeSeparators(nextPath)));
}

TEST_F(FileFixture, ReadingsRecordedWhileASaveRunsStayUnsavedAndInTheJournal) {
  for (int i = 0; i < 100; ++i) w.AddPoint(i / 1440.0, 21);
  nextPath = dir.filePath("run.vmd");
  bool added = false;
  w.files().writeProgressHook = [&](double) {
    if (!added) w.AddPoint(200 / 1440.0, 22);  // recording goes on meanwhile
    added = true;
  };
  ASSERT_TRUE(w.miSaveClick());
  EXPECT_TRUE(w.display().unsaved());
  QFile saved(nextPath);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  EXPECT_EQ(saved.readAll().count('\n'), 100);
  // The journal starts from the saved file and holds the reading recorded since.
  QFile journal(w.journal().journalPath());
  ASSERT_TRUE(QTest::qWaitFor([&] {
    if (!journal.open(QIODevice::ReadOnly)) return false;
    const QByteArray text = journal.readAll();
    journal.close();
    return text.contains("\nB ") && text.count('\n') == 3 && text.endsWith("200.00 22.00\n");
  }, 5000));
}
