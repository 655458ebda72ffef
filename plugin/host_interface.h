#pragma once

#include <windows.h>

#include <cstddef>

// What the plug-in relies on from the player: the window it talks to and the
// command numbers of the player's WM_USER interface.
namespace plugin {

// Command number goes in lParam, its argument in wParam.
constexpr UINT kHostMessage = WM_USER;

constexpr LPARAM kCommandVersion = 0;
constexpr LPARAM kCommandSettingsFolder = 335;
constexpr LPARAM kCommandPlayState = 104;
constexpr LPARAM kCommandPlaylistPosition = 125;
constexpr LPARAM kCommandPlaylistTitle = 212;
constexpr LPARAM kCommandPlaylistTitleWide = 213;
constexpr LPARAM kCommandPlaylistFileName = 3031;
constexpr LPARAM kCommandExtendedFileInfo = 3026;

constexpr char kPlayerWindowClass[] = "Winamp v1.x";

// Request record of the extended-file-information command. The player writes
// the named field, zero-terminated, into `answer`.
struct ExtendedFileInfoRequest {
  const wchar_t* file_name;
  const wchar_t* field_name;
  wchar_t* answer;
  std::size_t answer_length;
};

#if defined(__i386__)
static_assert(sizeof(ExtendedFileInfoRequest) == 16,
              "the player expects four 32-bit members");
static_assert(offsetof(ExtendedFileInfoRequest, answer_length) == 12,
              "the answer length is the fourth member");
#endif

// The player's main window; zero until init copies it from the record.
extern HWND host_window;

// Sends one command to host_window and returns the player's answer.
LRESULT SendHostCommand(LPARAM command, WPARAM argument = 0);

}  // namespace plugin
