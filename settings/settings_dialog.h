#pragma once

#include <windows.h>

namespace settings {

// The config entry's body: the modal settings dialog, owned by the player's
// window. Returns when it has closed.
void ShowSettingsDialog();

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wparam,
                                    LPARAM lparam);

}  // namespace settings
