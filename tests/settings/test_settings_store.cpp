#include <gtest/gtest.h>

#include "settings/settings_store.h"
#include "support/temp_dir.h"

namespace trivane {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;
using namespace std::string_literals;

SettingsState LoadFrom(const std::filesystem::path& ini) {
  SettingsState state;
  state.settings.PID = 123;  // must be overwritten, not merged
  Load_Settings(ini, state);
  return state;
}

SettingsState LoadText(const TempDir& dir, const std::string& body) {
  WriteFileBytes(dir / "t.ini", "[Settings]\r\n" + body);
  return LoadFrom(dir / "t.ini");
}

TSettings FullSettings() {
  TSettings s;
  s.PID = -32768;
  s.SrcMode = kSrcTcp;
  s.DstMode = kDstStudio | kDstServer | kDstOnline;
  s.Tray = s.ShowPlaylist = true;
  s.SrcIP[0] = {"10.0.0.1", 2102, ""};
  s.SrcIP[2] = {"studio-b", 0, "unused:pw"};
  s.OnlineIP = {"online.example", 443, "p:a:ss"};
  s.ServerPort = 65535;
  return s;
}

TEST(SettingsLoad, NoFileOrGarbageGivesDefaults) {
  TempDir dir;
  TSettings expected;
  expected.ServerPort = kDefaultServerPort;
  EXPECT_EQ(LoadFrom(dir / "none.ini").settings, expected);
  EXPECT_EQ(LoadFrom(dir.path()).settings, expected);
  WriteFileBytes(dir / "bin.ini", "\0\xff\xfe[Settings\n=\nPID\x80=1\n\x80"s);
  EXPECT_EQ(LoadFrom(dir / "bin.ini").settings, expected);
}

TEST(SettingsLoad, IntegersOutsideTheirFieldOrMalformedUseDefaults) {
  TempDir dir;
  const std::pair<std::string, std::int16_t> pids[] = {
      {"-32768", -32768}, {"32767", 32767}, {"+7", 7},     {"$1F", 31},  {"0x10", 16},
      {"-$10", -16},      {"32768", 0},     {"-32769", 0}, {"12abc", 0}, {"", 0},
      {"1 2", 0},         {"$", 0},         {"--1", 0}};
  for (const auto& [text, pid] : pids) {
    EXPECT_EQ(LoadText(dir, "PID=" + text).settings.PID, pid) << text;
  }
  const std::pair<std::string, std::uint16_t> ports[] = {
      {"0", 0}, {"65535", 65535}, {"65536", 9999}, {"-1", 9999}, {"x", 9999}};
  for (const auto& [text, port] : ports) {
    EXPECT_EQ(LoadText(dir, "ServerPort=" + text).settings.ServerPort, port) << text;
  }
  const std::pair<std::string, std::int32_t> modes[] = {{"2147483647", 2147483647},
                                                        {"-2147483648", -2147483647 - 1},
                                                        {"2147483648", 0},
                                                        {"$FFFFFFFF", 0}};
  for (const auto& [text, mode] : modes) {
    EXPECT_EQ(LoadText(dir, "DstMode=" + text).settings.DstMode, mode) << text;
  }
  const std::pair<std::string, std::uint32_t> caps[] = {
      {"0", 0}, {"100000", 100000}, {"100001", 64}, {"-1", 64}, {"", 64}};
  for (const auto& [text, cap] : caps) {
    EXPECT_EQ(LoadText(dir, "ServerMaxPeers=" + text).settings.ServerMaxPeers, cap) << text;
  }
  const SettingsState flags = LoadText(dir, "Tray=-1\nIgnoreDelay=0\nShowPlaylist=2\nAuthor=yes\n");
  EXPECT_TRUE(flags.settings.Tray);
  EXPECT_FALSE(flags.settings.IgnoreDelay);
  EXPECT_TRUE(flags.settings.ShowPlaylist);
  EXPECT_FALSE(flags.Author);
}

TEST(SettingsSave, FreshFileInKeyOrderAndRoundTrip) {
  TempDir dir;
  const auto ini = dir / "t.ini";
  TSettings s = FullSettings();
  ASSERT_TRUE(Save_Settings(ini, s));
  EXPECT_EQ(ReadFileBytes(ini),
            "[Settings]\r\nPID=-32768\r\nSrcMode=1\r\nDstMode=7\r\nTray=1\r\n"
            "SrcIP=10.0.0.1:2102\r\nSrcIP1=\r\nSrcIP2=studio-b:0:unused:pw\r\nSrcIP3=\r\n"
            "ServerPort=65535\r\nOnlineIP=online.example:443:p:a:ss\r\n"
            "IgnoreDelay=0\r\nShowPlaylist=1\r\n");
  EXPECT_EQ(LoadFrom(ini).settings, s);
}

TEST(SettingsSave, ModeDecidesWhichKeysStay) {
  TempDir dir;
  const auto ini = dir / "t.ini";
  ASSERT_TRUE(Save_Settings(ini, FullSettings()));
  TSettings s = FullSettings();
  s.SrcMode = kSrcStudio;
  s.DstMode = 0x100 | kDstStudio;  // bits above the low byte select nothing
  ASSERT_TRUE(Save_Settings(ini, s));

  const std::string text = ReadFileBytes(ini);
  for (const char* key : {"SrcIP", "ServerPort", "OnlineIP"}) {
    EXPECT_EQ(text.find(key), std::string::npos) << key;
  }
  const TSettings loaded = LoadFrom(ini).settings;
  EXPECT_EQ(loaded.ServerPort, kDefaultServerPort);
  EXPECT_EQ(loaded.SrcIP, decltype(loaded.SrcIP){});
  EXPECT_EQ(loaded.OnlineIP, TIPPortSett{});
  EXPECT_EQ(loaded.DstMode, 0x101);
}

TEST(SettingsSave, ForeignLinesAndAuthorSurviveEverySave) {
  TempDir dir;
  const auto ini = dir / "t.ini";
  WriteFileBytes(ini,
                 "; station 4\n[Settings]\nAuthor=1\nServerAllow= 10.0.0.0/8, ::1 \nPID=9\n\n"
                 "[Other]\nkeep = me\n");
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Save_Settings(ini, TSettings{}));

