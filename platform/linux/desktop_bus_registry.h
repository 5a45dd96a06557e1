#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/desktop.h"

namespace trivane::bus {

// The bus directory: where it is, whether it is safe to use, and the window
// registrations in it (<handle>.win beside the window's socket <handle>.sock).
// docs/desktop-bus.md has the layout; this is its one implementation.

// $TRIVANE_BUS_DIR, else $XDG_RUNTIME_DIR/trivane-bus, else /tmp/trivane-bus-<uid>.
std::string DefaultBusDirectory();

// Creates the directory (mode 0700) when it is missing and accepts it only when
// it is a real directory of this user that nobody else may enter. Otherwise
// `refusal` says which check failed, for the operator.
bool PrepareBusDirectory(const std::string& directory, std::string& refusal);

// The owner's identity, so a pid reused by another process is not taken for it.
struct ProcessId {
  std::uint32_t pid = 0;
  std::uint64_t start_time = 0;  // /proc/<pid>/stat field 22
};
std::optional<ProcessId> ProcessIdOf(std::uint32_t pid);
bool IsAlive(const ProcessId& process);
// Stopped by a signal or held by a debugger (state T or t): it serves nothing
// until it is continued, wherever it was when it stopped.
bool IsStopped(const ProcessId& process);

// A registration as read back.
struct Registration {
  ProcessId owner;
  std::string class_name;
  std::uint64_t served_ms = 0;  // CLOCK_MONOTONIC, when the thread last served
  bool waiting = false;         // in a wait that serves at once
};

inline constexpr std::size_t kRegistrationHeader = 32;
inline constexpr std::size_t kMaxClassName = 255;

std::uint64_t MonotonicMs();

class Registry {
 public:
  explicit Registry(std::string directory) : directory_(std::move(directory)) {}

  const std::string& directory() const { return directory_; }
  std::string SocketPath(WindowHandle handle) const;
  std::string RegistrationPath(WindowHandle handle) const;

  // The registration of a live window; a dead owner's leftovers are removed
  // on the way when the bus lock is free.
  std::optional<Registration> Read(WindowHandle handle);
  std::vector<DesktopWindow> List();

  // The directory lock, held while a handle is chosen or a dead window is
  // cleared. Waits at most `limit`: a stopped process holding it costs a
  // failed create, not a hung thread.
  class Lock {
   public:
    Lock(const Registry& registry, std::chrono::milliseconds limit);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    bool held() const { return fd_ >= 0; }
    int fd() const { return fd_; }

   private:
    int fd_ = -1;
  };

  // Under the lock: the next handle to try in [first, last] and, once chosen,
  // the one after it.
  WindowHandle NextCandidate(const Lock& lock, WindowHandle first, WindowHandle last) const;
  void StoreNext(const Lock& lock, WindowHandle next) const;
  // Under the lock: true when no live window holds the handle; a dead
  // owner's files are removed.
  bool ClaimFree(const Lock& lock, WindowHandle handle);
  // Under the lock, the socket bound and listening: writes the registration
  // under a temporary name and renames it into place, so no reader sees half
  // of one. Returns the open registration (read-write), or -1.
  int Publish(const Lock& lock, WindowHandle handle, std::string_view class_name,
              const ProcessId& owner);
  // The owner's own removal: the socket first, so a handle whose registration
  // is gone has nothing left behind.
  void Withdraw(WindowHandle handle);

 private:
  std::optional<Registration> ReadFile(WindowHandle handle) const;
  void RemoveFiles(WindowHandle handle) const;

  std::string directory_;
};

// The owner's view of its registration: the two words another program reads
// to tell whether the window's thread is hung.
class Heartbeat {
 public:
  Heartbeat() = default;
  // Takes the open registration file; maps it.
  explicit Heartbeat(int fd);
  ~Heartbeat();
  Heartbeat(const Heartbeat&) = delete;
  Heartbeat& operator=(const Heartbeat&) = delete;

  void Beat(bool waiting);

 private:
  void* map_ = nullptr;
  std::size_t size_ = 0;
};

// The served time and waiting flag, read through a shared mapping so they come
// out whole; nothing when the window is gone.
std::optional<std::pair<std::uint64_t, bool>> ReadHeartbeat(const std::string& registration_path);

}  // namespace trivane::bus
