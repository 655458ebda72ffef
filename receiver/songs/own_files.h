#pragma once

#include <string_view>

// What the receiver keeps in the song folder for itself: the one list that
// the code writing those files and the settings reader refusing them as a
// [file NAME] go by.
namespace receiver {

inline constexpr std::string_view kSettingsFileName = "trackwire_receiver.ini";
inline constexpr std::string_view kSongJsonFile = "now_playing.json";
inline constexpr std::string_view kHistoryJsonFile = "history.json";
inline constexpr std::string_view kHistoryTextFile = "history.txt";
// The listens and scrobbles that ListenBrainz and Last.fm have not taken.
inline constexpr std::string_view kListensFile = "listens.jsonl";
inline constexpr std::string_view kScrobblesFile = "scrobbles.jsonl";
inline constexpr std::string_view kCoverImageFile = "cover.jpg";
inline constexpr std::string_view kCoversFolder = "covers";
// Songs' lengths and lyrics looked up, and the line being sung.
inline constexpr std::string_view kLengthsFolder = "lengths";
inline constexpr std::string_view kLyricsFolder = "lyrics";
inline constexpr std::string_view kLyricsTextFile = "lyrics.txt";
inline constexpr std::string_view kLogFolder = "log";
// The user's own style for the overlay, which the receiver only reads.
inline constexpr std::string_view kUserStyleFile = "overlay.css";

// A file being replaced, and one kept aside because it could not be read.
inline constexpr std::string_view kTemporaryEnding = ".tmp";
inline constexpr std::string_view kAsideEnding = ".bad";

inline constexpr std::string_view kOwnNames[] = {
    kSettingsFileName, kSongJsonFile,  kHistoryJsonFile, kHistoryTextFile,
    kListensFile,      kScrobblesFile, kCoverImageFile,  kCoversFolder,
    kLengthsFolder,    kLyricsFolder,  kLyricsTextFile,  kLogFolder,
    kUserStyleFile};
inline constexpr std::string_view kOwnEndings[] = {kTemporaryEnding,
                                                   kAsideEnding};

}  // namespace receiver
