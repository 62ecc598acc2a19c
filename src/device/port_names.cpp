#include "device/port_names.h"

#include <cctype>
#include <utility>

namespace velmora {

namespace {
bool equalIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}
}  // namespace

std::vector<std::string> sortedPortNames(const std::vector<std::string>& names) {
  std::vector<std::string> list;
  for (const auto& n : names) {
    bool present = false;
    for (const auto& have : list) present = present || equalIgnoringCase(have, n);
    if (!present) list.push_back(n);
  }
  bool exchanged = true;
  while (exchanged) {
    exchanged = false;
    for (std::size_t i = 0; i + 1 < list.size(); ++i)
      if (list[i].compare(list[i + 1]) > 0) {
        std::swap(list[i], list[i + 1]);
        exchanged = true;
      }
  }
  return list;
}

int characterTimeMicros(int baudRate) {
  static constexpr std::pair<int, int> kTable[] = {
      {110, 100000}, {300, 37000}, {600, 18000},   {1200, 9000},   {2400, 4500},  {4800, 2300},
      {9600, 1100},  {14400, 760}, {19200, 570},   {38400, 290},   {56000, 200},  {57600, 190},
      {115200, 95},  {128000, 85}, {256000, 43}};
  int micros = 1100;
  for (const auto& [rate, us] : kTable)
    if (rate <= baudRate) micros = us;
  return micros;
}

}  // namespace velmora
