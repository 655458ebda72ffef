#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The names covers, lengths and lyrics are cached under (IsCoverKey tells
// one).
namespace receiver {

// 16 lower-case hex digits: FNV-1a 64 of "ARTIST\nALBUM", each trimmed and
// in upper case (UpperCaseText), so "ABBA" and "abba " share a cover.
std::string CoverKey(std::string_view artist, std::string_view album);
// The same of "ARTIST\nALBUM\nTITLE": the name a recording's length and
// lyrics are cached under.
std::string RecordingKey(std::string_view artist, std::string_view album,
                         std::string_view title);

// A miss (KEY.none) is asked again after this: the archive grows.
inline constexpr std::int64_t kCoverMissSeconds = 24 * 60 * 60;

// Whether a KEY.none written at the Unix time it holds (KeepNone's text)
// still stands at `unix_seconds`.
bool MissStillFresh(std::string_view kept, std::int64_t unix_seconds);

}  // namespace receiver
