#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "base/desktop.h"
#include "platform/linux/desktop_bus.h"

namespace trivane::testing {

// A studio window on a private desktop bus. A relay started while it exists
// joins the same bus through the TRIVANE_BUS_DIR it inherits.
class BusStudio {
 public:
  static constexpr std::uint32_t kPeerCommand = 2102;
  static constexpr std::uint32_t kHello = 0x7FFF0000;
  static constexpr std::uint32_t kIdentityQuery = 0x7FFF7FFF;

  BusStudio(const std::filesystem::path& bus_dir, WindowProcedure& procedure)
      : bus_dir_(bus_dir.string()),
        environment_(bus_dir_),
        bus_(DesktopBusOptions{.directory = bus_dir_}),
        window_(bus_.CreateTopLevelWindow("TStudio3", procedure)) {}
  ~BusStudio() {
    if (window_ != 0) bus_.DestroyTopLevelWindow(window_);
  }
  BusStudio(const BusStudio&) = delete;
  BusStudio& operator=(const BusStudio&) = delete;

  DesktopBus& Bus() { return bus_; }
  WindowHandle Window() const { return window_; }
  bool Usable() const { return bus_.Usable() && window_ != 0; }

  // Gone without a goodbye, as a crashed studio goes.
  void Vanish() {
    bus_.DestroyTopLevelWindow(window_);
    window_ = 0;
  }
  // A new window of the studio's class in its place.
  WindowHandle Reopen(WindowProcedure& procedure) {
    if (window_ != 0) bus_.DestroyTopLevelWindow(window_);
    window_ = bus_.CreateTopLevelWindow("TStudio3", procedure);
    return window_;
  }

  // The relay's main window, once it has registered it; 0 when it did not.
  WindowHandle RelayWindow(std::chrono::milliseconds limit = std::chrono::seconds(10),
                           std::chrono::milliseconds poll = std::chrono::milliseconds(20)) {
    const auto until = Clock::now() + limit;
    while (Clock::now() < until) {
      for (const DesktopWindow& window : bus_.EnumWindows()) {
        if (window.class_name == "TVL_Trivane") return window.handle;
      }
      std::this_thread::sleep_for(poll);
    }
    return 0;
  }

  // The relay's window once its studio link answers with the PID the relay's
  // settings give.
  WindowHandle ReadyRelayWindow(std::int32_t pid) {
    const WindowHandle window = RelayWindow();
    const auto until = Clock::now() + std::chrono::seconds(10);
    while (window != 0 && Clock::now() < until) {
      if (IdentityOf(window) == pid) return window;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
  }

  SendOutcome Identity(WindowHandle relay) {
    return bus_.SendMessage(relay, kPeerCommand, static_cast<std::uint32_t>(window_),
                            kIdentityQuery, std::chrono::seconds(1));
  }

  // Hello, and time for the relay's next scan to admit it.
  bool SayHello(WindowHandle relay) {
    const bool answered = bus_.SendMessage(relay, kPeerCommand, static_cast<std::uint32_t>(window_),
                                           kHello, std::chrono::seconds(1))
                              .Answered();
    Pump(std::chrono::milliseconds(300));
    return answered;
  }

  SendOutcome SendCopyData(WindowHandle relay, std::uint32_t dw_data, ByteView data) {
    return bus_.SendCopyData(relay, static_cast<std::uint32_t>(window_), dw_data, data,
                             std::chrono::seconds(1));
  }

  // Serves the studio's window until done() holds; false when the limit came
  // first.
  template <typename Predicate>
  bool PumpUntil(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto until = Clock::now() + limit;
    while (!done()) {
      if (Clock::now() >= until) return false;
      bus_.WaitForInput(std::min(until, Clock::now() + std::chrono::milliseconds(20)));
      bus_.Pump();
    }
    return true;
  }
  void Pump(std::chrono::milliseconds period) {
    PumpUntil([] { return false; }, period);
  }

 private:
  using Clock = std::chrono::steady_clock;

  std::int32_t IdentityOf(WindowHandle relay) {
    const SendOutcome identity = Identity(relay);
    return identity.Answered() ? identity.result : -1;
  }

  // Set before the bus exists and the relay starts, cleared after both.
  struct Environment {
    explicit Environment(const std::string& dir) { setenv("TRIVANE_BUS_DIR", dir.c_str(), 1); }
    ~Environment() { unsetenv("TRIVANE_BUS_DIR"); }
  };

  std::string bus_dir_;
  Environment environment_;
  DesktopBus bus_;
  WindowHandle window_;
};

}  // namespace trivane::testing
