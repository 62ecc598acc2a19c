#include "calibration/calibration_window.h"

#include <QDir>
#include <QLineEdit>
#include <QHeaderView>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "common/number_text.h"

using namespace velmora;

namespace {

// The link and the main window as the protocol sees them: every open/close is recorded.
struct FakeLink : ProtocolTransport, ReadingSink {
  std::vector<bool> portRequests;
  std::vector<std::string> sent;
  bool open = false;
  int recordingChanges = 0;
  void send(std::string_view t) override { sent.emplace_back(t); }
  bool setActive(bool on) override {
    portRequests.push_back(on);
    return open = on;
  }
  bool active() const override { return open; }
  void purge() override {}
  void setStatusText(std::string_view) override {}
  void appendStatusText(std::string_view) override {}
  void setRecording(bool) override { ++recordingChanges; }
  void readoutRequest() override {}
  void readoutReply(std::string_view) override {}
  void startRun() override {}
  void endRun() override {}
  double elapsed() const override { return 0; }
  void AddPoint(double, double) override {}
  void communicationError() override {}
  void showError(std::string_view) override {}
};

struct IdleTimer : ProtocolTimer {
  bool on = false;
  void start(int) override { on = true; }
  void stop() override { on = false; }
  bool active() const override { return on; }
};

struct WindowFixture : ::testing::Test {
  Translator tr;
  TfmCalibr w{tr};
  FakeLink link;
  IdleTimer dataTimer, timeOff;
  Protocol protocol{link, link, dataTimer, timeOff};
  QStringList messages;
  QStringList reports;

  void SetUp() override {
    w.setPacing(false);
    w.messageHook = [this](MessageKind, const QString& t) { messages.push_back(t); };
    w.errorReport = [this](const QString& t) { reports.push_back(t); };
    w.connectProtocol(protocol);
  }
  QTableWidget* data() { return w.findChild<QTableWidget*>("sgData"); }
  QTableWidget* cof() { return w.findChild<QTableWidget*>("sgCof"); }
  QRect cellRect(QTableWidget* t, int row, int column) { return t->visualRect(t->model()->index(row, column)); }
  void fillStandardPoints() {
    const math::TCofSet iec{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};
    int r = 1;
    for (double t : {-200.0, -100.0, -50.0, -20.0, 0.0, 100.0, 200.0, 400.0, 600.0, 850.0}) {
      w.setDataCell(2, r, formatFixed(math::RofT(iec, t, t < 0), 9, 4));
      w.setDataCell(3, r, formatFixed(t, 6, 1));
      ++r;
    }
  }
};

}  // namespace

TEST_F(WindowFixture, GeometryAndTables) {
  EXPECT_EQ(w.size(), QSize(493, 525));
  EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(data()->rowCount(), 20);
  EXPECT_EQ(data()->columnWidth(0), 24);
  EXPECT_EQ(data()->columnWidth(1), 79);
  EXPECT_EQ(cof()->columnWidth(0), 83);
  EXPECT_EQ(data()->verticalHeaderItem(19)->text(), " 20");
  EXPECT_EQ(cof()->verticalHeaderItem(0)->text(), "Old");
  EXPECT_EQ(w.findChild<QPushButton*>("btCalc")->text(), "Calc1");
}

TEST_F(WindowFixture, ExclusionColumnByMouseAndSpace) {
  w.show();
  QTest::mouseClick(data()->viewport(), Qt::LeftButton, {}, cellRect(data(), 2, 0).center());
  EXPECT_EQ(w.dataCell(1, 3), "X");
  QTest::mouseClick(data()->viewport(), Qt::LeftButton, {}, cellRect(data(), 2, 0).center());
  EXPECT_EQ(w.dataCell(1, 3), "");
  data()->setCurrentCell(4, 0);
  data()->setFocus();
  QTest::keyClick(data(), Qt::Key_Space);
  EXPECT_EQ(w.dataCell(1, 5), "X");
  QTest::keyClick(data(), Qt::Key_Space);
  EXPECT_EQ(w.dataCell(1, 5), "");
  QTest::keyClicks(data(), "A");  // no editing in the exclusion column
  EXPECT_EQ(w.dataCell(1, 5), "");
  // A press on another column does not toggle anything.
  QTest::mouseClick(data()->viewport(), Qt::LeftButton, {}, cellRect(data(), 2, 1).center());
  EXPECT_EQ(w.dataCell(1, 3), "");
}

