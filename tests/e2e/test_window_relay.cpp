#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/status_grid.h"
#include "links/router.h"
#include "support/relay_process.h"
#include "support/window_relay.h"

namespace trivane {
namespace {

using namespace std::chrono_literals;
using testing::CommandResult;
using testing::ConnectChainPeer;
using testing::FreePort;
using testing::LoopbackConnection;
using testing::LoopbackListener;
using testing::Picture;
using testing::SourceEntry;
using testing::VirtualDisplay;
using testing::WindowRelay;
using testing::XTools;
using Clock = std::chrono::steady_clock;

// The status grid's colours, as the operator sees them.
constexpr std::uint32_t kConnectedGreen = 0x008000;
constexpr std::uint32_t kErrorRed = 0xFF0000;

// Where one colour fills a cell: the columns of pixels holding it, in runs
// from left to right, and the rows it spans. The cell's text cuts through a
// run's rows but never through all of them, so a run is a whole cell.
struct Spots {
  struct Run {
    int left, right;  // [left, right)
  };
  std::vector<Run> runs;
  int top = -1, bottom = -1;  // [top, bottom), or -1 when the colour is absent
};

Spots Find(const Picture& picture, std::uint32_t colour) {
  Spots spots;
  std::optional<int> run_start;
  for (int x = 0; x <= picture.width; ++x) {
    bool here = false;
    for (int y = 0; x < picture.width && y < picture.height; ++y) {
      if (picture.Pixel(x, y) != colour) continue;
      here = true;
      if (spots.top < 0 || y < spots.top) spots.top = y;
      spots.bottom = std::max(spots.bottom, y + 1);
    }
    if (here && !run_start) run_start = x;
    if (!here && run_start) {
      spots.runs.push_back({*run_start, x});
      run_start.reset();
    }
  }
  return spots;
}

// Captures the window until the check holds, within the limit; the last capture.
template <typename Check>
Picture CaptureUntil(const WindowRelay& relay, const std::string& window, Check check,
                     std::chrono::milliseconds limit = 5s) {
  const auto until = Clock::now() + limit;
  Picture picture = relay.Capture(window);
  while (!check(picture) && Clock::now() < until) {
    std::this_thread::sleep_for(100ms);
    picture = relay.Capture(window);
  }
  return picture;
}

class WindowRelayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (auto found = XTools::Find(why)) {
      tools_ = *found;
    } else {
      GTEST_SKIP() << "no virtual X display to test the window on: " << why;
    }
    display_.emplace(tools_.server);
    ASSERT_TRUE(display_->Ready()) << "the virtual X server did not start";
  }

  // The relay with its window up in window_; the test is skipped when this
  // build runs headless whatever the display.
  void StartRelay(const std::string& settings) {
    relay_.emplace(*display_, tools_, settings);
    window_ = relay_->WaitForWindow(10s).value_or("");
    if (window_.empty() && relay_->SaidNoWindow()) {
      GTEST_SKIP() << "this build of trivane has no window";
    }
    ASSERT_FALSE(window_.empty()) << "the main window did not come up";
  }

  CommandResult X(std::vector<std::string> command) const {
    return display_->Run(std::move(command));
  }

  XTools tools_;
  std::optional<VirtualDisplay> display_;  // outlives the relay that draws on it
  std::optional<WindowRelay> relay_;
  std::string window_;  // the main window's X id
};

