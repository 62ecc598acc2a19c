// Measurement data files (.vmd and CSV): parse, and for a good file save again and compare;
// a good CSV file also goes through CSV again.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "files/csv_file.h"
#include "files/data_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  ReadingList list;
  MeasurementSeries series;
  const auto r = parseDataFile(std::string_view(reinterpret_cast<const char*>(data), size), list, series);
  if (r.ok) {
    if (list.size() != series.size()) __builtin_trap();
    std::string text;
    dataFileText(list, text);
    ReadingList again;
    MeasurementSeries againSeries;
    if (!parseDataFile(text, again, againSeries).ok || again.size() != list.size()) __builtin_trap();
    // CSV holds elapsed minutes below a billion; within that, CSV → CSV is byte-identical.
    bool inRange = true;
    for (std::size_t i = 0; i < series.size(); ++i) inRange = inRange && std::fabs(series.x(i) * 1440.0) < 9e8;
    if (inRange) {
      const std::string csv = csvText(series, 0, series.size());
      ReadingList csvList;
      MeasurementSeries csvSeries;
      if (!parseDataFile(csv, csvList, csvSeries).ok || csvSeries.size() != series.size()) __builtin_trap();
      if (csvText(csvSeries, 0, csvSeries.size()) != csv) __builtin_trap();
    }
  }
  return 0;
}
