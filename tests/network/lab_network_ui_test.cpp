// The lab network in the program: off unless turned on; the settings dialog refuses what
// cannot work and keeps the password out of the settings store, in a file only its owner
// reads; two instruments on pseudo-terminals recorded by the window reach a real broker with
// the values the window holds; the lab view shows them and draws the selected one; the
// status-bar field follows the broker going away, in both languages.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <qcustomplot.h>
#include <sys/stat.h>

#include "app/main_window.h"
#include "channel/channel_set.h"
#include "device/serial_port.h"
#include "mqtt_broker.h"
#include "network/lab_board.h"
#include "network/network_settings.h"
#include "network_ui/lab_network.h"
#include "network_ui/lab_view.h"
#include "network_ui/network_dialog.h"
#include "pty_front_end.h"

using namespace velmora;
using velmora::test::Broker;
using velmora::test::Subscriber;

namespace {
struct Window : ::testing::Test {
  MemorySettingsBackend store;
  QTemporaryDir folder;
  std::unique_ptr<TfmMain> w;
  LabNetwork* network = nullptr;
  QStringList messages;
  void open() {
    w = std::make_unique<TfmMain>(store, MainWindowOptions::with(false, 1033));
    w->messageHook = [this](MessageKind, const QString& t) { messages.push_back(t); };
    w->findChild<QSpinBox*>("seFlow")->setValue(120);
    network = new LabNetwork(w->context(), store, folder.path());
  }
  // The dialog filled in and OK pressed; whether it closed.
  bool configure(const std::function<void(NetworkDialog&)>& fill) {
    bool accepted = false;
    network->dialogHook = [&](NetworkDialog& d) {
      fill(d);
      d.accept();
      accepted = d.result() == QDialog::Accepted;
    };
    network->openDialog();
    return accepted;
  }
  static void set(NetworkDialog& d, const char* name, const QString& text) { d.findChild<QLineEdit*>(name)->setText(text); }
};
}  // namespace

