#include "files/data_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
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

namespace {
// What inserting the file's lines one at a time gives (the series' own stable insertion).
// Quadratic for a reversed file, so only for small ones; `presorted` first puts the lines in
// stable order by time (the same result, each insertion then an append).
void loadLineByLine(const std::string& text, ReadingList& list, MeasurementSeries& series, bool presorted) {
  std::vector<std::pair<double, double>> points;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find("\r\n", pos);
    const std::string line = text.substr(pos, end - pos);
    pos = end + 2;
    double minutes = 0, y = 0;
    std::sscanf(line.c_str(), "%lf %lf", &minutes, &y);
    list.append(line);
    points.emplace_back(minutes * 60.0 / 86400.0, y);
  }
  if (presorted)
    std::stable_sort(points.begin(), points.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [x, y] : points) series.add(x, y);
}

std::string fileOf(const std::vector<std::pair<double, double>>& points) {
  std::string text;
  for (const auto& [m, y] : points) text += listLine(m / 1440.0, y) + "\r\n";
  return text;
}
}  // namespace

TEST(DataFile, AnyOrderLoadsExactlyAsLineByLineInsertion) {
  for (const int n : {3000, 200000}) {  // the larger runs through the merge passes
  std::mt19937 rng(11);
  std::vector<std::pair<double, double>> ascending;
  for (int i = 0; i < n; ++i) ascending.emplace_back(i * 0.01, 20 + (rng() % 1000) * 0.01);
  auto reversed = ascending;
  std::reverse(reversed.begin(), reversed.end());
  auto shuffled = ascending;
  std::shuffle(shuffled.begin(), shuffled.end(), rng);
  // Two recordings joined: both start at 0, so equal times occur; the first file's point
  // must stay ahead of the second's.
  std::vector<std::pair<double, double>> joined(ascending.begin(), ascending.begin() + n / 3);
  for (int i = 0; i < n / 3; ++i) joined.emplace_back(i * 0.01, 100 + (rng() % 1000) * 0.01);
  for (const auto* points : {&ascending, &reversed, &shuffled, &joined}) {
    const std::string text = fileOf(*points);
    ReadingList list, expectedList;
    MeasurementSeries series, expected;
    ASSERT_TRUE(parseDataFile(text, list, series).ok);
    loadLineByLine(text, expectedList, expected, n > 10000);
    ASSERT_EQ(series.size(), expected.size());
    EXPECT_EQ(series.xs(), expected.xs());
    EXPECT_EQ(series.ys(), expected.ys());  // equal times in file order
    ASSERT_EQ(list.size(), expectedList.size());
    EXPECT_EQ(list.text(), expectedList.text());  // the list keeps file order
    for (std::size_t first : {std::size_t{0}, std::size_t{63}, std::size_t{2999}, std::size_t{12345}}) {
      if (first >= series.size()) continue;
      const auto a = series.yRange(first, series.size()), b = expected.yRange(first, expected.size());
      EXPECT_EQ(a.min, b.min);
      EXPECT_EQ(a.max, b.max);
    }
  }
  }
}

TEST(DataFile, LinesSplitAcrossPiecesAndAStoppedOrdering) {
  const std::string text = "3.00 23.00\r\n1.00 21.00\r\n2.00 22.00";  // no line end at the end
  DataFileLoader loader;
  for (char c : text) ASSERT_TRUE(loader.feed(std::string_view(&c, 1)));
  ASSERT_TRUE(loader.finish());
  EXPECT_EQ(loader.lines(), 3u);
  // Out of order: the ordering asks whether to go on, and stops when told.
  DataFileLoader stopped = loader;
  EXPECT_FALSE(stopped.order([](double) { return false; }));
  EXPECT_TRUE(stopped.result().cancelled);
  ASSERT_TRUE(loader.order());
  ReadingList list;
  MeasurementSeries series;
  loader.takeInto(list, series);
  EXPECT_EQ(series.y(0), 21.0);
  EXPECT_EQ(series.y(2), 23.0);
  EXPECT_EQ(list.line(0), "3.00 23.00");
}
