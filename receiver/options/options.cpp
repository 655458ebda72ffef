#include "receiver/options/options.h"

#include <string_view>

#include "receiver/system/ascii.h"
#include "receiver/web/host_check.h"

namespace receiver {

namespace {

std::optional<unsigned> ParseNumber(const std::string& text, unsigned low,
                                    unsigned high) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

}  // namespace

std::optional<unsigned> ParseCodePage(const std::string& text) {
  const std::string lower = LowerAscii(text);
  if (lower == "utf-8" || lower == "utf8") return 65001u;
  constexpr std::string_view kPrefixes[] = {"windows-", "cp"};
  for (const std::string_view prefix : kPrefixes) {
    if (lower.compare(0, prefix.size(), prefix) == 0) {
      return ParseNumber(lower.substr(prefix.size()), 1, 65535);
    }
  }
  return ParseNumber(lower, 1, 65535);
}

ParsedOptions ParseOptions(const std::vector<std::string>& arguments) {
  Options options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name == "--help" || name == "-h" || name == "/?") {
      options.help = true;
      continue;
    }
    if (name == "--console") {
      options.console = true;
      continue;
    }
    if (name != "--port" && name != "--listen" && name != "--folder" &&
        name != "--format" && name != "--encoding" && name != "--allow-host" &&
        name != "--key") {
      return {std::nullopt, "unknown option " + name};
    }
    if (i + 1 == arguments.size()) {
      return {std::nullopt, name + " needs a value"};
    }
    const std::string& value = arguments[++i];
    if (name == "--port") {
      const auto port = ParseNumber(value, 1, 65535);
      if (!port) {
        return {std::nullopt,
                "--port takes a number from 1 to 65535, not " + value};
      }
      options.port = static_cast<int>(*port);
      options.port_given = true;
    } else if (name == "--listen") {
      if (value.empty()) return {std::nullopt, "--listen needs an address"};
      options.listen = value;
      options.listen_given = true;
    } else if (name == "--folder") {
      if (value.empty()) return {std::nullopt, "--folder needs a folder"};
      options.folder = value;
    } else if (name == "--format") {
      options.format = value;
    } else if (name == "--key") {
      if (value.empty()) return {std::nullopt, "--key needs a value"};
      options.key = value;
    } else if (name == "--allow-host") {
      if (!IsPlainHostName(value)) {
        return {std::nullopt,
                "--allow-host takes a host name such as studio-pc.example, "
                "without port, not " +
                    value};
      }
      options.allow_hosts.push_back(value);
    } else {
      const auto code_page = ParseCodePage(value);
      if (!code_page) {
        return {std::nullopt,
                "--encoding takes a code page such as 1252, 1251 or utf-8, "
                "not " +
                    value};
      }
      options.code_page = *code_page;
    }
  }
  return {options, {}};
}

std::vector<std::string> OptionArguments(const Options& options,
                                         const std::string& folder) {
  const Options defaults;
  std::vector<std::string> arguments = {"--folder", folder};
  if (options.port_given || options.port != defaults.port) {
    arguments.insert(arguments.end(), {"--port", std::to_string(options.port)});
  }
  if (options.listen_given || options.listen != defaults.listen) {
    arguments.insert(arguments.end(), {"--listen", options.listen});
  }
  if (options.format) {
    arguments.insert(arguments.end(), {"--format", *options.format});
  }
  if (options.code_page != 0) {
    arguments.insert(arguments.end(),
                     {"--encoding", std::to_string(options.code_page)});
  }
  for (const std::string& host : options.allow_hosts) {
    arguments.insert(arguments.end(), {"--allow-host", host});
  }
  if (options.key) arguments.insert(arguments.end(), {"--key", *options.key});
  return arguments;
}

std::string UsageText() {
  return R"(trackwire_receiver: the player's current song for a stream overlay.
Takes the plug-in's reports (GET /set_current_song.php?artist=&album=&title=),
writes now_playing.txt, now_playing.json, artist.txt, album.txt and title.txt
and serves the page. It shows an icon in the notification area; its menu
opens the overlay, copies its address, opens the song folder, sets the start
at log-on and ends the receiver. A second start shows the first one's icon.

usage: trackwire_receiver [--port N] [--listen ADDRESS] [--folder DIR]
                          [--format TEXT] [--encoding CODEPAGE]
                          [--allow-host NAME]... [--key KEY] [--console]

  --port N             port to listen on (default 80, as the plug-in)
  --listen ADDRESS     address to listen on (default 127.0.0.1: this PC
                       only; 0.0.0.0 takes reports from the whole network)
  --folder DIR         where the song files go
                       (default: the current folder); the last song is
                       read back from there at start
  --format TEXT        the template of now_playing.txt, with {artist},
                       {album} and {title} (default "{artist} - {title}",
                       or just "{title}" when there is no artist)
  --encoding CODEPAGE  the player's code page when it runs on another PC,
                       e.g. 1252, 1251 or utf-8 (default: this PC's)
  --allow-host NAME    also answer requests addressed to NAME, for a player
                       on another PC that reports to this one by a DNS name;
                       repeat it for more names. Without it only IP
                       addresses, localhost and this PC's own names are
                       answered, so that no web page can reach the receiver
                       through a name of its own.
  --key KEY            take only reports whose query has key=KEY (for
                       --listen 0.0.0.0: put key=KEY in the plug-in's path)
  --console            run in a console window (a line per song, Ctrl+C
                       ends it) instead of as an icon in the notification
                       area

Settings: trackwire_receiver.ini in the song folder, written with its
defaults at the first start (the menu's "Edit settings" opens it), sets
the song files (a template and an encoding each), idle, the history and
the chat's line (GET /song); a save applies within a second. The options
above win over it.

When a song file cannot be replaced (a program holds it open), the page
still shows the new song at once, the receiver says so once and writes the
file as soon as it can.

The page: http://127.0.0.1/ (add ?overlay=1 for a browser source).
The icon's "Exit" ends it; with --console, Ctrl+C or closing the window.)";
}

}  // namespace receiver
