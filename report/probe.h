#pragma once

#include <string>

namespace report {

// What the plug-in remembers of the player: the last title found to be new,
// and the artist and album of the current entry, in the ANSI code page, or
// in UTF-8 while the request path asks for it.
struct TrackStrings {
  std::string last_title;
  std::string artist;
  std::string album;
};

extern TrackStrings TrackState;

// Asks the player what plays; when the title does not occur in last_title,
// records it and sends the report. Runs on the player's main thread.
void RunProbe();

// UTF-16 to a code page (CP_ACP, CP_UTF8), up to the first zero.
std::string WideToNarrow(const wchar_t* text, unsigned code_page);

}  // namespace report
