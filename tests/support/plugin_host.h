#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "plugin/plugin_record.h"

namespace testing_support {

// Loads gen_trackwire.dll (from beside the test program) as the player does:
// LoadLibrary, the export, host window and module handle, init.
class PluginHost {
 public:
  PluginHost() = default;
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  bool Load();  // LoadLibrary; false when the DLL refused to load
  plugin::PluginRecord* Record() const;
  void Init(HWND player);
  void Quit();
  void Free();  // FreeLibrary, after Quit if it was not called
  HMODULE module() const { return module_; }

 private:
  HMODULE module_ = nullptr;
  bool quit_ = false;
};

// Starts and joins `count` threads that do nothing: 2 * count loader
// notifications in this process.
void RunIdleThreads(int count);

// Watches, on a thread of its own, for top-level dialog windows with the
// given caption; records the text of the static control `text_id` of each,
// then closes it with `close_command`. Start it before the code that shows
// the window: a thread started while another holds the loader lock waits.
class WindowWatcher {
 public:
  WindowWatcher(std::string caption, int text_id, WPARAM close_command);
  ~WindowWatcher();
  WindowWatcher(const WindowWatcher&) = delete;
  WindowWatcher& operator=(const WindowWatcher&) = delete;
  std::vector<std::string> texts() const;

 private:
  static DWORD WINAPI Watch(LPVOID self);
  std::string caption_;
  int text_id_;
  WPARAM close_command_;
  HANDLE stop_ = nullptr;
  HANDLE started_ = nullptr;
  HANDLE thread_ = nullptr;
  mutable CRITICAL_SECTION lock_;
  std::vector<std::string> texts_;
};

}  // namespace testing_support
