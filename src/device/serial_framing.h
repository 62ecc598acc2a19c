#pragma once
// What becomes of a block received from the serial port before the protocol sees it: the
// line settles as the port opens, so the first character after opening is dropped when it
// cannot begin an answer (a NUL, 0xFF, a control character, a stray letter) and kept when it
// can (a digit, a sign, a point, a blank, the first letter of a factor line or of an echo);
// at most 255 characters of a block count, and a block that came with line-error bits is
// dropped without holding up the blocks behind it.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velmora {

class SerialFraming {
 public:
  static constexpr std::size_t kMaxBlock = 255;

  // The port was opened (true) or closed.
  void opened(bool active) { m_skipFirstByte = active; }
  // The part of the block that the protocol receives (possibly empty).
  std::string_view frame(std::string_view block, std::uint32_t lineErrors);
  bool skipsFirstByte() const { return m_skipFirstByte; }
  // Whether a character can be the first of an answer of the instrument.
  static bool canBeginAnswer(char c);

 private:
  bool m_skipFirstByte = false;
};

}  // namespace velmora
