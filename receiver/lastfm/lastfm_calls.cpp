#include "receiver/lastfm/lastfm_calls.h"

#include <algorithm>
#include <utility>

#include "receiver/lastfm/md5.h"
#include "receiver/system/ascii.h"

namespace receiver {

namespace {

constexpr std::string_view kLastFmApi = "ws.audioscrobbler.com";
constexpr std::string_view kLastFmAuthPage = "https://www.last.fm/api/auth/";

std::string Form(const LastFmParams& params) {
  std::string form;
  for (const auto& [name, value] : params) {
    if (!form.empty()) form += '&';
    form += UrlEncode(name) + "=" + UrlEncode(value);
  }
  return form;
}

// "https://host:port" of an address, or all of it when it has no path.
std::string_view Origin(std::string_view url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return url;
  return url.substr(0, url.find('/', scheme + 3));
}

}  // namespace

std::string LastFmSignature(const LastFmParams& params,
                            std::string_view secret) {
  std::string text;
  for (const auto& [name, value] : params) {
    if (name == "format" || name == "callback") continue;
    text += name;
    text += value;
  }
  text += secret;
  return Md5Hex(text);
}

Outgoing LastFmCall(const LastFmSettings& settings, LastFmParams params,
                    bool write) {
  params["api_key"] = settings.key;
  if (!settings.session.empty()) params["sk"] = settings.session;
  params["api_sig"] = LastFmSignature(params, settings.secret);
  params["format"] = "json";
  Outgoing out;
  out.headers = {{"User-Agent", UserAgent({})}};
  if (write) {
    out.method = "POST";
    out.url = settings.url;
    out.headers.emplace_back(
        "Content-Type", "application/x-www-form-urlencoded; charset=UTF-8");
    out.body = Form(params);
  } else {
    out.url = settings.url +
              (settings.url.find('?') == std::string::npos ? "?" : "&") +
              Form(params);
  }
  return out;
}

bool Scrobbleable(const Song& song) {
  return !TrimSpace(song.artist).empty() && !TrimSpace(song.title).empty();
}

Outgoing LastFmNowPlaying(const LastFmSettings& settings, const Song& song) {
  LastFmParams params = {{"method", "track.updateNowPlaying"},
                         {"artist", song.artist},
                         {"track", song.title}};
  if (!song.album.empty()) params["album"] = song.album;
  return LastFmCall(settings, std::move(params), true);
}

Outgoing LastFmScrobbles(const LastFmSettings& settings,
                         const std::vector<const Listen*>& listens,
                         std::size_t& taken) {
  LastFmParams params = {{"method", "track.scrobble"}};
  taken = std::min(listens.size(), kScrobblesPerRequest);
  for (std::size_t i = 0; i < taken; ++i) {
    const Listen& listen = *listens[i];
    const std::string at = "[" + std::to_string(i) + "]";
    params["artist" + at] = listen.song.artist;
    params["track" + at] = listen.song.title;
    params["timestamp" + at] = std::to_string(listen.listened_at);
    if (!listen.song.album.empty()) params["album" + at] = listen.song.album;
  }
  return LastFmCall(settings, std::move(params), true);
}

Outgoing LastFmGetToken(const LastFmSettings& settings) {
  LastFmSettings without = settings;
  without.session.clear();
  return LastFmCall(without, {{"method", "auth.getToken"}}, false);
}

std::string LastFmAuthPage(const LastFmSettings& settings,
                           std::string_view token) {
  const std::string_view origin = Origin(settings.url);
  const std::string page = origin.find(kLastFmApi) != std::string_view::npos
                               ? std::string(kLastFmAuthPage)
                               : std::string(origin) + "/api/auth/";
  return page + "?api_key=" + UrlEncode(settings.key) +
         "&token=" + UrlEncode(token);
}

Outgoing LastFmGetSession(const LastFmSettings& settings,
                          std::string_view token) {
  LastFmSettings without = settings;
  without.session.clear();
  return LastFmCall(
      without, {{"method", "auth.getSession"}, {"token", std::string(token)}},
      false);
}

}  // namespace receiver