TEST_F(WindowRelayTest, GridShowsEachLinksStateAndTheCopiedLogHoldsTheRelayedBlock) {
  LoopbackListener source;
  const std::uint16_t refused_port = testing::ClosedPort();
  const std::uint16_t server_port = FreePort();
  StartRelay("SrcMode=1\r\nDstMode=2\r\n" + SourceEntry(0, source.Port()) +
             SourceEntry(1, refused_port) + "ServerPort=" + std::to_string(server_port) + "\r\n");
  if (IsSkipped() || HasFatalFailure()) return;
  LoopbackConnection chain = ConnectChainPeer(server_port);
  LoopbackConnection feed = source.Accept(10s);
  ASSERT_TRUE(chain.Open() && feed.Open());

  // Source 1, source 2 and the server, left to right: green, red, green, each
  // colour in one row of cells only.
  Picture before = CaptureUntil(relay_.value(), window_, [](const Picture& picture) {
    return Find(picture, kConnectedGreen).runs.size() == 2 &&
           Find(picture, kErrorRed).runs.size() == 1;
  });
  ASSERT_GT(before.width, 0) << "the window could not be captured";
  const Spots green = Find(before, kConnectedGreen);
  const Spots red = Find(before, kErrorRed);
  ASSERT_EQ(green.runs.size(), 2u);
  ASSERT_EQ(red.runs.size(), 1u);
  EXPECT_LT(green.runs[0].right, red.runs[0].left);
  EXPECT_LT(red.runs[0].right, green.runs[1].left);
  EXPECT_EQ(green.top, red.top);
  EXPECT_LE(green.bottom - green.top, StatusGrid::kDefaultRowHeight + 2);
  EXPECT_LT(green.bottom, before.height / 4) << "the colours belong to the grid at the top";

  const Bytes frame = BuildVl3Frame(1, 1, TRegionBlock{.Size = 60000, .Over = 120000}.Encode());
  ASSERT_TRUE(feed.Send(frame));
  EXPECT_EQ(chain.ReadExactly(frame.size(), 10s), frame);

  // Data takes the colour from the source's cell and the server's, which show
  // its time now; the refused source stays red.
  const Picture after = CaptureUntil(relay_.value(), window_, [](const Picture& picture) {
    return Find(picture, kConnectedGreen).runs.empty();
  });
  EXPECT_TRUE(Find(after, kConnectedGreen).runs.empty());
  EXPECT_EQ(Find(after, kErrorRed).runs.size(), 1u);

  // The operator clicks into the log, selects every row and copies them.
  ASSERT_TRUE(X({tools_.xdotool, "windowfocus", "--sync", window_}).Ok());
  ASSERT_TRUE(X({tools_.xdotool, "mousemove", "--window", window_, std::to_string(after.width / 2),
                 std::to_string(after.height * 3 / 4), "click", "1"})
                  .Ok());
  const std::string block_line = "\t1\t--> REGION <---: 60.000, Over: 120.000, Extra: 0.000\tVL3";
  std::string copied;
  for (const auto until = Clock::now() + 5s;
       copied.find(block_line) == std::string::npos && Clock::now() < until;) {
    ASSERT_TRUE(X({tools_.xdotool, "key", "ctrl+a", "ctrl+c"}).Ok());
    copied = X({tools_.xclip, "-o", "-selection", "clipboard"}).output;
    if (copied.find(block_line) == std::string::npos) std::this_thread::sleep_for(200ms);
  }
  const auto block = copied.find(block_line);
  ASSERT_NE(block, std::string::npos) << copied;

  // Newest first, rows apart by a lone CR, four cells to a row.
  const auto started = copied.find("\t\tProgram started\t");
  ASSERT_NE(started, std::string::npos) << copied;
  EXPECT_LT(block, started);
  EXPECT_NE(copied.find("\t2\tConnection refused"), std::string::npos) << copied;
  EXPECT_EQ(copied.find('\n'), std::string::npos);
  EXPECT_NE(copied.back(), '\r');
  std::size_t rows = 1, tabs = 0;
  for (const char c : copied) {
    rows += c == '\r';
    tabs += c == '\t';
  }
  EXPECT_GE(rows, 3u);
  EXPECT_EQ(tabs, rows * 3) << copied;

  EXPECT_EQ(relay_->Stop(), 0);
  EXPECT_TRUE(chain.WaitClosed(5s));
  const CommandResult gone = X({tools_.xdotool, "search", "--onlyvisible", "--name", "Veltora"});
  EXPECT_TRUE(gone.output.empty()) << gone.output;
}

TEST_F(WindowRelayTest, NoOtherWindowComesUpWhileTheRelayJustRuns) {
  StartRelay("SrcMode=1\r\nDstMode=2\r\nServerPort=" + std::to_string(FreePort()) + "\r\n");
  if (IsSkipped() || HasFatalFailure()) return;
  // Qt's progress dialog shows itself a few seconds after it was made unless it
  // is told otherwise; the close dialog must wait for a close.
  std::string others;
  for (const auto until = Clock::now() + 6s; others.empty() && Clock::now() < until;) {
    std::this_thread::sleep_for(250ms);
    const CommandResult visible = X({tools_.xdotool, "search", "--onlyvisible", "--name", "."});
    for (std::size_t at = 0; at < visible.output.size();) {
      const auto end = visible.output.find('\n', at);
      const std::string id = visible.output.substr(at, end - at);
      at = end == std::string::npos ? visible.output.size() : end + 1;
      if (id != window_) others += X({tools_.xdotool, "getwindowname", id}).output;
    }
  }
  EXPECT_EQ(others, "") << "shown beside the main window";
}

}  // namespace
}  // namespace trivane
