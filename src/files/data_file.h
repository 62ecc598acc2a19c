#pragma once
// Measurement data files (*.vmd): the reading list's text, one reading per line —
// minutes, one blank, temperature — with CR LF line ends. Loading reads every line into a
// fresh list and series; the caller commits them only when the whole file was good.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "display/measurement_series.h"
#include "display/reading_list.h"

namespace velmora {

struct CsvRow;

// The file's bytes: every line of the list followed by CR LF (an empty list gives an
// empty file).
void dataFileText(const ReadingList& list, std::string& out);

struct DataFileLoad {
  bool ok = true;
  bool cancelled = false;     // the user stopped the load
  std::size_t errorLine = 0;  // 1-based line of the first bad line
  std::string error;          // "Invalid numeric input"
};

// Reads a data file in pieces. Each non-blank line gives one reading: x = first number ×
// 60 / 86400 days, y = second number; further text on the line is ignored. Lines may end in
// CR LF or LF. The list keeps the lines in file order; the series is put in ascending X with
// equal X in file order — exactly what adding the lines one by one gives — in O(n log n).
//
// A CSV file this program wrote (its first line is the CSV header) is read the same way,
// keeping each reading's clock time and resistance; its list lines are made in the list's
// own format.
class DataFileLoader {
 public:
  // Room for about this many lines and characters (from a first look at the file).
  void reserve(std::size_t lines, std::size_t chars);
  // The next piece of the file; a line may continue in the next piece. False on a bad line.
  bool feed(std::string_view bytes);
  // The end of the file. False on a bad last line.
  bool finish();
  // Puts the points in order and builds the series. `keepGoing` is asked now and then
  // (with the fraction done); false stops and leaves the load cancelled.
  bool order(const std::function<bool(double)>& keepGoing = {});
  const DataFileLoad& result() const { return m_result; }
  // Hands the readings over (after order()): those of the file's first instrument.
  void takeInto(ReadingList& list, MeasurementSeries& series);
  std::size_t lines() const { return m_list.size(); }
  bool isCsv() const { return m_csv; }
  // A file of several instruments (CSV long form): the first one's name, and the others'
  // readings, in the order they first appear (after order()).
  struct Channel {
    std::string name;
    ReadingList list;
    MeasurementSeries series;
  };
  bool hasChannels() const { return m_channelCsv; }
  const std::string& firstChannelName() const { return m_firstName; }
  std::vector<Channel> takeChannels();

 private:
  struct Columns {
    std::vector<double> xs, ys, rs;
    std::vector<std::int64_t> ts;
    bool sorted = true;
  };
  struct Extra {
    std::string name;
    ReadingList list;
    Columns columns;
    MeasurementSeries series;
  };
  bool parseLine(std::string_view line);
  bool parseCsvLine(std::string_view line);
  bool parseChannelLine(std::string_view line);
  void appendRow(double x, const CsvRow& row);
  static bool sortColumns(Columns& c, const std::function<bool(double)>& keepGoing);
  bool fail();

  DataFileLoad m_result;
  std::size_t m_lineNo = 0;
  std::string m_partial;  // an unfinished line from the previous piece
  ReadingList m_list;
  std::vector<double> m_xs, m_ys;
  std::vector<double> m_rs;          // CSV only
  std::vector<std::int64_t> m_ts;    // CSV only
  bool m_csv = false;
  std::size_t m_reservedLines = 0;
  bool m_sorted = true;
  MeasurementSeries m_series;
  bool m_channelCsv = false;
  std::string m_firstName;
  std::vector<Extra> m_extras;
  std::unordered_map<std::string, std::size_t> m_extraIndex;  // by name
  std::string m_line;  // the list line being made
};

// Parses a whole file's bytes. `progress` is called now and then with the number of bytes
// consumed; returning false from `keepGoing` cancels.
DataFileLoad parseDataFile(std::string_view bytes, ReadingList& list, MeasurementSeries& series,
                           const std::function<void(std::size_t)>& progress = {});

// The number of line ends in the bytes (a first look at a file, to reserve room).
std::size_t countLines(std::string_view bytes);

}  // namespace velmora
