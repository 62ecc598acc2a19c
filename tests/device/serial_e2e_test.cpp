// The real serial stack (port object, background thread, block assembly, hand-over,
// connection, protocol) against the thermometer simulator on a pseudo-terminal.
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <dirent.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <QSignalSpy>

#include <fstream>
#include <sstream>

#include "device_rig.h"
#include "pty_front_end.h"

using namespace velmora;

namespace {

// CPU time (user + system, seconds) of this process's thread named `name`; -1 when none.
double threadCpuSeconds(const std::string& name) {
  DIR* dir = opendir("/proc/self/task");
  if (!dir) return -1;
  double result = -1;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const std::string base = std::string("/proc/self/task/") + e->d_name;
    std::ifstream comm(base + "/comm");
    std::string threadName;
    std::getline(comm, threadName);
    if (threadName != name) continue;
    std::ifstream statFile(base + "/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i == 14) utime = std::stol(field);
      if (i == 15) stime = std::stol(field);
    }
    result = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
  }
  closedir(dir);
  return result;
}

struct E2E : ::testing::Test {
  sim::PtyThermometer thermometer{7};
  std::unique_ptr<test::DeviceRig> rig;

  void SetUp() override {
    ASSERT_TRUE(thermometer.start());
    thermometer.withModel([](sim::ThermometerModel& m) {
      m.profile.kind = sim::Profile::Kind::Steady;
      m.profile.base = 21.0;
      m.profile.noise = 0.001;
    });
    rig = std::make_unique<test::DeviceRig>(ConnectionOptions{});
    rig->connection.serialPort().setCommPort(thermometer.devicePath());
  }
  void TearDown() override {
    rig.reset();
    thermometer.stop();
  }
  void setRate(int rate) { rig->setRate(rate); }
  void record(bool on) { rig->record(on); }
  std::size_t points() { return rig->points(); }
  Protocol& protocol() { return rig->protocol; }
  const QStringList& messages() { return rig->windows.messages; }
};

}  // namespace

TEST_F(E2E, TheFirstAnswerAfterOpeningKeepsEveryDigitWithOrWithoutASettlingCharacter) {
  setRate(120);
  for (const bool settle : {true, false}) {
    thermometer.setSettleOnOpen(settle);
    rig->windows.resistances.clear();
    record(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig->windows.resistances.empty(); }, 10000)) << settle;
    record(false);
    EXPECT_NEAR(rig->windows.resistances[0], 108.19, 0.05) << settle;  // 21 °C, not "08.19"
  }
}

TEST(SerialPortObject, AFailedModemLineCallOnAPortWithoutThemIsNoLostDevice) {
  // A pseudo-terminal has no modem lines: DTR and RTS fail (ENOTTY) while an answer waits.
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  termios tio{};
  tcgetattr(master, &tio);
  cfmakeraw(&tio);
  tcsetattr(master, TCSANOW, &tio);
  TSerialPort port;
  port.CommPort = ptsname(master);
  QSignalSpy lost(&port, &TSerialPort::deviceLost);
  QSignalSpy received(&port, &TSerialPort::received);
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(port.setActive(true));
    ASSERT_EQ(::write(master, "108.19 21.00\r", 13), 13);
    port.setDTR(true);
    port.setRTS(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() > i || !lost.isEmpty(); }, 5000)) << i;
    EXPECT_TRUE(lost.isEmpty()) << i;
    EXPECT_TRUE(port.Active()) << i;
    port.setActive(false);
  }
  ::close(master);
}

TEST_F(E2E, RecordsReadingsAtTheChosenRate) {
  setRate(120);
  record(true);
  ASSERT_TRUE(protocol().recording());
  ASSERT_TRUE(QTest::qWaitFor([&] { return points() >= 20; }, 20000));
  record(false);
  const auto& s = rig->windows.points;
  for (std::size_t i = 0; i < s.size(); ++i) {
    EXPECT_NEAR(s[i].second, 21.0, 0.05);
    if (i) {
      EXPECT_GT(s[i].first, s[i - 1].first);
    }
  }
  // About two readings a second.
  const double seconds = (s.back().first - s.front().first) * 86400;
  EXPECT_NEAR(seconds / static_cast<double>(s.size() - 1), 0.5, 0.15);
  EXPECT_TRUE(messages().isEmpty());
}

TEST_F(E2E, ASilentInstrumentEndsRecordingWithTheCommunicationError) {
  setRate(120);
  record(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return points() >= 2; }, 5000));
  thermometer.withModel([](sim::ThermometerModel& m) { m.faults.silent = true; });
  const std::size_t kept = points();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !protocol().recording(); }, 20000));
  ASSERT_EQ(messages().size(), 1);
  EXPECT_EQ(messages()[0], "Communication error!\rCheck cable connection");
  EXPECT_GE(points(), kept);
  EXPECT_FALSE(rig->connection.serialPort().Active());
}

TEST_F(E2E, GarbageAndLinesSplitAcrossBlocks) {
  rig->connection.serialPort().ClusterSize = 5;  // every answer arrives in pieces
  thermometer.withModel([](sim::ThermometerModel& m) { m.faults.garbageRate = 0.25; });
  setRate(120);
  record(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return points() >= 8; }, 20000));
  record(false);
  for (const auto& p : rig->windows.points) EXPECT_NEAR(p.second, 21.0, 0.05);
}

