#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "core/controller.h"
#include "platform/system_text_codec.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace trivane {
namespace {

using Journal = std::vector<std::string>;

class FakeView : public ControllerView {
 public:
  void SetCaption(const std::string& text) override { caption = text; }
  void EntryAdded(const LogEntry& entry) override { log.push_back(entry); }
  void SetTrayHint(const std::string& text) override { tray_hint = text; }
  void ShowTrayIcon(bool shown) override { tray_shown = shown; }
  void MinimizeApplication() override {
    minimized = true;
    if (controller != nullptr) controller->OnMinimize();
  }
  void ShowCloseDialog(bool shown) override { close_dialog = shown; }
  void ShowTestPanel(bool shown) override { test_panel = shown; }
  void RequestClose() override { ++close_requests; }
  bool Show_Settings() override {
    ++settings_shown;
    if (on_settings) on_settings();
    return settings_saved;
  }

  TVL_Trivane* controller = nullptr;
  std::string caption, tray_hint;
  std::vector<LogEntry> log;
  bool tray_shown = false, minimized = false, close_dialog = false, test_panel = false;
  int close_requests = 0;
  int settings_shown = 0;
  bool settings_saved = false;
  std::function<void()> on_settings;  // what the operator does in the dialog
};

struct FakeSources : SourceReaders {
  explicit FakeSources(Journal& j) : journal(j) {}
  void IPReader_Init() override { journal.push_back("IPReader_Init"); }
  void IPReader_Bye() override { journal.push_back("IPReader_Bye"); }
  void IPReader_ReadComm() override { journal.push_back("IPReader_ReadComm"); }
  bool AttemptsDone() override {
    journal.push_back("AttemptsDone");
    return attempts_done;
  }
  std::string ErrText(int i) const override { return err_texts.at(static_cast<std::size_t>(i)); }
  void PlanWake(WakePlan& plan) override { plan.Read(kSourceSocket); }
  static constexpr NativeSocket kSourceSocket = 7;
  Journal& journal;
  bool attempts_done = true;
  std::array<std::string, kSourceCount> err_texts;
};

struct FakeStudio : StudioLink {
  explicit FakeStudio(Journal& j) : journal(j) {}
  void Studio_Init() override { journal.push_back("Studio_Init"); }
  void Studio_Bye() override { journal.push_back("Studio_Bye"); }
  void Studio_Read_Tick() override { journal.push_back("Studio_Read_Tick"); }
  void Studio_Send_Tick() override { journal.push_back("Studio_Send_Tick"); }
  MessageQueue* Studio_Queue() override { return &queue; }
  void PlanWake(WakePlan& /*plan*/) override {}
  Journal& journal;
  MessageQueue queue;
};

struct FakeServer : ServerLink {
  explicit FakeServer(Journal& j) : journal(j) {}
  void Server_Init() override { journal.push_back("Server_Init"); }
  void Server_Bye() override { journal.push_back("Server_Bye"); }
  void TCPServer_OTick() override { journal.push_back("TCPServer_OTick"); }
  RawQueue* Queue() override { return &queue; }
  // A peer with bytes still to take.
  void PlanWake(WakePlan& plan) override { plan.Write(kPeerSocket); }
  static constexpr NativeSocket kPeerSocket = 42;
  Journal& journal;
  RawQueue queue;
};

struct FakeOnline : OnlineLink {
  explicit FakeOnline(Journal& j) : journal(j) {}
  void Online_Init() override { journal.push_back("Online_Init"); }
  void Online_Bye() override { journal.push_back("Online_Bye"); }
  void Online_Tick() override { journal.push_back("Online_Tick"); }
  const std::string& ErrText() const override { return err_text; }
  RawQueue* Queue() override { return &queue; }
  void PlanWake(WakePlan& /*plan*/) override {}
  Journal& journal;
  RawQueue queue;
  std::string err_text;
};

class ControllerTest : public ::testing::Test {
 protected:
  void WriteIni(const std::string& body) {
    testing::WriteFileBytes(dir / "trivane.ini", "[Settings]\r\n" + body);
  }