TEST_F(WindowFixture, OnlyNumberCharactersGetIntoCells) {
  w.show();
  data()->setCurrentCell(0, 1);
  data()->setFocus();
  QTest::keyClicks(data(), "eE,a");
  EXPECT_EQ(data()->findChild<QLineEdit*>(), nullptr);  // no key started editing
  QTest::keyClick(data(), Qt::Key_Minus);
  QLineEdit* editor = data()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor, "1e.5,+");
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();  // the editor commits through a queued call
  EXPECT_EQ(w.dataCell(2, 1), "-1.5+");
  cof()->setCurrentCell(1, 1);
  cof()->setFocus();
  QTest::keyClick(cof(), Qt::Key_3);
  editor = cof()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor, "x.9");
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_EQ(w.cofCell(2, 2), "3.9");
}

TEST_F(WindowFixture, MethodMenuAndCaptions) {
  w.show();
  bool menuOpened = false;
  QTimer::singleShot(0, [&] {
    auto* menu = w.findChild<QMenu*>("pmCalc");
    menuOpened = menu && menu->isVisible();
    if (menu) menu->close();
  });
  w.btCalcMouseDown(Qt::RightButton);
  QCoreApplication::processEvents();
  EXPECT_TRUE(menuOpened);
  EXPECT_TRUE(messages.isEmpty());
  w.pmCalc_N1Click(2);
  EXPECT_EQ(w.findChild<QPushButton*>("btCalc")->text(), "Calc3");
  tr.setLanguage(Language::Russian);
  w.UpdateStrings();
  EXPECT_EQ(w.findChild<QPushButton*>("btCalc")->text(), "Расчет 3");
  EXPECT_EQ(w.windowTitle(), "Расчет градуировочных коэффициентов термометра");
  EXPECT_EQ(w.findChild<QAction*>("pmCalc_N2")->text(),
            "Метод2: A и B - по положительным значениям, C - по отрицательным");
}

TEST_F(WindowFixture, ALeftPressCalculatesAndReportsFaults) {
  fillStandardPoints();
  w.btCalcMouseDown(Qt::LeftButton);
  EXPECT_EQ(w.cofCell(1, 2), "100.000");
  EXPECT_EQ(w.cofCell(2, 2), "3.9083");
  EXPECT_NEAR(*parseNumber(w.cofCell(4, 2)), -4.183, 0.01);  // from resistances rounded to 0.1 mΩ
  EXPECT_EQ(w.HighlightCofRow(), 0);
  // Only rows at or above 0 °C: method 1 ends in an arithmetic fault, reported once.
  for (int r = 1; r <= 4; ++r) w.setDataCell(1, r, "X");
  w.btCalcMouseDown(Qt::MiddleButton);
  ASSERT_EQ(reports.size(), 1);
  EXPECT_EQ(reports[0], "Invalid floating point operation");
  // Method index 3 (from a file) calculates nothing.
  w.setCalcMethod(3);
  EXPECT_EQ(w.findChild<QPushButton*>("btCalc")->text(), "Calc4");
  w.setCofCell(1, 2, "kept");
  w.btCalcMouseDown(Qt::LeftButton);
  EXPECT_EQ(w.cofCell(1, 2), "kept");
}

TEST_F(WindowFixture, ActivationSuspendsRecordingAndClosingResumesIt) {
  ASSERT_TRUE(protocol.miRecordClick(true));
  link.portRequests.clear();
  link.recordingChanges = 0;
  QTimer::singleShot(0, [&] {
    EXPECT_FALSE(protocol.recording());  // suspended while the window is open
    EXPECT_TRUE(link.open);              // but the port stays open for the factor exchange
    w.reject();
  });
  w.exec();
  EXPECT_TRUE(w.WasRecording());
  EXPECT_TRUE(protocol.recording());
  EXPECT_EQ(link.recordingChanges, 2);
  // Recording off closes the port, the window opens it, recording on opens it again.
  EXPECT_EQ(link.portRequests, (std::vector<bool>{false, true, true}));

  ASSERT_FALSE(protocol.miRecordClick(false));
  link.portRequests.clear();
  QTimer::singleShot(0, [&] { w.reject(); });
  w.exec();
  EXPECT_FALSE(protocol.recording());
  EXPECT_EQ(link.portRequests, (std::vector<bool>{true, false}));
}

