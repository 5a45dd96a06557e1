#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/desktop.h"
#include "platform/linux/desktop_bus_registry.h"

struct pollfd;

namespace trivane {

struct DesktopBusOptions {
  // Empty: $TRIVANE_BUS_DIR, else $XDG_RUNTIME_DIR/trivane-bus, else
  // /tmp/trivane-bus-<uid>.
  std::string directory;
  // A window whose thread has neither served nor waited for its messages for
  // this long is hung. Windows' figure; tests shorten it.
  std::chrono::milliseconds hung_after{5000};
  // Handles are given out in this range, round and round.
  WindowHandle first_handle = 0x00010000;
  WindowHandle last_handle = 0x7FFFFFFF;
};

// The desktop of one Linux user: every window is a Unix stream socket in the
// bus directory with a registration beside it (docs/desktop-bus.md). Nothing
// runs in the background; a window's messages are served by the thread that
// created it when it pumps, or while it waits for a send of its own. One per
// process, made after any fork: its windows are registered under its pid.
class DesktopBus final : public Desktop {
 public:
  explicit DesktopBus(DesktopBusOptions options = {});
  // Withdraws the windows still open.
  ~DesktopBus() override;
  DesktopBus(const DesktopBus&) = delete;
  DesktopBus& operator=(const DesktopBus&) = delete;

  // False when the directory was refused: nothing can be created or sent.
  bool Usable() const { return usable_; }
  const std::string& Directory() const { return registry_.directory(); }
  // What the operator is told when a window cannot be made: the directory,
  // and why it was refused if it was.
  std::string Where() const {
    return "the desktop bus in " + Directory() + (usable_ ? "" : " (" + refusal_ + ")");
  }

  WindowHandle CreateTopLevelWindow(std::string_view class_name,
                                    WindowProcedure& procedure) override;
  // Only by the thread that created the window, as on Windows.
  void DestroyTopLevelWindow(WindowHandle window) override;
  std::vector<DesktopWindow> EnumWindows() override;
  SendOutcome SendMessage(WindowHandle to, std::uint32_t message, std::uint32_t wparam,
                          std::uint32_t lparam, std::chrono::milliseconds limit) override;
  SendOutcome SendCopyData(WindowHandle to, std::uint32_t wparam, std::uint32_t dw_data,
                           ByteView data, std::chrono::milliseconds limit) override;
  std::optional<bool> IsHung(WindowHandle window) override;
  void Pump() override;
  void WaitForInput(std::chrono::steady_clock::time_point until) override;
  // The same wait, ended also by any of `also` becoming ready as it asks:
  // the relay's own sockets and wake-ups, waited for in the one poll.
  void WaitForInputOr(std::chrono::steady_clock::time_point until, std::vector<::pollfd> also);

  // The descriptors that become readable when something is sent to the
  // calling thread's windows, for a front end whose own event loop waits
  // (socket notifiers) and then calls Pump. The set changes as senders come
  // and go: ask again after every Pump.
  std::vector<int> InputDescriptors();

 private:
  struct Connection;
  struct Window;
  struct Outgoing;

  SendOutcome Send(WindowHandle to, std::uint32_t kind, std::uint32_t message, std::uint32_t wparam,
                   std::uint32_t value, ByteView data, std::chrono::milliseconds limit);
  SendOutcome CallDirect(Window& window, std::uint32_t kind, std::uint32_t message,
                         std::uint32_t wparam, std::uint32_t value, ByteView data);
  SendOutcome Lost(WindowHandle to);
  // Serves this thread's windows until something was served or the time came.
  void ServeWhileWaiting(std::chrono::steady_clock::time_point until);
  std::vector<std::shared_ptr<Window>> OwnWindows();
  std::shared_ptr<Window> FindWindow(WindowHandle handle);
  void BeatAll(const std::vector<std::shared_ptr<Window>>& windows, bool waiting);

  // One round of serving this thread's windows: adds their descriptors to
  // `fds` after `first`, and after the poll serves what they reported.
  struct ServeSet {
    std::vector<std::shared_ptr<Window>> windows;
    std::vector<std::shared_ptr<Connection>> connections;  // nullptr for a listener
    std::vector<Window*> owners;
  };
  ServeSet AddServing(std::vector<::pollfd>& fds);
  // True when something was accepted, read or served.
  bool ServeReported(const ServeSet& set, const std::vector<::pollfd>& fds, std::size_t first);
  void Accept(Window& window);
  bool ReadFrom(Window& window, const std::shared_ptr<Connection>& connection);
  void Dispatch(Window& window, const std::shared_ptr<Connection>& connection);
  void CloseConnection(Window& window, const std::shared_ptr<Connection>& connection);
  void DropStalled(Window& window);

  DesktopBusOptions options_;
  bus::Registry registry_;
  bool usable_ = false;
  std::string refusal_;  // which check refused the directory
  std::optional<bus::ProcessId> self_;
  std::mutex mutex_;  // guards windows_ only; each window is its owner thread's
  std::map<WindowHandle, std::shared_ptr<Window>> windows_;
};

}  // namespace trivane
