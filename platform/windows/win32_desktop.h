#pragma once

#include <windows.h>
// windows.h renames SendMessage to its A or W form, which would rename the
// desktop's own SendMessage wherever this header comes after the desktop's.
#undef SendMessage

#include <string>
#include <vector>

#include "base/desktop.h"

namespace trivane {

// Window messages between programs through user32: hidden top-level windows
// (a message-only window would be invisible to a studio's EnumWindows),
// SendMessageTimeout with "abort if hung" for every send, and IsHungAppWindow
// looked up at run time, as older systems may lack it.
//
// WM_CLOSE to one of our windows, and the end of the session, ask the program
// to stop (TerminationRequested) instead of destroying anything: the front
// end runs its two-phase close; at WM_ENDSESSION it runs inside the message
// (SetCloseToTheEnd).
class Win32Desktop final : public Desktop {
 public:
  Win32Desktop();
  ~Win32Desktop() override;
  Win32Desktop(const Win32Desktop&) = delete;
  Win32Desktop& operator=(const Win32Desktop&) = delete;

  // What the operator is told when a window cannot be made.
  std::string Where() const { return "the Windows desktop"; }

  WindowHandle CreateTopLevelWindow(std::string_view class_name,
                                    WindowProcedure& procedure) override;
  void DestroyTopLevelWindow(WindowHandle window) override;
  std::vector<DesktopWindow> EnumWindows() override;
  SendOutcome SendMessage(WindowHandle to, std::uint32_t message, std::uint32_t wparam,
                          std::uint32_t lparam, std::chrono::milliseconds limit) override;
  SendOutcome SendCopyData(WindowHandle to, std::uint32_t wparam, std::uint32_t dw_data,
                           ByteView data, std::chrono::milliseconds limit) override;
  std::optional<bool> IsHung(WindowHandle window) override;
  void Pump() override;
  void WaitForInput(std::chrono::steady_clock::time_point until) override;

  static HWND ToHwnd(WindowHandle window);
  static WindowHandle FromHwnd(HWND window);

 private:
  using IsHungAppWindowFunction = BOOL(WINAPI*)(HWND);

  SendOutcome Send(WindowHandle to, UINT message, WPARAM wparam, LPARAM lparam,
                   std::chrono::milliseconds limit);

  std::vector<std::wstring> registered_classes_;
  IsHungAppWindowFunction is_hung_ = nullptr;
};

}  // namespace trivane
