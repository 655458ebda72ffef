#include "receiver/text/target_settings.h"

#include <utility>

#include "receiver/text/ini_line.h"

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

}  // namespace

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
bool operator==(const WebhookSettings& a, const WebhookSettings& b) {
  return a.name == b.name && a.url == b.url && a.method == b.method &&
         a.headers == b.headers && a.body_text == b.body_text;
}
bool operator==(const TargetSettings& a, const TargetSettings& b) {
  return a.covers == b.covers && a.icecast == b.icecast &&
         a.shoutcast == b.shoutcast && a.listenbrainz == b.listenbrainz &&
         a.webhooks == b.webhooks;
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
bool operator!=(const WebhookSettings& a, const WebhookSettings& b) {
  return !(a == b);
}
bool operator!=(const TargetSettings& a, const TargetSettings& b) {
  return !(a == b);
}

bool IsSecretKey(std::string_view section, std::string_view key) {
  if (section == "icecast" || section == "shoutcast") return key == "password";
  if (section == "listenbrainz") return key == "token";
  if (section.compare(0, 8, "webhook ") == 0) {
    return key == "url" || key == "header";
  }
  return false;
}

TargetReader::TargetReader(const TargetSettings& previous, const Unseal& unseal)
    : previous_(previous), unseal_(unseal) {}

bool TargetReader::Section(std::string_view inside, std::string& problem) {
  const std::string lower = LowerAscii(inside);
  constexpr std::pair<std::string_view, Kind> kKinds[] = {
      {"covers", Kind::kCovers},
      {"icecast", Kind::kIcecast},
      {"shoutcast", Kind::kShoutcast},
      {"listenbrainz", Kind::kListenBrainz}};
  for (const auto& [name, kind] : kKinds) {
    if (lower == name) {
      kind_ = kind;
      section_ = "[" + std::string(name) + "]";
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
    problem = "[webhook] needs a name, e.g. [webhook discord]";
    return true;
  }
  section_ = "[webhook " + name + "]";
  for (const Webhook& webhook : webhooks_) {
    if (LowerAscii(webhook.settings.name) == LowerAscii(name)) {
      problem = section_ + " comes twice; the first counts";
      return true;
    }
  }
  Webhook webhook;
  webhook.settings.name = name;
  webhooks_.push_back(std::move(webhook));
  kind_ = Kind::kWebhook;
  return true;
}

std::string TargetReader::Key(const std::string& key,
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
  std::optional<std::string> clear;
  if (unseal_) clear = unseal_(value);
  if (!clear) {
    problem = where +
              " cannot be decrypted by this Windows user (the file comes "
              "from another account or PC); write it again in clear";
  }
  return clear;
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
  const std::string where = section_ + " " + key;
  if (key == "enabled") {
    const std::optional<bool> enabled = ParseYesNo(value);
    covers.enabled = enabled.value_or(before.enabled);
    if (!enabled) return where + " is yes or no, not " + Quoted(value);
  } else if (key == "placeholder") {
    covers.placeholder = value;
  } else if (key == "musicbrainz" || key == "coverart") {
    return key == "coverart"
               ? TakeUrl(where, value, covers.coverart, before.coverart)
               : TakeUrl(where, value, covers.musicbrainz, before.musicbrainz);
  } else if (key == "contact") {
    if (!IsPrintableAscii(value)) {
      covers.contact = before.contact;
      return where + " is a web address or e-mail address in ASCII, not " +
             Quoted(value);
    }
    covers.contact = value;
  } else {
    return "unknown setting \"" + key + "\" in [covers]";
  }
  return {};
}

std::string TargetReader::IcecastKey(const std::string& key,
                                     const std::string& value) {
  const IcecastSettings before = previous_.icecast.value_or(IcecastSettings());
  const std::string where = section_ + " " + key;
  std::string problem;
  if (key == "url") {
    problem = TakeUrl(where, value, icecast_.url, before.url);
  } else if (key == "user") {
    icecast_.user = value;
  } else if (key == "password") {
    const std::optional<std::string> clear = Secret(where, value, problem);
    icecast_off_ = icecast_off_ || !clear;
    icecast_.password = clear.value_or(std::string());
  } else if (key == "template") {
    problem = TakeTemplate(where, value, TemplateBraces::kFields,
                           icecast_.template_text, icecast_.parts,
                           before.template_text, before.parts);
  } else {
    problem = "unknown setting \"" + key + "\" in [icecast]";
  }
  return problem;
}

std::string TargetReader::ShoutcastKey(const std::string& key,
                                       const std::string& value) {
  const ShoutcastSettings before =
      previous_.shoutcast.value_or(ShoutcastSettings());
  const std::string where = section_ + " " + key;
  std::string problem;
  if (key == "url") {
    problem = TakeUrl(where, value, shoutcast_.url, before.url);
  } else if (key == "version") {
    const std::optional<int> version = ParseWhole(value, 1, 2);
    shoutcast_.version = version.value_or(before.version);
    if (!version) problem = where + " is 1 or 2, not " + Quoted(value);
  } else if (key == "sid") {
    const std::optional<int> sid = ParseWhole(value, 1, 999);
    shoutcast_.sid = sid.value_or(before.sid);
    if (!sid) {
      problem = where + " is a number from 1 to 999, not " + Quoted(value);
    }
  } else if (key == "password") {
    const std::optional<std::string> clear = Secret(where, value, problem);
    shoutcast_off_ = shoutcast_off_ || !clear;
    shoutcast_.password = clear.value_or(std::string());
  } else if (key == "template") {
    problem = TakeTemplate(where, value, TemplateBraces::kFields,
                           shoutcast_.template_text, shoutcast_.parts,
                           before.template_text, before.parts);
  } else {
    problem = "unknown setting \"" + key + "\" in [shoutcast]";
  }
  return problem;
}

std::string TargetReader::ListenBrainzKey(const std::string& key,
                                          const std::string& value) {
  const std::string where = section_ + " " + key;
  std::string problem;
  if (key == "token") {
    const std::optional<std::string> clear = Secret(where, value, problem);
    listenbrainz_off_ = listenbrainz_off_ || !clear;
    listenbrainz_.token = clear.value_or(std::string());
  } else if (key == "url") {
    problem =
        TakeUrl(where, value, listenbrainz_.url,
                previous_.listenbrainz.value_or(ListenBrainzSettings()).url);
  } else {
    problem = "unknown setting \"" + key + "\" in [listenbrainz]";
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
  Webhook& webhook = webhooks_.back();
  WebhookSettings& settings = webhook.settings;
  const WebhookSettings* found = PreviousWebhook();
  const WebhookSettings before = found ? *found : WebhookSettings();
  const std::string where = section_ + " " + key;
  std::string problem;
  if (key == "url" || key == "header") {
    const std::optional<std::string> clear = Secret(where, value, problem);
    webhook.off = webhook.off || !clear;
    if (!clear) return problem;
    // The values carry tokens: a problem does not repeat them.
    if (key == "url") {
      settings.url = IsHttpUrl(*clear) ? *clear : before.url;
      if (!IsHttpUrl(*clear))
        problem = where + " is an http:// or https:// address";
    } else if (IsHeaderLine(*clear)) {
      settings.headers.push_back(*clear);
    } else {
      problem = where + " is \"Name: value\", e.g. Authorization: Bearer ...";
    }
  } else if (key == "method") {
    const std::string upper = [&] {
      std::string out = value;
      for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      }
      return out;
    }();
    if (upper == "GET" || upper == "POST" || upper == "PUT" ||
        upper == "PATCH") {
      settings.method = upper;
    } else {
      settings.method = before.method;
      problem = where + " is GET, POST, PUT or PATCH, not " + Quoted(value);
    }
  } else if (key == "body") {
    problem =
        TakeTemplate(where, value, TemplateBraces::kJson, settings.body_text,
                     settings.body, before.body_text, before.body);
  } else {
    problem = "unknown setting \"" + key + "\" in a [webhook] section; it " +
              "takes url, method, header and body";
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
  for (Webhook& webhook : webhooks_) {
    if (!webhook.off && !webhook.settings.url.empty()) {
      settings_.webhooks.push_back(std::move(webhook.settings));
    }
  }
  return std::move(settings_);
}

}  // namespace receiver
