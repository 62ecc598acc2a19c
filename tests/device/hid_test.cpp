// The USB adapter through a fake HID backend: arrivals and removals, the port list, a whole
// recording with the instrument model answering in reports, malformed reports.
#include <QSignalSpy>
#include <QTest>
#include <condition_variable>
#include <deque>
#include <gtest/gtest.h>
#include <map>
#include <mutex>

#include "device/hid_controller.h"
#include "device_rig.h"
#include "simulator/thermometer_model.h"

using namespace velmora;

namespace {

// Devices the fake system offers, shared between the test and the backend it hands out.
struct FakeHidWorld {
  std::mutex mutex;
  std::condition_variable wake;
  std::vector<HidDeviceInfo> devices;
  std::map<std::string, std::deque<std::vector<std::uint8_t>>> input;  // per path
  std::vector<std::vector<std::uint8_t>> written;
  std::map<std::string, bool> gone;
  sim::ThermometerModel model;
  bool answer = true;

  void queueText(const std::string& path, const std::string& text) {
    std::vector<std::uint8_t> r(65, 0);
    r[1] = static_cast<std::uint8_t>(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) r[5 + i] = static_cast<std::uint8_t>(text[i]);
    input[path].push_back(r);
    wake.notify_all();
  }
};

struct FakeHandle : HidHandle {
  std::shared_ptr<FakeHidWorld> world;
  std::string path;
  int read(std::uint8_t* buffer, std::size_t length, int timeoutMs) override {
    std::unique_lock lock(world->mutex);
    world->wake.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [&] { return world->gone[path] || !world->input[path].empty(); });
    if (world->gone[path]) return -1;
    if (world->input[path].empty()) return 0;
    auto r = world->input[path].front();
    world->input[path].pop_front();
    const std::size_t n = std::min(length, r.size());
    std::copy_n(r.begin(), n, buffer);
    return static_cast<int>(n);
  }
  int write(const std::uint8_t* data, std::size_t length) override {
    std::lock_guard lock(world->mutex);
    if (world->gone[path]) return -1;
    world->written.emplace_back(data, data + length);
    if (world->answer && length > 5 && data[1] > 0) {
      const std::string text(reinterpret_cast<const char*>(data + 5), data[1]);
      const std::string reply = world->model.receive(text, 0);
      if (!reply.empty()) world->queueText(path, reply);
    }
    return static_cast<int>(length);
  }
  std::size_t inputReportLength() const override { return 65; }
  std::size_t outputReportLength() const override { return 65; }
  std::string lastError() const override { return "device gone"; }
  int lastErrorCode() const override { return 0x1f; }
};

struct FakeBackend : HidBackend {
  std::shared_ptr<FakeHidWorld> world;
  bool available() const override { return true; }
  std::vector<HidDeviceInfo> enumerate() override {
    std::lock_guard lock(world->mutex);
    return world->devices;
  }
  std::unique_ptr<HidHandle> open(const HidDeviceInfo& d) override {
    auto h = std::make_unique<FakeHandle>();
    h->world = world;
    h->path = d.path;
    return h;
  }
};

HidDeviceInfo adapter(const std::string& path, const std::string& serial = "0001") {
  return {path, 0x1234, 0x5678, "USB-COM adapter", "KORVAN", serial};
}

struct HidFixture : ::testing::Test {
  std::shared_ptr<FakeHidWorld> world = std::make_shared<FakeHidWorld>();
  std::unique_ptr<test::DeviceRig> rig;

