#pragma once
// The port menu's list: duplicates dropped ignoring case (the first spelling stays), then a
// bubble sort by plain character codes, so COM10 comes before COM2.

#include <string>
#include <vector>

namespace velmora {

std::vector<std::string> sortedPortNames(const std::vector<std::string>& names);

// The XTOAuto table: microseconds per character for a baud rate (the entry with the largest
// rate not above it; 1100 below 110).
int characterTimeMicros(int baudRate);

}  // namespace velmora
