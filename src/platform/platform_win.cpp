// Platform queries on Windows: the system version record and the user's language.
#include <windows.h>

#include "platform/platform_info.h"

namespace velmora {

std::string osVersionText() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  // GetVersionEx is deprecated; with the manifest declaring Windows 10/11 it reports them.
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
  if (!GetVersionExA(&info) || info.dwPlatformId == 0) return {};
  return "OS:" + std::to_string(info.dwMajorVersion) + ":" + std::to_string(info.dwMinorVersion) + ":" +
         std::to_string(info.dwBuildNumber) + ":" + std::to_string(info.dwPlatformId) + ":" + info.szCSDVersion;
}

int userDefaultLanguageId() { return static_cast<int>(GetUserDefaultLangID()); }

}  // namespace velmora
