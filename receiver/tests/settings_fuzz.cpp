// Any settings file reads without fault: each problem names its line, the
// files listed have names of their own, reading the same bytes again on top
// of the result gives the same settings, and the file with its secrets
// sealed reads as it did in clear. The forms' editor keeps the file as it
// is, writes a value that the reader takes back as given, changing one line
// or adding a few, and removes a section wholly; the page's changes, as
// JSON, never throw.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "receiver/settings/ini_document.h"
#include "receiver/settings/seal_secrets.h"
#include "receiver/settings/settings_file.h"
#include "receiver/settings/settings_form.h"
#include "receiver/songs/song_outputs.h"
#include "receiver/system/utf8.h"

namespace {

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size() - 1) + 1;
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end);
  }
  return lines;
}

// Whether `after` is `before` with at most one line changed and at most a
// few added there.
bool OneEditApart(std::string_view before, std::string_view after) {
  const auto a = Lines(before), b = Lines(after);
  std::size_t prefix = 0;
  while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) {
    ++prefix;
  }
  std::size_t suffix = 0;
  while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
         a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) {
    ++suffix;
  }
  return a.size() - prefix - suffix <= 1 && b.size() - prefix - suffix <= 4;
}

void CheckEditor(std::string_view input,
                 const std::function<std::string(std::string_view)>& latin1) {
  const std::string text = receiver::EditableText(input, latin1);
  receiver::IniDocument document(text, receiver::SectionCountsOnce);
  if (document.Text() != text) abort();
  std::string value(input.substr(
      0, input.empty() ? 0 : static_cast<unsigned char>(input[0]) % 24));
  if (!receiver::IsValidUtf8(value)) value = latin1(value);
  if (document.Set("idle", "text", value)) {
    const std::string edited = document.Text();
    if (receiver::ReadSettings(edited, nullptr).settings.idle_text != value ||
        !OneEditApart(text, edited)) {
      abort();
    }
  } else if (document.Text() != text || receiver::IniWrittenValue(value)) {
    abort();
  }
  receiver::IniDocument removed(text, receiver::SectionCountsOnce);
  removed.RemoveSection("idle");
  if (!receiver::ReadSettings(removed.Text(), nullptr)
           .settings.idle_text.empty()) {
    abort();
  }
}

// The input as the page's changes, made on a file with a secret in clear.
void CheckChanges(std::string_view input) {
  nlohmann::json call = nlohmann::json::parse(input, nullptr, false);
  if (!call.is_object()) return;
  constexpr std::string_view kFile =
      "[file a.txt]\ntemplate = {title}\n[idle]\n[webhook w]\nurl = x\n";
  call["version"] = receiver::SettingsVersion(kFile);
  receiver::SettingsDeskContext context;
  context.seal = [](std::string_view clear) {
    return std::optional<std::string>("dpapi:" + std::string(clear));
  };
  for (const bool save : {false, true}) {
    const receiver::SettingsAnswer answer =
        receiver::SettingsEdit(kFile, call.dump(), save, context);
    // What a save writes holds no secret in clear.
    if (answer.write &&
        receiver::SealSecrets(*answer.write, context.seal).text) {
      abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto latin1 = [](std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
      const unsigned char b = static_cast<unsigned char>(c);
      if (b < 0x80) {
        out += c;
      } else {
        out += static_cast<char>(0xC0 | (b >> 6));
        out += static_cast<char>(0x80 | (b & 0x3F));
      }
    }
    return out;
  };
  const receiver::SettingsRead read = receiver::ReadSettings(input, latin1);
  std::size_t last_line = 0;
  for (const receiver::SettingsProblem& problem : read.problems) {
    if (problem.line < last_line || problem.line == 0 || problem.text.empty() ||
        (!problem.section.empty() && problem.section.front() != '[')) {
      abort();
    }
    last_line = problem.line;
  }
  for (const auto& file : read.settings.files) {
    if (file.name.empty() ||
        file.name.find_first_of("/\\:") != std::string::npos) {
      abort();
    }
  }
  const receiver::SettingsRead again =
      receiver::ReadSettings(input, latin1, read.settings);
  if (!receiver::SameFiles(read.settings, again.settings)) abort();
  if (read.settings.targets != again.settings.targets) abort();
  for (const auto& webhook : read.settings.targets.webhooks) {
    if (webhook.name.empty() || webhook.url.empty()) abort();
  }
  // Sealing changes nothing but the secrets: the file reads the same.
  const auto seal = [](std::string_view clear) -> std::optional<std::string> {
    std::string out = "dpapi:";
    for (const char c : clear) {
      out += static_cast<char>('a' + (static_cast<unsigned char>(c) >> 4));
      out += static_cast<char>('a' + (static_cast<unsigned char>(c) & 15));
    }
    return out;
  };
  const auto unseal = [](std::string_view sealed) -> receiver::Unsealed {
    sealed.remove_prefix(6);
    if (sealed.size() % 2 != 0 ||
        sealed.find_first_not_of("abcdefghijklmnop") != std::string::npos) {
      return {std::nullopt, receiver::Unsealed::Failure::kDamaged};
    }
    std::string out;
    for (std::size_t i = 0; i < sealed.size(); i += 2) {
      out += static_cast<char>((sealed[i] - 'a') * 16 + (sealed[i + 1] - 'a'));
    }
    return {out, receiver::Unsealed::Failure::kNone};
  };
  const std::string utf8 = latin1(input);
  if (const auto sealed = receiver::SealSecrets(utf8, seal).text) {
    const receiver::SettingsRead clear =
        receiver::ReadSettings(utf8, nullptr, {}, unseal);
    const receiver::SettingsRead back =
        receiver::ReadSettings(*sealed, nullptr, {}, unseal);
    if (clear.settings.targets != back.settings.targets ||
        clear.problems.size() != back.problems.size()) {
      abort();
    }
  }
  CheckEditor(input, latin1);
  CheckChanges(input);
  const receiver::Song song{"A", "B", "C", ""};
  receiver::SongFiles(read.settings, std::nullopt, &song, false);
  receiver::SongFiles(read.settings, std::nullopt, &song, true);
  if (receiver::ChatLine(read.settings, &song, false).size() > 4 * 400) abort();
  return 0;
}
