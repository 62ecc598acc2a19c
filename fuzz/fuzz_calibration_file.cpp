// Calibration files: parse; a good file stores to the same tables again.
#include <cstddef>
#include <cstdint>

#include "calibration/calibration_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  CalibrationTables tables;
  const auto r = parseCalibrationFile(std::string_view(reinterpret_cast<const char*>(data), size), tables);
  if (r.ok) {
    const std::string text = calibrationFileText(tables);
    CalibrationTables again;
    if (!parseCalibrationFile(text, again).ok || calibrationFileText(again) != text) __builtin_trap();
  }
  return 0;
}
