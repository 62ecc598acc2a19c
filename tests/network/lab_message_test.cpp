// What goes to the broker and what the outbox keeps: topics with names that would break them,
// payloads read back as written, and an outbox that survives a restart, moves its
// acknowledged mark only over an unbroken run, ignores a half-written line and cuts a long
// file down to what is still waiting.
#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>

#include "network/lab_message.h"
#include "network/outbox.h"

using namespace velmora;

TEST(LabMessage, TopicsKeepEveryNameToOneLevel) {
  const struct {
    const char* station;
    const char* instrument;
    const char* topic;
  } cases[] = {
      {"room-12", "bath A", "velmora/v1/room-12/bath A/reading"},
      {"lab/2", "probe+#1", "velmora/v1/lab_2/probe__1/reading"},
      {"", "Термометр\t1", "velmora/v1/_/Термометр_1/reading"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(readingTopic(c.station, c.instrument), c.topic);
    const auto parsed = parseLabTopic(c.topic);
    ASSERT_TRUE(parsed) << c.topic;
    EXPECT_EQ(parsed->station, topicLevel(c.station));
    EXPECT_EQ(parsed->instrument, topicLevel(c.instrument));
    EXPECT_EQ(parsed->kind, "reading");
  }
  for (const char* bad : {"velmora/v1/a/b", "velmora/v2/a/b/reading", "velmora/v1//b/reading", "velmora/v1/a/b/c/d"})
    EXPECT_FALSE(parseLabTopic(bad)) << bad;
}

TEST(LabMessage, ReadingPayloadReadsBackExactly) {
  LabReading r;
  r.seq = 18446744073709551615ull;
  r.utcMs = 1796731199123;  // 2026-12-08T…
  r.elapsedMinutes = 1439.9999999999998;
  r.resistance = 100.00000000000001;
  r.temperature = -38.8344;
  r.historical = true;
  const std::string json = readingPayload(r);
  EXPECT_EQ(json.rfind("{\"seq\":18446744073709551615,\"time_utc\":\"", 0), 0u) << json;
  const auto back = parseReadingPayload(json);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->seq, r.seq);
  EXPECT_EQ(back->utcMs, r.utcMs);
  EXPECT_EQ(back->elapsedMinutes, r.elapsedMinutes);
  EXPECT_EQ(back->resistance, r.resistance);
  EXPECT_EQ(back->temperature, r.temperature);
  EXPECT_TRUE(back->historical);

  r.resistance = NAN;  // an instrument that gave no resistance
  r.historical = false;
  const std::string noResistance = readingPayload(r);
  EXPECT_NE(noResistance.find("\"resistance_ohm\":null"), std::string::npos);
  EXPECT_NE(noResistance.find("\"historical\":false}"), std::string::npos);
  EXPECT_TRUE(std::isnan(parseReadingPayload(noResistance)->resistance));

  for (const char* bad : {"", "{}", "{\"seq\":1,\"time_utc\":\"yesterday\",\"temperature_C\":1}",
                          "{\"seq\":-1,\"time_utc\":\"2026-12-08T10:00:00Z\",\"temperature_C\":1}",
                          "{\"seq\":1,\"time_utc\":\"2026-12-08T10:00:00Z\",\"temperature_C\":\"warm\"}"})
    EXPECT_FALSE(parseReadingPayload(bad)) << bad;

  EXPECT_EQ(statusPayload("failed", "port \"COM3\"\nis gone"), R"({"state":"failed","last_error":"port \"COM3\"\nis gone"})");
  EXPECT_EQ(jsonString(statusPayload("reconnecting", "a \\ b \"c\""), "last_error"), "a \\ b \"c\"");
  // With the probe's identity (set in the Instruments panel).
  EXPECT_EQ(statusPayload("recording", "", {"SN 7", "Pt100 4-wire", "Acme"}),
            R"({"state":"recording","last_error":"","serial":"SN 7","model":"Pt100 4-wire","manufacturer":"Acme"})");
}