  TVL_Trivane& Start() {
    controller = std::make_unique<TVL_Trivane>(
        clock, view, ControllerPaths{dir / "trivane.ini", dir / "Log"}, *codepage,
        [this](LinkHost&) {
          ControllerParts parts;
          auto s = std::make_unique<FakeSources>(journal);
          sources = s.get();
          parts.sources = std::move(s);
          parts.studio = std::make_unique<FakeStudio>(journal);
          auto sv = std::make_unique<FakeServer>(journal);
          server = sv.get();
          parts.server = std::move(sv);
          auto o = std::make_unique<FakeOnline>(journal);
          online = o.get();
          parts.online = std::move(o);
          return parts;
        });
    view.controller = controller.get();
    return *controller;
  }

  // Runs the timer until the controller reports it has closed.
  void CloseCompletely(TVL_Trivane& c) {
    EXPECT_FALSE(c.FormClose());
    for (int i = 0; i < 100 && view.close_requests == 0; ++i) c.OnTimer();
    ASSERT_EQ(view.close_requests, 1);
    EXPECT_TRUE(c.FormClose());
  }

  Journal Since(std::size_t mark) const {
    return Journal(journal.begin() + static_cast<std::ptrdiff_t>(mark), journal.end());
  }

  testing::TempDir dir;
  testing::FakeClock clock;
  std::unique_ptr<SystemTextCodec> codepage = SystemTextCodec::Open("WINDOWS-1251");
  FakeView view;
  Journal journal;
  FakeSources* sources = nullptr;
  FakeOnline* online = nullptr;
  FakeServer* server = nullptr;
  std::unique_ptr<TVL_Trivane> controller;
};

TEST_F(ControllerTest, CreationLogsStartLoadsSettingsAndWaitsForTheFirstTick) {
  WriteIni("PID=7\r\nAuthor=1\r\n");
  TVL_Trivane& c = Start();

  EXPECT_EQ(view.caption, "Veltora Trivane (ver.1.0.0.1)");
  EXPECT_EQ(view.tray_hint, "Veltora Trivane");
  ASSERT_EQ(view.log.size(), 1u);
  EXPECT_EQ(view.log[0].message, "Program started");
  EXPECT_EQ(view.log[0].link, -1);
  EXPECT_EQ(c.Config().settings.PID, 7);
  EXPECT_TRUE(view.test_panel);
  EXPECT_EQ(c.Status().Cell(1, 0), "ZUDovivi->");
  EXPECT_EQ(c.Status().Cell(5, 0), "Src IP 4");
  EXPECT_EQ(c.Status().Cell(8, 0), "Out RUZoveve");
  EXPECT_EQ(c.Status().Cell(0, 2), "Last data");
  // Only the readers are touched before the settings exist.
  EXPECT_EQ(journal, Journal{"IPReader_Init"});
  EXPECT_TRUE(c.TimerEnabled());
}

TEST_F(ControllerTest, FirstTickAppliesTheSettingsOnceThenTicksReadTheSource) {
  WriteIni("SrcMode=0\r\nDstMode=0\r\nPID=12\r\n");
  TVL_Trivane& c = Start();
  const auto mark = journal.size();

  c.OnTimer();
  EXPECT_EQ(Since(mark), (Journal{"Studio_Init", "IPReader_Bye"}));
  c.OnTimer();
  c.OnTimer();
  EXPECT_EQ(Since(mark),
            (Journal{"Studio_Init", "IPReader_Bye", "Studio_Read_Tick", "Studio_Read_Tick"}));

  const StatusGrid& grid = c.Status();
  EXPECT_EQ(grid.Cell(1, 1), "PID 12");
  EXPECT_EQ(grid.Cell(1, 2), "Wait");
  EXPECT_EQ(grid.Color(1), 0x808000u);
  EXPECT_TRUE(grid.IsVisible(1));
  for (int column = 2; column <= 8; ++column) EXPECT_FALSE(grid.IsVisible(column)) << column;
  EXPECT_EQ(c.Log().Widths()[EventLog::kSourceColumn], 1);
}

TEST_F(ControllerTest, TcpSourcesShowOnlyTheConfiguredColumns) {
  WriteIni("SrcMode=1\r\nSrcIP=alpha:5001\r\nSrcIP2=10.0.0.3:5003\r\n");
  TVL_Trivane& c = Start();
  c.OnTimer();

  const StatusGrid& grid = c.Status();
  EXPECT_FALSE(grid.IsVisible(1));
  EXPECT_TRUE(grid.IsVisible(2));
  EXPECT_EQ(grid.Cell(2, 1), "alpha:5001");
  EXPECT_FALSE(grid.IsVisible(3));
  EXPECT_EQ(grid.Cell(3, 1), "");
  EXPECT_TRUE(grid.IsVisible(4));
  EXPECT_EQ(grid.Cell(4, 1), "10.0.0.3:5003");
  EXPECT_FALSE(grid.IsVisible(5));
  // The studio is neither source nor destination, so its link is stopped.
  EXPECT_EQ(journal, (Journal{"IPReader_Init", "Studio_Bye", "IPReader_Init"}));
  EXPECT_EQ(c.Log().Widths()[EventLog::kSourceColumn], EventLog::kInitialWidths[1]);
}

TEST_F(ControllerTest, SwitchingTheSourceAtRunTimeShowsWhatIsConfigured) {
  WriteIni("SrcMode=1\r\nSrcIP=alpha:5001\r\nPID=3\r\n");
  TVL_Trivane& c = Start();
  c.OnTimer();
  ASSERT_FALSE(c.Status().IsVisible(1));

  c.Config().settings.SrcMode = kSrcStudio;
  c.Apply_Settings();
  EXPECT_TRUE(c.Status().IsVisible(1));
  EXPECT_EQ(c.Status().Cell(1, 1), "PID 3");
  EXPECT_FALSE(c.Status().IsVisible(2));
  EXPECT_EQ(c.Log().Widths()[EventLog::kSourceColumn], 1);

  c.Config().settings.SrcMode = kSrcTcp;
  c.Apply_Settings();
  EXPECT_FALSE(c.Status().IsVisible(1));
  EXPECT_TRUE(c.Status().IsVisible(2));
  EXPECT_EQ(c.Log().Widths()[EventLog::kSourceColumn], EventLog::kInitialWidths[1]);
}

TEST_F(ControllerTest, TheSettingsAreAppliedAgainAfterASaveEvenUnchangedAndNotAfterCancel) {
  WriteIni("SrcMode=1\r\nDstMode=2\r\n");
  TVL_Trivane& c = Start();
  c.OnTimer();
  c.SetLineStatus(7, LineStatus::Error);

  // Cancel: nothing is applied, the old state stays.
  c.SBSettingsClick();
  EXPECT_EQ(view.settings_shown, 1);
  EXPECT_EQ(c.Status().Color(7), 0xFF0000u);

  // The ticks go on while the dialog is open; a Save applies afterwards.
  view.settings_saved = true;
  view.on_settings = [&] { c.OnTimer(); };
  const auto mark = journal.size();
  c.SBSettingsClick();
  EXPECT_EQ(Since(mark), (Journal{"IPReader_ReadComm", "TCPServer_OTick", "Studio_Bye",
                                  "IPReader_Init", "Server_Init"}));
  EXPECT_EQ(c.Status().Color(7), 0u);
}

TEST_F(ControllerTest, DestinationsStartInOrderAndAreTickedInOrder) {
  WriteIni("SrcMode=1\r\nDstMode=7\r\nServerPort=9100\r\nOnlineIP=host:1:pw\r\n");
  TVL_Trivane& c = Start();
  c.OnTimer();
  EXPECT_EQ(journal, (Journal{"IPReader_Init", "IPReader_Init", "Studio_Init", "Server_Init",
                              "Online_Init"}));
  EXPECT_EQ(c.Status().Cell(6, 2), "Wait");
  EXPECT_EQ(c.Status().Cell(7, 1), "Port 9100");
  EXPECT_EQ(c.Status().Cell(8, 1), "RUZoveve");

  const auto mark = journal.size();
  c.OnTimer();
  EXPECT_EQ(Since(mark),
            (Journal{"IPReader_ReadComm", "Studio_Send_Tick", "TCPServer_OTick", "Online_Tick"}));
}

TEST_F(ControllerTest, OnlineWithoutHostIsAnErrorAndNotStarted) {
  WriteIni("SrcMode=1\r\nDstMode=4\r\n");
  TVL_Trivane& c = Start();
  c.OnTimer();
  EXPECT_EQ(c.Status().Cell(8, 2), "Error");
  EXPECT_EQ(c.Status().Color(8), 0xFF0000u);
  EXPECT_EQ(view.log.back().message, "HOST don't define!");
  EXPECT_EQ(view.log.back().tag, "RUZoveve");
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "Online_Init"), 0);
}

