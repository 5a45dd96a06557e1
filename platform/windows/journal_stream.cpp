#include "platform/journal_stream.h"

namespace trivane {

// Windows has no journal stream: the console and files take lines as they are.
bool StreamIsJournal(std::FILE* /*stream*/) {
  return false;
}

}  // namespace trivane
