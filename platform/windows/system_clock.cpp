#include <windows.h>

#include "platform/system_clock.h"

namespace trivane {

std::uint32_t SystemClock::GetTickCount() {
  // The 32-bit tick itself: its wrap every 49.7 days is the core's to handle.
  return ::GetTickCount();
}

TDateTime SystemClock::Now() {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  const DateTimeFields fields{.year = local.wYear,
                              .month = local.wMonth,
                              .day = local.wDay,
                              .hour = local.wHour,
                              .minute = local.wMinute,
                              .second = local.wSecond,
                              .millisecond = local.wMilliseconds};
  return EncodeDateTime(fields).value_or(0);
}

}  // namespace trivane
