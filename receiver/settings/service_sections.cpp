#include "receiver/settings/service_sections.h"

#include <utility>

#include "receiver/settings/ini_line.h"
#include "receiver/settings/lastfm_section.h"
#include "receiver/settings/lyrics_section.h"

namespace receiver {

namespace {

// http:// or https://, a host, and no spaces or control characters.
bool IsHttpUrl(std::string_view url) {
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return false;
  }
  const std::string lower = LowerAscii(url.substr(0, 8));
  std::size_t scheme = 0;
  if (lower.compare(0, 7, "http://") == 0) {
    scheme = 7;
  } else if (lower.compare(0, 8, "https://") == 0) {
    scheme = 8;
  } else {
    return false;
  }
  const std::string_view rest = url.substr(scheme);
  const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  const std::string_view host =
      authority.substr(authority.rfind('@') == std::string_view::npos
                           ? 0
                           : authority.rfind('@') + 1);
  return !host.empty() && host.front() != ':';
}

bool IsPrintableAscii(std::string_view text) {
  for (const char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// "Name: value" with a name of HTTP token characters.
bool IsHeaderLine(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  for (const char c : line.substr(0, colon)) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9');
    if (!letter &&
        std::string_view("!#$%&'*+-.^_`|~").find(c) == std::string_view::npos) {
      return false;
    }
  }
  for (const char c : line.substr(colon + 1)) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  }
  return true;
}

std::string Quoted(const std::string& value) { return "\"" + value + "\""; }

std::string TakeUrl(const std::string& where, const std::string& value,
                    std::string& url, const std::string& before);

// The first field of a body sent as JSON (Content-Type: the default, or one
// naming json) that is not a JSON string, as written: "{title}"; else empty.
std::string PlainJsonField(const WebhookSettings& settings) {
  if (settings.method == "GET") return {};
  for (const std::string& header : settings.headers) {
    const std::size_t colon = header.find(':');
    if (SameAscii(TrimBlanks(std::string_view(header).substr(0, colon)),
                  "Content-Type") &&
        LowerAscii(header.substr(colon + 1)).find("json") ==
            std::string::npos) {
      return {};
    }
  }
  for (const TemplatePart& part : settings.body) {
    if (part.kind != TemplatePart::Kind::kField || part.json) continue;
    constexpr std::string_view kNames[] = {"artist", "album", "title"};
    std::string name(kNames[static_cast<int>(part.field)]);
    if (part.upper) name = UpperAscii(name);
    if (part.limit != 0) name += ":" + std::to_string(part.limit);
    return "{" + name + "}";
  }
  return {};
}

}  // namespace

TargetReader::TargetReader(const TargetSettings& previous, const Unseal& unseal)
    : previous_(previous), unseal_(unseal) {}

bool TargetReader::Section(std::string_view inside, std::string& problem) {
  const std::string lower = LowerAscii(inside);
  constexpr std::pair<std::string_view, Kind> kKinds[] = {
      {"covers", Kind::kCovers},       {"icecast", Kind::kIcecast},
      {"shoutcast", Kind::kShoutcast}, {"listenbrainz", Kind::kListenBrainz},
      {"lastfm", Kind::kLastFm},       {"lyrics", Kind::kLyrics}};
  for (const auto& [name, kind] : kKinds) {
    if (lower == name) {
      kind_ = kind;
      section_key_ = std::string(name);
      return true;
    }
  }
  if (lower != "webhook" && lower.compare(0, 8, "webhook ") != 0) {
    kind_ = Kind::kSkip;
    return false;
  }
  kind_ = Kind::kSkip;
  const std::string name(TrimBlanks(inside.substr(7)));
  if (name.empty()) {
    problem = "needs a name, e.g. [webhook discord]";
    return true;
  }
  section_key_ = lower;
  for (const Webhook& webhook : webhooks_) {
    if (LowerAscii(webhook.settings.name) == LowerAscii(name)) {
      problem = "the section comes twice; the first counts";
      return true;
    }
  }
  Webhook webhook;
  webhook.settings.name = name;
  webhook.section = "[" + std::string(inside) + "]";
  webhooks_.push_back(std::move(webhook));
  kind_ = Kind::kWebhook;
  return true;
}

std::string TargetReader::Key(const std::string& key, const std::string& value,
                              std::size_t line) {
  line_ = line;
  if (kind_ == Kind::kSkip || !IsSecretKey(section_key_, key)) {
    return TakeKey(key, value);
  }
  std::string problem;
  const std::optional<std::string> clear = Secret(key, value, problem);
  if (clear) return TakeKey(key, *clear);
  // A target without its secret stays off; Last.fm without its session
  // can still be connected again.
  switch (kind_) {
    case Kind::kIcecast:
      icecast_off_ = true;
      break;
    case Kind::kShoutcast:
      shoutcast_off_ = true;
      break;
    case Kind::kListenBrainz:
      listenbrainz_off_ = true;
      break;
    case Kind::kLastFm:
      lastfm_off_ = lastfm_off_ || key != "session";
      break;
    case Kind::kWebhook:
      webhooks_.back().off = true;
      break;
    case Kind::kCovers:
    case Kind::kLyrics:
    case Kind::kSkip:
      break;
  }
  return problem;
}

