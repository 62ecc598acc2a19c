// Instrument bytes through the whole receive path: blocks (with and without line-error bits)
// into RxBuffer, cut into lines, parsed in every waiting state.
#include <cstddef>
#include <cstdint>

#include "fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  fuzz::Harness harness;
  fuzz::Host& host = harness.host;
  Protocol& protocol = harness.protocol;
  host.cells[2][1] = "100.000";
  host.cells[2][2] = "3.9083";
  host.cells[2][3] = "-5.7750";
  host.cells[2][4] = "-4.1830";
  protocol.miRecordClick(true);
  std::size_t pos = 0;
  while (pos < size) {
    // Each chunk: a control byte (state to enter, error bits, length), then the block.
    const std::uint8_t control = data[pos++];
    switch (control & 7) {
      case 0: protocol.DataTimerTimer(); break;
      case 1: protocol.startCofRead(); break;
      case 2: protocol.startCofWrite(); break;
      case 3: protocol.TimeOffTimerTimer(); break;
      default: break;
    }
    const std::size_t length = std::min<std::size_t>(size - pos, (control >> 3) * 12u + 1u);
    const std::string_view block(reinterpret_cast<const char*>(data + pos), length);
    pos += length;
    protocol.received(host.framing.frame(block, (control & 0x80) && (control & 0x40) ? 1u : 0u));
    if (protocol.RxBuffer.size() > Protocol::kMaxRxBuffer) __builtin_trap();
  }
  return 0;
}
