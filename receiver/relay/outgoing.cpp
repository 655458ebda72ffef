#include "receiver/relay/outgoing.h"

#include <nlohmann/json.hpp>

#include "receiver/text/template.h"

namespace receiver {

namespace {

using Json = nlohmann::json;

constexpr std::string_view kJsonType = "application/json";

std::string WithoutFinalSlash(std::string url) {
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

// The url with more query parameters: after "?" or "&" as it needs.
std::string WithQuery(const std::string& url, std::string_view query) {
  if (url.find('?') == std::string::npos) return url + "?" + std::string(query);
  if (url.back() == '?' || url.back() == '&') return url + std::string(query);
  return url + "&" + std::string(query);
}

// Invalid UTF-8 (there should be none) becomes U+FFFD rather than throwing.
std::string Dump(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json TrackMetadata(const Song& song) {
  Json metadata = {{"artist_name", song.artist}, {"track_name", song.title}};
  if (!song.album.empty()) metadata["release_name"] = song.album;
  metadata["additional_info"] = {{"submission_client", kClientName},
                                 {"submission_client_version", kClientVersion}};
  return metadata;
}

Outgoing SubmitListens(const ListenBrainzSettings& settings,
                       std::string_view type, const Json& item) {
  Outgoing out;
  out.method = "POST";
  out.url = WithoutFinalSlash(settings.url) + "/1/submit-listens";
  out.headers = {{"User-Agent", UserAgent({})},
                 {"Authorization", "Token " + settings.token},
                 {"Content-Type", std::string(kJsonType)}};
  out.body = Dump({{"listen_type", type}, {"payload", Json::array({item})}});
  return out;
}

// Inside Lucene's double quotes only "\" and the quote itself are special.
std::string LucenePhrase(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::string UserAgent(std::string_view contact) {
  if (contact.empty()) contact = kDefaultContact;
  return std::string(kClientName) + "/" + std::string(kClientVersion) + " ( " +
         std::string(contact) + " )";
}

std::string UrlEncode(std::string_view bytes) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '.' ||
                            c == '_' || c == '~';
    if (unreserved) {
      out += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

std::string Base64(std::string_view bytes) {
  constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
    unsigned long group = 0;
    for (std::size_t j = 0; j < 3; ++j) {
      group <<= 8;
      if (j < n) group |= static_cast<unsigned char>(bytes[i + j]);
    }
    for (std::size_t j = 0; j < 4; ++j) {
      out += j <= n ? kDigits[(group >> (18 - 6 * j)) & 0x3F] : '=';
    }
  }
  return out;
}

std::string BasicAuthorization(std::string_view user,
                               std::string_view password) {
  return "Basic " + Base64(std::string(user) + ":" + std::string(password));
}

Outgoing IcecastUpdate(const IcecastSettings& settings, const Song& song) {
  const std::string line =
      ExpandTemplate(settings.parts, song, NewLine::kSpace);
  Outgoing out;
  out.url = WithQuery(
      settings.url, "mode=updinfo&song=" + UrlEncode(line) + "&charset=UTF-8");
  out.headers = {
      {"User-Agent", UserAgent({})},
      {"Authorization", BasicAuthorization(settings.user, settings.password)}};
  return out;
}

Outgoing ShoutcastUpdate(const ShoutcastSettings& settings, const Song& song) {
  const std::string line =
      ExpandTemplate(settings.parts, song, NewLine::kSpace);
  std::string url = settings.url;
  constexpr std::string_view kAdmin = "/admin.cgi";
  if (url.size() < kAdmin.size() ||
      !SameName(std::string_view(url).substr(url.size() - kAdmin.size()),
                kAdmin)) {
    url = WithoutFinalSlash(url) + std::string(kAdmin);
  }
  Outgoing out;
  // The server answers admin.cgi to a browser's User-Agent only.
  out.headers = {{"User-Agent", "Mozilla/5.0 (compatible; " +
                                    std::string(kClientName) + "/" +
                                    std::string(kClientVersion) + ")"}};
  if (settings.version == 1) {
    out.url = WithQuery(url, "pass=" + UrlEncode(settings.password) +
                                 "&mode=updinfo&song=" + UrlEncode(line));
  } else {
    out.url = WithQuery(url, "sid=" + std::to_string(settings.sid) +
                                 "&mode=updinfo&song=" + UrlEncode(line));
    out.headers.emplace_back("Authorization",
                             BasicAuthorization("admin", settings.password));
  }
  return out;
}

Outgoing PlayingNow(const ListenBrainzSettings& settings, const Song& song) {
  return SubmitListens(settings, "playing_now",
                       {{"track_metadata", TrackMetadata(song)}});
}

Outgoing SubmitListen(const ListenBrainzSettings& settings,
                      const Listen& listen) {
  return SubmitListens(settings, "single",
                       {{"listened_at", listen.listened_at},
                        {"track_metadata", TrackMetadata(listen.song)}});
}

Outgoing WebhookCall(const WebhookSettings& settings, const Song& song) {
  Outgoing out;
  out.method = settings.method;
  out.url = settings.url;
  bool agent = false;
  bool type = false;
  for (const std::string& header : settings.headers) {
    const std::size_t colon = header.find(':');
    if (colon == std::string::npos) continue;
    std::string name = header.substr(0, colon);
    std::string value = header.substr(colon + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    value.erase(value.find_last_not_of(" \t") + 1);
    agent = agent || SameName(name, "User-Agent");
    type = type || SameName(name, "Content-Type");
    out.headers.emplace_back(std::move(name), std::move(value));
  }
  if (!agent) out.headers.emplace_back("User-Agent", UserAgent({}));
  if (out.method == "GET") return out;
  if (!type) out.headers.emplace_back("Content-Type", std::string(kJsonType));
  out.body = ExpandTemplate(settings.body, song, NewLine::kSpace);
  return out;
}

Outgoing ReleaseGroupSearch(const CoverSettings& settings,
                            std::string_view artist, std::string_view album) {
  const std::string query = "artist:" + LucenePhrase(artist) +
                            " AND releasegroup:" + LucenePhrase(album);
  Outgoing out;
  out.url = WithoutFinalSlash(settings.musicbrainz) +
            "/ws/2/release-group/?query=" + UrlEncode(query) +
            "&fmt=json&limit=3";
  out.headers = {{"User-Agent", UserAgent(settings.contact)},
                 {"Accept", std::string(kJsonType)}};
  return out;
}

Outgoing FrontCover(const CoverSettings& settings,
                    std::string_view release_group_id) {
  Outgoing out;
  out.url = WithoutFinalSlash(settings.coverart) + "/release-group/" +
            UrlEncode(release_group_id) + "/front-500";
  out.headers = {{"User-Agent", UserAgent(settings.contact)}};
  return out;
}

}  // namespace receiver
