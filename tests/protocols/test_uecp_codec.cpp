#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string_view>
#include <vector>

#include "base/date_time.h"
#include "protocols/uecp_codec.h"

namespace trivane {
namespace {

// Bit by bit, straight from the definition, to check the codec's table against.
std::uint16_t ReferenceCrc(ByteView bytes) {
  std::uint16_t crc = 0xFFFF;
  for (const std::uint8_t byte : bytes) {
    crc ^= static_cast<std::uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
  }
  return static_cast<std::uint16_t>(~crc);
}

Bytes Text(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Bytes Join(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// As an encoder sends it: address 00 01, sequence 00, CRC, then stuffing between STA and STP.
Bytes Frame(const Bytes& msg) {
  Bytes body = Join({0x00, 0x01, 0x00, static_cast<std::uint8_t>(msg.size())}, msg);
  const std::uint16_t crc = ReferenceCrc(body);
  body.push_back(static_cast<std::uint8_t>(crc >> 8));
  body.push_back(static_cast<std::uint8_t>(crc));
  Bytes wire{0xFE};
  for (const std::uint8_t byte : body) {
    if (byte >= 0xFD) wire.push_back(0xFD);
    wire.push_back(byte >= 0xFD ? static_cast<std::uint8_t>(byte - 0xFD) : byte);
  }
  wire.push_back(0xFF);
  return wire;
}

Bytes Ps() {
  return Join({0x02, 0x00, 0x00}, Text("VELTORA "));
}
Bytes Rt(const Bytes& text) {
  return Join({0x0A, 0x00, 0x00, static_cast<std::uint8_t>(text.size() + 1), 0x00}, text);
}
Bytes Dn(char letter, const Bytes& payload) {
  const auto mel = static_cast<std::uint8_t>(payload.size() + 3);
  return Join({0x2D, mel, 'D', 'n', static_cast<std::uint8_t>(letter)}, payload);
}
Bytes Date(std::uint8_t year, std::uint8_t month, std::uint8_t day) {
  return {year, month, day, 10, 11, 12, 34, 0};
}
Bytes Counting(std::size_t n) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(0x41 + i % 26);
  return bytes;
}

struct Event {
  std::uint8_t mec;
  std::uint8_t sub;
  Bytes data;
};

class Uecp : public ::testing::Test {
 protected:
  Uecp() { comm.Data.resize(TReadComm::kCapacity); }

  // As the intake does: one unit cut from the front, decoded only when the
  // duplicate check lets it through, and removed either way.
  bool Take(std::optional<std::size_t> (*size_of)(ByteView),
            void (*decode)(ByteView, const UecpMessageEvent&)) {
    const auto size = size_of(comm.Held());
    if (!size) return false;
    const ByteView unit = comm.Held().first(*size);
    units.emplace_back(unit.begin(), unit.end());
    if (accept) decode(unit, emit);
    ConsumeFront(comm, static_cast<std::int32_t>(*size));
    return true;
  }
  bool ExtractFrame() { return Take(UecpFrameSize, DecodeUecpFrame); }
  bool ExtractBareElement() { return Take(UecpElementSize, DecodeUecpElement); }

  void Feed(const Bytes& bytes) {
    std::ranges::copy(bytes, comm.Data.begin() + comm.Count);
    comm.Count += static_cast<std::int32_t>(bytes.size());
  }

  // As the intake does: the first byte picks the parser.
  bool ExtractOne() {
    if (comm.Count > 0 && comm.Data[0] == 0xFE) return ExtractFrame();
    if (comm.Count > 0 && comm.Data[0] == 0x2D) return ExtractBareElement();
    return false;
  }

  // One whole unit in, one unit out; the events it gave.
  std::vector<Event> Decode(const Bytes& unit) {
    events.clear();
    Feed(unit);
    EXPECT_TRUE(ExtractOne());
    EXPECT_EQ(comm.Count, 0);
    return events;
  }

  TReadComm comm;
  std::vector<Event> events;
  UecpMessageEvent emit = [this](std::uint8_t mec, std::uint8_t sub, ByteView data) {
    events.push_back({mec, sub, Bytes(data.begin(), data.end())});
  };
  std::vector<Bytes> units;
  bool accept = true;
};

TEST(UecpCrc, MatchesTheCatalogueCheckValueAndTheBitwiseDefinition) {
  const Bytes check = Text("123456789");
  EXPECT_EQ(UecpCrc(check), 0xD64E);
  EXPECT_EQ(ReferenceCrc(check), 0xD64E);
  Bytes all(256);
  std::iota(all.begin(), all.end(), std::uint8_t{0});
  for (std::size_t n = 0; n <= all.size(); n += 5) {
    EXPECT_EQ(UecpCrc(ByteView(all).first(n)), ReferenceCrc(ByteView(all).first(n))) << n;
  }
}

TEST_F(Uecp, TakesOneFramePerCallAndLeavesIncompleteOnesAlone) {
  const Bytes first = Frame(Ps());
  const Bytes second = Frame(Rt(Text("Hi")));
  Feed(Join(first, second));

  EXPECT_TRUE(ExtractFrame());
  EXPECT_EQ(units, std::vector<Bytes>{first});
  ASSERT_EQ(comm.Count, static_cast<std::int32_t>(second.size()));
  EXPECT_TRUE(std::equal(second.begin(), second.end(), comm.Data.begin()));
  EXPECT_TRUE(ExtractFrame());
  EXPECT_EQ(comm.Count, 0);
  EXPECT_EQ(events.size(), 1u);

  for (const Bytes& partial : {Bytes{0xFE, 0x00, 0x00, 0x01}, Bytes{0xFE}}) {
    comm.Count = 0;
    Feed(partial);
    EXPECT_FALSE(ExtractFrame());
    EXPECT_EQ(comm.Count, static_cast<std::int32_t>(partial.size()));
  }
  EXPECT_EQ(units.size(), 2u);
}

TEST_F(Uecp, CompletesAStuffedFrameFedOneByteAtATime) {
  const Bytes frame = Frame(Rt({'a', 0xFD, 0xFE, 0xFF, 'b'}));
  for (std::size_t i = 0; i + 1 < frame.size(); ++i) {
    Feed({frame[i]});
    ASSERT_FALSE(ExtractFrame()) << i;
  }
  Feed({frame.back()});
  EXPECT_TRUE(ExtractFrame());
  EXPECT_EQ(comm.Count, 0);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].data, (Bytes{'a', 0xFD, 0xFE, 0xFF, 'b'}));
}

TEST_F(Uecp, TakesManyUnitsFromOneBuffer) {
  const Bytes frame = Frame(Rt(Text("News at ten")));
  const Bytes bare = Dn('p', Counting(21));
  for (int i = 0; i < 40; ++i) Feed(i % 2 ? frame : bare);

  int taken = 0;
  while (ExtractOne()) ++taken;
  EXPECT_EQ(taken, 40);
  EXPECT_EQ(comm.Count, 0);
  EXPECT_EQ(events.size(), 40u);
}

TEST_F(Uecp, RemovesFramesItMustNotDecodeWithoutAnEvent) {
  Bytes bad_crc = Frame(Rt(Text("Hello")));
  bad_crc[10] ^= 0x01;
  Bytes swallowed_stop = Frame(Rt(Text("Hello")));
  swallowed_stop.insert(swallowed_stop.end() - 1, 0xFD);
  const Bytes longest_msg = Join(Rt(Text("x")), Bytes(246, 0x20));
  ASSERT_EQ(longest_msg.size(), 252u);
  const Bytes long_field = Frame(Join(longest_msg, {0x20}));
  const std::vector<Bytes> rejected = {bad_crc,
                                       swallowed_stop,
                                       long_field,
                                       {0xFE, 0x00, 0xFF},
                                       {0xFE, 0x00, 0x01, 0x00, 0x09, 0x0A, 0xFF}};
  for (const Bytes& frame : rejected) EXPECT_TRUE(Decode(frame).empty());
  EXPECT_EQ(units, rejected);

  EXPECT_EQ(Decode(Frame(longest_msg)).size(), 1u);

  accept = false;
  EXPECT_TRUE(Decode(Frame(Rt(Text("Hello")))).empty());
  EXPECT_EQ(units.size(), rejected.size() + 2);
}

TEST_F(Uecp, RadiotextEndsAtItsOwnLengthWithinTheMessageField) {
  const auto followed = Decode(Frame(Join(Rt(Text("News")), Ps())));
  ASSERT_EQ(followed.size(), 1u);
  EXPECT_EQ(followed[0].mec, 0x0A);
  EXPECT_EQ(followed[0].data, Text("News"));

  const auto overlong = Decode(Frame({0x0A, 0x00, 0x00, 40, 0x00, 'a', 'b'}));
  ASSERT_EQ(overlong.size(), 1u);
  EXPECT_EQ(overlong[0].data, Text("ab"));

  for (const std::uint8_t mel : {0, 1}) {
    const auto empty = Decode(Frame({0x0A, 0x00, 0x00, mel, 0x00, 'a'}));
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_TRUE(empty[0].data.empty());
  }
}

TEST_F(Uecp, ClockCarriesTheDecodedDate) {
  const auto got = Decode(Frame(Join({0x0D}, Date(24, 3, 15))));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].mec, 0x0D);
  ASSERT_EQ(got[0].data.size(), 8u);
  const DateTimeFields f = DecodeDateTime(*LoadF64(got[0].data, 0));
  EXPECT_EQ((std::array{f.year, f.month, f.day, f.hour, f.minute, f.second, f.millisecond}),
            (std::array{2024, 3, 15, 10, 11, 12, 340}));
}

