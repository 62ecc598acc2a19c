#pragma once
// The big readout on the toolbar: the last reply in temperature mode (0) or resistance
// mode (1), black when fresh, purple while a reading is awaited, white after a mode change.

#include <string>
#include <string_view>

namespace velmora {

enum class ReadoutColor { Black, Purple, White };

class Readout {
 public:
  void onRequest() { m_color = ReadoutColor::Purple; }
  // `reply` without its leading blanks and control characters; `ohmText` is IDS_55.
  void onReply(std::string_view reply, std::string_view ohmText);
  void toggleMode() {
    m_mode = m_mode == 0 ? 1 : 0;
    m_color = ReadoutColor::White;
  }
  void setVisible(bool visible) { m_visible = visible; }

  int mode() const { return m_mode; }
  ReadoutColor color() const { return m_color; }
  bool visible() const { return m_visible; }
  const std::string& text() const { return m_text; }

 private:
  int m_mode = 0;
  ReadoutColor m_color = ReadoutColor::Black;
  bool m_visible = false;
  std::string m_text = "0.0";
};

inline void Readout::onReply(std::string_view reply, std::string_view ohmText) {
  m_color = ReadoutColor::Black;
  if (!m_visible) return;
  const auto blank = reply.find(' ');
  if (m_mode == 1) {
    m_text = " ";
    if (blank != std::string_view::npos) m_text += reply.substr(0, blank + 1);
    m_text += ohmText;
  } else {
    m_text = " ";
    m_text += blank == std::string_view::npos ? reply : reply.substr(blank + 1);
    m_text += " *C ";
  }
}

}  // namespace velmora
