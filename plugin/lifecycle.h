#pragma once

#include <windows.h>

namespace plugin {

// Process attach: finds the player and registers the DDE service. On failure
// shows why and returns false, so the DLL does not load.
bool AttachToPlayer();

// Process detach: stops the timers and, if quit never came, ends the DDE
// service, whose callback lies in this module. At process end only the
// timers are stopped, since other threads are already gone.
void DetachFromPlayer(bool process_ending);

// The record's three entries.
int Init();
void Config();
void Quit();

}  // namespace plugin
