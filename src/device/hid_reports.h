#pragma once
// The USB adapter's HID reports. Output: report id 0, the text length L twice, two zero
// bytes, then the text with its CR, the rest 0. Input (without its report id): a 16-bit
// little-endian text count, two unused bytes, then the text.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

inline constexpr const char* kAdapterProduct = "USB-COM adapter";
inline constexpr const char* kAdapterMaker = "KORVAN";

// The output report of `length` bytes for `text` (which includes its CR); nothing when the
// text does not fit (5 header bytes + text > length).
std::optional<std::vector<std::uint8_t>> packOutputReport(std::string_view text, std::size_t length);

// The adapter's set-up report: a text count of 0, "bw", and 4800 as a 32-bit number.
std::vector<std::uint8_t> setupReport(std::size_t length);

// The text of an input report; nothing when its first two bytes are both 0. A count larger
// than the report gives all that is there.
std::optional<std::string_view> inputReportText(const std::uint8_t* data, std::size_t count);

// A product or maker string, or "Device VID=%.4x PID=%.4x" in place of an empty one.
std::string deviceString(const std::string& value, std::uint16_t vid, std::uint16_t pid);

}  // namespace velmora
