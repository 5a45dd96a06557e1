#include <gtest/gtest.h>

#include "platform/linux/xdg_autostart_store.h"
#include "settings/autostart.h"
#include "support/temp_dir.h"

namespace trivane {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

std::string Entry(const std::string& exec_line) {
  return "[Desktop Entry]\nType=Application\nName=x\n" + exec_line + "\n";
}

class XdgAutostartTest : public ::testing::Test {
 protected:
  TempDir root;
  fs::path user = root / "home/.config/autostart";
  fs::path machine = root / "etc/xdg/autostart";
  XdgAutostartStore store{user, {machine, root / "missing"}};
};

TEST(XdgAutostartDirs, FollowTheBaseDirectoryRules) {
  auto s = XdgAutostartStore::FromEnvironmentValues("/cfg", "/home/op", "/a:relative::/b");
  EXPECT_EQ(s.user_dir(), fs::path("/cfg/autostart"));
  EXPECT_EQ(s.machine_dirs(), (std::vector<fs::path>{"/a/autostart", "/b/autostart"}));

  s = XdgAutostartStore::FromEnvironmentValues("", "/home/op", nullptr);
  EXPECT_EQ(s.user_dir(), fs::path("/home/op/.config/autostart"));
  EXPECT_EQ(s.machine_dirs(), (std::vector<fs::path>{"/etc/xdg/autostart"}));

  s = XdgAutostartStore::FromEnvironmentValues("cfg", nullptr, "");
  EXPECT_TRUE(s.user_dir().empty());
  EXPECT_FALSE(s.Open(RunKeyHive::kCurrentUser, true));
}

TEST_F(XdgAutostartTest, EnableGetDisableRoundTrip) {
  const std::string exe = root.path().string() + "/My Apps/trivane 100%.bin";
  EXPECT_FALSE(Get_AutoStart(store, exe));
  EXPECT_TRUE(fs::is_directory(user)) << "opening the user list creates it";

  Set_AutoStart(store, exe, true);
  const std::string text = ReadFileBytes(user / "TRIVANE 100%.desktop");
  EXPECT_NE(text.find("Exec=\"" + root.path().string() + "/My Apps/trivane 100%%.bin\"\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Type=Application\n"), std::string::npos);
  EXPECT_TRUE(Get_AutoStart(store, exe));

  Set_AutoStart(store, exe, false);
  EXPECT_FALSE(Get_AutoStart(store, exe));
  EXPECT_TRUE(fs::is_empty(user));
}

TEST_F(XdgAutostartTest, ReservedCharactersSurviveQuoting) {
  ASSERT_TRUE(store.Open(RunKeyHive::kCurrentUser, true));
  const std::string odd = "/srv/a\"b`c$d\\e f;g\th%";
  ASSERT_TRUE(store.WriteUserValue("ODD", odd));
  ASSERT_TRUE(store.WriteUserValue("PLAIN", "/usr/bin/trivane"));
  EXPECT_NE(ReadFileBytes(user / "PLAIN.desktop").find("Exec=/usr/bin/trivane\n"),
            std::string::npos);
  EXPECT_EQ(store.Values(RunKeyHive::kCurrentUser),
            (std::vector<RunValue>{{"ODD", odd}, {"PLAIN", "/usr/bin/trivane"}}));
  EXPECT_FALSE(store.WriteUserValue("../escape", "/x"));
}

TEST_F(XdgAutostartTest, ForeignEntriesAreReadLeniently) {
  fs::create_directories(user / "dir.desktop");
  WriteFileBytes(user / "args.desktop", Entry("Exec = \"/opt/my app/trivane\" --tray %U"));
  WriteFileBytes(user / "escaped.desktop", Entry("Exec=\"/opt/a\\\\\\\\b\""));
  WriteFileBytes(user / "crlf.desktop", "[Desktop Entry]\r\nExec=/bin/crlf\r\n");
  WriteFileBytes(user / "hidden.desktop", Entry("Exec=/bin/hidden\nHidden=true"));
  WriteFileBytes(user / "other-group.desktop", "[Other]\nExec=/bin/no\n");
  WriteFileBytes(user / "unclosed.desktop", Entry("Exec=\"/bin/open"));
  WriteFileBytes(user / "garbage.desktop", std::string("\0\xff\n[\n=\n", 7));
  WriteFileBytes(user / "big.desktop", Entry("Exec=/bin/big") + std::string(100000, '#'));
  WriteFileBytes(user / "notes.txt", Entry("Exec=/bin/txt"));

  EXPECT_EQ(store.Values(RunKeyHive::kCurrentUser),
            (std::vector<RunValue>{
                {"args", "/opt/my app/trivane"}, {"crlf", "/bin/crlf"}, {"escaped", "/opt/a\\b"}}));
}

TEST_F(XdgAutostartTest, MachineEntriesAreReadOnlyAndFirstDirectoryWins) {
  EXPECT_FALSE(store.Open(RunKeyHive::kLocalMachine, true));
  EXPECT_FALSE(fs::exists(machine));

  const fs::path lower = root / "lower/autostart";
  XdgAutostartStore layered{user, {machine, lower}};
  fs::create_directories(machine);
  fs::create_directories(lower);
  WriteFileBytes(machine / "TRIVANE.desktop", Entry("Exec=/opt/trivane"));
  WriteFileBytes(machine / "shadow.desktop", Entry("Exec=/bin/a\nHidden=true"));
  WriteFileBytes(lower / "shadow.desktop", Entry("Exec=/bin/b"));
  WriteFileBytes(lower / "extra.desktop", Entry("Exec=/bin/c"));
  EXPECT_EQ(layered.Values(RunKeyHive::kLocalMachine),
            (std::vector<RunValue>{{"TRIVANE", "/opt/trivane"}, {"extra", "/bin/c"}}));

  Set_AutoStart(layered, "/opt/trivane", false);
  EXPECT_TRUE(fs::exists(machine / "TRIVANE.desktop"));
  EXPECT_TRUE(Get_AutoStart(layered, "/OPT/TRIVANE"));
}

}  // namespace
}  // namespace trivane
