#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/songs/clean_text.h"
#include "receiver/songs/song_text.h"

// The songs that came, newest first: history.txt, /history.json and its
// file, and the playout log's rows. Times are given with the UTC offset of
// the moment, so that all of it is pure.
namespace receiver {

inline constexpr std::size_t kHistoryKept = 500;
inline constexpr std::size_t kHistoryJsonSongs = 50;
// A player restarted mid-song reports it again.
inline constexpr std::int64_t kSameSongSeconds = 10;

struct HistoryEntry {
  Song song;
  std::int64_t unix_seconds = 0;
  int offset_minutes = 0;  // local time minus UTC
};

class History {
 public:
  // False, and nothing kept, for the current song reported again within
  // kSameSongSeconds.
  bool Add(const Song& song, std::int64_t unix_seconds, int offset_minutes);
  void Restore(std::vector<HistoryEntry> entries);
  // The cover found after the song came: kept when the newest entry is that
  // song (the same artist, album and title). True when it changed.
  bool SetCover(const Song& song, std::string cover);
  // The same for its length, looked up after it came.
  bool SetLength(const Song& song, int length);
  const std::deque<HistoryEntry>& entries() const { return entries_; }

 private:
  std::deque<HistoryEntry> entries_;
};

// "2024-05-01T21:04:05+02:00".
std::string IsoLocal(std::int64_t unix_seconds, int offset_minutes);
std::optional<HistoryEntry> ParseIsoLocal(std::string_view text);

// The newest `count` songs as a JSON array of {artist, album, title, time},
// with "cover": "covers/KEY.jpg" after them for a song whose cover is a
// cache key (IsCoverKey), and "length": seconds for one whose length is
// known.
std::string HistoryJson(const std::deque<HistoryEntry>& entries,
                        std::size_t count);
// As HistoryJson wrote it; entries it cannot read are left out, a cover
// other than covers/KEY.jpg too. Nothing when it is no JSON array at all.
std::optional<std::vector<HistoryEntry>> ParseHistoryJson(
    std::string_view json);

// HistoryJson of kHistoryKept songs at their largest: three fields of
// kMaxValueCharacters, each character escaped at its widest, with a time, a
// cover, a length and the punctuation. What the receiver writes it reads back.
inline constexpr std::size_t kMaxHistoryJson =
    kHistoryKept *
        (3 * (2 + kMaxValueCharacters * kMaxJsonCharacterBytes) + 160) +
    8;

// "21:04  Les Étoiles - Café" for each of the newest `lines` songs, CR LF
// after each.
std::string HistoryText(const std::deque<HistoryEntry>& entries,
                        std::size_t lines,
                        const std::function<std::string(const Song&)>& line);

// The playout log: its file for the song's local day, "2024-05-01.csv", the
// start of a new one (a BOM, for Excel, and the column names) and one row.
std::string LogFileName(const HistoryEntry& entry);
std::string LogFileStart();
std::string LogRow(const HistoryEntry& entry);
// A field quoted as RFC 4180 has it, when it needs to be.
std::string CsvField(std::string_view text);

}  // namespace receiver
