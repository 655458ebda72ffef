// Any LRC text and any LRCLIB answer read without fault: the lines come in
// time order from 0 on, the line current at each one's time starts then, the
// next one later; a record taken from an answer holds something to show.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "receiver/lyrics/lrc.h"
#include "receiver/lyrics/lrclib.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::vector<receiver::LyricLine> lines = receiver::ParseLrc(input);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const double at = lines[i].seconds;
    if (!std::isfinite(at) || at < 0) abort();
    if (i > 0 && lines[i - 1].seconds > at) abort();
    const int current = receiver::LineAt(lines, at);
    if (current < static_cast<int>(i) ||
        lines[static_cast<std::size_t>(current)].seconds != at) {
      abort();
    }
    const std::optional<double> next = receiver::NextLineStart(lines, at);
    if (next && *next <= at) abort();
  }
  if (!lines.empty() && receiver::LineAt(lines, -1) != -1) abort();
  const receiver::Song song{"A", "B", "C", ""};
  for (const receiver::LyricsAnswer& answer :
       {receiver::GetAnswer(input), receiver::BestSearchAnswer(input, song)}) {
    if (answer.record && receiver::LyricsOfRecord(*answer.record).kind ==
                             receiver::Lyrics::Kind::kNone) {
      abort();
    }
  }
  const receiver::Lyrics read = receiver::LyricsOfRecord(input);
  receiver::LyricsJson(&read, 1.5);
  return 0;
}