TEST_F(ControllerTest, ReapplyingClearsOldStatesAndClearedDestinationsStopTicking) {
  WriteIni("SrcMode=1\r\nDstMode=6\r\nOnlineIP=host:1\r\n");
  TVL_Trivane& c = Start();
  c.OnTimer();
  c.SetLineStatus(7, LineStatus::Error);

  c.Config().settings.DstMode = 2;
  c.Apply_Settings();
  EXPECT_EQ(c.Status().Color(7), 0u);
  EXPECT_EQ(c.Status().Cell(7, 2), "");
  EXPECT_FALSE(c.Status().IsVisible(8));

  const auto mark = journal.size();
  c.OnTimer();
  EXPECT_EQ(Since(mark), (Journal{"IPReader_ReadComm", "TCPServer_OTick"}));
}

TEST_F(ControllerTest, TheChainServerTakesOneTurnPerPeriodHoweverOftenDataWakesTheTick) {
  WriteIni("SrcMode=1\r\nDstMode=2\r\nServerPort=9100\r\n");
  TVL_Trivane& c = Start();
  c.OnTimer();
  const auto turns = [&] { return std::count(journal.begin(), journal.end(), "TCPServer_OTick"); };
  // With nothing queued every tick is the server's turn: its peers' backlogs
  // are pushed on, and no later entry is held back for it.
  c.OnTimer();
  c.OnTimer();
  EXPECT_EQ(turns(), 2);

  // A burst: data on a source wakes the tick three times within one
  // millisecond, and one entry leaves.
  RawQueue& queue = server->queue;
  for (int i = 0; i < 5; ++i) queue.push_back(TRawMsg{});
  for (int i = 0; i < 3; ++i) c.OnTimer();
  EXPECT_EQ(turns(), 3);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "IPReader_ReadComm"), 5);

  // Until its turn the server's sockets are not waited for, only its turn is.
  WakePlan plan;
  c.PlanWake(plan);
  ASSERT_EQ(plan.Sockets().size(), 1u);
  EXPECT_EQ(plan.Sockets()[0].socket, FakeSources::kSourceSocket);
  EXPECT_EQ(plan.Due(), c.GetTick64() + TVL_Trivane::kTickIntervalMs);

  clock.Advance(9);
  c.OnTimer();
  EXPECT_EQ(turns(), 3);
  clock.Advance(1);
  WakePlan at_turn;
  c.PlanWake(at_turn);
  EXPECT_EQ(at_turn.Sockets().size(), 2u);
  EXPECT_FALSE(at_turn.Due());
  c.OnTimer();
  EXPECT_EQ(turns(), 4);
}

