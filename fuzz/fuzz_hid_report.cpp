// HID input reports through the report parser into the protocol.
#include <cstddef>
#include <cstdint>

#include "device/hid_reports.h"
#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  fuzz::Harness harness;
  fuzz::Host& host = harness.host;
  Protocol& protocol = harness.protocol;
  protocol.DataTimerTimer();
  // The input is a sequence of reports of up to 64 bytes.
  for (std::size_t pos = 0; pos < size; pos += 64) {
    const std::size_t n = std::min<std::size_t>(64, size - pos);
    if (auto text = inputReportText(data + pos, n)) {
      if (text->size() > n) __builtin_trap();
      protocol.receiveText(*text);
    }
    if ((pos / 64) % 3 == 0) protocol.DataTimerTimer();
    if ((pos / 64) % 5 == 1) protocol.startCofRead();
  }
  auto report = packOutputReport(std::string_view(reinterpret_cast<const char*>(data), size), 65);
  if (report && report->size() != 65) __builtin_trap();
  return 0;
}
