#include "receiver/settings/settings_load.h"

#include <windows.h>

#include "receiver/settings/seal_secrets.h"
#include "receiver/settings/secrets.h"
#include "receiver/system/code_page.h"
#include "receiver/system/files.h"
#include "receiver/system/system_message.h"
#include "receiver/system/utf8.h"

namespace receiver {

SettingsRead ReadSettingsBytes(std::string_view bytes,
                               const ReceiverSettings& previous) {
  return ReadSettings(
      bytes, [](std::string_view ansi) { return CodePageToUtf8(ansi, CP_ACP); },
      previous, [](std::string_view sealed) { return UnsealSecret(sealed); });
}

std::string SealSettingsFile(const std::wstring& path, std::string_view bytes) {
  std::string text(bytes);
  // A file Notepad saved in the ANSI code page or as UTF-16 comes back as
  // UTF-8, with a BOM so that Notepad reads it as such.
  if (!IsValidUtf8(bytes)) {
    text = "\xEF\xBB\xBF" + SettingsText(bytes, [](std::string_view ansi) {
             return CodePageToUtf8(ansi, CP_ACP);
           });
  }
  DWORD error = ERROR_SUCCESS;
  const SealedText sealed = SealSecrets(text, [&error](std::string_view clear) {
    std::optional<std::string> value = SealSecret(clear);
    if (!value) error = GetLastError();
    return value;
  });
  if (!sealed.failed.empty()) {
    return "cannot encrypt " + sealed.failed + " for this Windows user" +
           (error == ERROR_SUCCESS ? "" : " (" + SystemMessage(error) + ")") +
           "; the file's passwords and tokens stay in clear";
  }
  if (!sealed.text) return {};
  // A save that came after these bytes were read is not written over: the
  // watch reads it next.
  std::string problem;
  const std::optional<std::string> now =
      ReadBoundedFile(path, problem, kMaxSettingsFile);
  if (!now || *now != bytes) return {};
  const std::string failure =
      ReplaceFileContents(path, *sealed.text, Durability::kFlushed);
  if (!failure.empty()) {
    return failure + "; its passwords and tokens stay in clear";
  }
  return {};
}

SettingsRead LoadSettingsFile(const std::wstring& folder,
                              std::string& problem) {
  const std::wstring path =
      folder + L"\\" + Utf8ToWide(std::string(kSettingsFileName));
  std::optional<std::string> bytes =
      ReadBoundedFile(path, problem, kMaxSettingsFile);
  if (!bytes && problem.empty()) {
    bytes = DefaultSettingsText();
    const std::string failure =
        ReplaceFileContents(path, *bytes, Durability::kFlushed);
    if (!failure.empty()) problem = failure;
  }
  if (!bytes) return {};
  const std::string failure = SealSettingsFile(path, *bytes);
  if (!failure.empty()) problem = failure;
  return ReadSettingsBytes(*bytes, {});
}

}  // namespace receiver
