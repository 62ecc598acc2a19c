#include "common/file_io.h"

#include <cerrno>
#include <fstream>
#include <sstream>
#include <system_error>
#include <utility>

namespace velmora {

namespace fs = std::filesystem;

namespace {
std::string systemText(int error) { return std::generic_category().message(error); }

// Writes and closes; the reason when any step failed.
std::optional<std::string> writeAndClose(std::FILE* f, std::string_view bytes, bool sync) {
  errno = 0;
  bool ok = (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size()) && std::fflush(f) == 0;
  int error = ok ? 0 : errno;
  if (ok && sync && !syncToDisk(f)) {
    ok = false;
    error = errno;
  }
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (ok) return std::nullopt;
  return systemText(error != 0 ? error : EIO);
}

// The file a chain of symbolic links ends at (the path itself when it is no link).
std::optional<fs::path> linkTarget(fs::path p, std::string& cause) {
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec))) return p;
    const fs::path next = fs::read_symlink(p, ec);
    if (ec) {
      cause = ec.message();
      return std::nullopt;
    }
    p = next.is_absolute() ? next : p.parent_path() / next;
  }
  cause = systemText(ELOOP);
  return std::nullopt;
}
}  // namespace

fs::path pathFromUtf8(std::string_view s) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(s.data()), s.size()));
}

std::string pathToUtf8(const fs::path& p) {
  const std::u8string u = p.u8string();
  return std::string(reinterpret_cast<const char*>(u.data()), u.size());
}

std::optional<std::string> readWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  const fs::path p = pathFromUtf8(path);
  std::error_code ec;
  const fs::file_status st = fs::status(p, ec);
  if (fs::is_directory(st)) return systemText(EISDIR);
  errno = 0;
  std::ifstream in(p, std::ios::binary);
  if (!in) return systemText(errno != 0 ? errno : ENOENT);
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) return systemText(EIO);
  bytes = std::move(s).str();
  return std::nullopt;
}

std::optional<std::string> writeFileAtomically(const std::string& path, std::string_view bytes) {
  if (path == "-") {
    std::fflush(stdout);
    errno = 0;
    const bool ok =
        (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size()) && std::fflush(stdout) == 0;
    if (ok) return std::nullopt;
    return systemText(errno != 0 ? errno : EIO);
  }
  const fs::path given = pathFromUtf8(path);
  std::error_code ec;
  const fs::file_status st = fs::status(given, ec);
  if (fs::is_directory(st) || (!path.empty() && (path.back() == '/' || path.back() == '\\')))
    return systemText(EISDIR);
  // A device, a FIFO, a socket or a standard stream: written where it is.
  if (inDeviceNamespace(given) || (fs::exists(st) && !fs::is_regular_file(st))) {
    errno = 0;
    std::FILE* f = openForWriting(given);
    if (!f) return systemText(errno != 0 ? errno : EACCES);
    return writeAndClose(f, bytes, false);
  }
  return writeFilesAtomically({{path, bytes}});
}

std::optional<std::string> writeFilesAtomically(const std::vector<FileToWrite>& files) {
  struct Step {
    fs::path target, part, backup;
    bool hadOld = false, backedUp = false, replaced = false;
  };
  std::vector<Step> steps;
  std::error_code ec;
  auto undo = [&](std::vector<Step>& done) {
    std::error_code ignored;
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
      if (it->replaced) fs::remove(it->target, ignored);
      if (it->backedUp) fs::rename(it->backup, it->target, ignored);
      fs::remove(it->part, ignored);
    }
  };
  // Every new file is written beside its target first.
  for (const FileToWrite& file : files) {
    const fs::path given = pathFromUtf8(file.path);
    std::string cause;
    const auto target = linkTarget(given, cause);
    if (!target || fs::is_directory(fs::status(given, ec)) || file.path.empty() || file.path.back() == '/' ||
        file.path.back() == '\\') {
      undo(steps);
      return target ? systemText(EISDIR) : cause;
    }
    Step step;
    step.target = *target;
    step.part = *target;
    step.part += ".part";
    step.backup = *target;
    step.backup += ".old";
    const fs::file_status old = fs::status(*target, ec);
    step.hadOld = !ec && fs::is_regular_file(old);
    errno = 0;
    std::FILE* f = openForWriting(step.part);
    if (!f) {
      const int error = errno != 0 ? errno : EACCES;
      undo(steps);
      return systemText(error);
    }
    steps.push_back(step);
    if (auto error = writeAndClose(f, file.bytes, true)) {
      undo(steps);
      return error;
    }
    // The new file keeps the permissions of the one it replaces.
    if (step.hadOld) fs::permissions(step.part, old.permissions(), ec);
  }
  // Then they take their targets' places; with several files, the old ones are kept aside
  // until every new one is in place, and put back when one cannot be.
  const bool together = steps.size() > 1;
  // A rename that fails puts back what was done so far.
  const auto move = [&](const fs::path& from, const fs::path& to) {
    fs::rename(from, to, ec);
    if (ec) undo(steps);
    return !ec;
  };
  for (Step& step : steps) {
    if (together && step.hadOld) {
      if (!move(step.target, step.backup)) return ec.message();
      step.backedUp = true;
    }
    if (!move(step.part, step.target)) return ec.message();
    step.replaced = true;
  }
  for (Step& step : steps)
    if (step.backedUp) fs::remove(step.backup, ec);
  return std::nullopt;
}

