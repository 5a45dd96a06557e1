// The window's tick while its event log is repainted: the real window, its
// controller and its ticks, over a source that logs one entry on every tick
// once the log is full, so that every tick inserts a row, drops the oldest
// and the view repaints between ticks. A quiet run (one entry a second) goes
// first for comparison. Each tick's start is timed, and so is the logging
// inside the tick, where the view is told of the new row.
//
//   trivane_window_bench [SECONDS]   (default 20 per run; offscreen unless a
//                                     display is named, e.g. under xvfb-run)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/controller.h"
#include "gui/main_window.h"
#include "gui/window_front_end.h"
#include "platform/system_clock.h"
#include "platform/system_text_codec.h"
#include "settings/run_key_store.h"
#include "support/temp_dir.h"

namespace trivane {
namespace {

using Steady = std::chrono::steady_clock;

double Ms(Steady::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

struct NoRunKeys : RunKeyStore {
  bool Open(RunKeyHive, bool) override { return false; }
  std::vector<RunValue> Values(RunKeyHive) override { return {}; }
  bool WriteUserValue(std::string_view, std::string_view) override { return false; }
  bool DeleteUserValue(std::string_view) override { return false; }
};

// Logs like a busy source: every `every`-th tick one region-block line.
struct LoggingSource : SourceReaders {
  explicit LoggingSource(LinkHost& link_host) : host(link_host) {}
  void IPReader_Init() override {}
  void IPReader_Bye() override {}
  void IPReader_ReadComm() override {
    const auto start = Steady::now();
    if (last != Steady::time_point{}) gaps.push_back(Ms(start - last));
    last = start;
    if (++ticks % every != 0) return;
    host.OutLog(0, "Region block: size 60.000 over 120.000 extra 0.000 #" + std::to_string(ticks),
                "VL3");
    logging.push_back(Ms(Steady::now() - start));
  }
  bool AttemptsDone() override { return true; }
  std::string ErrText(int) const override { return {}; }
  // A busy source has data every 10 ms.
  void PlanWake(WakePlan& plan) override { plan.DueAt(host.NowTick() + 10); }

  void Reset(int log_every) {
    every = log_every;
    gaps.clear();
    logging.clear();
    last = {};
  }

  LinkHost& host;
  int every = 100;
  long ticks = 0;
  Steady::time_point last{};
  std::vector<double> gaps;     // from one tick's start to the next
  std::vector<double> logging;  // the OutLog call, the view's row insert included
};

void Report(const char* run, const LoggingSource& source) {
  const auto skipped =
      std::count_if(source.gaps.begin(), source.gaps.end(), [](double gap) { return gap > 15.0; });
  std::printf(
      "%-28s ticks %zu, gap ms median %.2f p99 %.2f max %.2f, gaps over 15 ms %ld; "
      "logging in the tick ms median %.3f p99 %.3f max %.3f\n",
      run, source.gaps.size() + 1, Percentile(source.gaps, 0.5), Percentile(source.gaps, 0.99),
      Percentile(source.gaps, 1.0), static_cast<long>(skipped), Percentile(source.logging, 0.5),
      Percentile(source.logging, 0.99), Percentile(source.logging, 1.0));
  std::fflush(stdout);
}

int Bench(int& argc, char** argv, int seconds) {
  WindowApplication application(argc, argv);
  const auto run_for = [&application](int run_seconds) {
    application.RunFor(std::chrono::seconds(run_seconds));
  };
  testing::TempDir dir;
  testing::WriteFileBytes(dir / "trivane.ini", "[Settings]\r\nSrcMode=1\r\nDstMode=2\r\n");
  SystemClock clock;
  const auto codepage = SystemTextCodec::Open("WINDOWS-1251");
  NoRunKeys run_keys;
  LoggingSource* source = nullptr;

  WindowSetup setup;
  setup.clock = &clock;
  setup.paths = ControllerPaths{dir / "trivane.ini", dir / "Log"};
  setup.codepage = codepage.get();
  setup.make_parts = [&source](LinkHost& host) {
    ControllerParts parts;
    auto readers = std::make_unique<LoggingSource>(host);
    source = readers.get();
    parts.sources = std::move(readers);
    return parts;
  };
  setup.autostart = &run_keys;
  WindowFrontEnd front_end(setup);
  front_end.Start();
  std::printf("platform %s, %d s per run\n", application.PlatformName().c_str(), seconds);

  run_for(1);
  source->Reset(100);
  run_for(seconds);
  Report("quiet (1 entry/s)", *source);

  source->Reset(1);
  run_for(3);  // the log fills to its cap
  source->Reset(1);
  run_for(seconds);
  Report("full log, 1 entry per tick", *source);
  return 0;
}

}  // namespace
}  // namespace trivane

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  return trivane::Bench(argc, argv, seconds);
}
