#include "device/serial_framing.h"

namespace velmora {

bool SerialFraming::canBeginAnswer(char c) {
  return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == ' ' || c == 'R' || c == 'w';
}

std::string_view SerialFraming::frame(std::string_view block, std::uint32_t lineErrors) {
  if (lineErrors != 0) return {};
  if (block.size() > kMaxBlock) block = block.substr(0, kMaxBlock);
  if (m_skipFirstByte && !block.empty()) {
    m_skipFirstByte = false;
    if (!canBeginAnswer(block.front())) block.remove_prefix(1);
  }
  return block;
}

}  // namespace velmora
