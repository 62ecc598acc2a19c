#include "files/data_file.h"

#include <gtest/gtest.h>

#include <random>

using namespace velmora;

namespace {
DataFileLoad load(std::string_view bytes, ReadingList& list, MeasurementSeries& series) {
  return parseDataFile(bytes, list, series);
}
}  // namespace

TEST(DataFile, EmptyListGivesAnEmptyFileAndBack) {
  ReadingList list;
  std::string text = "x";
  dataFileText(list, text);
  EXPECT_EQ(text, "");
  MeasurementSeries series;
  EXPECT_TRUE(load("", list, series).ok);
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(series.empty());
}

TEST(DataFile, LinesBecomePoints) {
  ReadingList list;
  MeasurementSeries series;
  const auto r = load("1.00 20.00\r\n2.50 -5.20 99.9 extra\r\n\r\n3.00\t21.00\n", list, series);
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(series.size(), 3u);
  EXPECT_DOUBLE_EQ(series.x(0), 1.0 / 1440);
  EXPECT_EQ(series.y(0), 20.0);
  EXPECT_EQ(series.y(1), -5.2);  // a third number is ignored
  EXPECT_DOUBLE_EQ(series.x(2), 3.0 / 1440);  // LF-only line end and a tab accepted
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list.line(1), "2.50 -5.20 99.9 extra");  // the list keeps the file's text
}

TEST(DataFile, SaveOpenSaveGivesIdenticalBytes) {
  ReadingList list;
  for (int i = 0; i < 1000; ++i) list.append(listLine(i * 0.5 / 86400, 21.0 + i * 0.013));
  std::string first, second;
  dataFileText(list, first);
  ReadingList back;
  MeasurementSeries series;
  ASSERT_TRUE(load(first, back, series).ok);
  dataFileText(back, second);
  EXPECT_EQ(first, second);
  EXPECT_EQ(series.size(), 1000u);
}

TEST(DataFile, BadFilesStopWithTheLineNumber) {
  ReadingList list;
  MeasurementSeries series;
  auto r = load("1.00 20.00\r\n2.00 abc\r\n3.00 21.00\r\n", list, series);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.errorLine, 2u);
  EXPECT_EQ(r.error, "Invalid numeric input");
  // Lines of only blanks or tabs are skipped and still counted for the error's line.
  r = load("1.00 20.00\r\n   \r\n\t\t\r\n\r\n2.00 x\r\n", list, series);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.errorLine, 5u);
  r = load("1.00 20.00\n \t \n2.00 21.00\n", list, series);
  EXPECT_TRUE(r.ok);
  // A number too large for a double is invalid input, not an infinite time or temperature.
  r = load("1.00 20.00\r\n1e999 20.00\r\n", list, series);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.errorLine, 2u);
  r = load("1.00 -1e999\r\n", list, series);
  EXPECT_FALSE(r.ok);
  r = load("1.00\r\n", list, series);  // a second field is missing
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.errorLine, 1u);
  r = load(std::string(50 * 1024 * 1024, '7'), list, series);  // one 50 MB line, one field
  EXPECT_FALSE(r.ok);
  std::string junk(200000, '\0');
  std::mt19937 rng(5);
  for (auto& c : junk) c = static_cast<char>(rng());
  r = load(junk, list, series);
  EXPECT_FALSE(r.ok);
}
