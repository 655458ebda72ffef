#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "receiver/songs/song_text.h"

// The texts of the receiver's notification-area icon, as UTF-8.
namespace receiver {

// The shell's tooltip holds 127 UTF-16 units and its terminating null.
constexpr std::size_t kTooltipUnits = 127;

// "Artist - Title" (or what of it there is, or that no song came yet) over
// "Listening on ADDRESS", the song shortened with an ellipsis so that the
// whole fits in `max_units` UTF-16 units; control characters become spaces.
std::string TooltipText(const Song* song, std::string_view listen_address,
                        std::size_t max_units = kTooltipUnits);

// TooltipText under "1 problem" or "N problems" while any is open (the
// control page lists them).
std::string IconTooltipText(const Song* song, std::string_view listen_address,
                            std::size_t problems,
                            std::size_t max_units = kTooltipUnits);

// The number of UTF-16 units that the UTF-8 text takes.
std::size_t Utf16Units(std::string_view utf8);

}  // namespace receiver
