#pragma once

#include <windows.h>

namespace testing_support {

// What the process holds, for leak checks: open handles and heap bytes.
struct ProcessUsage {
  DWORD handles = 0;
  SIZE_T heap_bytes = 0;
};

// Counts the open handles by asking for each handle value in turn (wine
// answers GetProcessHandleCount with 0) and sums the busy blocks of every
// heap (wine reports no private usage in the memory counters).
ProcessUsage MeasureProcessUsage();

}  // namespace testing_support
