// File system calls on Windows.
#include <io.h>

#include <cstdio>

#include "common/file_io.h"

namespace velmora {

bool syncToDisk(std::FILE* file) { return ::_commit(::_fileno(file)) == 0; }

std::FILE* openForWriting(const std::filesystem::path& path) { return ::_wfopen(path.c_str(), L"wb"); }

// A user's profile folders are the user's own; the file takes their rights.
std::FILE* openPrivatelyForWriting(const std::filesystem::path& path) { return openForWriting(path); }

bool inDeviceNamespace(const std::filesystem::path& path) {
  const std::wstring s = path.wstring();
  return s.rfind(L"\\\\.\\", 0) == 0;
}

}  // namespace velmora
