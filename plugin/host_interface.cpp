#include "plugin/host_interface.h"

namespace plugin {

HWND host_window = nullptr;

LRESULT SendHostCommand(LPARAM command, WPARAM argument) {
  return SendMessageA(host_window, kHostMessage, argument, command);
}

}  // namespace plugin
