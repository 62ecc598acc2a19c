#include "device/serial_framing.h"

namespace velmora {

std::string_view SerialFraming::frame(std::string_view block, std::uint32_t lineErrors) {
  if (lineErrors != 0) return {};
  if (block.size() > kMaxBlock) block = block.substr(0, kMaxBlock);
  if (m_skipFirstByte) {
    m_skipFirstByte = false;
    block = block.size() < 2 ? std::string_view() : block.substr(1);
  }
  return block;
}

}  // namespace velmora