  EXPECT_EQ(ReadFileBytes(ini),
            "; station 4\n[Settings]\nAuthor=1\nServerAllow= 10.0.0.0/8, ::1 \nPID=0\r\n"
            "SrcMode=0\r\nDstMode=0\r\nTray=0\r\nIgnoreDelay=0\r\nShowPlaylist=0\r\n\n"
            "[Other]\nkeep = me\n");
  EXPECT_TRUE(LoadFrom(ini).Author);
  EXPECT_EQ(LoadFrom(ini).settings.ServerAllow, "10.0.0.0/8, ::1");
}

TEST(SettingsSave, UnreadableTargetOrUnstorableValueFails) {
  TempDir dir;
  EXPECT_FALSE(Save_Settings(dir.path(), TSettings{}));
  TSettings s = FullSettings();
  s.OnlineIP.Password = "two\nlines";
  EXPECT_FALSE(Save_Settings(dir / "t.ini", s));
  EXPECT_FALSE(std::filesystem::exists(dir / "t.ini"));
}

TEST(IPPortText, Parse) {
  struct Case {
    std::string text;
    TIPPortSett expected;
  };
  const Case cases[] = {{"", {}},
                        {"bare-host", {}},
                        {":2102", {}},
                        {" host :80", {" host ", 80, ""}},
                        {"h:", {"h", 2102, ""}},
                        {"h:65535", {"h", 65535, ""}},
                        {"h:65536", {"h", 2102, ""}},
                        {"h:abc", {"h", 2102, ""}},
                        {"h:+80", {"h", 2102, ""}},
                        {"h:80: pw:with:colons ", {"h", 80, " pw:with:colons "}},
                        {"h::pw", {"h", 2102, ""}},
                        {"[::1]:5000:pw", {"::1", 5000, "pw"}},
                        {"[]:5000", {}},
                        {"[fe80::1]", {}}};
  for (const Case& c : cases) {
    TIPPortSett record{"stale", 1, "stale"};
    Parse_IPPort(c.text, record);
    EXPECT_EQ(record, c.expected) << c.text;
  }
}

TEST(IPPortText, Format) {
  EXPECT_EQ(Format_IPPort({" \t", 80, "pw"}), "");
  EXPECT_EQ(Format_IPPort({" host ", 0, ""}), "host:0");
  EXPECT_EQ(Format_IPPort({"host", 65535, "  "}), "host:65535");
  EXPECT_EQ(Format_IPPort({"host", 8, " p:w\r\n"}), "host:8:p:w");
  EXPECT_EQ(Format_IPPort({"::1", 5000, "pw"}), "[::1]:5000:pw");
}

}  // namespace
}  // namespace trivane
