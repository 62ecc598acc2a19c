#pragma once
// Writes a whole file or nothing: the text goes to a temporary file beside the target, which
// is renamed into place only when everything was written. A failed save never damages the
// file that was there.

#include <QString>
#include <optional>
#include <string_view>

namespace velmora {

// Empty on success; otherwise "Cannot write <path>: <cause>" with the cause the system gave
// (no space left, read-only file system, permission denied, ...).
std::optional<QString> saveAtomically(const QString& path, std::string_view text);

}  // namespace velmora
