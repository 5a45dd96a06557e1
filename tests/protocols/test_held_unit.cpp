#include <gtest/gtest.h>

#include "protocols/held_unit.h"
#include "protocols/protocol_handlers.h"
#include "protocols/vl3_frame.h"
#include "support/comm_buffer.h"
#include "support/fake_protocol_host.h"

namespace trivane {
namespace {

using testing::Concat;

// 2D 18 "Dn" "s" and the 21-byte payload: a bare DRCP block command.
Bytes BareBlockCommand(std::uint32_t size) {
  Bytes unit{0x2D, 0x18, 0x44, 0x6E, 0x73};
  Bytes payload(21, 0);
  payload[13] = static_cast<std::uint8_t>(size);
  payload[14] = static_cast<std::uint8_t>(size >> 8);
  payload[15] = static_cast<std::uint8_t>(size >> 16);
  unit.insert(unit.end(), payload.begin(), payload.end());
  return unit;
}

Bytes Vl2Notice() {
  Bytes frame{0x5A, 0xA5, 0x65, 8, 0, 0, 0, 0, 0, 0};
  AppendF64(frame, 30.0);
  return frame;
}

class Dispatch : public ::testing::Test {
 protected:
  // The intake's loop: units cut from the front and handled until none is whole.
  int ParseHeldUnits(TReadComm& comm) {
    int taken = 0;
    while (host.TakeFront(handlers, comm, testing::kThirdSource)) ++taken;
    return taken;
  }

  testing::FakeProtocolHost host;
  ProtocolHandlers handlers{host};
};

TEST_F(Dispatch, ManyUnitsOfEveryKindInOneArrivalAreAllTakenInOrder) {
  const Bytes vl3 = BuildVl3Frame(1, 3, Bytes{9});
  TReadComm comm = testing::CommWith(Concat({vl3, BareBlockCommand(45000), Vl2Notice(), vl3}));

  EXPECT_EQ(ParseHeldUnits(comm), 4);
  EXPECT_EQ(comm.Count, 0);
  ASSERT_EQ(host.raw_units.size(), 4u);
  EXPECT_EQ(host.raw_units[1], BareBlockCommand(45000));
  EXPECT_EQ(handlers.Pending().Block().Size, 45000u);
  ASSERT_EQ(host.routed.size(), 3u);
  EXPECT_EQ(host.routed[1].num, 2);
}

TEST_F(Dispatch, AnUnknownFirstByteHoldsEverythingBehindIt) {
  const Bytes vl3 = BuildVl3Frame(1, 3, {});
  TReadComm comm = testing::CommWith(Concat({vl3, Bytes{0x00}, vl3}));
  EXPECT_EQ(ParseHeldUnits(comm), 1);
  EXPECT_EQ(comm.Count, 11);
  EXPECT_EQ(ParseHeldUnits(comm), 0);
  EXPECT_EQ(comm.Count, 11);
}

TEST_F(Dispatch, AnIncompleteUnitWaitsForTheRestOfIt) {
  const Bytes unit = Concat({Vl2Notice(), BareBlockCommand(1000)});
  TReadComm comm = testing::CommWith({});
  int taken = 0;
  for (const std::uint8_t byte : unit) {
    testing::Append(comm, Bytes{byte});
    taken += ParseHeldUnits(comm);
  }
  EXPECT_EQ(taken, 2);
  EXPECT_EQ(comm.Count, 0);
}

}  // namespace
}  // namespace trivane
