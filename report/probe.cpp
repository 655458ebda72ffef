#include "report/probe.h"

#include <windows.h>

#include <vector>

#include "plugin/host_interface.h"
#include "report/report.h"

namespace report {

TrackStrings TrackState;

namespace {

constexpr std::size_t kAnswerLength = 1024;

// One metadata field of `file_name`, read into a buffer that starts empty and
// keeps a terminating zero past the length the player is told.
std::string FetchField(const wchar_t* file_name, const wchar_t* field_name) {
  wchar_t answer[kAnswerLength + 1] = {};
  plugin::ExtendedFileInfoRequest request = {file_name, field_name, answer,
                                             kAnswerLength};
  plugin::SendHostCommand(plugin::kCommandExtendedFileInfo,
                          reinterpret_cast<WPARAM>(&request));
  answer[kAnswerLength] = L'\0';
  return WideToAnsi(answer);
}

}  // namespace

std::string WideToAnsi(const wchar_t* text) {
  const int size =
      WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::vector<char> bytes(static_cast<std::size_t>(size));
  if (WideCharToMultiByte(CP_ACP, 0, text, -1, bytes.data(), size, nullptr,
                          nullptr) <= 0) {
    return std::string();
  }
  return std::string(bytes.data());
}

void RunProbe() {
  if (plugin::SendHostCommand(plugin::kCommandPlayState) == 0) return;
  const WPARAM index = static_cast<WPARAM>(
      plugin::SendHostCommand(plugin::kCommandPlaylistPosition));
  // The player owns the texts it answers with: copy them at once.
  const char* title = reinterpret_cast<const char*>(
      plugin::SendHostCommand(plugin::kCommandPlaylistTitle, index));
  if (title == nullptr) return;

  bool is_new = false;
  if (TrackState.last_title.find(title) == std::string::npos) {
    is_new = true;
    TrackState.last_title = title;
  }

  const wchar_t* file_name = reinterpret_cast<const wchar_t*>(
      plugin::SendHostCommand(plugin::kCommandPlaylistFileName, index));
  if (file_name != nullptr && file_name[0] != L'\0') {
    // Both fields are asked before either is kept: the file-name answer may
    // not survive the next message.
    std::string artist = FetchField(file_name, L"artist");
    std::string album = FetchField(file_name, L"album");
    TrackState.artist = std::move(artist);
    TrackState.album = std::move(album);
  }

  if (is_new) SendReport();
}

}  // namespace report
