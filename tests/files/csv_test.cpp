// CSV: the rows as written, export → open → export byte for byte, files out of time order,
// bad rows, and the command line's conversion of data files and journals.
#include "files/csv_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>

#include "files/data_file.h"
#include "files/journal.h"
#include "common/clock_text.h"

using namespace velmora;
namespace fs = std::filesystem;

namespace {
struct UtcZone {
  UtcZone() {
#ifdef _WIN32
    _putenv("TZ=UTC0");
    _tzset();
#else
    setenv("TZ", "UTC0", 1);
    tzset();
#endif
  }
};

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& p, std::string_view text) {
  std::ofstream out(p, std::ios::binary);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

struct TempDir {
  fs::path path = fs::temp_directory_path() / ("velmora-csv-" + std::to_string(std::random_device{}()));
  TempDir() { fs::create_directories(path); }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

DataFileLoad load(std::string_view bytes, ReadingList& list, MeasurementSeries& series) {
  return parseDataFile(bytes, list, series);
}
}  // namespace

TEST(Csv, RowsCarryEveryValueWithDotsAndTheShortestExactText) {
  UtcZone zone;
  MeasurementSeries s;
  s.add(0.5 / 1440, 21.456, 108.3914, 1'790'000'000'123);  // 30 s in
  s.add(1.0 / 1440, -195.798, 20.0002, 1'790'000'030'000);
  s.add(2.0 / 1440, 0.1, kNoValue, kNoTime);  // a reading from a data file
  const std::string text = csvText(s, 0, s.size());
  EXPECT_EQ(text,
            "time_utc,time_local,elapsed_min,resistance_ohm,temperature_C\r\n"
            "2026-09-21T14:13:20.123Z,2026-09-21T14:13:20.123+00:00,0.500000,108.3914,21.456\r\n"
            "2026-09-21T14:13:50.000Z,2026-09-21T14:13:50.000+00:00,1.000000,20.0002,-195.798\r\n"
            ",,2.000000,,0.1\r\n");
  EXPECT_EQ(csvText(s, 1, 2).substr(kCsvHeader.size() + 2, 4), "2026");
  EXPECT_EQ(csvText(s, 0, 0), std::string(kCsvHeader) + "\r\n");
}

TEST(Csv, ExportOpenExportIsByteIdenticalEvenOutOfOrder) {
  UtcZone zone;
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> noise(-1, 1);
  MeasurementSeries s;
  for (int i = 0; i < 5000; ++i) {
    const double x = (i * 37 % 5000) / 172800.0 * 1.0000001;  // inserted out of order, odd times
    s.add(x, 20 + noise(rng) * 1e-3 + 1e4 * (i % 2), 100 + noise(rng), i % 11 ? 1'790'000'000'000 + i * 500 : kNoTime);
  }
  const std::string first = csvText(s, 0, s.size());
  ReadingList list;
  MeasurementSeries back;
  ASSERT_TRUE(load(first, list, back).ok);
  ASSERT_EQ(back.size(), s.size());
  EXPECT_EQ(csvText(back, 0, back.size()), first);
  // The list shows the designed line of each reading.
  EXPECT_EQ(list.line(0), listLine(back.x(0), back.y(0)));
  // Rows in any order: each reading keeps its own values when they are put in time order.
  std::string shuffled(kCsvHeader);
  shuffled += "\r\n";
  shuffled += ",,3.000000,103,23\r\n2026-01-01T00:00:01.000Z,,1.000000,101,21\r\n,,2.000000,,22\r\n";
  ASSERT_TRUE(load(shuffled, list, back).ok);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back.y(0), 21);
  EXPECT_EQ(back.resistance(0), 101);
  EXPECT_EQ(back.utcMs(0), *parseUtcIso("2026-01-01T00:00:01.000Z"));
  EXPECT_TRUE(std::isnan(back.resistance(1)));
  EXPECT_EQ(back.utcMs(2), kNoTime);
  EXPECT_EQ(list.line(0), "3.00 23.00");  // the list keeps the file's order
}

