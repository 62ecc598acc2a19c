#include "files/data_file.h"

#include "common/number_text.h"

namespace velmora {

void dataFileText(const ReadingList& list, std::string& out) {
  out.clear();
  std::size_t total = 0;
  for (std::size_t i = 0; i < list.size(); ++i) total += list.line(i).size() + 2;
  out.reserve(total);
  for (std::size_t i = 0; i < list.size(); ++i) {
    out.append(list.line(i));
    out.append("\r\n");
  }
}

namespace {
inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The next field of a line: blanks skipped, then up to the next blank.
std::string_view nextField(std::string_view& rest) {
  std::size_t i = 0;
  while (i < rest.size() && isBlank(rest[i])) ++i;
  std::size_t j = i;
  while (j < rest.size() && !isBlank(rest[j])) ++j;
  std::string_view field = rest.substr(i, j - i);
  rest.remove_prefix(j);
  return field;
}
}  // namespace

DataFileLoad parseDataFile(std::string_view bytes, ReadingList& list, MeasurementSeries& series,
                           const std::function<void(std::size_t)>& progress) {
  DataFileLoad result;
  std::size_t pos = 0;
  std::size_t lineNo = 0;
  std::size_t nextReport = 1 << 20;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find('\n', pos);
    const std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++lineNo;
    pos = next;
    std::string_view rest = line;
    const std::string_view first = nextField(rest);
    if (first.empty()) continue;  // a blank line, as a text reader skips it
    const std::string_view second = nextField(rest);
    const auto minutes = parseNumber(first);
    const auto y = second.empty() ? std::nullopt : parseNumber(second);
    if (!minutes || !y) {
      result.ok = false;
      result.errorLine = lineNo;
      result.error = "Invalid numeric input";
      return result;
    }
    list.append(line);
    series.add(*minutes * 60.0 / 86400.0, *y);
    if (progress && pos >= nextReport) {
      progress(pos);
      nextReport = pos + (1 << 20);
    }
  }
  if (progress) progress(bytes.size());
  return result;
}

}  // namespace velmora
