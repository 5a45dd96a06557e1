#include <gtest/gtest.h>

#include "net/duplicate_check.h"

namespace trivane {
namespace {

class DuplicateCheck : public ::testing::Test {
 protected:
  DuplicateCheck() {
    for (auto& reader : readers.Readers) reader.Cache.emplace();
  }

  bool From(std::uint8_t reader, const Bytes& unit) {
    readers.ActiveReader = reader;
    return IPReader_NoDouble_Data(readers, unit);
  }

  tIPReader readers;
  const Bytes m{0x4C, 0x33, 0, 0, 4, 0, 1, 0, 3, 0};
};

TEST_F(DuplicateCheck, SameFeedOnTwoSourcesPassesOnce) {
  EXPECT_TRUE(From(0, m));
  EXPECT_FALSE(From(1, m));  // B delivers what A just did
  EXPECT_TRUE(From(0, m));   // A repeats itself: its own cache has it
  EXPECT_TRUE(From(1, m));   // B's own cache has it now too
}

TEST_F(DuplicateCheck, AUnitFourUnitsOldCountsAsNewAgain) {
  EXPECT_TRUE(From(0, m));
  for (std::uint8_t i = 0; i < 4; ++i) EXPECT_TRUE(From(0, Bytes{i}));
  EXPECT_EQ(readers.Readers[0].Cache->size(), kCachedUnits);
  EXPECT_TRUE(From(1, m));
}

TEST_F(DuplicateCheck, LengthAndEveryByteMatter) {
  EXPECT_TRUE(From(0, m));
  Bytes longer = m;
  longer.push_back(0);
  EXPECT_TRUE(From(1, longer));
  Bytes changed = m;
  changed.back() = 9;
  EXPECT_TRUE(From(2, changed));
  EXPECT_TRUE(From(3, Bytes(m.begin(), m.end() - 1)));
}

TEST_F(DuplicateCheck, StoppedReadersHaveNoCache) {
  readers.Readers[1].Cache.reset();
  EXPECT_TRUE(From(1, m));
  EXPECT_TRUE(From(2, m));  // reader 1 kept nothing to compare with
  EXPECT_FALSE(From(3, m));
}

}  // namespace
}  // namespace trivane
