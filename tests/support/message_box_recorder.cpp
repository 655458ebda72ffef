#include "tests/support/message_box_recorder.h"

#include "plugin/error_box.h"

namespace testing_support {

namespace {

std::vector<RecordedBox> recorded;

int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  recorded.push_back({text, caption, type});
  return IDOK;
}

}  // namespace

MessageBoxRecorder::MessageBoxRecorder() {
  recorded.clear();
  plugin::SetMessageBoxFunction(RecordBox);
}

MessageBoxRecorder::~MessageBoxRecorder() {
  plugin::SetMessageBoxFunction(nullptr);
}

const std::vector<RecordedBox>& MessageBoxRecorder::boxes() const {
  return recorded;
}

}  // namespace testing_support
