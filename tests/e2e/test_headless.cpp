#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "support/subprocess.h"
#include "support/temp_dir.h"

namespace trivane {
namespace {

using namespace std::chrono_literals;

TEST(Headless, StartsLogsAndClosesCleanlyOnSigterm) {
  testing::TempDir dir;
  testing::WriteFileBytes(dir / "relay.ini", "[Settings]\r\nSrcMode=1\r\nDstMode=4\r\n");
  testing::Subprocess relay({TRIVANE_EXE, "--headless", "--ini", (dir / "relay.ini").string(),
                             "--log-dir", (dir / "Log").string()});
  ASSERT_TRUE(relay.Started());

  const auto started = relay.WaitForLine("Program started", 10s);
  ASSERT_TRUE(started.has_value());
  // time TAB source TAB message TAB tag, the time as hh:nn:ss.z dd.mm
  EXPECT_TRUE(std::regex_match(*started,
                               std::regex(R"(\d\d:\d\d:\d\d\.\d \d\d\.\d\d\t\tProgram started\t)")))
      << *started;

  // The settings were applied on the first tick: online without a host.
  const auto no_host = relay.WaitForLine("HOST don't define!", 10s);
  ASSERT_TRUE(no_host.has_value());
  EXPECT_TRUE(no_host->ends_with("\tRUZoveve")) << *no_host;

  relay.Signal(SIGTERM);
  EXPECT_EQ(relay.WaitForExit(10s), 0);
  // The settings file is only ever written by the settings dialog.
  EXPECT_EQ(testing::ReadFileBytes(dir / "relay.ini"), "[Settings]\r\nSrcMode=1\r\nDstMode=4\r\n");
}

TEST(Headless, SigintAlsoClosesAndAMissingIniGivesDefaults) {
  testing::TempDir dir;
  testing::Subprocess relay({TRIVANE_EXE, "--headless", "--ini=" + (dir / "absent.ini").string(),
                             "--log-dir=" + (dir / "Log").string()});
  ASSERT_TRUE(relay.WaitForLine("Program started", 10s).has_value());
  relay.Signal(SIGINT);
  EXPECT_EQ(relay.WaitForExit(10s), 0);
  EXPECT_EQ(relay.RemainingOutput(), "");
  EXPECT_FALSE(std::filesystem::exists(dir / "absent.ini"));
}

TEST(CommandLine, VersionHelpAndBadOptions) {
  testing::Subprocess version({TRIVANE_EXE, "--version"});
  EXPECT_EQ(version.WaitForLine("Veltora", 10s), "Veltora Trivane (ver.1.0.0.1)");
  EXPECT_EQ(version.WaitForExit(10s), 0);

  testing::Subprocess help({TRIVANE_EXE, "--help"});
  EXPECT_TRUE(help.WaitForLine("--log-dir", 10s).has_value());
  EXPECT_EQ(help.WaitForExit(10s), 0);

  testing::Subprocess bad({TRIVANE_EXE, "--no-such-option"});
  EXPECT_EQ(bad.WaitForExit(10s), 2);
  EXPECT_EQ(bad.RemainingOutput(), "");  // errors go to standard error only

  testing::Subprocess missing_value({TRIVANE_EXE, "--headless", "--ini"});
  EXPECT_EQ(missing_value.WaitForExit(10s), 2);

  testing::Subprocess unknown_codepage({TRIVANE_EXE, "--headless", "--codepage", "NO-SUCH-CP"});
  EXPECT_EQ(unknown_codepage.WaitForExit(10s), 2);
  EXPECT_EQ(unknown_codepage.RemainingOutput(), "");
}

TEST(CommandLine, AnyCodePageTheSystemKnowsIsAccepted) {
  testing::TempDir dir;
  testing::Subprocess relay({TRIVANE_EXE, "--headless", "--codepage=KOI8-R", "--ini",
                             (dir / "r.ini").string(), "--log-dir", (dir / "Log").string()});
  ASSERT_TRUE(relay.WaitForLine("Program started", 10s).has_value());
  relay.Signal(SIGTERM);
  EXPECT_EQ(relay.WaitForExit(10s), 0);
}

}  // namespace
}  // namespace trivane
