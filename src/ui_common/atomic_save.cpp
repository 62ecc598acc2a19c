#include "ui_common/atomic_save.h"

#include <QDir>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

namespace velmora {

std::optional<QString> saveAtomically(const QString& path, std::string_view text) {
  QSaveFile file(path);
  int systemError = 0;
  auto failed = [&] {
    if (systemError == 0) systemError = errno;
    return true;
  };
  errno = 0;
  bool bad = !file.open(QIODevice::WriteOnly) && failed();
  if (!bad) {
    const auto size = static_cast<qint64>(text.size());
    errno = 0;
    bad = (file.write(text.data(), size) != size && failed()) || (!file.flush() && failed());
    errno = 0;
    if (!bad) bad = !file.commit() && failed();
  }
  if (!bad) return std::nullopt;
  QString cause = file.errorString();
  // Qt does not always carry the system's reason through (a full disk surfaces at the
  // flush as "Unknown error"); the system's own text says what went wrong.
  if ((cause.isEmpty() || cause == QStringLiteral("Unknown error")) && systemError != 0)
    cause = QString::fromLocal8Bit(std::strerror(systemError));
  file.cancelWriting();
  return "Cannot write " + QDir::toNativeSeparators(path) + ": " + cause;
}

}  // namespace velmora
