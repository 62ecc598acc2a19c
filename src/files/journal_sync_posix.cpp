// Syncing a journal to the disk on POSIX systems.
#include <unistd.h>

#include "files/journal.h"

namespace velmora {

bool syncToDisk(std::FILE* file) { return ::fsync(::fileno(file)) == 0; }

}  // namespace velmora
