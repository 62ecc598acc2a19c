// Span statistics from the series' block summaries against a direct computation in long
// double, the stability rule on both sides of its threshold, and the reading list's
// four-byte line ends across their groups.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "display/measurement_series.h"
#include "display/reading_list.h"
#include "display/stability.h"

using namespace velmora;

namespace {

struct Direct {
  std::size_t n = 0;
  long double mean = 0, sd = 0, min = 0, max = 0, drift = 0;
};

Direct direct(const MeasurementSeries& s, std::size_t first, std::size_t last, bool resistance) {
  std::vector<long double> xs, vs;
  for (std::size_t i = first; i < last; ++i) {
    const double v = resistance ? s.resistance(i) : s.y(i);
    if (std::isnan(v)) continue;
    xs.push_back(s.x(i));
    vs.push_back(v);
  }
  Direct d;
  d.n = vs.size();
  if (d.n == 0) return d;
  long double mx = 0, mv = 0;
  for (std::size_t i = 0; i < d.n; ++i) mx += xs[i], mv += vs[i];
  mx /= d.n;
  mv /= d.n;
  long double sxx = 0, svv = 0, sxv = 0;
  d.min = d.max = vs[0];
  for (std::size_t i = 0; i < d.n; ++i) {
    sxx += (xs[i] - mx) * (xs[i] - mx);
    svv += (vs[i] - mv) * (vs[i] - mv);
    sxv += (xs[i] - mx) * (vs[i] - mv);
    d.min = std::min(d.min, vs[i]);
    d.max = std::max(d.max, vs[i]);
  }
  d.mean = mv;
  d.sd = d.n > 1 ? std::sqrt(svv / (d.n - 1)) : NAN;
  d.drift = sxx > 0 ? sxv / sxx / 1440 : NAN;
  return d;
}

void expectMatches(const ValueStatistics& got, const Direct& want, double tolerance) {
  ASSERT_EQ(got.count, want.n);
  if (want.n == 0) return;
  EXPECT_NEAR(got.mean, static_cast<double>(want.mean), tolerance * std::fabs(static_cast<double>(want.mean)) + 1e-15);
  EXPECT_EQ(got.min, static_cast<double>(want.min));
  EXPECT_EQ(got.max, static_cast<double>(want.max));
  EXPECT_EQ(got.peakToPeak, static_cast<double>(want.max - want.min));
  if (want.n > 1) {
    EXPECT_NEAR(got.standardDeviation, static_cast<double>(want.sd), 1e-6 * static_cast<double>(want.sd) + 1e-15);
    EXPECT_NEAR(got.driftPerMinute, static_cast<double>(want.drift),
                1e-6 * std::fabs(static_cast<double>(want.drift)) + 1e-12);
  }
}

// Ranges that start and end inside blocks and super blocks, and whole ones.
const std::pair<std::size_t, std::size_t> kRanges[] = {
    {0, 1}, {0, 2}, {5, 70}, {64, 128}, {63, 4097}, {0, 4096}, {100, 9000}, {4095, 12289}, {0, 20000}, {19990, 20000}};

}  // namespace

TEST(SpanStatistics, MatchDirectComputationOnRandomAndLargeOffsetData) {
  std::mt19937_64 rng(7);
  std::normal_distribution<double> noise(0, 1);
  struct Case {
    double offset, scale, slopePerDay;
  };
  // Room temperature with a drift; 10,000 °C with 1 mK noise (a naive sum of squares loses
  // every digit of the spread there); resistance near 138 Ω alongside.
  for (const Case c : {Case{21.5, 0.05, 0.3}, Case{10000.0, 0.001, 0.0}, Case{-200.0, 0.002, -1.0}}) {
    MeasurementSeries s;
    for (int i = 0; i < 20000; ++i) {
      const double x = i / 172800.0;  // 120 readings a minute
      const double r = (i % 97 == 0) ? kNoValue : 138.5 + 0.01 * noise(rng);  // some resistances unknown
      s.add(x, c.offset + c.slopePerDay * x + c.scale * noise(rng), r);
    }
    for (const auto& [first, last] : kRanges) {
      SCOPED_TRACE(testing::Message() << "offset " << c.offset << " range " << first << ".." << last);
      const SpanStatistics st = s.statistics(first, last);
      expectMatches(st.temperature, direct(s, first, last, false), 1e-14);
      expectMatches(st.resistance, direct(s, first, last, true), 1e-14);
      EXPECT_EQ(st.firstX, s.x(first));
      EXPECT_EQ(st.lastX, s.x(last - 1));
    }
  }
}

