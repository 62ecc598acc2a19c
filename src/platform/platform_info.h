#pragma once
// What the program asks of the operating system: the version text of the status bar and
// the user's default language identifier (1049 for Russian).

#include <string>

namespace velmora {

// "OS:" then the version numbers and texts separated by ":"; empty when the query fails.
std::string osVersionText();
int userDefaultLanguageId();

}  // namespace velmora
