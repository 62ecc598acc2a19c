#include "simulator/thermometer_model.h"

#include <gtest/gtest.h>

#include "common/number_text.h"

using namespace velmora;

TEST(ThermometerModel, AnswersReadingsThroughItsStoredFactors) {
  sim::ThermometerModel m;
  m.profile.kind = sim::Profile::Kind::Steady;
  m.profile.base = 100;
  m.profile.noise = 0;
  EXPECT_EQ(m.receive("d\r", 0), "138.505 100.000\r");
  EXPECT_EQ(m.receive("q\r", 0), "Rt0=100.0000,A=3.9083E-03,B=-5.7750E-07,C=-4.1830E-12\r");
  // Writing R0 = 101 makes the same sensor read lower.
  EXPECT_EQ(m.receive("wR101.000\r", 0), "wR101.000\r");
  EXPECT_EQ(m.receive("wY\r", 0), "Rt0=101.0000,A=3.9083E-03,B=-5.7750E-07,C=-4.1830E-12\r");
  const std::string reading = m.receive("d\r", 0);
  const auto t = parseNumber(reading.substr(reading.find(' ') + 1, reading.size() - reading.find(' ') - 2));
  ASSERT_TRUE(t.has_value());
  EXPECT_LT(*t, 98.0);
}

TEST(ThermometerModel, ScaleTextMarksTheUnitsAndWNDiscards) {
  sim::ThermometerModel m;
  EXPECT_EQ(m.receive("wA3.90831e-3\r", 0), "wA3.90831e-3\r");
  m.receive("wY\r", 0);
  EXPECT_DOUBLE_EQ(m.stored.A, 3.9083e-3);
  m.receive("wB-6.00001e-7\r", 0);
  EXPECT_EQ(m.receive("wN\r", 0), "");
  EXPECT_DOUBLE_EQ(m.stored.B, -5.775e-7);
}

TEST(ThermometerModel, Faults) {
  sim::ThermometerModel m;
  m.faults.wrongEchoes = 1;
  EXPECT_EQ(m.receive("wR100\r", 0), "WR100\r");
  EXPECT_EQ(m.receive("wR100\r", 0), "wR100\r");
  m.faults.withoutCr = true;
  EXPECT_EQ(m.receive("q\r", 0).back(), '2');
  m.faults.silent = true;
  EXPECT_EQ(m.receive("d\r", 0), "");
  EXPECT_EQ(m.receive("d", 0), "");  // nothing until the CR
}
