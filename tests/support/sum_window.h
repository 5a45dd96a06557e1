#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "base/desktop.h"

namespace trivane::testing {

inline std::int32_t Fnv(ByteView data) {
  std::uint32_t hash = 2166136261u;
  for (const std::uint8_t byte : data) hash = (hash ^ byte) * 16777619u;
  return static_cast<std::int32_t>(hash);
}

// A window for the desktop tests of either system: answers wParam + lParam
// (or what on_message says), and the FNV hash of copy data whose dwData is 7.
class SumWindow : public WindowProcedure {
 public:
  std::int32_t OnMessage(std::uint32_t message, std::uint32_t wparam,
                         std::uint32_t lparam) override {
    ++messages;
    if (on_message) return on_message(message, wparam, lparam);
    return static_cast<std::int32_t>(wparam + lparam);
  }
  std::int32_t OnCopyData(std::uint32_t wparam, std::uint32_t dw_data, ByteView data) override {
    copy_sender = wparam;
    return dw_data == 7 ? Fnv(data) : -1;
  }
  std::atomic<int> messages{0};
  std::atomic<std::uint32_t> copy_sender{0};  // wParam of the last copy data
  std::function<std::int32_t(std::uint32_t, std::uint32_t, std::uint32_t)> on_message;
};

}  // namespace trivane::testing
