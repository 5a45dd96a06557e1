#include <gtest/gtest.h>

#include "settings/ini_file.h"
#include "support/temp_dir.h"

namespace trivane {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;
using namespace std::string_literals;

TEST(IniFileRead, NamesBlanksQuotesAndFirstMatch) {
  const IniFile file = IniFile::Parse(
      "orphan=1\n[other]\nkey=other\n  [ settings ]  \r\n\t Key \t=  spaced value  \r\n"
      "quoted=\"  kept  \"\nhalf=\"open\nkey=second\nnoequals\n[SETTINGS]\nlater=1\n");
  EXPECT_EQ(file.Get("Settings", "KEY"), "spaced value");
  EXPECT_EQ(file.Get("settings", "Quoted"), "  kept  ");
  EXPECT_EQ(file.Get("Settings", "half"), "\"open");
  EXPECT_EQ(file.Get("Other", "key"), "other");
  for (const char* key : {"later", "noequals", "orphan"}) {
    EXPECT_EQ(file.Get("Settings", key), std::nullopt) << key;
  }
}

TEST(IniFileWrite, ChangesOnlyTheTouchedLines) {
  IniFile file = IniFile::Parse("; comment\n[Settings]\nPID = 1\nAuthor=1\n\n[Other]\r\nx=1");
  ASSERT_TRUE(file.Set("settings", "pid", "7"));
  ASSERT_TRUE(file.Set("Settings", "Tray", "0"));
  EXPECT_EQ(file.Bytes(), "; comment\n[Settings]\npid=7\r\nAuthor=1\nTray=0\r\n\n[Other]\r\nx=1");

  file.Remove("Settings", "AUTHOR");
  ASSERT_TRUE(file.Set("New", "a", "b"));
  EXPECT_EQ(file.Bytes(),
            "; comment\n[Settings]\npid=7\r\nTray=0\r\n\n[Other]\r\nx=1\r\n[New]\r\na=b\r\n");

  IniFile duplicates = IniFile::Parse("[S]\nk=1\nk=2\nj=3\n");
  duplicates.Remove("S", "K");
  EXPECT_EQ(duplicates.Bytes(), "[S]\nj=3\n");
}

TEST(IniFileWrite, ValuesReadBackAsWritten) {
  IniFile file;
  for (const std::string value : {" lead", "trail\t", "\"both\"", "\"", "a=b;c", ""}) {
    ASSERT_TRUE(file.Set("S", "k", value));
    EXPECT_EQ(IniFile::Parse(file.Bytes()).Get("S", "k"), value) << value;
  }
  EXPECT_FALSE(file.Set("S", "k", "two\nlines"));
  EXPECT_FALSE(file.Set("S", "k=", "v"));
  EXPECT_FALSE(file.Set("S]", "k", "v"));
  EXPECT_EQ(file.Get("S", "k"), "");
}

TEST(IniFileDisk, MissingUnreadableAndGarbledFiles) {
  TempDir dir;
  const auto missing = IniFile::Load(dir / "none.ini");
  ASSERT_TRUE(missing.has_value());
  EXPECT_EQ(missing->Bytes(), "");
  EXPECT_FALSE(IniFile::Load(dir.path()).has_value());
  EXPECT_FALSE(IniFile().Save(dir.path()));

  // The last line has no line break: the new key must not be glued onto it.
  const std::string garbled =
      "\0\x01PID=1\n\xff\xfe\xc3(\n"s + std::string(1 << 20, 'x') + "\n[Settings]\nPID=5";
  WriteFileBytes(dir / "garbled.ini", garbled);
  auto file = IniFile::Load(dir / "garbled.ini");
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->Get("Settings", "PID"), "5");
  ASSERT_TRUE(file->Set("Settings", "Tray", "1"));
  ASSERT_TRUE(file->Save(dir / "garbled.ini"));
  EXPECT_EQ(ReadFileBytes(dir / "garbled.ini"), garbled + "\r\nTray=1\r\n");
}

TEST(IniFileDisk, SaveReplacesTheFileKeepingItsPermissions) {
  TempDir dir;
  const auto path = dir / "trivane.ini";
  const auto owner_only = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
  WriteFileBytes(path, "[Settings]\nPID=1\n");
  std::filesystem::permissions(path, owner_only);
  auto file = IniFile::Load(path);
  ASSERT_TRUE(file.has_value());
  ASSERT_TRUE(file->Set("Settings", "PID", "2"));
  ASSERT_TRUE(file->Save(path));

  EXPECT_EQ(ReadFileBytes(path), "[Settings]\nPID=2\r\n");
#if !defined(_WIN32)  // Windows keeps a read-only flag, not these bits
  EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all, owner_only);
#endif
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
      << "no temporary file left behind";
}

}  // namespace
}  // namespace trivane