int RegionLines(const FakeView& view) {
  return static_cast<int>(std::count_if(view.log.begin(), view.log.end(), [](const LogEntry& e) {
    return e.message == "--> REGION <---: 60.000, Over: 0.000, Extra: 0.000" && e.tag == "UECP";
  }));
}

TEST_F(ControllerTest, PendingBlockIsSentWhenDueOnlyWithTheStudioDestination) {
  WriteIni("SrcMode=1\r\nDstMode=2\r\n");
  TVL_Trivane& c = Start();
  c.OnTimer();
  c.OnTimer();
  c.Router().Pending().Schedule(TRegionBlock{.Size = 60000}, c.NowTick() + 20,
                                Origin::TcpSource(0));

  for (int i = 0; i < 5; ++i) {
    clock.Advance(10);
    c.OnTimer();
  }
  EXPECT_EQ(RegionLines(view), 0);
  EXPECT_GT(c.Router().Pending().DueTick(), 0);  // still waiting, unsent

  c.Config().settings.DstMode = 3;
  clock.Advance(10);
  c.OnTimer();
  EXPECT_EQ(RegionLines(view), 1);
  EXPECT_EQ(c.Router().Pending().DueTick(), 0);
  clock.Advance(10);
  c.OnTimer();
  EXPECT_EQ(RegionLines(view), 1);
}

