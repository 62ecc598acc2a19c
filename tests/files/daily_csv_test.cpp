// The recorder's day files: a reading goes into the file of its UTC day (the first reading
// after midnight begins a new file with its header), and a file an earlier run left with a
// cut last line loses that line before the next row, so no half-written number becomes a
// reading.
#include "files/daily_csv.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "files/csv_file.h"

using namespace velmora;
namespace fs = std::filesystem;

namespace {
std::string text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
constexpr std::int64_t kDay = 1765238400000;  // 2025-12-09T00:00:00Z
}  // namespace

TEST(DailyCsv, ReadingsGoIntoTheFileOfTheirUtcDay) {
  const fs::path dir = fs::temp_directory_path() / ("daily-csv-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  {
    DailyCsvWriter w(dir.string(), "room 12/a");
    EXPECT_EQ(w.fileOf(kDay - 1), (dir / "room_12_a-2025-12-08.csv").string());
    w.append("bath-1", 0.5, 20.5, 108.0, kDay - 1);  // the last millisecond of the 8th
    w.append("bath-1", 0.6, 20.6, 108.1, kDay);      // the first of the 9th
    w.append("bath,2", 0.7, 20.7, 108.2, kDay + 1);
    EXPECT_FALSE(w.sync());
    EXPECT_EQ(w.rowsWritten(), 3u);
  }
  const std::string first = text((dir / "room_12_a-2025-12-08.csv").string());
  const std::string second = text((dir / "room_12_a-2025-12-09.csv").string());
  EXPECT_EQ(first.find(std::string(kCsvChannelHeader)), 0u);
  EXPECT_EQ(second.find(std::string(kCsvChannelHeader)), 0u);
  EXPECT_NE(first.find("\nbath-1,2025-12-08T23:59:59.999Z,"), std::string::npos) << first;
  EXPECT_NE(second.find("\n\"bath,2\",2025-12-09T00:00:00.001Z,"), std::string::npos) << second;

  // The power went while a row was written; the next run cuts it and goes on.
  std::ofstream((dir / "room_12_a-2025-12-09.csv").string(), std::ios::app | std::ios::binary) << "bath-1,2025-12-09T00:00:01";
  {
    DailyCsvWriter w(dir.string(), "room 12/a");
    w.append("bath-1", 0.8, 20.8, 108.3, kDay + 2000);
    EXPECT_FALSE(w.sync());
    EXPECT_EQ(w.takeRepairNote(), "bath-1,2025-12-09T00:00:01");
  }
  const std::string repaired = text((dir / "room_12_a-2025-12-09.csv").string());
  EXPECT_EQ(repaired.find("T00:00:01\n"), std::string::npos);
  EXPECT_EQ(repaired.substr(0, second.size()), second);
  EXPECT_NE(repaired.find("\nbath-1,2025-12-09T00:00:02.000Z,"), std::string::npos) << repaired;
  EXPECT_EQ(repaired.find(std::string(kCsvChannelHeader), 1), std::string::npos);  // one header

  EXPECT_TRUE(DailyCsvWriter::folderProblem((dir / "none").string()));
  EXPECT_TRUE(DailyCsvWriter::folderProblem((dir / "room_12_a-2025-12-09.csv").string()));
  EXPECT_FALSE(DailyCsvWriter::folderProblem(dir.string()));
  fs::remove_all(dir);
}
