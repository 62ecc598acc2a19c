// File system calls on Windows.
#include <io.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/file_io.h"

namespace velmora {

bool syncToDisk(std::FILE* file) { return ::_commit(::_fileno(file)) == 0; }

std::FILE* openForWriting(const std::filesystem::path& path) { return ::_wfopen(path.c_str(), L"wb"); }
std::FILE* openFile(const std::filesystem::path& path, const char* mode) {
  const std::wstring wide(mode, mode + std::char_traits<char>::length(mode));  // fopen's modes are ASCII
  return ::_wfopen(path.c_str(), wide.c_str());
}

// A user's profile folders are the user's own; the file takes their rights.
std::FILE* openPrivatelyForWriting(const std::filesystem::path& path) { return openForWriting(path); }

// Opened without sharing: no other process can open it while it is held.
ExclusiveLock::ExclusiveLock(const std::filesystem::path& file) {
  HANDLE h = ::CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) m_handle = reinterpret_cast<std::intptr_t>(h);
}

ExclusiveLock::~ExclusiveLock() {
  if (m_handle != kNone) ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

bool inDeviceNamespace(const std::filesystem::path& path) {
  const std::wstring s = path.wstring();
  return s.rfind(L"\\\\.\\", 0) == 0;
}

}  // namespace velmora
