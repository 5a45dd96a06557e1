#include <gtest/gtest.h>

#include <array>
#include <numeric>

#include "base/date_time.h"
#include "protocols/records.h"

namespace trivane {
namespace {

TReadComm FullComm() {
  TReadComm comm;
  comm.Data.resize(TReadComm::kCapacity);
  std::iota(comm.Data.begin(), comm.Data.end(), std::uint8_t{1});
  comm.Count = TReadComm::kCapacity;
  return comm;
}

bool TailIsZero(const TReadComm& comm) {
  for (std::size_t i = static_cast<std::size_t>(comm.Count); i < comm.Data.size(); ++i) {
    if (comm.Data[i] != 0) return false;
  }
  return true;
}

TEST(ConsumeFront, MovesTheRestToTheFrontAndZeroesTheFreedTail) {
  TReadComm comm = FullComm();
  const Bytes before = comm.Data;
  comm.Deadline = 1234;
  comm.NewData = true;

  ConsumeFront(comm, 100);

  EXPECT_EQ(comm.Count, 8092);
  EXPECT_TRUE(std::equal(before.begin() + 100, before.end(), comm.Data.begin()));
  EXPECT_TRUE(TailIsZero(comm));
  EXPECT_EQ(comm.Data.size(), 8192u);
  EXPECT_EQ(comm.Deadline, 1234);
  EXPECT_TRUE(comm.NewData);
}

TEST(ConsumeFront, ClampsToCountAndIgnoresNonPositiveCounts) {
  TReadComm comm = FullComm();
  comm.Count = 10;
  std::fill(comm.Data.begin() + 10, comm.Data.end(), std::uint8_t{0});
  const Bytes before = comm.Data;

  ConsumeFront(comm, 0);
  ConsumeFront(comm, -5);
  EXPECT_EQ(comm.Count, 10);
  EXPECT_EQ(comm.Data, before);

  ConsumeFront(comm, 500);
  EXPECT_EQ(comm.Count, 0);
  EXPECT_TRUE(TailIsZero(comm));
}

TEST(ConsumeFront, IsHarmlessOnAStoppedReadersEmptyBuffer) {
  TReadComm comm;
  ConsumeFront(comm, 3);
  EXPECT_TRUE(comm.Data.empty());
  EXPECT_EQ(comm.Count, 0);

  comm.Count = 5;  // a count the released buffer cannot back is never trusted
  ConsumeFront(comm, 3);
  EXPECT_TRUE(comm.Data.empty());
  EXPECT_EQ(comm.Count, 5);
}

TEST(RegionBlock, EncodesEighteenLittleEndianBytesAndDecodesThemBack) {
  const TRegionBlock block{
      .Head1 = 1, .Head2 = 1, .Size = 60000, .Reserved = 0, .Over = 120000, .Extra = 0x01020304};
  const Bytes wire = block.Encode();
  const Bytes expected{0x01, 0x01, 0x60, 0xEA, 0x00, 0x00, 0x00, 0x00, 0x00,
                       0x00, 0xC0, 0xD4, 0x01, 0x00, 0x04, 0x03, 0x02, 0x01};
  EXPECT_EQ(wire, expected);
  EXPECT_EQ(TRegionBlock::Decode(wire), block);
  EXPECT_FALSE(TRegionBlock::Decode(ByteView(wire).first(17)).has_value());
}

TEST(BlockNotice, CarriesKindSizeAndRawTextBytes) {
  const TBlockNotice notice{.Kind = 1, .Size = 90500, .Text = std::string("A\0\xCF", 3)};
  const Bytes wire = notice.Encode();
  ASSERT_EQ(wire.size(), 8u);
  EXPECT_EQ(wire[0], 1);
  EXPECT_EQ(wire[1], 0x84);  // 90500 = 0x16184
  EXPECT_EQ(wire[2], 0x61);
  EXPECT_EQ(wire[3], 0x01);

  const auto back = TBlockNotice::Decode(wire);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->Size, 90500u);
  EXPECT_EQ(back->Text, notice.Text);
  EXPECT_EQ(TBlockNotice::Decode(ByteView(wire).first(5))->Text, "");
  EXPECT_FALSE(TBlockNotice::Decode(ByteView(wire).first(4)).has_value());
}

TEST(BytesToStr, KeepsNulBytesAndNeverReadsPastTheBytes) {
  const std::array<std::uint8_t, 3> bytes{0x41, 0x00, 0x42};
  const std::string text = BytesToStr(bytes, 3);
  ASSERT_EQ(text.size(), 3u);
  EXPECT_EQ(text[1], '\0');
  EXPECT_EQ(BytesToStr(bytes, 0), "");
  EXPECT_EQ(BytesToStr(bytes, -1), "");
  EXPECT_EQ(BytesToStr(bytes, 99).size(), 3u);
}

TDateTime Compact(std::array<std::uint8_t, 8> bytes) {
  return DecodeCompactDate(bytes);
}

TEST(DecodeCompactDate, AcceptsOnlyRealDatesFrom2019) {
  const TDateTime leap_day = Compact({24, 2, 29, 23, 59, 59, 99, 0xAA});
  const DateTimeFields f = DecodeDateTime(leap_day);
  EXPECT_EQ(f.year, 2024);
  EXPECT_EQ(f.month, 2);
  EXPECT_EQ(f.day, 29);
  EXPECT_EQ(f.hour, 23);
  EXPECT_EQ(f.minute, 59);
  EXPECT_EQ(f.second, 59);
  EXPECT_EQ(f.millisecond, 990);

  EXPECT_EQ(Compact({18, 1, 1, 0, 0, 0, 0, 0}), 0);   // before 2019
  EXPECT_EQ(Compact({19, 2, 29, 0, 0, 0, 0, 0}), 0);  // 2019 is no leap year
  EXPECT_EQ(Compact({100, 1, 1, 0, 0, 0, 0, 0}), 0);
  EXPECT_EQ(Compact({24, 13, 1, 0, 0, 0, 0, 0}), 0);
  EXPECT_EQ(Compact({24, 4, 31, 0, 0, 0, 0, 0}), 0);
  EXPECT_EQ(Compact({24, 1, 0, 0, 0, 0, 0, 0}), 0);
  EXPECT_EQ(Compact({24, 1, 1, 24, 0, 0, 0, 0}), 0);
  EXPECT_EQ(Compact({24, 1, 1, 0, 60, 0, 0, 0}), 0);
  EXPECT_EQ(Compact({24, 1, 1, 0, 0, 60, 0, 0}), 0);
  EXPECT_EQ(Compact({24, 1, 1, 0, 0, 0, 100, 0}), 0);
  EXPECT_GT(Compact({19, 1, 1, 0, 0, 0, 0, 0}), 0);
}

}  // namespace
}  // namespace trivane