// The lab view reads payloads from any publisher on the broker: keys in any order, nested
// objects, escapes and a key's name inside a string are read as JSON; garbage is refused.
TEST(LabMessage, PayloadsFromOtherPublishersAreReadAsJson) {
  struct Case {
    const char* payload;
    bool reading;
    double temperature;
    bool historical;
  };
  const Case cases[] = {
      {R"({"historical":true,"temperature_C":21.5,"time_utc":"2026-12-08T10:00:00Z","seq":7})", true, 21.5, true},
      {R"({"note":"\"temperature_C\":99","seq":7,"time_utc":"2026-12-08T10:00:00Z","temperature_C":-3.25})", true, -3.25, false},
      {R"({"meta":{"temperature_C":99,"seq":1},"seq":7,"time_utc":"2026-12-08T10:00:00Z","temperature_C":4})", true, 4, false},
      {R"({"seq":7,"time_utc":"2026-12-08T10:00:00Z","temperature_C":1e1,"historical":"true"})", true, 10, false},
      {R"({"meta":{"temperature_C":99,"seq":1,"time_utc":"2026-12-08T10:00:00Z"}})", false, 0, false},
      {R"({"seq":7.5,"time_utc":"2026-12-08T10:00:00Z","temperature_C":4})", false, 0, false},
      {R"({"seq":7,"time_utc":"2026-12-08T10:00:00Z","temperature_C":null})", false, 0, false},
      {R"([{"seq":7,"time_utc":"2026-12-08T10:00:00Z","temperature_C":4}])", false, 0, false},
      {R"({"seq":7,"time_utc":"2026-12-08T10:00:00Z","temperature_C":4)", false, 0, false},
      {"\xff\xfe{garbage", false, 0, false},
  };
  for (const Case& c : cases) {
    const auto r = parseReadingPayload(c.payload);
    ASSERT_EQ(r.has_value(), c.reading) << c.payload;
    if (!r) continue;
    EXPECT_EQ(r->seq, 7u) << c.payload;
    EXPECT_EQ(r->temperature, c.temperature) << c.payload;
    EXPECT_EQ(r->historical, c.historical) << c.payload;
  }
  EXPECT_EQ(jsonString(R"({"last_error":"no \"state\": here","state":"caf\u00e9"})", "state"), "caf\xc3\xa9");
  EXPECT_EQ(jsonString(R"({"info":{"state":"nested"}})", "state"), std::nullopt);
  EXPECT_EQ(jsonString("not json", "state"), std::nullopt);
  // A name that is not UTF-8 still gives a payload that is JSON.
  EXPECT_TRUE(jsonString(statusPayload("failed", "port \xff gone"), "last_error"));
}

namespace {
LabReading reading(double t) {
  LabReading r;
  r.utcMs = 1796700000000 + static_cast<std::int64_t>(t * 1000);
  r.elapsedMinutes = t / 60;
  r.resistance = 100 + t / 1000;
  r.temperature = t;
  return r;
}
}  // namespace

TEST(Outbox, KeepsWhatWaitsAcrossARestartAndAcknowledgesOnlyUnbrokenRuns) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  {
    Outbox box(folder);
    for (int i = 1; i <= 6; ++i) {
      LabReading r = reading(i);
      ASSERT_TRUE(box.append("bath/1", r));
      EXPECT_EQ(r.seq, static_cast<std::uint64_t>(i));
    }
    LabReading other = reading(0.5);
    box.append("probe B", other);
    EXPECT_EQ(other.seq, 1u);  // numbered per instrument
    box.acknowledged("bath/1", 1);
    box.acknowledged("bath/1", 2);
    box.acknowledged("bath/1", 5);  // 3 and 4 not yet: the mark stays at 2
    EXPECT_EQ(box.ackedThrough("bath/1"), 2u);
    EXPECT_EQ(box.waiting(), 3u + 1u);
    box.save();
  }
  // A half-written last line (the program died while writing it) is not a reading.
  {
    std::ofstream tail(dir.filePath("bath_1.out").toStdString(), std::ios::app);
    tail << "7 1796700007000 0.1";
  }
  Outbox again(folder);
  EXPECT_EQ(again.lastSeq("bath/1"), 6u);
  EXPECT_EQ(again.ackedThrough("bath/1"), 2u);
  const auto rest = again.after("bath/1", 2, 100);
  ASSERT_EQ(rest.size(), 4u);
  EXPECT_EQ(rest.front().seq, 3u);
  EXPECT_EQ(rest.back().seq, 6u);
  EXPECT_EQ(rest.front().resistance, reading(3).resistance);
  EXPECT_EQ(rest.front().utcMs, reading(3).utcMs);
  // Read on from where the backlog stopped, and back again after a failed send.
  EXPECT_EQ(again.after("bath/1", 4, 1).front().seq, 5u);
  EXPECT_EQ(again.after("bath/1", 2, 1).front().seq, 3u);
}

TEST(Outbox, ALongAcknowledgedFileIsCutToWhatWaits) {
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  constexpr std::uint64_t kCount = 100020;
  {
    Outbox box(folder);
    for (std::uint64_t i = 1; i <= kCount; ++i) {
      LabReading r = reading(static_cast<double>(i));
      box.append("bath", r);
    }
    for (std::uint64_t i = 1; i <= kCount - 10; ++i) box.acknowledged("bath", i);
    box.save();
    LabReading next = reading(0);
    box.append("bath", next);  // still appended after the cut
    EXPECT_EQ(next.seq, kCount + 1);
  }
  std::ifstream file(dir.filePath("bath.out").toStdString());
  std::size_t lines = 0;
  for (std::string line; std::getline(file, line);) ++lines;
  EXPECT_EQ(lines, 11u);
  Outbox again(folder);
  EXPECT_EQ(again.lastSeq("bath"), kCount + 1);
  EXPECT_EQ(again.waiting(), 11u);
  EXPECT_EQ(again.after("bath", kCount - 10, 100).front().seq, kCount - 9);
}
