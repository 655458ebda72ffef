#include "receiver/services/service_settings.h"

namespace receiver {

bool LengthsWanted(const TargetSettings& settings) {
  // Only a connected Last.fm scrobbles.
  const bool scrobbles = settings.lastfm && !settings.lastfm->session.empty();
  return settings.covers.enabled || settings.listenbrainz.has_value() ||
         scrobbles || settings.lyrics.enabled || settings.lengths_for_presence;
}

bool operator==(const CoverSettings& a, const CoverSettings& b) {
  return a.enabled == b.enabled && a.placeholder == b.placeholder &&
         a.musicbrainz == b.musicbrainz && a.coverart == b.coverart &&
         a.contact == b.contact;
}
bool operator==(const IcecastSettings& a, const IcecastSettings& b) {
  return a.url == b.url && a.user == b.user && a.password == b.password &&
         a.template_text == b.template_text;
}
bool operator==(const ShoutcastSettings& a, const ShoutcastSettings& b) {
  return a.url == b.url && a.version == b.version && a.sid == b.sid &&
         a.password == b.password && a.template_text == b.template_text;
}
bool operator==(const ListenBrainzSettings& a, const ListenBrainzSettings& b) {
  return a.token == b.token && a.url == b.url;
}
bool operator==(const LastFmSettings& a, const LastFmSettings& b) {
  return a.key == b.key && a.secret == b.secret && a.session == b.session &&
         a.url == b.url;
}
bool operator==(const WebhookSettings& a, const WebhookSettings& b) {
  return a.name == b.name && a.url == b.url && a.method == b.method &&
         a.headers == b.headers && a.body_text == b.body_text;
}
bool operator==(const LyricsSettings& a, const LyricsSettings& b) {
  return a.enabled == b.enabled && a.offset == b.offset && a.url == b.url;
}
bool operator==(const TargetSettings& a, const TargetSettings& b) {
  return a.covers == b.covers && a.icecast == b.icecast &&
         a.shoutcast == b.shoutcast && a.listenbrainz == b.listenbrainz &&
         a.lastfm == b.lastfm && a.webhooks == b.webhooks &&
         a.lyrics == b.lyrics &&
         a.lengths_for_presence == b.lengths_for_presence;
}
bool operator!=(const CoverSettings& a, const CoverSettings& b) {
  return !(a == b);
}
bool operator!=(const IcecastSettings& a, const IcecastSettings& b) {
  return !(a == b);
}
bool operator!=(const ShoutcastSettings& a, const ShoutcastSettings& b) {
  return !(a == b);
}
bool operator!=(const ListenBrainzSettings& a, const ListenBrainzSettings& b) {
  return !(a == b);
}
bool operator!=(const LastFmSettings& a, const LastFmSettings& b) {
  return !(a == b);
}
bool operator!=(const WebhookSettings& a, const WebhookSettings& b) {
  return !(a == b);
}
bool operator!=(const LyricsSettings& a, const LyricsSettings& b) {
  return !(a == b);
}
bool operator!=(const TargetSettings& a, const TargetSettings& b) {
  return !(a == b);
}

}  // namespace receiver
