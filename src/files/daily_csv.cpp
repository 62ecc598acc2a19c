#include "files/daily_csv.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "common/clock_text.h"
#include "common/file_io.h"
#include "files/csv_file.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {
constexpr std::int64_t kDayMs = 86400000;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

std::string fileStem(std::string_view station) {
  std::string out;
  for (const char c : station) {
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                      c == '_' || (c == '.' && !out.empty());
    out.push_back(keep ? c : '_');
  }
  return out.empty() ? std::string("velmora") : out;
}

std::string systemError() { return std::strerror(errno); }
}  // namespace

DailyCsvWriter::DailyCsvWriter(std::string folder, std::string station)
    : m_folder(std::move(folder)), m_stem(fileStem(station)) {}

DailyCsvWriter::~DailyCsvWriter() {
  sync();
  close();
}

std::optional<std::string> DailyCsvWriter::folderProblem(const std::string& folder) {
  std::error_code ec;
  const fs::path p = pathFromUtf8(folder);
  if (!fs::exists(p, ec)) return folder + ": No such file or directory";
  if (!fs::is_directory(p, ec)) return folder + ": Not a directory";
  const fs::path probe = p / ".velmora-write-test";
  std::FILE* f = openFile(probe, "wb");
  if (!f) return folder + ": " + systemError();
  std::fclose(f);
  fs::remove(probe, ec);
  return std::nullopt;
}

std::string DailyCsvWriter::fileOf(std::int64_t utcMs) const {
  const CivilTime t = utcCivil(utcMs);
  char date[32];
  std::snprintf(date, sizeof date, "-%04d-%02d-%02d.csv", t.year, t.month, t.day);
  return pathToUtf8(pathFromUtf8(m_folder) / pathFromUtf8(m_stem + date));
}

void DailyCsvWriter::close() {
  if (m_file) std::fclose(m_file);
  m_file = nullptr;
}

std::optional<std::string> DailyCsvWriter::openDay(std::int64_t utcMs) {
  close();
  m_path = fileOf(utcMs);
  m_dayStart = floorDiv(utcMs, kDayMs) * kDayMs;
  m_dayEnd = m_dayStart + kDayMs;
  std::error_code ec;
  const fs::path path = pathFromUtf8(m_path);
  std::uintmax_t size = fs::exists(path, ec) ? fs::file_size(path, ec) : 0;
  if (ec) size = 0;
  if (size > 0) {
    // The bytes after the last line end are a row the power cut off.
    std::FILE* f = openFile(path, "rb");
    std::uintmax_t keep = size;
    if (f) {
      char buf[4096];
      for (;;) {
        const std::uintmax_t from = keep > sizeof buf ? keep - sizeof buf : 0;
        std::fseek(f, static_cast<long>(from), SEEK_SET);
        const std::size_t n = std::fread(buf, 1, static_cast<std::size_t>(keep - from), f);
        std::size_t i = n;
        while (i > 0 && buf[i - 1] != '\n') --i;
        if (i > 0 || from == 0) {
          if (keep - from - i > 0) m_repair.assign(buf + i, n - i);
          keep = from + i;
          break;
        }
        keep = from;
      }
      std::fclose(f);
    }
    if (keep < size) fs::resize_file(path, keep, ec);
    size = keep;
  }
  m_file = openFile(path, "ab");
  if (!m_file) return m_path + ": " + systemError();
  std::setvbuf(m_file, nullptr, _IONBF, 0);  // the rows are gathered here: a short write is exact
  if (size == 0) {
    std::string header;
    appendCsvChannelHeader(header);
    m_pending.insert(0, header);
  }
  return std::nullopt;
}

void DailyCsvWriter::append(std::string_view channel, double elapsedDays, double temperature, double resistance,
                            std::int64_t utcMs) {
  if (!m_file || utcMs < m_dayStart || utcMs >= m_dayEnd) {
    // A new day: what the last day's file still lacks goes into it first (should the disk
    // refuse it, those rows go into the new day's file rather than nowhere).
    if (!m_path.empty()) sync();
    openDay(utcMs);
  }
  appendCsvChannelRow(m_pending, channel, elapsedDays, temperature, resistance, utcMs);
  ++m_pendingRows;
}

std::optional<std::string> DailyCsvWriter::flush() {
  if (m_pending.empty()) return std::nullopt;
  if (!m_file) {
    if (m_path.empty()) return std::nullopt;
    if (auto why = openDay(m_dayStart)) return why;
  }
  const std::size_t n = std::fwrite(m_pending.data(), 1, m_pending.size(), m_file);
  if (n != m_pending.size() || std::fflush(m_file) != 0) {
    const std::string why = m_path + ": " + systemError();
    // Whole rows that did go are not written twice; a partial one is cut when the file is
    // opened again, and goes again whole.
    const std::size_t cut = n == 0 ? std::string::npos : m_pending.rfind('\n', n - 1);
    if (cut != std::string::npos) m_pending.erase(0, cut + 1);
    close();
    return why;
  }
  m_pending.clear();
  m_rows += m_pendingRows;
  m_pendingRows = 0;
  return std::nullopt;
}

std::optional<std::string> DailyCsvWriter::sync() {
  if (auto why = flush()) return why;
  if (m_file && !syncToDisk(m_file)) return m_path + ": " + systemError();
  return std::nullopt;
}

}  // namespace velmora
