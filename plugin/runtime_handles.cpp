#include "plugin/runtime_handles.h"

#include <windows.h>

// The static runtime of the win32 thread model gives each of its locks (the
// unwinder's frame list, the exception allocator, thread-local storage) a
// semaphore that nothing closes, so every unload left handles in the player.
// Only the runtime creates semaphores in this DLL: its import of
// CreateSemaphoreW is pointed here, and each handle is kept to be closed.
#if defined(__i386__)

namespace {

constexpr LONG kMaxSemaphores = 16;
HANDLE semaphores[kMaxSemaphores];
volatile LONG semaphore_count = 0;

HANDLE WINAPI RecordingCreateSemaphoreW(LPSECURITY_ATTRIBUTES attributes,
                                        LONG initial, LONG maximum,
                                        LPCWSTR name) {
  const HANDLE semaphore = CreateSemaphoreExW(attributes, initial, maximum,
                                              name, 0, SEMAPHORE_ALL_ACCESS);
  if (semaphore == nullptr) return nullptr;
  const LONG slot = InterlockedIncrement(&semaphore_count) - 1;
  if (slot < kMaxSemaphores) semaphores[slot] = semaphore;
  return semaphore;
}

}  // namespace

extern "C" {
extern void* const recording_create_semaphore __asm__(
    "__imp__CreateSemaphoreW@16");
void* const recording_create_semaphore =
    reinterpret_cast<void*>(&RecordingCreateSemaphoreW);
}

namespace plugin {

void CloseRuntimeHandles() {
  // The runtime's locks are no longer taken by anyone at this point; the
  // deregistration that follows takes the unwinder's lock uncontended, which
  // never touches its semaphore.
  const LONG count = semaphore_count;
  for (LONG i = 0; i < count && i < kMaxSemaphores; ++i) {
    CloseHandle(semaphores[i]);
  }
  semaphore_count = 0;
}

}  // namespace plugin

#else

namespace plugin {

// The 64-bit build uses the posix thread model, whose locks own no handles.
void CloseRuntimeHandles() {}

}  // namespace plugin

#endif
