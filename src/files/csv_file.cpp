#include "files/csv_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <deque>
#include <vector>

#include "common/clock_text.h"
#include "common/file_io.h"
#include "common/number_text.h"
#include "files/data_file.h"
#include "files/journal.h"

namespace velmora {

namespace {
void appendShortest(std::string& out, double v) {
  if (std::isnan(v)) return;
  char buf[40];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, static_cast<std::size_t>(r.ptr - buf));
}

// One line's fields: views into the line, or, for a quoted field (which may hold commas and
// doubled quotes), into its unescaped text kept here. Reused from line to line.
struct CsvFields {
  std::vector<std::string_view> fields;
  std::deque<std::string> quoted;  // a deque: what the views point into stays where it is
  std::size_t size() const { return fields.size(); }
  std::string_view operator[](std::size_t i) const { return fields[i]; }
};

bool splitCsv(std::string_view line, CsvFields& out) {
  out.fields.clear();
  out.quoted.clear();
  std::size_t i = 0;
  while (true) {
    if (i < line.size() && line[i] == '"') {
      std::string& field = out.quoted.emplace_back();
      ++i;
      while (true) {
        if (i >= line.size()) return false;  // an unclosed quote
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field.push_back('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field.push_back(line[i++]);
      }
      if (i < line.size() && line[i] != ',') return false;
      out.fields.push_back(field);
    } else {
      const std::size_t comma = line.find(',', i);
      const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
      const std::string_view field = line.substr(i, end - i);
      if (field.find('"') != std::string_view::npos) return false;
      out.fields.push_back(field);
      i = end;
    }
    if (i >= line.size()) return true;
    ++i;  // the comma
  }
}

}  // namespace

namespace {
std::string_view headerLine(std::string_view line) {
  if (line.size() >= 3 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);  // a byte-order mark
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// The five fields of one instrument's row.
bool rowFromFields(const CsvFields& f, std::size_t at, CsvRow& row) {
  row.utcMs = kNoTime;
  if (!f[at].empty()) {
    const auto t = parseUtcIso(f[at]);
    if (!t) return false;
    row.utcMs = *t;
  }
  const auto minutes = parseNumber(f[at + 2]);
  const auto temperature = parseNumber(f[at + 4]);
  if (!minutes || !temperature) return false;
  row.elapsedMinutes = *minutes;
  row.temperature = *temperature;
  row.resistance = kNoValue;
  if (!f[at + 3].empty()) {
    const auto r = parseNumber(f[at + 3]);
    if (!r) return false;
    row.resistance = *r;
  }
  return true;
}

void appendCsvField(std::string& out, std::string_view s) {
  if (s.find_first_of(",\"\r\n") == std::string_view::npos) {
    out.append(s);
    return;
  }
  out.push_back('"');
  for (char c : s) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}
}  // namespace

bool isCsvHeader(std::string_view line) { return headerLine(line) == kCsvHeader; }
bool isCsvChannelHeader(std::string_view line) { return headerLine(line) == kCsvChannelHeader; }

void appendCsvChannelHeader(std::string& out) {
  out.append(kCsvChannelHeader);
  out.append("\r\n");
}

void appendCsvChannelRow(std::string& out, std::string_view channel, double x, double y, double resistance,
                         std::int64_t utcMs) {
  appendCsvField(out, channel);
  out.push_back(',');
  appendCsvRow(out, x, y, resistance, utcMs);
}

bool parseCsvChannelRow(std::string_view line, std::string& channel, CsvRow& row) {
  thread_local CsvFields f;
  if (!splitCsv(line, f) || f.size() != 6 || f[0].empty()) return false;
  channel = f[0];
  return rowFromFields(f, 1, row);
}

void appendCsvHeader(std::string& out) {
  out.append(kCsvHeader);
  out.append("\r\n");
}

void appendCsvRow(std::string& out, double x, double y, double resistance, std::int64_t utcMs) {
  if (utcMs != kNoTime) {
    out += formatUtcIso(utcMs);
    out.push_back(',');
    out += formatLocalIso(utcMs);
    out.push_back(',');
  } else {
    out += ",,";
  }
  // to_chars: "." whatever the C locale says.
  char buf[48];
  const auto r = std::to_chars(buf, buf + sizeof buf, x * 86400.0 / 60.0, std::chars_format::fixed, 6);
  out.append(buf, static_cast<std::size_t>(r.ptr - buf));
  out.push_back(',');
  appendShortest(out, resistance);
  out.push_back(',');
  appendShortest(out, y);
  out += "\r\n";
}

std::string csvText(const MeasurementSeries& series, std::size_t first, std::size_t last) {
  std::string out;
  out.reserve((last - first) * 90 + kCsvHeader.size() + 2);
  appendCsvHeader(out);
  for (std::size_t i = first; i < last; ++i)
    appendCsvRow(out, series.x(i), series.y(i), series.resistance(i), series.utcMs(i));
  return out;
}

bool parseCsvRow(std::string_view line, CsvRow& row) {
  thread_local CsvFields f;
  if (!splitCsv(line, f) || f.size() != 5) return false;
  return rowFromFields(f, 0, row);
}

bool exportCsvFile(const std::string& inPath, const std::string& outPath, std::string& error) {
  // Converting a file onto itself would replace the data with its CSV.
  if (sameExistingFile(inPath, outPath)) {
    error = "cannot write " + outPath + ": it is the input file " + inPath;
    return false;
  }
  std::string bytes;
  if (auto cause = readWholeFile(inPath, bytes)) {
    error = "cannot read " + inPath + ": " + *cause;
    return false;
  }
  // Every instrument the input holds, the first (designed) one first.
  struct Part {
    std::string name;
    MeasurementSeries series;
  };
  std::vector<Part> parts(1);
  // A data file (one instrument, or several in the long form) into `parts`.
  const auto load = [&](std::string_view data, DataFileLoad& result) {
    DataFileLoader loader;
    loader.reserve(countLines(data) + 1, data.size());
    const bool ok = loader.feed(data) && loader.finish() && loader.order();
    result = loader.result();
    if (!ok) return false;
    ReadingList list;
    loader.takeInto(list, parts[0].series);
    if (loader.hasChannels()) parts[0].name = loader.firstChannelName();
    for (auto& c : loader.takeChannels()) parts.push_back({std::move(c.name), std::move(c.series)});
    return true;
  };
  if (bytes.rfind("VELMORA JOURNAL", 0) == 0) {
    const JournalContents c = readJournal(bytes);
    if (!c.valid) {
      error = inPath + ": not a recording journal";
      return false;
    }
    if (c.base) {
      std::string baseBytes;
      DataFileLoad result;
      if (readWholeFile(c.base->path, baseBytes) || baseBytes.size() != c.base->bytes || !load(baseBytes, result)) {
        error = inPath + ": the data file it continues (" + c.base->path + ") is gone or has changed";
        return false;
      }
    }
    if (!c.firstName.empty()) parts[0].name = c.firstName;
    for (const auto& r : c.readings) parts[0].series.add(r.x, r.y, r.resistance, r.utcMs);
    for (const auto& ch : c.channels) {
      auto same = std::find_if(parts.begin() + 1, parts.end(), [&](const Part& p) { return p.name == ch.name; });
      if (same == parts.end()) same = parts.insert(parts.end(), Part{ch.name, {}});
      for (const auto& r : ch.readings) same->series.add(r.x, r.y, r.resistance, r.utcMs);
    }
  } else {
    DataFileLoad result;
    if (!load(bytes, result)) {
      error = inPath + ":" + std::to_string(result.errorLine) + ": " + result.error;
      return false;
    }
  }
  // The first instrument is named as the program names it when the file does not say.
  if (parts[0].name.empty()) parts[0].name = "T1";
  for (std::size_t k = 1; k < parts.size(); ++k)
    if (parts[k].name.empty()) parts[k].name = "T" + std::to_string(k + 1);
  // One instrument: the designed columns; several: the long form, one instrument after another.
  const bool named = parts.size() > 1;
  // Written in pieces (ten million readings are most of a gigabyte of text).
  AtomicFileWriter out;
  std::string piece;
  if (named)
    appendCsvChannelHeader(piece);
  else
    appendCsvHeader(piece);
  auto cause = out.open(outPath);
  for (const Part& part : parts) {
    const MeasurementSeries& series = part.series;
    for (std::size_t i = 0; !cause && i < series.size();) {
      const std::size_t end = std::min(series.size(), i + 65536);
      for (; i < end; ++i) {
        if (named)
          appendCsvChannelRow(piece, part.name, series.x(i), series.y(i), series.resistance(i), series.utcMs(i));
        else
          appendCsvRow(piece, series.x(i), series.y(i), series.resistance(i), series.utcMs(i));
      }
      cause = out.write(piece);
      piece.clear();
    }
  }
  if (!cause && !piece.empty()) cause = out.write(piece);
  if (!cause) cause = out.commit();
  if (cause) {
    error = "cannot write " + outPath + ": " + *cause;
    return false;
  }
  return true;
}

}  // namespace velmora
