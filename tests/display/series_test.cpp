#include <gtest/gtest.h>

#include <random>

#include "display/measurement_display.h"
#include "display/measurement_series.h"
#include "display/reading_list.h"
#include "display/readout.h"
#include "fake_chart_view.h"

using namespace velmora;

namespace {
constexpr double kSecond = 1.0 / 86400.0;
constexpr double kMinute = 1.0 / 1440.0;

struct FakeClock : Clock {
  double now = 45000.0;  // days since some epoch
  double nowDays() const override { return now; }
};
}  // namespace

TEST(ListLine, Examples) {
  EXPECT_EQ(listLine(30 * kSecond, 21.456), "0.50 21.46");
  EXPECT_EQ(listLine(100.123 * kMinute, -5.2), "100.12 -5.20");
  EXPECT_EQ(listLine(12345.678 * kMinute, 1234.567), "12345.70 1234.60");
  EXPECT_EQ(listLine(0, 0), "0.00 0.00");
  EXPECT_EQ(listLine(1.0 * kMinute, 20), "1.00 20.00");
}

TEST(MeasurementSeries, KeepsXAscendingWithStableInsertion) {
  MeasurementSeries s;
  s.add(1, 10);
  s.add(3, 30);
  s.add(2, 20);    // inserted between
  s.add(2, 21);    // equal X: after the earlier one
  s.add(0.5, 5);   // at the front
  s.add(3, 31);    // equal to the last: appended
  const double xs[] = {0.5, 1, 2, 2, 3, 3};
  const double ys[] = {5, 10, 20, 21, 30, 31};
  ASSERT_EQ(s.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(s.x(i), xs[i]);
    EXPECT_EQ(s.y(i), ys[i]);
  }
  EXPECT_EQ(s.maxX(), 3);
  s.clear();
  EXPECT_EQ(s.maxX(), 0);
}

TEST(MeasurementSeries, MinMaxSummaryMatchesAScanAfterAppendsAndInserts) {
  MeasurementSeries s;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> y(-200, 800);
  for (int i = 0; i < 20000; ++i) s.add(i, y(rng));
  for (int i = 0; i < 50; ++i) s.add(std::uniform_real_distribution<double>(0, 20000)(rng), y(rng));
  std::uniform_int_distribution<size_t> idx(0, s.size() - 1);
  for (int k = 0; k < 500; ++k) {
    size_t a = idx(rng), b = idx(rng);
    if (a > b) std::swap(a, b);
    ++b;
    double mn = s.y(a), mx = s.y(a);
    for (size_t i = a; i < b; ++i) mn = std::min(mn, s.y(i)), mx = std::max(mx, s.y(i));
    const auto r = s.yRange(a, b);
    ASSERT_EQ(r.min, mn) << a << ".." << b;
    ASSERT_EQ(r.max, mx) << a << ".." << b;
  }
}

TEST(ReadingList, HoldsLinesCompactlyAndJoinsThemWithCrLf) {
  ReadingList list;
  EXPECT_EQ(list.text(), "");
  list.append("0.50 21.46");
  list.append("1.00 21.47");
  EXPECT_EQ(list.line(1), "1.00 21.47");
  EXPECT_EQ(list.text(), "0.50 21.46\r\n1.00 21.47");
}

TEST(Readout, ModesAndColours) {
  Readout r;
  r.setVisible(true);
  r.onRequest();
  EXPECT_EQ(r.color(), ReadoutColor::Purple);
  r.onReply("108.123 21.05", "Ohm");
  EXPECT_EQ(r.text(), " 21.05 *C ");
  EXPECT_EQ(r.color(), ReadoutColor::Black);
  r.toggleMode();
  EXPECT_EQ(r.color(), ReadoutColor::White);
  EXPECT_EQ(r.text(), " 21.05 *C ");  // unchanged until the next reply
  r.onReply("108.123 21.05", "Ohm");
  EXPECT_EQ(r.text(), " 108.123 Ohm");
  r.onReply("100.123", "Ом ");
  EXPECT_EQ(r.text(), " Ом ");
  r.toggleMode();
  r.onReply("100.123", "Ohm");
  EXPECT_EQ(r.text(), " 100.123 *C ");
  // Clicked twice between two replies: same mode as before, white until the next reply.
  r.toggleMode();
  r.toggleMode();
  EXPECT_EQ(r.mode(), 0);
  EXPECT_EQ(r.color(), ReadoutColor::White);
}

TEST(RecordingClock, PausesDoNotCountAndClearRestartsAtZero) {
  FakeClock clock;
  test::FakeChartView view;
  MeasurementDisplay d(view, clock);
  d.clock().startRun();
  clock.now += 5 * kMinute;
  d.AddPoint(d.clock().elapsed(), 20);
  d.clock().endRun();
  clock.now += 10 * kMinute;  // ten minutes without recording
  d.clock().startRun();
  clock.now += 1 * kSecond;
  d.AddPoint(d.clock().elapsed(), 21);
  EXPECT_NEAR(d.series().x(1) - d.series().x(0), kSecond, 1e-10);
  EXPECT_EQ(d.list().line(1), "5.02 21.00");

  // Clear while recording: both stores empty, the next line starts near 0.
  d.miClearClick();
  EXPECT_TRUE(d.series().empty());
  EXPECT_TRUE(d.list().empty());
  clock.now += 2 * kSecond;
  d.AddPoint(d.clock().elapsed(), 22);
  EXPECT_EQ(d.list().line(0), "0.03 22.00");

  // After a load ending at 42.5 minutes the clock continues from there.
  d.clock().continueAfterLoad(42.5 * kMinute);
  clock.now += 30 * kSecond;
  EXPECT_NEAR(d.clock().elapsed(), 43 * kMinute, 1e-10);
}
