#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// LRC lyrics, "[mm:ss.xx]text" lines, and which of them is current.
namespace receiver {

struct LyricLine {
  double seconds = 0;  // from the song's start
  std::string text;
};

// The timed lines of LRC text, in time order (equal times in the order
// written). A line with several times ("[00:12.00][01:30.50]Chorus") is
// there at each; "[offset:+500]" (milliseconds, a positive one makes every
// line sooner) applies to all; word times (<00:12.34>) are dropped from the
// text; tags such as [ar:...], lines without a time and times that do not
// read are skipped. A line with a time and no text is a pause.
std::vector<LyricLine> ParseLrc(std::string_view text);

// The line current `seconds` into the song: its index, or -1 before the
// first.
int LineAt(const std::vector<LyricLine>& lines, double seconds);

// When the line after the one current at `seconds` starts; none after the
// last.
std::optional<double> NextLineStart(const std::vector<LyricLine>& lines,
                                    double seconds);

}  // namespace receiver
