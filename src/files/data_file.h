#pragma once
// Measurement data files (*.vmd): the reading list's text, one reading per line —
// minutes, one blank, temperature — with CR LF line ends. Loading reads every line into a
// fresh list and series; the caller commits them only when the whole file was good.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "display/measurement_series.h"
#include "display/reading_list.h"

namespace velmora {

// The file's bytes: every line of the list followed by CR LF (an empty list gives an
// empty file).
void dataFileText(const ReadingList& list, std::string& out);

struct DataFileLoad {
  bool ok = true;
  std::size_t errorLine = 0;  // 1-based line of the first bad line
  std::string error;          // "Invalid numeric input"
};

// Parses a file's bytes. Each non-blank line gives one point: x = first number × 60 / 86400
// days, y = second number; further text on the line is ignored. Lines may end in CR LF or
// LF. `progress` is called now and then with the number of bytes consumed.
DataFileLoad parseDataFile(std::string_view bytes, ReadingList& list, MeasurementSeries& series,
                           const std::function<void(std::size_t)>& progress = {});

}  // namespace velmora
