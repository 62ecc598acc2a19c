#pragma once
// Whole files by path, on every system (paths are UTF-8 text). A written file is whole or
// not there: the bytes go to a temporary file beside the target, which is synced and then
// renamed over it, so a failed write never damages the file that was there. A symbolic link
// is followed and its target replaced (the link stays a link); a target that is not a
// regular file — a device such as /dev/full, a FIFO, /dev/stdout, or "-" for standard
// output — is written in place and never renamed over.

#include <cstdint>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

std::filesystem::path pathFromUtf8(std::string_view path);
std::string pathToUtf8(const std::filesystem::path& path);

// Reads a whole file into `bytes`; on failure the reason ("No such file or directory",
// "Is a directory", ...) and `bytes` is left empty.
std::optional<std::string> readWholeFile(const std::string& path, std::string& bytes);

// Writes `bytes` as the whole content of `path`; on failure the reason the system gave
// ("No space left on device", "Permission denied", "Is a directory", ...).
std::optional<std::string> writeFileAtomically(const std::string& path, std::string_view bytes);

// Writes several files as one: all of them, or none changed (a file that was there stays as
// it was when any of them cannot be written or replaced). Links are followed as above.
struct FileToWrite {
  std::string path;
  std::string_view bytes;
};
std::optional<std::string> writeFilesAtomically(const std::vector<FileToWrite>& files);

// A file written piece by piece and put in place whole at the end, by the same rules: the
// pieces go to a temporary file beside the target (or, for a device, FIFO or "-", straight to
// it); commit() syncs and renames, abort() — or destruction without a commit — removes what
// was written and leaves the target as it was.
class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  ~AtomicFileWriter() { abort(); }

  std::optional<std::string> open(const std::string& path);
  std::optional<std::string> write(std::string_view bytes);
  std::optional<std::string> commit();
  void abort();
  bool isOpen() const { return m_file != nullptr; }

 private:
  std::FILE* m_file = nullptr;
  bool m_inPlace = false, m_stdout = false;
  std::filesystem::path m_target, m_part;
  std::uint64_t m_written = 0;
};

// A file only its owner may read (a password): written whole under a temporary name created
// owner-only from the start, then renamed over `path`; the reason when it failed.
std::optional<std::string> writePrivateFile(const std::string& path, std::string_view bytes);

// Whether both paths name one existing file (through links, "..", hard links).
bool sameExistingFile(const std::string& a, const std::string& b);

// A lock only one process at a time may hold (a folder's owner): taken without waiting,
// released when the object goes — or when its process ends, however it ends.
class ExclusiveLock {
 public:
  explicit ExclusiveLock(const std::filesystem::path& file);
  ~ExclusiveLock();
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;
  bool held() const { return m_handle != kNone; }

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t m_handle = kNone;
};

// Platform parts (file_system_posix.cpp / file_system_win.cpp).
// Syncs what was written to a file to the disk.
bool syncToDisk(std::FILE* file);
// Opens a file for writing from its start (created when absent); errno tells why not.
std::FILE* openForWriting(const std::filesystem::path& path);
// std::fopen with a path as the system takes it (UTF-16 on Windows); `mode` as fopen's.
std::FILE* openFile(const std::filesystem::path& path, const char* mode);
// The same for a file its owner alone may read and write.
std::FILE* openPrivatelyForWriting(const std::filesystem::path& path);
// Whether a path lies in the system's device namespace (/dev, /proc; \\.\ on Windows),
// where nothing may be renamed over an entry.
bool inDeviceNamespace(const std::filesystem::path& path);

}  // namespace velmora