// ---------------------------------------------------------------- piece by piece

std::optional<std::string> AtomicFileWriter::open(const std::string& path) {
  abort();
  m_written = 0;
  if (path == "-") {
    m_file = stdout;
    m_stdout = m_inPlace = true;
    return std::nullopt;
  }
  const fs::path given = pathFromUtf8(path);
  std::error_code ec;
  const fs::file_status st = fs::status(given, ec);
  if (fs::is_directory(st) || (!path.empty() && (path.back() == '/' || path.back() == '\\'))) return systemText(EISDIR);
  m_inPlace = inDeviceNamespace(given) || (fs::exists(st) && !fs::is_regular_file(st));
  if (m_inPlace) {
    m_target = given;
  } else {
    std::string cause;
    const auto target = linkTarget(given, cause);
    if (!target) return cause;
    m_target = *target;
    m_part = *target;
    m_part += ".part";
  }
  errno = 0;
  m_file = openForWriting(m_inPlace ? m_target : m_part);
  if (!m_file) return systemText(errno != 0 ? errno : EACCES);
  return std::nullopt;
}

std::optional<std::string> AtomicFileWriter::write(std::string_view bytes) {
  if (!m_file) return systemText(EBADF);
  if (bytes.empty()) return std::nullopt;
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size()) return systemText(errno != 0 ? errno : EIO);
  m_written += bytes.size();
  return std::nullopt;
}

// The written file takes its target's place; where it cannot, it is removed and the system's
// reason given.
static std::optional<std::string> moveIntoPlace(const fs::path& part, const fs::path& target) {
  std::error_code ec;
  fs::rename(part, target, ec);
  if (!ec) return std::nullopt;
  std::error_code ignored;
  fs::remove(part, ignored);
  return ec.message();
}

std::optional<std::string> AtomicFileWriter::commit() {
  if (!m_file) return systemText(EBADF);
  if (m_stdout) {
    m_file = nullptr;
    m_stdout = false;
    if (std::fflush(stdout) != 0) return systemText(errno != 0 ? errno : EIO);
    return std::nullopt;
  }
  std::FILE* f = std::exchange(m_file, nullptr);
  if (auto error = writeAndClose(f, {}, !m_inPlace)) {
    if (!m_inPlace) {
      std::error_code ec;
      fs::remove(m_part, ec);
    }
    return error;
  }
  if (m_inPlace) return std::nullopt;
  std::error_code ec;
  const fs::file_status old = fs::status(m_target, ec);
  if (!ec && fs::is_regular_file(old)) fs::permissions(m_part, old.permissions(), ec);
  return moveIntoPlace(m_part, m_target);
}

void AtomicFileWriter::abort() {
  if (!m_file) return;
  if (m_stdout) {
    m_file = nullptr;
    m_stdout = false;
    return;
  }
  std::fclose(std::exchange(m_file, nullptr));
  if (!m_inPlace) {
    std::error_code ec;
    fs::remove(m_part, ec);
  }
}

std::optional<std::string> writePrivateFile(const std::string& path, std::string_view bytes) {
  const fs::path target = pathFromUtf8(path);
  fs::path part = target;
  part += ".part";
  errno = 0;
  std::FILE* f = openPrivatelyForWriting(part);
  if (!f) return systemText(errno != 0 ? errno : EACCES);
  if (auto cause = writeAndClose(f, bytes, true)) {
    std::error_code ignored;
    fs::remove(part, ignored);
    return cause;
  }
  return moveIntoPlace(part, target);
}

bool sameExistingFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  const bool same = fs::equivalent(pathFromUtf8(a), pathFromUtf8(b), ec);
  return !ec && same;
}

}  // namespace velmora
