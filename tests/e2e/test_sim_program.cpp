#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "links/router.h"
#include "support/loopback_peer.h"
#include "support/subprocess.h"
#include "support/temp_dir.h"
#include "tools/hex.h"
#include "tools/unit_builders.h"

namespace trivane::sim {
namespace {

using namespace std::chrono_literals;
using trivane::testing::LoopbackConnection;
using trivane::testing::LoopbackListener;
using trivane::testing::Subprocess;

constexpr auto kLimit = 5s;

std::string AsText(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// Starts a server subcommand on a port of its own choosing and reads the port
// from its first line; 0 when it did not come up.
std::uint16_t ListeningPort(Subprocess& program) {
  const auto line = program.WaitForLine("listening 127.0.0.1:", kLimit);
  if (!line) return 0;
  return static_cast<std::uint16_t>(std::stoi(line->substr(line->find(':') + 1)));
}

TEST(SimProgram, DecodePrintsWhatTheRelayWouldLogAndRoute) {
  trivane::testing::TempDir dir;
  const Bytes region = Vl3Region(60000, 120000, 0);
  trivane::testing::WriteFileBytes(dir / "capture.bin", AsText(region) + std::string(1, '\x00'));

  Subprocess decode({TRIVANE_SIM_EXE, "decode", (dir / "capture.bin").string()});
  ASSERT_EQ(decode.WaitForExit(kLimit), 0);
  EXPECT_EQ(decode.RemainingOutput(),
            "UNIT 28 bytes: " + ToHex(region) +
                "\n"
                "ROUTE type=1 num=1 len=18 hex=010160ea000000000000c0d4010000000000 size=60000 "
                "over=120000 extra=0\n"
                "FILE In size=60000 over=120000 extra=0\n"
                "LOG VL3: --> REGION <---: 60.000, Over: 120.000, Extra: 0.000\n"
                "UNPARSED 1 bytes: 00\n");
}

TEST(SimProgram, SourcePlaysItsRoundsToARelayAndCloses) {
  Subprocess source({TRIVANE_SIM_EXE, "source", "--port", "0", "--vl3-region", "60,120",
                     "--drcp-block", "0,30,60", "--repeat", "2", "--interval", "50", "--once"});
  const std::uint16_t port = ListeningPort(source);
  ASSERT_NE(port, 0);
  LoopbackConnection relay = LoopbackConnection::Connect(port);
  ASSERT_TRUE(relay.Open());

  const std::string round =
      AsText(Vl3Region(60000, 120000, 0)) + AsText(DrcpBlockElement(0, 30000, 60000));
  EXPECT_EQ(AsText(relay.ReadExactly(2 * round.size() + 1, kLimit)), round + round);
  EXPECT_TRUE(relay.WaitClosed(kLimit));
  EXPECT_EQ(source.WaitForExit(kLimit), 0);
  const std::string output = source.RemainingOutput();
  const std::string sent_region = "sent 28 bytes: " + ToHex(Vl3Region(60000, 120000, 0)) + "\n";
  const std::string sent_drcp = "sent 26 bytes: " + ToHex(DrcpBlockElement(0, 30000, 60000)) + "\n";
  EXPECT_TRUE(output.starts_with("connected 127.0.0.1:")) << output;
  EXPECT_NE(output.find(sent_region + sent_drcp + sent_region + sent_drcp + "closed 127.0.0.1:"),
            std::string::npos)
      << output;
}

TEST(SimProgram, AHoldingSourceKeepsTheConnectionUntilStopped) {
  Subprocess source({TRIVANE_SIM_EXE, "source", "--port", "0", "--hex", "4c33", "--hold"});
  const std::uint16_t port = ListeningPort(source);
  ASSERT_NE(port, 0);
  LoopbackConnection relay = LoopbackConnection::Connect(port);
  EXPECT_EQ(AsText(relay.ReadExactly(2, kLimit)), "L3");
  ASSERT_TRUE(source.WaitForLine("sent 2 bytes: 4c33", kLimit));
  EXPECT_FALSE(relay.WaitClosed(300ms));

  source.Signal(SIGTERM);
  EXPECT_EQ(source.WaitForExit(kLimit), 0);
  EXPECT_TRUE(relay.WaitClosed(kLimit));
}

TEST(SimProgram, OnlineAcceptsThePasswordAndDecodesFrames) {
  Subprocess online({TRIVANE_SIM_EXE, "online", "--port", "0", "--password", "sekret", "--greeting",
                     "Hello", "--once"});
  const std::uint16_t port = ListeningPort(online);
  ASSERT_NE(port, 0);
  LoopbackConnection relay = LoopbackConnection::Connect(port);
  EXPECT_EQ(relay.ReadLine(kLimit), "Hello");
  ASSERT_TRUE(relay.Send("sekret\r\n"));
  EXPECT_EQ(relay.ReadLine(kLimit), "");

  const TRegionBlock block{.Size = 60000, .Over = 120000, .Extra = 1500};
  const Bytes frame = BuildOnlineFrame(1, 1, block.Encode());
  // Split mid-frame: the server must join the pieces.
  ASSERT_TRUE(relay.Send(AsText(frame).substr(0, 4)));
  ASSERT_TRUE(relay.Send(AsText(frame).substr(4) + AsText(BuildOnlineFrame(5, 6, Bytes{}))));

  const auto line = online.WaitForLine("FRAME", kLimit);
  ASSERT_TRUE(line);
  EXPECT_EQ(*line, "FRAME type=1 num=1 len=18 hex=" + ToHex(block.Encode()) +
                       " size=60000 over=120000 extra=1500");
  EXPECT_EQ(online.WaitForLine("FRAME", kLimit), "FRAME type=5 num=6 len=0 hex=");
  relay.Close();
  EXPECT_TRUE(online.WaitForLine("closed 127.0.0.1:", kLimit));
  EXPECT_EQ(online.WaitForExit(kLimit), 0);
  // Seen on the way to the first frame.
  EXPECT_EQ(std::count_if(online.Lines().begin(), online.Lines().end(),
                          [](const std::string& l) { return l.ends_with(" accepted"); }),
            1);
}

TEST(SimProgram, OnlineRefusesAWrongPasswordWithItsTextAndCloses) {
  Subprocess online({TRIVANE_SIM_EXE, "online", "--port", "0", "--password", "sekret", "--refuse",
                     "Go away", "--once"});
  const std::uint16_t port = ListeningPort(online);
  ASSERT_NE(port, 0);
  LoopbackConnection relay = LoopbackConnection::Connect(port);
  ASSERT_TRUE(relay.ReadLine(kLimit));
  ASSERT_TRUE(relay.Send("guess\n"));
  EXPECT_EQ(relay.ReadLine(kLimit), "Go away");
  EXPECT_TRUE(relay.WaitClosed(kLimit));
  const auto refused = online.WaitForLine("login", kLimit);
  ASSERT_TRUE(refused);
  EXPECT_TRUE(refused->ends_with(" refused: \"guess\"")) << *refused;
  EXPECT_EQ(online.WaitForExit(kLimit), 0);
}

TEST(SimProgram, ASilentOnlineServerSaysNothing) {
  Subprocess online({TRIVANE_SIM_EXE, "online", "--port", "0", "--silent"});
  const std::uint16_t port = ListeningPort(online);
  ASSERT_NE(port, 0);
  LoopbackConnection relay = LoopbackConnection::Connect(port);
  EXPECT_FALSE(relay.ReadLine(300ms));
  ASSERT_TRUE(relay.Send("sekret\r\n"));
  EXPECT_TRUE(online.WaitForLine("received 8 bytes: 73656b7265740d0a", kLimit));
  online.Signal(SIGINT);
  EXPECT_EQ(online.WaitForExit(kLimit), 0);
}

TEST(SimProgram, ListenDecodesWhatTheRelaysServerSends) {
  LoopbackListener server;
  Subprocess listen({TRIVANE_SIM_EXE, "listen", "--port", std::to_string(server.Port())});
  LoopbackConnection peer = server.Accept(kLimit);
  ASSERT_TRUE(peer.Open());
  ASSERT_TRUE(listen.WaitForLine("connected 127.0.0.1:", kLimit));
  ASSERT_TRUE(peer.Send(AsText(Vl3Region(30000, 60000, 0))));
  const auto route = listen.WaitForLine("ROUTE", kLimit);
  ASSERT_TRUE(route);
  EXPECT_TRUE(route->ends_with(" size=30000 over=60000 extra=0")) << *route;

  peer.Close();
  EXPECT_TRUE(listen.WaitForLine("closed by peer", kLimit));
  EXPECT_EQ(listen.WaitForExit(kLimit), 0);
}

TEST(SimProgram, ExitStatusTellsBadArgumentsFromFailures) {
  Subprocess help({TRIVANE_SIM_EXE, "online", "--help"});
  EXPECT_TRUE(help.WaitForLine("--password", kLimit));
  EXPECT_EQ(help.WaitForExit(kLimit), 0);

  Subprocess bad({TRIVANE_SIM_EXE, "source", "--port", "1", "--vl3-region", "sixty,1"});
  EXPECT_EQ(bad.WaitForExit(kLimit), 2);
  EXPECT_EQ(bad.RemainingOutput(), "");

  Subprocess codepage({TRIVANE_SIM_EXE, "decode", "--codepage", "NO-SUCH-CP"});
  EXPECT_EQ(codepage.WaitForExit(kLimit), 2);

  LoopbackListener taken;
  Subprocess in_use(
      {TRIVANE_SIM_EXE, "online", "--port", std::to_string(taken.Port()), "--password", "x"});
  EXPECT_EQ(in_use.WaitForExit(kLimit), 1);
  EXPECT_EQ(in_use.RemainingOutput(), "");

  taken.Close();
  Subprocess nobody({TRIVANE_SIM_EXE, "listen", "--port", std::to_string(taken.Port())});
  EXPECT_EQ(nobody.WaitForExit(kLimit), 1);
}

}  // namespace
}  // namespace trivane::sim
