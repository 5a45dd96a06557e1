#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <variant>

#include "platform/system_clock.h"
#include "platform/termination_signals.h"
#include "protocols/records.h"
#include "studio/win_msg_channel.h"
#include "tools/commands.h"
#include "tools/message_text.h"
#include "tools/unit_builders.h"

namespace trivane::sim {
namespace {

using Steady = std::chrono::steady_clock;

// A running relay serves its window between two ticks of a few ms each; a
// second is ample for it, and short enough that a hung one is soon given up.
constexpr std::chrono::milliseconds kSendLimit{1000};
// A desktop whose wait a signal cannot end still sees a stop this soon.
constexpr std::chrono::milliseconds kLongestWait{100};
// The relay takes copy data only below 65535 bytes; a notice is kept to what
// it takes, while --message may go beyond to try that limit.
constexpr std::size_t kMaxNoticePayload = 65534;

std::string Hex32(std::uint32_t value) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08x", value);
  return text;
}

std::string Why(SendOutcome::Kind kind) {
  switch (kind) {
    case SendOutcome::Kind::kAnswered:
      return "answered";
    case SendOutcome::Kind::kTimedOut:
      return "no answer in time, or the window is hung";
    case SendOutcome::Kind::kNoWindow:
      return "no such window";
    case SendOutcome::Kind::kFailed:
      return "the desktop could not carry it";
  }
  return "unknown";
}

struct Outgoing {
  std::uint16_t num = 0;
  Bytes payload;
  bool wall_clock = false;  // the payload is the clock at the moment it goes out
};

class OutgoingBuilder {
 public:
  OutgoingBuilder(const TextCodec& codepage, std::vector<Outgoing>& out)
      : codepage_(codepage), out_(out) {}

  void operator()(const Vl3RegionUnit& unit) {
    out_.push_back({msg_num::kRegionBlock,
                    RegionBlockPayload(unit.size_ms, unit.over_ms, unit.extra_ms), false});
  }
  void operator()(const Vl3NoticeUnit& unit) {
    const std::string wire = codepage_.ToWire(unit.text);
    if (wire.size() > kMaxNoticePayload - TBlockNotice::kHeaderSize) {
      throw SimFailure(SimFailure::kBadArguments, "--notice: the text is too long");
    }
    out_.push_back(
        {msg_num::kBlockNotice, BlockNoticePayload(unit.kind, unit.size_ms, wire), false});
  }
  void operator()(const ClockUnit& unit) {
    out_.push_back({msg_num::kClock, ClockPayload(unit.value.value_or(0)), !unit.value});
  }
  void operator()(const Vl3MessageUnit& unit) { out_.push_back({unit.num, unit.payload, false}); }

 private:
  const TextCodec& codepage_;
  std::vector<Outgoing>& out_;
};

// Built before any window opens, so a text that cannot go out ends the program
// before a relay has seen a hello.
std::vector<Outgoing> BuildOutgoing(const std::vector<StudioRecipe>& recipes,
                                    const TextCodec& codepage) {
  std::vector<Outgoing> outgoing;
  OutgoingBuilder builder(codepage, outgoing);
  for (const StudioRecipe& recipe : recipes) std::visit(builder, recipe);
  return outgoing;
}

// The studio's own window: prints whatever the relay sends it and remembers
// the relays that said goodbye, so nothing more is sent to them.
class StudioWindow final : public WindowProcedure {
 public:
  StudioWindow(const TextCodec& codepage, const LineSink& out) : codepage_(codepage), out_(out) {}

