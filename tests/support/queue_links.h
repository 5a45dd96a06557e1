#pragma once

#include <memory>
#include <string>

#include "links/links.h"

namespace trivane::testing {

// Destinations that only hold their queues, for the router to fill.
struct QueueStudio final : StudioLink {
  void Studio_Init() override {}
  void Studio_Bye() override {}
  void Studio_Read_Tick() override {}
  void Studio_Send_Tick() override {}
  MessageQueue* Studio_Queue() override { return &queue; }
  void PlanWake(WakePlan& /*plan*/) override {}
  MessageQueue queue;
};

struct QueueServer final : ServerLink {
  void Server_Init() override {}
  void Server_Bye() override {}
  void TCPServer_OTick() override {}
  RawQueue* Queue() override { return &queue; }
  void PlanWake(WakePlan& /*plan*/) override {}
  RawQueue queue;
};

struct QueueOnline final : OnlineLink {
  void Online_Init() override {}
  void Online_Bye() override {}
  void Online_Tick() override {}
  const std::string& ErrText() const override { return error; }
  RawQueue* Queue() override { return &queue; }
  void PlanWake(WakePlan& /*plan*/) override {}
  RawQueue queue;
  std::string error;
};

// All three destinations with queues of their own.
inline ControllerParts QueueDestinations() {
  ControllerParts parts;
  parts.studio = std::make_unique<QueueStudio>();
  parts.server = std::make_unique<QueueServer>();
  parts.online = std::make_unique<QueueOnline>();
  return parts;
}

}  // namespace trivane::testing
