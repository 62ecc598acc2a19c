// File system calls on POSIX systems.
#include <unistd.h>

#include "common/file_io.h"

namespace velmora {

bool syncToDisk(std::FILE* file) { return ::fsync(::fileno(file)) == 0; }

std::FILE* openForWriting(const std::filesystem::path& path) { return std::fopen(path.c_str(), "wb"); }

bool inDeviceNamespace(const std::filesystem::path& path) {
  const std::string s = path.lexically_normal().string();
  return s.rfind("/dev/", 0) == 0 || s.rfind("/proc/", 0) == 0;
}

}  // namespace velmora
