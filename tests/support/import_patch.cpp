#include "tests/support/import_patch.h"

#include <cstring>

namespace testing_support {

ImportPatch::ImportPatch(HMODULE module, const char* dll, const char* function,
                         void* replacement) {
  BYTE* const base = reinterpret_cast<BYTE*>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
           base + directory.VirtualAddress);
       entry->Name != 0; ++entry) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) !=
            0 ||
        entry->OriginalFirstThunk == 0) {
      continue;
    }
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
        base + entry->OriginalFirstThunk);
    auto* addresses =
        reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(
          base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(name->Name), function) ==
          0) {
        slot_ = &addresses->u1.Function;
      }
    }
  }
  if (slot_ == nullptr) return;
  original_ = *slot_;
  Write(reinterpret_cast<ULONG_PTR>(replacement));
}

ImportPatch::~ImportPatch() {
  if (slot_ != nullptr) Write(original_);
}

void ImportPatch::Write(ULONG_PTR value) {
  DWORD protection = 0;
  VirtualProtect(slot_, sizeof(*slot_), PAGE_READWRITE, &protection);
  *slot_ = value;
  VirtualProtect(slot_, sizeof(*slot_), protection, &protection);
}

}  // namespace testing_support
