#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_io.h"

namespace trivane {

// A top-level window's handle: 32 bits, unique among live windows, and free to
// be reused once its window is gone. Lists of windows sort it as signed.
using WindowHandle = std::int32_t;

inline constexpr std::uint32_t kWmCopyData = 0x004A;

// What a program's window is sent. The desktop calls it only on the thread
// that created the window, while that thread pumps or waits for a send of
// its own; the bytes of a copy-data message are valid during the call only.
class WindowProcedure {
 public:
  virtual ~WindowProcedure() = default;
  virtual std::int32_t OnMessage(std::uint32_t message, std::uint32_t wparam,
                                 std::uint32_t lparam) = 0;
  // WM_COPYDATA: wparam is the sender's window as it gives it.
  virtual std::int32_t OnCopyData(std::uint32_t wparam, std::uint32_t dw_data, ByteView data) = 0;
};

struct DesktopWindow {
  WindowHandle handle = 0;
  std::string class_name;  // up to 255 characters
};

// How a synchronous send ended.
struct SendOutcome {
  enum class Kind {
    kAnswered,  // the receiver served it; result is its answer
    kTimedOut,  // no answer within the limit, or the receiver is hung
    kNoWindow,  // no such window (gone, or never was)
    kFailed,    // the desktop itself could not carry it
  };
  Kind kind = Kind::kAnswered;
  std::int32_t result = 0;

  bool Answered() const { return kind == Kind::kAnswered; }
};

// The window messages between programs on one desktop: what the studio
// channel needs of Windows and nothing more. On Windows it is user32; on
// Linux a local bus of our own (platform/); in tests an in-process fake.
class Desktop {
 public:
  virtual ~Desktop() = default;

  // A top-level window of this program, owned by the calling thread; 0 when
  // the desktop cannot be used.
  virtual WindowHandle CreateTopLevelWindow(std::string_view class_name,
                                            WindowProcedure& procedure) = 0;
  virtual void DestroyTopLevelWindow(WindowHandle window) = 0;

  // Every live top-level window, this program's included, in no set order.
  virtual std::vector<DesktopWindow> EnumWindows() = 0;

  // Synchronous, as SendMessageTimeout with "abort if hung": waits at most
  // `limit` for the answer, and not at all for a hung receiver. While it
  // waits, messages sent to the calling thread's windows are served, so two
  // programs sending to each other at once do not block each other.
  virtual SendOutcome SendMessage(WindowHandle to, std::uint32_t message, std::uint32_t wparam,
                                  std::uint32_t lparam, std::chrono::milliseconds limit) = 0;
  virtual SendOutcome SendCopyData(WindowHandle to, std::uint32_t wparam, std::uint32_t dw_data,
                                   ByteView data, std::chrono::milliseconds limit) = 0;

  // IsHungAppWindow: the window's thread has not served its messages for 5 s.
  // Nothing when this desktop cannot tell.
  virtual std::optional<bool> IsHung(WindowHandle window) = 0;

  // Serves what has been sent to the calling thread's windows, without waiting.
  virtual void Pump() = 0;
  // Waits until something is sent to the calling thread's windows or the time
  // comes, whichever is first; a signal ends the wait too. Serves nothing.
  virtual void WaitForInput(std::chrono::steady_clock::time_point until) = 0;
};

}  // namespace trivane
