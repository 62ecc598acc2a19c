// The publisher against a real broker (mosquitto, started here), read by an independent
// subscriber (mosquitto_sub): the topics and payloads that arrive, the retained status and
// factors, TLS with a test CA (and a CA that is not the broker's), and credentials that are
// refused, which must give a clear state and never show the password.
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>

#include "mqtt_broker.h"
#include "network/mqtt_publisher.h"

using namespace velmora;
using velmora::test::Broker;
using velmora::test::Subscriber;

namespace {
bool haveBroker() { return !test::mosquittoProgram().isEmpty(); }

MqttSettings settings(const QString& url, const char* station = "room-12") {
  MqttSettings s;
  s.enabled = true;
  s.url = url.toStdString();
  s.station = station;
  return s;
}
}  // namespace

TEST(Publisher, ReadingsStatusAndFactorsReachAnIndependentSubscriber) {
  if (!haveBroker()) GTEST_SKIP() << "mosquitto is not installed";
  Broker broker;
  ASSERT_TRUE(broker.start());
  Subscriber sub(broker);
  ASSERT_TRUE(sub.ready(broker));
  QTemporaryDir outbox;
  {
    MqttPublisher publisher(settings(broker.url(), "lab/2"), outbox.path().toStdString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return publisher.state().connected; }, 15000));
    publisher.setStatus("bath A", "recording");
    publisher.setFactors("bath A", 100.0123, 3.9083e-3, -5.775e-7, -4.183e-12);
    for (int i = 0; i < 5; ++i) {
      publisher.publish("bath A", 1796731200000 + i * 500, i / 120.0, 100.5 + i * 1e-6, 1.25 + i * 0.001);
      publisher.publish("probe/B", 1796731200250 + i * 500, i / 120.0, i == 2 ? NAN : 110.0 + i, -5.0 - i);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return sub.on("velmora/v1/lab_2/probe_B/reading").size() == 5; }, 15000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return publisher.state().waiting == 0; }, 5000));
    EXPECT_TRUE(publisher.state().connected);
    EXPECT_TRUE(publisher.state().error.empty());
    // A second program on the same outbox (the same station here) would mix the numbers: refused.
    MqttPublisher second(settings(broker.url(), "lab/2"), outbox.path().toStdString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !second.state().error.empty(); }, 5000));
    EXPECT_NE(second.state().error.find("in use by another program"), std::string::npos);
  }
  const auto bath = sub.on("velmora/v1/lab_2/bath A/reading");
  ASSERT_EQ(bath.size(), 5u);
  for (std::size_t i = 0; i < bath.size(); ++i) {
    const auto r = parseReadingPayload(bath[i].payload.toStdString());
    ASSERT_TRUE(r) << bath[i].payload.toStdString();
    EXPECT_EQ(r->seq, i + 1);
    EXPECT_EQ(r->utcMs, 1796731200000 + static_cast<std::int64_t>(i) * 500);
    EXPECT_EQ(r->resistance, 100.5 + static_cast<double>(i) * 1e-6);
    EXPECT_EQ(r->temperature, 1.25 + static_cast<double>(i) * 0.001);
    EXPECT_FALSE(r->historical);
  }
  EXPECT_EQ(bath[0].payload.toStdString(),
            "{\"seq\":1,\"time_utc\":\"2026-12-08T12:00:00.000Z\",\"elapsed_min\":0,\"resistance_ohm\":100.5,"
            "\"temperature_C\":1.25,\"historical\":false}");
  const auto b = sub.on("velmora/v1/lab_2/probe_B/reading");
  EXPECT_NE(b[2].payload.indexOf("\"resistance_ohm\":null"), -1);
  ASSERT_FALSE(sub.on("velmora/v1/lab_2/bath A/status").empty());
  EXPECT_EQ(sub.on("velmora/v1/lab_2/bath A/status").back().payload, R"({"state":"recording","last_error":""})");
  EXPECT_EQ(sub.on("velmora/v1/lab_2/bath A/factors").back().payload,
            R"({"R0":100.0123,"A":0.0039083,"B":-5.775e-07,"C":-4.183e-12})");
  // The station's status: online while connected, offline after a clean stop.
  ASSERT_TRUE(QTest::qWaitFor([&] { return sub.on("velmora/v1/lab_2/status").size() >= 2; }, 5000));
  EXPECT_NE(sub.on("velmora/v1/lab_2/status").front().payload.indexOf("online"), -1);
  EXPECT_NE(sub.on("velmora/v1/lab_2/status").back().payload.indexOf("offline"), -1);

  // Retained: a subscriber that comes later still learns the state and the factors.
  QProcess late;
  late.start("mosquitto_sub", {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-v", "-W", "3", "-t",
                               "velmora/v1/lab_2/+/factors"});
  ASSERT_TRUE(late.waitForReadyRead(5000));
  EXPECT_TRUE(late.readAll().startsWith("velmora/v1/lab_2/bath A/factors {\"R0\":100.0123"));
  late.kill();
  late.waitForFinished();
}