TEST_F(Uecp, ManufacturerCommandsCarryTheirPayload) {
  const Bytes payload = Counting(21);
  for (const char letter : {'s', 'p', 'i'}) {
    const auto got = Decode(Frame(Dn(letter, payload)));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].mec, 0x2D);
    EXPECT_EQ(got[0].sub, letter);
    EXPECT_EQ(got[0].data, payload);
  }
  const auto short_block = Decode(Frame(Dn('s', {1, 2, 3})));
  ASSERT_EQ(short_block.size(), 1u);
  EXPECT_EQ(short_block[0].data, Join({1, 2, 3}, Bytes(18, 0)));

  const Bytes title = Join(Join({0x01}, Date(24, 2, 29)), Text("Morning show"));
  const auto got = Decode(Frame(Dn('f', title)));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].sub, 'f');
  EXPECT_EQ(got[0].data, title);
}

TEST_F(Uecp, ElementsThatFailTheirChecksAreSilent) {
  const Bytes title = Join(Join({0x01}, Date(24, 2, 29)), Text("Morning show"));
  Bytes control_title = Dn('f', title);
  control_title[14] = 0x1F;
  Bytes wrong_code = Dn('s', Counting(21));
  wrong_code[3] = 'N';
  Bytes no_length = Dn('s', Counting(21));
  no_length[1] = 0;
  const std::vector<Bytes> silent = {
      Ps(),
      {0x03, 0x00, 0x00, 0x03},
      {0x01, 0x00, 0x00, 0x12, 0x34},
      {0x0A, 0x00, 0x00, 0x03, 0x00},
      Join({0x0D}, Date(18, 3, 15)),
      Join({0x0D}, Date(24, 4, 31)),
      wrong_code,
      no_length,
      Dn('x', Counting(21)),
      control_title,
      Dn('f', Join(Join({0x01}, Date(23, 2, 29)), Text("Morning show"))),
  };
  for (const Bytes& msg : silent) EXPECT_TRUE(Decode(Frame(msg)).empty());
}

