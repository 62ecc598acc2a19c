#include "calibration/calibration_file.h"

#include "common/number_text.h"

namespace velmora {

void CalibrationTables::resize() {
  dataCells.assign(static_cast<std::size_t>((dataColumns - 1) * (dataRows - 1)), std::string());
  cofCells.assign(static_cast<std::size_t>((cofColumns - 1) * (cofRows - 1)), std::string());
}

std::string calibrationFileText(const CalibrationTables& t) {
  std::string out;
  auto line = [&](std::string_view s) {
    out.append(s);
    out.append("\r\n");
  };
  line(std::to_string(t.dataType));
  line(std::to_string(t.dataColumns));
  line(std::to_string(t.dataRows));
  for (const auto& c : t.dataCells) line(c);
  line(std::to_string(t.cofColumns));
  line(std::to_string(t.cofRows));
  for (const auto& c : t.cofCells) line(c);
  line(std::to_string(t.calcMethod));
  return out;
}

namespace {

class LineReader {
 public:
  explicit LineReader(std::string_view bytes) : m_bytes(bytes) {}
  bool next(std::string_view& line) {
    if (m_pos >= m_bytes.size()) return false;
    std::size_t end = m_bytes.find('\n', m_pos);
    const std::size_t next = end == std::string_view::npos ? m_bytes.size() : end + 1;
    if (end == std::string_view::npos) end = m_bytes.size();
    line = m_bytes.substr(m_pos, end - m_pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    m_pos = next;
    ++m_line;
    return true;
  }
  std::size_t lineNo() const { return m_line; }

 private:
  std::string_view m_bytes;
  std::size_t m_pos = 0;
  std::size_t m_line = 0;
};

struct Failure {
  std::size_t line;
  std::string text;
};

constexpr std::size_t kMaxCell = 255;

}  // namespace

CalibrationFileLoad parseCalibrationFile(std::string_view bytes, CalibrationTables& out) {
  LineReader reader(bytes);
  CalibrationTables t;
  auto fail = [&](const std::string& text) { throw Failure{reader.lineNo(), text}; };
  auto nextLine = [&]() {
    std::string_view line;
    if (!reader.next(line)) throw Failure{reader.lineNo() + 1, "Unexpected end of file"};
    return line;
  };
  // An integer at the start of the line; the rest of the line is ignored.
  auto integer = [&](int lo, int hi, const char* what) {
    std::string_view line = trimLeadingBlanks(nextLine());
    std::size_t n = 0;
    if (n < line.size() && (line[n] == '-' || line[n] == '+')) ++n;
    while (n < line.size() && line[n] >= '0' && line[n] <= '9') ++n;
    auto v = parseInteger(line.substr(0, n));
    if (!v) fail("Invalid numeric input");
    if (*v < lo || *v > hi) fail(std::string(what) + " out of range: " + std::to_string(*v));
    return *v;
  };
  auto cell = [&]() {
    std::string_view line = nextLine();
    if (line.size() > kMaxCell) fail("Cell text too long");
    for (char c : line)
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t') fail("Invalid character in a cell");
    return std::string(line);
  };
  try {
    t.dataType = integer(0, 1, "Data type");
    t.dataColumns = integer(5, 5, "Column count");
    t.dataRows = integer(2, 1000, "Row count");
    t.dataCells.clear();
    for (int i = 0; i < (t.dataColumns - 1) * (t.dataRows - 1); ++i) t.dataCells.push_back(cell());
    t.cofColumns = integer(5, 5, "Column count");
    t.cofRows = integer(3, 3, "Row count");
    t.cofCells.clear();
    for (int i = 0; i < (t.cofColumns - 1) * (t.cofRows - 1); ++i) t.cofCells.push_back(cell());
    t.calcMethod = integer(0, 999, "Method");
  } catch (const Failure& f) {
    return {false, f.line, f.text};
  }
  out = std::move(t);
  return {};
}

}  // namespace velmora
