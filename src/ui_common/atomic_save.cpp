#include "ui_common/atomic_save.h"

#include <QDir>

#include "common/file_io.h"

namespace velmora {

std::optional<QString> saveAtomically(const QString& path, std::string_view text) {
  if (auto cause = writeFileAtomically(path.toStdString(), text))
    return "Cannot write " + QDir::toNativeSeparators(path) + ": " + QString::fromStdString(*cause);
  return std::nullopt;
}

}  // namespace velmora
