#pragma once

#include "protocols/protocol_handlers.h"
#include "protocols/protocol_host.h"
#include "protocols/records.h"
#include "protocols/uecp_codec.h"

namespace trivane {

// The one wiring of a source's units: each is cut by the parser its first
// byte names, passes the host's duplicate check with its raw bytes, and only
// then reaches the handlers that log and route it.
//
//   held bytes --first byte--> UECP codec | VL3 | VL2
//                                  |  raw unit --> host.IPReader_NoDouble_Data
//                                  '- new unit --> ProtocolHandlers --> host (log, route)
class UnitPipeline {
 public:
  explicit UnitPipeline(ProtocolHost& host);

  UnitPipeline(const UnitPipeline&) = delete;
  UnitPipeline& operator=(const UnitPipeline&) = delete;

  // Parses the units at the front of a source's buffer until a parser refuses
  // (incomplete or unknown data stays for later). Returns the units taken.
  int ParseHeldUnits(TReadComm& comm);

  ProtocolHandlers& Handlers() { return handlers_; }
  TUECP& Codec() { return codec_; }

 private:
  ProtocolHandlers handlers_;
  TUECP codec_;
};

}  // namespace trivane