TEST_F(Window, NetworkSettingsAreCheckedAndThePasswordKeptApart) {
  open();
  // Off by default: nothing published, no field, nothing stored.
  EXPECT_EQ(network->publisher(), nullptr);
  EXPECT_FALSE(network->statusField()->isVisibleTo(w.get()));
  EXPECT_FALSE(store.keyExists(kNetworkKey));

  QTemporaryDir certs;
  const struct {
    const char* url;
    const char* station;
    QString ca, cert, key;
    const char* problem;  // the start of what the dialog says; nullptr: accepted
  } cases[] = {
      {"", "room-12", {}, {}, {}, "No broker address"},
      {"http://broker:80", "room-12", {}, {}, {}, "The address must start with tcp://"},
      {"tcp://broker:1883", "", {}, {}, {}, "No station name"},
      {"ssl://broker:8883", "room-12", certs.filePath("missing-ca.crt"), {}, {}, "Cannot read "},
      {"ssl://broker:8883", "room-12", {}, folder.filePath("none.crt"), {}, "Cannot read "},
      {"tcp://127.0.0.1:1", "room-12", {}, {}, {}, nullptr},
  };
  for (const auto& c : cases) {
    QString said;
    const bool accepted = configure([&](NetworkDialog& d) {
      d.findChild<QCheckBox*>("cbPublish")->setChecked(true);
      set(d, "edUrl", c.url);
      set(d, "edStation", c.station);
      set(d, "edUser", "lab");
      set(d, "edPassword", "s3cret pass");
      set(d, "edCaFile", c.ca);
      set(d, "edCertFile", c.cert);
      set(d, "edKeyFile", c.key);
      d.accept();
      said = d.findChild<QLabel*>("lbProblem")->text();
    });
    EXPECT_EQ(accepted, c.problem == nullptr) << c.url;
    if (c.problem) {
      EXPECT_TRUE(said.startsWith(c.problem)) << said.toStdString();
    }
  }
  // Accepted: stored without the password, which is in a file only its owner may read.
  EXPECT_EQ(readText(store, kNetworkKey, "Url"), "tcp://127.0.0.1:1");
  EXPECT_EQ(readDword(store, kNetworkKey, "Enabled"), 1u);
  EXPECT_FALSE(readText(store, kNetworkKey, "Password"));
  const QString passwordFile = folder.filePath("network-password");
  struct stat st {};
  ASSERT_EQ(::stat(passwordFile.toLocal8Bit().constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(loadNetworkPassword(passwordFile.toStdString()), "s3cret pass");
  ASSERT_NE(network->publisher(), nullptr);
  // No broker there: the field says so, never with the password.
  ASSERT_TRUE(QTest::qWaitFor([&] { return network->statusField()->text() == "MQTT: not connected"; }, 15000));
  EXPECT_TRUE(network->statusField()->isVisibleTo(w.get()));
  EXPECT_FALSE(network->statusField()->toolTip().contains("s3cret"));
  // Turned off again: the publisher goes, the settings stay; an empty password leaves no file.
  ASSERT_TRUE(configure([&](NetworkDialog& d) {
    d.findChild<QCheckBox*>("cbPublish")->setChecked(false);
    set(d, "edPassword", "");
  }));
  EXPECT_EQ(network->publisher(), nullptr);
  EXPECT_FALSE(QFile::exists(passwordFile));
  EXPECT_EQ(loadNetworkSettings(store, "host").url, "tcp://127.0.0.1:1");
}

TEST_F(Window, RecordedInstrumentsReachTheBrokerAndTheLabView) {
  if (test::mosquittoProgram().isEmpty()) GTEST_SKIP() << "mosquitto is not installed";
  std::vector<std::unique_ptr<sim::PtyThermometer>> sims;
  auto bath = std::make_shared<sim::Bath>();
  for (int k = 1; k <= 2; ++k) {
    sims.push_back(std::make_unique<sim::PtyThermometer>(static_cast<std::uint32_t>(k)));
    sims.back()->withModel([&](sim::ThermometerModel& m) { sim::placeInBath(m, bath, k); });
    ASSERT_TRUE(sims.back()->start());
  }
  Broker broker;
  ASSERT_TRUE(broker.start());
  Subscriber sub(broker);
  ASSERT_TRUE(sub.ready(broker));
  open();
  w->serialPort().setCommPort(sims[0]->devicePath());
  ASSERT_NE(w->addInstrument(sims[1]->devicePath(), "probe B"), nullptr);
  w->channels().at(1).serial = "SN 2";
  w->channels().at(1).manufacturer = "Acme";
  ASSERT_TRUE(configure([&](NetworkDialog& d) {
    d.findChild<QCheckBox*>("cbPublish")->setChecked(true);
    set(d, "edUrl", broker.url());
    set(d, "edStation", "room 12");
  }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return network->statusField()->text() == "MQTT: connected"; }, 15000));
  w->findChild<QAction*>("miRecord")->setChecked(true);
  w->miRecordClick();
  LabView* view = network->openLabView();
  ASSERT_NE(view, nullptr);
  auto published = [&](const char* name) { return sub.on(QString("velmora/v1/room 12/%1/reading").arg(name)).size(); };
  ASSERT_TRUE(QTest::qWaitFor([&] { return published("T1") >= 4 && published("probe B") >= 4; }, 30000));
  w->findChild<QAction*>("miRecord")->setChecked(false);
  w->miRecordClick();

  // What the window holds is what was published, reading for reading.
  const char* names[] = {"T1", "probe B"};
  for (std::size_t c = 0; c < 2; ++c) {
    const MeasurementSeries& s = w->channels().at(c).series();
    ASSERT_TRUE(QTest::qWaitFor([&] { return published(names[c]) == s.size(); }, 10000)) << names[c];
    const auto got = sub.on(QString("velmora/v1/room 12/%1/reading").arg(names[c]));
    for (std::size_t i = 0; i < s.size(); ++i) {
      const auto r = parseReadingPayload(got[i].payload.toStdString());
      ASSERT_TRUE(r);
      EXPECT_EQ(r->seq, i + 1);
      EXPECT_EQ(r->utcMs, s.utcMs(i));
      EXPECT_EQ(r->temperature, s.y(i));
      EXPECT_EQ(r->resistance, s.resistance(i));
      EXPECT_NEAR(r->elapsedMinutes, s.x(i) * 1440, 1e-9);
    }
  }
  EXPECT_FALSE(sub.on("velmora/v1/room 12/probe B/factors").empty());
  // Its status names the probe (serial number, manufacturer).
  const auto status = sub.on("velmora/v1/room 12/probe B/status");
  ASSERT_FALSE(status.empty());
  EXPECT_TRUE(status.back().payload.contains("\"serial\":\"SN 2\"") && status.back().payload.contains("\"manufacturer\":\"Acme\""))
      << status.back().payload.toStdString();

  // The lab view: both instruments with their last readings; the selected one drawn.
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->table()->rowCount() == 2 && view->board().instruments()[1].points.size() ==
                                                                               w->channels().at(1).series().size(); }, 10000));
  const int row = view->board().find("room 12", "probe B");
  ASSERT_GE(row, 0);
  EXPECT_EQ(view->table()->item(row, 0)->text(), "room 12");
  const MeasurementSeries& b = w->channels().at(1).series();
  EXPECT_TRUE(view->table()->item(row, 2)->text().startsWith(QString::number(b.y(b.size() - 1), 'f', 3)));
  EXPECT_EQ(view->table()->item(row, 3)->foreground().color(), view->palette().color(QPalette::Text));  // fresh
  view->table()->selectRow(row);
  view->poll();
  EXPECT_EQ(view->plot()->graph(0)->dataCount(), static_cast<int>(b.size()));
  EXPECT_EQ(view->plot()->graph(0)->data()->at(0)->value, b.y(0));
  // Inside the screen; times on the axis (a run of minutes: no date under them).
  const QRect room = view->screen()->availableGeometry();
  EXPECT_TRUE(room.contains(view->frameGeometry().topLeft()) && room.contains(view->frameGeometry().bottomRight()));
  const auto ticker = qSharedPointerDynamicCast<QCPAxisTickerDateTime>(view->plot()->xAxis->ticker());
  ASSERT_TRUE(ticker);
  EXPECT_EQ(ticker->dateTimeFormat(), "HH:mm:ss");

  // The broker goes: recording is not held up; the field says so and counts what waits.
  broker.kill();
  w->findChild<QAction*>("miRecord")->setChecked(true);
  w->miRecordClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return network->statusField()->text().startsWith("MQTT: not connected, waiting "); }, 30000))
      << network->statusField()->text().toStdString();
  // The lab view says once that it lost the broker itself; its stations are not turned red.
  ASSERT_TRUE(QTest::qWaitFor([&] {
    view->poll();
    return view->stateLabel()->text().startsWith("The lab view lost its connection");
  }, 30000)) << view->stateLabel()->text().toStdString();
  for (int r = 0; r < view->table()->rowCount(); ++r)
    EXPECT_EQ(view->table()->item(r, 5)->foreground().color(), view->palette().color(QPalette::Text)) << r;
  w->findChild<QAction*>("miLangRU")->setChecked(true);
  w->miLangRUClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return network->statusField()->text().startsWith(QString::fromUtf8("MQTT: нет связи, ждёт ")); }, 5000));
  EXPECT_EQ(network->networkAction()->text(), QString::fromUtf8("Сеть лаборатории…"));
  for (auto& s : sims) s->stop();
}

