// Prints the page that the receiver serves for a query, with or without a
// song, for the overlay's browser test:
//   page_print QUERY [ARTIST ALBUM TITLE RECEIVED]
#include <cstdio>
#include <optional>
#include <string>

#include "receiver/text/page.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 6) {
    std::fputs("usage: page_print QUERY [ARTIST ALBUM TITLE RECEIVED]\n",
               stderr);
    return 2;
  }
  std::optional<receiver::Song> song;
  if (argc == 6) song = receiver::Song{argv[2], argv[3], argv[4], argv[5]};
  const std::string page =
      receiver::PageForQuery(song ? &*song : nullptr, argv[1]);
  return std::fwrite(page.data(), 1, page.size(), stdout) == page.size() ? 0
                                                                         : 1;
}
