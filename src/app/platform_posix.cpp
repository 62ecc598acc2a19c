// Platform queries on POSIX systems: the kernel's version numbers and names.
#include <sys/utsname.h>

#include <QLocale>
#include <cstdio>

#include "app/platform_info.h"

namespace velmora {

std::string osVersionText() {
  utsname u{};
  if (uname(&u) != 0) return {};
  int major = 0, minor = 0, patch = 0;
  std::sscanf(u.release, "%d.%d.%d", &major, &minor, &patch);
  return "OS:" + std::to_string(major) + ":" + std::to_string(minor) + ":" + std::to_string(patch) + ":" +
         u.sysname + ":" + u.release;
}

int userDefaultLanguageId() {
  return QLocale::system().language() == QLocale::Russian ? 1049 : 1033;
}

}  // namespace velmora
