#include "receiver/system/clock.h"

#include <windows.h>

#include <cstdio>

namespace receiver {

std::int64_t UnixMillisecondsNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) |
      now.dwLowDateTime;
  // FILETIME counts 100 ns steps from 1601-01-01.
  return static_cast<std::int64_t>(ticks / 10000u) - 11644473600000LL;
}

std::int64_t UnixSecondsNow() { return UnixMillisecondsNow() / 1000; }

int LocalOffsetMinutes() {
  SYSTEMTIME local;
  GetLocalTime(&local);
  FILETIME utc;
  GetSystemTimeAsFileTime(&utc);
  FILETIME local_file;
  if (!SystemTimeToFileTime(&local, &local_file)) return 0;
  const auto ticks = [](const FILETIME& time) {
    return static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
        time.dwLowDateTime);
  };
  const std::int64_t minutes =
      (ticks(local_file) - ticks(utc)) / (10000000LL * 60);
  // The two readings are moments apart; zones are whole quarter hours.
  const std::int64_t quarters = (minutes + (minutes < 0 ? -7 : 7)) / 15;
  return static_cast<int>(quarters * 15);
}

std::string LocalClockText() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char text[16];
  std::snprintf(
      text, sizeof text, "%02u:%02u:%02u", static_cast<unsigned>(now.wHour),
      static_cast<unsigned>(now.wMinute), static_cast<unsigned>(now.wSecond));
  return text;
}

}  // namespace receiver
