#include "receiver/web/page.h"

#include <utility>

#include "receiver/web/html.h"
#include "receiver/web/query.h"
#include "receiver/web/web_files.h"

namespace receiver {

namespace {

std::optional<int> WholeNumber(std::string_view query, std::string_view name,
                               int low, int high) {
  const std::optional<std::string> value = QueryValue(query, name);
  if (!value || value->empty()) return std::nullopt;
  int number = 0;
  for (const char c : *value) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
    if (number > high) return std::nullopt;
  }
  if (number < low) return std::nullopt;
  return number;
}

}  // namespace

std::optional<int> HideSeconds(std::string_view query) {
  return WholeNumber(query, "hide", 1, kMaxHideSeconds);
}

PageSwitches SwitchesForQuery(std::string_view query) {
  PageSwitches switches;
  switches.overlay = HasQueryName(query, "overlay");
  switches.hide_seconds = HideSeconds(query);
  const std::string theme = QueryValue(query, "theme").value_or("");
  if (theme == "light") switches.theme = Theme::kLight;
  if (theme == "clear") switches.theme = Theme::kClear;
  switches.align_right = QueryValue(query, "align") == "right";
  switches.width =
      WholeNumber(query, "width", kMinOverlayWidth, kMaxOverlayWidth);
  switches.scroll = QueryValue(query, "scroll") == "1";
  switches.cover = QueryValue(query, "cover") != "0";
  switches.progress = QueryValue(query, "progress") == "1";
  return switches;
}

std::string PageHtml(const Song* song, const PageSwitches& switches,
                     bool idle) {
  const bool overlay = switches.overlay;
  std::string body_class;
  std::string body_data;
  if (overlay) {
    body_class = "overlay";
    body_class += switches.theme == Theme::kLight   ? " theme-light"
                  : switches.theme == Theme::kClear ? " theme-clear"
                                                    : " theme-dark";
    body_class += switches.align_right ? " align-right" : " align-left";
    // Only numbers within their bounds reach the page.
    if (switches.width && *switches.width >= kMinOverlayWidth &&
        *switches.width <= kMaxOverlayWidth) {
      body_class += " fixed-width";
      body_data +=
          " style=\"--box-width: " + std::to_string(*switches.width) + "px\"";
    }
    if (switches.scroll) body_class += " scroll";
    if (!switches.cover) body_class += " no-cover";
    if (switches.progress) body_class += " progress";
    if (switches.hide_seconds && *switches.hide_seconds > 0 &&
        *switches.hide_seconds <= kMaxHideSeconds) {
      body_data +=
          " data-hide=\"" + std::to_string(*switches.hide_seconds) + "\"";
    }
  }
  std::string cover;
  if (song && !song->cover.empty()) {
    cover = " src=\"/cover.jpg?" + HtmlEscape(song->cover) + "\"";
  }
  std::string received;
  if (!overlay) {
    const std::string utc = HtmlEscape(song ? song->received : "");
    received = "  <div class=\"received\" id=\"received\" data-utc=\"" + utc +
               "\">" + (song ? "received " + utc : "") + "</div>\n";
  }
  return FillPage(
      web_files::kPageHtml,
      {{"style", std::string(web_files::kPageCss)},
       {"body_class", body_class},
       {"body_data", body_data},
       {"idle", idle ? " data-idle=\"1\"" : ""},
       {"cover", cover},
       {"title", HtmlEscape(song ? song->title : "Nothing yet")},
       {"artist", HtmlEscape(song ? song->artist : "")},
       {"album", HtmlEscape(song ? song->album : "")},
       {"progress", overlay && switches.progress
                        ? "  <div class=\"progress-bar\" id=\"progress\" "
                          "hidden><div class=\"progress-fill\" "
                          "id=\"progress-fill\"></div></div>\n"
                        : ""},
       {"received", received},
       {"history",
        overlay ? "" : "<ol class=\"history\" id=\"history\"></ol>\n"},
       {"script", std::string(web_files::kPageJs)}});
}

std::string PageForQuery(const Song* song, std::string_view query, bool idle) {
  return PageHtml(song, SwitchesForQuery(query), idle);
}

}  // namespace receiver
