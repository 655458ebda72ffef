#include <windows.h>

#include "plugin/lifecycle.h"
#include "plugin/runtime_handles.h"
#include "plugin/trigger.h"

namespace __gnu_cxx {
void __freeres();  // releases libstdc++'s emergency exception buffer
}  // namespace __gnu_cxx

// The entry does more than usual on purpose: it decides whether the plug-in
// may load at all, and thread starts and ends are the plug-in's only signal
// that something happened in the player.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      return plugin::AttachToPlayer() ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
      plugin::DetachFromPlayer(reserved != nullptr);
      // The static libstdc++ in this DLL would otherwise leave its buffer
      // behind in the player at every unload.
      if (reserved == nullptr) {
        __gnu_cxx::__freeres();
        plugin::CloseRuntimeHandles();
      }
      return FALSE;
    default:
      plugin::TriggerTest();
      return FALSE;
  }
}
