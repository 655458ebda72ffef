#pragma once

#include <cstdint>

// Dates and times of day from seconds since 1970 and back, with no time zone
// of their own (H. Hinnant's civil-from-days algorithms).
namespace receiver {

struct Civil {
  int year, month, day, hour, minute, second;
};

Civil ToCivil(std::int64_t seconds);

std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);

}  // namespace receiver
