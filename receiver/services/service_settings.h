#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/songs/template.h"

// The services the receiver sends each song to, all off by default: the
// [covers], [icecast], [shoutcast], [listenbrainz], [lastfm],
// [webhook NAME] and [lyrics] sections of trackwire_receiver.ini.
namespace receiver {

inline constexpr std::string_view kDefaultTargetTemplate =
    "{artist| - }{title}";
inline constexpr std::string_view kDefaultWebhookBody =
    R"({"artist":{artist:json},"album":{album:json},"title":{title:json}})";

struct CoverSettings {
  bool enabled = false;
  std::string placeholder;  // a picture file used when none is found
  std::string musicbrainz = "https://musicbrainz.org";
  std::string coverart = "https://coverartarchive.org";
  std::string contact;  // for the User-Agent; empty: kDefaultContact
};

struct IcecastSettings {
  std::string url;  // http://host:8000/admin/metadata?mount=/live
  std::string user = "source";
  std::string password;
  std::string template_text = std::string(kDefaultTargetTemplate);
  Template parts = *ParseTemplate(kDefaultTargetTemplate).parts;
};

struct ShoutcastSettings {
  std::string url;  // http://host:8000, or one ending in /admin.cgi
  int version = 1;
  int sid = 1;  // version 2 only
  std::string password;
  std::string template_text = std::string(kDefaultTargetTemplate);
  Template parts = *ParseTemplate(kDefaultTargetTemplate).parts;
};

struct ListenBrainzSettings {
  std::string token;
  std::string url = "https://api.listenbrainz.org";
};

// Last.fm's Scrobbling 2.0 API, or one that works the same (Libre.fm).
struct LastFmSettings {
  std::string key;      // the API account's key
  std::string secret;   // and its shared secret, which signs each call
  std::string session;  // from "Connect Last.fm"; empty: not connected
  std::string url = "https://ws.audioscrobbler.com/2.0/";
};

struct WebhookSettings {
  std::string name;  // [webhook NAME]
  std::string url;
  std::string method = "POST";       // GET, POST, PUT or PATCH
  std::vector<std::string> headers;  // "Name: value"
  std::string body_text = std::string(kDefaultWebhookBody);
  // Parsed with TemplateBraces::kJson.
  Template body =
      *ParseTemplate(kDefaultWebhookBody, TemplateBraces::kJson).parts;
};

// Synced lyrics from LRCLIB, for /lyrics and lyrics.txt.
struct LyricsSettings {
  bool enabled = false;
  double offset = 0;  // seconds added to each line's time
  std::string url = "https://lrclib.net";
};

struct TargetSettings {
  CoverSettings covers;
  std::optional<IcecastSettings> icecast;            // when its url is set
  std::optional<ShoutcastSettings> shoutcast;        // when its url is set
  std::optional<ListenBrainzSettings> listenbrainz;  // when its token is set
  std::optional<LastFmSettings> lastfm;   // when its key and secret are set
  std::vector<WebhookSettings> webhooks;  // those with a url
  LyricsSettings lyrics;
  // Discord's time bar wants the lengths too, though it is no target here.
  bool lengths_for_presence = false;
};

// Whether each song's length is looked up on MusicBrainz: with covers on,
// and for the services that go by it.
bool LengthsWanted(const TargetSettings& settings);

// Equal when every setting is (templates by their text): a target is started
// again only when its own settings changed.
bool operator==(const CoverSettings& a, const CoverSettings& b);
bool operator==(const IcecastSettings& a, const IcecastSettings& b);
bool operator==(const ShoutcastSettings& a, const ShoutcastSettings& b);
bool operator==(const ListenBrainzSettings& a, const ListenBrainzSettings& b);
bool operator==(const LastFmSettings& a, const LastFmSettings& b);
bool operator==(const WebhookSettings& a, const WebhookSettings& b);
bool operator==(const LyricsSettings& a, const LyricsSettings& b);
bool operator==(const TargetSettings& a, const TargetSettings& b);
bool operator!=(const CoverSettings& a, const CoverSettings& b);
bool operator!=(const IcecastSettings& a, const IcecastSettings& b);
bool operator!=(const ShoutcastSettings& a, const ShoutcastSettings& b);
bool operator!=(const ListenBrainzSettings& a, const ListenBrainzSettings& b);
bool operator!=(const LastFmSettings& a, const LastFmSettings& b);
bool operator!=(const WebhookSettings& a, const WebhookSettings& b);
bool operator!=(const LyricsSettings& a, const LyricsSettings& b);
bool operator!=(const TargetSettings& a, const TargetSettings& b);

}  // namespace receiver