  void open(bool demo = true, bool usbChosen = false) {
    ConnectionOptions options;
    options.demo = demo;
    options.hidBackend = [this] {
      auto b = std::make_unique<FakeBackend>();
      b->world = world;
      return std::unique_ptr<HidBackend>(std::move(b));
    };
    rig = std::make_unique<test::DeviceRig>(options);
    if (demo) rig->connection.serialPort().CommPort = "DEMO";
    rig->connection.setUsbSelected(usbChosen);
    rig->connection.buildPortList();
  }
  ConnectionController& c() { return rig->connection; }
  void plug(const HidDeviceInfo& d) {
    {
      std::lock_guard lock(world->mutex);
      world->devices.push_back(d);
    }
    c().hidController().poll();
  }
  void unplug(const std::string& path) {
    {
      std::lock_guard lock(world->mutex);
      world->gone[path] = true;
      std::erase_if(world->devices, [&](const HidDeviceInfo& d) { return d.path == path; });
    }
    world->wake.notify_all();
    c().hidController().poll();
  }
};

}  // namespace

TEST_F(HidFixture, OnlyTheAdapterIsTakenAndOnlyOne) {
  open();
  const std::size_t serialEntries = c().PortList().size();
  plug({"/hid/mouse", 1, 2, "Mouse", "KORVAN", ""});
  plug({"/hid/other", 1, 2, "USB-COM adapter", "Someone", ""});
  EXPECT_FALSE(c().UsbPresent());
  plug(adapter("/hid/a"));
  ASSERT_TRUE(c().UsbPresent());
  ASSERT_EQ(c().PortList().size(), serialEntries + 1);
  EXPECT_EQ(c().PortList().back(), "USB");
  EXPECT_TRUE(c().isUsbEntry(serialEntries));
  EXPECT_EQ(rig->windows.status, "USB-COM adapter \u21160001");
  ASSERT_FALSE(world->written.empty());
  const std::vector<std::uint8_t> setup{0x00, 0x00, 0x00, 0x62, 0x77, 0xC0, 0x12, 0x00, 0x00};
  EXPECT_EQ(std::vector<std::uint8_t>(world->written[0].begin(), world->written[0].begin() + 9), setup);
  plug(adapter("/hid/b", "0002"));  // a second adapter is ignored
  EXPECT_EQ(c().PortList().size(), serialEntries + 1);
}

TEST_F(HidFixture, TheStoredChoiceSelectsTheAdapterOnArrival) {
  open(true, true);
  plug(adapter("/hid/a"));
  EXPECT_TRUE(c().UsbSelected());
  EXPECT_TRUE(c().usbActive());
  EXPECT_EQ(c().checkedEntry(), static_cast<int>(c().PortList().size()) - 1);
}

TEST_F(HidFixture, ARecordingOverTheAdapter) {
  open(true, true);
  plug(adapter("/hid/a"));
  rig->setRate(120);
  ASSERT_TRUE(rig->record(true));
  ASSERT_TRUE(QTest::qWaitFor([&] { return rig->points() >= 4; }, 10000));
  rig->record(false);
  EXPECT_NEAR(rig->windows.points[0].second, 21.0, 2.5);
  EXPECT_TRUE(rig->windows.messages.isEmpty());
  EXPECT_FALSE(c().serialPort().Active());  // the serial port was never opened
  // The poll went out as an output report.
  bool sawPoll = false;
  for (const auto& r : world->written) sawPoll = sawPoll || (r[1] == 2 && r[5] == 'd' && r[6] == '\r');
  EXPECT_TRUE(sawPoll);
}

TEST_F(HidFixture, RemovalWhileChosenSelectsTheFirstSerialEntry) {
  open(true, true);  // the demo port is the serial entry
  plug(adapter("/hid/a"));
  ASSERT_TRUE(c().UsbSelected());
  QSignalSpy removed(&c(), &ConnectionController::adapterRemoved);
  unplug("/hid/a");
  ASSERT_EQ(removed.size(), 1);
  EXPECT_FALSE(removed[0][0].toBool());  // nobody waits for it: the window gives the port menu back
  EXPECT_EQ(removed[0][1].toString(), "0001");
  EXPECT_FALSE(c().UsbPresent());
  EXPECT_FALSE(c().UsbSelected());
  EXPECT_EQ(std::count(c().PortList().begin(), c().PortList().end(), "USB"), 0);
  EXPECT_EQ(c().checkedEntry(), 0);
  EXPECT_EQ(c().serialPortName(), c().PortList().front());
  EXPECT_EQ(rig->windows.status, "");
}

