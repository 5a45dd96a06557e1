#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/windows/wide_text.h"
#include "settings/ini_file.h"
#include "settings/settings_store.h"
#include "support/temp_dir.h"

namespace trivane {
namespace {

using testing::TempDir;
using testing::WriteFileBytes;

// Our own store must read and write the files Windows' profile API does: the
// same texts go through both, and each reads what the other wrote.
constexpr wchar_t kAbsent[] = L"<absent>";

std::string ProfileGet(const std::filesystem::path& file, const std::string& section,
                       const std::string& key) {
  wchar_t value[1024] = {};
  GetPrivateProfileStringW(WideFromUtf8(section).c_str(), WideFromUtf8(key).c_str(), kAbsent, value,
                           1024, file.wstring().c_str());
  return Utf8FromWide(value);
}

std::string OursGet(const std::filesystem::path& file, const std::string& section,
                    const std::string& key) {
  const auto ini = IniFile::Load(file);
  if (!ini) return "<unreadable>";
  return ini->Get(section, key).value_or(Utf8FromWide(kAbsent));
}

struct Lookup {
  std::string section;
  std::string key;
};

TEST(ProfileApi, OurReadingOfAFileIsWindowsReading) {
  TempDir dir;
  const auto file = dir / "trivane.ini";
  WriteFileBytes(file,
                 "; a comment\r\n"
                 "[Other]\r\n"
                 "PID=9\r\n"
                 "[settings]\r\n"
                 "  PID =  5  \r\n"
                 "pid=6\r\n"
                 ";SrcMode=1\r\n"
                 "SrcIP2=\r\n"
                 "SrcIP=\"  spaced  \"\r\n"
                 "OnlineIP=host:9200:pass=word:x\r\n"
                 "NoEquals\r\n"
                 "DstMode=6\n"
                 "Tray=1");
  for (const Lookup& lookup : std::vector<Lookup>{{"Settings", "PID"},
                                                  {"SETTINGS", "pid"},
                                                  {"Settings", "SrcMode"},
                                                  {"Settings", "SrcIP2"},
                                                  {"Settings", "SrcIP"},
                                                  {"Settings", "OnlineIP"},
                                                  {"Settings", "NoEquals"},
                                                  {"Settings", "DstMode"},
                                                  {"Settings", "Tray"},
                                                  {"Settings", "Missing"},
                                                  {"Other", "PID"},
                                                  {"Nowhere", "PID"}}) {
    EXPECT_EQ(OursGet(file, lookup.section, lookup.key),
              ProfileGet(file, lookup.section, lookup.key))
        << "[" << lookup.section << "] " << lookup.key;
  }
}

TEST(ProfileApi, WindowsReadsWhatSaveWroteAndSaveKeepsWhatWindowsWrote) {
  TempDir dir;
  const auto file = dir / "trivane.ini";
  const std::wstring path = file.wstring();
  // Written by Windows first: a key of the operator's own and Author.
  WritePrivateProfileStringW(L"Settings", L"Author", L"1", path.c_str());
  WritePrivateProfileStringW(L"Settings", L"Comment", L"kept", path.c_str());
  WritePrivateProfileStringW(L"Settings", L"ServerPort", L"1234", path.c_str());

  TSettings settings;
  settings.PID = -5;
  settings.SrcMode = kSrcTcp;
  settings.DstMode = kDstOnline;
  settings.SrcIP[0] = {"10.0.0.1", 2102, ""};
  settings.SrcIP[1] = {"", 0, ""};
  settings.OnlineIP = {"online.example", 9200, "p:a:ss"};
  ASSERT_TRUE(Save_Settings(file, settings));

  EXPECT_EQ(ProfileGet(file, "Settings", "PID"), "-5");
  EXPECT_EQ(GetPrivateProfileIntW(L"Settings", L"SrcMode", 7, path.c_str()), 1u);
  EXPECT_EQ(ProfileGet(file, "Settings", "SrcIP"), "10.0.0.1:2102");
  EXPECT_EQ(ProfileGet(file, "Settings", "SrcIP1"), "") << "present, with nothing after '='";
  EXPECT_EQ(ProfileGet(file, "Settings", "OnlineIP"), "online.example:9200:p:a:ss");
  EXPECT_EQ(ProfileGet(file, "Settings", "ServerPort"), "<absent>") << "deleted without bit 2";
  EXPECT_EQ(ProfileGet(file, "Settings", "Author"), "1");
  EXPECT_EQ(ProfileGet(file, "Settings", "Comment"), "kept");

  // And back: Windows changes a key, our load sees it with the rest.
  WritePrivateProfileStringW(L"Settings", L"PID", L"77", path.c_str());
  SettingsState state;
  Load_Settings(file, state);
  EXPECT_EQ(state.settings.PID, 77);
  EXPECT_TRUE(state.Author);
  EXPECT_EQ(state.settings.OnlineIP.Password, "p:a:ss");
  EXPECT_EQ(state.settings.ServerPort, 9999);
  EXPECT_EQ(state.settings.SrcIP[0].Host, "10.0.0.1");
}

}  // namespace
}  // namespace trivane
