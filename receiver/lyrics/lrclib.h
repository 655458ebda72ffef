#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/lyrics/lrc.h"
#include "receiver/services/outgoing.h"
#include "receiver/services/service_settings.h"
#include "receiver/songs/song_text.h"

// LRCLIB's lyrics: the requests, the record taken from an answer (what the
// cache keeps) and what a record holds.
namespace receiver {

struct Lyrics {
  enum class Kind { kNone, kSynced, kPlain, kInstrumental };
  Kind kind = Kind::kNone;
  std::vector<LyricLine> lines;  // kSynced
  std::string plain;             // kPlain
};

// GET {url}/api/get?artist_name=...&track_name=...&album_name=...&duration=N
// for a song of a known length (no album_name without an album).
Outgoing LyricsGet(const LyricsSettings& settings, std::string_view contact,
                   const Song& song, int length);
// GET {url}/api/search?artist_name=...&track_name=...
Outgoing LyricsSearch(const LyricsSettings& settings, std::string_view contact,
                      const Song& song);

struct LyricsAnswer {
  bool ok = false;  // false: the bytes are no such answer
  // {"instrumental":...,"plainLyrics":...,"syncedLyrics":...}; none when the
  // answer has nothing to show.
  std::optional<std::string> record;
};

// LyricsGet's answer (a 200: one track).
LyricsAnswer GetAnswer(std::string_view json);
// LyricsSearch's answer: of the tracks whose artist and title are the song's
// (in any case, spaces trimmed), one with synced lyrics before one with plain
// lyrics before an instrumental, then one of the song's album, then the
// first; none when no track is the song's.
LyricsAnswer BestSearchAnswer(std::string_view json, const Song& song);

// What a record holds: synced lyrics before plain ones.
Lyrics LyricsOfRecord(std::string_view record);

// /lyrics.json: {"kind": "synced"|"plain"|"instrumental"|"none",
// "elapsed": seconds of the lyrics' clock now, "lines": [{"time": t, "text":
// ...}...] or "plain": text}.
std::string LyricsJson(const Lyrics* lyrics, double elapsed);

}  // namespace receiver
