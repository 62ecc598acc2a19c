#pragma once
// Writes a whole file or nothing (see common/file_io.h: a link's target is replaced, a device
// or FIFO is written in place). A failed save never damages the file that was there.

#include <QString>
#include <optional>
#include <string_view>

namespace velmora {

// Empty on success; otherwise "Cannot write <path>: <cause>" with the cause the system gave
// (no space left, read-only file system, permission denied, ...).
std::optional<QString> saveAtomically(const QString& path, std::string_view text);

}  // namespace velmora
