// Platform queries on POSIX systems: the kernel's version numbers and names.
#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/platform_info.h"

namespace velmora {

std::string osVersionText() {
  utsname u{};
  if (uname(&u) != 0) return {};
  int major = 0, minor = 0, patch = 0;
  std::sscanf(u.release, "%d.%d.%d", &major, &minor, &patch);
  return "OS:" + std::to_string(major) + ":" + std::to_string(minor) + ":" + std::to_string(patch) + ":" +
         u.sysname + ":" + u.release;
}

// The user's language from the locale variables, in the order the C library reads them:
// Russian gives 1049, anything else 1033.
int userDefaultLanguageId() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    const std::string_view v(value);
    return v.substr(0, 2) == "ru" ? 1049 : 1033;
  }
  return 1033;
}

}  // namespace velmora
