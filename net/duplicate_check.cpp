#include "net/duplicate_check.h"

#include <algorithm>

namespace trivane {

bool Find_In_Cache(const tIP1Reader& reader, ByteView unit) {
  if (!reader.Cache) return false;
  return std::any_of(reader.Cache->begin(), reader.Cache->end(), [&](const TRawMsg& entry) {
    return std::equal(entry.Data.begin(), entry.Data.end(), unit.begin(), unit.end());
  });
}

bool IPReader_NoDouble_Data(tIPReader& readers, ByteView unit) {
  const std::size_t active = readers.ActiveReader % readers.Readers.size();
  bool accept = Find_In_Cache(readers.Readers[active], unit);
  if (!accept) {
    accept = true;
    for (std::size_t j = 0; j < readers.Readers.size(); ++j) {
      if (j != active && Find_In_Cache(readers.Readers[j], unit)) {
        accept = false;
        break;
      }
    }
  }

  auto& cache = readers.Readers[active].Cache;
  if (cache) {
    cache->push_back(TRawMsg{Bytes(unit.begin(), unit.end())});
    if (cache->size() > kCachedUnits) cache->pop_front();
  }
  return accept;
}

}  // namespace trivane
