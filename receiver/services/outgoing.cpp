#include "receiver/services/outgoing.h"

#include <nlohmann/json.hpp>

#include "receiver/songs/template.h"
#include "receiver/system/ascii.h"

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

Outgoing ListenBrainzPost(const ListenBrainzSettings& settings,
                          std::string body) {
  Outgoing out;
  out.method = "POST";
  out.url = WithoutFinalSlash(settings.url) + "/1/submit-listens";
  out.headers = {{"User-Agent", UserAgent({})},
                 {"Authorization", "Token " + settings.token},
                 {"Content-Type", std::string(kJsonType)}};
  out.body = std::move(body);
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

Outgoing MusicBrainzSearch(const CoverSettings& settings,
                           std::string_view entity, const std::string& query,
                           int limit) {
  Outgoing out;
  out.url = WithoutFinalSlash(settings.musicbrainz) + "/ws/2/" +
            std::string(entity) + "/?query=" + UrlEncode(query) +
            "&fmt=json&limit=" + std::to_string(limit);
  out.headers = {{"User-Agent", UserAgent(settings.contact)},
                 {"Accept", std::string(kJsonType)}};
  out.follow_redirects = true;
  return out;
}

}  // namespace

bool operator==(const Outgoing& a, const Outgoing& b) {
  return a.method == b.method && a.url == b.url && a.headers == b.headers &&
         a.body == b.body && a.follow_redirects == b.follow_redirects;
}

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
      !SameAscii(std::string_view(url).substr(url.size() - kAdmin.size()),
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
  const Json item = {{"track_metadata", TrackMetadata(song)}};
  return ListenBrainzPost(settings, Dump({{"listen_type", "playing_now"},
                                          {"payload", Json::array({item})}}));
}

Outgoing SubmitListens(const ListenBrainzSettings& settings,
                       const std::vector<const Listen*>& listens,
                       std::size_t& taken) {
  // The bytes Dump gives the whole object, its keys in order, made up item
  // by item so that each one's size is known before it goes in.
  constexpr std::size_t kFrame =
      sizeof R"({"listen_type":"import","payload":[]})" - 1;
  std::vector<std::string> items;
  std::size_t bytes = 0;
  for (const Listen* listen : listens) {
    if (items.size() == kListensPerRequest) break;
    std::string item = Dump({{"listened_at", listen->listened_at},
                             {"track_metadata", TrackMetadata(listen->song)}});
    if (!items.empty() &&
        kFrame + bytes + items.size() + item.size() > kListensBodyBytes) {
      break;
    }
    bytes += item.size();
    items.push_back(std::move(item));
  }
  taken = items.size();
  std::string body = R"({"listen_type":")";
  body += items.size() == 1 ? "single" : "import";
  body += R"(","payload":[)";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) body += ',';
    body += items[i];
  }
  body += "]}";
  return ListenBrainzPost(settings, std::move(body));
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
    std::string value(TrimBlanks(std::string_view(header).substr(colon + 1)));
    agent = agent || SameAscii(name, "User-Agent");
    type = type || SameAscii(name, "Content-Type");
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
  return MusicBrainzSearch(settings, "release-group", query, 3);
}

Outgoing RecordingSearch(const CoverSettings& settings, std::string_view artist,
                         std::string_view album, std::string_view title) {
  std::string query = "artist:" + LucenePhrase(artist) +
                      " AND recording:" + LucenePhrase(title);
  if (!album.empty()) query += " AND release:" + LucenePhrase(album);
  return MusicBrainzSearch(settings, "recording", query, 5);
}

Outgoing FrontCover(const CoverSettings& settings,
                    std::string_view release_group_id) {
  Outgoing out;
  out.url = WithoutFinalSlash(settings.coverart) + "/release-group/" +
            UrlEncode(release_group_id) + "/front-500";
  out.headers = {{"User-Agent", UserAgent(settings.contact)}};
  // The archive answers with a redirect to the image.
  out.follow_redirects = true;
  return out;
}

}  // namespace receiver
