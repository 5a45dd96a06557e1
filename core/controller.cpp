#include "core/controller.h"

#include <array>
#include <string>
#include <utility>

#include "app_version.h"
#include "base/formatting.h"
#include "base/path_text.h"
#include "settings/settings_store.h"

namespace trivane {
namespace {

constexpr std::string_view kApplicationTitle = "Veltora Trivane";
constexpr std::string_view kSettingsTag = "Settings";

void CallIf(auto* link, auto operation) {
  if (link != nullptr) (link->*operation)();
}

}  // namespace

FileVersion BuiltFileVersion() {
  return {kVersionMajor, kVersionMinor, kVersionRelease, kVersionBuild};
}

std::string WindowCaption(const FileVersion& version) {
  return std::string(kApplicationTitle) + " (ver." + std::to_string(version.major) + "." +
         std::to_string(version.minor) + "." + std::to_string(version.release) + "." +
         std::to_string(version.build) + ")";
}

TVL_Trivane::TVL_Trivane(Clock& clock, ControllerView& view, ControllerPaths paths,
                         const TextCodec& codepage, const PartsFactory& make_parts,
                         FileVersion version)
    : clock_(clock),
      view_(view),
      paths_(std::move(paths)),
      tick64_(clock),
      files_(paths_.log_dir, clock),
      codepage_(codepage),
      version_(version) {
  log_.AddObserver(&view_);
  status_.AddObserver(&view_);
  if (make_parts) parts_ = make_parts(*this);
  FormCreate();
}

TVL_Trivane::~TVL_Trivane() = default;

void TVL_Trivane::FormCreate() {
  close_done_ = false;
  status_.ResetColors();
  // The settings are not loaded yet: every source is empty and stays stopped.
  CallIf(parts_.sources.get(), &SourceReaders::IPReader_Init);

  view_.SetCaption(WindowCaption(version_));
  view_.SetTrayHint(std::string(kApplicationTitle));

  using namespace status_column;
  status_.SetCell(kStudioSource, 0, "ZUDovivi->");
  for (int i = 0; i < kSourceCount; ++i) {
    status_.SetCell(kFirstSource + i, 0, "Src IP " + std::to_string(i + 1));
  }
  status_.SetCell(kStudioDest, 0, "->ZUDovivi");
  status_.SetCell(kServer, 0, "IPServer");
  status_.SetCell(kOnline, 0, "Out RUZoveve");
  status_.SetCell(kLabels, 1, "Port/PID");
  status_.SetCell(kLabels, 2, "Last data");

  OutLog(-1, "Program started", "");
  Load_Settings(paths_.ini_file, config_);
  view_.ShowTestPanel(config_.Author);
  handler_ = TimerHandler::FirstTick;
}

void TVL_Trivane::OnTimer() {
  switch (handler_) {
    case TimerHandler::FirstTick:
      FirstTick();
      break;
    case TimerHandler::TimerTick:
      TimerTick();
      break;
    case TimerHandler::FormCloseTick:
      FormClose_Tick();
      break;
    case TimerHandler::None:
      break;
  }
}

void TVL_Trivane::FirstTick() {
  handler_ = TimerHandler::None;
  if (config_.settings.Tray) view_.MinimizeApplication();
  Apply_Settings();
  handler_ = TimerHandler::TimerTick;
}

void TVL_Trivane::Apply_Settings() {
  // Stray spaces or controls from a hand-edited file are not shown, nor saved
  // again by the dialog.
  TSettings& s = config_.settings;
  for (TIPPortSett& source : s.SrcIP) source.Host = std::string(TrimControl(source.Host));
  status_.ResetColors();
  for (int column = 0; column < RelayMetrics::kColumns; ++column) {
    metrics_.SetState(column, LineStatus::None);
  }
  for (int column = 1; column < StatusGrid::kColumns; ++column) {
    status_.SetCell(column, 1, "");
    status_.SetCell(column, 2, "");
  }
  ApplySource();
  ApplyDestinations();
  status_.Resize_SGStatus();
  // New links bring new sockets and due times to wait for.
  WakeDriver();
}

void TVL_Trivane::ApplySource() {
  using namespace status_column;
  TSettings& s = config_.settings;

  if (s.SrcMode == kSrcStudio) {
    CallIf(parts_.studio.get(), &StudioLink::Studio_Init);
    status_.SetCell(kStudioSource, 1, "PID " + std::to_string(s.PID));
    SetLineStatus(kStudioSource, LineStatus::Wait);
    log_.SetWidth(EventLog::kSourceColumn, 1);
    // Back from a TCP source, the column must show again; at start it is
    // visible already and keeps its width.
    if (!status_.IsVisible(kStudioSource)) status_.MarkVisible(kStudioSource, true);
  } else {
    status_.MarkVisible(kStudioSource, false);
    // Back from the studio, the log's source numbers must be readable again.
    if (log_.Widths()[EventLog::kSourceColumn] == 1) {
      log_.SetWidth(EventLog::kSourceColumn, EventLog::kInitialWidths[EventLog::kSourceColumn]);
    }
  }

  if (s.SrcMode == kSrcTcp) {
    if (!s.HasDestination(kDstStudio)) CallIf(parts_.studio.get(), &StudioLink::Studio_Bye);
    CallIf(parts_.sources.get(), &SourceReaders::IPReader_Init);
    for (int i = 0; i < kSourceCount; ++i) {
      const TIPPortSett& source = s.SrcIP[static_cast<std::size_t>(i)];
      const bool configured = !source.Host.empty();
      status_.SetCell(kFirstSource + i, 1,
                      configured ? source.Host + ":" + std::to_string(source.Port) : "");
      status_.MarkVisible(kFirstSource + i, configured);
    }
  } else {
    CallIf(parts_.sources.get(), &SourceReaders::IPReader_Bye);
    for (int i = 0; i < kSourceCount; ++i) status_.MarkVisible(kFirstSource + i, false);
  }
}

void TVL_Trivane::ApplyDestinations() {
  using namespace status_column;
  TSettings& s = config_.settings;

  if (s.HasDestination(kDstStudio)) {
    CallIf(parts_.studio.get(), &StudioLink::Studio_Init);
    status_.SetCell(kStudioDest, 1, "PID " + std::to_string(s.PID));
    status_.MarkVisible(kStudioDest, true);
    SetLineStatus(kStudioDest, LineStatus::Wait);
  } else {
    status_.MarkVisible(kStudioDest, false);
  }

  if (s.HasDestination(kDstServer)) {
    status_.MarkVisible(kServer, true);
    status_.SetCell(kServer, 1, "Port " + std::to_string(s.ServerPort));
    CallIf(parts_.server.get(), &ServerLink::Server_Init);
  } else {
    status_.MarkVisible(kServer, false);
  }

  if (s.HasDestination(kDstOnline)) {
    status_.MarkVisible(kOnline, true);
    status_.SetCell(kOnline, 1, "RUZoveve");
    if (!s.OnlineIP.Host.empty()) {
      s.OnlineIP.Host = std::string(TrimControl(s.OnlineIP.Host));
      CallIf(parts_.online.get(), &OnlineLink::Online_Init);
    } else {
      SetLineStatus(kOnline, LineStatus::Error);
      OutLog(-1, "HOST don't define!", "RUZoveve");
    }
  } else {
    status_.MarkVisible(kOnline, false);
  }
}

void TVL_Trivane::TimerTick() {
  now_tick_ = tick64_.GetTick64();
  const TSettings& s = config_.settings;

  if (s.SrcMode == kSrcStudio) {
    CallIf(parts_.studio.get(), &StudioLink::Studio_Read_Tick);
  } else if (s.SrcMode == kSrcTcp) {
    CallIf(parts_.sources.get(), &SourceReaders::IPReader_ReadComm);
  }

  if (s.HasDestination(kDstStudio)) {
    // The one pending block waits for the studio destination; it is never
    // sent anywhere while that destination is off.
    router_.SendDueBlock();
    CallIf(parts_.studio.get(), &StudioLink::Studio_Send_Tick);
  }
  if (s.HasDestination(kDstServer) && !ServerWaitsForItsTurn()) {
    if (ServerEntryWaits()) server_tick_ = now_tick_;
    CallIf(parts_.server.get(), &ServerLink::TCPServer_OTick);
  }
  if (s.HasDestination(kDstOnline)) CallIf(parts_.online.get(), &OnlineLink::Online_Tick);
}

void TVL_Trivane::PlanWake(WakePlan& plan) {
  switch (handler_) {
    case TimerHandler::None:
      return;
    case TimerHandler::FirstTick:
      plan.DueAt(tick64_.GetTick64());
      return;
    case TimerHandler::FormCloseTick:
      // The close looks for the attempts that are still running, as it did.
      plan.DueAt(tick64_.GetTick64() + kTickIntervalMs);
      return;
    case TimerHandler::TimerTick:
      break;
  }
  const TSettings& s = config_.settings;
  if (s.SrcMode == kSrcTcp && parts_.sources) parts_.sources->PlanWake(plan);
  const bool studio_runs = s.SrcMode == kSrcStudio || s.HasDestination(kDstStudio);
  if (studio_runs && parts_.studio) parts_.studio->PlanWake(plan);
  if (s.HasDestination(kDstStudio) && router_.Pending().DueTick() > 0) {
    plan.DueAt(router_.Pending().DueTick());
  }
  if (s.HasDestination(kDstServer) && parts_.server) {
    if (ServerEntryWaits() && tick64_.GetTick64() - server_tick_ < kTickIntervalMs) {
      // Its sockets wait for its turn too: watching them sooner would only
      // wake the loop to leave them alone.
      plan.DueAt(server_tick_ + kTickIntervalMs);
    } else {
      parts_.server->PlanWake(plan);
    }
  }
  if (s.HasDestination(kDstOnline) && parts_.online) parts_.online->PlanWake(plan);
}

bool TVL_Trivane::ServerEntryWaits() {
  const RawQueue* queue = parts_.server ? parts_.server->Queue() : nullptr;
  return queue != nullptr && !queue->empty();
}

// One entry leaves per period, so a burst leaves at 100 a second while one
// entry after a quiet spell leaves at once; a turn with no entry to send
// (only peers' backlogs to push) is not held back.
bool TVL_Trivane::ServerWaitsForItsTurn() {
  return ServerEntryWaits() && now_tick_ - server_tick_ < kTickIntervalMs;
}

void TVL_Trivane::SetWake(std::function<void()> wake) {
  const std::lock_guard guard(wake_lock_);
  wake_ = std::move(wake);
}

void TVL_Trivane::WakeDriver() {
  const std::lock_guard guard(wake_lock_);
  if (wake_) wake_();
}

void TVL_Trivane::ReloadSettings() {
  // Closing, the links are going anyway; before the first tick, the first
  // apply takes the file as it is read now.
  if (handler_ != TimerHandler::TimerTick && handler_ != TimerHandler::FirstTick) return;
  SettingsState reloaded = config_;
  if (!Reload_Settings(paths_.ini_file, reloaded)) {
    OutLog(-1,
           "The settings file " + PathText(paths_.ini_file) +
               " cannot be read: the running settings stay",
           kSettingsTag);
    return;
  }
  config_ = std::move(reloaded);
  if (handler_ == TimerHandler::FirstTick) return;
  OutLog(-1, "Settings read again from " + PathText(paths_.ini_file), kSettingsTag);
  Apply_Settings();
}

bool TVL_Trivane::FormClose() {
  if (!close_done_) {
    // Nothing is read or sent from now on; the links close once no connect
    // attempt is still running under them.
    handler_ = TimerHandler::FormCloseTick;
    view_.ShowCloseDialog(true);
    WakeDriver();  // the close has its own ticks to wait for
    return false;
  }
  view_.ShowCloseDialog(false);
  return true;
}

void TVL_Trivane::FormClose_Tick() {
  // Freeing a client under a running attempt would pull it from its thread;
  // every attempt is bounded by its connect time limit, so the close waits.
  if (parts_.sources && !parts_.sources->AttemptsDone()) return;
  CallIf(parts_.sources.get(), &SourceReaders::IPReader_Bye);
  CallIf(parts_.studio.get(), &StudioLink::Studio_Bye);
  CallIf(parts_.server.get(), &ServerLink::Server_Bye);
  CallIf(parts_.online.get(), &OnlineLink::Online_Bye);
  handler_ = TimerHandler::None;
  close_done_ = true;
  view_.RequestClose();
}

void TVL_Trivane::SBSettingsClick() {
  if (view_.Show_Settings()) Apply_Settings();
}

void TVL_Trivane::SBAuthorClick(double block_seconds, double over_seconds, double extra_seconds) {
  router_.SendTestBlock(block_seconds, over_seconds, extra_seconds);
  WakeDriver();  // the block waits in the queues for the next tick
}

void TVL_Trivane::OnMinimize() {
  if (config_.settings.Tray) view_.ShowTrayIcon(true);
}

void TVL_Trivane::OnRestore() {
  view_.ShowTrayIcon(false);
}

std::optional<std::string> TVL_Trivane::StatusHint(int column) const {
  std::array<std::string, kSourceCount> source_errors;
  if (parts_.sources) {
    for (int i = 0; i < kSourceCount; ++i) {
      source_errors[static_cast<std::size_t>(i)] = parts_.sources->ErrText(i);
    }
  }
  const std::string online_error = parts_.online ? parts_.online->ErrText() : std::string();
  return StatusGrid::HintFor(column, source_errors, online_error);
}

void TVL_Trivane::OutLog(int link, std::string_view message, std::string_view tag) {
  log_.Add(clock_.Now(), link, std::string(message), std::string(tag));
}

void TVL_Trivane::OutError(int link, std::string_view message, std::string_view tag) {
  log_.Add(clock_.Now(), link, std::string(message), std::string(tag), Severity::kError);
  RelayMetrics::Add(metrics_.log_errors);
}

void TVL_Trivane::SetLineStatus(int column, LineStatus status) {
  status_.SetLineStatus(column, status);
  metrics_.SetState(column, status);
}

void TVL_Trivane::MarkLastData(int column) {
  status_.MarkData(column, clock_.Now());
  metrics_.MarkData(column);
}

void TVL_Trivane::Write_Error(int source, const TReadComm& comm) {
  files_.Write_Error(source, comm);
}

void TVL_Trivane::Write_Log(std::uint32_t size, std::uint32_t over, std::uint32_t extra,
                            std::string_view name) {
  files_.Write_Log(size, over, extra, name);
}

}  // namespace trivane
