#pragma once

#include <cstdint>
#include <string>

namespace receiver {

std::int64_t UnixSecondsNow();
std::int64_t UnixMillisecondsNow();

// Local time minus UTC now, in minutes.
int LocalOffsetMinutes();

// The local time of day as HH:MM:SS, for the console.
std::string LocalClockText();

}  // namespace receiver
