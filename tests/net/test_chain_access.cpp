#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/address_range.h"
#include "net/turnaway_log.h"

namespace trivane {
namespace {

using asio::ip::make_address;

TEST(AllowList, RangesMatchByPrefixAndMappedPeersAsTheirIPv4Address) {
  const AllowList list = AllowList::Parse(" 10.1.0.0/16 ,192.168.5.7, fd00::/8,,2001:db8::1/128");
  EXPECT_TRUE(list.invalid.empty());
  for (const char* allowed :
       {"10.1.0.0", "10.1.255.255", "192.168.5.7", "::ffff:10.1.2.3", "fd12::1", "2001:db8::1"}) {
    EXPECT_TRUE(list.Allows(make_address(allowed))) << allowed;
  }
  for (const char* refused :
       {"10.2.0.0", "10.0.255.255", "192.168.5.8", "127.0.0.1", "fe00::1", "2001:db8::2", "::1"}) {
    EXPECT_FALSE(list.Allows(make_address(refused))) << refused;
  }
  // A prefix that ends inside a byte.
  const AllowList odd = AllowList::Parse("172.16.0.0/12");
  EXPECT_TRUE(odd.Allows(make_address("172.31.255.255")));
  EXPECT_FALSE(odd.Allows(make_address("172.32.0.0")));
  EXPECT_TRUE(AllowList::Parse("0.0.0.0/0").Allows(make_address("203.0.113.9")));
}

TEST(AllowList, EmptyAllowsAnyoneButOnlyMistakesAllowNoOne) {
  EXPECT_TRUE(AllowList::Parse("").Allows(make_address("203.0.113.9")));
  EXPECT_TRUE(AllowList::Parse(" , ").Allows(make_address("::1")));

  const AllowList typo =
      AllowList::Parse("10.0.0.0/33, 10.0.0.0/, host.example, 1.2.3.4/8x, ::1/129");
  EXPECT_EQ(typo.invalid, (std::vector<std::string>{"10.0.0.0/33", "10.0.0.0/", "host.example",
                                                    "1.2.3.4/8x", "::1/129"}));
  EXPECT_FALSE(typo.Allows(make_address("10.0.0.1")));
  EXPECT_FALSE(typo.Allows(make_address("127.0.0.1")));
}

TEST(TurnawayLog, OneLineAMinuteForEachTextAndTheLastCountIsNotLost) {
  TurnawayLog log;
  const std::string peer = "Peer 10.0.0.5 refused: not in ServerAllow";
  EXPECT_EQ(log.Count(peer, 1, 1000), std::vector<std::string>{peer + " (1 connection)"});
  EXPECT_FALSE(log.NextDue());
  EXPECT_TRUE(log.Count(peer, 30, 2000).empty());
  EXPECT_TRUE(log.Count(peer, 6, 59'999).empty());
  // Another address is told at once, its own minute apart.
  EXPECT_EQ(log.Count("other", 2, 30'000), std::vector<std::string>{"other (2 connections)"});
  EXPECT_EQ(log.NextDue(), 61'000);

  EXPECT_TRUE(log.Due(60'999).empty());
  EXPECT_EQ(log.Due(61'000), std::vector<std::string>{peer + " (36 connections)"});
  // The flood stopped: after a quiet minute the next one is told at once.
  EXPECT_FALSE(log.NextDue());
  EXPECT_TRUE(log.Due(121'000).empty());
  EXPECT_EQ(log.Count(peer, 1, 121'001), std::vector<std::string>{peer + " (1 connection)"});
}

TEST(TurnawayLog, ManyAddressesShareOneLineBeyondTheBound) {
  TurnawayLog log;
  std::size_t lines = 0;
  for (std::size_t k = 0; k < TurnawayLog::kMaxTexts + 100; ++k) {
    lines += log.Count("Peer " + std::to_string(k), 1, 5).size();
  }
  EXPECT_EQ(lines, TurnawayLog::kMaxTexts + 1) << "the bound, and one line for the others";
  EXPECT_EQ(log.Due(60'005),
            std::vector<std::string>{std::string(TurnawayLog::kOthers) + " (99 connections)"});
}

}  // namespace
}  // namespace trivane
