#include "receiver/icon/tray.h"

#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "receiver/icon/autostart.h"
#include "receiver/icon/tray_text.h"
#include "receiver/system/code_page.h"
#include "receiver/system/window_class.h"

namespace receiver {

namespace {

constexpr wchar_t kName[] = L"WinAmp Tunebeacon Receiver";
constexpr UINT kIconId = 1;
constexpr UINT_PTR kUpdateTimer = 1;
constexpr UINT kUpdateDelayMs = 200;
constexpr UINT_PTR kMenuTimer = 2;
// A program that carries an icon resource with this id shows it instead of
// the system's application icon.
constexpr int kIconResource = 1;
// IDI_APPLICATION, whose macro is narrow in a build without UNICODE.
constexpr int kSystemApplicationIcon = 32512;

// ShellExecuteW may hand the work to shell extensions, which need COM.
class ComApartment {
 public:
  ComApartment()
      : initialized_(SUCCEEDED(CoInitializeEx(
            nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (initialized_) CoUninitialize();
  }

 private:
  bool initialized_;
};

class PopupMenu {
 public:
  PopupMenu() : menu_(CreatePopupMenu()) {}
  PopupMenu(const PopupMenu&) = delete;
  PopupMenu& operator=(const PopupMenu&) = delete;
  ~PopupMenu() {
    if (menu_ != nullptr) DestroyMenu(menu_);
  }
  HMENU get() const { return menu_; }

 private:
  HMENU menu_;
};

class OpenClipboardScope {
 public:
  explicit OpenClipboardScope(HWND window) : open_(OpenClipboard(window)) {}
  OpenClipboardScope(const OpenClipboardScope&) = delete;
  OpenClipboardScope& operator=(const OpenClipboardScope&) = delete;
  ~OpenClipboardScope() {
    if (open_) CloseClipboard();
  }
  bool open() const { return open_; }

 private:
  bool open_;
};

// Global memory until the clipboard takes it over.
class GlobalMemory {
 public:
  explicit GlobalMemory(std::size_t bytes)
      : memory_(GlobalAlloc(GMEM_MOVEABLE, bytes)) {}
  GlobalMemory(const GlobalMemory&) = delete;
  GlobalMemory& operator=(const GlobalMemory&) = delete;
  ~GlobalMemory() {
    if (memory_ != nullptr) GlobalFree(memory_);
  }
  HGLOBAL get() const { return memory_; }
  HGLOBAL release() { return std::exchange(memory_, nullptr); }

 private:
  HGLOBAL memory_;
};

template <std::size_t kSize>
void CopyTruncated(wchar_t (&to)[kSize], const std::wstring& from) {
  const std::size_t count = std::min(from.size(), kSize - 1);
  std::copy_n(from.begin(), count, to);
  to[count] = L'\0';
}

// Notepad, rather than whatever opens .ini files here.
bool NotepadOpen(const std::wstring& file) {
  const ComApartment apartment;
  const std::wstring quoted = L"\"" + file + L"\"";
  const HINSTANCE result = ShellExecuteW(
      nullptr, L"open", L"notepad.exe", quoted.c_str(), nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace

bool ShellOpen(const std::wstring& target) {
  const ComApartment apartment;
  const HINSTANCE result = ShellExecuteW(nullptr, L"open", target.c_str(),
                                         nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

std::wstring TrayWindowTitle(int port) {
  return std::wstring(kName) + L" port " + std::to_wstring(port);
}

void ShowError(const std::string& utf8) {
  MessageBoxW(nullptr, Utf8ToWide(utf8).c_str(), kName,
              MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

Tray::Tray(TraySettings settings, SongBoard& board, std::function<void()> exit)
    : settings_(std::move(settings)),
      board_(board),
      exit_(std::move(exit)),
      open_(ShellOpen),
      edit_(NotepadOpen) {}

Tray::~Tray() {
  board_.Listen(nullptr, 0);
  if (icon_shown_) Shell_NotifyIconW(NIM_DELETE, &icon_);
  if (window_ != nullptr && !exited_) {
    // Not through Handle: no WM_QUIT for a loop that may come later.
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

bool Tray::Create() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!RegisterWindowClass(kTrayWindowClass, WindowProcedure)) return false;
  // Explorer announces a new taskbar (after it restarted) to every
  // top-level window: a message-only window would not hear it.
  taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
  window_ = CreateWindowExW(
      0, kTrayWindowClass, TrayWindowTitle(settings_.port).c_str(),
      WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, instance, this);
  if (window_ == nullptr) return false;

  icon_.cbSize = sizeof(icon_);
  icon_.hWnd = window_;
  icon_.uID = kIconId;
  icon_.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  icon_.uCallbackMessage = kTrayNotify;
  icon_.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
  if (icon_.hIcon == nullptr)
    icon_.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(kSystemApplicationIcon));
  normal_icon_ = icon_.hIcon;
  board_.Listen(window_, kSongChanged);
  UpdateTooltip();
  AddIcon();
  return true;
}

int Tray::Run() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

void Tray::Close() {
  if (const HWND window = window_) PostMessageW(window, WM_CLOSE, 0, 0);
}

LRESULT CALLBACK Tray::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                       LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* const tray = static_cast<Tray*>(create->lpCreateParams);
    tray->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(tray));
  }
  auto* tray =
      reinterpret_cast<Tray*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (tray == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return tray->Handle(window, message, wparam, lparam);
}

LRESULT Tray::Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kTrayNotify:
      // The low word holds the mouse message whichever way the shell reports.
      switch (LOWORD(lparam)) {
        case WM_LBUTTONUP:
          if (std::exchange(swallow_up_, false)) break;
          menu_due_ =
              SetTimer(window_, kMenuTimer, GetDoubleClickTime(), nullptr) != 0;
          if (!menu_due_) ShowMenu();
          break;
        case WM_LBUTTONDBLCLK:
          if (std::exchange(menu_due_, false)) KillTimer(window_, kMenuTimer);
          swallow_up_ = true;
          OpenControlPage();
          break;
        case WM_RBUTTONUP:
        case WM_CONTEXTMENU:
          ShowMenu();
          break;
      }
      return 0;
    case kSongChanged:
      if (board_.server_ended()) {
        Exit();
        return 0;
      }
      // The shell is told a moment later, so that the report's answer and
      // its page event never compete with it for the CPU; songs that come
      // meanwhile are read together.
      if (!update_due_) {
        update_due_ =
            SetTimer(window_, kUpdateTimer, kUpdateDelayMs, nullptr) != 0;
        if (!update_due_) ShowChange();
      }
      return 0;
    case WM_TIMER:
      if (wparam == kUpdateTimer) {
        KillTimer(window_, kUpdateTimer);
        update_due_ = false;
        ShowChange();
      } else if (wparam == kMenuTimer) {
        KillTimer(window_, kMenuTimer);
        if (std::exchange(menu_due_, false)) ShowMenu();
      }
      return 0;
    case kShowRunning:
      // Told by a second start (setup's last page is one), whose --folder
      // is not taken.
      if (!open_(Utf8ToWide(settings_.control_address))) {
        ShowBalloon("Already running, listening on " +
                        settings_.listen_address + "; its song files stay in " +
                        WideToUtf8(settings_.folder) +
                        ". Click this icon for the control page and more.",
                    NIIF_INFO);
      }
      return 0;
    case WM_COMMAND:
      if (HIWORD(wparam) == 0) Command(LOWORD(wparam));
      return 0;
    case WM_CLOSE:
      Exit();
      return 0;
    case WM_ENDSESSION:
      if (wparam) {
        Exit();
        if (session_end_wait_) session_end_wait_();
      }
      return 0;
    case WM_DESTROY:
      window_ = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  if (message == taskbar_created_ && message != 0) {
    icon_shown_ = false;
    AddIcon();
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void Tray::AddIcon() {
  icon_shown_ = Shell_NotifyIconW(NIM_ADD, &icon_) != FALSE;
}

void Tray::ShowChange() {
  if (board_.server_ended()) return Exit();
  UpdateTooltip();
  if (icon_shown_) Shell_NotifyIconW(NIM_MODIFY, &icon_);
  const std::string notice = board_.TakeNotice();
  if (!notice.empty()) ShowBalloon(notice, NIIF_WARNING);
}

void Tray::ShowBalloon(const std::string& utf8, DWORD flags) {
  NOTIFYICONDATAW balloon = icon_;
  balloon.uFlags = NIF_INFO;
  balloon.dwInfoFlags = flags;
  CopyTruncated(balloon.szInfoTitle, std::wstring(kName));
  CopyTruncated(balloon.szInfo, Utf8ToWide(utf8));
  balloon_ = balloon.szInfo;
  if (icon_shown_) Shell_NotifyIconW(NIM_MODIFY, &balloon);
}

void Tray::UpdateTooltip() {
  const std::optional<Song> song = board_.Get();
  const std::size_t problems = board_.Problems();
  CopyTruncated(icon_.szTip, Utf8ToWide(IconTooltipText(
                                 song ? &*song : nullptr,
                                 settings_.listen_address, problems)));
  if (problems > 0 && marked_icon_.get() == nullptr) {
    marked_icon_ = MarkedIcon(normal_icon_);
  }
  icon_.hIcon = problems > 0 && marked_icon_.get() != nullptr
                    ? marked_icon_.get()
                    : normal_icon_;
}

void Tray::ShowMenu() {
  PopupMenu menu;
  if (menu.get() == nullptr) return;
  const HMENU handle = menu.get();
  AppendMenuW(handle, MF_STRING, kOpenControlPage, L"Open the control page");
  // What a double click does, shown in bold.
  SetMenuDefaultItem(handle, kOpenControlPage, FALSE);
  AppendMenuW(handle, MF_STRING, kOpenOverlay, L"Open the overlay");
  AppendMenuW(handle, MF_STRING, kCopyOverlayAddress,
              L"Copy the overlay address");
  AppendMenuW(handle, MF_STRING, kOpenSongFolder, L"Open the song folder");
  AppendMenuW(handle, MF_STRING, kEditSettings, L"Edit settings");
  AppendMenuW(handle, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(handle, MF_STRING, kCopySong, L"Copy the song");
  AppendMenuW(handle, MF_STRING, kClearSong, L"Clear the song");
  AppendMenuW(handle, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(handle,
              MF_STRING | (StartsAtLogOn(settings_.program) ? MF_CHECKED : 0),
              kStartAtLogOn, L"Start when I log on");
  AppendMenuW(handle, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(handle, MF_STRING, kExit, L"Exit");
  POINT at = {};
  GetCursorPos(&at);
  // Without the foreground the menu would not close on a click elsewhere.
  SetForegroundWindow(window_);
  TrackPopupMenuEx(handle, TPM_RIGHTBUTTON | TPM_BOTTOMALIGN, at.x, at.y,
                   window_, nullptr);
  PostMessageW(window_, WM_NULL, 0, 0);
}

void Tray::OpenControlPage() {
  if (!open_(Utf8ToWide(settings_.control_address))) {
    ShowError("Cannot open the control page in the browser; its address is " +
              settings_.control_address + ".");
  }
}

void Tray::Command(UINT command) {
  switch (command) {
    case kOpenControlPage:
      OpenControlPage();
      break;
    case kOpenOverlay:
      if (!open_(Utf8ToWide(settings_.overlay_address))) {
        ShowError("Cannot open " + settings_.overlay_address +
                  " in the browser.");
      }
      break;
    case kCopyOverlayAddress:
      if (!CopyText(settings_.overlay_address)) {
        ShowError("Cannot copy the overlay address; it is " +
                  settings_.overlay_address + ".");
      }
      break;
    case kCopySong:
      if (!CopyText(board_.Chat())) ShowError("Cannot copy the song.");
      break;
    case kClearSong:
      if (clear_) clear_();
      break;
    case kEditSettings:
      if (!edit_(settings_.settings_file)) {
        ShowError("Cannot open " + WideToUtf8(settings_.settings_file) +
                  " in Notepad.");
      }
      break;
    case kOpenSongFolder:
      if (!open_(settings_.folder)) {
        ShowError("Cannot open the folder " + WideToUtf8(settings_.folder) +
                  ".");
      }
      break;
    case kStartAtLogOn:
      ToggleAutostart();
      break;
    case kExit:
      Exit();
      break;
  }
}

bool Tray::CopyText(const std::string& utf8) {
  const std::wstring text = Utf8ToWide(utf8);
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  GlobalMemory memory(bytes);
  if (memory.get() != nullptr) {
    void* const data = GlobalLock(memory.get());
    if (data != nullptr) {
      std::memcpy(data, text.c_str(), bytes);
      GlobalUnlock(memory.get());
      OpenClipboardScope clipboard(window_);
      if (clipboard.open() && EmptyClipboard() &&
          SetClipboardData(CF_UNICODETEXT, memory.get()) != nullptr) {
        memory.release();
        return true;
      }
    }
  }
  return false;
}

void Tray::ToggleAutostart() {
  const std::string error = StartsAtLogOn(settings_.program)
                                ? RemoveAutostart()
                                : WriteAutostart(settings_.autostart_command);
  if (!error.empty()) ShowError("Start when I log on: " + error + ".");
}

void Tray::Exit() {
  if (exited_) return;
  exited_ = true;
  board_.Listen(nullptr, 0);
  if (icon_shown_) Shell_NotifyIconW(NIM_DELETE, &icon_);
  icon_shown_ = false;
  if (exit_) exit_();
  // Its WM_DESTROY ends Run.
  DestroyWindow(window_);
}

}  // namespace receiver