TEST(Csv, BadRowsNameTheirLineAndQuotedFieldsAreRead) {
  const std::string head = std::string(kCsvHeader) + "\r\n";
  ReadingList list;
  MeasurementSeries s;
  for (const char* bad : {",,abc,1,2", ",,1,1", ",,1,1,2,3", "yesterday,,1,1,2", ",,1,x,2", ",,,1,2", ",,1,1,", ",,1e9,1,2",
                          "\",,1,1,2", ",,1e400,1,2", ",\"a\"b,1,1,2"}) {  // the last: text after a closing quote
    const DataFileLoad r = load(head + ",,0.5,1,2\r\n" + bad + "\r\n", list, s);
    EXPECT_FALSE(r.ok) << bad;
    EXPECT_EQ(r.errorLine, 3u) << bad;
  }
  ASSERT_TRUE(load(head + "\"2026-01-01T00:00:00.000Z\",\"x,y\",\"1.5\",,\"20\"\r\n\r\n", list, s).ok);
  EXPECT_EQ(s.size(), 1u);
  EXPECT_EQ(s.y(0), 20);
  // A doubled quote inside quotes is one quote of the field; a byte-order mark (spreadsheets
  // write one) before the header is no part of it.
  ASSERT_TRUE(load("\xEF\xBB\xBF" + head + ",\"a\"\"b\",2.5,,21\r\n", list, s).ok);
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s.y(0), 21);
  // A .vmd file still reads as its two columns.
  ASSERT_TRUE(load("0.50 21.46\r\n", list, s).ok);
  EXPECT_EQ(list.line(0), "0.50 21.46");
  EXPECT_TRUE(std::isnan(s.resistance(0)));
}

TEST(CsvExport, ConvertsDataFilesAndJournalsAndReportsBadInput) {
  UtcZone zone;
  TempDir dir;
  std::string error;
  // A .vmd file: its two columns, the others empty.
  writeFile(dir.path / "run.vmd", "0.50 21.46\r\n1.00 21.47\r\n");
  ASSERT_TRUE(exportCsvFile((dir.path / "run.vmd").string(), (dir.path / "run.csv").string(), error)) << error;
  EXPECT_EQ(readFile(dir.path / "run.csv"), std::string(kCsvHeader) + "\r\n,,0.500000,,21.46\r\n,,1.000000,,21.47\r\n");
  // A journal continuing that file: the file's readings, then the journal's with every value.
  std::string journal = "VELMORA JOURNAL 1\nB " + std::to_string(fs::file_size(dir.path / "run.vmd")) + " " +
                        (dir.path / "run.vmd").string() + "\n";
  appendJournalReading(journal, 1.5 / 1440, 21.5, "1.50 21.50", 108.5, 1'790'000'000'000);
  appendJournalReading(journal, 2.0 / 1440, 21.6, "2.00 21.60");
  writeFile(dir.path / "journal-1.txt", journal);
  ASSERT_TRUE(exportCsvFile((dir.path / "journal-1.txt").string(), (dir.path / "j.csv").string(), error)) << error;
  const std::string j = readFile(dir.path / "j.csv");
  EXPECT_NE(j.find(",,1.000000,,21.47\r\n2026-09-21T14:13:20.000Z,2026-09-21T14:13:20.000+00:00,1.500000,108.5,21.5\r\n"
                   ",,2.000000,,21.6\r\n"),
            std::string::npos)
      << j;
  // Bad input: a clear message, and nothing written.
  writeFile(dir.path / "bad.vmd", "0.50 21.46\r\nhello\r\n");
  EXPECT_FALSE(exportCsvFile((dir.path / "bad.vmd").string(), (dir.path / "bad.csv").string(), error));
  EXPECT_NE(error.find(":2: Invalid numeric input"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(dir.path / "bad.csv"));
  EXPECT_FALSE(exportCsvFile((dir.path / "missing.vmd").string(), (dir.path / "m.csv").string(), error));
  EXPECT_NE(error.find("cannot read"), std::string::npos);
  EXPECT_FALSE(exportCsvFile((dir.path / "run.vmd").string(), (dir.path / "no-such-dir" / "x.csv").string(), error));
  EXPECT_NE(error.find("cannot write"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.path / "no-such-dir"));
  // The input as its own output would lose the data file: refused, the file untouched.
  const std::string before = readFile(dir.path / "run.vmd");
  EXPECT_FALSE(exportCsvFile((dir.path / "run.vmd").string(), (dir.path / "." / "run.vmd").string(), error));
  EXPECT_NE(error.find("it is the input file"), std::string::npos) << error;
  EXPECT_EQ(readFile(dir.path / "run.vmd"), before);
  // A folder is neither a data file nor a place to write one.
  EXPECT_FALSE(exportCsvFile(dir.path.string(), (dir.path / "f.csv").string(), error));
  EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(dir.path / "f.csv"));
  EXPECT_FALSE(exportCsvFile((dir.path / "run.vmd").string(), dir.path.string(), error));
  EXPECT_EQ(error, "cannot write " + dir.path.string() + ": Is a directory");
  // A journal whose data file has changed since: refused rather than half converted.
  writeFile(dir.path / "run.vmd", "0.50 21.46\r\n");
  EXPECT_FALSE(exportCsvFile((dir.path / "journal-1.txt").string(), (dir.path / "j2.csv").string(), error));
  EXPECT_NE(error.find("gone or has changed"), std::string::npos);

  // A journal of three instruments (as the recorder writes it, the first one named too): every
  // instrument in the long form, each under its own name, none dropped.
  {
    JournalWriter three((dir.path / "recorder-1.txt").string());
    three.startNew(std::nullopt);
    three.declareChannel(1, "/dev/pts/1", "ref");
    three.declareChannel(2, "/dev/pts/2", "probe, A");
    three.declareChannel(3, "", "probe B");
    for (int i = 1; i <= 11; ++i) {
      three.append(i / 1440.0, 20 + i / 100.0, "x", 108 + i / 1000.0, 1'790'000'000'000 + i * 500);
      three.appendOn(2, i / 1440.0, 30 + i / 100.0, "x", kNoValue, kNoTime);
      three.appendOn(3, i / 1440.0, 40 + i / 100.0, "x", kNoValue, kNoTime);
    }
  }
  ASSERT_TRUE(exportCsvFile((dir.path / "recorder-1.txt").string(), (dir.path / "three.csv").string(), error)) << error;
  const std::string t = readFile(dir.path / "three.csv");
  EXPECT_EQ(t.rfind(std::string(kCsvChannelHeader) + "\r\n", 0), 0u) << t;
  EXPECT_EQ(std::count(t.begin(), t.end(), '\n'), 34);
  EXPECT_NE(t.find("ref,2026-09-21T14:13:20.500Z"), std::string::npos);
  EXPECT_NE(t.find("\"probe, A\",,,11.000000,,30.11\r\n"), std::string::npos) << t;
  EXPECT_NE(t.find("probe B,,,11.000000,,40.11\r\n"), std::string::npos);
  // And it opens again as the same three instruments.
  DataFileLoader again;
  ASSERT_TRUE(again.feed(t) && again.finish() && again.order());
  EXPECT_EQ(again.firstChannelName(), "ref");
  const auto others = again.takeChannels();
  ASSERT_EQ(others.size(), 2u);
  EXPECT_EQ(others[1].series.size(), 11u);
}

