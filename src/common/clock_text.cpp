#include "common/clock_text.h"

#include <cstdio>
#include <ctime>

namespace velmora {

namespace {
// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

CivilTime fromMs(std::int64_t ms) {
  CivilTime c;
  const std::int64_t days = floorDiv(ms, 86400000);
  std::int64_t rest = ms - days * 86400000;
  civilFromDays(days, c.year, c.month, c.day);
  c.hour = static_cast<int>(rest / 3600000);
  rest %= 3600000;
  c.minute = static_cast<int>(rest / 60000);
  rest %= 60000;
  c.second = static_cast<int>(rest / 1000);
  c.millisecond = static_cast<int>(rest % 1000);
  return c;
}

bool parseDigits(std::string_view t, std::size_t at, std::size_t n, int& out) {
  if (at + n > t.size()) return false;
  out = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    out = out * 10 + (t[i] - '0');
  }
  return true;
}
}  // namespace

CivilTime utcCivil(std::int64_t utcMs) { return fromMs(utcMs); }

CivilTime localCivil(std::int64_t utcMs) {
  const std::time_t seconds = static_cast<std::time_t>(floorDiv(utcMs, 1000));
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &seconds);
#else
  localtime_r(&seconds, &tm);
#endif
  // The zone's offset is what the local calendar time is ahead of UTC.
  const std::int64_t localSeconds =
      daysFromCivil(tm.tm_year + 1900, static_cast<unsigned>(tm.tm_mon + 1), static_cast<unsigned>(tm.tm_mday)) * 86400 +
      tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
  CivilTime c = fromMs(localSeconds * 1000 + (utcMs - floorDiv(utcMs, 1000) * 1000));
  c.offsetMinutes = static_cast<int>((localSeconds - static_cast<std::int64_t>(seconds)) / 60);
  return c;
}

std::string formatUtcIso(std::int64_t utcMs) {
  const CivilTime c = utcCivil(utcMs);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", c.year, c.month, c.day, c.hour, c.minute,
                c.second, c.millisecond);
  return buf;
}

std::string formatLocalIso(std::int64_t utcMs) {
  const CivilTime c = localCivil(utcMs);
  const int off = c.offsetMinutes < 0 ? -c.offsetMinutes : c.offsetMinutes;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", c.year, c.month, c.day, c.hour,
                c.minute, c.second, c.millisecond, c.offsetMinutes < 0 ? '-' : '+', off / 60, off % 60);
  return buf;
}

std::optional<std::int64_t> parseUtcIso(std::string_view t) {
  int y, mo, d, h, mi, s, ms = 0;
  if (t.size() < 20 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':') return std::nullopt;
  if (!parseDigits(t, 0, 4, y) || !parseDigits(t, 5, 2, mo) || !parseDigits(t, 8, 2, d) || !parseDigits(t, 11, 2, h) ||
      !parseDigits(t, 14, 2, mi) || !parseDigits(t, 17, 2, s))
    return std::nullopt;
  std::size_t at = 19;
  if (t[at] == '.') {
    if (!parseDigits(t, at + 1, 3, ms)) return std::nullopt;
    at += 4;
  }
  if (at + 1 != t.size() || t[at] != 'Z') return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60) return std::nullopt;
  const std::int64_t days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
  return ((days * 24 + h) * 60 + mi) * 60000 + static_cast<std::int64_t>(s) * 1000 + ms;
}

std::string clockTickLabel(std::int64_t utcMs, bool seconds, bool withDate) {
  const CivilTime c = localCivil(utcMs);
  char buf[48];
  if (seconds)
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", c.hour, c.minute, c.second);
  else
    std::snprintf(buf, sizeof buf, "%02d:%02d", c.hour, c.minute);
  std::string label = buf;
  if (withDate) {
    std::snprintf(buf, sizeof buf, "\n%04d-%02d-%02d", c.year, c.month, c.day);
    label += buf;
  }
  return label;
}

bool differentLocalDay(std::int64_t aMs, std::int64_t bMs) {
  const CivilTime a = localCivil(aMs), b = localCivil(bMs);
  return a.year != b.year || a.month != b.month || a.day != b.day;
}

}  // namespace velmora
