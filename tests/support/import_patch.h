#pragma once

#include <windows.h>

namespace testing_support {

// Points a module's import of `function` from `dll` at `replacement` for the
// lifetime of the object: a fault planted in a system call.
class ImportPatch {
 public:
  ImportPatch(HMODULE module, const char* dll, const char* function,
              void* replacement);
  ~ImportPatch();
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;
  bool ok() const { return slot_ != nullptr; }

 private:
  void Write(ULONG_PTR value);

  decltype(IMAGE_THUNK_DATA::u1.Function)* slot_ = nullptr;
  ULONG_PTR original_ = 0;
};

}  // namespace testing_support
