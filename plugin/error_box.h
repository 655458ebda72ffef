#pragma once

#include <windows.h>

// The modal error message boxes that the user must see.
namespace plugin {

constexpr char kLoadErrorCaption[] = "WinAmp Trackwire [ Error ]";
constexpr char kSettingsErrorCaption[] = "WinAmp Tunebeacon";

// A message box without owner, with the error icon and an OK button.
void ShowErrorBox(const char* text, const char* caption);

// Unit tests that run without a person in front of the screen replace the box
// with a recorder; nullptr restores MessageBoxA.
using MessageBoxFunction = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
void SetMessageBoxFunction(MessageBoxFunction function);

}  // namespace plugin
