#pragma once

#include <cstdint>
#include <string_view>

#include "base/desktop.h"
#include "studio/studio_link.h"

namespace trivane {

// The relay's main window on a desktop: the class name a studio looks for,
// and the two channel messages it receives handed to the studio link. A
// window front end with a window of its own forwards the same two instead.
class RelayMainWindow final : public WindowProcedure {
 public:
  static constexpr std::string_view kClassName = "TVL_Trivane";

  // Registers the window; Handle() is 0 when the desktop cannot be used.
  explicit RelayMainWindow(Desktop& desktop);
  // A window the front end made of this class itself, and destroys itself;
  // its procedure hands the two channel messages to this one.
  RelayMainWindow(Desktop& desktop, WindowHandle adopted);
  ~RelayMainWindow() override;

  RelayMainWindow(const RelayMainWindow&) = delete;
  RelayMainWindow& operator=(const RelayMainWindow&) = delete;

  WindowHandle Handle() const { return handle_; }
  // Until a link is attached (or after it is detached with nullptr), every
  // message is answered 0, as without a channel.
  void Attach(DesktopStudioLink* link) { link_ = link; }

  std::int32_t OnMessage(std::uint32_t message, std::uint32_t wparam,
                         std::uint32_t lparam) override;
  std::int32_t OnCopyData(std::uint32_t wparam, std::uint32_t dw_data, ByteView data) override;

 private:
  Desktop& desktop_;
  WindowHandle handle_ = 0;
  bool owned_ = true;
  DesktopStudioLink* link_ = nullptr;
};

}  // namespace trivane
