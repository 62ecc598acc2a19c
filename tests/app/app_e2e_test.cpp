// The whole program as a user meets it: the main window recording from the demo thermometer,
// and the calibration window writing factors into the simulator on a pseudo-terminal.
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QSpinBox>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "calibration/calibration_window.h"
#include "device/serial_port.h"
#include "pty_front_end.h"

using namespace velmora;

TEST(DemoPort, RecordsThroughTheSamePath) {
  MemorySettingsBackend store;
  TfmMain w(store, MainWindowOptions::with(true, 1033));
  w.messageHook = [](MessageKind, const QString&) { FAIL() << "no message expected"; };
  w.show();
  EXPECT_EQ(w.serialPort().CommPort, "DEMO");
  EXPECT_NE(std::find(w.PortList().begin(), w.PortList().end(), "DEMO"), w.PortList().end());
  w.findChild<QSpinBox*>("seFlow")->setValue(120);
  auto* a = w.findChild<QAction*>("miRecord");
  a->setChecked(true);
  w.miRecordClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.display().series().size() >= 4; }, 10000));
  w.resize(800, 600);
  w.findChild<QAction*>("miTune")->trigger();
  w.flushViews();
  QCoreApplication::processEvents();
  w.grab().save(QDir::temp().filePath("velmora-demo-en.png"));
  w.findChild<QAction*>("miLangRU")->trigger();
  w.findChild<QAction*>("miSelectView")->trigger();
  QCoreApplication::processEvents();
  w.grab().save(QDir::temp().filePath("velmora-demo-ru-list.png"));
  {
    // At the designed 800 px, in Russian, the statistics button leaves the readout in sight.
    auto* readout = w.findChild<QLabel*>("lbTablo");
    auto* toolbar = w.findChild<QToolBar*>("TBToolbar");
    ASSERT_TRUE(readout->isVisible());
    EXPECT_LE(readout->mapTo(toolbar, QPoint(readout->width(), 0)).x(), toolbar->width());
  }
  // The demo answers resistance and temperature: both are kept, with the clock time.
  EXPECT_NEAR(w.display().series().resistance(0), 108.2, 1.5);
  EXPECT_NE(w.display().series().utcMs(0), kNoTime);
  w.findChild<QAction*>("miSelectView")->trigger();
  w.findChild<QAction*>("miClockTime")->setChecked(true);
  w.findChild<QAction*>("miStats")->setChecked(true);
  w.flushViews();
  QCoreApplication::processEvents();
  w.grab().save(QDir::temp().filePath("velmora-demo-ru-clock.png"));
  w.findChild<QAction*>("miStats")->setChecked(false);
  w.findChild<QAction*>("miClockTime")->setChecked(false);
  w.findChild<QAction*>("miSelectView")->trigger();
  w.addToolBar(Qt::LeftToolBarArea, w.findChild<QToolBar*>("TBToolbar"));
  w.findChild<QAction*>("miSelectView")->trigger();
  QCoreApplication::processEvents();
  w.grab().save(QDir::temp().filePath("velmora-demo-ru-left.png"));
  a->setChecked(false);
  w.miRecordClick();
  EXPECT_NEAR(w.display().series().y(0), 21.0, 2.0);
}

namespace {
// A main window in English reading a pty instrument of its own; the messages it shows are kept.
struct PtyWindow : ::testing::Test {
  sim::PtyThermometer thermometer{3};
  MemorySettingsBackend store;
  std::unique_ptr<TfmMain> window;
  QStringList messages;
  void SetUp() override {
    ASSERT_TRUE(thermometer.start());
    window = std::make_unique<TfmMain>(store, MainWindowOptions::with(false, 1033));
    window->messageHook = [this](MessageKind, const QString& t) { messages.push_back(t); };
    window->serialPort().setCommPort(thermometer.devicePath());
  }
};
}  // namespace

