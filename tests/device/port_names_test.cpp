#include "device/port_names.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(PortNames, DuplicatesIgnoringCaseThenByCharacterCodes) {
  const std::vector<std::string> expected = {"COM1", "COM10", "COM2"};
  EXPECT_EQ(sortedPortNames({"COM2", "COM10", "COM1", "com2", "COM1"}), expected);
  EXPECT_TRUE(sortedPortNames({}).empty());
}

TEST(PortNames, CharacterTimesFollowTheBaudRate) {
  EXPECT_EQ(characterTimeMicros(4800), 2300);
  EXPECT_EQ(characterTimeMicros(5000), 2300);
  EXPECT_EQ(characterTimeMicros(100), 1100);
  EXPECT_EQ(characterTimeMicros(110), 100000);
  EXPECT_EQ(characterTimeMicros(256000), 43);
  EXPECT_EQ(characterTimeMicros(1000000), 43);
}
