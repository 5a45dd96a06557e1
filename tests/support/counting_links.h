#pragma once

#include <array>
#include <string>

#include "links/links.h"

namespace trivane::testing {

// Links that only count what the controller asks of them.
struct CountingSources : SourceReaders {
  void IPReader_Init() override {}
  void IPReader_Bye() override {}
  void IPReader_ReadComm() override { ++reads; }
  bool AttemptsDone() override { return attempts_done; }
  std::string ErrText(int slot) const override { return errors[static_cast<std::size_t>(slot)]; }
  void PlanWake(WakePlan& /*plan*/) override {}
  std::array<std::string, 4> errors;  // each slot's last connection error
  int reads = 0;
  bool attempts_done = true;
};

struct CountingServer : ServerLink {
  void Server_Init() override { ++inits; }
  void Server_Bye() override {}
  void TCPServer_OTick() override {}
  RawQueue* Queue() override { return &queue; }
  void PlanWake(WakePlan& /*plan*/) override {}
  int inits = 0;
  RawQueue queue;
};

}  // namespace trivane::testing
