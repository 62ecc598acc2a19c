// The real serial stack (port object, background thread, block assembly, protocol, main
// window) against the thermometer simulator on a pseudo-terminal, and against the demo port.
#include <QAction>
#include <QDir>
#include <QToolBar>
#include <QTest>
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "calibration/calibration_window.h"
#include "device/serial_port.h"
#include "pty_front_end.h"

using namespace velmora;

namespace {

struct E2E : ::testing::Test {
  MemorySettingsBackend store;
  sim::PtyThermometer thermometer{7};
  std::unique_ptr<TfmMain> w;
  QStringList messages;

  void SetUp() override {
    ASSERT_TRUE(thermometer.start());
    thermometer.withModel([](sim::ThermometerModel& m) {
      m.profile.kind = sim::Profile::Kind::Steady;
      m.profile.base = 21.0;
      m.profile.noise = 0.001;
    });
    w = std::make_unique<TfmMain>(store, MainWindowOptions::with(false, 1033));
    w->messageHook = [this](MessageKind, const QString& text) { messages.push_back(text); };
    w->serialPort().setCommPort(thermometer.devicePath());
  }
  void TearDown() override {
    if (w && w->protocol().recording()) record(false);
    w.reset();
    thermometer.stop();
  }
  void setRate(int rate) { w->findChild<QSpinBox*>("seFlow")->setValue(rate); }
  void record(bool on) {
    auto* a = w->findChild<QAction*>("miRecord");
    a->setChecked(on);
    w->miRecordClick();
  }
  std::size_t points() { return w->display().series().size(); }
};

}  // namespace

TEST_F(E2E, RecordsReadingsAtTheChosenRate) {
  setRate(120);
  record(true);
  ASSERT_TRUE(w->protocol().recording());
  ASSERT_TRUE(QTest::qWaitFor([&] { return points() >= 20; }, 20000));
  record(false);
  const auto& s = w->display().series();
  for (std::size_t i = 0; i < s.size(); ++i) {
    EXPECT_NEAR(s.y(i), 21.0, 0.05);
    if (i) {
      EXPECT_GT(s.x(i), s.x(i - 1));
    }
  }
  // About two readings a second.
  const double seconds = (s.x(s.size() - 1) - s.x(0)) * 86400;
  EXPECT_NEAR(seconds / (s.size() - 1), 0.5, 0.15);
  EXPECT_TRUE(messages.isEmpty());
  w->flushViews();
  EXPECT_EQ(w->display().list().size(), s.size());
}

TEST_F(E2E, ASilentInstrumentEndsRecordingWithTheCommunicationError) {
  setRate(120);
  record(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return points() >= 2; }, 5000));
  thermometer.withModel([](sim::ThermometerModel& m) { m.faults.silent = true; });
  const std::size_t kept = points();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w->protocol().recording(); }, 20000));
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], "Communication error!\rCheck cable connection");
  EXPECT_GE(points(), kept);
  EXPECT_FALSE(w->serialPort().Active());
}

TEST_F(E2E, GarbageAndLinesSplitAcrossBlocks) {
  w->serialPort().ClusterSize = 5;  // every answer arrives in pieces
  thermometer.withModel([](sim::ThermometerModel& m) { m.faults.garbageRate = 0.25; });
  setRate(120);
  record(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return points() >= 8; }, 20000));
  record(false);
  for (std::size_t i = 0; i < points(); ++i) EXPECT_NEAR(w->display().series().y(i), 21.0, 0.05);
}

TEST_F(E2E, FactorsAreWrittenWithARejectedEchoAndReadBack) {
  thermometer.withModel([](sim::ThermometerModel& m) { m.faults.wrongEchoes = 1; });
  TfmCalibr* c = w->calibrationWindow();
  ASSERT_TRUE(w->protocol().ToggleSerialPort(true));
  w->protocol().RetriesLeft = 5;
  c->setCoefficientText(2, 1, "100.012");
  c->setCoefficientText(2, 2, "3.9080");
  c->setCoefficientText(2, 3, "-5.8000");
  c->setCoefficientText(2, 4, "-4.2000");
  w->protocol().startCofWrite();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w->protocol().WritingCof; }, 20000));
  EXPECT_TRUE(messages.isEmpty());
  double r0 = 0, a = 0;
  thermometer.withModel([&](sim::ThermometerModel& m) {
    r0 = m.stored.R0;
    a = m.stored.A;
  });
  EXPECT_DOUBLE_EQ(r0, 100.012);
  EXPECT_DOUBLE_EQ(a, 3.908e-3);
  w->protocol().startCofRead();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w->protocol().ReadingCof; }, 10000));
  EXPECT_EQ(c->coefficientText(1, 1), "100.012");
  EXPECT_EQ(c->coefficientText(1, 2), "3.9080");
  EXPECT_EQ(c->coefficientText(1, 3), "-5.8000");
  EXPECT_EQ(c->coefficientText(1, 4), "-4.2000");
}

TEST_F(E2E, TheDeviceVanishingDuringARecording) {
  setRate(120);
  record(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return points() >= 3; }, 5000));
  thermometer.vanish();
  const std::size_t kept = points();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w->protocol().recording(); }, 20000));
  EXPECT_EQ(messages.size(), 1);
  EXPECT_EQ(points(), kept);
}

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
  w.addToolBar(Qt::LeftToolBarArea, w.findChild<QToolBar*>("TBToolbar"));
  w.findChild<QAction*>("miSelectView")->trigger();
  QCoreApplication::processEvents();
  w.grab().save(QDir::temp().filePath("velmora-demo-ru-left.png"));
  a->setChecked(false);
  w.miRecordClick();
  EXPECT_NEAR(w.display().series().y(0), 21.0, 2.0);
}