TEST_F(E2E, FactorsAreWrittenWithARejectedEchoAndReadBack) {
  thermometer.withModel([](sim::ThermometerModel& m) { m.faults.wrongEchoes = 1; });
  auto& c = rig->windows.cof;
  ASSERT_TRUE(protocol().ToggleSerialPort(true));
  protocol().RetriesLeft = 5;
  c[2][1] = "100.012";
  c[2][2] = "3.9080";
  c[2][3] = "-5.8000";
  c[2][4] = "-4.2000";
  protocol().startCofWrite();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !protocol().WritingCof; }, 20000));
  EXPECT_TRUE(messages().isEmpty());
  double r0 = 0, a = 0;
  thermometer.withModel([&](sim::ThermometerModel& m) {
    r0 = m.stored.R0;
    a = m.stored.A;
  });
  EXPECT_DOUBLE_EQ(r0, 100.012);
  EXPECT_DOUBLE_EQ(a, 3.908e-3);
  protocol().startCofRead();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !protocol().ReadingCof; }, 10000));
  EXPECT_EQ(c[1][1], "100.012");
  EXPECT_EQ(c[1][2], "3.9080");
  EXPECT_EQ(c[1][3], "-5.8000");
  EXPECT_EQ(c[1][4], "-4.2000");
}

TEST_F(E2E, TheDeviceVanishingDuringARecording) {
  setRate(120);
  record(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return points() >= 3; }, 5000));
  thermometer.vanish();
  const std::size_t kept = points();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !protocol().recording(); }, 20000));
  EXPECT_EQ(messages().size(), 1);
  EXPECT_EQ(points(), kept);
}


TEST_F(E2E, AHungUpPortIsClosedAndTheWorkerRestsWhileThePortIsHeldOpen) {
  // The port held open without polling, as while the calibration window is shown.
  ASSERT_TRUE(protocol().ToggleSerialPort(true));
  ASSERT_TRUE(rig->connection.serialPort().Active());
  thermometer.vanish();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !rig->connection.serialPort().Active(); }, 3000));
  const double before = threadCpuSeconds("TWorkThread");
  ASSERT_GE(before, 0);
  QTest::qWait(2000);
  EXPECT_LT(threadCpuSeconds("TWorkThread") - before, 0.1);  // a spinning worker takes ~1 s of 2
  EXPECT_TRUE(messages().isEmpty());  // transport errors stay silent
}

TEST_F(E2E, TheWorkerWaitsUntilTheHandlerOfABlockHasReturned) {
  TSerialPort& port = rig->connection.serialPort();
  std::vector<std::pair<long, long>> seen;  // blocks delivered at the handler's start and end
  QObject::connect(&port, &TSerialPort::received, [&](const QByteArray&) {
    const long atStart = port.deliveredBlocks();
    QThread::msleep(60);  // the instrument answers more meanwhile
    seen.emplace_back(atStart, port.deliveredBlocks());
  });
  setRate(120);
  record(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen.size() >= 4; }, 10000));
  record(false);
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].first, seen[i].second) << i;  // nothing delivered while a handler runs
    EXPECT_EQ(seen[i].first, static_cast<long>(i)) << i;  // and each block counted only after it
  }
}

TEST_F(E2E, WithReconnectOnAFiveSecondOutageIsBridgedAndShownAtItsLength) {
  // The port is a fixed path (a link) that points to the instrument's pseudo-terminal, as a
  // USB-serial adapter keeps its device name when it comes back.
  QTemporaryDir dir;
  const QString link = dir.filePath("ttyTHERMO");
  ASSERT_TRUE(QFile::link(QString::fromStdString(thermometer.devicePath()), link));
  rig->connection.serialPort().setCommPort(link.toStdString());
  rig->enableReconnect(600000);
  setRate(120);
  ASSERT_TRUE(rig->record(true));
  ASSERT_TRUE(QTest::qWaitFor([&] { return points() >= 4; }, 10000));
  thermometer.vanish();
  // Nothing may answer at the port's path during the outage: pseudo-terminal numbers are
  // reused at once by other programs (other tests), so the link goes with the instrument.
  QFile::remove(link);
  QElapsedTimer outage;
  outage.start();
  const std::size_t before = points();
  ASSERT_TRUE(QTest::qWaitFor([&] { return protocol().reconnecting(); }, 10000));
  // The outage lasts while two attempts to reopen fail (2 s apart), however busy the machine.
  ASSERT_TRUE(QTest::qWaitFor([&] { return rig->windows.attempts.size() >= 2; }, 20000));
  // Back at the same path.
  sim::PtyThermometer again{8};
  ASSERT_TRUE(again.start());
  ASSERT_TRUE(QFile::link(QString::fromStdString(again.devicePath()), link));
  const double outageSeconds = static_cast<double>(outage.elapsed()) / 1000.0;
  ASSERT_TRUE(QTest::qWaitFor([&] { return points() >= before + 3; }, 20000));
  rig->record(false);
  again.stop();
  EXPECT_TRUE(messages().isEmpty());  // no box
  EXPECT_GE(rig->windows.attempts.size(), 2u);
  EXPECT_EQ(rig->windows.restored, 1);
  // The readings on both sides are kept, and the outage has its true length in time.
  const auto& p = rig->windows.points;
  double widest = 0;
  for (std::size_t i = 1; i < p.size(); ++i) widest = std::max(widest, (p[i].first - p[i - 1].first) * 86400);
  EXPECT_GT(widest, outageSeconds);
  EXPECT_LT(widest, outageSeconds + 10.0);  // found again within a few attempts
}
