#include "receiver/icon/tray_text.h"

#include "receiver/system/utf8.h"

namespace receiver {

namespace {

constexpr char32_t kEllipsis = U'\u2026';

std::size_t Units(char32_t c) { return c > 0xFFFF ? 2 : 1; }

// The text with control characters as spaces, cut to `max_units` with an
// ellipsis at the end when it is longer.
std::string Fitted(std::string_view utf8, std::size_t max_units) {
  const std::u32string text = DecodeUtf8(utf8);
  std::size_t total = 0;
  for (const char32_t c : text) total += Units(c);
  const bool cut = total > max_units;
  const std::size_t room = cut && max_units > 0 ? max_units - 1 : max_units;
  std::string out;
  std::size_t used = 0;
  for (const char32_t c : text) {
    if (used + Units(c) > room) break;
    used += Units(c);
    AppendUtf8(out, c < 0x20 || (c >= 0x7F && c <= 0x9F) ? U' ' : c);
  }
  if (cut && max_units > 0) AppendUtf8(out, kEllipsis);
  return out;
}

}  // namespace

std::size_t Utf16Units(std::string_view utf8) {
  std::size_t units = 0;
  for (const char32_t c : DecodeUtf8(utf8)) units += Units(c);
  return units;
}

std::string TooltipText(const Song* song, std::string_view listen_address,
                        std::size_t max_units) {
  std::string playing;
  if (song == nullptr) {
    playing = "Waiting for the first song";
  } else if (!song->artist.empty() && !song->title.empty()) {
    playing = song->artist + " - " + song->title;
  } else if (!song->artist.empty() || !song->title.empty()) {
    playing = song->artist + song->title;
  } else {
    playing = song->album.empty() ? "A song without a title" : song->album;
  }
  const std::string listening =
      Fitted("Listening on " + std::string(listen_address), max_units);
  const std::size_t listening_units = Utf16Units(listening);
  if (listening_units + 2 > max_units) return listening;
  // The song gives way to the address, which the line break follows.
  return Fitted(playing, max_units - listening_units - 1) + "\n" + listening;
}

std::string IconTooltipText(const Song* song, std::string_view listen_address,
                            std::size_t problems, std::size_t max_units) {
  if (problems == 0) return TooltipText(song, listen_address, max_units);
  const std::string line = std::to_string(problems) +
                           (problems == 1 ? " problem" : " problems") +
                           ": see the control page\n";
  if (line.size() >= max_units)
    return TooltipText(song, listen_address, max_units);
  return line + TooltipText(song, listen_address, max_units - line.size());
}

}  // namespace receiver