  std::int32_t OnMessage(std::uint32_t message, std::uint32_t wparam,
                         std::uint32_t lparam) override {
    const auto from = static_cast<WindowHandle>(wparam);
    const auto high = static_cast<std::uint16_t>(lparam >> 16);
    const auto low = static_cast<std::uint16_t>(lparam & 0xFFFF);
    // Every low half but hello and the identity query means goodbye, as the
    // relay itself reads them.
    if (message == TWinMSG::WM_PEER_CMD && high == TWinMSG::PEER_MARKER && low != TWinMSG::kHello &&
        low != TWinMSG::kIdentityQuery) {
      said_goodbye_.insert(from);
      out_("goodbye from " + std::to_string(from));
      return 0;
    }
    out_("MESSAGE msg=" + std::to_string(message) + " wparam=" + std::to_string(from) +
         " lparam=" + Hex32(lparam));
    return 0;
  }

  std::int32_t OnCopyData(std::uint32_t wparam, std::uint32_t dw_data, ByteView data) override {
    out_("COPYDATA from=" + std::to_string(static_cast<WindowHandle>(wparam)) + " " +
         DescribeMessage(static_cast<std::uint16_t>(dw_data >> 16),
                         static_cast<std::uint16_t>(dw_data & 0xFFFF), data, codepage_));
    return 1;
  }

  bool SaidGoodbye(WindowHandle window) const { return said_goodbye_.contains(window); }

 private:
  const TextCodec& codepage_;
  const LineSink& out_;
  std::set<WindowHandle> said_goodbye_;
};

// Destroys the studio's window on every way out, a thrown failure included,
// so a relay never keeps a peer whose program has ended.
class OwnWindow {
 public:
  OwnWindow(Desktop& desktop, WindowHandle handle) : desktop_(desktop), handle_(handle) {}
  ~OwnWindow() { desktop_.DestroyTopLevelWindow(handle_); }
  OwnWindow(const OwnWindow&) = delete;
  OwnWindow& operator=(const OwnWindow&) = delete;

 private:
  Desktop& desktop_;
  WindowHandle handle_;
};

// Sorted, so the lines come in the same order on every run.
std::vector<WindowHandle> FindRelays(Desktop& desktop, const StudioOptions& options,
                                     WindowHandle own) {
  std::vector<WindowHandle> relays;
  for (const DesktopWindow& window : desktop.EnumWindows()) {
    if (window.handle == own) continue;
    const bool wanted =
        options.window ? window.handle == *options.window : window.class_name == kRelayWindowClass;
    if (wanted) relays.push_back(window.handle);
  }
  std::sort(relays.begin(), relays.end());
  if (relays.empty()) {
    throw SimFailure(SimFailure::kRuntime, options.window
                                               ? "no window " + std::to_string(*options.window)
                                               : std::string("no relay window (class ") +
                                                     kRelayWindowClass + ") on the desktop");
  }
  return relays;
}

class Studio {
 public:
  Studio(Desktop& desktop, WindowHandle own, const StudioWindow& window, const LineSink& out)
      : desktop_(desktop), own_(own), window_(window), out_(out) {}

  static bool Stopping() { return TerminationRequested(); }

  void Hello(const std::vector<WindowHandle>& relays) {
    for (const WindowHandle relay : relays) {
      if (Stopping()) return;
      greeted_.push_back(relay);
      Command(relay, TWinMSG::kHello, "hello " + std::to_string(relay));
    }
  }

  void QueryIdentities() {
    for (const WindowHandle relay : Reachable()) {
      if (Stopping()) return;
      const SendOutcome outcome = Command(relay, TWinMSG::kIdentityQuery, "");
      if (outcome.Answered()) {
        out_("pid " + std::to_string(relay) + " " + std::to_string(outcome.result));
      } else {
        out_("failed pid " + std::to_string(relay) + ": " + Why(outcome.kind));
      }
    }
  }

  // Serves the window until the time comes or a stop is asked for.
  void ServeUntil(Steady::time_point until) {
    for (;;) {
      desktop_.Pump();
      if (Stopping()) return;
      const auto now = Steady::now();
      if (now >= until) return;
      desktop_.WaitForInput(std::min(until, now + kLongestWait));
    }
  }

