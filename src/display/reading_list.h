#pragma once
// The reading list: one text line per reading, in the order of arrival, kept compactly in
// one character buffer so that millions of lines cost little. The line format is also the
// line of a measurement data file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Minutes (6 significant digits, 2 decimals), one blank, temperature (5 significant digits,
// 2 decimals): X of 30 s and 21.456 °C give "0.50 21.46".
std::string listLine(double xDays, double y);
void appendListLine(std::string& out, double xDays, double y);

class ReadingList {
 public:
  // Throws std::length_error when a group of lines would pass 4 GiB of text.
  void append(std::string_view line);
  void clear();
  void reserve(std::size_t lines, std::size_t chars);

  std::size_t size() const { return m_ends.size(); }
  bool empty() const { return m_ends.empty(); }
  std::string_view line(std::size_t i) const;

  // All lines joined by CR LF (no line end after the last), as the list's text reads.
  std::string text() const;
  // The same text written to a sink in pieces, without building it whole.
  template <typename Sink>
  void writeText(Sink&& sink) const;

  std::size_t memoryBytes() const;

 private:
  static constexpr std::size_t kLinesPerBase = 1024;
  std::vector<char> m_chars;  // a vector: it grows by what is reserved (a string doubles)
  // End of each line, counted from the start of its group of kLinesPerBase lines (whose
  // offset in m_chars is in m_bases): four bytes a line instead of eight.
  std::vector<std::uint32_t> m_ends;
  std::vector<std::uint64_t> m_bases;
};

template <typename Sink>
void ReadingList::writeText(Sink&& sink) const {
  for (std::size_t i = 0; i < m_ends.size(); ++i) {
    if (i) sink(std::string_view("\r\n", 2));
    sink(line(i));
  }
}

}  // namespace velmora
