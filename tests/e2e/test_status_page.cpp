#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/system_text_codec.h"
#include "support/region_frames.h"
#include "support/relay_process.h"
#include "support/web_driver.h"
#include "tools/source_units.h"

namespace trivane {
namespace {

using namespace std::chrono_literals;
using testing::ConnectChainPeer;
using testing::FreePort;
using testing::LoopbackConnection;
using testing::LoopbackListener;
using testing::RegionFrame;
using testing::RelayProcess;
using testing::SourceEntry;
using testing::WebDriver;
using Clock = std::chrono::steady_clock;

// A relay with a source that answers, one that refuses and the chain
// server, its status page beside the metrics.
struct WatchedRelay {
  WatchedRelay()
      : relay("SrcMode=1\r\nDstMode=2\r\n" + SourceEntry(0, source.Port()) +
                  SourceEntry(1, refused) + "ServerPort=" + std::to_string(server_port) + "\r\n",
              TRIVANE_EXE, testing::RelayFace::kHeadless,
              {"--metrics", "127.0.0.1:" + std::to_string(page_port)}),
        feed(source.Accept(10s)) {}

  std::string Url() const { return "http://127.0.0.1:" + std::to_string(page_port) + "/"; }

  LoopbackListener source;
  std::uint16_t refused = FreePort();
  std::uint16_t server_port = FreePort();
  std::uint16_t page_port = FreePort();
  RelayProcess relay;
  LoopbackConnection feed;
};

// The first text the script gives that holds `wanted`, asked every 50 ms.
std::optional<std::string> WaitForText(WebDriver& browser, const std::string& script,
                                       const std::string& wanted, std::chrono::milliseconds limit) {
  const auto until = Clock::now() + limit;
  std::optional<std::string> text;
  do {
    text = browser.Run(script);
    if (text && text->find(wanted) != std::string::npos) return text;
    std::this_thread::sleep_for(50ms);
  } while (Clock::now() < until);
  ADD_FAILURE() << "never \"" << wanted << "\"; last: " << text.value_or("(no answer)");
  return std::nullopt;
}

constexpr const char* kGridScript =
    "return [...document.querySelectorAll('#grid .link')].map(link => "
    "[link.querySelector('.title').textContent, link.querySelector('.address').textContent,"
    " link.querySelector('.state').textContent,"
    " getComputedStyle(link.querySelector('.state')).backgroundColor].join('|')).join('\\n');";
constexpr const char* kLogScript =
    "return [...document.querySelectorAll('#log tr')].map(row => row.innerText).join('\\n');";

TEST(StatusPage, ABrowserSeesTheGridAndTheLogLiveAndWireTextsOnlyAsText) {
  if (const auto why = WebDriver::Unavailable()) GTEST_SKIP() << "no browser here: " << *why;
  WatchedRelay watched;
  ASSERT_TRUE(watched.feed.Open());
  LoopbackConnection peer = ConnectChainPeer(watched.server_port);
  WebDriver browser;
  ASSERT_TRUE(browser.Started()) << "chromium is installed but did not start";
  ASSERT_TRUE(browser.Open(watched.Url()));

  const std::string refused = "127.0.0.1:" + std::to_string(watched.refused);
  const auto grid = WaitForText(browser, kGridScript, "|Error|", 5s);
  ASSERT_TRUE(grid);
  EXPECT_EQ(*grid, "Src IP 1|127.0.0.1:" + std::to_string(watched.source.Port()) +
                       "|Connected|rgb(0, 128, 0)\nSrc IP 2|" + refused +
                       "|Error|rgb(255, 0, 0)\nIPServer|Port " +
                       std::to_string(watched.server_port) + "|Connected|rgb(0, 128, 0)");
  EXPECT_EQ(browser.Run("return document.querySelector('.link:nth-child(2)').title;"),
            "Connection refused (" + refused + ")")
      << "the last connection error as the hint";

  // Live: no reload (the mark stays), the block on top within a second.
  browser.Run("window.kept = 'here'; return '';");
  const Bytes frame = RegionFrame(45000);
  ASSERT_TRUE(watched.feed.Send(frame));
  const auto sent = Clock::now();
  const auto log = WaitForText(browser, kLogScript, "--> REGION <---: 45.000", 1s);
  ASSERT_TRUE(log);
  EXPECT_LT(Clock::now() - sent, 1500ms);
  EXPECT_EQ(log->find("--> REGION <---: 45.000"), log->find('\t') + 3)
      << "newest on top, after its time and source 1:\n"
      << *log;
  EXPECT_EQ(browser.Run("return window.kept;"), "here");

  // A title from the wire that is markup appears as it is and runs nothing.
  const std::string hostile = "<img src=x onerror=window.pwned=1><script>window.pwned=2</script>";
  const auto codepage = SystemTextCodec::Open(std::string(SystemTextCodec::kDefaultCodePage));
  ASSERT_TRUE(codepage);
  const std::vector<Bytes> notice =
      sim::BuildUnits({sim::Vl3NoticeUnit{1, 30000, hostile}}, *codepage);
  ASSERT_TRUE(watched.feed.Send(notice.at(0)));
  EXPECT_TRUE(WaitForText(browser, kLogScript, hostile, 3s));
  EXPECT_EQ(browser.Run("return String(window.pwned) + ' ' + "
                        "document.querySelectorAll('main img, main script').length;"),
            "undefined 0");
  EXPECT_EQ(watched.relay.Stop(), 0);
}

TEST(StatusPage, ClientsThatNeverReadDoNotHoldTheChain) {
  WatchedRelay watched;
  ASSERT_TRUE(watched.feed.Open());
  LoopbackConnection peer = ConnectChainPeer(watched.server_port);
  ASSERT_TRUE(peer.Open());
  // Twenty pages that ask again and again with a tiny buffer and never read:
  // every thread of the endpoint ends up stuck writing to one of them.
  std::vector<LoopbackConnection> stuck;
  std::string requests;
  for (int k = 0; k < 50; ++k)
    requests += "GET /status.json HTTP/1.1\r\nHost: x\r\n\r\nGET / HTTP/1.1\r\nHost: x\r\n\r\n";
  for (int k = 0; k < 20; ++k) {
    stuck.push_back(LoopbackConnection::Connect(watched.page_port, 1024));
    stuck.back().Send(std::string_view(requests));
  }
  std::this_thread::sleep_for(500ms);

  for (std::uint32_t n = 0; n < 20; ++n) {
    const Bytes frame = RegionFrame(50000 + n);
    ASSERT_TRUE(watched.feed.Send(frame));
    // Far beyond a hop's fraction of a millisecond, far below a held tick.
    EXPECT_EQ(peer.ReadExactly(frame.size(), 200ms), frame) << "unit " << n;
    std::this_thread::sleep_for(20ms);
  }
  stuck.clear();
  EXPECT_EQ(watched.relay.Stop(), 0);
}

}  // namespace
}  // namespace trivane