std::string TargetReader::TakeKey(const std::string& key,
                                  const std::string& value) {
  switch (kind_) {
    case Kind::kCovers:
      return CoversKey(key, value);
    case Kind::kIcecast:
      return IcecastKey(key, value);
    case Kind::kShoutcast:
      return ShoutcastKey(key, value);
    case Kind::kListenBrainz:
      return ListenBrainzKey(key, value);
    case Kind::kWebhook:
      return WebhookKey(key, value);
    case Kind::kLastFm:
      if (key == "url") {
        return TakeUrl(key, value, lastfm_.url,
                       previous_.lastfm.value_or(LastFmSettings()).url);
      }
      if (key == "key" || key == "secret") lastfm_line_ = line_;
      return LastFmKey(key, value, lastfm_);
    case Kind::kLyrics:
      if (key == "url") {
        return TakeUrl(key, value, settings_.lyrics.url, previous_.lyrics.url);
      }
      return LyricsKey(key, value, settings_.lyrics, previous_.lyrics);
    case Kind::kSkip:
      break;
  }
  return {};
}

// The clear value of a secret; nullopt, with the problem, when it is sealed
// and cannot be unsealed.
std::optional<std::string> TargetReader::Secret(const std::string& where,
                                                const std::string& value,
                                                std::string& problem) {
  if (value.compare(0, kSealedPrefix.size(), kSealedPrefix) != 0) return value;
  Unsealed unsealed{std::nullopt, Unsealed::Failure::kOtherUser};
  if (unseal_) unsealed = unseal_(value);
  if (unsealed.clear) return unsealed.clear;
  if (unsealed.failure == Unsealed::Failure::kDamaged) {
    problem = where +
              " is damaged (cut or changed since it was encrypted) and "
              "cannot be decrypted; write it again in clear";
  } else {
    problem = where +
              " cannot be decrypted by this Windows user (the file comes "
              "from another account or PC); write it again in clear";
  }
  return std::nullopt;
}

namespace {

// An address setting: taken when it is one, else the one before stays.
// Returns the problem, if any.
std::string TakeUrl(const std::string& where, const std::string& value,
                    std::string& url, const std::string& before) {
  if (IsHttpUrl(value)) {
    url = value;
    return {};
  }
  url = before;
  return where + " is an http:// or https:// address, not " + Quoted(value);
}

// A template setting: taken when it reads, else the one before stays.
std::string TakeTemplate(const std::string& where, const std::string& value,
                         TemplateBraces braces, std::string& text,
                         Template& parts, const std::string& before_text,
                         const Template& before_parts) {
  ParsedTemplate parsed = ParseTemplate(value, braces);
  if (!parsed.parts) {
    text = before_text;
    parts = before_parts;
    return where + ": " + parsed.error;
  }
  text = value;
  parts = std::move(*parsed.parts);
  return {};
}

}  // namespace

std::string TargetReader::CoversKey(const std::string& key,
                                    const std::string& value) {
  CoverSettings& covers = settings_.covers;
  const CoverSettings& before = previous_.covers;
  if (key == "enabled") {
    const std::optional<bool> enabled = ParseYesNo(value);
    covers.enabled = enabled.value_or(before.enabled);
    if (!enabled) return key + " is yes or no, not " + Quoted(value);
  } else if (key == "placeholder") {
    covers.placeholder = value;
  } else if (key == "musicbrainz" || key == "coverart") {
    return key == "coverart"
               ? TakeUrl(key, value, covers.coverart, before.coverart)
               : TakeUrl(key, value, covers.musicbrainz, before.musicbrainz);
  } else if (key == "contact") {
    if (!IsPrintableAscii(value)) {
      covers.contact = before.contact;
      return key + " is a web address or e-mail address in ASCII, not " +
             Quoted(value);
    }
    covers.contact = value;
  } else {
    return "unknown setting \"" + key + "\"";
  }
  return {};
}

std::string TargetReader::IcecastKey(const std::string& key,
                                     const std::string& value) {
  const IcecastSettings before = previous_.icecast.value_or(IcecastSettings());
  std::string problem;
  if (key == "url") {
    problem = TakeUrl(key, value, icecast_.url, before.url);
  } else if (key == "user") {
    icecast_.user = value;
  } else if (key == "password") {
    icecast_.password = value;
  } else if (key == "template") {
    problem = TakeTemplate(key, value, TemplateBraces::kFields,
                           icecast_.template_text, icecast_.parts,
                           before.template_text, before.parts);
  } else {
    problem = "unknown setting \"" + key + "\"";
  }
  return problem;
}

