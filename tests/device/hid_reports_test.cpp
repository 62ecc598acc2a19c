#include "device/hid_reports.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(HidReports, OutputReportOfACommand) {
  auto r = packOutputReport("d\r", 65);
  ASSERT_TRUE(r.has_value());
  ASSERT_EQ(r->size(), 65u);
  const std::vector<std::uint8_t> head{0x00, 0x02, 0x02, 0x00, 0x00, 0x64, 0x0D, 0x00};
  EXPECT_EQ(std::vector<std::uint8_t>(r->begin(), r->begin() + 8), head);
  for (std::size_t i = 7; i < r->size(); ++i) EXPECT_EQ((*r)[i], 0) << i;
  EXPECT_TRUE(packOutputReport(std::string(60, 'x'), 65).has_value());
  EXPECT_FALSE(packOutputReport(std::string(61, 'x'), 65).has_value());  // refused, never cut
}

TEST(HidReports, SetupReport) {
  const auto r = setupReport(65);
  const std::vector<std::uint8_t> head{0x00, 0x00, 0x00, 0x62, 0x77, 0xC0, 0x12, 0x00, 0x00, 0x00};
  EXPECT_EQ(std::vector<std::uint8_t>(r.begin(), r.begin() + 10), head);
}

TEST(HidReports, InputReports) {
  const std::uint8_t good[] = {0x05, 0x00, 0x00, 0x00, '2', '5', '.', '1', '\r', 'x', 'y'};
  EXPECT_EQ(inputReportText(good, sizeof good), std::string_view("25.1\r"));
  const std::uint8_t zero[] = {0x00, 0x00, 0x00, 0x00, 'a'};
  EXPECT_FALSE(inputReportText(zero, sizeof zero).has_value());
  // The count is two bytes, low first: 0x0102 = 258 characters, clamped to the report.
  std::uint8_t wide[65] = {0x02, 0x01, 0x00, 0x00};
  for (int i = 4; i < 65; ++i) wide[i] = static_cast<std::uint8_t>('0' + i % 10);
  EXPECT_EQ(inputReportText(wide, sizeof wide)->size(), 61u);
  const std::uint8_t highOnly[] = {0x00, 0x01, 0x00, 0x00, 'h', 'i'};  // 256: not "no text"
  EXPECT_EQ(inputReportText(highOnly, sizeof highOnly), std::string_view("hi"));
  const std::uint8_t tooMany[] = {0xFF, 0x01, 0x00, 0x00, 'o', 'k'};
  EXPECT_EQ(inputReportText(tooMany, sizeof tooMany), std::string_view("ok"));  // clamped to the report
  const std::uint8_t tiny[] = {0x03};
  EXPECT_FALSE(inputReportText(tiny, sizeof tiny).has_value());
  const std::uint8_t headerOnly[] = {0x03, 0x00, 0x00};
  EXPECT_EQ(inputReportText(headerOnly, sizeof headerOnly), std::string_view());
}

TEST(HidReports, EmptyStringsAreReplaced) {
  EXPECT_EQ(deviceString("", 0x1234, 0x00ab), "Device VID=1234 PID=00ab");
  EXPECT_EQ(deviceString("KORVAN", 1, 2), "KORVAN");
}
