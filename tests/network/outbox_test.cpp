// The outbox over a long life: acknowledged readings leave once they are half a file, the
// numbering goes on after a restart however much was cut, the limit drops the oldest waiting
// readings (counted) and keeps the newest, and a line cut off by a power failure never runs
// into the next reading. Broker addresses are checked before anything is started.
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "network/network_settings.h"
#include "network/outbox.h"

using namespace velmora;
namespace fs = std::filesystem;

namespace {
LabReading reading(int i) {
  LabReading r;
  r.utcMs = 1765290000000 + i * 500;
  r.elapsedMinutes = i / 120.0;
  r.resistance = 100 + i * 1e-3;
  r.temperature = 20 + i * 1e-3;
  return r;
}
void fill(Outbox& box, const std::string& name, int n) {
  for (int i = 0; i < n; ++i) {
    LabReading r = reading(i);
    ASSERT_TRUE(box.append(name, r));
  }
}
std::uintmax_t size(const QTemporaryDir& dir, const char* file) { return fs::file_size(fs::path(dir.path().toStdString()) / file); }
}  // namespace

TEST(Outbox, AcknowledgedReadingsLeaveAndTheNumberingGoesOnAfterARestart) {
  QTemporaryDir dir;
  {
    Outbox box(dir.path().toStdString());
    fill(box, "bath-1", 3000);
    for (std::uint64_t s = 1; s <= 2990; ++s) box.acknowledged("bath-1", s);
    box.save();
    EXPECT_LT(size(dir, "bath-1.out"), 1024u);  // ten waiting readings are left
    EXPECT_EQ(box.waiting(), 10u);
    const auto rest = box.after("bath-1", 0, 100);
    ASSERT_EQ(rest.size(), 10u);
    EXPECT_EQ(rest.front().seq, 2991u);
    // Every reading acknowledged: the file is emptied, the numbers stay in the mark.
    fill(box, "bath-2", 3000);
    for (std::uint64_t s = 1; s <= 3000; ++s) box.acknowledged("bath-2", s);
    box.save();
    EXPECT_EQ(size(dir, "bath-2.out"), 0u);
  }
  Outbox again(dir.path().toStdString());
  EXPECT_EQ(again.lastSeq("bath-2"), 3000u);
  EXPECT_EQ(again.waiting(), 10u);
  LabReading r = reading(0);
  ASSERT_TRUE(again.append("bath-2", r));
  EXPECT_EQ(r.seq, 3001u);  // never 1 again
}

TEST(Outbox, TheLimitDropsTheOldestWaitingReadingsAndSaysHowMany) {
  QTemporaryDir dir;
  std::uint64_t dropped = 0;
  {
    Outbox box(dir.path().toStdString());
    fill(box, "bath-1", 1000);
    fill(box, "bath-2", 1000);
    box.setLimit(20000);
    box.save();
    EXPECT_LE(box.bytes(), 20000u);
    EXPECT_LE(size(dir, "bath-1.out"), 10000u);
    const auto overflow = box.takeOverflow();
    ASSERT_EQ(overflow.size(), 2u);
    dropped = overflow.at("bath-1");
    EXPECT_GT(dropped, 500u);
    EXPECT_EQ(box.overflowDropped(), overflow.at("bath-1") + overflow.at("bath-2"));
    EXPECT_TRUE(box.takeOverflow().empty());  // told once
    EXPECT_EQ(box.waiting(), 2000u - box.overflowDropped());
    // The backlog starts after the dropped ones and still ends with the newest.
    const auto rest = box.after("bath-1", box.ackedThrough("bath-1"), 5000);
    ASSERT_FALSE(rest.empty());
    EXPECT_EQ(rest.front().seq, dropped + 1);
    EXPECT_EQ(rest.back().seq, 1000u);
    EXPECT_EQ(rest.size(), 1000u - dropped);
  }
  Outbox again(dir.path().toStdString());
  EXPECT_EQ(again.ackedThrough("bath-1"), dropped);
  EXPECT_EQ(again.lastSeq("bath-1"), 1000u);
}

TEST(Outbox, ALineCutOffByAPowerFailureIsNotJoinedToTheNextReading) {
  QTemporaryDir dir;
  {
    Outbox box(dir.path().toStdString());
    fill(box, "bath-1", 3);
  }
  std::ofstream(dir.path().toStdString() + "/bath-1.out", std::ios::app) << "4 17652900015";  // the power went
  Outbox box(dir.path().toStdString());
  EXPECT_EQ(box.lastSeq("bath-1"), 3u);
  LabReading r = reading(4);
  ASSERT_TRUE(box.append("bath-1", r));
  const auto all = box.after("bath-1", 0, 10);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all.back().seq, 4u);
  EXPECT_EQ(all.back().utcMs, r.utcMs);
}

TEST(BrokerAddress, WhatWillDoAndWhatWillNot) {
  const struct {
    const char* url;
    bool good;
  } cases[] = {
      {"tcp://broker.lab:1883", true}, {"mqtts://10.0.0.2:8883", true}, {"broker.lab", true},
      {"ssl://[::1]:8883", true},      {"mqtt://b:1", true},            {"tcp://b:65535", true},
      {"tcp://", false},               {"tcp://b:99999", false},        {"tcp://b:0", false},
      {"tcp://b:", false},             {"tcp://b:18x", false},          {"http://b:80", false},
      {"tcp://b:1883/path", false},    {"tcp://:1883", false},          {"tcp://[::1", false},
      {"tcp://user@b:1883", false},
  };
  for (const auto& c : cases) EXPECT_EQ(!brokerAddressProblem(c.url), c.good) << c.url;
}