TEST_F(PtyWindow, TheWindowWritesFactorsIntoTheInstrumentAndReadsThemBack) {
  TfmMain& w = *window;
  thermometer.withModel([](sim::ThermometerModel& m) { m.faults.wrongEchoes = 1; });
  TfmCalibr* c = w.calibrationWindow();
  bool written = false, read = false;
  QTimer::singleShot(0, [&] {
    c->setCoefficientText(2, 1, "100.012");
    c->setCoefficientText(2, 2, "3.9080");
    c->setCoefficientText(2, 3, "-5.8000");
    c->setCoefficientText(2, 4, "-4.2000");
    c->findChild<QPushButton*>("btWrite")->click();
    written = QTest::qWaitFor([&] { return !w.protocol().WritingCof; }, 20000);
    c->findChild<QPushButton*>("btRead")->click();
    read = QTest::qWaitFor([&] { return !w.protocol().ReadingCof; }, 10000);
    c->reject();
  });
  c->exec();  // opens the port while shown, closes it again after
  EXPECT_TRUE(written);
  EXPECT_TRUE(read);
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_EQ(c->coefficientText(1, 1), "100.012");
  EXPECT_EQ(c->coefficientText(1, 4), "-4.2000");
  double r0 = 0;
  thermometer.withModel([&](sim::ThermometerModel& m) { r0 = m.stored.R0; });
  EXPECT_DOUBLE_EQ(r0, 100.012);
  EXPECT_FALSE(w.serialPort().Active());
  thermometer.stop();
}

TEST_F(PtyWindow, AnOldValueIsGreyedWithItsAge) {
  TfmMain& w = *window;
  w.findChild<QSpinBox*>("seFlow")->setValue(120);
  auto* record = w.findChild<QAction*>("miRecord");
  record->setChecked(true);
  w.miRecordClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.display().series().size() >= 2; }, 10000));
  auto* readout = w.findChild<QLabel*>("lbTablo");
  EXPECT_TRUE(readout->toolTip().isEmpty());
  thermometer.withModel([](sim::ThermometerModel& m) { m.faults.silent = true; });
  // Three polling periods are 1.5 s at 120 a minute.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !readout->toolTip().isEmpty(); }, 5000));
  EXPECT_TRUE(readout->toolTip().startsWith("Reading received ")) << readout->toolTip().toStdString();
  EXPECT_EQ(readout->palette().color(QPalette::WindowText), QColor(150, 150, 150));
  thermometer.withModel([](sim::ThermometerModel& m) { m.faults.silent = false; });
  ASSERT_TRUE(QTest::qWaitFor([&] { return readout->toolTip().isEmpty(); }, 5000));
  record->setChecked(false);
  w.miRecordClick();
  thermometer.stop();
}

TEST_F(PtyWindow, WithVerifyOnTheWriteIsReadBackAndADifferentStoredValueIsReported) {
  TfmMain& w = *window;
  TfmCalibr* c = w.calibrationWindow();
  c->verifyBox()->setChecked(true);
  QString firstStatus, secondStatus;
  bool firstDone = false, secondDone = false;
  // Writes the same factors and waits for the write and its read-back; the status after it.
  const auto writeFactors = [&](bool& done) {
    const QStringList factors{"100.012", "3.9080", "-5.8000", "-4.2000"};
    for (int i = 0; i < 4; ++i) c->setCoefficientText(2, i + 1, factors[i]);
    c->findChild<QPushButton*>("btWrite")->click();
    done = QTest::qWaitFor([&] { return !w.protocol().WritingCof && !w.protocol().VerifyingCof; }, 20000);
    return c->status();
  };
  QString keptCell;
  bool marked = false, thirdDone = false;
  QTimer::singleShot(0, [&] {
    firstStatus = writeFactors(firstDone);
    thermometer.withModel([](sim::ThermometerModel& m) { m.faults.storeDifferent = 3; });
    secondStatus = writeFactors(secondDone);
    // The refused factor keeps what was written, marked, so that Write sends it again
    // (not the value the instrument confirmed, which a second write would make permanent).
    keptCell = c->coefficientText(2, 4);
    marked = c->cofMismatch(3);
    c->findChild<QPushButton*>("btWrite")->click();
    thirdDone = QTest::qWaitFor([&] { return !w.protocol().WritingCof && !w.protocol().VerifyingCof; }, 20000);
    c->reject();
  });
  c->exec();
  EXPECT_TRUE(firstDone);
  EXPECT_TRUE(secondDone);
  EXPECT_EQ(firstStatus, "verified");
  ASSERT_GE(messages.size(), 2);
  EXPECT_EQ(messages[0], "The factors read back from the instrument match those written.");
  EXPECT_TRUE(secondStatus.startsWith("The instrument holds different values: C written -4.2000, read -4.2042"))
      << secondStatus.toStdString();
  EXPECT_EQ(keptCell, "-4.2000");
  EXPECT_TRUE(marked);
  EXPECT_TRUE(thirdDone);
  double c3 = 0;
  thermometer.withModel([&](sim::ThermometerModel& m) { c3 = m.stored.C; });
  EXPECT_NEAR(c3, -4.2000e-12 * 1.001, 1e-16);  // 0.1 % off what was written, not compounded
  EXPECT_EQ(messages.last(), messages[messages.size() - 2]);
  thermometer.stop();
}
