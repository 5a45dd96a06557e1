#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>

namespace trivane {

// The icon in the notification area, with the application title as its hint.
// Clicks come to the owner window as `callback_message`; the icon comes back
// when Explorer starts again (the owner passes on "TaskbarCreated").
class TrayIcon {
 public:
  TrayIcon(HWND owner, UINT callback_message, HICON icon);
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  void SetHint(const std::wstring& hint);
  void Show(bool shown);
  bool Shown() const { return shown_; }
  // Explorer has started again and knows no icon of ours.
  void Restore();
  // True when the owner's message is Explorer's "TaskbarCreated".
  bool IsTaskbarCreated(UINT message) const { return message == taskbar_created_; }
  // True when a callback means the operator chose the icon (a click or the
  // keyboard's select).
  static bool IsSelect(LPARAM callback);

 private:
  NOTIFYICONDATAW Data() const;

  HWND owner_;
  UINT callback_message_;
  HICON icon_;
  std::wstring hint_;
  bool shown_ = false;
  UINT taskbar_created_ = 0;
};

}  // namespace trivane