std::string TargetReader::ShoutcastKey(const std::string& key,
                                       const std::string& value) {
  const ShoutcastSettings before =
      previous_.shoutcast.value_or(ShoutcastSettings());
  std::string problem;
  if (key == "url") {
    problem = TakeUrl(key, value, shoutcast_.url, before.url);
  } else if (key == "version") {
    const std::optional<int> version = ParseWhole(value, 1, 2);
    shoutcast_.version = version.value_or(before.version);
    if (!version) problem = key + " is 1 or 2, not " + Quoted(value);
  } else if (key == "sid") {
    const std::optional<int> sid = ParseWhole(value, 1, 999);
    shoutcast_.sid = sid.value_or(before.sid);
    if (!sid) {
      problem = key + " is a number from 1 to 999, not " + Quoted(value);
    }
  } else if (key == "password") {
    shoutcast_.password = value;
  } else if (key == "template") {
    problem = TakeTemplate(key, value, TemplateBraces::kFields,
                           shoutcast_.template_text, shoutcast_.parts,
                           before.template_text, before.parts);
  } else {
    problem = "unknown setting \"" + key + "\"";
  }
  return problem;
}

std::string TargetReader::ListenBrainzKey(const std::string& key,
                                          const std::string& value) {
  std::string problem;
  if (key == "token") {
    listenbrainz_.token = value;
  } else if (key == "url") {
    problem =
        TakeUrl(key, value, listenbrainz_.url,
                previous_.listenbrainz.value_or(ListenBrainzSettings()).url);
  } else {
    problem = "unknown setting \"" + key + "\"";
  }
  return problem;
}

const WebhookSettings* TargetReader::PreviousWebhook() const {
  const std::string name = LowerAscii(webhooks_.back().settings.name);
  for (const WebhookSettings& webhook : previous_.webhooks) {
    if (LowerAscii(webhook.name) == name) return &webhook;
  }
  return nullptr;
}

std::string TargetReader::WebhookKey(const std::string& key,
                                     const std::string& value) {
  WebhookSettings& settings = webhooks_.back().settings;
  const WebhookSettings* found = PreviousWebhook();
  const WebhookSettings before = found ? *found : WebhookSettings();
  webhooks_.back().before = before;
  std::string problem;
  if (key == "url" || key == "header") {
    // The values carry tokens: a problem does not repeat them.
    if (key == "url") {
      settings.url = IsHttpUrl(value) ? value : before.url;
      if (!IsHttpUrl(value)) {
        problem = key + " is an http:// or https:// address";
      }
    } else if (IsHeaderLine(value)) {
      settings.headers.push_back(value);
    } else {
      problem = key + " is \"Name: value\", e.g. Authorization: Bearer ...";
    }
  } else if (key == "method") {
    const std::string upper = UpperAscii(value);
    if (upper == "GET" || upper == "POST" || upper == "PUT" ||
        upper == "PATCH") {
      settings.method = upper;
    } else {
      settings.method = before.method;
      problem = key + " is GET, POST, PUT or PATCH, not " + Quoted(value);
    }
  } else if (key == "body") {
    problem =
        TakeTemplate(key, value, TemplateBraces::kJson, settings.body_text,
                     settings.body, before.body_text, before.body);
    if (problem.empty()) webhooks_.back().body_line = line_;
  } else {
    problem = "unknown setting \"" + key +
              "\"; a [webhook] section takes url, method, header and body";
  }
  return problem;
}

TargetSettings TargetReader::Take() {
  if (!icecast_off_ && !icecast_.url.empty()) settings_.icecast = icecast_;
  if (!shoutcast_off_ && !shoutcast_.url.empty()) {
    settings_.shoutcast = shoutcast_;
  }
  if (!listenbrainz_off_ && !listenbrainz_.token.empty()) {
    settings_.listenbrainz = listenbrainz_;
  }
  if (lastfm_.key.empty() != lastfm_.secret.empty()) {
    late_problems_.push_back(
        {lastfm_line_, "[lastfm]", lastfm_.key.empty() ? "key" : "secret",
         "key and secret both come from your Last.fm API account; Last.fm "
         "stays off until both are set"});
  } else if (!lastfm_off_ && !lastfm_.key.empty()) {
    settings_.lastfm = lastfm_;
  }
  for (Webhook& webhook : webhooks_) {
    WebhookSettings& settings = webhook.settings;
    const std::string field = PlainJsonField(settings);
    if (webhook.body_line != 0 && !field.empty()) {
      late_problems_.push_back(
          {webhook.body_line, webhook.section, "body",
           "body: " + field +
               " in a JSON body lets the song's text break the JSON; write " +
               field.substr(0, field.size() - 1) + ":json}, a JSON string"});
      // The body in use, when it is safe with these headers, else the
      // default.
      settings.body_text = webhook.before.body_text;
      settings.body = webhook.before.body;
      if (!PlainJsonField(settings).empty()) {
        settings.body_text = WebhookSettings().body_text;
        settings.body = WebhookSettings().body;
      }
    }
    if (!webhook.off && !webhook.settings.url.empty()) {
      settings_.webhooks.push_back(std::move(webhook.settings));
    }
  }
  return std::move(settings_);
}

}  // namespace receiver
