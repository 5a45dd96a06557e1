#pragma once

#include <gtest/gtest.h>

#include <string>

#include "net/ip_readers.h"
#include "support/fake_link_host.h"
#include "support/loopback_peer.h"

namespace trivane::testing {

// The four source readers on a recording host, with the tick driven by hand.
class ReaderHarness : public ::testing::Test {
 protected:
  tIP1Reader& Slot(int i) { return readers.Record().Readers.at(static_cast<std::size_t>(i)); }
  TIPPortSett& Source(int i) { return host.settings.SrcIP.at(static_cast<std::size_t>(i)); }
  void Point(int i, std::uint16_t port, std::string name = "127.0.0.1") {
    Source(i).Host = std::move(name);
    Source(i).Port = port;
  }

  // Starts reader i on the listener, collects the attempt with one tick and
  // gives the source's side of the connection.
  LoopbackConnection Connect(int i, LoopbackListener& source) {
    Point(i, source.Port());
    readers.IPReader_Init();
    return Collect(i, source);
  }
  LoopbackConnection Collect(int i, LoopbackListener& source) {
    EXPECT_TRUE(WaitConnectorDone(Slot(i).Connector));
    readers.IPReader_ReadComm();
    EXPECT_FALSE(Slot(i).Connector);
    return source.Accept();
  }

  void TickAt(std::int64_t tick) {
    host.now_tick = tick;
    readers.IPReader_ReadComm();
  }
  // Ticks without moving the time until done() holds: bytes and closes travel
  // in real time, the link's own timers do not.
  template <typename Predicate>
  bool TickUntil(Predicate done) {
    return WaitFor([&] {
      readers.IPReader_ReadComm();
      return done();
    });
  }
  // One arrival from a source, read by the next ticks.
  void Deliver(int i, LoopbackConnection& source, ByteView bytes) {
    const std::size_t before = host.MarksOf(status_column::kFirstSource + i);
    ASSERT_TRUE(source.Send(bytes));
    ASSERT_TRUE(TickUntil([&] { return host.MarksOf(status_column::kFirstSource + i) > before; }));
  }

  FakeLinkHost host;
  IPReaders readers{host};
};

}  // namespace trivane::testing
