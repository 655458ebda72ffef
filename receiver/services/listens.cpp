#include "receiver/services/listens.h"

#include <nlohmann/json.hpp>

#include "receiver/system/ascii.h"

namespace receiver {

namespace {

std::optional<Listen> ParseListen(std::string_view line) {
  const nlohmann::json json =
      nlohmann::json::parse(line.begin(), line.end(), nullptr, false);
  if (!json.is_object()) return std::nullopt;
  const auto text_of = [&](const char* name, std::string& into) {
    const auto found = json.find(name);
    if (found == json.end() || !found->is_string()) return false;
    into = found->get<std::string>();
    return true;
  };
  Listen listen;
  const auto at = json.find("listened_at");
  if (at == json.end() || !at->is_number_integer() ||
      !text_of("artist", listen.song.artist) ||
      !text_of("album", listen.song.album) ||
      !text_of("title", listen.song.title)) {
    return std::nullopt;
  }
  text_of("received", listen.song.received);
  listen.listened_at = at->get<std::int64_t>();
  if (listen.listened_at <= 0) return std::nullopt;
  return listen;
}

}  // namespace

bool CountsAsListen(std::int64_t started, std::int64_t ended, int length) {
  const std::int64_t played = ended - started;
  if (length <= 0) return played >= kListenSeconds;
  return length > kShortestListenLength &&
         (2 * played >= length || played >= kListenSeconds);
}

std::optional<Listen> ListenOf(const Song& song, std::int64_t started,
                               std::int64_t ended) {
  if (!CountsAsListen(started, ended, song.length)) return std::nullopt;
  Listen listen;
  listen.song = song;
  listen.listened_at = started;
  return listen;
}

std::string ListenId(const Listen& listen) {
  return std::to_string(listen.listened_at) + " " + listen.song.artist + "\n" +
         listen.song.title;
}

std::string ListenLine(const Listen& listen) {
  const nlohmann::json line = {{"artist", listen.song.artist},
                               {"album", listen.song.album},
                               {"title", listen.song.title},
                               {"received", listen.song.received},
                               {"listened_at", listen.listened_at}};
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
         "\n";
}

ListenLines ParseListenLines(std::string_view text) {
  ListenLines lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (TrimSpace(line).empty()) continue;
    if (std::optional<Listen> listen = ParseListen(line)) {
      lines.listens.push_back(std::move(*listen));
    } else {
      lines.unread.append(line.data(), line.size()).push_back('\n');
      ++lines.unread_count;
    }
  }
  return lines;
}

}  // namespace receiver
