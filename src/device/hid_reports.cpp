#include "device/hid_reports.h"

#include <cstdio>

namespace velmora {

std::optional<std::vector<std::uint8_t>> packOutputReport(std::string_view text, std::size_t length) {
  if (length < 5 || text.size() > length - 5) return std::nullopt;
  std::vector<std::uint8_t> report(length, 0);
  const auto l = static_cast<std::uint8_t>(text.size() & 0xFF);
  report[1] = l;
  report[2] = l;
  for (std::size_t i = 0; i < text.size(); ++i) report[5 + i] = static_cast<std::uint8_t>(text[i]);
  return report;
}

std::vector<std::uint8_t> setupReport(std::size_t length) {
  std::vector<std::uint8_t> report(length < 9 ? 9 : length, 0);
  const std::uint8_t bytes[8] = {0x00, 0x00, 0x62, 0x77, 0xC0, 0x12, 0x00, 0x00};
  for (std::size_t i = 0; i < 8; ++i) report[1 + i] = bytes[i];
  return report;
}

std::optional<std::string_view> inputReportText(const std::uint8_t* data, std::size_t count) {
  if (count < 2 || (data[0] == 0 && data[1] == 0)) return std::nullopt;
  const std::size_t textCount = data[0] + 256u * data[1];
  if (count <= 4) return std::string_view();
  const std::size_t available = count - 4;
  return std::string_view(reinterpret_cast<const char*>(data + 4), textCount < available ? textCount : available);
}

std::string deviceString(const std::string& value, std::uint16_t vid, std::uint16_t pid) {
  if (!value.empty()) return value;
  char buf[40];
  std::snprintf(buf, sizeof buf, "Device VID=%.4x PID=%.4x", vid, pid);
  return buf;
}

}  // namespace velmora