TEST_F(ControllerTest, PendingBlockIsNotSentBeforeItsDueTime) {
  WriteIni("SrcMode=1\r\nDstMode=1\r\n");
  TVL_Trivane& c = Start();
  c.OnTimer();
  c.OnTimer();
  c.Router().Pending().Schedule(TRegionBlock{}, c.NowTick() + 1000, Origin::TcpSource(0));
  clock.Advance(990);
  c.OnTimer();
  EXPECT_GT(c.Router().Pending().DueTick(), 0);
  clock.Advance(10);
  c.OnTimer();
  EXPECT_EQ(c.Router().Pending().DueTick(), 0);
}

TEST_F(ControllerTest, TrayStartMinimisesAndRestoreHidesTheIcon) {
  WriteIni("Tray=1\r\n");
  TVL_Trivane& c = Start();
  EXPECT_FALSE(view.minimized);
  c.OnTimer();
  EXPECT_TRUE(view.minimized);
  EXPECT_TRUE(view.tray_shown);
  c.OnRestore();
  EXPECT_FALSE(view.tray_shown);

  c.Config().settings.Tray = false;
  c.OnMinimize();
  EXPECT_FALSE(view.tray_shown);
}

TEST_F(ControllerTest, CloseStopsTickingAndClosesLinksInOrder) {
  WriteIni("SrcMode=1\r\nDstMode=7\r\nOnlineIP=h:1\r\n");
  TVL_Trivane& c = Start();
  c.OnTimer();
  const auto mark = journal.size();

  EXPECT_FALSE(c.FormClose());
  EXPECT_TRUE(view.close_dialog);
  EXPECT_FALSE(c.CloseDone());
  c.OnTimer();
  EXPECT_EQ(Since(mark),
            (Journal{"AttemptsDone", "IPReader_Bye", "Studio_Bye", "Server_Bye", "Online_Bye"}));
  EXPECT_TRUE(c.CloseDone());
  EXPECT_FALSE(c.TimerEnabled());
  EXPECT_EQ(view.close_requests, 1);

  EXPECT_TRUE(c.FormClose());
  EXPECT_FALSE(view.close_dialog);
}

TEST_F(ControllerTest, CloseWaitsForARunningConnectAttempt) {
  TVL_Trivane& c = Start();
  c.OnTimer();
  sources->attempts_done = false;
  const auto mark = journal.size();

  EXPECT_FALSE(c.FormClose());
  for (int i = 0; i < 5; ++i) c.OnTimer();
  EXPECT_EQ(Since(mark), Journal(5, "AttemptsDone"));
  EXPECT_FALSE(c.CloseDone());
  EXPECT_TRUE(view.close_dialog);

  sources->attempts_done = true;
  c.OnTimer();
  EXPECT_EQ(Since(mark + 5),
            (Journal{"AttemptsDone", "IPReader_Bye", "Studio_Bye", "Server_Bye", "Online_Bye"}));
  EXPECT_TRUE(c.CloseDone());
}

TEST_F(ControllerTest, CloseBeforeTheFirstTickNeverAppliesTheSettings) {
  WriteIni("SrcMode=1\r\nDstMode=7\r\nOnlineIP=h:1\r\n");
  TVL_Trivane& c = Start();
  CloseCompletely(c);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "Server_Init"), 0);
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "Online_Init"), 0);
}

TEST_F(ControllerTest, HintsComeFromTheLinksLastErrors) {
  TVL_Trivane& c = Start();
  sources->err_texts[1] = "Connection refused";
  online->err_text = "Bad password";
  EXPECT_EQ(c.StatusHint(3), "Connection refused");
  EXPECT_EQ(c.StatusHint(8), "Bad password");
  EXPECT_EQ(c.StatusHint(7), "");
  EXPECT_FALSE(c.StatusHint(6).has_value());
}