TEST(Publisher, TlsWithTheBrokersCaConnectsAndAnotherCaIsRefused) {
  if (!haveBroker()) GTEST_SKIP() << "mosquitto is not installed";
  QTemporaryDir certs;
  test::Tls tls, stranger;
  ASSERT_TRUE(test::makeTestCa(certs.path(), "lab", tls));
  ASSERT_TRUE(test::makeTestCa(certs.path(), "stranger", stranger));
  Broker broker({}, tls);
  ASSERT_TRUE(broker.start());
  Subscriber sub(broker, {"--cafile", tls.caFile});
  ASSERT_TRUE(QTest::qWaitFor([&] { return sub.running(); }, 5000));

  QTemporaryDir outbox, otherOutbox;
  MqttSettings good = settings(QString("ssl://localhost:%1").arg(broker.port()));
  good.caFile = tls.caFile.toStdString();
  MqttSettings wrong = settings(QString("mqtts://localhost:%1").arg(broker.port()), "other");
  wrong.caFile = stranger.caFile.toStdString();
  MqttPublisher refused(wrong, otherOutbox.path().toStdString());
  MqttPublisher publisher(good, outbox.path().toStdString());
  ASSERT_TRUE(QTest::qWaitFor([&] { return publisher.state().connected; }, 15000)) << publisher.state().error;
  publisher.publish("bath", 1796731200000, 0, 100.25, 0.64);
  refused.publish("bath", 1796731200000, 0, 100.25, 0.64);
  ASSERT_TRUE(QTest::qWaitFor([&] { return publisher.state().waiting == 0; }, 10000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !refused.state().error.empty() && refused.state().waiting == 1; }, 15000));
  EXPECT_FALSE(refused.state().connected);
  EXPECT_NE(refused.state().error.find("TLS: "), std::string::npos) << refused.state().error;
  EXPECT_NE(refused.state().error.find("certificate verify failed"), std::string::npos) << refused.state().error;
}

TEST(Publisher, RefusedCredentialsGiveAClearStateWithoutThePassword) {
  if (!haveBroker()) GTEST_SKIP() << "mosquitto is not installed";
  Broker broker(std::map<QString, QString>{{"velmora", "s3cret-Pa55"}});
  ASSERT_TRUE(broker.start());
  const struct {
    const char* user;
    const char* password;
    bool accepted;
  } cases[] = {{"velmora", "wrong-Pa55word", false}, {"nobody", "s3cret-Pa55", false}, {"velmora", "s3cret-Pa55", true}};
  for (const auto& c : cases) {
    QTemporaryDir outbox;
    MqttSettings s = settings(broker.url());
    s.user = c.user;
    s.password = c.password;
    MqttPublisher publisher(s, outbox.path().toStdString());
    publisher.publish("bath", 1796731200000, 0, 100.25, 0.64);
    if (c.accepted) {
      EXPECT_TRUE(QTest::qWaitFor([&] { return publisher.state().waiting == 0; }, 10000)) << publisher.state().error;
      continue;
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !publisher.state().error.empty(); }, 10000)) << c.user;
    const auto state = publisher.state();
    EXPECT_FALSE(state.connected);
    EXPECT_TRUE(state.error.find("not authorized") != std::string::npos ||
                state.error.find("wrong user name or password") != std::string::npos)
        << state.error;
    EXPECT_EQ(state.error.find(c.password), std::string::npos);
    EXPECT_EQ(state.waiting, 1u);
  }
}
