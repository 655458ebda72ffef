// Prints the page that the receiver's request handler answers to a GET of /
// with a query, with or without a song (and its cover), for the overlay's
// browser test:
//   page_print QUERY [ARTIST ALBUM TITLE RECEIVED [COVER]]
#include <cstdio>
#include <optional>
#include <string>

#include "receiver/web/handler.h"

namespace {

class OneSong : public receiver::SongStore {
 public:
  std::optional<receiver::Song> Current() const override { return song; }
  void Store(receiver::Song) override {}
  std::optional<receiver::Song> song;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 6 && argc != 7) {
    std::fputs(
        "usage: page_print QUERY [ARTIST ALBUM TITLE RECEIVED [COVER]]\n",
        stderr);
    return 2;
  }
  OneSong songs;
  if (argc >= 6) {
    songs.song = receiver::Song{argv[2], argv[3], argv[4], argv[5]};
    if (argc == 7) songs.song->cover = argv[6];
  }
  const std::string target = std::string("/?") + argv[1];
  receiver::Request request{boost::beast::http::verb::get, target, 10};
  const receiver::Answer answer =
      receiver::HandleRequest(request, {"127.0.0.1", true}, {}, songs);
  const std::string& page = answer.response.body();
  if (answer.response.result() != boost::beast::http::status::ok) return 1;
  return std::fwrite(page.data(), 1, page.size(), stdout) == page.size() ? 0
                                                                         : 1;
}
