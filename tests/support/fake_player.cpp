#include "tests/support/fake_player.h"

#include <algorithm>

#include "plugin/host_interface.h"

namespace testing_support {

namespace {

constexpr char kClassName[] = "Winamp v1.x";

void RegisterPlayerClass(WNDPROC procedure) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = kClassName;
  RegisterClassA(&window_class);  // fails harmlessly when already registered
}

}  // namespace

FakeEntry ScriptEntry(const std::wstring& artist, const std::wstring& album,
                      const std::wstring& title) {
  FakeEntry entry;
  entry.wide_title = artist + L" - " + title;
  const int size = WideCharToMultiByte(CP_ACP, 0, entry.wide_title.c_str(), -1,
                                       nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, entry.wide_title.c_str(), -1, narrow.data(),
                      size, nullptr, nullptr);
  entry.title = narrow.c_str();
  entry.file_name = L"C:\\Music\\" + title + L".mp3";
  entry.artist = artist;
  entry.album = album;
  return entry;
}

FakePlayer::FakePlayer() {
  RegisterPlayerClass(WindowProc);
  window_ = CreateWindowExA(0, kClassName, "Fake player", WS_OVERLAPPEDWINDOW,
                            0, 0, 300, 100, nullptr, nullptr,
                            GetModuleHandleA(nullptr), this);
}

FakePlayer::~FakePlayer() {
  if (window_ != nullptr) DestroyWindow(window_);
}

void FakePlayer::Play(const FakeEntry& entry) {
  playlist.assign(1, entry);
  position = 0;
  play_state = 1;
}

void FakePlayer::ClearLog() {
  commands.clear();
  fields_asked.clear();
}

int FakePlayer::CountCommand(LPARAM command) const {
  return static_cast<int>(
      std::count(commands.begin(), commands.end(), command));
}

LRESULT CALLBACK FakePlayer::WindowProc(HWND window, UINT message,
                                        WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* player =
      reinterpret_cast<FakePlayer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == plugin::kHostMessage && player != nullptr) {
    return player->Answer(wparam, lparam);
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

LRESULT FakePlayer::Answer(WPARAM argument, LPARAM command) {
  commands.push_back(command);
  const FakeEntry* entry =
      argument < playlist.size() ? &playlist[argument] : nullptr;
  switch (command) {
    case plugin::kCommandVersion:
      return version;
    case plugin::kCommandSettingsFolder:
      return reinterpret_cast<LRESULT>(settings_folder.c_str());
    case plugin::kCommandPlayState:
      return play_state;
    case plugin::kCommandPlaylistPosition:
      return static_cast<LRESULT>(position);
    case plugin::kCommandPlaylistTitle:
      if (answer_title_with_zero || entry == nullptr) return 0;
      return reinterpret_cast<LRESULT>(entry->title.c_str());
    case plugin::kCommandPlaylistTitleWide:
      if (answer_wide_title_with_zero || entry == nullptr) return 0;
      return reinterpret_cast<LRESULT>(entry->wide_title.c_str());
    case plugin::kCommandPlaylistFileName:
      if (entry == nullptr || !entry->has_file_name) return 0;
      return reinterpret_cast<LRESULT>(entry->file_name.c_str());
    case plugin::kCommandExtendedFileInfo: {
      auto* request =
          reinterpret_cast<plugin::ExtendedFileInfoRequest*>(argument);
      const std::wstring field = request->field_name;
      fields_asked.push_back(field);
      if (leave_answer_untouched) return 0;
      if (fill_answer_without_zero) {
        std::fill(request->answer, request->answer + request->answer_length,
                  L'x');
        return 1;
      }
      const FakeEntry* current =
          position < playlist.size() ? &playlist[position] : nullptr;
      if (current == nullptr || current->file_name != request->file_name)
        return 0;
      const std::wstring& value = field == L"artist"  ? current->artist
                                  : field == L"album" ? current->album
                                                      : std::wstring();
      const std::size_t count =
          std::min(value.size(), request->answer_length - 1);
      std::copy(value.begin(), value.begin() + count, request->answer);
      request->answer[count] = L'\0';
      return 1;
    }
    default:
      return 0;
  }
}

void PumpMessages(DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now),
                              QS_ALLINPUT);
  }
}

}  // namespace testing_support
