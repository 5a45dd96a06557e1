#pragma once

#include <windows.h>

namespace trivane {

// DLGClose: "Close connections" under the caption "Close", with a progress
// bar that only moves (no percentage), above every other window, with no
// cancel and no close button: it stays up until the links are closed.
class CloseWindow {
 public:
  explicit CloseWindow(HWND owner);
  ~CloseWindow();
  CloseWindow(const CloseWindow&) = delete;
  CloseWindow& operator=(const CloseWindow&) = delete;

  void Show(bool shown);
  HWND Handle() const { return window_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND window_ = nullptr;
  HWND bar_ = nullptr;
};

}  // namespace trivane