TEST_F(WindowFixture, CalibrationFilesStoreAndLoadSafely) {
  QTemporaryDir dir;
  QString next;
  w.fileDialogHook = [&](bool, const QString&, const QString&, const QString&) { return next; };
  fillStandardPoints();
  w.setDataCell(1, 2, "X");
  w.setCofCell(2, 1, "3.9083");
  next = dir.filePath("a.clb");
  w.btSaveClick();
  QFile f(next);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll().count("\r\n"), 94);
  // A broken file changes nothing and names the line.
  QFile bad(dir.filePath("bad.clb"));
  bad.open(QIODevice::WriteOnly);
  bad.write("0\r\n5\r\nthirty\r\n");
  bad.close();
  w.setDataCell(2, 1, "changed");
  next = bad.fileName();
  w.btLoadClick();
  ASSERT_EQ(reports.size(), 1);
  EXPECT_EQ(reports[0], "Invalid numeric input (line 3)");
  EXPECT_EQ(w.dataCell(2, 1), "changed");
  next = dir.filePath("a.clb");
  w.btLoadClick();
  EXPECT_EQ(w.dataCell(2, 1), formatFixed(18.5201, 9, 4).substr(0, 7));
  EXPECT_EQ(w.dataCell(1, 2), "X");
  EXPECT_EQ(w.cofCell(2, 1), "3.9083");
}

TEST_F(WindowFixture, Screenshots) {
  fillStandardPoints();
  w.setDataCell(1, 4, "X");
  w.setCofCell(1, 1, "100.000");
  w.setCofCell(2, 1, "3.9083");
  w.setCofCell(3, 1, "-5.7750");
  w.setCofCell(4, 1, "-4.1830");
  w.btCalcMouseDown(Qt::LeftButton);
  w.btErrorClick();
  w.setHighlightDataRow(7);
  w.show();
  QCoreApplication::processEvents();
  w.grab().save(QDir::temp().filePath("velmora-calibration-en.png"));
  tr.setLanguage(Language::Russian);
  w.UpdateStrings();
  w.findChild<QRadioButton*>()->parentWidget()->findChildren<QRadioButton*>()[1]->setChecked(true);
  QCoreApplication::processEvents();
  w.grab().save(QDir::temp().filePath("velmora-calibration-ru.png"));
  EXPECT_EQ(w.dataCell(4, 6), "0.000");
}

TEST_F(WindowFixture, ALongTableIsPacedWithinASecondWithoutBlockingTheWindow) {
  QTemporaryDir dir;
  CalibrationTables t;
  t.dataRows = 1000;  // 999 points, the most a file may hold
  t.resize();
  const math::TCofSet iec{100.0, 3.9083e-3, -5.775e-7, -4.183e-12};
  for (int r = 1; r < t.dataRows; ++r) {
    const double temp = -150 + (r % 40) * 25.0;
    t.data(2, r) = formatFixed(math::RofT(iec, temp, temp < 0), 12, 6);
    t.data(3, r) = formatFixed(temp, 6, 1);
  }
  const QString path = dir.filePath("long.clb");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  const std::string text = calibrationFileText(t);
  f.write(text.data(), static_cast<qint64>(text.size()));
  f.close();
  w.fileDialogHook = [&](bool, const QString&, const QString&, const QString&) { return path; };
  w.btLoadClick();
  ASSERT_EQ(w.dataRowCount(), 1000);
  EXPECT_EQ(rowPauseFor(999), 1);
  EXPECT_EQ(rowPauseFor(20), 50);  // the designed look for the designed table

  w.setPacing(true);
  w.show();
  int timerFired = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++timerFired; });
  ticker.start(50);
  w.btCalcMouseDown(Qt::LeftButton);
  EXPECT_EQ(w.cofCell(1, 2), "100.000");
  EXPECT_TRUE(messages.isEmpty());
  // 999 rows at the designed 50 ms would block for 50 s; the pauses now let the program's
  // timers run (rows ~1 s plus the 0.6-s blink: some 30 ticks of 50 ms).
  EXPECT_GE(timerFired, 10);
}
