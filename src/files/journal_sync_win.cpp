// Syncing a journal to the disk on Windows.
#include <io.h>

#include "files/journal.h"

namespace velmora {

bool syncToDisk(std::FILE* file) { return ::_commit(::_fileno(file)) == 0; }

}  // namespace velmora