TEST_F(HidFixture, RemovalDuringARecordingEndsInTheTimeOut) {
  open(true, true);
  plug(adapter("/hid/a"));
  rig->setRate(120);
  rig->record(true);
  ASSERT_TRUE(QTest::qWaitFor([&] { return rig->points() >= 2; }, 10000));
  unplug("/hid/a");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !rig->protocol.recording(); }, 20000));
  ASSERT_EQ(rig->windows.messages.size(), 1);
  EXPECT_EQ(rig->windows.messages[0], "Communication error!\rCheck cable connection");
}

TEST_F(HidFixture, MalformedReportsAndLongCommands) {
  open();
  rig->protocol.WaitData = true;
  c().GetReport(0, QByteArray("\x01", 1));                     // too short
  c().GetReport(0, QByteArray("\x00\x00\x00\x00" "1 2\r", 8));  // zero count: ignored
  EXPECT_TRUE(rig->protocol.WaitData);
  c().GetReport(0, QByteArray("\xff\x00\x00\x00" "100 22.5\r", 13));  // count larger than the report
  EXPECT_FALSE(rig->protocol.WaitData);
  EXPECT_EQ(rig->points(), 1u);
  plug(adapter("/hid/a"));
  EXPECT_FALSE(c().SendReport(std::string(70, 'x')));
  EXPECT_EQ(rig->windows.status, "Command too long for the USB adapter");
}

TEST_F(HidFixture, WithReconnectOnTheSameAdapterComingBackResumesAndAnotherIsNotTaken) {
  open(true, true);
  plug(adapter("/hid/a", "0001"));
  rig->enableReconnect(600000);
  rig->setRate(120);
  ASSERT_TRUE(rig->record(true));
  ASSERT_TRUE(QTest::qWaitFor([&] { return rig->points() >= 2; }, 10000));
  unplug("/hid/a");
  EXPECT_FALSE(c().UsbPresent());
  EXPECT_TRUE(c().UsbSelected());  // still the chosen link
  EXPECT_TRUE(rig->protocol.reconnecting());
  EXPECT_FALSE(c().serialPort().Active());  // not the serial port instead
  plug(adapter("/hid/b", "0002"));  // a different adapter is not taken
  EXPECT_FALSE(c().UsbPresent());
  const std::size_t before = rig->points();
  plug(adapter("/hid/c", "0001"));  // the same one, at another path
  EXPECT_TRUE(c().UsbPresent());
  ASSERT_TRUE(QTest::qWaitFor([&] { return rig->points() >= before + 2; }, 10000));
  EXPECT_FALSE(rig->protocol.reconnecting());
  EXPECT_TRUE(rig->windows.messages.isEmpty());
}

TEST_F(HidFixture, ABriefGlitchUnderTheSamePathIsSeenThroughTheFailingReader) {
  open(true, true);
  plug(adapter("/hid/a"));
  rig->enableReconnect(600000);
  rig->setRate(120);
  ASSERT_TRUE(rig->record(true));
  ASSERT_TRUE(QTest::qWaitFor([&] { return rig->points() >= 2; }, 10000));
  // 0.3 s gone; the enumeration never notices (same path before and after).
  {
    std::lock_guard lock(world->mutex);
    world->gone["/hid/a"] = true;
  }
  world->wake.notify_all();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !c().UsbPresent(); }, 2000));  // the reader failed
  QTest::qWait(300);
  {
    std::lock_guard lock(world->mutex);
    world->gone["/hid/a"] = false;
  }
  c().hidController().poll();  // the next search brings it back
  EXPECT_TRUE(c().UsbPresent());
  const std::size_t before = rig->points();
  ASSERT_TRUE(QTest::qWaitFor([&] { return rig->points() >= before + 2; }, 10000));
  EXPECT_TRUE(rig->windows.messages.isEmpty());
  // Without a recording the adapter simply works again afterwards, too.
  rig->record(false);
  EXPECT_TRUE(c().UsbPresent());
}
