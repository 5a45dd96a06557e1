#include "platform/system_clock.h"

#include <ctime>

namespace trivane {

std::uint32_t SystemClock::GetTickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000U +
                  static_cast<std::uint64_t>(now.tv_nsec) / 1'000'000U;
  return static_cast<std::uint32_t>(ms);  // wraps every 2^32 ms, by design
}

TDateTime SystemClock::Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  const DateTimeFields fields{.year = local.tm_year + 1900,
                              .month = local.tm_mon + 1,
                              .day = local.tm_mday,
                              .hour = local.tm_hour,
                              .minute = local.tm_min,
                              // A leap second shows as :59, not as an invalid :60.
                              .second = local.tm_sec > 59 ? 59 : local.tm_sec,
                              .millisecond = static_cast<int>(now.tv_nsec / 1'000'000)};
  return EncodeDateTime(fields).value_or(0);
}

}  // namespace trivane
