#include "files/data_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <stdexcept>

#include "common/number_text.h"
#include "files/csv_file.h"

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

struct Point {
  double x, y;
};

// A stable merge sort by X in passes, so that a long sort can report and be stopped between
// steps: runs of kRun points are sorted first, then merged pairwise.
bool stableSortByX(std::vector<Point>& points, const std::function<bool(double)>& keepGoing) {
  constexpr std::size_t kRun = 1 << 16;
  const std::size_t n = points.size();
  auto byX = [](const Point& a, const Point& b) { return a.x < b.x; };
  std::size_t passes = 1;
  for (std::size_t w = kRun; w < n; w *= 2) ++passes;
  std::size_t step = 0;
  const double totalSteps = static_cast<double>(passes) * static_cast<double>((n + kRun - 1) / kRun + 1);
  auto report = [&] { return !keepGoing || keepGoing(static_cast<double>(++step) / totalSteps); };
  for (std::size_t i = 0; i < n; i += kRun) {
    std::stable_sort(points.begin() + static_cast<std::ptrdiff_t>(i),
                     points.begin() + static_cast<std::ptrdiff_t>(std::min(n, i + kRun)), byX);
    if (!report()) return false;
  }
  std::vector<Point> buffer(n);
  for (std::size_t width = kRun; width < n; width *= 2) {
    for (std::size_t lo = 0; lo < n; lo += 2 * width) {
      const std::size_t mid = std::min(n, lo + width), hi = std::min(n, lo + 2 * width);
      std::merge(points.begin() + static_cast<std::ptrdiff_t>(lo), points.begin() + static_cast<std::ptrdiff_t>(mid),
                 points.begin() + static_cast<std::ptrdiff_t>(mid), points.begin() + static_cast<std::ptrdiff_t>(hi),
                 buffer.begin() + static_cast<std::ptrdiff_t>(lo), byX);
      if (!report()) return false;
    }
    points.swap(buffer);
  }
  return true;
}
}  // namespace

void DataFileLoader::reserve(std::size_t lines, std::size_t chars) {
  m_reservedLines = lines;
  m_list.reserve(lines, chars);
  m_xs.reserve(lines);
  m_ys.reserve(lines);
}

bool DataFileLoader::fail() {
  m_result.ok = false;
  m_result.errorLine = m_lineNo;
  m_result.error = "Invalid numeric input";
  return false;
}

bool DataFileLoader::parseLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  ++m_lineNo;
  if (m_channelCsv) return parseChannelLine(line);
  if (m_csv) return parseCsvLine(line);
  std::string_view rest = line;
  const std::string_view first = nextField(rest);
  if (first.empty()) return true;  // a blank line, as a text reader skips it
  if (m_xs.empty() && !m_csv && m_list.empty() && isCsvChannelHeader(line)) {
    m_csv = m_channelCsv = true;
    m_list = ReadingList();
    return true;
  }
  if (m_xs.empty() && !m_csv && m_list.empty() && isCsvHeader(line)) {
    // A CSV line is much longer than the list line made from it: room for the list lines only.
    m_csv = true;
    m_list = ReadingList();
    m_list.reserve(m_reservedLines, m_reservedLines * 16);
    m_rs.reserve(m_reservedLines);
    m_ts.reserve(m_reservedLines);
    return true;
  }
  const std::string_view second = nextField(rest);
  const auto minutes = parseNumber(first);
  const auto y = second.empty() ? std::nullopt : parseNumber(second);
  if (!minutes || !y) return fail();
  const double x = *minutes * 60.0 / 86400.0;
  try {
    m_list.append(line);
  } catch (const std::length_error&) {
    return fail();
  }
  if (!m_xs.empty() && x < m_xs.back()) m_sorted = false;
  m_xs.push_back(x);
  m_ys.push_back(*y);
  return true;
}

bool DataFileLoader::parseCsvLine(std::string_view line) {
  if (line.empty()) return true;
  CsvRow row;
  if (!parseCsvRow(line, row)) return fail();
  // Up to a billion minutes (1900 years), where six decimals still read back to the same
  // text; beyond that no recording reaches.
  if (!(std::fabs(row.elapsedMinutes) < 1e9)) return fail();
  appendRow(row.elapsedMinutes * 60.0 / 86400.0, row);
  return true;
}

// A row of the first instrument: into the loader's own columns.
void DataFileLoader::appendRow(double x, const CsvRow& row) {
  if (!m_xs.empty() && x < m_xs.back()) m_sorted = false;
  m_line.clear();
  appendListLine(m_line, x, row.temperature);
  m_list.append(m_line);
  m_xs.push_back(x);
  m_ys.push_back(row.temperature);
  m_rs.push_back(row.resistance);
  m_ts.push_back(row.utcMs);
}

// A row of the long form: the first instrument's go to the loader's own columns, the others'
// to theirs, in the order the names first appear.
bool DataFileLoader::parseChannelLine(std::string_view line) {
  if (line.empty()) return true;
  thread_local std::string name;
  CsvRow row;
  if (!parseCsvChannelRow(line, name, row)) return fail();
  if (!(std::fabs(row.elapsedMinutes) < 1e9)) return fail();
  const double x = row.elapsedMinutes * 60.0 / 86400.0;
  if (m_firstName.empty()) m_firstName = name;
  if (name == m_firstName) {
    appendRow(x, row);
    return true;
  }
  // The instrument by its name: found in one step however many there are.
  auto [at, added] = m_extraIndex.try_emplace(name, m_extras.size());
  if (added) m_extras.push_back({name, {}, {}, {}});
  Extra* e = &m_extras[at->second];
  Columns& c = e->columns;
  if (!c.xs.empty() && x < c.xs.back()) c.sorted = false;
  m_line.clear();
  appendListLine(m_line, x, row.temperature);
  e->list.append(m_line);
  c.xs.push_back(x);
  c.ys.push_back(row.temperature);
  c.rs.push_back(row.resistance);
  c.ts.push_back(row.utcMs);
  return true;
}

