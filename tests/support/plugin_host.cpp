#include "tests/support/plugin_host.h"

namespace testing_support {

PluginHost::~PluginHost() { Free(); }

bool PluginHost::Load() {
  module_ = LoadLibraryA("gen_trackwire.dll");
  quit_ = false;
  return module_ != nullptr;
}

plugin::PluginRecord* PluginHost::Record() const {
  using Export = plugin::PluginRecord* (*)();
  const auto get_record = reinterpret_cast<Export>(reinterpret_cast<void*>(
      GetProcAddress(module_, "winampGetGeneralPurposePlugin")));
  return get_record ? get_record() : nullptr;
}

void PluginHost::Init(HWND player) {
  plugin::PluginRecord* record = Record();
  record->host_window = player;
  record->module = module_;
  record->init();
}

void PluginHost::Quit() {
  if (module_ == nullptr || quit_) return;
  Record()->quit();
  quit_ = true;
}

void PluginHost::Free() {
  if (module_ == nullptr) return;
  Quit();
  FreeLibrary(module_);
  module_ = nullptr;
}

namespace {
DWORD WINAPI IdleThread(LPVOID) { return 0; }
}  // namespace

void RunIdleThreads(int count) {
  for (int i = 0; i < count; ++i) {
    const HANDLE thread =
        CreateThread(nullptr, 0, IdleThread, nullptr, 0, nullptr);
    if (thread == nullptr) continue;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
}

WindowWatcher::WindowWatcher(std::string caption, int text_id,
                             WPARAM close_command)
    : caption_(std::move(caption)),
      text_id_(text_id),
      close_command_(close_command) {
  InitializeCriticalSection(&lock_);
  stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  started_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
  // The thread must be past its own loader notifications before the caller
  // takes the loader lock.
  WaitForSingleObject(started_, 10000);
}

WindowWatcher::~WindowWatcher() {
  SetEvent(stop_);
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  CloseHandle(stop_);
  CloseHandle(started_);
  DeleteCriticalSection(&lock_);
}

std::vector<std::string> WindowWatcher::texts() const {
  EnterCriticalSection(&lock_);
  std::vector<std::string> copy = texts_;
  LeaveCriticalSection(&lock_);
  return copy;
}

DWORD WINAPI WindowWatcher::Watch(LPVOID self) {
  auto* watcher = static_cast<WindowWatcher*>(self);
  HWND last = nullptr;
  SetEvent(watcher->started_);
  while (WaitForSingleObject(watcher->stop_, 20) == WAIT_TIMEOUT) {
    const HWND window = FindWindowA("#32770", watcher->caption_.c_str());
    if (window == nullptr || window == last || !IsWindowVisible(window))
      continue;
    char text[2048] = {};
    GetDlgItemTextA(window, watcher->text_id_, text, sizeof(text));
    EnterCriticalSection(&watcher->lock_);
    watcher->texts_.push_back(text);
    LeaveCriticalSection(&watcher->lock_);
    PostMessageA(window, WM_COMMAND, watcher->close_command_, 0);
    last = window;
  }
  return 0;
}

}  // namespace testing_support
