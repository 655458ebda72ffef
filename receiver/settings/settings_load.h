#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "receiver/settings/settings_file.h"

namespace receiver {

// The folder's trackwire_receiver.ini, written with every setting at its
// default when there is none. `problem` says what went wrong with the file
// itself; the settings are then the defaults.
SettingsRead LoadSettingsFile(const std::wstring& folder, std::string& problem);

// A settings file is a few kilobytes; more is not one.
inline constexpr std::size_t kMaxSettingsFile = 256 * 1024;

// Rewrites the settings file at `path`, whose bytes were just read, with each
// password or token written in clear encrypted for this Windows user, so that
// the file can be shown; not when the file no longer holds those bytes (a
// newer save). Returns an empty string, or what went wrong.
std::string SealSettingsFile(const std::wstring& path, std::string_view bytes);

// The settings file as UTF-8, from the bytes Notepad saved; sealed secrets
// in clear.
SettingsRead ReadSettingsBytes(std::string_view bytes,
                               const ReceiverSettings& previous);

}  // namespace receiver
