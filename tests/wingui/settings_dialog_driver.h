#pragma once

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "settings/run_key_store.h"
#include "settings/settings.h"
#include "wingui/resource_ids.h"
#include "wingui/settings_dialog.h"

namespace trivane::testing {

// The settings dialog on a thread of its own, driven from the test's thread by
// window messages only, as an operator's clicks and keys reach it. Every
// message has a time limit, so a dialog that stops answering fails the test
// instead of hanging it.
class SettingsDialogDriver {
 public:
  static constexpr const char* kExePath = "C:\\Programs\\Veltora Trivane\\trivane.exe";

  SettingsDialogDriver(TSettings& record, const std::filesystem::path& ini, RunKeyStore& run_keys)
      : thread_([this, &record, ini, &run_keys] {
          thread_id_ = GetCurrentThreadId();
          saved_ = ShowSettingsDialog(nullptr, record, ini, run_keys, kExePath);
          closed_ = true;
        }) {
    dialog_ = WaitForWindow([](HWND window) {
      return IsDialog(window) && GetWindow(window, GW_OWNER) == nullptr && IsWindowVisible(window);
    });
    EXPECT_NE(dialog_, nullptr) << "the dialog did not come up";
  }

  ~SettingsDialogDriver() {
    while (!closed_) {
      // Whatever box is up, or the dialog cannot end.
      if (const HWND box = FindWindowOfDialog([this](HWND window) { return OwnedBox(window); })) {
        PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
      const HWND dialog = dialog_ != nullptr ? dialog_ : FindWindowOfDialog(&IsDialog);
      if (dialog != nullptr) PostMessageW(dialog, WM_CLOSE, 0, 0);
      Sleep(10);
    }
    thread_.join();
  }

  SettingsDialogDriver(const SettingsDialogDriver&) = delete;
  SettingsDialogDriver& operator=(const SettingsDialogDriver&) = delete;

  HWND Dialog() const { return dialog_; }
  HWND Item(int id) const { return GetDlgItem(dialog_, id); }

  LRESULT Send(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) const {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, 5000, &result)) {
      ADD_FAILURE() << "no answer to message " << message;
    }
    return static_cast<LRESULT>(result);
  }

  std::wstring TextOf(HWND window) const {
    std::wstring text(static_cast<std::size_t>(Send(window, WM_GETTEXTLENGTH)), L'\0');
    Send(window, WM_GETTEXT, text.size() + 1, reinterpret_cast<LPARAM>(text.data()));
    return text;
  }
  std::wstring Text(int id) const { return TextOf(Item(id)); }
  bool Shown(int id) const { return IsWindowVisible(Item(id)) != FALSE; }
  bool Checked(int id) const { return Send(Item(id), BM_GETCHECK) == BST_CHECKED; }

  void Click(int id) const { Send(Item(id), BM_CLICK); }
  // WM_SETTEXT makes the edit tell its dialog EN_CHANGE, as typing does.
  void Type(int id, const std::wstring& text) const {
    Send(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  void SelectTab(int tab) const {
    const HWND tabs = Item(IDC_TABSRCIP);
    Send(tabs, TCM_SETCURSEL, tab);
    NMHDR change{tabs, IDC_TABSRCIP, TCN_SELCHANGE};
    Send(dialog_, WM_NOTIFY, IDC_TABSRCIP, reinterpret_cast<LPARAM>(&change));
  }
  // As the Tab key moves the focus.
  void Focus(int id) const { Send(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), 1); }

  std::wstring Hint(int id) const {
    const HWND tips = WaitForWindow([this](HWND window) {
      return ClassOf(window) == TOOLTIPS_CLASSW && GetWindow(window, GW_OWNER) == dialog_;
    });
    wchar_t hint[256] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = dialog_;
    tool.uId = reinterpret_cast<UINT_PTR>(Item(id));
    tool.lpszText = hint;
    Send(tips, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
    return hint;
  }

  // Clicks the button and, from the error box it brings up, returns the text
  // after pressing OK; empty when no box came.
  std::wstring ErrorAfterClick(int id) const {
    PostMessageW(Item(id), BM_CLICK, 0, 0);  // the box holds its click until it is closed
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = ErrorBox()) != nullptr; })) return {};
    std::wstring message;
    EnumChildWindows(box, &AddStaticText, reinterpret_cast<LPARAM>(&message));
    Send(GetDlgItem(box, IDOK), BM_CLICK);
    WaitFor([box] { return !IsWindow(box); });
    return message;
  }

  // Whether the dialog closed by a successful Save; nothing while it is still open.
  std::optional<bool> Result() const {
    WaitFor([this] { return closed_.load(); });
    return closed_ ? std::optional<bool>(saved_) : std::nullopt;
  }

 private:
  static bool WaitFor(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      Sleep(10);
    }
    return true;
  }

  static std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
  }

  static bool IsDialog(HWND window) { return ClassOf(window) == L"#32770"; }

  // A message box's text is its one static that is no icon.
  static BOOL CALLBACK AddStaticText(HWND child, LPARAM message) {
    const LONG type = GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK;
    if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0 && type != SS_ICON) {
      wchar_t text[512] = {};
      GetWindowTextW(child, text, 512);
      *reinterpret_cast<std::wstring*>(message) += text;
    }
    return TRUE;
  }

  struct Search {
    const std::function<bool(HWND)>& match;
    HWND found = nullptr;
  };

  static BOOL CALLBACK Match(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<Search*>(data);
    if (!search.match(window)) return TRUE;
    search.found = window;
    return FALSE;
  }

  // A top-level window of the dialog's thread.
  HWND FindWindowOfDialog(const std::function<bool(HWND)>& match) const {
    Search search{match};
    EnumThreadWindows(thread_id_, &Match, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  HWND WaitForWindow(const std::function<bool(HWND)>& match) const {
    HWND found = nullptr;
    WaitFor([&] { return thread_id_ != 0 && (found = FindWindowOfDialog(match)) != nullptr; });
    return found;
  }

  bool OwnedBox(HWND window) const {
    return IsDialog(window) && GetWindow(window, GW_OWNER) == dialog_;
  }

  HWND ErrorBox() const {
    return FindWindowOfDialog([this](HWND window) {
      wchar_t caption[16] = {};
      GetWindowTextW(window, caption, 16);
      return OwnedBox(window) && std::wstring(caption) == L"Error";
    });
  }

  std::atomic<DWORD> thread_id_{0};
  std::atomic<bool> closed_{false};
  std::atomic<bool> saved_{false};
  HWND dialog_ = nullptr;
  std::thread thread_;
};

}  // namespace trivane::testing
