#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/lastfm/lastfm_connect.h"
#include "receiver/songs/song_text.h"
#include "receiver/web/problems.h"

// What the control page's "state" call answers, as JSON, and what its "test"
// call takes.
namespace receiver {

// The last report from the player, and the address it came from.
struct LastReport {
  Song song;
  std::string from;
};

struct ControlFacts {
  std::string listen;  // what it listens on, "127.0.0.1:8080"
  std::string page;    // the page's address, "http://127.0.0.1:8080/"
  std::string folder;  // the song folder, UTF-8
  std::vector<std::string> files;  // the song files' names in it
  std::optional<Song> song;
  bool idle = false;
  std::optional<LastReport> last;
  std::string history_json;  // as /history.json has it
  const ProblemBoard* problems = nullptr;
  LastFmStatus lastfm;
};

// {"listen", "page", "overlay", "song", "idle", "last_report", "history",
//  "files": [{"name", "path"}], "problems": [{"kind", "subject", "line",
//  "section", "text", "since"}], "services": [{"name", "health", "problem",
//  "since"}], "lastfm": {"set_up", "connected", "stage", "page",
//  "problem"}}; times as UTC, "2024-05-01T20:15:00Z".
std::string ControlStateJson(const ControlFacts& facts);

// A test song's body, {"artist", "album", "title"}, each cleaned as a
// report's value; nothing when it is no object or all three are empty.
std::optional<Song> ParseTestSong(std::string_view body);

}  // namespace receiver