TEST(LabBoard, BacklogInPlaceRepeatsOnceStationsOfflineAndStale) {
  LabBoard board;
  auto reading = [](std::uint64_t seq, std::int64_t ms, double t, bool historical) {
    LabReading r;
    r.seq = seq;
    r.utcMs = ms;
    r.temperature = t;
    r.resistance = 100 + t / 250;
    r.historical = historical;
    return readingPayload(r);
  };
  const std::string topic = readingTopic("room-12", "bath");
  const std::int64_t t0 = 1796731200000;
  EXPECT_TRUE(board.take(topic, reading(1, t0, 20.0, false)));
  EXPECT_TRUE(board.take(topic, reading(4, t0 + 3000, 20.003, false)));  // live while the backlog comes
  EXPECT_TRUE(board.take(topic, reading(2, t0 + 1000, 20.001, true)));
  EXPECT_TRUE(board.take(topic, reading(3, t0 + 2000, 20.002, true)));
  EXPECT_TRUE(board.take(topic, reading(3, t0 + 2000, 20.002, true)));  // came twice
  EXPECT_FALSE(board.take(topic, "{\"seq\":5}"));
  EXPECT_FALSE(board.take("other/topic", "{}"));
  ASSERT_EQ(board.instruments().size(), 1u);
  const LabInstrument& in = board.instruments()[0];
  ASSERT_EQ(in.points.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(in.points[i].utcMs, t0 + static_cast<std::int64_t>(i) * 1000);
  EXPECT_EQ(in.last().temperature, 20.003);
  EXPECT_EQ(board.reorders(0), 2u);
  // Stale after three intervals and at least 30 s; stable within the threshold over the window.
  EXPECT_FALSE(labStale(in, t0 + 3000 + 30000));
  EXPECT_TRUE(labStale(in, t0 + 3000 + 30001));
  EXPECT_EQ(labStability(in, 0.06, 0.01).state, LabStability::State::TooShort);  // 3.6 s asked, 3 s there
  EXPECT_EQ(labStability(in, 0.05, 0.01).state, LabStability::State::Stable);
  EXPECT_EQ(labStability(in, 0.05, 0.002).state, LabStability::State::Unstable);
  EXPECT_NEAR(labStability(in, 0.05, 0.01).peakToPeak, 0.003, 1e-12);
  EXPECT_NEAR(labStability(in, 0.04, 0.01).peakToPeak, 0.002, 1e-12);  // the last 2.4 s
  // The station's status: offline takes its instruments; an instrument's own status after it.
  board.take(statusTopic("room-12", "bath"), statusPayload("recording", ""));
  board.take("velmora/v1/room-12/status", "{\"state\":\"offline\",\"last_error\":\"\"}");
  EXPECT_EQ(board.instruments()[0].state, "offline");
  board.take("velmora/v1/room-12/status", "{\"state\":\"online\",\"last_error\":\"\"}");
  EXPECT_EQ(board.instruments()[0].state, "");
  board.take(statusTopic("room-12", "bath"), statusPayload("failed", "port gone"));
  EXPECT_EQ(board.instruments()[0].state, "failed");
  EXPECT_EQ(board.instruments()[0].lastError, "port gone");
}
