#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "base/clock.h"
#include "protocols/records.h"

namespace trivane {

// The daily text file ("YY-MM-DD.txt" in the log directory): region blocks in
// and out, and source data given up as invalid. Each line is opened, written,
// flushed and closed on its own, so it is on disk when the call returns; any
// failure drops the line silently and the next line tries again.
class DailyLog {
 public:
  DailyLog(std::filesystem::path directory, Clock& clock);

  // name is "In" or "Out"; times in milliseconds.
  void Write_Log(std::uint32_t size, std::uint32_t over, std::uint32_t extra,
                 std::string_view name);
  // source 0..3; the held bytes are written unchanged, control bytes included.
  void Write_Error(int source, const TReadComm& comm);

  const std::filesystem::path& Directory() const { return directory_; }

 private:
  // now names the file, so a line and its file always agree on the date.
  void AppendLine(std::string_view line, TDateTime now);

  std::filesystem::path directory_;
  Clock& clock_;
};

}  // namespace trivane
