#pragma once

#include <windows.h>

#include <cstddef>

namespace plugin {

// The record the player drives the plug-in through. The player fills in
// host_window and module before it calls init.
struct PluginRecord {
  int version;
  const char* description;
  int (*init)();
  void (*config)();
  void (*quit)();
  HWND host_window;
  HINSTANCE module;
};

#if defined(__i386__)
static_assert(sizeof(PluginRecord) == 28, "seven 32-bit members");
static_assert(offsetof(PluginRecord, description) == 4, "member 2");
static_assert(offsetof(PluginRecord, init) == 8, "member 3");
static_assert(offsetof(PluginRecord, config) == 12, "member 4");
static_assert(offsetof(PluginRecord, quit) == 16, "member 5");
static_assert(offsetof(PluginRecord, host_window) == 20, "member 6");
static_assert(offsetof(PluginRecord, module) == 24, "member 7");
#endif

constexpr int kRecordVersion = 0x10;
constexpr char kDescription[] = "WinAmp Tunebeacon v1.0";

extern PluginRecord plugin_record;

}  // namespace plugin

extern "C" plugin::PluginRecord* winampGetGeneralPurposePlugin();
