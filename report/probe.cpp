#include "report/probe.h"

#include <windows.h>

#include <vector>

#include "plugin/host_interface.h"
#include "report/report.h"
#include "report/request.h"
#include "settings/settings_store.h"

namespace report {

TrackStrings TrackState;

namespace {

constexpr std::size_t kAnswerLength = 1024;

// One metadata field of `file_name`, read into a buffer that starts empty and
// keeps a terminating zero past the length the player is told.
std::string FetchField(const wchar_t* file_name, const wchar_t* field_name,
                       UINT code_page) {
  wchar_t answer[kAnswerLength + 1] = {};
  plugin::ExtendedFileInfoRequest request = {file_name, field_name, answer,
                                             kAnswerLength};
  plugin::SendHostCommand(plugin::kCommandExtendedFileInfo,
                          reinterpret_cast<WPARAM>(&request));
  answer[kAnswerLength] = L'\0';
  return WideToNarrow(answer, code_page);
}

std::string AnsiToUtf8(const char* text) {
  const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (size <= 0) return std::string();
  std::vector<wchar_t> wide(static_cast<std::size_t>(size));
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), size) <= 0) {
    return std::string();
  }
  return WideToNarrow(wide.data(), CP_UTF8);
}

// The current entry's title, copied at once: the player owns the text it
// answers with. False when the player has none.
bool FetchTitle(WPARAM index, bool utf8, std::string& title) {
  if (utf8) {
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(
        plugin::SendHostCommand(plugin::kCommandPlaylistTitleWide, index));
    if (wide != nullptr) {
      title = WideToNarrow(wide, CP_UTF8);
      return true;
    }
  }
  // Older players answer the wide title with zero.
  const char* narrow = reinterpret_cast<const char*>(
      plugin::SendHostCommand(plugin::kCommandPlaylistTitle, index));
  if (narrow == nullptr) return false;
  title = utf8 ? AnsiToUtf8(narrow) : std::string(narrow);
  return true;
}

}  // namespace

std::string WideToNarrow(const wchar_t* text, unsigned code_page) {
  const int size =
      WideCharToMultiByte(code_page, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::vector<char> bytes(static_cast<std::size_t>(size));
  if (WideCharToMultiByte(code_page, 0, text, -1, bytes.data(), size, nullptr,
                          nullptr) <= 0) {
    return std::string();
  }
  return std::string(bytes.data());
}

void RunProbe() {
  if (plugin::SendHostCommand(plugin::kCommandPlayState) == 0) return;
  const bool utf8 = WantsUtf8(settings::GetRequestPath());
  const WPARAM index = static_cast<WPARAM>(
      plugin::SendHostCommand(plugin::kCommandPlaylistPosition));
  std::string title;
  if (!FetchTitle(index, utf8, title)) return;

  bool is_new = false;
  if (TrackState.last_title.find(title) == std::string::npos) {
    is_new = true;
    TrackState.last_title = std::move(title);
  }

  const wchar_t* file_name = reinterpret_cast<const wchar_t*>(
      plugin::SendHostCommand(plugin::kCommandPlaylistFileName, index));
  if (file_name != nullptr && file_name[0] != L'\0') {
    // Both fields are asked before either is kept: the file-name answer may
    // not survive the next message.
    const UINT code_page = utf8 ? CP_UTF8 : CP_ACP;
    std::string artist = FetchField(file_name, L"artist", code_page);
    std::string album = FetchField(file_name, L"album", code_page);
    TrackState.artist = std::move(artist);
    TrackState.album = std::move(album);
  }

  if (is_new) SendReport();
}

}  // namespace report
