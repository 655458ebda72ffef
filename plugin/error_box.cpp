#include "plugin/error_box.h"

namespace plugin {

namespace {
MessageBoxFunction message_box = MessageBoxA;
}  // namespace

void ShowErrorBox(const char* text, const char* caption) {
  message_box(nullptr, text, caption, MB_ICONERROR);
}

void SetMessageBoxFunction(MessageBoxFunction function) {
  message_box = function ? function : MessageBoxA;
}

}  // namespace plugin
