#pragma once

#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <functional>
#include <string>

#include "receiver/icon/marked_icon.h"
#include "receiver/icon/song_board.h"
#include "receiver/system/window_class.h"

// The receiver's icon in the notification area: its tooltip (the song and
// the address), its menu, and the log-on start. The window is hidden; it
// lives on the thread that calls Tray::Run, which must not be the server's.
namespace receiver {

inline constexpr wchar_t kTrayWindowClass[] = L"WinAmpTunebeaconReceiverTray";

// The icon's notifications and the song board's "changed" (a song, a
// notice, which shows as a balloon, or the number of problems); a second
// start sends kShowRunning (from another process).
constexpr UINT kTrayNotify = WM_APP + 1;
constexpr UINT kSongChanged = WM_APP + 2;
static_assert(kShowRunning != kTrayNotify && kShowRunning != kSongChanged);

// The menu's commands, as WM_COMMAND identifiers.
enum TrayCommand : UINT {
  kOpenOverlay = 1,
  kCopyOverlayAddress,
  kOpenSongFolder,
  kStartAtLogOn,
  kExit,
  kEditSettings,
  kClearSong,
  kCopySong,
  kOpenControlPage,
};

// One receiver per port: the window's title names it, so that a second
// start finds the first.
std::wstring TrayWindowTitle(int port);

struct TraySettings {
  int port = 80;
  std::string listen_address;      // for the tooltip: "127.0.0.1:80"
  std::string overlay_address;     // "http://127.0.0.1/?overlay=1"
  std::string control_address;     // the control page's, with its key
  std::wstring folder;             // the song files' folder
  std::wstring program;            // this program's full path
  std::wstring autostart_command;  // what "Start when I log on" writes
  std::wstring settings_file;      // what "Edit settings" opens in Notepad
};

// A message box with the receiver's name over it, for tray mode's errors.
void ShowError(const std::string& utf8);

// ShellExecuteW's "open" of an address or a folder, with COM for the shell's
// extensions; false when it failed.
bool ShellOpen(const std::wstring& target);

class Tray {
 public:
  using Open = std::function<bool(const std::wstring& target)>;

  // `exit` runs on the tray's thread after "Exit", WM_CLOSE, the end of the
  // session or the server's own end (told by the board); it must only ask
  // the server to stop, not wait for it.
  Tray(TraySettings settings, SongBoard& board, std::function<void()> exit);
  Tray(const Tray&) = delete;
  Tray& operator=(const Tray&) = delete;
  ~Tray();

  // Makes the window and the icon and starts listening to the board; false
  // when there is no window. An icon that the shell refuses now is added
  // again when the taskbar comes (back).
  bool Create();

  // The message loop, until the window is gone; returns 0.
  int Run();

  // From any thread: the same as "Exit" (for a server that ended itself);
  // nothing once the window is gone.
  void Close();

  // How the control page, the overlay and the song folder open; ShellOpen
  // unless replaced.
  void set_open(Open open) { open_ = std::move(open); }

  // What "Clear the song" asks of the server; it must not wait for it.
  void set_clear(std::function<void()> clear) { clear_ = std::move(clear); }

  // How "Edit settings" opens the settings file; Notepad unless replaced.
  void set_edit(Open edit) { edit_ = std::move(edit); }

  // At the end of the session Windows may end the process as soon as the
  // window answers: `wait` (bounded) holds the answer until the song files
  // are written.
  void set_session_end_wait(std::function<void()> wait) {
    session_end_wait_ = std::move(wait);
  }

  HWND window() const { return window_; }
  bool icon_shown() const { return icon_shown_; }
  // What the shell was last given as the tooltip and the balloon.
  std::wstring tooltip() const { return icon_.szTip; }
  std::wstring balloon() const { return balloon_; }
  // Whether the icon shows the mark of an open problem.
  bool marked() const { return icon_.hIcon != normal_icon_; }

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message,
                                          WPARAM wparam, LPARAM lparam);
  LRESULT Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void AddIcon();
  void ShowChange();
  void UpdateTooltip();
  void ShowBalloon(const std::string& utf8, DWORD flags);
  void ShowMenu();
  void Command(UINT command);
  void OpenControlPage();
  bool CopyText(const std::string& utf8);
  void ToggleAutostart();
  void Exit();

  TraySettings settings_;
  SongBoard& board_;
  std::function<void()> exit_;
  Open open_;
  Open edit_;
  std::function<void()> clear_;
  std::function<void()> session_end_wait_;
  // Read by Close on any thread.
  std::atomic<HWND> window_{nullptr};
  UINT taskbar_created_ = 0;
  NOTIFYICONDATAW icon_ = {};
  bool icon_shown_ = false;
  std::wstring balloon_;
  bool exited_ = false;
  bool update_due_ = false;  // a song or notice waits for the timer
  HICON normal_icon_ = nullptr;
  IconHandle marked_icon_;  // drawn when the first problem opens
  // A left click's menu waits to see whether it was a double click, whose
  // own button-up then opens nothing.
  bool menu_due_ = false;
  bool swallow_up_ = false;
};

}  // namespace receiver
