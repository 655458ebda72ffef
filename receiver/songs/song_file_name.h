#pragma once

#include <string>
#include <string_view>

namespace receiver {

// Why `name` cannot be a [file NAME] of the settings file (the section is
// not named again), or an empty string: it must be a plain file in the song
// folder that only the song files use, so no device (COM1.txt), no short name
// that may stand for another file (NOW_PL~1.JSO) and none of the receiver's own
// names.
std::string SongFileNameProblem(std::string_view name);

}  // namespace receiver
