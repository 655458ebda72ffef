#include "tools/sim_player.h"

#include <algorithm>

#include "plugin/host_interface.h"

namespace player_sim {

namespace {

std::wstring FileNamePart(const std::wstring& text, const wchar_t* fallback) {
  if (text.empty()) return fallback;
  std::wstring part = text;
  for (wchar_t& c : part) {
    if (c < 0x20 || std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos)
      c = L'_';
  }
  return part;
}

}  // namespace

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = MultiByteToWideChar(
      CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                      wide.data(), size);
  return wide;
}

namespace {
std::string WideTo(UINT code_page, const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(code_page, 0, text.data(),
                                       static_cast<int>(text.size()), nullptr,
                                       0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()),
                      narrow.data(), size, nullptr, nullptr);
  return narrow;
}
}  // namespace

std::string WideToUtf8(const std::wstring& text) {
  return WideTo(CP_UTF8, text);
}

std::string WideToAnsi(const std::wstring& text) {
  return WideTo(CP_ACP, text);
}

std::vector<Track> MakeTracks(const std::vector<PlaylistEntry>& entries) {
  std::vector<Track> tracks;
  for (const PlaylistEntry& entry : entries) {
    if (entry.is_pause) continue;
    Track track;
    track.artist = Utf8ToWide(entry.artist);
    track.album = Utf8ToWide(entry.album);
    track.title = Utf8ToWide(entry.title);
    track.title_ansi = WideToAnsi(track.title);
    std::wstring number = std::to_wstring(tracks.size() + 1);
    if (number.size() < 2) number.insert(0, 1, L'0');
    track.file_name = L"C:\\Music\\" +
                      FileNamePart(track.artist, L"Unknown artist") + L"\\" +
                      FileNamePart(track.album, L"Unknown album") + L"\\" +
                      number + L" " + FileNamePart(track.title, L"") + L".mp3";
    tracks.push_back(track);
  }
  return tracks;
}

namespace {
constexpr char kClassName[] = "Winamp v1.x";
}  // namespace

SimPlayer::SimPlayer(std::vector<Track> tracks, std::string settings_folder)
    : tracks_(std::move(tracks)), settings_folder_(std::move(settings_folder)) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kClassName;
  RegisterClassA(&window_class);  // fails harmlessly when already registered
  window_ =
      CreateWindowExA(0, kClassName, "Player simulator", WS_OVERLAPPEDWINDOW,
                      CW_USEDEFAULT, CW_USEDEFAULT, 480, 80, nullptr, nullptr,
                      GetModuleHandleA(nullptr), this);
}

SimPlayer::~SimPlayer() {
  if (window_ != nullptr) DestroyWindow(window_);
}

void SimPlayer::SetCaption(const std::wstring& caption) {
  SetWindowTextW(window_, caption.c_str());
}

LRESULT CALLBACK SimPlayer::WindowProc(HWND window, UINT message, WPARAM wparam,
                                       LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* player =
      reinterpret_cast<SimPlayer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == plugin::kHostMessage && player != nullptr) {
    return player->Answer(wparam, lparam);
  }
  if (message == WM_CLOSE) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

LRESULT SimPlayer::Answer(WPARAM argument, LPARAM command) {
  const Track* entry = argument < tracks_.size() ? &tracks_[argument] : nullptr;
  switch (command) {
    case plugin::kCommandVersion:
      return kVersion;
    case plugin::kCommandSettingsFolder:
      return reinterpret_cast<LRESULT>(settings_folder_.c_str());
    case plugin::kCommandPlayState:
      return static_cast<LRESULT>(state_);
    case plugin::kCommandPlaylistPosition:
      return static_cast<LRESULT>(position_);
    case plugin::kCommandPlaylistTitle:
      return entry ? reinterpret_cast<LRESULT>(entry->title_ansi.c_str()) : 0;
    case plugin::kCommandPlaylistTitleWide:
      return entry ? reinterpret_cast<LRESULT>(entry->title.c_str()) : 0;
    case plugin::kCommandPlaylistFileName:
      return entry ? reinterpret_cast<LRESULT>(entry->file_name.c_str()) : 0;
    case plugin::kCommandExtendedFileInfo: {
      auto* request =
          reinterpret_cast<plugin::ExtendedFileInfoRequest*>(argument);
      if (request == nullptr || request->file_name == nullptr ||
          request->field_name == nullptr || request->answer == nullptr ||
          request->answer_length == 0)
        return 0;
      // Like a player, it looks the file up; an unknown file or field
      // answers the empty text.
      const std::wstring field = request->field_name;
      std::wstring value;
      for (const Track& track : tracks_) {
        if (track.file_name != request->file_name) continue;
        if (field == L"artist") value = track.artist;
        if (field == L"album") value = track.album;
        break;
      }
      const std::size_t count =
          std::min<std::size_t>(value.size(), request->answer_length - 1);
      std::copy(value.begin(), value.begin() + count, request->answer);
      request->answer[count] = L'\0';
      return 1;
    }
    default:
      return 0;
  }
}

}  // namespace player_sim