TEST_F(ControllerTest, AReloadAppliesTheFileAsItIsNowAndLogsIt) {
  WriteIni("SrcMode=1\r\nDstMode=2\r\nSrcIP=alpha:5001\r\n");
  TVL_Trivane& c = Start();
  c.OnTimer();
  ASSERT_TRUE(c.Running());
  WriteIni("SrcMode=1\r\nDstMode=2\r\nSrcIP=beta:5002\r\nSrcIP1=gamma:5003\r\n");
  const auto mark = journal.size();

  c.ReloadSettings();
  EXPECT_EQ(c.Config().settings.SrcIP[0].Host, "beta");
  EXPECT_EQ(c.Status().Cell(2, 1), "beta:5002");
  EXPECT_TRUE(c.Status().IsVisible(3));
  // The links are asked to run what is configured; each keeps what did not change.
  const Journal applied = Since(mark);
  EXPECT_NE(std::find(applied.begin(), applied.end(), "IPReader_Init"), applied.end());
  EXPECT_NE(std::find(applied.begin(), applied.end(), "Server_Init"), applied.end());
  ASSERT_FALSE(view.log.empty());
  EXPECT_EQ(view.log.back().message, "Settings read again from " + (dir / "trivane.ini").string());
  EXPECT_EQ(view.log.back().tag, "Settings");
}

TEST_F(ControllerTest, AReloadThatCannotReadTheFileKeepsTheRunningSettings) {
  WriteIni("SrcMode=1\r\nDstMode=2\r\nSrcIP=alpha:5001\r\n");
  TVL_Trivane& c = Start();
  c.OnTimer();
  std::filesystem::remove(dir / "trivane.ini");
  std::filesystem::create_directory(dir / "trivane.ini");  // unreadable as a file, even for root
  const auto mark = journal.size();

  c.ReloadSettings();
  EXPECT_EQ(c.Config().settings.SrcIP[0].Host, "alpha");
  EXPECT_EQ(c.Config().settings.DstMode, 2);
  EXPECT_TRUE(Since(mark).empty()) << "nothing was applied";
  EXPECT_EQ(view.log.back().message, "The settings file " + (dir / "trivane.ini").string() +
                                         " cannot be read: the running settings stay");

  std::filesystem::remove(dir / "trivane.ini");
  c.ReloadSettings();
  EXPECT_EQ(c.Config().settings.SrcIP[0].Host, "alpha") << "a missing file is no empty one";
}

TEST_F(ControllerTest, AReloadBeforeTheFirstTickIsTakenByItAndOneWhileClosingIsIgnored) {
  WriteIni("SrcMode=1\r\nDstMode=2\r\nSrcIP=alpha:5001\r\n");
  TVL_Trivane& c = Start();
  WriteIni("SrcMode=1\r\nDstMode=2\r\nSrcIP=beta:5002\r\n");
  c.ReloadSettings();
  EXPECT_FALSE(c.Running());
  c.OnTimer();
  EXPECT_EQ(c.Status().Cell(2, 1), "beta:5002");

  EXPECT_FALSE(c.FormClose());
  EXPECT_FALSE(c.Running());
  WriteIni("SrcMode=1\r\nDstMode=2\r\nSrcIP=gamma:5003\r\n");
  const auto mark = journal.size();
  c.ReloadSettings();
  EXPECT_EQ(c.Config().settings.SrcIP[0].Host, "beta");
  EXPECT_TRUE(Since(mark).empty());
}

TEST(ControllerWithoutLinks, RunsAndClosesWithEveryLinkAbsent) {
  testing::TempDir dir;
  testing::FakeClock clock;
  FakeView view;
  const auto codepage = SystemTextCodec::Open("WINDOWS-1251");
  TVL_Trivane c(clock, view, {dir / "none.ini", dir / "Log"}, *codepage, {});
  for (int i = 0; i < 3; ++i) c.OnTimer();
  EXPECT_FALSE(c.FormClose());
  c.OnTimer();
  EXPECT_EQ(view.close_requests, 1);
  EXPECT_TRUE(c.FormClose());
}

}  // namespace
}  // namespace trivane
