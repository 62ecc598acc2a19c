// A week of recording in virtual time: protocol, series, list and axis rules at 120
// readings a minute (about 1.2 million points) with sporadic lost answers, noise lines,
// saves and one Clear. Every answered reading must be in the list and the series exactly
// once, memory per reading must stay within budget, and a point must cost no more late in
// the run than early. VELMORA_SOAK_DAYS shortens the run (the sanitizer stage uses 1).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <random>

#include "device/protocol.h"
#include "display/measurement_display.h"
#include "fake_chart_view.h"
#include "fake_protocol_host.h"
#include "files/data_file.h"
#include "simulator/thermometer_model.h"

using namespace velmora;

namespace {

struct VirtualClock : Clock {
  const test::VirtualTime& time;
  explicit VirtualClock(const test::VirtualTime& t) : time(t) {}
  double nowDays() const override { return static_cast<double>(time.now) / 86400000.0; }
};

struct SoakHost : test::FakeProtocolHost {
  MeasurementDisplay* display = nullptr;
  std::size_t added = 0;
  void AddPoint(double x, double y) override {
    display->AddPoint(x, y);
    ++added;
  }
  void startRun() override { display->clock().startRun(); }
  void endRun() override { display->clock().endRun(); }
  double elapsed() const override { return display->clock().elapsed(); }
};

}  // namespace

TEST(Soak, AWeekAtTwoReadingsASecond) {
  const char* env = std::getenv("VELMORA_SOAK_DAYS");
  const double days = env ? std::atof(env) : 7.0;
  test::VirtualTime time;
  auto& dataTimer = time.make();
  auto& timeOff = time.make();
  VirtualClock clock(time);
  test::FakeChartView view;
  MeasurementDisplay display(view, clock);
  SoakHost host;
  host.display = &display;
  host.serialOpen = true;
  Protocol protocol(host, host, dataTimer, timeOff);
  dataTimer.onFire = [&] { protocol.DataTimerTimer(); };
  timeOff.onFire = [&] { protocol.TimeOffTimerTimer(); };
  display.rules().UpdateChartAxis();

  sim::ThermometerModel model(11);
  model.profile.kind = sim::Profile::Kind::Sine;
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> chance(0, 1);
  struct Reply {
    long due;
    std::string bytes;
  };
  std::deque<Reply> pending;
  std::size_t lost = 0, noise = 0, polls = 0;
  host.onSend = [&](std::string_view text) {
    if (text == "d\r") ++polls;
    std::string reply = model.receive(text, static_cast<double>(time.now) / 1000.0);
    if (reply.empty()) return;
    if (chance(rng) < 0.001) {
      ++lost;  // the answer never arrives
      return;
    }
    if (chance(rng) < 0.001) {
      ++noise;
      reply = "\x01noise *** \r" + reply;  // a noise line ahead of the answer
    }
    pending.push_back({time.now + 40, std::move(reply)});
  };
  host.serialSent.reserve(0);

  protocol.seFlowChange("120");
  ASSERT_TRUE(protocol.miRecordClick(true));
  host.framing.opened(false);
  const long end = static_cast<long>(days * 86400000.0);
  std::size_t sinceClear = 0, saves = 0;
  bool cleared = false;
  std::vector<double> costPerPoint;  // wall time per point, in slices of the run
  auto sliceStart = std::chrono::steady_clock::now();
  std::size_t sliceAdded = 0;
  long nextSave = 86400000;
  while (time.now < end && protocol.recording()) {
    const long next = pending.empty() ? time.now + 500 : pending.front().due;
    time.advance(next - time.now);
    while (!pending.empty() && pending.front().due <= time.now) {
      const std::size_t before = host.added;
      protocol.received(host.framing.frame(pending.front().bytes, 0));
      sinceClear += host.added - before;
      pending.pop_front();
    }
    host.serialSent.clear();  // the test keeps no record of every command
    if (time.now >= nextSave) {
      std::string text;
      dataFileText(display.list(), text);
      ASSERT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), display.list().size());
      display.setUnsaved(false);
      ++saves;
      nextSave += 86400000;
    }
    if (!cleared && time.now >= end / 3) {
      display.miClearClick();
      cleared = true;
      sinceClear = 0;
    }
    if (host.added - sliceAdded >= 100000) {
      const auto now = std::chrono::steady_clock::now();
      costPerPoint.push_back(std::chrono::duration<double, std::micro>(now - sliceStart).count() /
                             static_cast<double>(host.added - sliceAdded));
      sliceStart = now;
      sliceAdded = host.added;
    }
  }
  EXPECT_TRUE(protocol.recording()) << "recording ended after " << time.now / 1000 << " s";
  EXPECT_EQ(host.communicationErrors, 0);
  // Every clean answer became exactly one reading (a noise line takes the place of the
  // awaited answer, as a reading the instrument could not give would).
  EXPECT_EQ(host.added + pending.size(), polls - lost - noise);
  // Every answered reading since the Clear is in both stores, once.
  EXPECT_EQ(display.series().size(), sinceClear);
  EXPECT_EQ(display.list().size(), sinceClear);
  for (std::size_t i = 1; i < display.series().size(); ++i) ASSERT_GT(display.series().x(i), display.series().x(i - 1));
  const double perPoint = static_cast<double>(display.series().memoryBytes() + display.list().memoryBytes()) /
                          static_cast<double>(display.series().size());
  EXPECT_LE(perPoint, 64.0);
  if (costPerPoint.size() >= 4) {
    // The later slices cost no more than a few times the early ones (no growth with length).
    const double early = std::min(costPerPoint[0], costPerPoint[1]);
    const double late = std::min(costPerPoint[costPerPoint.size() - 1], costPerPoint[costPerPoint.size() - 2]);
    EXPECT_LT(late, early * 3 + 1.0);
  }
  std::printf("soak: %.1f days, %zu readings recorded (%zu since the Clear), %zu answers lost, %zu noise lines, "
              "%zu saves, %.1f bytes per reading\n",
              days, host.added, sinceClear, lost, noise, saves, perPoint);
}
