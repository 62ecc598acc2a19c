#include "display/reading_list.h"

#include <stdexcept>

#include "common/number_text.h"

namespace velmora {

void appendListLine(std::string& out, double xDays, double y) {
  const double minutes = xDays / (1.0 / 86400.0) / 60.0;
  appendFixed(out, minutes, 6, 2);
  out.push_back(' ');
  appendFixed(out, y, 5, 2);
}

std::string listLine(double xDays, double y) {
  std::string s;
  appendListLine(s, xDays, y);
  return s;
}

void ReadingList::append(std::string_view line) {
  const std::size_t i = m_ends.size();
  if (i % kLinesPerBase == 0) m_bases.push_back(m_chars.size());
  const std::uint64_t end = m_chars.size() + line.size() - m_bases.back();
  if (end > UINT32_MAX) {
    if (i % kLinesPerBase == 0) m_bases.pop_back();
    throw std::length_error("reading list line too long");
  }
  // Grown by an eighth at a time (not doubled): little room held beyond the lines.
  if (m_chars.size() + line.size() > m_chars.capacity())
    m_chars.reserve(m_chars.size() + line.size() + m_chars.size() / 8 + 65536);
  if (m_ends.size() == m_ends.capacity()) m_ends.reserve(m_ends.size() + m_ends.size() / 8 + 4096);
  m_chars.insert(m_chars.end(), line.begin(), line.end());
  m_ends.push_back(static_cast<std::uint32_t>(end));
}

void ReadingList::clear() {
  m_chars.clear();
  m_chars.shrink_to_fit();
  m_ends.clear();
  m_ends.shrink_to_fit();
  m_bases.clear();
  m_bases.shrink_to_fit();
}

void ReadingList::reserve(std::size_t lines, std::size_t chars) {
  m_ends.reserve(lines);
  m_bases.reserve(lines / kLinesPerBase + 1);
  m_chars.reserve(chars);
}

std::string_view ReadingList::line(std::size_t i) const {
  const std::size_t base = static_cast<std::size_t>(m_bases[i / kLinesPerBase]);
  const std::size_t begin = base + (i % kLinesPerBase == 0 ? 0 : m_ends[i - 1]);
  return std::string_view(m_chars.data() + begin, base + m_ends[i] - begin);
}

std::string ReadingList::text() const {
  std::string s;
  s.reserve(m_chars.size() + 2 * m_ends.size());
  writeText([&](std::string_view piece) { s.append(piece); });
  return s;
}

std::size_t ReadingList::memoryBytes() const {
  return m_chars.capacity() + m_ends.capacity() * sizeof(std::uint32_t) + m_bases.capacity() * sizeof(std::uint64_t);
}

}  // namespace velmora
