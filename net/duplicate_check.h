#pragma once

#include "base/byte_io.h"
#include "links/raw_msg.h"
#include "net/ip_reader_record.h"

namespace trivane {

// Several sources may carry the same feed. A unit is passed on when it is in
// the active reader's own recent units (the source repeats itself) or in no
// other reader's (nobody else delivered it): the same region block from a
// second source is not sent twice. Either way the unit joins the active
// reader's recent units. Only the verdict is given: what becomes of the unit
// is the router's.
bool IPReader_NoDouble_Data(tIPReader& readers, ByteView unit);

bool Find_In_Cache(const tIP1Reader& reader, ByteView unit);

inline constexpr std::size_t kCachedUnits = 4;

}  // namespace trivane
