#pragma once
// Readings as CSV (RFC 4180, UTF-8, CR LF): a header row, then one row per reading with its
// clock time in UTC and local time, the elapsed recording minutes, the resistance and the
// temperature. Numbers use "." and the shortest text that reads back to the same value, so
// that export → open → export gives the same bytes; unknown values are left empty.

#include <cstdint>
#include <string>
#include <string_view>

#include "display/measurement_series.h"

namespace velmora {

inline constexpr std::string_view kCsvHeader = "time_utc,time_local,elapsed_min,resistance_ohm,temperature_C";

// Several instruments in one file (long form): the channel's name first, then the columns
// of one instrument's file. A single instrument keeps the header above.
inline constexpr std::string_view kCsvChannelHeader =
    "channel,time_utc,time_local,elapsed_min,resistance_ohm,temperature_C";

bool isCsvHeader(std::string_view line);
bool isCsvChannelHeader(std::string_view line);
void appendCsvChannelHeader(std::string& out);
// One row of a channel's reading: its name (quoted when it must be), then the row.
void appendCsvChannelRow(std::string& out, std::string_view channel, double x, double y, double resistance,
                         std::int64_t utcMs);

void appendCsvHeader(std::string& out);
void appendCsvRow(std::string& out, double x, double y, double resistance, std::int64_t utcMs);
// The readings [first, last) of a series, header first.
std::string csvText(const MeasurementSeries& series, std::size_t first, std::size_t last);

struct CsvRow {
  std::int64_t utcMs = kNoTime;
  double elapsedMinutes = 0;
  double resistance = kNoValue;
  double temperature = 0;
};
// One data row (without its line end); the elapsed minutes and the temperature must be
// there, the clock time and the resistance may be empty. Quoted fields are accepted.
bool parseCsvRow(std::string_view line, CsvRow& row);
// A row of the long form: the channel's name and the row.
bool parseCsvChannelRow(std::string_view line, std::string& channel, CsvRow& row);

// The command line's conversion: a data file (.vmd or CSV) or a recording journal → CSV.
// False with a message in `error` when the input cannot be read or is not valid, or the
// output cannot be written (nothing half-written is left).
bool exportCsvFile(const std::string& inPath, const std::string& outPath, std::string& error);

}  // namespace velmora