TEST(SpanStatistics, EmptySingleAndFlatSpansAndInsertedPoints) {
  MeasurementSeries s;
  EXPECT_EQ(s.statistics(0, 0).temperature.count, 0u);
  EXPECT_TRUE(std::isnan(s.statistics(0, 0).temperature.mean));
  s.add(0.0, 20.0, 100.0);
  const SpanStatistics one = s.statistics(0, 1);
  EXPECT_EQ(one.temperature.mean, 20.0);
  EXPECT_TRUE(std::isnan(one.temperature.standardDeviation));  // one reading has no spread
  EXPECT_TRUE(std::isnan(one.temperature.driftPerMinute));
  // Readings at one instant have no drift, not an infinite one.
  s.add(0.0, 21.0, 101.0);
  EXPECT_TRUE(std::isnan(s.statistics(0, 2).temperature.driftPerMinute));
  // Points inserted behind the end (equal and earlier X) keep the summaries true.
  MeasurementSeries inserted, appended;
  std::vector<std::pair<double, double>> pts;
  for (int i = 0; i < 9000; ++i) pts.emplace_back((i * 7919 % 9000) / 1440.0, 20 + (i % 13) * 0.01);
  for (auto [x, y] : pts) inserted.add(x, y, y + 100);
  std::stable_sort(pts.begin(), pts.end(), [](auto a, auto b) { return a.first < b.first; });
  for (auto [x, y] : pts) appended.add(x, y, y + 100);
  const SpanStatistics a = inserted.statistics(10, 8500), b = appended.statistics(10, 8500);
  EXPECT_EQ(a.temperature.count, b.temperature.count);
  EXPECT_NEAR(a.temperature.mean, b.temperature.mean, 1e-12);
  EXPECT_NEAR(a.resistance.standardDeviation, b.resistance.standardDeviation, 1e-12);
  EXPECT_EQ(a.temperature.max, b.temperature.max);
}

TEST(SpanStatistics, ClockTimeAtAnyXFollowsTheNearestKnownReading) {
  MeasurementSeries s;
  EXPECT_EQ(s.utcMsAt(0.5), kNoTime);
  s.add(0.0, 20, kNoValue, kNoTime);  // a reading from a data file: no clock time
  EXPECT_EQ(s.utcMsAt(0.0), kNoTime);
  const std::int64_t t0 = 1'790'000'000'000;
  s.add(1.0 / 1440, 20, 100, t0);
  s.add(2.0 / 1440, 20, 100, t0 + 60'000);
  EXPECT_EQ(s.utcMsAt(1.5 / 1440), t0 + 30'000);
  EXPECT_EQ(s.utcMsAt(0.0), t0 - 60'000);  // before the first known one: the same offset
  EXPECT_EQ(s.utcMsAt(10.0 / 1440), t0 + 9 * 60'000);
}

TEST(Stability, BothSidesOfTheThresholdAndTheStableStretch) {
  MeasurementSeries s;
  const auto minute = [](double m) { return m / 1440.0; };
  // 5 minutes of readings: too short for a 10-minute window.
  for (int i = 0; i <= 10; ++i) s.add(minute(i * 0.5), 25.0 - i * 0.5);
  EXPECT_EQ(assessStability(s, 10, 0.01).state, Stability::State::TooShort);
  // Then a settled bath: 30 minutes within ±4 mK of 20 °C.
  for (int i = 1; i <= 60; ++i) s.add(minute(5 + i * 0.5), 20.0 + ((i % 3) - 1) * 0.004);
  Stability st = assessStability(s, 10, 0.01);
  ASSERT_EQ(st.state, Stability::State::Stable);
  EXPECT_NEAR(st.peakToPeak, 0.008, 1e-12);
  // From the last cooling reading (exactly 20 °C, already within) to the last one.
  EXPECT_NEAR(st.stableMinutes, 30.0, 1e-9);
  // A peak-to-peak equal to the threshold is within it.
  EXPECT_EQ(assessStability(s, 10, st.peakToPeak).state, Stability::State::Stable);
  // Just below the spread: not stable, and the spread is reported.
  st = assessStability(s, 10, 0.0079);
  EXPECT_EQ(st.state, Stability::State::Unstable);
  EXPECT_NEAR(st.peakToPeak, 0.008, 1e-12);
  // One reading off by 20 mK inside the window breaks it; out of the window it does not.
  s.add(minute(35.5), 20.02);
  EXPECT_EQ(assessStability(s, 10, 0.01).state, Stability::State::Unstable);
  for (int i = 1; i <= 24; ++i) s.add(minute(35.5 + i * 0.5), 20.02);
  st = assessStability(s, 10, 0.01);
  EXPECT_EQ(st.state, Stability::State::Stable);
  EXPECT_NEAR(st.stableMinutes, 12.0, 1e-9);
}

TEST(ReadingList, LinesAcrossTheirGroupsReadBackWhole) {
  ReadingList list;
  std::vector<std::string> lines;
  std::size_t chars = 0;
  for (int i = 0; i < 3000; ++i) {
    lines.push_back(std::string(static_cast<std::size_t>(i % 40), static_cast<char>('a' + i % 26)) + std::to_string(i));
    chars += lines.back().size();
  }
  list.reserve(lines.size(), chars);
  for (const auto& l : lines) list.append(l);
  for (std::size_t i : {0u, 1u, 1023u, 1024u, 1025u, 2047u, 2048u, 2999u}) EXPECT_EQ(list.line(i), lines[i]) << i;
  // The text, four bytes a line and one offset per 1024 lines.
  EXPECT_EQ(list.memoryBytes(), chars + 3000 * 4 + 3 * 8);
  list.clear();
  list.append("0.00 20.00");
  EXPECT_EQ(list.line(0), "0.00 20.00");
}
