#include "tests/support/process_usage.h"

namespace testing_support {

namespace {

DWORD CountOpenHandles() {
  DWORD count = 0;
  for (ULONG_PTR value = 4; value < 0x20000; value += 4) {
    DWORD flags;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

SIZE_T HeapBytesInUse() {
  HANDLE heaps[64];
  const DWORD count = GetProcessHeaps(64, heaps);
  SIZE_T total = 0;
  for (DWORD i = 0; i < count && i < 64; ++i) {
    if (!HeapLock(heaps[i])) continue;
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    }
    HeapUnlock(heaps[i]);
  }
  return total;
}

}  // namespace

ProcessUsage MeasureProcessUsage() {
  ProcessUsage usage;
  usage.handles = CountOpenHandles();
  usage.heap_bytes = HeapBytesInUse();
  return usage;
}

}  // namespace testing_support
