#pragma once

#include <string>

namespace settings {

struct SettingsRecord {
  std::string host;
  std::string request_path;
  std::string port;
  std::string settings_file;
};

// The one process-wide settings record; read through the getters, changed
// through StoreSettings.
extern SettingsRecord ReportSettings;

constexpr char kSettingsFileName[] = "gen_trackwire.ini";
constexpr char kDefaultHost[] = "localhost";
constexpr char kDefaultRequestPath[] =
    "/set_current_song.php?artist=%s&album=%s&title=%s";
constexpr char kDefaultPort[] = "80";

// Sets the defaults, then reads folder\gen_trackwire.ini over them if it can
// be opened. A null folder leaves the defaults and no file to store to.
void LoadSettings(const char* folder);

// Updates the record, then replaces the settings file with the three values.
void StoreSettings(const std::string& host, const std::string& request_path,
                   const std::string& port);

std::string GetHost();
std::string GetRequestPath();
std::string GetPort();

}  // namespace settings
