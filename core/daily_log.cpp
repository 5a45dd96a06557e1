#include "core/daily_log.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>

#include "base/formatting.h"

namespace trivane {
namespace {

// "60.0 (01:00.0)": seconds with one decimal, then minutes and seconds.
std::string Amount(std::uint32_t ms) {
  const double seconds = ms / 1000.0;
  return FormatFixed(seconds, 1) + " (" + FormatDuration(6, seconds) + ")";
}

}  // namespace

DailyLog::DailyLog(std::filesystem::path directory, Clock& clock)
    : directory_(std::move(directory)), clock_(clock) {}

void DailyLog::Write_Log(std::uint32_t size, std::uint32_t over, std::uint32_t extra,
                         std::string_view name) {
  const TDateTime now = clock_.Now();
  std::string line(name);
  line += " " + LongTimeString(now) + " : Size=" + Amount(size) + ", Over=" + Amount(over);
  if (extra != 0) line += ", Extra=" + Amount(extra);
  AppendLine(line, now);
}

void DailyLog::Write_Error(int source, const TReadComm& comm) {
  const TDateTime now = clock_.Now();
  std::string line = "Src:" + std::to_string(static_cast<std::int64_t>(source) + 1) + ". Data (" +
                     std::to_string(comm.Count) + ") " + LongTimeString(now) + " : ";
  const auto held =
      std::clamp<std::int64_t>(comm.Count, 0, static_cast<std::int64_t>(comm.Data.size()));
  line.append(comm.Data.begin(), comm.Data.begin() + held);
  AppendLine(line, now);
}

void DailyLog::AppendLine(std::string_view line, TDateTime now) {
  std::error_code error;
  std::filesystem::create_directories(directory_, error);
  if (error) return;

  std::ofstream file(directory_ / (FormatDateTime("YY-MM-DD", now) + ".txt"),
                     std::ios::binary | std::ios::app);
  if (!file) return;
  // A failed write leaves the stream failed; the line is lost either way and
  // the next one tries afresh.
  file.write(line.data(), static_cast<std::streamsize>(line.size()));
  file.write("\r\n", 2);
  file.flush();
}

}  // namespace trivane
