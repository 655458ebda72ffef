#pragma once

#include <string>

namespace report {

// What the plug-in remembers of the player: the last title found to be new,
// and the artist and album of the current entry, in the ANSI code page.
struct TrackStrings {
  std::string last_title;
  std::string artist;
  std::string album;
};

extern TrackStrings TrackState;

// Asks the player what plays; when the title does not occur in last_title,
// records it and sends the report. Runs on the player's main thread.
void RunProbe();

// UTF-16 to the system ANSI code page, up to the first zero.
std::string WideToAnsi(const wchar_t* text);

}  // namespace report
