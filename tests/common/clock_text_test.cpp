// Clock time as text: ISO 8601 in UTC and local time, read back from UTC text, and the
// clock-axis labels across midnight and both daylight-saving changes (a zone set here).
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "common/clock_text.h"

using namespace velmora;

namespace {
// Central European time with its daylight-saving rules, as a POSIX TZ string (no zone
// database needed).
class BerlinTime : public testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "POSIX TZ rules";
#else
    if (const char* tz = std::getenv("TZ")) m_saved = tz, m_had = true;
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
#endif
  }
  void TearDown() override {
#ifndef _WIN32
    if (m_had)
      setenv("TZ", m_saved.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
#endif
  }
  static std::int64_t utc(const char* iso) { return *parseUtcIso(iso); }

 private:
  std::string m_saved;
  bool m_had = false;
};
}  // namespace

TEST(ClockText, UtcTextBothWays) {
  EXPECT_EQ(formatUtcIso(0), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(formatUtcIso(1'790'000'000'123), "2026-09-21T14:13:20.123Z");
  EXPECT_EQ(formatUtcIso(-1), "1969-12-31T23:59:59.999Z");
  EXPECT_EQ(parseUtcIso("2026-09-21T14:13:20.123Z"), 1'790'000'000'123);
  EXPECT_EQ(parseUtcIso("2026-09-21T14:13:20Z"), 1'790'000'000'000);
  EXPECT_EQ(parseUtcIso("2024-02-29T00:00:00.000Z"), 1'709'164'800'000);  // a leap day
  for (const char* bad : {"", "2026-09-21 14:13:20.123Z", "2026-09-21T14:13:20.123", "2026-13-01T00:00:00.000Z",
                          "2026-09-21T24:00:00.000Z", "2026-09-21T14:13:20.12Z", "2026-09-21T14:13:20.123+01:00",
                          "2026-09-21T14:13:2x.123Z", "2026-09-21T14:13:20.123Zjunk"})
    EXPECT_FALSE(parseUtcIso(bad).has_value()) << bad;
  for (std::int64_t t : {0LL, 1LL, 999LL, 1'790'000'000'123LL, 4'102'444'800'000LL})
    EXPECT_EQ(parseUtcIso(formatUtcIso(t)), t);
}

TEST_F(BerlinTime, LocalTextCarriesTheOffsetInForceAtThatMoment) {
  EXPECT_EQ(formatLocalIso(utc("2026-12-07T23:00:00.000Z")), "2026-12-08T00:00:00.000+01:00");
  EXPECT_EQ(formatLocalIso(utc("2026-07-01T10:30:00.250Z")), "2026-07-01T12:30:00.250+02:00");
  // Spring: 02:00 CET does not exist, the clock goes to 03:00 CEST.
  EXPECT_EQ(formatLocalIso(utc("2026-03-29T00:59:59.999Z")), "2026-03-29T01:59:59.999+01:00");
  EXPECT_EQ(formatLocalIso(utc("2026-03-29T01:00:00.000Z")), "2026-03-29T03:00:00.000+02:00");
  // Autumn: 02:00–03:00 happens twice; the offset tells them apart.
  EXPECT_EQ(formatLocalIso(utc("2026-10-25T00:30:00.000Z")), "2026-10-25T02:30:00.000+02:00");
  EXPECT_EQ(formatLocalIso(utc("2026-10-25T01:30:00.000Z")), "2026-10-25T02:30:00.000+01:00");
}

TEST_F(BerlinTime, AxisLabelsAcrossMidnightAndDaylightSaving) {
  const std::int64_t beforeMidnight = utc("2026-12-07T22:59:00.000Z");
  const std::int64_t afterMidnight = utc("2026-12-07T23:01:30.000Z");
  EXPECT_EQ(clockTickLabel(beforeMidnight, false, false), "23:59");
  EXPECT_EQ(clockTickLabel(afterMidnight, true, true), "00:01:30\n2026-12-08");
  EXPECT_TRUE(differentLocalDay(beforeMidnight, afterMidnight));
  // Midnight in UTC is not the local one.
  EXPECT_FALSE(differentLocalDay(utc("2026-12-07T23:30:00.000Z"), utc("2026-12-08T00:30:00.000Z")));
  EXPECT_EQ(clockTickLabel(utc("2026-03-29T00:30:00.000Z"), false, false), "01:30");
  EXPECT_EQ(clockTickLabel(utc("2026-03-29T01:30:00.000Z"), false, false), "03:30");
  EXPECT_EQ(clockTickLabel(utc("2026-10-25T01:30:00.000Z"), false, false), "02:30");
}
