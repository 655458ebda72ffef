#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/services/listens.h"
#include "receiver/services/outgoing.h"
#include "receiver/services/service_settings.h"

// Last.fm's Scrobbling 2.0 calls as plain data: each one signed with the
// API account's secret, JSON asked for, the write calls POSTed as a form.
namespace receiver {

// A call's parameters by name, sorted as the signature takes them.
using LastFmParams = std::map<std::string, std::string>;

// api_sig: the MD5 of every parameter but format and callback, in the order
// of their names, each as its name then its value, and the secret after.
std::string LastFmSignature(const LastFmParams& params,
                            std::string_view secret);

// `params` (method included) with api_key, sk when there is a session,
// api_sig and format=json: a POST form when `write`, else a GET.
Outgoing LastFmCall(const LastFmSettings& settings, LastFmParams params,
                    bool write);

// Whether Last.fm takes the song at all: it needs an artist and a title.
bool Scrobbleable(const Song& song);

// track.updateNowPlaying: artist, track and album.
Outgoing LastFmNowPlaying(const LastFmSettings& settings, const Song& song);

// Last.fm takes at most 50 scrobbles a request.
inline constexpr std::size_t kScrobblesPerRequest = 50;
// track.scrobble with the first of `listens` as artist[i], track[i],
// album[i] and timestamp[i] (when the song started): as many as
// kScrobblesPerRequest, one at least; `taken` says how many.
Outgoing LastFmScrobbles(const LastFmSettings& settings,
                         const std::vector<const Listen*>& listens,
                         std::size_t& taken);

// The desktop authentication: auth.getToken; the page where the user allows
// the token (Last.fm's own, or /api/auth/ beside another service's url);
// auth.getSession, tried until the user has.
Outgoing LastFmGetToken(const LastFmSettings& settings);
std::string LastFmAuthPage(const LastFmSettings& settings,
                           std::string_view token);
Outgoing LastFmGetSession(const LastFmSettings& settings,
                          std::string_view token);

}  // namespace receiver
