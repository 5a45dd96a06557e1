#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace trivane {

// A socket as the system names it: a descriptor on Linux, a SOCKET on Windows.
using NativeSocket = std::uintptr_t;

// What the relay waits for before its next tick: the sockets whose readiness
// the tick would act on, and the earliest tick (in the controller's
// milliseconds) at which a timed rule falls due. A socket is asked for only
// while the tick would take what it signals; one the tick would leave alone
// would wake the loop again at once, for ever.
class WakePlan {
 public:
  struct Watch {
    NativeSocket socket = 0;
    bool read = false;
    bool write = false;
  };

  void Read(NativeSocket socket) { Find(socket).read = true; }
  void Write(NativeSocket socket) { Find(socket).write = true; }
  void DueAt(std::int64_t tick) { due_ = due_ ? std::min(*due_, tick) : tick; }

  const std::vector<Watch>& Sockets() const { return sockets_; }
  // Nothing when no timed rule is waiting: only readiness or a wake-up ends the wait.
  std::optional<std::int64_t> Due() const { return due_; }

 private:
  Watch& Find(NativeSocket socket) {
    const auto it = std::find_if(sockets_.begin(), sockets_.end(),
                                 [socket](const Watch& watch) { return watch.socket == socket; });
    if (it != sockets_.end()) return *it;
    return sockets_.emplace_back(Watch{socket, false, false});
  }

  std::vector<Watch> sockets_;
  std::optional<std::int64_t> due_;
};

}  // namespace trivane
