#pragma once
// Clock time as text: UTC and local ISO 8601 with milliseconds, read back from UTC text,
// and the broken-down local time (through the C library, so the TZ variable decides the
// zone and its daylight-saving rules).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

struct CivilTime {
  int year = 1970, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  int offsetMinutes = 0;  // local time − UTC
};

// Milliseconds since 1970-01-01 00:00 UTC → UTC / local calendar time.
CivilTime utcCivil(std::int64_t utcMs);
CivilTime localCivil(std::int64_t utcMs);

// "2026-12-08T04:31:36.123Z"
std::string formatUtcIso(std::int64_t utcMs);
// "2026-12-08T05:31:36.123+01:00" (the zone's offset at that moment)
std::string formatLocalIso(std::int64_t utcMs);
// Reads "YYYY-MM-DDThh:mm:ss[.fff]Z" (what formatUtcIso writes); nothing on anything else.
std::optional<std::int64_t> parseUtcIso(std::string_view text);

// The clock-time axis label of a tick: local "hh:mm" or "hh:mm:ss", with the local date
// "YYYY-MM-DD" on a second line when `withDate`.
std::string clockTickLabel(std::int64_t utcMs, bool seconds, bool withDate);
// Whether two moments fall on different local days.
bool differentLocalDay(std::int64_t aMs, std::int64_t bMs);

}  // namespace velmora
