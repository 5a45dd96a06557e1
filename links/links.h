#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/byte_io.h"
#include "base/wake_plan.h"
#include "links/raw_msg.h"

namespace trivane {

class LinkHost;

// What the controller calls on each link, in the relay's own terms: no link
// hands out its transport or its records. A link that is not part of a build
// is simply absent (a null pointer in ControllerParts); the controller skips it.
//
// PlanWake adds what the link's next tick would act on: the sockets it would
// read or write and the tick its next timed rule falls due, so the driver
// sleeps until then and no longer.

class SourceReaders {  // the four TCP sources
 public:
  virtual ~SourceReaders() = default;
  virtual void IPReader_Init() = 0;
  virtual void IPReader_Bye() = 0;
  virtual void IPReader_ReadComm() = 0;
  // For the close: plans no further attempt and collects the finished ones.
  // True once no connect attempt runs any more, so the readers can be closed.
  virtual bool AttemptsDone() = 0;
  // Slot i's last connect error, the hint of its column.
  virtual std::string ErrText(int i) const = 0;
  virtual void PlanWake(WakePlan& plan) = 0;
};

class StudioLink {
 public:
  virtual ~StudioLink() = default;
  virtual void Studio_Init() = 0;
  virtual void Studio_Bye() = 0;
  virtual void Studio_Read_Tick() = 0;
  virtual void Studio_Send_Tick() = 0;
  // Null while the queue does not exist.
  virtual MessageQueue* Studio_Queue() = 0;
  virtual void PlanWake(WakePlan& plan) = 0;
};

class ServerLink {  // the internal TCP server other instances chain to
 public:
  virtual ~ServerLink() = default;
  virtual void Server_Init() = 0;
  virtual void Server_Bye() = 0;
  virtual void TCPServer_OTick() = 0;
  virtual RawQueue* Queue() = 0;  // null while the server is off
  virtual void PlanWake(WakePlan& plan) = 0;
};

class OnlineLink {  // the uplink to the online server
 public:
  virtual ~OnlineLink() = default;
  virtual void Online_Init() = 0;
  virtual void Online_Bye() = 0;
  virtual void Online_Tick() = 0;
  virtual const std::string& ErrText() const = 0;
  virtual RawQueue* Queue() = 0;  // null while the uplink is off
  virtual void PlanWake(WakePlan& plan) = 0;
};

struct ControllerParts {
  std::unique_ptr<SourceReaders> sources;
  std::unique_ptr<StudioLink> studio;
  std::unique_ptr<ServerLink> server;
  std::unique_ptr<OnlineLink> online;
};

// Builds the parts once the controller exists, since they report back to it.
using PartsFactory = std::function<ControllerParts(LinkHost&)>;

}  // namespace trivane
