#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tools/playlist.h"

// The simulated player's main window: a top-level window of class
// "Winamp v1.x" that answers the player's WM_USER commands from a playlist.
namespace player_sim {

enum class PlayState : LRESULT { kStopped = 0, kPlaying = 1, kPaused = 3 };

constexpr LRESULT kVersion = 0x5666;

// One track as the player holds it: metadata in UTF-16, the playlist title
// in UTF-16 and in the ANSI code page, as the player's narrow interface
// hands it out.
struct Track {
  std::wstring artist;
  std::wstring album;
  std::wstring title;
  std::string title_ansi;
  std::wstring file_name;
};

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
std::string WideToAnsi(const std::wstring& text);

// The tracks of a playlist (pauses left out), each with a made-up file name
// under C:\Music that is unique within the playlist.
std::vector<Track> MakeTracks(const std::vector<PlaylistEntry>& entries);

class SimPlayer {
 public:
  SimPlayer(std::vector<Track> tracks, std::string settings_folder);
  ~SimPlayer();
  SimPlayer(const SimPlayer&) = delete;
  SimPlayer& operator=(const SimPlayer&) = delete;

  HWND window() const { return window_; }
  const std::vector<Track>& tracks() const { return tracks_; }

  PlayState state() const { return state_; }
  std::size_t position() const { return position_; }
  void SetState(PlayState state) { state_ = state; }
  void SetPosition(std::size_t position) { position_ = position; }
  void SetCaption(const std::wstring& caption);

  // The answer to one command (lParam) with its argument (wParam).
  LRESULT Answer(WPARAM argument, LPARAM command);

 private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);

  std::vector<Track> tracks_;
  std::string settings_folder_;
  PlayState state_ = PlayState::kStopped;
  std::size_t position_ = 0;
  HWND window_ = nullptr;
};

}  // namespace player_sim
