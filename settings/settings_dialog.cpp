#include "settings/settings_dialog.h"

#include "plugin/plugin_record.h"
#include "settings/resource.h"
#include "settings/settings_store.h"

namespace settings {

namespace {

constexpr char kCaption[] = "WinAmp Tunebeacon Plugin v1.0 [ Morvaxen ]";
constexpr int kFieldBufferSize = 1024;

std::string ReadField(HWND dialog, int id) {
  char buffer[kFieldBufferSize] = {};
  GetDlgItemTextA(dialog, id, buffer, kFieldBufferSize);
  return buffer;
}

// Enter sends IDOK, Esc and the close button IDCANCEL; the dialog has no
// buttons of its own.
bool IsCloseCommand(UINT message, WPARAM wparam) {
  return message == WM_COMMAND &&
         (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL);
}

}  // namespace

void ShowSettingsDialog() {
  DialogBoxParamA(plugin::plugin_record.module, MAKEINTRESOURCEA(IDD_SETTINGS),
                  plugin::plugin_record.host_window, SettingsDialogProc, 0);
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wparam,
                                    LPARAM) {
  try {
    if (message == WM_INITDIALOG) {
      SetWindowTextA(dialog, kCaption);
      SetDlgItemTextA(dialog, IDC_REQUEST_PATH, GetRequestPath().c_str());
      SetDlgItemTextA(dialog, IDC_HOST, GetHost().c_str());
      SetDlgItemTextA(dialog, IDC_PORT, GetPort().c_str());
    } else if (IsCloseCommand(message, wparam)) {
      // Every way of closing stores: Enter, Esc and the close button.
      const std::string request_path = ReadField(dialog, IDC_REQUEST_PATH);
      const std::string host = ReadField(dialog, IDC_HOST);
      const std::string port = ReadField(dialog, IDC_PORT);
      StoreSettings(host, request_path, port);
      EndDialog(dialog, 0);
    }
  } catch (...) {
    // Out of memory: the dialog still closes when asked to.
    if (IsCloseCommand(message, wparam)) EndDialog(dialog, 0);
  }
  return 0;
}

}  // namespace settings