TEST_F(Uecp, BareElementIsTakenWholeOnceAllOfItIsThere) {
  const Bytes payload = Counting(21);
  const Bytes element = Join({0x2D, 0x18, 0x44, 0x6E, 0x73}, payload);
  Feed({element[0]});
  EXPECT_FALSE(ExtractBareElement());
  Feed(Bytes(element.begin() + 1, element.end() - 1));
  EXPECT_FALSE(ExtractBareElement());
  EXPECT_EQ(comm.Count, 25);
  EXPECT_TRUE(units.empty());

  Feed({element.back(), 0xFE});
  EXPECT_TRUE(ExtractBareElement());
  EXPECT_EQ(comm.Count, 1);
  EXPECT_EQ(units, std::vector<Bytes>{element});
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].sub, 's');
  EXPECT_EQ(events[0].data, payload);
}

TEST_F(Uecp, BareElementOfTheLargestLengthKeepsItsLastByte) {
  Bytes title = Join(Join({0x01}, Date(24, 2, 29)), Counting(243));
  title.back() = 0x7E;
  const Bytes element = Dn('f', title);
  ASSERT_EQ(element.size(), 257u);

  const auto got = Decode(element);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].data, title);
  EXPECT_EQ(units, std::vector<Bytes>{element});
}

}  // namespace
}  // namespace trivane
