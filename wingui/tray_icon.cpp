#include "wingui/tray_icon.h"

#include <algorithm>

namespace trivane {

TrayIcon::TrayIcon(HWND owner, UINT callback_message, HICON icon)
    : owner_(owner),
      callback_message_(callback_message),
      icon_(icon),
      taskbar_created_(RegisterWindowMessageW(L"TaskbarCreated")) {}

TrayIcon::~TrayIcon() {
  Show(false);
}

NOTIFYICONDATAW TrayIcon::Data() const {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof data;
  data.hWnd = owner_;
  data.uID = 1;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = callback_message_;
  data.hIcon = icon_;
  const std::size_t length = std::min(hint_.size(), std::size(data.szTip) - 1);
  std::copy_n(hint_.c_str(), length, data.szTip);
  return data;
}

void TrayIcon::SetHint(const std::wstring& hint) {
  hint_ = hint;
  if (!shown_) return;
  NOTIFYICONDATAW data = Data();
  Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayIcon::Show(bool shown) {
  if (shown == shown_) return;
  NOTIFYICONDATAW data = Data();
  if (shown) {
    Shell_NotifyIconW(NIM_ADD, &data);
    data.uVersion = NOTIFYICON_VERSION_4;
    Shell_NotifyIconW(NIM_SETVERSION, &data);
  } else {
    Shell_NotifyIconW(NIM_DELETE, &data);
  }
  shown_ = shown;
}

void TrayIcon::Restore() {
  if (!shown_) return;
  shown_ = false;
  Show(true);
}

bool TrayIcon::IsSelect(LPARAM callback) {
  // Version 4 puts the event in the low word.
  const UINT event = LOWORD(callback);
  return event == NIN_SELECT || event == NIN_KEYSELECT || event == WM_LBUTTONUP;
}

}  // namespace trivane
