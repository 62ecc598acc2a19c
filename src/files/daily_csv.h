#pragma once
// The recorder's live record: every reading appended as it comes, in the long form (the
// instrument's name first), one file per UTC day ("<station>-YYYY-MM-DD.csv", a header in
// each). Rows go to the file at each flush() and to the disk at each sync(): the caller
// flushes every second and syncs every ten, so a crash or a power cut loses at most the last
// seconds. A file that an earlier run left with a cut last line (the power went while it was
// written) loses that line before rows are added, so no half-written number is ever read as
// a reading.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace velmora {

class DailyCsvWriter {
 public:
  DailyCsvWriter(std::string folder, std::string station);
  ~DailyCsvWriter();  // flushes and syncs
  DailyCsvWriter(const DailyCsvWriter&) = delete;
  DailyCsvWriter& operator=(const DailyCsvWriter&) = delete;

  // Why files cannot be written into `folder` (it is missing, not a folder, not writable).
  static std::optional<std::string> folderProblem(const std::string& folder);
  // The file of a UTC day: "<station>-YYYY-MM-DD.csv" (the station's name made fit for a file name).
  std::string fileOf(std::int64_t utcMs) const;

  // One reading; the day's file is opened (or a new one begun) as its UTC time says.
  void append(std::string_view channel, double elapsedDays, double temperature, double resistance, std::int64_t utcMs);
  // Rows to the file; the reason when the disk refused them (they are kept and tried again).
  std::optional<std::string> flush();
  // Flushes and syncs to the disk.
  std::optional<std::string> sync();
  std::uint64_t rowsWritten() const { return m_rows; }
  const std::string& currentFile() const { return m_path; }
  // A cut last line an earlier run left, removed when its file was opened (its text).
  std::string takeRepairNote() { return std::exchange(m_repair, {}); }

 private:
  std::optional<std::string> openDay(std::int64_t utcMs);
  void close();

  const std::string m_folder, m_stem;
  std::FILE* m_file = nullptr;
  std::string m_path;
  std::int64_t m_dayStart = 0, m_dayEnd = 0;  // UTC milliseconds of the open file's day
  std::string m_pending;                        // rows not yet handed to the file
  std::uint64_t m_pendingRows = 0, m_rows = 0;
  std::string m_repair;
};

}  // namespace velmora