// The columns put in ascending X (equal X in their order), each following its point.
bool DataFileLoader::sortColumns(Columns& c, const std::function<bool(double)>& keepGoing) {
  if (c.sorted) return true;
  std::vector<Point> points(c.xs.size());
  for (std::size_t i = 0; i < points.size(); ++i) points[i] = {c.xs[i], static_cast<double>(i)};
  if (!stableSortByX(points, keepGoing)) return false;
  std::vector<double> ys(points.size()), rs(points.size());
  std::vector<std::int64_t> ts(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    const auto from = static_cast<std::size_t>(points[i].y);
    c.xs[i] = points[i].x;
    ys[i] = c.ys[from];
    rs[i] = c.rs[from];
    ts[i] = c.ts[from];
  }
  c.ys.swap(ys);
  c.rs.swap(rs);
  c.ts.swap(ts);
  c.sorted = true;
  return true;
}

std::vector<DataFileLoader::Channel> DataFileLoader::takeChannels() {
  std::vector<Channel> out;
  for (auto& e : m_extras) out.push_back({std::move(e.name), std::move(e.list), std::move(e.series)});
  m_extras.clear();
  m_extraIndex.clear();
  return out;
}

bool DataFileLoader::feed(std::string_view bytes) {
  if (!m_result.ok) return false;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    if (end == std::string_view::npos) {
      m_partial.append(bytes);
      return true;
    }
    bool good;
    if (m_partial.empty()) {
      good = parseLine(bytes.substr(0, end));
    } else {
      m_partial.append(bytes.substr(0, end));
      good = parseLine(m_partial);
      m_partial.clear();
    }
    if (!good) return false;
    bytes.remove_prefix(end + 1);
  }
  return true;
}

bool DataFileLoader::finish() {
  if (!m_result.ok) return false;
  if (m_partial.empty()) return true;
  const std::string last = std::move(m_partial);
  m_partial.clear();
  return parseLine(last);
}

bool DataFileLoader::order(const std::function<bool(double)>& keepGoing) {
  if (!m_result.ok) return false;
  if (!m_sorted && m_csv) {
    // Every column follows its point, as a further instrument's do.
    Columns c{std::move(m_xs), std::move(m_ys), std::move(m_rs), std::move(m_ts), false};
    const bool sorted = sortColumns(c, keepGoing);
    m_xs = std::move(c.xs);
    m_ys = std::move(c.ys);
    m_rs = std::move(c.rs);
    m_ts = std::move(c.ts);
    if (!sorted) {
      m_result.ok = false;
      m_result.cancelled = true;
      return false;
    }
  } else if (!m_sorted) {
    // Put the points in order as pairs, then back into the series' two columns.
    std::vector<Point> points(m_xs.size());
    for (std::size_t i = 0; i < points.size(); ++i) points[i] = {m_xs[i], m_ys[i]};
    std::vector<double>().swap(m_xs);
    std::vector<double>().swap(m_ys);
    if (!stableSortByX(points, keepGoing)) {
      m_result.ok = false;
      m_result.cancelled = true;
      return false;
    }
    m_xs.resize(points.size());
    m_ys.resize(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
      m_xs[i] = points[i].x;
      m_ys[i] = points[i].y;
    }
  }
  m_series.assignSorted(std::move(m_xs), std::move(m_ys), std::move(m_rs), std::move(m_ts));
  for (auto& e : m_extras) {
    if (!sortColumns(e.columns, keepGoing)) {
      m_result.ok = false;
      m_result.cancelled = true;
      return false;
    }
    e.series.assignSorted(std::move(e.columns.xs), std::move(e.columns.ys), std::move(e.columns.rs), std::move(e.columns.ts));
  }
  return true;
}

void DataFileLoader::takeInto(ReadingList& list, MeasurementSeries& series) {
  list = std::move(m_list);
  series = std::move(m_series);
}

std::size_t countLines(std::string_view bytes) {
  std::size_t n = 0;
  const char* p = bytes.data();
  const char* end = p + bytes.size();
  while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) != nullptr) {
    ++n;
    ++p;
  }
  return n;
}

DataFileLoad parseDataFile(std::string_view bytes, ReadingList& list, MeasurementSeries& series,
                           const std::function<void(std::size_t)>& progress) {
  DataFileLoader loader;
  const std::size_t lines = countLines(bytes) + 1;
  loader.reserve(lines, bytes.size());
  constexpr std::size_t kPiece = 1 << 20;
  for (std::size_t pos = 0; pos < bytes.size(); pos += kPiece) {
    if (!loader.feed(bytes.substr(pos, kPiece))) return loader.result();
    if (progress) progress(std::min(bytes.size(), pos + kPiece));
  }
  if (!loader.finish() || !loader.order()) return loader.result();
  loader.takeInto(list, series);
  if (progress) progress(bytes.size());
  return loader.result();
}

}  // namespace velmora
