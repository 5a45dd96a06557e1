#include "platform/journal_stream.h"

#include <sys/stat.h>

#include <cinttypes>
#include <cstdlib>

namespace trivane {

bool StreamIsJournal(std::FILE* stream) {
  const char* named = std::getenv("JOURNAL_STREAM");
  if (named == nullptr || stream == nullptr) return false;
  std::uintmax_t device = 0;
  std::uintmax_t inode = 0;
  if (std::sscanf(named, "%" SCNuMAX ":%" SCNuMAX, &device, &inode) != 2) return false;
  struct stat status {};
  if (fstat(fileno(stream), &status) != 0) return false;
  return status.st_dev == device && status.st_ino == inode;
}

}  // namespace trivane
