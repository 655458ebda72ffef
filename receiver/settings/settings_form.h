#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "receiver/settings/secret_keys.h"
#include "receiver/songs/song_text.h"

// The control page's settings forms: what they show of the settings file,
// and the file their changes make. The file stays the one truth: each
// answer is made from its bytes as they are on disk, and a save edits them
// in place (IniDocument), checked by the same reader as a save in Notepad.
namespace receiver {

// Whether only the first section of this name (IniSectionName) counts, as
// the reader takes [file NAME] and [webhook NAME].
bool SectionCountsOnce(std::string_view name);

// The file's bytes in a few characters, sent with the model and back with a
// change: a change made on a version that is no longer on disk is refused.
std::string SettingsVersion(std::string_view bytes);

// The text the forms edit, UTF-8: the file's bytes when they are UTF-8
// (with or without a BOM), else its text (SettingsText) after a BOM, as a
// save then writes it.
std::string EditableText(
    std::string_view bytes,
    const std::function<std::string(std::string_view)>& from_ansi);

struct SettingsDeskContext {
  std::function<std::string(std::string_view)> from_ansi;
  Unseal unseal;
  Seal seal;
  std::optional<Song> song;           // the current one, for the previews
  std::optional<std::string> format;  // --format
};

// The model the page shows, as JSON: the version, each section with the
// values of its keys as the reader takes them (a secret only as
// {"set":true} or {"set":false}), the reader's problems (each with the
// section's name and key, for its field), the previews of the templates on
// the current song.
std::string SettingsModelJson(std::string_view bytes,
                              const SettingsDeskContext& context);

struct SettingsAnswer {
  int status = 200;
  std::string json;
  // After a save that changed something: the file's new bytes, each secret
  // sealed.
  std::optional<std::string> write;
};

// The page's changes, {"version":V,"changes":[...]}, each one of
//   {"section":S,"key":K,"value":V}       the key's value
//   {"section":S,"key":K,"values":[...]}  a key of many lines (header)
//   {"section":S,"key":K,"remove":true}   the key's lines go: its default
//   {"section":S,"add":true}              a section added
//   {"section":S,"remove":true}           a section removed
// made on the file's `bytes`. A check answers the problems and previews of
// the result; a save answers its model, or refuses: 409 "the file changed
// on disk; reload" when `bytes` no longer have the version, 422 when the
// changes bring a problem the file did not have (nothing is written; the
// problems that were there stay and do not stop a save).
SettingsAnswer SettingsEdit(std::string_view bytes, std::string_view body,
                            bool save, const SettingsDeskContext& context);

// SettingsEdit's body for one key of the file as it is: its value, or none
// to remove it; the receiver's own change, e.g. Last.fm's session.
std::string OneChangeJson(std::string_view bytes, std::string_view section,
                          std::string_view key,
                          const std::optional<std::string>& value);

// {"error":TEXT}, for an answer to the page, and its TEXT back.
std::string SettingsErrorJson(std::string_view text);
std::string SettingsErrorText(std::string_view json);

inline constexpr std::string_view kSettingsConflict =
    "the file changed on disk; reload";

}  // namespace receiver
