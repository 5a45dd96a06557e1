#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace trivane {

struct TIPPortSett {
  std::string Host;  // empty = not configured
  std::uint16_t Port = 0;
  std::string Password;  // used for the online server only

  bool operator==(const TIPPortSett&) const = default;
};

// SrcMode values.
inline constexpr std::int32_t kSrcStudio = 0;
inline constexpr std::int32_t kSrcTcp = 1;

// DstMode bits; consumers test the low byte only.
inline constexpr std::int32_t kDstStudio = 1;
inline constexpr std::int32_t kDstServer = 2;
inline constexpr std::int32_t kDstOnline = 4;

inline constexpr std::uint16_t kDefaultServerPort = 9999;
inline constexpr std::uint32_t kDefaultServerMaxPeers = 64;
inline constexpr std::uint32_t kMaxServerMaxPeers = 100'000;
inline constexpr int kSourceCount = 4;

struct TSettings {
  std::int16_t PID = 0;
  std::int32_t SrcMode = kSrcStudio;
  std::int32_t DstMode = 0;
  bool Tray = false;
  bool IgnoreDelay = false;
  bool ShowPlaylist = false;
  std::array<TIPPortSett, kSourceCount> SrcIP;
  TIPPortSett OnlineIP;
  std::uint16_t ServerPort = 0;  // 9999 once loaded without a key
  // Who reaches the chain server, kept in the file only (the dialog leaves
  // them as they are): the address it listens on (empty: every address),
  // the addresses and ranges allowed (empty: anyone), and how many peers at
  // most (0: no cap).
  std::string ServerBind;
  std::string ServerAllow;
  std::uint32_t ServerMaxPeers = kDefaultServerMaxPeers;

  bool HasDestination(std::int32_t bit) const { return (DstMode & 0xFF & bit) != 0; }

  bool operator==(const TSettings&) const = default;
};

// The whole configuration the program reads at start: the record, plus the
// switch for the hand-send test panel, which is read but never written back.
struct SettingsState {
  TSettings settings;
  bool Author = false;
};

}  // namespace trivane
