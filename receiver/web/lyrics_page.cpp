#include "receiver/web/lyrics_page.h"

#include "receiver/web/html.h"
#include "receiver/web/page.h"
#include "receiver/web/web_files.h"

namespace receiver {

std::string LyricsPageForQuery(std::string_view query) {
  const PageSwitches switches = SwitchesForQuery(query);
  std::string body_class = "lyrics";
  body_class += switches.theme == Theme::kLight   ? " theme-light"
                : switches.theme == Theme::kClear ? " theme-clear"
                                                  : " theme-dark";
  body_class += switches.align_right ? " align-right" : " align-left";
  std::string body_data;
  if (switches.width) {
    body_class += " fixed-width";
    body_data =
        " style=\"--box-width: " + std::to_string(*switches.width) + "px\"";
  }
  return FillPage(web_files::kLyricsHtml,
                  {{"style", std::string(web_files::kLyricsCss)},
                   {"body_class", body_class},
                   {"body_data", body_data},
                   {"script", std::string(web_files::kLyricsJs)}});
}

}  // namespace receiver
