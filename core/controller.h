#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "base/clock.h"
#include "base/file_version.h"
#include "base/text_codec.h"
#include "base/tick64.h"
#include "base/wake_plan.h"
#include "core/controller_view.h"
#include "core/daily_log.h"
#include "core/event_log.h"
#include "core/status_grid.h"
#include "links/link_host.h"
#include "links/links.h"
#include "links/relay_metrics.h"
#include "links/router.h"
#include "protocols/records.h"
#include "settings/settings.h"

namespace trivane {

// The version this build was made as.
FileVersion BuiltFileVersion();

struct ControllerPaths {
  std::filesystem::path ini_file;
  std::filesystem::path log_dir;
};

// The controller: owns every link, runs the tick that drives all reading and
// sending (on data and at the timed rules' due times), applies the settings
// and closes in two phases.
//
//   Created --first tick--> Applying --> Running --FormClose--> Closing
//   Closing --all connect attempts done, links closed--> Closed --FormClose--> gone
class TVL_Trivane final : public LinkHost {
 public:
  static constexpr int kTickIntervalMs = 10;

  // Runs FormCreate: the caption, grid headers, "Program started", the
  // settings, and arms the timer for FirstTick.
  // version: the program's file version for the caption, as the system tells
  // it (on Windows, the program's version resource).
  TVL_Trivane(Clock& clock, ControllerView& view, ControllerPaths paths, const TextCodec& codepage,
              const PartsFactory& make_parts, FileVersion version = BuiltFileVersion());
  ~TVL_Trivane() override;

  TVL_Trivane(const TVL_Trivane&) = delete;
  TVL_Trivane& operator=(const TVL_Trivane&) = delete;

  // The front end's timer: call OnTimer only while TimerEnabled, whenever
  // PlanWake's sockets are ready or its due time has come.
  bool TimerEnabled() const { return handler_ != TimerHandler::None; }
  void OnTimer();
  // What the next OnTimer would act on. The chain server's one entry per
  // tick stays one per kTickIntervalMs, however often the tick runs.
  void PlanWake(WakePlan& plan);
  // How a link's WakeDriver reaches the front end's wait, from any thread;
  // null once that wait is gone.
  void SetWake(std::function<void()> wake);

  // The window's close request; true lets the window go.
  bool FormClose();
  // The Settings button: the dialog, then the settings applied again after a
  // successful Save, whether or not anything was changed.
  void SBSettingsClick();
  // The test panel's send button: its three spin values, in seconds.
  void SBAuthorClick(double block_seconds, double over_seconds, double extra_seconds);
  void OnMinimize();
  void OnRestore();
  void Apply_Settings();
  // The settings file read again and applied, for a reload asked from outside
  // (SIGHUP): links whose settings did not change keep their connections. A
  // file that cannot be read leaves the running settings, and the log says so.
  void ReloadSettings();
  // The settings have been applied and the links run: not before the first
  // tick, nor once the close has begun.
  bool Running() const { return handler_ == TimerHandler::TimerTick; }

  // The hint over a status column, or nothing when it must not change.
  std::optional<std::string> StatusHint(int column) const;

  EventLog& Log() { return log_; }
  StatusGrid& Status() { return status_; }
  SettingsState& Config() { return config_; }
  bool CloseDone() const { return close_done_; }

  // LinkHost
  void OutLog(int link, std::string_view message, std::string_view tag) override;
  void OutError(int link, std::string_view message, std::string_view tag) override;
  void SetLineStatus(int column, LineStatus status) override;
  void MarkLastData(int column) override;
  const TSettings& Settings() const override { return config_.settings; }
  std::int64_t NowTick() const override { return now_tick_; }
  std::int64_t GetTick64() override { return tick64_.GetTick64(); }
  TDateTime Now() override { return clock_.Now(); }
  // For the station's monitoring; readable from another thread.
  RelayMetrics& Metrics() override { return metrics_; }
  void Write_Error(int source, const TReadComm& comm) override;
  void Write_Log(std::uint32_t size, std::uint32_t over, std::uint32_t extra,
                 std::string_view name) override;
  const TextCodec& Codepage() const override { return codepage_; }
  UnitRouter& Router() override { return router_; }
  void WakeDriver() override;

 private:
  enum class TimerHandler { None, FirstTick, TimerTick, FormCloseTick };

  void FormCreate();
  void FirstTick();
  void TimerTick();
  void FormClose_Tick();
  void ApplySource();
  void ApplyDestinations();
  bool ServerEntryWaits();
  bool ServerWaitsForItsTurn();

  Clock& clock_;
  ControllerView& view_;
  ControllerPaths paths_;
  Tick64 tick64_;
  RelayMetrics metrics_;
  EventLog log_;
  StatusGrid status_;
  DailyLog files_;
  SettingsState config_;
  const TextCodec& codepage_;
  ControllerParts parts_;
  UnitRouter router_{*this, parts_};
  TimerHandler handler_ = TimerHandler::None;
  std::int64_t now_tick_ = 0;
  std::int64_t server_tick_ = INT64_MIN / 2;  // the chain server's last turn
  std::mutex wake_lock_;
  std::function<void()> wake_;
  bool close_done_ = false;
  FileVersion version_;
};

std::string WindowCaption(const FileVersion& version = BuiltFileVersion());

}  // namespace trivane
