#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "receiver/services/listens.h"
#include "receiver/services/service_settings.h"
#include "receiver/songs/song_text.h"

// The requests the receiver sends to the services, as plain data: built
// here, sent by the Windows side.
namespace receiver {

struct Outgoing {
  std::string method = "GET";
  std::string url;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // The covers' only: a redirect re-sends the request's headers, and with
  // them the credentials, wherever it points.
  bool follow_redirects = false;
};

bool operator==(const Outgoing& a, const Outgoing& b);

inline constexpr std::string_view kClientName = "trackwire_receiver";
inline constexpr std::string_view kClientVersion = "1.0";
inline constexpr std::string_view kDefaultContact =
    "https://github.com/trackwire/trackwire";

// "trackwire_receiver/1.0 ( CONTACT )"; kDefaultContact when empty.
std::string UserAgent(std::string_view contact);
// Every byte but A-Z a-z 0-9 - . _ ~ as %XX (upper-case hex).
std::string UrlEncode(std::string_view bytes);
std::string Base64(std::string_view bytes);
// "Basic " and the Base64 of "user:password".
std::string BasicAuthorization(std::string_view user,
                               std::string_view password);

// Every request carries a User-Agent; those with a body a Content-Type.

// GET url&mode=updinfo&song=...&charset=UTF-8 with HTTP Basic.
Outgoing IcecastUpdate(const IcecastSettings& settings, const Song& song);
// GET .../admin.cgi?pass=...&mode=updinfo&song=... (version 1) or
// .../admin.cgi?sid=N&mode=updinfo&song=... with HTTP Basic admin (2).
Outgoing ShoutcastUpdate(const ShoutcastSettings& settings, const Song& song);
// POST {url}/1/submit-listens, "playing_now".
Outgoing PlayingNow(const ListenBrainzSettings& settings, const Song& song);
// ListenBrainz takes at most 1000 listens a request (and 10 MB).
inline constexpr std::size_t kListensPerRequest = 1000;
// A body that goes within the request's 15 s on a slow upload link.
inline constexpr std::size_t kListensBodyBytes = 1024 * 1024;
// POST {url}/1/submit-listens with the first of `listens`, with their
// listened_at: as many as kListensPerRequest and kListensBodyBytes let in,
// one at least; `taken` says how many. One goes as "single", more as
// "import".
Outgoing SubmitListens(const ListenBrainzSettings& settings,
                       const std::vector<const Listen*>& listens,
                       std::size_t& taken);
// METHOD url with the configured headers, and Content-Type:
// application/json unless one is configured; the body from the template
// (none for GET).
Outgoing WebhookCall(const WebhookSettings& settings, const Song& song);
// MusicBrainz's search for the release group of an artist's album.
Outgoing ReleaseGroupSearch(const CoverSettings& settings,
                            std::string_view artist, std::string_view album);
// MusicBrainz's search for a recording of an artist's title, on the album
// when there is one: its length.
Outgoing RecordingSearch(const CoverSettings& settings, std::string_view artist,
                         std::string_view album, std::string_view title);
// The Cover Art Archive's front picture of a release group, 500 pixels.
Outgoing FrontCover(const CoverSettings& settings,
                    std::string_view release_group_id);

}  // namespace receiver
