// File system calls on POSIX systems.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_io.h"

namespace velmora {

bool syncToDisk(std::FILE* file) { return ::fsync(::fileno(file)) == 0; }

std::FILE* openForWriting(const std::filesystem::path& path) { return std::fopen(path.c_str(), "wb"); }
std::FILE* openFile(const std::filesystem::path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

std::FILE* openPrivatelyForWriting(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  if (::fchmod(fd, 0600) != 0) {  // a file that was there keeps no wider rights
    ::close(fd);
    return nullptr;
  }
  std::FILE* f = ::fdopen(fd, "wb");
  if (!f) ::close(fd);
  return f;
}

ExclusiveLock::ExclusiveLock(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return;
  }
  m_handle = fd;
}

ExclusiveLock::~ExclusiveLock() {
  if (m_handle != kNone) ::close(static_cast<int>(m_handle));  // the lock goes with the descriptor
}

bool inDeviceNamespace(const std::filesystem::path& path) {
  const std::string s = path.lexically_normal().string();
  return s.rfind("/dev/", 0) == 0 || s.rfind("/proc/", 0) == 0;
}

}  // namespace velmora
