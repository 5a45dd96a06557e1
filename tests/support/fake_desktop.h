#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/desktop.h"

namespace trivane::testing {

// One in-process desktop: a send calls the receiver's procedure at once, as a
// send between two windows of one thread does. Windows can be made hung or
// silent, handles reused by another class, and the hung check switched off.
class FakeDesktop : public Desktop {
 public:
  struct Sent {
    WindowHandle to;
    std::uint32_t message;  // kWmCopyData for copy data
    std::uint32_t wparam;
    std::uint32_t value;  // lParam, or dwData
    Bytes data;
  };

  WindowHandle CreateTopLevelWindow(std::string_view class_name,
                                    WindowProcedure& procedure) override {
    const WindowHandle handle = next_handle_++;
    windows_[handle] = Window{std::string(class_name), &procedure};
    return handle;
  }
  void DestroyTopLevelWindow(WindowHandle window) override { windows_.erase(window); }

  // A window of another program, with or without a procedure of its own.
  WindowHandle AddWindow(std::string class_name, WindowProcedure* procedure = nullptr) {
    const WindowHandle handle = next_handle_++;
    windows_[handle] = Window{std::move(class_name), procedure};
    return handle;
  }
  // The handle of a window that is gone, now given to a window of another class.
  void Reuse(WindowHandle handle, std::string class_name, WindowProcedure* procedure = nullptr) {
    windows_[handle] = Window{std::move(class_name), procedure};
  }
  void SetHung(WindowHandle window, bool hung) { windows_.at(window).hung = hung; }
  // Served, but never answered in time.
  void SetSilent(WindowHandle window, bool silent) { windows_.at(window).silent = silent; }

  std::vector<DesktopWindow> EnumWindows() override {
    ++enumerations;
    std::vector<DesktopWindow> list;
    for (const auto& [handle, window] : windows_) list.push_back({handle, window.class_name});
    return list;
  }

  SendOutcome SendMessage(WindowHandle to, std::uint32_t message, std::uint32_t wparam,
                          std::uint32_t lparam, std::chrono::milliseconds /*limit*/) override {
    sent.push_back({to, message, wparam, lparam, {}});
    return Deliver(to, [&](WindowProcedure& procedure) {
      return procedure.OnMessage(message, wparam, lparam);
    });
  }
  SendOutcome SendCopyData(WindowHandle to, std::uint32_t wparam, std::uint32_t dw_data,
                           ByteView data, std::chrono::milliseconds /*limit*/) override {
    sent.push_back({to, kWmCopyData, wparam, dw_data, Bytes(data.begin(), data.end())});
    return Deliver(to, [&](WindowProcedure& procedure) {
      return procedure.OnCopyData(wparam, dw_data, data);
    });
  }

  std::optional<bool> IsHung(WindowHandle window) override {
    if (!can_tell_hung) return std::nullopt;
    const auto it = windows_.find(window);
    return it != windows_.end() && it->second.hung;
  }
  void Pump() override {}
  void WaitForInput(std::chrono::steady_clock::time_point /*until*/) override {}

  std::vector<WindowHandle> SentTo(std::uint32_t message) const {
    std::vector<WindowHandle> to;
    for (const Sent& s : sent) {
      if (s.message == message) to.push_back(s.to);
    }
    return to;
  }

  std::vector<Sent> sent;
  int enumerations = 0;
  bool can_tell_hung = true;

 private:
  struct Window {
    std::string class_name;
    WindowProcedure* procedure = nullptr;
    bool hung = false;
    bool silent = false;
  };

  SendOutcome Deliver(WindowHandle to, const std::function<std::int32_t(WindowProcedure&)>& call) {
    const auto it = windows_.find(to);
    if (it == windows_.end()) return {SendOutcome::Kind::kNoWindow, 0};
    if (it->second.hung || it->second.silent) return {SendOutcome::Kind::kTimedOut, 0};
    if (it->second.procedure == nullptr) return {SendOutcome::Kind::kAnswered, 0};
    return {SendOutcome::Kind::kAnswered, call(*it->second.procedure)};
  }

  std::map<WindowHandle, Window> windows_;
  WindowHandle next_handle_ = 0x10010;
};

// A window that records what it is sent; `during_copy_data` runs inside each
// copy-data message, to play a peer that acts while the sender waits.
class RecordingWindow : public WindowProcedure {
 public:
  std::int32_t OnMessage(std::uint32_t message, std::uint32_t wparam,
                         std::uint32_t lparam) override {
    messages.push_back({message, wparam, lparam});
    return answer;
  }
  std::int32_t OnCopyData(std::uint32_t wparam, std::uint32_t dw_data, ByteView data) override {
    copies.push_back({wparam, dw_data, Bytes(data.begin(), data.end())});
    if (during_copy_data) during_copy_data();
    return 0;
  }

  struct Message {
    std::uint32_t message, wparam, lparam;
  };
  struct Copy {
    std::uint32_t wparam, dw_data;
    Bytes data;
  };
  std::vector<Message> messages;
  std::vector<Copy> copies;
  std::int32_t answer = 0;
  std::function<void()> during_copy_data;
};

}  // namespace trivane::testing