  void Send(const std::vector<Outgoing>& outgoing) {
    SystemClock clock;
    for (const Outgoing& message : outgoing) {
      const Bytes payload = message.wall_clock ? ClockPayload(clock.Now()) : message.payload;
      const std::uint32_t dw_data = (static_cast<std::uint32_t>(kOwnMsgType) << 16) | message.num;
      for (const WindowHandle relay : Reachable()) {
        if (Stopping()) return;
        const std::string what = std::to_string(relay) + " type=" + std::to_string(kOwnMsgType) +
                                 " num=" + std::to_string(message.num) +
                                 " len=" + std::to_string(payload.size());
        const SendOutcome outcome = desktop_.SendCopyData(relay, static_cast<std::uint32_t>(own_),
                                                          dw_data, payload, kSendLimit);
        out_(outcome.Answered() ? "sent " + what
                                : "failed send " + what + ": " + Why(outcome.kind));
      }
    }
  }

  void Goodbye() {
    for (const WindowHandle relay : Reachable()) {
      Command(relay, TWinMSG::kGoodbye, "goodbye " + std::to_string(relay));
    }
  }

 private:
  // Greeted and not gone; worked out afresh for each loop, as a goodbye may
  // be served while any send waits.
  std::vector<WindowHandle> Reachable() const {
    std::vector<WindowHandle> reachable;
    for (const WindowHandle relay : greeted_) {
      if (!window_.SaidGoodbye(relay)) reachable.push_back(relay);
    }
    return reachable;
  }

  // Prints `done` when answered and it is not empty, the failure otherwise.
  SendOutcome Command(WindowHandle relay, std::uint16_t low, const std::string& done) {
    const std::uint32_t lparam = (static_cast<std::uint32_t>(TWinMSG::PEER_MARKER) << 16) | low;
    const SendOutcome outcome = desktop_.SendMessage(
        relay, TWinMSG::WM_PEER_CMD, static_cast<std::uint32_t>(own_), lparam, kSendLimit);
    if (outcome.Answered()) {
      if (!done.empty()) out_(done);
    } else if (!done.empty()) {
      out_("failed " + done + ": " + Why(outcome.kind));
    }
    return outcome;
  }

  Desktop& desktop_;
  WindowHandle own_;
  const StudioWindow& window_;
  const LineSink& out_;
  std::vector<WindowHandle> greeted_;
};

}  // namespace

int RunStudio(const StudioOptions& options, const TextCodec& codepage, const LineSink& out,
              Desktop& desktop) {
  const std::vector<Outgoing> outgoing = BuildOutgoing(options.messages, codepage);
  StudioWindow procedure(codepage, out);
  const WindowHandle own = desktop.CreateTopLevelWindow(options.window_class, procedure);
  if (own == 0) {
    throw SimFailure(SimFailure::kRuntime, "the desktop cannot be used: no window could be made");
  }
  const OwnWindow own_window(desktop, own);
  out("window " + std::to_string(own));

  Studio studio(desktop, own, procedure, out);
  studio.Hello(FindRelays(desktop, options, own));
  if (options.pid_query) studio.QueryIdentities();
  if (!outgoing.empty() && !Studio::Stopping()) {
    studio.ServeUntil(Steady::now() + std::chrono::milliseconds(options.admit_wait_ms));
    studio.Send(outgoing);
  }
  if (options.hang_ms > 0 && !Studio::Stopping()) {
    out("hanging " + std::to_string(options.hang_ms) + " ms");
    SleepUntilDeadlineOrSignal(Steady::now() + std::chrono::milliseconds(options.hang_ms));
    out("serving again");
  }
  if (options.receive_ms > 0 && !Studio::Stopping()) {
    studio.ServeUntil(Steady::now() + std::chrono::milliseconds(options.receive_ms));
  }
  if (options.vanish) {
    out("vanished");
  } else {
    studio.Goodbye();
  }
  return 0;
}

}  // namespace trivane::sim