TEST(Journal, RecordsWithBothValuesReadBackAndOldRecordsStillRead) {
  std::string text = "VELMORA JOURNAL 1\n";
  appendJournalReading(text, 0.001, 20.5, "1.44 20.50", 107.9, 1'790'000'000'123);
  appendJournalReading(text, 0.002, 20.6, "2.88 20.60", kNoValue, 1'790'000'000'456);
  appendJournalReading(text, 0.003, 20.7, "4.32 20.70");
  EXPECT_NE(text.find("\nR 0.0030000000000000001 20.699999999999999 4.32 20.70\n"), std::string::npos) << text;
  const JournalContents c = readJournal(text);
  ASSERT_EQ(c.readings.size(), 3u);
  EXPECT_FALSE(c.damaged);
  EXPECT_EQ(c.readings[0].resistance, 107.9);
  EXPECT_EQ(c.readings[0].utcMs, 1'790'000'000'123);
  EXPECT_EQ(c.readings[0].line, "1.44 20.50");
  EXPECT_TRUE(std::isnan(c.readings[1].resistance));
  EXPECT_EQ(c.readings[1].utcMs, 1'790'000'000'456);
  EXPECT_EQ(c.readings[2].utcMs, kNoTime);
  for (const char* bad : {"V 0.1 20 x 5 0.10 20.00\n", "V 0.1 20 107 5x 0.10 20.00\n", "V 0.1 20 107 5\n"}) {
    const JournalContents d = readJournal(std::string("VELMORA JOURNAL 1\n") + bad);
    EXPECT_TRUE(d.damaged) << bad;
    EXPECT_TRUE(d.readings.empty()) << bad;
  }
}
