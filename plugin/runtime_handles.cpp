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

using CreateSemaphoreWFunction = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LONG,
                                                 LONG, LPCWSTR);

// The system's own CreateSemaphoreW, which the import slot no longer reaches.
// Looked up rather than replaced by CreateSemaphoreExW, which Windows XP lacks.
// No function-local static: its guard would take a runtime lock, whose
// semaphore comes from here.
CreateSemaphoreWFunction system_create_semaphore = nullptr;

HANDLE WINAPI RecordingCreateSemaphoreW(LPSECURITY_ATTRIBUTES attributes,
                                        LONG initial, LONG maximum,
                                        LPCWSTR name) {
  if (system_create_semaphore == nullptr) {
    const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    if (kernel32 == nullptr) return nullptr;
    // Through void (*)(), the one pointer type GCC lets convert to any other.
    system_create_semaphore =
        reinterpret_cast<CreateSemaphoreWFunction>(reinterpret_cast<void (*)()>(
            GetProcAddress(kernel32, "CreateSemaphoreW")));
    if (system_create_semaphore == nullptr) return nullptr;
  }
  const HANDLE semaphore =
      system_create_semaphore(attributes, initial, maximum, name);
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
