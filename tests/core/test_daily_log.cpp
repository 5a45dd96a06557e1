#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/daily_log.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace trivane {
namespace {

using testing::FakeClock;
using testing::ReadFileBytes;
using testing::TempDir;

class DailyLogTest : public ::testing::Test {
 protected:
  TempDir temp;
  FakeClock clock;  // 8 December 2024, 12:00
  DailyLog log{temp / "Log", clock};
};

TEST_F(DailyLogTest, RegionBlocksAppendToTheDaysFile) {
  log.Write_Log(60'000, 120'000, 0, "In");
  clock.Advance(1500);
  log.Write_Log(90'500, 0, 1'500, "Out");

  EXPECT_EQ(ReadFileBytes(temp / "Log" / "24-12-08.txt"),
            "In 12:00:00 : Size=60.0 (01:00.0), Over=120.0 (02:00.0)\r\n"
            "Out 12:00:01 : Size=90.5 (01:30.5), Over=0.0 (00:00.0), Extra=1.5 (00:01.5)\r\n");
}

TEST_F(DailyLogTest, DiscardedDataIsWrittenUnchanged) {
  TReadComm comm;
  comm.Data.assign(TReadComm::kCapacity, 0);
  const std::string held("A\0\r\n\x7f\xfez", 7);
  std::copy(held.begin(), held.end(), comm.Data.begin());
  comm.Count = 7;
  log.Write_Error(1, comm);

  // A stopped reader has no buffer; its count must not lead past the end.
  TReadComm stopped;
  stopped.Count = 12;
  log.Write_Error(3, stopped);
  stopped.Count = -1;
  log.Write_Error(0, stopped);

  EXPECT_EQ(ReadFileBytes(temp / "Log" / "24-12-08.txt"), "Src:2. Data (7) 12:00:00 : " + held +
                                                              "\r\n" +
                                                              "Src:4. Data (12) 12:00:00 : \r\n"
                                                              "Src:1. Data (-1) 12:00:00 : \r\n");
}

TEST_F(DailyLogTest, MidnightStartsANewFile) {
  clock.now = 45634.0 + 86'399.5 / 86'400;  // 23:59:59.500
  log.Write_Log(1000, 0, 0, "In");
  clock.Advance(1000);
  log.Write_Log(2000, 0, 0, "Out");

  EXPECT_EQ(ReadFileBytes(temp / "Log" / "24-12-08.txt"),
            "In 23:59:59 : Size=1.0 (00:01.0), Over=0.0 (00:00.0)\r\n");
  EXPECT_EQ(ReadFileBytes(temp / "Log" / "24-12-09.txt"),
            "Out 00:00:00 : Size=2.0 (00:02.0), Over=0.0 (00:00.0)\r\n");
}

TEST_F(DailyLogTest, UnusableDirectoryDropsTheLineAndTheNextTriesAgain) {
  testing::WriteFileBytes(temp / "Log", "not a directory");
  EXPECT_NO_THROW(log.Write_Log(1000, 0, 0, "In"));
  EXPECT_EQ(ReadFileBytes(temp / "Log"), "not a directory");

  std::filesystem::remove(temp / "Log");
  log.Write_Log(1000, 0, 0, "Out");
  EXPECT_EQ(ReadFileBytes(temp / "Log" / "24-12-08.txt"),
            "Out 12:00:00 : Size=1.0 (00:01.0), Over=0.0 (00:00.0)\r\n");
}

}  // namespace
}  // namespace trivane
