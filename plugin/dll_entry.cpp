#include <windows.h>

#include "plugin/lifecycle.h"
#include "plugin/trigger.h"

// The entry does more than usual on purpose: it decides whether the plug-in
// may load at all, and thread starts and ends are the plug-in's only signal
// that something happened in the player.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      return plugin::AttachToPlayer() ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
      plugin::DetachFromPlayer(reserved != nullptr);
      return FALSE;
    default:
      plugin::TriggerTest();
      return FALSE;
  }
}
