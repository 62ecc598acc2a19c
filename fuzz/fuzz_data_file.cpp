// Measurement data files: parse, and for a good file save again and compare.
#include <cstddef>
#include <cstdint>

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
  }
  return 0;
}
