#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// One playlist entry as the player holds it.
struct FakeEntry {
  std::string title;
  std::wstring file_name;  // empty: the player answers the file name with 0
  std::wstring artist;
  std::wstring album;
  bool has_file_name = true;
  std::wstring wide_title;  // the answer to the wide playlist-title command
};

// An entry as a player holds it: the playlist title "artist - title" in
// UTF-16 and, as its narrow answer gives it, in the ANSI code page.
FakeEntry ScriptEntry(const std::wstring& artist, const std::wstring& album,
                      const std::wstring& title);

// A top-level window of class "Winamp v1.x" on the calling thread that
// answers the player's WM_USER commands from a script, and records every
// command that arrives.
class FakePlayer {
 public:
  FakePlayer();
  ~FakePlayer();
  FakePlayer(const FakePlayer&) = delete;
  FakePlayer& operator=(const FakePlayer&) = delete;

  HWND window() const { return window_; }

  // What the player answers.
  LRESULT version = 0x5666;
  LRESULT play_state = 1;
  std::size_t position = 0;
  std::vector<FakeEntry> playlist;
  std::string settings_folder;
  bool answer_title_with_zero = false;
  // An older player: it knows no wide playlist title.
  bool answer_wide_title_with_zero = false;
  // Fill all 1024 units of the answer buffer, without a terminating zero.
  bool fill_answer_without_zero = false;
  // Answer the metadata command without writing to the buffer.
  bool leave_answer_untouched = false;

  // Every command number that arrived, in order; each (field name) asked.
  std::vector<LPARAM> commands;
  std::vector<std::wstring> fields_asked;

  void Play(const FakeEntry& entry);  // one-entry playlist, playing
  void ClearLog();
  int CountCommand(LPARAM command) const;

 private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Answer(WPARAM argument, LPARAM command);

  HWND window_ = nullptr;
};

// Runs the calling thread's message loop for `milliseconds`.
void PumpMessages(DWORD milliseconds);

// Pumps messages until `done` returns true or `milliseconds` pass; returns
// whether `done` became true.
template <typename Predicate>
bool PumpUntil(Predicate done, DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  while (!done()) {
    if (GetTickCount64() >= end) return false;
    PumpMessages(10);
  }
  return true;
}

}  // namespace testing_support
