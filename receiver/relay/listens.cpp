#include "receiver/relay/listens.h"

#include <nlohmann/json.hpp>

namespace receiver {

bool CountsAsListen(std::int64_t started, std::int64_t ended) {
  return ended - started >= kListenSeconds;
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

std::vector<Listen> ParseListenLines(std::string_view text) {
  std::vector<Listen> listens;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    const nlohmann::json json =
        nlohmann::json::parse(line.begin(), line.end(), nullptr, false);
    if (!json.is_object()) continue;
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
      continue;
    }
    text_of("received", listen.song.received);
    listen.listened_at = at->get<std::int64_t>();
    if (listen.listened_at <= 0) continue;
    listens.push_back(std::move(listen));
  }
  return listens;
}

}  // namespace receiver
