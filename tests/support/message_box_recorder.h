#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

struct RecordedBox {
  std::string text;
  std::string caption;
  UINT type;
};

// Records the message boxes the code under test would show, instead of
// showing them, for the lifetime of the object.
class MessageBoxRecorder {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;
  const std::vector<RecordedBox>& boxes() const;
};

}  // namespace testing_support
