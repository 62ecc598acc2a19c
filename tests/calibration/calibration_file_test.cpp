#include "calibration/calibration_file.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace velmora;

namespace {
std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto end = text.find("\r\n", pos);
    out.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return out;
}
}  // namespace

TEST(CalibrationFile, AFreshWindowGivesNinetyFourLines) {
  CalibrationTables t;
  t.resize();
  t.calcMethod = 2;
  const auto l = lines(calibrationFileText(t));
  ASSERT_EQ(l.size(), 94u);
  EXPECT_EQ(l[0], "0");
  EXPECT_EQ(l[1], "5");
  EXPECT_EQ(l[2], "21");
  for (int i = 3; i < 83; ++i) EXPECT_EQ(l[static_cast<size_t>(i)], "");
  EXPECT_EQ(l[83], "5");
  EXPECT_EQ(l[84], "3");
  EXPECT_EQ(l[93], "2");
}

TEST(CalibrationFile, RoundTripColumnByColumn) {
  CalibrationTables t;
  t.dataType = 1;
  t.resize();
  t.data(1, 3) = "X";
  t.data(2, 1) = "100.01";
  t.data(3, 20) = "-50";
  t.cof(2, 1) = "3.9083";
  t.cof(4, 2) = "-4.1830";
  const std::string text = calibrationFileText(t);
  EXPECT_EQ(lines(text)[3 + 2], "X");  // column 1, row 3
  CalibrationTables back;
  auto r = parseCalibrationFile(text, back);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(back.dataType, 1);
  EXPECT_EQ(back.data(3, 20), "-50");
  EXPECT_EQ(back.cof(4, 2), "-4.1830");
  EXPECT_EQ(calibrationFileText(back), text);
}

TEST(CalibrationFile, SizesComeFromTheFile) {
  CalibrationTables t;
  t.dataRows = 31;
  t.resize();
  t.calcMethod = 3;  // shows "4" on the button and calculates nothing
  CalibrationTables back;
  ASSERT_TRUE(parseCalibrationFile(calibrationFileText(t), back).ok);
  EXPECT_EQ(back.dataRows, 31);
  EXPECT_EQ(back.dataCells.size(), 4u * 30u);
  EXPECT_EQ(back.calcMethod, 3);
}

TEST(CalibrationFile, BadFilesNameTheLineAndChangeNothing) {
  CalibrationTables good;
  good.resize();
  good.data(2, 1) = "keep me";
  CalibrationTables target = good;
  auto expectFailure = [&](const std::string& text, std::size_t line) {
    auto r = parseCalibrationFile(text, target);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.line, line) << r.error;
    EXPECT_EQ(target.data(2, 1), "keep me");
  };
  expectFailure("0\r\n5\r\nabc\r\n", 3);
  expectFailure("0\r\n6\r\n21\r\n", 2);
  expectFailure("0\r\n5\r\n100000\r\n", 3);
  expectFailure("0\r\n5\r\n21\r\nX\r\n", 5);  // truncated
  expectFailure("", 1);
  std::string text = calibrationFileText(good);
  text.replace(text.find("5\r\n3\r\n"), 6, "5\r\n9\r\n");
  expectFailure(text, 85);
}

TEST(CalibrationFile, EveryCellSitsWhereTheLayoutPutsIt) {
  // Written by hand from the layout: data type, CC, RC, the input cells column by column
  // (20 rows each), CC and RC of the coefficient table, its cells column by column (Old,
  // New), the method.
  std::string text = "1\r\n5\r\n21\r\n";
  for (int c = 1; c <= 4; ++c)
    for (int r = 1; r <= 20; ++r) {
      text += 'd';
      text += std::to_string(c);
      text += '_';
      text += std::to_string(r);
      text += "\r\n";
    }
  text += "5\r\n3\r\n";
  const char* cof[8] = {"100.010", "100.020", "3.9081", "3.9082", "-5.7751", "-5.7752", "-4.1831", "-4.1832"};
  for (const char* c : cof) {
    text += c;
    text += "\r\n";
  }
  text += "1\r\n";
  CalibrationTables t;
  auto r = parseCalibrationFile(text, t);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(t.dataType, 1);
  for (int c = 1; c <= 4; ++c)
    for (int row = 1; row <= 20; ++row) EXPECT_EQ(t.data(c, row), 'd' + std::to_string(c) + '_' + std::to_string(row));
  EXPECT_EQ(t.cof(1, 1), "100.010");  // R0 Old
  EXPECT_EQ(t.cof(1, 2), "100.020");  // R0 New
  EXPECT_EQ(t.cof(2, 1), "3.9081");   // A Old
  EXPECT_EQ(t.cof(2, 2), "3.9082");
  EXPECT_EQ(t.cof(3, 1), "-5.7751");  // B
  EXPECT_EQ(t.cof(3, 2), "-5.7752");
  EXPECT_EQ(t.cof(4, 1), "-4.1831");  // C
  EXPECT_EQ(t.cof(4, 2), "-4.1832");
  EXPECT_EQ(t.calcMethod, 1);
  EXPECT_EQ(calibrationFileText(t), text);  // and written back byte for byte
}

TEST(CalibrationFile, TooFewRowsAndOverlongCellsAreRefused) {
  CalibrationTables target;
  target.resize();
  target.data(2, 1) = "keep me";
  for (int rows : {0, 1}) {
    auto r = parseCalibrationFile("0\r\n5\r\n" + std::to_string(rows) + "\r\n", target);
    EXPECT_FALSE(r.ok) << rows;
    EXPECT_EQ(r.line, 3u) << rows;
  }
  CalibrationTables two;  // two rows (one data row) is the smallest table
  two.dataRows = 2;
  two.resize();
  CalibrationTables back;
  EXPECT_TRUE(parseCalibrationFile(calibrationFileText(two), back).ok);
  CalibrationTables good;
  good.resize();
  good.data(1, 1) = std::string(255, '1');
  EXPECT_TRUE(parseCalibrationFile(calibrationFileText(good), back).ok);
  good.data(1, 1) = std::string(256, '1');
  auto r = parseCalibrationFile(calibrationFileText(good), target);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.line, 4u);
  EXPECT_EQ(target.data(2, 1), "keep me");
}
