#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/discord/discord_settings.h"
#include "receiver/services/service_settings.h"
#include "receiver/settings/secret_keys.h"
#include "receiver/settings/settings_problem.h"
#include "receiver/songs/own_files.h"
#include "receiver/songs/song_settings.h"

// trackwire_receiver.ini, in the song folder: the song files, idle, history
// and chat, read by a small reader of our own that names the line of each
// problem and keeps the rest.
namespace receiver {

struct ReceiverSettings : SongSettings {
  TargetSettings targets;
  DiscordSettings discord;
  // Taken at start only.
  std::optional<int> port;
  std::optional<std::string> listen;
};

struct SettingsRead {
  ReceiverSettings settings;
  // One per line that was not taken, in the file's order.
  std::vector<SettingsProblem> problems;
};

// The file's bytes as UTF-8 without a BOM: UTF-8, with or without a BOM, as
// it is; UTF-16 with its BOM (FF FE or FE FF, Notepad's "Unicode")
// converted; anything else is text in the ANSI code page that `from_ansi`
// turns into UTF-8 (none: taken as it is).
std::string SettingsText(
    std::string_view bytes,
    const std::function<std::string(std::string_view)>& from_ansi);

// The file's bytes (as SettingsText takes them). A line that is not taken
// leaves its setting as it was in `previous` (the settings in use). A
// secret starting with "dpapi:" goes through `unseal` (the whole value);
// when that fails, or there is no `unseal`, it is a problem and its target
// is off.
SettingsRead ReadSettings(
    std::string_view bytes,
    const std::function<std::string(std::string_view)>& from_ansi,
    const ReceiverSettings& previous = {}, const Unseal& unseal = {});

// The file a first start writes: every setting at its default, commented
// out, each with a line saying what it does.
std::string DefaultSettingsText();

}  // namespace receiver
