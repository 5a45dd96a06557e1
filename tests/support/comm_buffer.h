#pragma once

#include <algorithm>

#include "protocols/records.h"

namespace trivane::testing {

// A running reader's buffer holding the given bytes.
inline TReadComm CommWith(ByteView bytes) {
  TReadComm comm;
  comm.Data.assign(TReadComm::kCapacity, 0);
  const auto n = std::min(bytes.size(), comm.Data.size());
  std::copy_n(bytes.begin(), n, comm.Data.begin());
  comm.Count = static_cast<std::int32_t>(n);
  return comm;
}

inline void Append(TReadComm& comm, ByteView bytes) {
  const auto at = static_cast<std::size_t>(comm.Count);
  const auto n = std::min(bytes.size(), comm.Data.size() - at);
  std::copy_n(bytes.begin(), n, comm.Data.begin() + static_cast<std::ptrdiff_t>(at));
  comm.Count += static_cast<std::int32_t>(n);
}

inline Bytes Concat(std::initializer_list<ByteView> parts) {
  Bytes out;
  for (const ByteView part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

}  // namespace trivane::testing
